#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/MainExecutor.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      // One 2560 x 1440 screen, the size the window shapes are checked against.
      const QString config = QDir::temp().filePath(
          QStringLiteral("solvaneapp_tests-screens-%1.json").arg(QCoreApplication::applicationPid()));
      QFile file(config);
      if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(R"({"screens": [{"name": "Main", "x": 0, "y": 0, "width": 2560, "height": 1440,
                       "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
      } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
      }
    }
    static int argc = 1;
    static char name[] = "solvaneapp_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QVApplication(argc, argv);
    QVFonts::loadOnce();
    QVAnimationDriver::shared().useManualClock();
    qv::MainExecutor::shared().useManualClock();
  }
  void TearDown() override {
    qv::MainExecutor::shared().discardPending();
    QVAnimationDriver::shared().cancelAll();
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

[[maybe_unused]] auto* environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
