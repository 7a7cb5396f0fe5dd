#pragma once
// The analytics service the tracked user actions go to. The service itself lies outside the
// application: a sender installed at start-up delivers the actions; without one they are logged.
#include <functional>

#include "QVPlatform/NotificationCenter.h"

class QVTrackUserAction;

inline constexpr const char* kNSApplicationDidFinishLaunchingNotification =
    "NSApplicationDidFinishLaunchingNotification";

class QVAnalytics {
 public:
  using Sender = std::function<void(const QVTrackUserAction& action)>;
  static void send(const QVTrackUserAction& action);
  // Returns the previous sender.
  static Sender setSender(Sender sender);

  // Registers for the application's launch notification, so the service refreshes its own
  // descriptive attributes then (`onAppDidLaunched`). Once per process.
  static void loadConfiguration();
  static void onAppDidLaunched(const qv::Notification& notification);
};
