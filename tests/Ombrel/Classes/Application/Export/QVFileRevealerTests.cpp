#include "Ombrel/Classes/Application/Export/QVFileRevealer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <thread>

#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"

namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");

class RecordingLauncher : public QVDesktopLauncher {
 public:
  std::vector<std::vector<std::string>> launched;
  bool launch(const std::vector<std::string>& arguments) override {
    launched.push_back(arguments);
    return true;
  }
};

TEST(QVDesktopFileRevealer, FileURIsAreEncoded) {
  EXPECT_EQ(QVDesktopFileRevealer::fileURIs({"/tmp/a b#1.jpg", "/tmp/été.png"}),
            (std::vector<std::string>{"file:///tmp/a%20b%231.jpg", "file:///tmp/%C3%A9t%C3%A9.png"}));
}

// Where no file manager answers over D-Bus (none runs here), the folder of the first file opens.
TEST(QVDesktopFileRevealer, WithoutAFileManagerTheFolderOpens) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected() && bus.interface() &&
      (bus.interface()->isServiceRegistered(kFileManager).value() ||
       bus.interface()->activatableServiceNames().value().contains(kFileManager)))
    GTEST_SKIP() << "a file manager answers on this desktop";
  auto launcher = std::make_shared<RecordingLauncher>();
  QVSharingServices::setLauncher(launcher);
  QVDesktopFileRevealer revealer;
  revealer.revealFiles({});
  revealer.revealFiles({"/tmp/exports/a.jpg", "/tmp/exports/b.jpg"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (launcher->launched.empty() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(launcher->launched, (std::vector<std::vector<std::string>>{{"xdg-open", "/tmp/exports"}}));
  QVSharingServices::setLauncher(nullptr);
}

}  // namespace
