#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"
#include "common/OffscreenQtEnvironment.h"

namespace {

// One 2560 x 1440 screen, the size the window shapes are checked against.
void useWideOffscreenScreen() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  const QString config =
      QDir::temp().filePath(QStringLiteral("solvaneapp_tests-screens-%1.json").arg(QCoreApplication::applicationPid()));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(R"({"screens": [{"name": "Main", "x": 0, "y": 0, "width": 2560, "height": 1440,
                 "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  file.close();
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
}

[[maybe_unused]] auto* environment =
    ::testing::AddGlobalTestEnvironment(new solvane::test::OffscreenQtEnvironment<QVApplication>(
        "solvaneapp_tests", useWideOffscreenScreen,
        [] {
          QVAnimationDriver::shared().useManualClock();
          qv::MainExecutor::shared().useManualClock();
        },
        [] {
          qv::MainExecutor::shared().discardPending();
          QVAnimationDriver::shared().cancelAll();
        }));

}  // namespace
