#pragma once
// The application's facade: a process-wide object that owns the settings and the managers of the
// application core for the life of the process. Its static methods are the one interface through
// which the screens, the menus and the export managers reach images, caches, settings, the source
// list and the web service. Screens never touch queues, operations or caches themselves.
//
// Start-up (`start`, once, on the main thread, before the interface appears): the logger, the event
// tracker (whose delegate the facade becomes), a long-term clean (empty source list, caches,
// temporary folder, per-image settings), the engine from the resources' path, and the core
// framework's factory warmed up with one processor.
//
// Images (see QVApp+Additions.cpp): a request is examined on "QVApp.Queue", one at a time, and
// answered from the cache when source and processed image are both there (full size never uses the
// cache); otherwise the processing manager runs it on "QVImageProcessing.Queue". Each finished
// request posts "QVAppDidProcessImage" with the image key ("<md5 of the path>_<type>", a
// `std::string`) as object and the `QVImageProcessingResult` under the user object "result", on the
// thread that finished the work; screens observe one key with `QVImageProcessingObserver`, which
// delivers on the main thread. Completions take the path of the finished task, which for a
// displaced urgent preview is not the request's own.
//
// Strength: the slider's amount per image (1 full enhancement, 0 the source) is blended on
// "QVImageBlending.Queue": the source drawn over the processed image at opacity 1 - amount. A burst
// of requests for one photo within 1/24 s runs only the last; requests for different photos never
// displace each other, and every request's completion is called (a displaced one receives the
// blend that ran, a cancelled one nullptr).
//
// Quit (`cancelImageOperationsAndWaitUntilDone`): cancels all image work, cleans, and waits a
// bounded time for the operations that were running; files are written beside their target and
// renamed into place, so one given up on never leaves a partial file under a user's name.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"
#include "Ombrel/Classes/Business/NetworkManager/QVNetworkManager.h"
#include "Ombrel/Classes/Business/QVImageProcessingResult.h"
#include "Ombrel/Classes/Business/QVImageTaskParams.h"
#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/Value.h"

class QVAppSettings;
class QVBatchPreset;
class QVBatchPresetManager;
class QVEffectsPresetManager;
class QVImageLoader;
class QVImageSettingsManager;
class QVPreset;
class QVProcessingManager;

inline constexpr const char* kQVAppDidProcessImageNotification = "QVAppDidProcessImage";
// Object: the deleted path (a std::string).
inline constexpr const char* kQVAppDidDeleteSourceItemNotification = "QVAppDidDeleteSourceItem";
// The user object of "QVAppDidProcessImage" holding the QVImageProcessingResult.
inline constexpr const char* kQVAppProcessingResultKey = "result";
// How long quitting waits for running image operations before it gives up (seconds).
inline constexpr double kQVQuitWaitLimit = 10.0;
// The quiet period of the strength blend: a slider burst runs only its last request.
inline constexpr double kQVBoostAmountCoalescingDelay = 1.0 / 24.0;

class QVApp : public QVSourceManagerDelegate,
              public QVAppEventTrackerDelegate,
              public std::enable_shared_from_this<QVApp> {
 public:
  // (path, source image, processed image); any of them may be empty when the image failed.
  using ProcessingCompletion =
      std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;
  using ImageCompletion = std::function<void(const std::string& path, NSImageRef image)>;
  using BlendCompletion = std::function<void(NSImageRef image)>;
  using ErrorCompletion = std::function<void(const std::optional<qv::Error>& error)>;
  using BatchPresetManagerMaker = std::function<std::shared_ptr<QVBatchPresetManager>(
      const std::string& defaultPresetsPath, const std::string& customPresetsPath,
      const std::string& interimPresetPath)>;

  // ---- Start and the shared instance (QVApp.cpp) ----

  // Once, from the application delegate's initialiser, before launching finishes.
  static void start();
  // The facade, made on first use (thread-safe) and never replaced.
  static std::shared_ptr<QVApp> shared();
  // Starts the engine with the resources' path (safe to call more than once).
  static bool startEngine();
  // The logger writes "<group container>/Logs/Log.log" with the resource "QVLoggerConfig.plist".
  static void setupLogger();
  // The event logs in "<group container>/Logs" ("Errors.log", "Info.log", "ImageLoads.log",
  // "ImageExports.log" for types 0 to 3), the facade as the tracker's delegate, tracking started.
  static void setupErrorTracker();
  // The identifier and folder of the container the application shares with its extension.
  static std::string appGroupIdentifier();
  static std::string appGroupContainerPath();
  // Where the batch preset store finds the shipped presets, the user's presets and the interim one.
  static std::string batchPresetsDefaultPath();
  static std::string batchPresetsCustomPath();
  static std::string interimPresetPath();
  // How the facade makes the batch preset store, before the first `shared()`; the real store
  // (QVBatchPresetManager over the three places above) unless another maker was installed, none
  // with an empty maker.
  static void setBatchPresetManagerMaker(BatchPresetManagerMaker maker);

  // ---- The managers ----
  static std::shared_ptr<QVSourceManager> sourceManager();
  static std::shared_ptr<QVNetworkManager> networkManager();
  static std::shared_ptr<QVImageSettingsManager> imageSettingsManager();
  static std::shared_ptr<QVEffectsPresetManager> effectsPresetManager();
  static std::shared_ptr<QVBatchPresetManager> batchPresetManager();
  static std::shared_ptr<QVImageLoader> imageLoader();
  static std::shared_ptr<QVProcessingManager> processingManager();
  static std::shared_ptr<QVAppEventTracker> eventTracker();
  static QVAppSettings& settings();

  // ---- Settings forwarders ----
  static bool exporting();
  static void setExporting(bool exporting);
  // Every open photo was exported since it last changed (its strength, a correction switch):
  // closing then need not offer to save first. Each photo keeps its own mark
  // (QVImageSettingsManager).
  static bool exported();
  // Marks the photos exported (an export wrote them) or not (newly opened, or their export failed).
  static void setPhotosExported(const std::vector<std::string>& paths, bool exported);
  // The same for every open photo.
  static void setExported(bool exported);
  static bool autoLensCorrectionEnabled();
  static void setAutoLensCorrectionEnabled(bool enabled);
  static bool autoColorTemperatureEnabled();
  static void setAutoColorTemperatureEnabled(bool enabled);
  static bool isPhotosExtension();
  static bool isPluginMode();
  static uint64_t platform();
  static std::string name();
  static std::string sessionID();
  static uint64_t appLocationType();
  // Whether the processing queue holds an operation (queued or running).
  static bool isProcessingImages();

  // ---- Web service ----
  // Sends the feedback form (the feedback record's serialised form) as a multipart form; the answer
  // reaches the completion on the main thread.
  static void sendFeedback(const qv::Dictionary& form, QVNetworkCompletion completion);
  // The statistics upload: {"os": "mac", "pc_id": this machine's identifier, "objects": each
  // event's serialised form, "marketplace": the platform number} to the statistics address of the
  // first event's type.
  static qv::Dictionary statisticsPayloadForEvents(const std::vector<std::shared_ptr<QVAppEvent>>& events);
  // Pretty-printed JSON sent with POST; an answer without a true "success" is the error
  // "QVNetworkErrorDomain" 102 "Server returned an error". The outcome is logged.
  void sendEventsPayload(const qv::Dictionary& payload, const std::string& url, ErrorCompletion completion);

  // ---- Source-list and event-tracker delegate ----
  void sourceManagerDidUpdateImagePaths(const std::vector<std::string>& paths, bool cleanCache,
                                        PathsCallback processPaths) override;
  void sourceManagerDidChangeSelectionFromIndex(uint64_t fromIndex, uint64_t toIndex) override;
  // Cleans the path's caches, cancels its tasks of every image type and posts
  // "QVAppDidDeleteSourceItem" with the path.
  void sourceManagerDidDeleteImagePath(const std::string& path) override;
  void eventTrackerDidTrackEventsOnline(
      QVAppEventTracker& tracker, const std::vector<std::shared_ptr<QVAppEvent>>& events,
      std::function<void(const std::optional<qv::Error>& error)> sendCompletion) override;

  // ---- Image interface (QVApp+Additions.cpp) ----

  // Cache reads: at once, nullptr when not cached.
  static NSImageRef blurredImageAtPath(const std::string& path);
  // Always nullptr in the photo-library extension.
  static NSImageRef processedImageAtPath(const std::string& path, int64_t imageType);
  static NSImageRef originalImageAtPath(const std::string& path, int64_t imageType);
  static NSImageRef lensedPreviewAtPath(const std::string& path);

  // The source image without enhancement: from the cache at once (caller's thread), else loaded,
  // stored and handed over on the loading queue's thread.
  static void loadImageAtPath(const std::string& path, int64_t imageType, ImageCompletion completion);
  // The blurred, darkened thumbnail that stands in while a photo loads.
  static void loadBlurredImageAtPath(const std::string& path, ImageCompletion completion);

  // Each string element processed (priority 2, no completion); other elements are skipped.
  static void processImagesAtPaths(const qv::Array& paths, int64_t imageType);
  static void processImageAtPath(const std::string& path, int64_t imageType, int64_t priority = 2,
                                 ProcessingCompletion completion = nullptr);
  static void processImageAtPath(const std::string& path, int64_t imageType, ProcessingCompletion completion) {
    processImageAtPath(path, imageType, 2, std::move(completion));
  }
  // Export: full size (type 2) with the batch preset's resizing and colour space.
  static void processImageAtPath(const std::string& path, int64_t imageType, int64_t priority,
                                 std::shared_ptr<QVBatchPreset> batchPreset, ProcessingCompletion completion);
  // Runs the cache check, then the completion, then posts "QVAppDidProcessImage".
  static void processImageWithTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                         ProcessingCompletion completion);
  static void checkCacheAndProcessImageWithTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                                      ProcessingCompletion completion);
  // Renders the lens correction first, then lens correction with the effects. Source completion:
  // (path, source); lensed: (path, lensed or source); processed: (path, lensed or source when
  // `treatLensedImageAsOriginal`, else source; processed).
  static void processImageWithLensCorrectionAndTaskParams(const std::shared_ptr<QVImageTaskParams>& params,
                                                          bool treatLensedImageAsOriginal,
                                                          ImageCompletion originalCompletion,
                                                          ImageCompletion lensedCompletion,
                                                          ProcessingCompletion processedCompletion);
  // The automatic colour temperature preset (when on) and the default preset of the file's kind.
  static std::vector<std::shared_ptr<QVPreset>> effectsPresetsForImagePath(const std::string& path);
  static void notifyObserversWithOriginalImage(NSImageRef image, NSImageRef processedImage, const std::string& path,
                                               int64_t imageType);

  // ---- Effect strength ----
  static double boostAmountForImagePath(const std::string& path);
  // Blends on the blending queue (coalesced per path), stores the amount and calls the completion
  // on that queue's thread.
  static void applyBoostAmount(double amount, const std::string& path, NSImageRef originalImage,
                               NSImageRef processedImage, int colorDepth, BlendCompletion completion);
  // The export entry: the stored amount blended at depth 8 when strictly between 0 and 1; the
  // source at once for 0; the processed image at once otherwise.
  static void applyBoostAmountIfNeededWithOriginalImage(NSImageRef originalImage, NSImageRef processedImage,
                                                        const std::string& path, BlendCompletion completion);

  // ---- Cancellation ----
  static void cancelLoadingImageAtPath(const std::string& path, int64_t imageType);
  static void cancelProcessingImageAtPath(const std::string& path, int64_t imageType);
  static void cancelProcessingAt(const std::string& path);
  static void cancel();
  static void cancelProcessingAndClean(bool longTerm);
  static void cancelProcessing() { cancelProcessingAndClean(true); }
  // Keeps the source list and the stored strengths.
  static void cancelExportProcessing();
  // How many photos the processing queue works on at once (1 outside batch exports; a batch export
  // asks for as many as memory allows and gives them back when it ends).
  static void setPhotosProcessedAtOnce(int64_t count);
  // The stop at quit (main thread): takes the running processing, loading and blending
  // operations, cancels everything, cleans long-term with the source list emptied, then waits for
  // those operations at most `limitSeconds` in all. False (logged) when it gave up waiting.
  static bool cancelImageOperationsAndWaitUntilDone(double limitSeconds = kQVQuitWaitLimit);

  // ---- Cleaning ----
  static void clean(bool longTerm) { clean(longTerm, true); }
  static void clean(bool longTerm, bool removeSourceImagePaths);
  // The cache entries of those image types of the path (long-term).
  static void cleanAt(const std::string& path, const std::vector<uint64_t>& imageTypes);

  QVApp();
  ~QVApp() override;

 private:
  struct BlendRequest;
  void setUp();
  void scheduleBlend(const std::string& path);
  void runBlend(const std::string& path, uint64_t generation);

  std::unique_ptr<QVAppSettings> settings_;
  std::shared_ptr<QVSourceManager> sourceManager_;
  std::shared_ptr<QVNetworkManager> networkManager_;
  std::shared_ptr<QVImageLoader> imageLoader_;
  std::shared_ptr<QVProcessingManager> processingManager_;
  std::shared_ptr<QVImageSettingsManager> imageSettingsManager_;
  std::shared_ptr<QVEffectsPresetManager> effectsPresetManager_;
  std::shared_ptr<QVBatchPresetManager> batchPresetManager_;

  // Blend requests waiting out their quiet period, by path.
  std::mutex blendMutex_;
  std::map<std::string, std::shared_ptr<BlendRequest>> pendingBlends_;
};
