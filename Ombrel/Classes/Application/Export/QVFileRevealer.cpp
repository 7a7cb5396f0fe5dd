#include "Ombrel/Classes/Application/Export/QVFileRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QUrl>

#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace {
std::shared_ptr<QVFileRevealer>& current() {
  static std::shared_ptr<QVFileRevealer> revealer;
  return revealer;
}

// When nothing can open the folder either, the user is told where the files are.
void openFolderOf(const std::string& path) {
  const std::string folder = qv::deletingLastPathComponent(path);
  QVSharingServices::openURL(folder,
                             [folder] { QVSolvaneAlerts::showAlertNoProgramToOpen(QVDesktopProgram::FileManager, folder); });
}
}  // namespace

std::shared_ptr<QVFileRevealer> QVFileRevealer::shared() {
  if (!current()) current() = std::make_shared<QVDesktopFileRevealer>();
  return current();
}

void QVFileRevealer::setShared(std::shared_ptr<QVFileRevealer> revealer) { current() = std::move(revealer); }

std::vector<std::string> QVDesktopFileRevealer::fileURIs(const std::vector<std::string>& paths) {
  std::vector<std::string> uris;
  for (const auto& path : paths)
    uris.push_back(QVFileURLForPath(path).toString(QUrl::FullyEncoded).toStdString());
  return uris;
}

void QVDesktopFileRevealer::revealFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return openFolderOf(paths.front());
  QStringList uris;
  for (const auto& uri : fileURIs(paths)) uris << QString::fromStdString(uri);
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", "ShowItems");
  call << uris << QString();
  // The file manager may have to be started first: wait for its answer without blocking.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  const std::string first = paths.front();
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [first](QDBusPendingCallWatcher* w) {
    if (w->isError()) {
      QVLogInfo("no file manager answered (%s); opening the folder", w->error().message().toUtf8().constData());
      openFolderOf(first);
    }
    w->deleteLater();
  });
}
