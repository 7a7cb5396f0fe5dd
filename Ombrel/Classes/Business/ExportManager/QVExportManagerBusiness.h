#pragma once
// The preset-driven (batch) export manager: exports the photos as a batch preset prescribes. Each
// photo is processed at full size with the preset's resizing and colour space, given its effect
// strength at the preset's depth (16 for a 16-bit TIFF preset, else 8), named by the preset's
// pattern (its 0-based position numbering a counter) with the extension of the preset's type, and
// written into the preset's folder (the Desktop when it has none) with the preset's format. A
// name already in the folder is replaced when the preset says so, otherwise the user is asked
// "Overwrite" or "Create New", once per export after "Apply to all".
//
// Order of use: `setPreset`, `prepareExportPaths` (which resets "Apply to all"), `exportWithType`
// 0. Runs, progress, failures and cancel: see QVBasicExportManager.h. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/ExportManager/QVBasicExportManager.h"

class QVImageTaskParams;

class QVExportManagerBusiness : public QVBasicExportManager {
 public:
  static std::shared_ptr<QVExportManagerBusiness> make() { return std::make_shared<QVExportManagerBusiness>(); }

  bool prepareExportPaths(const std::vector<std::string>& paths) override;
  // Only disk exports (type 0) go through presets; with no paths or no preset nothing happens.
  void exportWithType(uint64_t type) override;

  // The user's Desktop: $XDG_DESKTOP_DIR, else "Desktop" in the home folder (in SOLVANE_HOME
  // when that is set). Created when missing.
  static std::string defaultExportDirectory();
  // The bits per channel the strength is blended at: the TIFF depth of a TIFF preset, else 8.
  static int colorDepthForPreset(const QVBatchPreset& preset);
  // The folder a preset names, made absolute: "~" and "~/..." are the user's home folder; any other
  // path that is not absolute (written relative to whatever folder the program runs in) is
  // refused with the reason.
  static std::optional<std::string> absoluteExportFolder(const std::string& folder, std::string* reason);

  const std::shared_ptr<QVBatchPreset>& preset() const { return preset_; }
  void setPreset(std::shared_ptr<QVBatchPreset> preset) { preset_ = std::move(preset); }
  bool applyToAllRenamingSettings() const { return applyToAllRenamingSettings_; }
  void setApplyToAllRenamingSettings(bool apply) { applyToAllRenamingSettings_ = apply; }
  bool createNewNameOnSaving() const { return createNewNameOnSaving_; }
  void setCreateNewNameOnSaving(bool createNew) { createNewNameOnSaving_ = createNew; }

 private:
  void saveImage(const RunPtr& run, const NSImageRef& image, const std::string& sourcePath, uint64_t number,
                 const std::string& folder);

  std::shared_ptr<QVBatchPreset> preset_;
  bool applyToAllRenamingSettings_ = false;
  bool createNewNameOnSaving_ = false;
};
