#pragma once
// The interactive export manager: what the user picks in the export panel for the open photos.
//  - 0 disk: the export dialog (save panel for one photo, folder chooser for several) gives the
//    target and the options; each photo is processed at full size, given its effect strength,
//    named after its source with the options' extension and written with the source's metadata.
//    In a folder, a name already there is resolved by asking "Overwrite" or "Create New" (with
//    "Apply to all" for the rest of the export). One photo to a chosen file path is written to
//    exactly that path (the dialog already asked).
//  - 2 e-mail: each photo is written as a JPEG into a folder of its own for this export, then a
//    mail with the files attached is composed through `xdg-email`.
//  - 5 the sibling application: the photo is written as a full-size JPEG into the image cache
//    folder (reused when already there) and opened with the application's desktop entry; when it
//    is not installed its web page is opened instead.
//  - 1, 3, 4 (social networks) are not offered on Linux; asked for, the export ends cancelled.
//
// Runs, progress, failures and cancel: see QVBasicExportManager.h. Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ExportManager/QVBasicExportManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageExportOptions.h"

// The text a shared mail carries.
inline constexpr const char* kQVSharingText = "#solvane";
// The sibling application's desktop entries, best first, and its page on the maker's site.
inline constexpr const char* kQVMendrixApplicationIDs[] = {"com.orvanta.mendrixpro", "com.orvanta.mendrix"};
inline constexpr const char* kQVMendrixPageURL = "https://www.orvanta.com/rd/mendrix";

class QVExportManager : public QVBasicExportManager {
 public:
  static std::shared_ptr<QVExportManager> make() { return std::make_shared<QVExportManager>(); }

  bool prepareExportPaths(const std::vector<std::string>& paths) override;
  // Nothing happens (and nothing is reported) without paths.
  void exportWithType(uint64_t type) override;
  void setExportOptionDelegate(const std::shared_ptr<QVExportOptionsViewDelegate>& delegate) override {
    exportOptionDelegate_ = delegate;
  }
  std::shared_ptr<QVExportOptionsViewDelegate> exportOptionDelegate() const { return exportOptionDelegate_.lock(); }

  // The disk export through the export dialog; a cancelled (or missing) dialog tells the updater
  // `exportOnDiskDialogDidCancel` and nothing else happens.
  void showSharePanelForImagePaths(const std::vector<std::string>& paths);
  // Processes, names, resolves and writes every path into `outputPath`: a folder (also when its
  // name has a dot), or for one photo the file to write. The completion runs after the finish,
  // only when a file was written.
  void exportToDisk(const std::vector<std::string>& paths, const std::string& outputPath,
                    const QVImageExportOptionsPtr& options, std::function<void()> completion = nullptr);
  // folder / file name . the extension of the options' type; nothing unless all are given and the
  // type is one we write.
  static std::optional<std::string> exportPathForResourceInDirectory(const std::string& directory,
                                                                     const std::string& filename,
                                                                     const QVImageExportOptionsPtr& options);
  std::string changeOutputFilePath(const std::string& path, bool shouldSeekForNewPath) const {
    return shouldSeekForNewPath ? duplicatePath(path) : path;
  }

  // Sharing (e-mail): every photo as a temporary JPEG of this export, then the mail.
  void sharePaths(const std::vector<std::string>& paths, uint64_t exportType);
  // Hands the files to the service of the export type: finished when it took them, cancelled
  // otherwise.
  void shareSavedTempPaths(const std::vector<std::string>& paths, uint64_t exportType, const std::string& text);

  // The hand-off: the full-size JPEG of the source in the image cache folder, made unless it is
  // there already; the completion gets its path once it exists.
  void exportImageToDiskToTempDirectory(const std::string& sourcePath, std::function<void(std::string)> completion);
  // Opens the file with the sibling application, or its web page when it is not installed.
  bool openMendrix(const std::string& path);

 private:
  std::weak_ptr<QVExportOptionsViewDelegate> exportOptionDelegate_;
};
