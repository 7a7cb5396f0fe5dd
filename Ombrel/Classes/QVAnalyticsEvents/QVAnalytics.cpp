#include "Ombrel/Classes/QVAnalyticsEvents/QVAnalytics.h"

#include <mutex>
#include <utility>

#include "Ombrel/Classes/QVAnalyticsEvents/QVTrackUserAction.h"
#include "QVPlatform/Log.h"

namespace {

std::mutex& senderMutex() {
  static std::mutex m;
  return m;
}

QVAnalytics::Sender& currentSender() {
  static QVAnalytics::Sender sender;
  return sender;
}

}  // namespace

void QVAnalytics::send(const QVTrackUserAction& action) {
  Sender sender;
  {
    std::lock_guard lock(senderMutex());
    sender = currentSender();
  }
  if (sender) {
    sender(action);
    return;
  }
  QVLogInfo("Analytics: %s (%s / %s / %s / %s)", action.displayName().c_str(), action.screen().c_str(),
            action.category().c_str(), action.action().c_str(), action.label().c_str());
}

QVAnalytics::Sender QVAnalytics::setSender(Sender sender) {
  std::lock_guard lock(senderMutex());
  return std::exchange(currentSender(), std::move(sender));
}

void QVAnalytics::loadConfiguration() {
  static qv::ObserverToken token = qv::NotificationCenter::defaultCenter().addObserver(
      kNSApplicationDidFinishLaunchingNotification, nullptr, &QVAnalytics::onAppDidLaunched);
}

void QVAnalytics::onAppDidLaunched(const qv::Notification&) {
  QVLogInfo("Analytics: application did finish launching");
}
