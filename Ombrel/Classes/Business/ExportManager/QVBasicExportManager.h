#pragma once
// What every export manager shares: the paths of an export and its progress counting, the calls
// to the progress updater, free names for "Create New", the temporary files of sharing and the
// hand-off, and one export run's bookkeeping.
//
// A run (`beginRun`) covers one export of n photos. Each photo is asked of the facade at full
// size, given its effect strength, then named on the main thread and written on the manager's own
// serial writing queue, so writes go one at a time beside the processing of the next photo. A
// run's photos are counted as they complete (written, or failed and reported through
// `onExportFailed`): progress reports step 0 when the run begins and step k once k photos have
// completed, up to n - 1; when all n have completed the run ends: finished when at least one file
// was written, otherwise cancelled. A failed photo is never listed in `exportedPaths`. Within a run,
// a name one photo has taken is never given to another: a second photo that would write it gets
// the next free numbered name without asking. Photos are taken up one at a time, in the order
// asked: while one waits on the user's answer to a name question, the others wait behind it.
//
// Cancel (`cancelProcessing`): the run is marked cancelled, the facade's export work is stopped,
// nothing of the run reaches the updater any more (no finish), and no write starts afterwards;
// a write already under way completes whole (files are written beside their target and renamed
// into place), so nothing is ever left half written.
//
// Threads: a manager is made and driven on the main thread and always owned by a shared_ptr (its
// queued work holds it weakly). Every call to the progress updater, the alerts and the desktop
// launcher is made on the main thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ExportManager/QVExportManagable.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/ImageIO/NSImage.h"

class QVBatchPreset;
namespace rova {
class LargeBufferReuse;
}

// Export types.
inline constexpr uint64_t kQVExportTypeDisk = 0;
inline constexpr uint64_t kQVExportTypeFlickr = 1;
inline constexpr uint64_t kQVExportTypeEmail = 2;
inline constexpr uint64_t kQVExportTypeFacebook = 3;
inline constexpr uint64_t kQVExportTypeTwitter = 4;
inline constexpr uint64_t kQVExportTypeMendrix = 5;

class QVBasicExportManager : public QVExportManagable, public std::enable_shared_from_this<QVBasicExportManager> {
 public:
  // Records the export of those source photos with that export type (the application installs the
  // usage events); called on the main thread by `finishExport`.
  using ExportTracker = std::function<void(const std::vector<std::string>& paths, uint64_t exportType)>;
  static void setExportTracker(ExportTracker tracker);

  QVBasicExportManager();
  ~QVBasicExportManager() override;

  bool prepareExportPaths(const std::vector<std::string>& paths) override;
  // Empties `exportedPaths` (and the failures); subclasses call it first.
  void exportWithType(uint64_t type) override;
  void cancelProcessing() override;
  // The exporting flag off, exported on unless a photo failed, the export tracked (the sources
  // written), then the updater's `onExportFinished`.
  void finishExport() override;
  // The exporting flag off, the paths dropped, the updater's `onExportCanceled`.
  void cancelExport();
  // The exporting flag on, `onExportStarted`, then `updateProgress`.
  void beginUpdateProgress();
  // Reports (processingPart, parts), then counts one step up, never past `parts`.
  void updateProgress();
  // Shows the folder of the exported files in the desktop's file manager.
  bool revealExportedPaths() const;

  // The first free "<name>_<n>.<extension>" (n = 2, 3, ...) beside the path; the extension is what
  // follows the last dot of the file name, so "my.photo.jpg" gives "my.photo_2.jpg" and a name
  // without one is numbered as a whole.
  std::string duplicatePath(const std::string& path) const;
  // "<image cache folder>/<hash of the source path>.jpg", the folder created when missing.
  static std::string tempImagePath(const std::string& sourcePath);

  std::shared_ptr<QVExportProgressUpdatable> progressUpdater() const override { return progressUpdater_.lock(); }
  void setProgressUpdater(const std::shared_ptr<QVExportProgressUpdatable>& updater) override {
    progressUpdater_ = updater;
  }
  const std::vector<std::string>& paths() const override { return paths_; }
  void setPaths(std::vector<std::string> paths) { paths_ = std::move(paths); }
  uint64_t type() const override { return type_; }
  void setType(uint64_t type) { type_ = type; }
  uint64_t parts() const { return parts_; }
  void setParts(uint64_t parts) { parts_ = parts; }
  uint64_t processingPart() const { return processingPart_; }
  void setProcessingPart(uint64_t part) { processingPart_ = part; }
  const std::vector<std::string>& exportedPaths() const override { return exportedPaths_; }
  // The source photos of the last export that could not be exported.
  const std::vector<std::string>& failedPaths() const { return failedPaths_; }
  // Whether an export run is under way.
  bool isExporting() const;

 protected:
  struct Run {
    ~Run();  // gives up its claims
    uint64_t total = 0;
    uint64_t completed = 0;
    std::atomic<bool> cancelled{false};
    // Targets taken by this run (written or about to be): claimed through `claim`, which also
    // claims them for the whole process, so two managers exporting at once never share a name.
    std::set<std::string> claimed;
    // The claimed targets that may replace a file there (overwriting was asked for); every other
    // target is moved into place only while its name is free.
    std::set<std::string> replaceable;
    // The collision answers of this run.
    bool applyToAll = false;
    bool createNew = false;
    std::vector<std::string> writtenSources;
    std::vector<std::string> writtenTargets;
    // Called instead of the default end (finish or cancel) once every photo completed.
    std::function<void(const std::shared_ptr<Run>&)> onComplete;
    // Photos processed at once end in any order: each is taken up (named, written, reported) only
    // after every photo asked before it, so names and results keep the order of the request.
    uint64_t nextInOrder = 0;
    std::map<uint64_t, std::function<void()>> waiting;
    // True while photos are being taken up (one of them may be asking the user).
    bool takingUp = false;
    // Photos the processing queue works on at once for this run (given back when it ends).
    int64_t photosAtOnce = 1;
    // Large buffers freed by one photo are kept for the next ones while the run processes (see
    // processSeveralAtOnce).
    std::unique_ptr<rova::LargeBufferReuse> bufferReuse;
  };
  using RunPtr = std::shared_ptr<Run>;
  using ImageReady = std::function<void(const RunPtr& run, uint64_t index, const std::string& path, NSImageRef image)>;
  using Write = std::function<std::optional<qv::Error>()>;

  // A new run of `count` photos (any earlier one is given up): parts = count, step 0, then
  // `beginUpdateProgress`.
  RunPtr beginRun(uint64_t count);
  bool isLive(const RunPtr& run) const { return run && run == run_ && !run->cancelled; }

  // Asks the facade for the photo at full size and blends its effect strength: with a batch
  // preset at that depth, otherwise as the interactive export does (8 bits, only when needed).
  // On the main thread, while the run lives, the image is handed to `ready`; a photo that could
  // not be processed is reported as failed instead.
  void requestImage(const RunPtr& run, uint64_t index, const std::string& path,
                    const std::shared_ptr<QVBatchPreset>& batchPreset, int colorDepth, ImageReady ready);

  // Takes the target for the run and for the process, until the run ends.
  static void claim(const RunPtr& run, const std::string& path);
  static void releaseClaims(const Run& run);
  // Whether another run of the process (of any manager) has claimed the path.
  static bool isClaimedElsewhere(const std::string& path, const Run& run);
  // Whether the target exists or is taken by the run or another run of the process.
  bool isTaken(const std::string& path, const Run& run) const;
  // `duplicatePath` that also skips the names the run has taken.
  std::string freePath(const std::string& path, const Run& run) const;
  // Resolves a folder target that exists: names the run took get a free name silently; a file
  // already there (or a name another export of the process is writing) is replaced when
  // `overwrite`, else the user is asked (once per run after "Apply to all") whether to overwrite it
  // or create a new name. The result is claimed for the run, and replaceable when overwritten.
  std::string resolveCollision(const RunPtr& run, const std::string& target, bool overwrite);

  // Runs the write on the writing queue; back on the main thread the file is recorded (written)
  // or reported (failed) and the photo counted as completed. Nothing starts once the run ended.
  void writeInBackground(const RunPtr& run, const std::string& sourcePath, const std::string& target, Write write);
  // Lets the run's photos be processed several at once, as many as memory allows for the largest
  // of them (see photosAtOnce), until the run ends; meanwhile the large buffers a photo frees (its
  // float picture, the render's planes, the file's bitmap) are kept for the next photos, up to
  // kBytesPerPixelReused a pixel of the largest for each photo under way: a fresh buffer's pages
  // are cleared by the kernel when first touched, a reused one's are in place.
  void processSeveralAtOnce(const RunPtr& run, const std::vector<std::string>& paths);
  // Gives the run's share back: one photo at a time again, and no buffer kept.
  static void processOneAtOnce(Run& run);
  // How many photos of `pixels` each to process at once with `availableBytes` of memory on `cores`:
  // each takes about kBytesPerPixelInFlight a pixel while processed, blended and written; half the
  // memory is left to the rest of the system. At most three quarters of the cores: a photo's decode
  // runs on one thread (a JPEG without restart markers), so with photos of little grain, whose
  // render is short, half the cores left cores idle while the photos under way decoded; past three
  // quarters more photos only compete for the cores (each render uses every core) and take memory.
  static constexpr double kBytesPerPixelInFlight = 48;
  // A photo's buffers past malloc's own reuse: the float picture (12 bytes a pixel), a float plane
  // of the render (4) and the 8-bit bitmap of the file (3), rounded up.
  static constexpr double kBytesPerPixelReused = 20;
  static int64_t photosAtOnce(double pixels, double availableBytes, unsigned cores);
  // Memory the system can give without swapping (MemAvailable), in bytes; 0 when unknown.
  static double availableMemory();

  // Reports the photo as failed and counts it as completed.
  void failImage(const RunPtr& run, const std::string& sourcePath, const qv::Error& error);
  void completeImage(const RunPtr& run);

  // A fresh folder for this run's temporary files, removed with `removeRunFolder`, when the next
  // one is made, on cancel and when the manager goes.
  std::string makeRunFolder(const std::string& prefix);
  void removeRunFolder();

  std::shared_ptr<qv::DispatchQueue> writingQueue_;
  RunPtr run_;
  std::string runFolder_;

 private:
  std::vector<std::string> paths_;
  uint64_t type_ = 0;
  uint64_t parts_ = 0;
  uint64_t processingPart_ = 0;
  std::weak_ptr<QVExportProgressUpdatable> progressUpdater_;
  std::vector<std::string> exportedPaths_;
  std::vector<std::string> failedPaths_;
};
