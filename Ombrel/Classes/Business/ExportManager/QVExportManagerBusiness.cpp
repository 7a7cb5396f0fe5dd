#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"

#include <cstdlib>
#include <filesystem>

#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace fs = std::filesystem;

bool QVExportManagerBusiness::prepareExportPaths(const std::vector<std::string>& paths) {
  setPaths(paths);
  setProcessingPart(0);
  setParts(paths.size());
  applyToAllRenamingSettings_ = false;
  return !paths.empty();
}

std::string QVExportManagerBusiness::defaultExportDirectory() {
  std::string folder;
  if (const char* home = std::getenv("SOLVANE_HOME"); home && *home) {
    folder = qv::appendingPathComponent(home, "Desktop");
  } else if (const char* desktop = std::getenv("XDG_DESKTOP_DIR"); desktop && *desktop) {
    folder = desktop;
  } else {
    const char* userHome = std::getenv("HOME");
    folder = qv::appendingPathComponent(userHome && *userHome ? userHome : "/tmp", "Desktop");
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

int QVExportManagerBusiness::colorDepthForPreset(const QVBatchPreset& preset) {
  const auto& format = preset.format();
  if (!format || !format->tiffImageProperties() || !format->exportType() ||
      !QVBatchTextHelpers::caseInsensitiveEquals(*format->exportType(), kQVExportTypeTIFF))
    return 8;
  return format->tiffImageProperties()->depthValue().value_or(8) >= 16 ? 16 : 8;
}

std::optional<std::string> QVExportManagerBusiness::absoluteExportFolder(const std::string& folder,
                                                                         std::string* reason) {
  if (!folder.empty() && folder.front() == '/') return folder;
  if (folder == "~" || folder.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + folder.substr(1);
    if (reason) *reason = "the export folder \"" + folder + "\" starts with ~ but there is no home folder";
    return std::nullopt;
  }
  if (reason) *reason = "the export folder \"" + folder + "\" is not an absolute path";
  return std::nullopt;
}

void QVExportManagerBusiness::exportWithType(uint64_t type) {
  QVBasicExportManager::exportWithType(type);
  setType(type);
  if (paths().empty() || !preset_) return;
  if (type != kQVExportTypeDisk) {
    QVLogWarning("a preset export writes to disk only (type %llu asked)", static_cast<unsigned long long>(type));
    return cancelExport();
  }
  const auto preset = preset_;
  std::string reason;
  const auto absolute = preset->saving() && preset->saving()->path() && !preset->saving()->path()->empty()
                            ? absoluteExportFolder(*preset->saving()->path(), &reason)
                            : std::optional<std::string>(defaultExportDirectory());
  const std::string folder = absolute.value_or(std::string());
  std::error_code ec;
  if (absolute) fs::create_directories(folder, ec);
  const std::vector<std::string> sources = paths();
  auto run = beginRun(sources.size());
  if (!absolute) {
    for (const auto& source : sources) failImage(run, source, QVImageSaver::imageSaveError(reason));
    return;
  }
  run->applyToAll = applyToAllRenamingSettings_;
  run->createNew = createNewNameOnSaving_;
  const int depth = colorDepthForPreset(*preset);
  processSeveralAtOnce(run, sources);
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  for (uint64_t i = 0; i < sources.size(); ++i) {
    requestImage(run, i, sources[i], preset, depth,
                 [weakSelf, folder](const RunPtr& run, uint64_t index, const std::string& path, NSImageRef image) {
                   if (auto self = std::static_pointer_cast<QVExportManagerBusiness>(weakSelf.lock()))
                     self->saveImage(run, image, path, index, folder);
                 });
  }
}

void QVExportManagerBusiness::saveImage(const RunPtr& run, const NSImageRef& image, const std::string& sourcePath,
                                        uint64_t number, const std::string& folder) {
  const auto preset = preset_;
  const auto& format = preset->format();
  const std::string exportType = format && format->exportType() ? *format->exportType() : std::string();
  const auto name =
      QVBatchNamingUIDatasource::shared().targetFileName(sourcePath, *preset->naming(), number, exportType);
  if (!name)
    return failImage(run, sourcePath, QVImageSaver::imageSaveError("no file name for the type \"" + exportType + "\""));
  const bool overwrite = preset->saving() && preset->saving()->shouldOverwriteWithoutWarning();
  const std::string target = resolveCollision(run, qv::appendingPathComponent(folder, *name), overwrite);
  applyToAllRenamingSettings_ = run->applyToAll;
  createNewNameOnSaving_ = run->createNew;
  QVImageSaver::FormatOptions options;
  if (format) options = QVImageSaver::formatOptionsFromBatchFormat(*format);
  const bool replace = run->replaceable.count(target) != 0;
  writeInBackground(run, sourcePath, target, [image, sourcePath, target, exportType, options, replace] {
    // The name is resolved already: the saver writes exactly there, over a file only when asked to.
    return QVImageSaver::saveImage(image, sourcePath, target, exportType, replace, &options, nullptr);
  });
}
