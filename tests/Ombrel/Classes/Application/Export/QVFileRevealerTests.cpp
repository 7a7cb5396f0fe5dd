#include "Ombrel/Classes/Application/Export/QVFileRevealer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <thread>

#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"

namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");

class RecordingLauncher : public QVDesktopLauncher {
 public:
  std::vector<std::vector<std::string>> launched;
  bool starts = true;
  bool launch(const std::vector<std::string>& arguments) override {
    launched.push_back(arguments);
    return starts;
  }
};

class FolderAlerts : public QVSolvaneAlertsPresenter {
 public:
  void showAllertNotSupportExtension(const std::string&) override {}
  void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>&) override {}
  void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>&) override {}
  void showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what) override {
    shown.emplace_back(program, what);
  }
  std::vector<std::pair<QVDesktopProgram, std::string>> shown;
};

bool noFileManagerAnswers() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  return !(bus.isConnected() && bus.interface() &&
           (bus.interface()->isServiceRegistered(kFileManager).value() ||
            bus.interface()->activatableServiceNames().value().contains(kFileManager)));
}

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

// Show in Folder with neither a file manager nor anything to open the folder: an alert gives the
// folder the photos are in.
TEST(QVDesktopFileRevealer, WithNothingToOpenTheFolderAnAlertGivesIt) {
  if (!noFileManagerAnswers()) GTEST_SKIP() << "a file manager answers on this desktop";
  auto launcher = std::make_shared<RecordingLauncher>();
  launcher->starts = false;
  QVSharingServices::setLauncher(launcher);
  auto alerts = std::make_shared<FolderAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  QVDesktopFileRevealer().revealFiles({"/tmp/exports/a.jpg"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (alerts->shown.empty() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(alerts->shown,
            (std::vector<std::pair<QVDesktopProgram, std::string>>{{QVDesktopProgram::FileManager, "/tmp/exports"}}));
  QVSolvaneAlerts::setPresenter(nullptr);
  QVSharingServices::setLauncher(nullptr);
}

}  // namespace
