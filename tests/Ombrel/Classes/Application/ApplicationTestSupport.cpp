#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/MainExecutor.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
