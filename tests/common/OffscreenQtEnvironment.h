#pragma once
// The one Qt application of a widget test process, made before any test runs and gone after the last:
// on the offscreen platform unless the environment names one, with our fonts loaded. Each test
// executable adds one, naming its application class and what it sets up around it (manual clocks).
// Header-only: only the executables that link Qt include it.
#include <gtest/gtest.h>

#include <QApplication>
#include <functional>

#include "QVAppKit/QVFonts.h"

namespace solvane::test {

template <class Application = QApplication>
class OffscreenQtEnvironment : public ::testing::Environment {
 public:
  // `beforeApplication` may choose the platform (it runs before the application is made);
  // `afterApplication` and `beforeTearDown` set up and undo what the tests rely on.
  explicit OffscreenQtEnvironment(const char* name, std::function<void()> beforeApplication = {},
                                  std::function<void()> afterApplication = {},
                                  std::function<void()> beforeTearDown = {})
      : name_(name),
        beforeApplication_(std::move(beforeApplication)),
        afterApplication_(std::move(afterApplication)),
        beforeTearDown_(std::move(beforeTearDown)) {}

  void SetUp() override {
    if (beforeApplication_) beforeApplication_();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name_), nullptr};
    app_ = new Application(argc, argv);
    QVFonts::loadOnce();
    if (afterApplication_) afterApplication_();
  }
  void TearDown() override {
    if (beforeTearDown_) beforeTearDown_();
    delete app_;
    app_ = nullptr;
  }

 private:
  const char* name_;
  std::function<void()> beforeApplication_, afterApplication_, beforeTearDown_;
  QApplication* app_ = nullptr;
};

}  // namespace solvane::test
