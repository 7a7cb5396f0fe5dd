#include "Ombrel/Classes/Business/ExportManager/QVExportManager.h"

#include <filesystem>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "QVPlatform/Log.h"

namespace fs = std::filesystem;

namespace {

bool isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

bool QVExportManager::prepareExportPaths(const std::vector<std::string>& paths) {
  return QVBasicExportManager::prepareExportPaths(paths);
}

void QVExportManager::exportWithType(uint64_t type) {
  QVBasicExportManager::exportWithType(type);
  if (paths().empty()) return;
  setProcessingPart(0);
  setParts(paths().size());
  setType(type);
  if (!QVSharingServices::isExportTypeAvailable(type)) {
    QVLogWarning("export type %llu has no service on this system", static_cast<unsigned long long>(type));
    return cancelExport();
  }
  if (type == kQVExportTypeMendrix) {
    std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
    exportImageToDiskToTempDirectory(paths().front(), [weakSelf](const std::string& temp) {
      if (auto self = std::static_pointer_cast<QVExportManager>(weakSelf.lock())) self->openMendrix(temp);
    });
  } else if (type == kQVExportTypeDisk) {
    showSharePanelForImagePaths(paths());
  } else {
    sharePaths(paths(), type);
  }
}

// ---- Disk ----

void QVExportManager::showSharePanelForImagePaths(const std::vector<std::string>& paths) {
  auto presenter = QVSharingServices::dialogPresenter();
  if (!presenter) {
    QVLogWarning("no export dialog to show");
    if (auto updater = progressUpdater()) updater->exportOnDiskDialogDidCancel();
    return;
  }
  presenter->setOptionsDelegate(exportOptionDelegate_);
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  presenter->showExportDialogWithPaths(
      paths, [weakSelf, paths](int64_t response, const std::string& url, const std::string& directoryURL,
                               const std::string& fileType, int64_t depth, const qv::Dictionary& imageProperties,
                               int64_t colorSpace) {
        auto self = std::static_pointer_cast<QVExportManager>(weakSelf.lock());
        if (!self) return;
        if (response != 1) {
          if (auto updater = self->progressUpdater()) updater->exportOnDiskDialogDidCancel();
          return;
        }
        const std::string output = paths.size() == 1 ? url : directoryURL;
        auto options = QVImageExportOptions::imageExportOptionsWithDepth(uint64_t(std::max<int64_t>(depth, 0)),
                                                                         fileType, qv::Value(imageProperties));
        options->setColorSpace(colorSpace);
        self->exportToDisk(paths, output, options);
      });
}

std::optional<std::string> QVExportManager::exportPathForResourceInDirectory(const std::string& directory,
                                                                             const std::string& filename,
                                                                             const QVImageExportOptionsPtr& options) {
  if (directory.empty() || filename.empty() || !options) return std::nullopt;
  auto extension = QVExportFileTypes::extensionForType(options->type());
  if (!extension) return std::nullopt;
  return qv::appendingPathComponent(directory, filename + "." + *extension);
}

void QVExportManager::exportToDisk(const std::vector<std::string>& paths, const std::string& outputPath,
                                   const QVImageExportOptionsPtr& options, std::function<void()> completion) {
  if (paths.empty()) return;
  auto run = beginRun(paths.size());
  if (completion)
    run->onComplete = [this, completion](const RunPtr& ended) {
      if (ended->writtenTargets.empty()) return cancelExport();
      finishExport();
      completion();
    };
  // One photo to a file the dialog chose; otherwise the output is a folder, whatever its name.
  const bool toFile = !isDirectory(outputPath) && !qv::pathExtension(outputPath).empty();
  // A file is written as its name says (see QVExportFileTypes::saveTargetForName); a type that
  // holds no 16-bit samples is written at 8 bits.
  std::string file = outputPath;
  bool renamed = false;
  QVImageExportOptionsPtr written = options;
  if (toFile && options) {
    const auto target = QVExportFileTypes::saveTargetForName(outputPath, options->type());
    file = target.path;
    renamed = target.renamed;
    if (target.type != options->type() ||
        (options->depth() > 8 && !CGImageDestinationTypeHoldsSixteenBits(target.type))) {
      written = std::make_shared<QVImageExportOptions>(*options);
      written->setType(target.type);
      if (!CGImageDestinationTypeHoldsSixteenBits(target.type)) written->setDepth(8);
    }
  }
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  // A colour space chosen in the dialog reaches the render as a batch preset's does: through a
  // preset holding only that format, rendered at the chosen depth.
  std::shared_ptr<QVBatchPreset> renderPreset;
  int depth = 8;
  if (written && written->colorSpace() > 0) {
    renderPreset = std::make_shared<QVBatchPreset>();
    renderPreset->format()->setExportType(written->type());
    renderPreset->format()->setColorSpace(written->colorSpace());
    depth = written->depth() == 16 ? 16 : 8;
  }
  for (uint64_t i = 0; i < paths.size(); ++i) {
    requestImage(run, i, paths[i], renderPreset, depth,
                 [weakSelf, outputPath, file, renamed, options = written, toFile](
                     const RunPtr& run, uint64_t, const std::string& path, NSImageRef image) {
                   auto self = std::static_pointer_cast<QVExportManager>(weakSelf.lock());
                   if (!self) return;
                   std::string target;
                   if (toFile) {
                     // A second photo never goes over the first. The dialog asked about replacing
                     // the chosen file already; a name given its type's extension was never asked
                     // about and takes a free name when it is taken.
                     const bool free = !run->claimed.count(file) && !(renamed && self->isTaken(file, *run));
                     target = free ? file : self->freePath(file, *run);
                     claim(run, target);
                     if (target == outputPath) run->replaceable.insert(target);
                   } else {
                     const auto planned = exportPathForResourceInDirectory(
                         outputPath, qv::deletingPathExtension(qv::lastPathComponent(path)), options);
                     if (!planned)
                       return self->failImage(run, path,
                                              QVImageSaver::imageSaveError("no file name for the type \"" +
                                                                           (options ? options->type() : "") + "\""));
                     target = self->resolveCollision(run, *planned, false);
                   }
                   const bool replace = run->replaceable.count(target) != 0;
                   self->writeInBackground(run, path, target, [image, path, target, options, replace] {
                     return QVImageSaver::saveImageWithOptions(image, path, target, *options, replace);
                   });
                 });
  }
}

// ---- Sharing ----

void QVExportManager::sharePaths(const std::vector<std::string>& paths, uint64_t exportType) {
  if (paths.empty()) return;
  auto run = beginRun(paths.size());
  const std::string folder = makeRunFolder("Sharing");
  run->onComplete = [this, exportType](const RunPtr& ended) {
    if (ended->writtenTargets.empty()) {
      removeRunFolder();
      return cancelExport();
    }
    shareSavedTempPaths(ended->writtenTargets, exportType, kQVSharingText);
  };
  std::weak_ptr<QVBasicExportManager> weakSelf = shared_from_this();
  for (uint64_t i = 0; i < paths.size(); ++i) {
    requestImage(run, i, paths[i], nullptr, 8,
                 [weakSelf, folder](const RunPtr& run, uint64_t, const std::string& path, NSImageRef image) {
                   auto self = std::static_pointer_cast<QVExportManager>(weakSelf.lock());
                   if (!self) return;
                   if (folder.empty())
                     return self->failImage(run, path, QVImageSaver::imageSaveError("no temporary folder"));
                   // Two photos of one name each keep their own file.
                   std::string target = qv::appendingPathComponent(
                       folder, qv::deletingPathExtension(qv::lastPathComponent(path)) + "_sharing.jpeg");
                   if (self->isTaken(target, *run)) target = self->freePath(target, *run);
                   claim(run, target);
                   self->writeInBackground(run, path, target, [image, path, target]() -> std::optional<qv::Error> {
                     CGImageRef bitmap = image ? image->CGImage() : nullptr;
                     if (!bitmap) return QVImageSaver::imageSourceError();
                     std::string reason;
                     if (!QVShareManager::shared().saveImage(bitmap, target, kQVExportTypeJPEG,
                                                             QVImageUtils::imagePropertiesAtPath(path), &reason))
                       return QVImageSaver::imageSaveError(reason);
                     return std::nullopt;
                   });
                 });
  }
}

void QVExportManager::shareSavedTempPaths(const std::vector<std::string>& paths, uint64_t exportType,
                                          const std::string& text) {
  bool shared = false;
  if (exportType == kQVExportTypeEmail) {
    QVMailMessage message;
    message.body = text;
    message.attachments = paths;
    shared = QVSharingServices::composeMail(message);
  }
  // The mail program reads the attachments after this call returns: the folder stays until the
  // next export or the manager goes (or the image cache is cleaned), unless nothing was shared.
  if (shared) return finishExport();
  removeRunFolder();
  cancelExport();
}

// ---- The sibling application ----

void QVExportManager::exportImageToDiskToTempDirectory(const std::string& sourcePath,
                                                       std::function<void(std::string)> completion) {
  const std::string temp = tempImagePath(sourcePath);
  std::error_code ec;
  if (fs::is_regular_file(temp, ec)) {
    if (completion) completion(temp);
    return;
  }
  exportToDisk({sourcePath}, temp, QVImageExportOptions::defaultOptions(), [temp, completion] {
    if (completion) completion(temp);
  });
}

bool QVExportManager::openMendrix(const std::string& path) {
  for (const char* applicationID : kQVMendrixApplicationIDs)
    if (QVSharingServices::openFilesWithApplication(applicationID, {path})) return true;
  QVSharingServices::openURL(kQVMendrixPageURL);
  return false;
}
