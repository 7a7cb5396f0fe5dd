#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <mutex>

#include "Ombrel/Classes/Common/Reachability/Reachability.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

namespace {

// The host the connection test looks for a route to (names are never resolved).
constexpr const char* kReachabilityHost = "solvane.app";

std::mutex& openerMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<QVDesktopOpener>& installedOpener() {
  static std::shared_ptr<QVDesktopOpener> opener;
  return opener;
}

QString percentEscaped(const std::string& text) {
  return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(text)));
}

// Runs `start` with a failure report that calls `failed`; true unless the failure came at once
// (the program could not be started at all).
bool startWatched(const std::function<void(std::function<void()>)>& start, std::function<void()> failed) {
  enum { InCall, FailedInCall, Returned };
  auto state = std::make_shared<int>(InCall);
  start([state, failed] {
    if (*state == InCall) *state = FailedInCall;
    failed();
  });
  const bool failedAtOnce = *state == FailedInCall;
  *state = Returned;
  return !failedAtOnce;
}

}  // namespace

// ---- QVSystemDesktopOpener ----

bool QVSystemDesktopOpener::openURL(const std::string& url) {
  const bool opened = QVSharingServices::openURL(url);
  if (!opened) QVLogWarning("cannot open %s", url.c_str());
  return opened;
}

void QVSystemDesktopOpener::openURLWatched(const std::string& url, std::function<void()> failed) {
  QVSharingServices::openURL(url, std::move(failed));
}

std::vector<std::string> QVSystemDesktopOpener::xdgEmailArguments(const QVMailMessage& message) {
  return QVSharingServices::xdgEmailArguments(message);
}

std::string QVSystemDesktopOpener::mailtoURL(const QVMailMessage& message) {
  QString url = QStringLiteral("mailto:");
  for (size_t i = 0; i < message.recipients.size(); ++i) {
    if (i) url += QLatin1Char(',');
    url += percentEscaped(message.recipients[i]).replace(QStringLiteral("%40"), QStringLiteral("@"));
  }
  QStringList query;
  if (!message.subject.empty()) query << QStringLiteral("subject=") + percentEscaped(message.subject);
  if (!message.body.empty()) query << QStringLiteral("body=") + percentEscaped(message.body);
  if (!query.isEmpty()) url += QLatin1Char('?') + query.join(QLatin1Char('&'));
  return url.toStdString();
}

bool QVSystemDesktopOpener::composeMail(const QVMailMessage& message) {
  const QString xdgEmail = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
  if (!xdgEmail.isEmpty()) {
    QStringList args;
    for (const auto& a : xdgEmailArguments(message)) args << QString::fromStdString(a);
    if (QProcess::startDetached(xdgEmail, args)) return true;
    QVLogWarning("xdg-email could not be started");
  }
  if (!message.attachments.empty()) QVLogWarning("a mailto: address cannot carry the attachments");
  return openURL(mailtoURL(message));
}

void QVSystemDesktopOpener::composeMailWatched(const QVMailMessage& message, std::function<void()> failed) {
  if (!QStandardPaths::findExecutable(QStringLiteral("xdg-email")).isEmpty()) {
    QVSharingServices::composeMail(message, std::move(failed));
    return;
  }
  if (!message.attachments.empty()) QVLogWarning("a mailto: address cannot carry the attachments");
  openURLWatched(mailtoURL(message), std::move(failed));
}

// ---- QVSolvaneAppHelpers ----

void QVSolvaneAppHelpers::setDesktopOpener(std::shared_ptr<QVDesktopOpener> opener) {
  std::lock_guard lock(openerMutex());
  installedOpener() = std::move(opener);
}

std::shared_ptr<QVDesktopOpener> QVSolvaneAppHelpers::desktopOpener() {
  std::lock_guard lock(openerMutex());
  if (!installedOpener()) installedOpener() = std::make_shared<QVSystemDesktopOpener>();
  return installedOpener();
}

bool QVSolvaneAppHelpers::openURLString(const std::string& url) {
  if (url.empty()) return false;
  return startWatched(
      [url](std::function<void()> failed) { desktopOpener()->openURLWatched(url, std::move(failed)); },
      [url] { QVSolvaneAlerts::showAlertNoProgramToOpen(QVDesktopProgram::WebBrowser, url); });
}

QVMailMessage QVSolvaneAppHelpers::tellFriendMessage() {
  QVMailMessage message;
  message.subject =
      qv::QVSLocalization::localizedStringForKey("I've found a cool automatic photo enhancement tool, check it out.");
  message.body = qv::QVSLocalization::localizedStringForKey("TellFriendBodyText");
  return message;
}

bool QVSolvaneAppHelpers::tellFriendAction() {
  const QVMailMessage message = tellFriendMessage();
  if (message.body.empty()) return false;
  return startWatched(
      [message](std::function<void()> failed) { desktopOpener()->composeMailWatched(message, std::move(failed)); },
      [body = message.body] { QVSolvaneAlerts::showAlertNoProgramToOpen(QVDesktopProgram::MailProgram, body); });
}

bool QVSolvaneAppHelpers::internetConnection() {
  auto reachability = Reachability::reachabilityWithHostname(kReachabilityHost);
  return reachability && reachability->isReachable();
}

std::string QVSolvaneAppHelpers::exportManagerClassForPlatform(uint64_t platform, bool pluginMode) {
  if (pluginMode) return "QVPluginController";
  return platform == 3 ? "QVExportManagerBusiness" : "QVExportManager";
}
