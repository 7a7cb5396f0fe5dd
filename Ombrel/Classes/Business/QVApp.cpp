#include "Ombrel/Classes/Business/QVApp.h"

#include <cstdio>

#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"
#include "Ombrel/Classes/Business/Cache/QVCacheManager.h"
#include "Ombrel/Classes/Business/NetworkManager/QVSolvaneURL.h"
#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "Ombrel/Classes/Helpers/QVAppVersion.h"
#include "Ombrel/Classes/Helpers/QVServiceUtils.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorConfigManager.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVCore/Services/QVCoreInjectorService.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace {
std::mutex gMakerMutex;
// The interim preset's file name (kQVInterimPresetFileName) is the store's.
QVApp::BatchPresetManagerMaker gBatchPresetManagerMaker = [](const std::string& defaultPresetsPath,
                                                              const std::string& customPresetsPath,
                                                              const std::string& interimPresetPath) {
  return QVBatchPresetManager::initWithDefaultPresetsPath(defaultPresetsPath, customPresetsPath, interimPresetPath);
};
}  // namespace

// ---- Start and the shared instance ----

void QVApp::start() {
  QVCoreStartup();
  setupLogger();
  // Makes the facade: the tracker's delegate is the shared instance.
  setupErrorTracker();
  clean(true);
  startEngine();
  // The factory and the engine are ready before the first image.
  (void)QVCoreInjectorService::makeInstanceByProtocol(QVCoreProtocol::QVImageProcessorProtocol);
}

std::shared_ptr<QVApp> QVApp::shared() {
  // Never destroyed: work still queued on the worker pool when the process exits asks for the facade
  // after static destruction has begun; a destroyed instance would be read after it was freed.
  static const std::shared_ptr<QVApp>* const instance = new std::shared_ptr<QVApp>([] {
    auto made = std::make_shared<QVApp>();
    made->setUp();
    char text[64];
    std::snprintf(text, sizeof text, "<QVApp: %p>", static_cast<void*>(made.get()));
    QVLog(64, "Singleton created %s", text);
    return made;
  }());
  return *instance;
}

bool QVApp::startEngine() { return QVRovaService::rovaInitWithResourcePath(qv::Bundle::mainBundle().resourcePath()); }

std::string QVApp::appGroupIdentifier() { return QVAppGroupIdentifier(); }

std::string QVApp::appGroupContainerPath() { return qv::places::groupContainerDirectory(); }

std::string QVApp::batchPresetsDefaultPath() {
  return qv::appendingPathComponent(qv::Bundle::mainBundle().resourcePath(), "BatchPresets");
}

std::string QVApp::batchPresetsCustomPath() {
  return qv::appendingPathComponent(appGroupContainerPath(), "BatchPresets");
}

std::string QVApp::interimPresetPath() {
  return qv::appendingPathComponent(appGroupContainerPath(), kQVInterimPresetFileName);
}

void QVApp::setBatchPresetManagerMaker(BatchPresetManagerMaker maker) {
  std::lock_guard guard(gMakerMutex);
  gBatchPresetManagerMaker = std::move(maker);
}

void QVApp::setupLogger() {
  auto& logger = qv::QVLogger::shared();
  const std::string config = qv::Bundle::mainBundle().pathForResource("QVLoggerConfig", "plist");
  if (!config.empty()) logger.setConfigPath(config);
  logger.setOutputPath(
      qv::appendingPathComponent(qv::appendingPathComponent(appGroupContainerPath(), "Logs"), "Log.log"));
  logger.setEnabled(true);
}

void QVApp::setupErrorTracker() {
  auto tracker = QVAppEventTracker::shared();
  tracker->setupStorageBasePath(qv::appendingPathComponent(appGroupContainerPath(), "Logs"),
                                {{QVAppEventTypeError, "Errors.log"},
                                 {QVAppEventTypeInfo, "Info.log"},
                                 {QVAppEventTypeImageLoad, "ImageLoads.log"},
                                 {QVAppEventTypeImageExport, "ImageExports.log"}});
  tracker->setDelegate(std::static_pointer_cast<QVAppEventTrackerDelegate>(shared()));
  tracker->startTracking();
}

QVApp::QVApp() = default;
QVApp::~QVApp() = default;

void QVApp::setUp() {
  sourceManager_ = std::make_shared<QVSourceManager>();
  sourceManager_->setDelegate(std::static_pointer_cast<QVSourceManagerDelegate>(shared_from_this()));
  networkManager_ = std::make_shared<QVNetworkManager>();
  imageLoader_ = QVImageLoader::make();
  processingManager_ = QVProcessingManager::make();
  imageSettingsManager_ = std::make_shared<QVImageSettingsManager>();
  settings_ = std::make_unique<QVAppSettings>();
  settings_->saveDefaultLensCorrectionEnabledIfNeeded(true);
  settings_->saveDefaultColorTemperatureEnabledIfNeeded(false);
  effectsPresetManager_ = std::make_shared<QVEffectsPresetManager>("Presets", "AdditionalPresets");
  const std::string config =
      qv::Bundle::mainBundle().pathForResource(kQVRovaConfigResourceName, kQVRovaConfigResourceType);
  if (!config.empty()) QVRovaProcessorConfigManager::loadFromFile(config);
  {
    std::lock_guard guard(gMakerMutex);
    if (gBatchPresetManagerMaker)
      batchPresetManager_ =
          gBatchPresetManagerMaker(batchPresetsDefaultPath(), batchPresetsCustomPath(), interimPresetPath());
  }
  // Events carry this run's identity; the location is asked when the event is made, as plug-in
  // mode may be set after the facade.
  std::weak_ptr<QVApp> weakSelf = weak_from_this();
  QVAppEventEnvironment::setEnvironmentProvider([weakSelf] {
    QVAppEventEnvironment environment = QVAppEventEnvironment::systemDefault();
    const std::string version = QVAppVersion().version();
    if (!version.empty()) environment.appVersion = version;
    if (auto self = weakSelf.lock()) {
      environment.locationType = self->settings_->appLocationType();
      environment.sessionID = self->settings_->sessionID();
    }
    return environment;
  });
}

// ---- The managers ----

std::shared_ptr<QVSourceManager> QVApp::sourceManager() { return shared()->sourceManager_; }
std::shared_ptr<QVNetworkManager> QVApp::networkManager() { return shared()->networkManager_; }
std::shared_ptr<QVImageSettingsManager> QVApp::imageSettingsManager() { return shared()->imageSettingsManager_; }
std::shared_ptr<QVEffectsPresetManager> QVApp::effectsPresetManager() { return shared()->effectsPresetManager_; }
std::shared_ptr<QVBatchPresetManager> QVApp::batchPresetManager() { return shared()->batchPresetManager_; }
std::shared_ptr<QVImageLoader> QVApp::imageLoader() { return shared()->imageLoader_; }
std::shared_ptr<QVProcessingManager> QVApp::processingManager() { return shared()->processingManager_; }
std::shared_ptr<QVAppEventTracker> QVApp::eventTracker() { return QVAppEventTracker::shared(); }
QVAppSettings& QVApp::settings() { return *shared()->settings_; }

// ---- Settings forwarders ----

bool QVApp::exporting() { return settings().exporting(); }
void QVApp::setExporting(bool exporting) { settings().setExporting(exporting); }
bool QVApp::exported() {
  const auto marks = imageSettingsManager();
  const auto sources = sourceManager();
  if (!marks || !sources) return true;
  for (const auto& path : sources->imagesPaths())
    if (!marks->isExportedAtImagePath(path)) return false;
  return true;
}
void QVApp::setPhotosExported(const std::vector<std::string>& paths, bool exported) {
  if (auto marks = imageSettingsManager()) marks->setExportedAtImagePaths(paths, exported);
}
void QVApp::setExported(bool exported) {
  if (auto sources = sourceManager()) setPhotosExported(sources->imagesPaths(), exported);
}
bool QVApp::autoLensCorrectionEnabled() { return settings().autoLensCorrectionEnabled(); }
// Either switch changes how every photo renders: exports made before are out of date.
void QVApp::setAutoLensCorrectionEnabled(bool enabled) {
  if (enabled != autoLensCorrectionEnabled())
    if (auto marks = imageSettingsManager()) marks->forgetExports();
  settings().setAutoLensCorrectionEnabled(enabled);
}
bool QVApp::autoColorTemperatureEnabled() { return settings().autoColorTemperatureEnabled(); }
void QVApp::setAutoColorTemperatureEnabled(bool enabled) {
  if (enabled != autoColorTemperatureEnabled())
    if (auto marks = imageSettingsManager()) marks->forgetExports();
  settings().setAutoColorTemperatureEnabled(enabled);
}
bool QVApp::isPhotosExtension() { return QVAppSettings::isPhotosExtension(); }
bool QVApp::isPluginMode() { return settings().appLocationType() == 1; }
uint64_t QVApp::platform() { return settings().platform(); }
std::string QVApp::name() { return settings().name(); }
std::string QVApp::sessionID() { return settings().sessionID(); }
uint64_t QVApp::appLocationType() { return settings().appLocationType(); }
bool QVApp::isProcessingImages() { return processingManager()->isRunning(); }

// ---- Source-list delegate ----

void QVApp::sourceManagerDidUpdateImagePaths(const std::vector<std::string>&, bool cleanCache, PathsCallback) {
  if (cleanCache) QVCacheManager::clean(false);
}

void QVApp::sourceManagerDidChangeSelectionFromIndex(uint64_t, uint64_t) {}

void QVApp::sourceManagerDidDeleteImagePath(const std::string& path) {
  QVCacheManager::cleanAt(path, false);
  processingManager_->cancelTaskAtPath(path);
  qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification,
                                               std::make_shared<std::string>(path));
}

// ---- Web service ----

qv::Dictionary QVApp::statisticsPayloadForEvents(const std::vector<std::shared_ptr<QVAppEvent>>& events) {
  qv::Array objects;
  for (const auto& event : events)
    if (event) objects.emplace_back(event->serializeDic());
  return {{"os", "mac"},
          {"pc_id", QVServiceUtils::hardwareUUID()},
          {"objects", std::move(objects)},
          {"marketplace", platform()}};
}

void QVApp::eventTrackerDidTrackEventsOnline(
    QVAppEventTracker&, const std::vector<std::shared_ptr<QVAppEvent>>& events,
    std::function<void(const std::optional<qv::Error>& error)> sendCompletion) {
  if (events.empty() || !events.front()) {
    if (sendCompletion) sendCompletion(std::nullopt);
    return;
  }
  const std::string url = QVSolvaneURL::statsForEventType(events.front()->type);
  sendEventsPayload(statisticsPayloadForEvents(events), url, std::move(sendCompletion));
}

void QVApp::sendEventsPayload(const qv::Dictionary& payload, const std::string& url, ErrorCompletion completion) {
  qv::Error serializationError;
  auto json = qv::PropertyList::toJSON(qv::Value(payload), true, &serializationError);
  if (!json) {
    if (completion) completion(serializationError);
    return;
  }
  const qv::Value payloadValue(payload);
  networkManager_->performRequestWithURL(
      url, QVRequestMethodPOST, qv::Bytes(json->begin(), json->end()),
      [url, payloadValue, completion](const std::optional<qv::Error>& answerError, const qv::Value& answer) {
        std::optional<qv::Error> error = answerError;
        if (!error && !answer["success"].asBool(false))
          error = qv::Error(kQVNetworkErrorDomain, 102, "Server returned an error");
        std::string text = "Events sent to: " + url + "\nSuccess response: " + (error ? "NO" : "YES");
        if (error) text += ", error: " + error->description;
        text += "\nPayload:\n " + payloadValue.description();
        QVLog(2, "%s", text.c_str());
        if (completion) completion(error);
      });
}

void QVApp::sendFeedback(const qv::Dictionary& form, QVNetworkCompletion completion) {
  networkManager()->sendMutlipartFormWithURL(
      QVSolvaneURL::feedback(), form, [completion](const std::optional<qv::Error>& error, const qv::Value& answer) {
        if (!completion) return;
        QVDispatchOnMainThread([completion, error, answer] { completion(error, answer); });
      });
}
