#pragma once
// What the export managers reach outside the application, each behind a small port that the
// screens fill in and tests script:
//  - the export destination dialog (`QVExportDialogPresenter`): a save panel for one photo, a
//    folder chooser for several, with the export options the user picked;
//  - the desktop launcher (`QVDesktopLauncher`): starts a desktop program detached. Mail with the
//    exported files attached goes through `xdg-email --attach` (xdg-utils), the sibling
//    application through its desktop entry, web pages and folders through `xdg-open`. Those
//    openers start at once and only then look for a browser, mail program or file manager, so a
//    caller that must tell the user when there is none watches how the opener ends
//    (`launchWatched`).
//
// The social-network services (export types 1, 3 and 4) have no counterpart on Linux: they are
// not offered (`isExportTypeAvailable`), and the export menu leaves them out.
//
// The ports are process-wide; installing and reading them is thread-safe. Managers call them on
// the main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

class QVExportOptionsViewDelegate;

struct QVMailMessage {
  std::vector<std::string> recipients;
  std::string subject;
  std::string body;
  std::vector<std::string> attachments;  // file paths
};

// The export destination dialog. Shows itself (as a sheet on the main window) and calls the
// completion once, on the main thread, when it closes: (response 1 for OK, the chosen file path,
// the folder shown last, the file-type identifier, the bit depth, the image properties, the colour
// space to render in: 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB, 0 the render's own).
class QVExportDialogPresenter {
 public:
  using Completion = std::function<void(int64_t response, const std::string& url, const std::string& directoryURL,
                                        const std::string& fileType, int64_t depth,
                                        const qv::Dictionary& imageProperties, int64_t colorSpace)>;
  virtual ~QVExportDialogPresenter() = default;
  virtual void showExportDialogWithPaths(const std::vector<std::string>& paths, Completion completion) = 0;
  // Where the next dialog's options view sends the request for the advanced (preset) settings;
  // held weakly.
  void setOptionsDelegate(std::weak_ptr<QVExportOptionsViewDelegate> delegate) {
    optionsDelegate_ = std::move(delegate);
  }
  std::shared_ptr<QVExportOptionsViewDelegate> optionsDelegate() const { return optionsDelegate_.lock(); }

 private:
  std::weak_ptr<QVExportOptionsViewDelegate> optionsDelegate_;
};

// Starts a program detached (arguments[0] looked up in PATH); true when it started.
class QVDesktopLauncher {
 public:
  virtual ~QVDesktopLauncher() = default;
  virtual bool launch(const std::vector<std::string>& arguments) = 0;
  // Starts the program; `failed` runs once, on the main thread, when it could not be started or
  // when it ended with a failure status soon after (xdg-open and xdg-email end with 3 when no
  // program on the desktop can open what they were given). This default only knows the start.
  virtual void launchWatched(const std::vector<std::string>& arguments, std::function<void()> failed) {
    if (!launch(arguments) && failed) failed();
  }
};

// The real one: posix_spawnp, the child reaped by a detached thread.
class QVProcessDesktopLauncher : public QVDesktopLauncher {
 public:
  // A failure status later than this after the start is the program's own business (a browser
  // the opener ran in the foreground and the user closed), not a failure to open.
  static constexpr double kFailureWindowSeconds = 20;
  bool launch(const std::vector<std::string>& arguments) override;
  void launchWatched(const std::vector<std::string>& arguments, std::function<void()> failed) override;

 private:
  bool start(const std::vector<std::string>& arguments, std::function<void(int status, double seconds)> ended);
};

class QVSharingServices {
 public:
  // nullptr: no dialog (a disk export through the dialog then counts as cancelled).
  static void setDialogPresenter(std::shared_ptr<QVExportDialogPresenter> presenter);
  static std::shared_ptr<QVExportDialogPresenter> dialogPresenter();
  // nullptr restores the process launcher.
  static void setLauncher(std::shared_ptr<QVDesktopLauncher> launcher);
  static std::shared_ptr<QVDesktopLauncher> launcher();

  // Disk (0), e-mail (2) and the sibling application (5); the social-network services are not.
  static bool isExportTypeAvailable(uint64_t exportType);

  // The `xdg-email` arguments after the program's name: "--utf8", the subject, the body, one
  // "--attach <file>" per attachment, then the recipients.
  static std::vector<std::string> xdgEmailArguments(const QVMailMessage& message);
  // Composes the mail through `xdg-email`; false when it could not be started. With `failed`, the
  // launch is watched (see QVDesktopLauncher::launchWatched) and `failed` told when no mail
  // program took the message.
  static bool composeMail(const QVMailMessage& message, std::function<void()> failed = nullptr);
  // Opens a URL or a folder with the desktop's default program (`xdg-open`); `failed` as above.
  static bool openURL(const std::string& url, std::function<void()> failed = nullptr);

  // The desktop entry "<applicationID>.desktop" in the user's and the system's application
  // folders ($XDG_DATA_HOME, then $XDG_DATA_DIRS); empty when none is installed.
  static std::string desktopEntryPath(const std::string& applicationID);
  // The command line of an entry's "Exec" key for the files: quoting undone, %f/%u the first file,
  // %F/%U all of them, %% a percent sign, other field codes dropped; the files appended when the
  // line takes none. Empty when the entry has no usable "Exec" or is hidden.
  static std::vector<std::string> commandForDesktopEntry(const std::string& entryPath,
                                                         const std::vector<std::string>& files);
  // Starts the application of that desktop entry with the files; false when it is not installed or
  // did not start.
  static bool openFilesWithApplication(const std::string& applicationID, const std::vector<std::string>& files);
};
