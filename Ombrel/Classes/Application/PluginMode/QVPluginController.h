#pragma once
// The export manager of plug-in mode. A host application started the application with its images
// and where it expects the results (QVSPluginModeManager); the controller processes every host
// image at full size, applies the strength the user set per image, writes each result where the
// host expects it, tells the host (QVHostNotifier) and ends the application through the shell's
// quit. It also cancels the run on demand and opens the plug-in installer.
//
// Export (`exportWithType`): all images are asked of the facade at once; each completion hops to
// the main thread before it touches the count or the results. Progress: the start reports
// (0, n) and counts one step, each image's completion reports (step, n) and counts one more, so
// the last image's completion is the one that finds step == n: it writes the results, finishes
// the export, tells the host and quits 1 s later. With no host images the run ends the same way at
// once.
//
// Writing (`planDestinations`, then `saveImages`): every target and every source's metadata is
// settled before the first file is written. A file is replaced only when the host named exactly
// that file (its save pair, its save path, or its one image handed over alone), and then by a
// complete file renamed over it. Anything else goes under a free name ("name_2.ext") that is taken
// exclusively: a camera RAW (never overwritten by a rendering: "name.tif" beside it), a target whose
// extension no writer writes (a TIFF of that name), a second result bound for a target another
// result of the run has. The file's type is its name's extension's. The samples are display-referred:
// encoded in the colour space of the source's profile (sRGB without one) at the source's depth (16
// bits when it has more than 8 and the type holds them).
//
// Ending: every result written: "app_result_saved" per result, "app_termination_ok", status 0. An
// image without a result (not processed, or not written, a read-only file or folder among the
// reasons): "app_result_failed" with the reason for it, "app_termination_failed", then
// "app_termination_ok" (the host's word that the program ends), the user sees "Image cannot be
// saved" with the reason once per image, and the application ends with status 1. The paths go to
// the host as texts and as their exact bytes (QVHostNotifier).
//
// Cancel (`cancelPlugin`): stops the image work; in plug-in mode posts "app_termination_cancel",
// then "app_termination_ok", and marks the run cancelled; in any case `exitPlugin`: the image work
// is cancelled and cleaned, and 0.3 s later the will-terminate notification is posted and the
// application quits.
//
// Its collaborators are small interfaces (facade, writer, alerts, terminator, notifier, the mode
// manager) so it runs headless; `make()` fills in the application's own for those not given.
// Made, driven and destroyed on the main thread, always owned by a shared_ptr.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/PluginMode/QVHostNotifier.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginLaunchInfo.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagable.h"
#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Value.h"

class QVPluginInstallWindowController;

// Seconds from the last result to the quit, and from a cancel to the quit.
inline constexpr double kQVPluginTerminateDelay = 1.0;
inline constexpr double kQVPluginExitDelay = 0.3;
inline constexpr const char* kQVPluginName = "SolvaneBrisko";
inline constexpr const char* kQVPluginApplicationName = "Solvane Brisko";
inline constexpr const char* kQVPluginApplicationUUID = "6F1C2A9E-4B7D-4E35-9A80-3D5C7B21E64F";

class QVPluginController : public QVExportManagable, public std::enable_shared_from_this<QVPluginController> {
 public:
  // The application core as the controller uses it. Completions may run on any thread.
  class Facade {
   public:
    using Processed = std::function<void(NSImageRef source, NSImageRef processed)>;
    using Blended = std::function<void(NSImageRef image)>;
    virtual ~Facade() = default;
    virtual void setExporting(bool exporting) = 0;
    // The photo at full size; a photo that cannot be processed answers a null processed image.
    virtual void processFullSizeImageAtPath(const std::string& path, Processed completion) = 0;
    // The processed image blended over the source with the photo's stored strength.
    virtual void applyBoostAmount(NSImageRef source, NSImageRef processed, const std::string& path,
                                  Blended completion) = 0;
    virtual void cancelProcessing() = 0;
    // Cancels every task and empties the source list, the caches and the per-image settings.
    virtual void cancelProcessingAndClean() = 0;
    virtual void trackExport(const std::vector<std::string>& paths, uint64_t type) = 0;
    virtual void imageWasSaved() = 0;
  };
  // The export writer: true once the file is in place (written beside it and renamed over it).
  // `replace` false: a file already at `path` is never replaced (the write fails).
  class ImageWriter {
   public:
    virtual ~ImageWriter() = default;
    virtual bool write(const CGImageRef& image, const std::string& path, const std::string& type,
                       const qv::Value& properties, bool replace, std::string* error) = 0;
  };
  class Alerts {
   public:
    virtual ~Alerts() = default;
    // "Image cannot be saved" with `reason` and "OK", after the attention cue; main thread.
    virtual void showImageCannotBeSaved(const std::string& reason) = 0;
  };
  class Terminator {
   public:
    virtual ~Terminator() = default;
    // The shell's orderly quit with the process's exit status; main thread.
    virtual void terminate(int status) = 0;
  };
  struct Services {
    std::shared_ptr<Facade> facade;
    std::shared_ptr<ImageWriter> writer;
    std::shared_ptr<Alerts> alerts;
    std::shared_ptr<Terminator> terminator;
    std::shared_ptr<QVHostNotifier> notifier;
    // Not owned; the process-wide manager when none.
    QVSPluginModeManager* modeManager = nullptr;
  };

  // The application core's own facade (what `make` uses when none is given).
  static std::shared_ptr<Facade> makeAppFacade();
  static std::shared_ptr<QVPluginController> make(Services services);
  static std::shared_ptr<QVPluginController> make();
  ~QVPluginController() override;
  static std::string pluginName() { return kQVPluginName; }

  // ---- QVExportManagable ----
  // The host's images are the paths; the given ones are not used. True when there is one.
  bool prepareExportPaths(const std::vector<std::string>& paths) override;
  void exportWithType(uint64_t type) override;
  // The exporting flag off and the image work stopped; the running export's results are dropped.
  void cancelProcessing() override;
  // The exporting flag off and the export tracked.
  void finishExport() override;
  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const override { return progressUpdater_.lock(); }
  void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& updater) override {
    progressUpdater_ = updater;
  }
  void setExportOptionDelegate(const std::shared_ptr<QVExportOptionsViewDelegate>& delegate) override {
    exportOptionDelegate_ = delegate;
  }
  // The sources of the host's save pairs, else its single image, else none (read each time).
  const std::vector<std::string>& paths() const override;
  uint64_t type() const override { return type_; }
  const std::vector<std::string>& exportedPaths() const override { return exportedPaths_; }

  // ---- The run ----
  // `exportWithType(0)` when there is a host image; false (nothing starts) otherwise.
  bool exportImages();
  void cancelPlugin();
  void exitPlugin();
  // Opens the plug-in installer window (kept while open).
  void installPlugins();
  QVPluginInstallWindowController* pluginInstallWC() const { return pluginInstallWC_.get(); }
  static QVPluginLaunchInfo launchInfo();

  // ---- Where and how results are written ----
  std::string exportPath() const;
  // Where the host expects the result of `path`: its save pair's target; for the host's image its
  // save path (in place when that is the image itself), or the image itself when the host handed
  // over only its file; for any other source the source with the save path's extension, else the
  // source. `named`: the host named exactly that file (it may be replaced).
  std::string savePathForPath(const std::string& path, bool* named = nullptr) const;
  // The type a result is written as: the one its path's extension names; without an extension, the
  // type read for it when we write it, else TIFF (always TIFF with the host's extra resources).
  // Empty for an extension no writer writes.
  std::string outputTypeFor(const std::string& readType, const std::string& outputPath) const;

  // One result's way to its file.
  struct Destination {
    std::string source;
    std::string asked;     // where the host expects it
    std::string path;      // where it is written
    std::string type;      // the type identifier written
    bool replace = false;  // the host named exactly this file: a complete file is renamed over it
    std::string note;      // why `path` is not `asked`
    std::string freeBase;  // the name free names are made from ("name.ext" for "name_2.ext")
    qv::Value properties;  // metadata, depth and colour space, read before any file is written
  };
  // The destinations of these sources, in order (see the class comment). Reads the files' kinds,
  // types and metadata; writes nothing.
  std::vector<Destination> planDestinations(const std::vector<std::string>& sources) const;
  // Writes the results in the order of `paths`; what could not be written is in `failures`.
  void saveImages(const std::map<std::string, NSImageRef>& images);

  struct Failure {
    std::string source, asked, reason;
  };
  // The images of the last run that have no result, with the reason.
  const std::vector<Failure>& failures() const { return failures_; }
  // The results of the last run that were written.
  const std::vector<Destination>& savedDestinations() const { return saved_; }

  uint64_t parts() const { return parts_; }
  uint64_t processingPart() const { return processingPart_; }
  void beginUpdateProgress();
  void updateProgress();
  QVSPluginModeManager& modeManager() const { return *services_.modeManager; }

 private:
  struct Run {
    bool cancelled = false;
    std::map<std::string, NSImageRef> results;
  };
  explicit QVPluginController(Services services);
  void imageCompleted(const std::shared_ptr<Run>& run, const std::string& path, NSImageRef image);
  void endRun();
  // Writes one result; a destination that is not to be replaced moves on to the next free name when
  // its name is taken meanwhile. False with the reason.
  bool writeResult(const NSImageRef& image, Destination& destination, std::string* reason);

  Services services_;
  std::weak_ptr<QVExportProgressUpdatable> progressUpdater_;
  std::weak_ptr<QVExportOptionsViewDelegate> exportOptionDelegate_;
  mutable std::vector<std::string> paths_;
  std::vector<std::string> exportedPaths_;
  std::vector<Failure> failures_;
  std::vector<Destination> saved_;
  uint64_t type_ = 0;
  uint64_t parts_ = 0;
  uint64_t processingPart_ = 0;
  std::shared_ptr<Run> run_;
  std::unique_ptr<QVPluginInstallWindowController> pluginInstallWC_;
};
