#pragma once
// The event tracker: records what happens to the application (errors and crashes, launches and
// a few user actions, image loads and exports) in one event log file per event type, and hands
// the stored records of a type to its delegate for upload whenever the network is reachable. A
// log loses records only once their upload succeeded; records saved while an upload runs stay.
//
// Crashes: `subscribeForUncaughtExceptions` installs the crash capture (QVCrashCapture.h); the
// crash notes it leaves become error events the next time `setupStorageBasePath` runs.
//
// Thread-safe: events may be tracked from any thread; upload attempts come from the main thread,
// processing queues and the reachability monitor's queue, one upload per log at a time.
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEvent.h"
#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventStorage.h"
#include "QVPlatform/Error.h"

class QVAppEventTracker;
class Reachability;

// The upload of one log's records (the application facade).
class QVAppEventTrackerDelegate {
 public:
  virtual ~QVAppEventTrackerDelegate() = default;
  // Calls `sendCompletion` once, from any thread, with nullopt when the records were delivered.
  virtual void eventTrackerDidTrackEventsOnline(
      QVAppEventTracker& tracker, const std::vector<std::shared_ptr<QVAppEvent>>& events,
      std::function<void(const std::optional<qv::Error>& error)> sendCompletion) = 0;
};

// The crash codes.
enum : int64_t { QVAppCrashCodeAfterLaunch = 3, QVAppCrashCodeBeforeLaunch = 5 };

inline constexpr const char* kQVAnalyticsVersionKey = "QVAnalyticsVersionKey";
// The crash notes' file in the logs folder.
inline constexpr const char* kQVCrashNotesFileName = "Crash.notes";

class QVAppEventTracker : public std::enable_shared_from_this<QVAppEventTracker> {
 public:
  static std::shared_ptr<QVAppEventTracker> shared();
  QVAppEventTracker();
  ~QVAppEventTracker();

  // The text that names an event of a type and code; nullopt where the table has none.
  static std::optional<std::string> reasonFromEventType(uint64_t type, int64_t code);

  void setDelegate(std::weak_ptr<QVAppEventTrackerDelegate> delegate);
  std::shared_ptr<QVAppEventTrackerDelegate> delegate() const;

  // Makes one storage per entry (event type → file name) in the folder. A new analytics version
  // starts the logs afresh. Crash notes left by an earlier run (the newest of them) become error
  // events on a thread of their own, so a start-up never waits for them.
  void setupStorageBasePath(const std::string& basePath, const std::map<uint64_t, std::string>& logFilesInfo);
  // Waits until the crash notes found by `setupStorageBasePath` are stored as events.
  void waitForCrashNotes();
  std::map<uint64_t, std::shared_ptr<QVAppEventStorage>> storages() const;
  std::shared_ptr<QVAppEventStorage> storageForType(uint64_t type) const;

  // Installs the crash capture, starts the reachability observer and tries every upload.
  void startTracking();

  void trackEvent(uint64_t type, int64_t code);
  void trackEvent(uint64_t type, const qv::Dictionary& info, std::optional<std::vector<std::string>> callStack);
  void trackEventsOfType(uint64_t type, const std::vector<qv::Dictionary>& infos);

  void setAppLaunched(bool launched);
  bool appLaunched() const { return appLaunched_; }
  int64_t crashTypeForCurrentLaunchStatus() const;

  void subscribeForUncaughtExceptions();
  void unsubscribeForUncaughtExceptions();

  void trySendStorage();
  void trySendStorage(const std::shared_ptr<QVAppEventStorage>& storage);

  // The internet-connection monitor, made on first use.
  std::shared_ptr<Reachability> reachability();
  void setupReachabilityObserver();

  static int64_t analyticsVersion();
  static void setAnalyticsVersion(int64_t version);

  // The current thread's call-stack symbols.
  static std::vector<std::string> callStackSymbols();

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<QVAppEventTrackerDelegate> delegate_;
  std::map<uint64_t, std::shared_ptr<QVAppEventStorage>> storages_;
  std::string basePath_;
  std::shared_ptr<Reachability> reachability_;
  std::atomic<bool> appLaunched_{false};
  std::shared_future<void> crashNotes_;
};
