#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"

#include <execinfo.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Ombrel/Classes/Business/ErrorTracker/QVCrashCapture.h"
#include "Ombrel/Classes/Common/Reachability/Reachability.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/UserDefaults.h"

std::shared_ptr<QVAppEventTracker> QVAppEventTracker::shared() {
  // Never destroyed, like every shared instance here: events may still be recorded from the worker
  // pool while the process exits.
  static const std::shared_ptr<QVAppEventTracker>* const tracker = new std::shared_ptr<QVAppEventTracker>([] {
    auto t = std::make_shared<QVAppEventTracker>();
    QVLog(64, "Singleton created %s", "QVAppEventTracker");
    return t;
  }());
  return *tracker;
}

QVAppEventTracker::QVAppEventTracker() = default;

QVAppEventTracker::~QVAppEventTracker() {
  waitForCrashNotes();
  if (reachability_) reachability_->stopNotifier();
}

std::optional<std::string> QVAppEventTracker::reasonFromEventType(uint64_t type, int64_t code) {
  switch (type) {
    case QVAppEventTypeError:
      switch (code) {
        case 1:
          return "Load image of wrong size";
        case 3:
          return "App crashed";
        case 4:
          return "Image Validation Failed";
        case 5:
          return "App crashed before launch";
        default:
          return "Unknown Error";
      }
    case QVAppEventTypeInfo:
      switch (code) {
        case 1:
          return "App was launched";
        case 2:
          return "Sample Image Button Clicked";
        default:
          return std::nullopt;
      }
    case QVAppEventTypeImageLoad:
      return "Image Load";
    case QVAppEventTypeImageExport:
      return "Image Export";
    default:
      return std::nullopt;
  }
}

void QVAppEventTracker::setDelegate(std::weak_ptr<QVAppEventTrackerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<QVAppEventTrackerDelegate> QVAppEventTracker::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

int64_t QVAppEventTracker::analyticsVersion() {
  return qv::UserDefaults::standardUserDefaults().integerForKey(kQVAnalyticsVersionKey);
}

void QVAppEventTracker::setAnalyticsVersion(int64_t version) {
  qv::UserDefaults& defaults = qv::UserDefaults::standardUserDefaults();
  defaults.setInteger(version, kQVAnalyticsVersionKey);
  defaults.synchronize();
}

namespace {

// Crash-note threads still running when the process ends are waited for before the statics they
// use are destroyed.
std::mutex gPendingMutex;
std::vector<std::shared_future<void>>& pendingCrashNotes() {
  static auto* pending = new std::vector<std::shared_future<void>>();
  return *pending;
}

void waitForPendingCrashNotes() {
  std::vector<std::shared_future<void>> pending;
  {
    std::lock_guard lock(gPendingMutex);
    pending.swap(pendingCrashNotes());
  }
  for (auto& job : pending) job.wait();
}

void awaitAtExit(const std::shared_future<void>& job) {
  static const bool registered = std::atexit(waitForPendingCrashNotes) == 0;
  (void)registered;
  std::lock_guard lock(gPendingMutex);
  auto& pending = pendingCrashNotes();
  pending.erase(std::remove_if(pending.begin(), pending.end(),
                               [](const std::shared_future<void>& f) {
                                 return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                               }),
                pending.end());
  pending.push_back(job);
}

}  // namespace

void QVAppEventTracker::setupStorageBasePath(const std::string& basePath,
                                             const std::map<uint64_t, std::string>& logFilesInfo) {
  bool removePreviousLog = false;
  if (analyticsVersion() < 1) {
    setAnalyticsVersion(1);
    removePreviousLog = true;
  }
  std::map<uint64_t, std::shared_ptr<QVAppEventStorage>> made;
  for (const auto& [type, fileName] : logFilesInfo) {
    made[type] = std::make_shared<QVAppEventStorage>(qv::appendingPathComponent(basePath, fileName), removePreviousLog);
  }
  {
    std::lock_guard lock(mutex_);
    basePath_ = basePath;
    for (auto& [type, storage] : made) storages_[type] = storage;
  }
  // Crashes of earlier runs, as their runs knew them.
  const std::string notes = qv::appendingPathComponent(basePath, kQVCrashNotesFileName);
  auto errors = storageForType(QVAppEventTypeError);
  if (!errors) return;
  waitForCrashNotes();  // an earlier set-up's notes first
  // The earlier runs' notes are moved aside here (one rename), so the crash capture of this run
  // writes a fresh file that the reading below never touches.
  const std::string taken = notes + ".taken";
  std::error_code ec;
  if (::rename(notes.c_str(), taken.c_str()) != 0 && !std::filesystem::exists(taken, ec)) return;
  // A thread of its own, let go at once (the tracker may live until the process ends); waiting
  // goes through the promise, and the process waits for it before its statics go.
  auto stored = std::make_shared<std::promise<void>>();
  crashNotes_ = stored->get_future().share();
  awaitAtExit(crashNotes_);
  std::thread([errors, taken, stored] {
    std::vector<QVAppEvent> events;
    for (const QVCrashNote& note : QVCrashCapture::takeCrashNotes(taken)) {
      QVAppEvent event;
      event.type = QVAppEventTypeError;
      event.info = {{kQVCodeName, note.code}, {kQVReasonName, note.reason}};
      event.callStack = note.callStack;
      event.appVersion = note.appVersion;
      event.OSVersion = note.OSVersion;
      event.locationType = note.locationType;
      event.sessionID = note.sessionID;
      events.push_back(std::move(event));
    }
    errors->saveEvents(events);
    ::unlink(taken.c_str());
    stored->set_value();
  }).detach();
}

void QVAppEventTracker::waitForCrashNotes() {
  if (crashNotes_.valid()) crashNotes_.wait();
}

std::map<uint64_t, std::shared_ptr<QVAppEventStorage>> QVAppEventTracker::storages() const {
  std::lock_guard lock(mutex_);
  return storages_;
}

std::shared_ptr<QVAppEventStorage> QVAppEventTracker::storageForType(uint64_t type) const {
  std::lock_guard lock(mutex_);
  auto it = storages_.find(type);
  return it == storages_.end() ? nullptr : it->second;
}

void QVAppEventTracker::startTracking() {
  subscribeForUncaughtExceptions();
  setupReachabilityObserver();
  trySendStorage();
}

std::vector<std::string> QVAppEventTracker::callStackSymbols() {
  void* frames[128];
  const int count = backtrace(frames, 128);
  std::vector<std::string> lines;
  char** symbols = backtrace_symbols(frames, count);
  if (!symbols) return lines;
  // The first frame is this function.
  for (int i = 1; i < count; ++i) lines.emplace_back(symbols[i]);
  std::free(symbols);
  return lines;
}

void QVAppEventTracker::trackEvent(uint64_t type, int64_t code) {
  qv::Dictionary info;
  info[kQVCodeName] = code;
  if (auto reason = reasonFromEventType(type, code)) info[kQVReasonName] = *reason;
  std::optional<std::vector<std::string>> callStack;
  if (type == QVAppEventTypeError) callStack = callStackSymbols();
  trackEvent(type, info, std::move(callStack));
}

void QVAppEventTracker::trackEvent(uint64_t type, const qv::Dictionary& info,
                                   std::optional<std::vector<std::string>> callStack) {
  auto storage = storageForType(type);
  if (!storage) {
    QVLogWarning("No event log for events of type %llu", static_cast<unsigned long long>(type));
    return;
  }
  storage->saveEvent(*QVAppEvent::eventWithType(type, info, std::move(callStack)));
  trySendStorage(storage);
}

void QVAppEventTracker::trackEventsOfType(uint64_t type, const std::vector<qv::Dictionary>& infos) {
  auto storage = storageForType(type);
  if (!storage) return;
  for (const qv::Dictionary& info : infos) storage->saveEvent(*QVAppEvent::eventWithType(type, info, std::nullopt));
  trySendStorage(storage);
}

void QVAppEventTracker::setAppLaunched(bool launched) {
  const bool was = appLaunched_.exchange(launched);
  QVCrashCapture::setCrashCode(launched ? QVAppCrashCodeAfterLaunch : QVAppCrashCodeBeforeLaunch);
  if (launched && !was) trackEvent(QVAppEventTypeInfo, 1);
}

int64_t QVAppEventTracker::crashTypeForCurrentLaunchStatus() const {
  return appLaunched_ ? QVAppCrashCodeAfterLaunch : QVAppCrashCodeBeforeLaunch;
}

void QVAppEventTracker::subscribeForUncaughtExceptions() {
  std::string basePath;
  {
    std::lock_guard lock(mutex_);
    basePath = basePath_;
  }
  if (basePath.empty()) {
    QVLogWarning("Crash capture needs the logs folder; set up the storages first");
    return;
  }
  const QVAppEventEnvironment environment = QVAppEventEnvironment::current();
  QVCrashCapture::setCrashCode(crashTypeForCurrentLaunchStatus());
  if (!QVCrashCapture::install(qv::appendingPathComponent(basePath, kQVCrashNotesFileName), environment.appVersion,
                               environment.OSVersion, environment.locationType, environment.sessionID)) {
    QV_LOG_FAILURE("QVCrashCapture::install(" + basePath + ") == NO");
  }
}

void QVAppEventTracker::unsubscribeForUncaughtExceptions() { QVCrashCapture::uninstall(); }

std::shared_ptr<Reachability> QVAppEventTracker::reachability() {
  std::lock_guard lock(mutex_);
  if (!reachability_) reachability_ = Reachability::reachabilityForInternetConnection();
  return reachability_;
}

void QVAppEventTracker::setupReachabilityObserver() {
  auto monitor = reachability();
  if (!monitor) return;
  std::weak_ptr<QVAppEventTracker> weak = weak_from_this();
  monitor->setReachableBlock([weak](const std::shared_ptr<Reachability>&) {
    if (auto self = weak.lock()) self->trySendStorage();
  });
  monitor->startNotifier();
}

void QVAppEventTracker::trySendStorage() {
  for (const auto& [type, storage] : storages()) trySendStorage(storage);
}

void QVAppEventTracker::trySendStorage(const std::shared_ptr<QVAppEventStorage>& storage) {
  if (!storage) return;
  auto monitor = reachability();
  if (!monitor || !monitor->isReachable()) return;
  auto delegate = this->delegate();
  if (!delegate) return;  // records wait for a delegate that uploads them
  if (!storage->beginSending()) return;
  // One read gives the records and their number: on success exactly these leave the log, and
  // records saved meanwhile come after them and stay.
  const std::vector<qv::Bytes> records = storage->readAllEventData();
  std::vector<std::shared_ptr<QVAppEvent>> events;
  for (const qv::Bytes& data : records) {
    if (auto event = QVAppEvent::initWithData(data)) events.push_back(std::move(event));
  }
  if (events.empty()) {
    storage->endSending();
    return;
  }
  const size_t sent = records.size();
  auto once = std::make_shared<std::atomic<bool>>(false);
  delegate->eventTrackerDidTrackEventsOnline(*this, events,
                                             [storage, sent, once](const std::optional<qv::Error>& error) {
                                               if (once->exchange(true)) return;
                                               if (!error) storage->removeFirstEvents(sent);
                                               storage->endSending();
                                             });
}
