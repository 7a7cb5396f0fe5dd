#include "QVAppKit/QVPhaseLabelView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/UserDefaults.h"

namespace {

const std::vector<std::string> kExportPhases{
    "Preprocessing",      "Enhancing Colors", "Defining Shadows", "Reducing Noise",
    "Adjusting Contrast", "Doing Magic",      "Detailing",        "Saving"};

struct Source : QVExportingLabelDataSource, QVLoadingLabelDataSource {
  std::vector<std::string> phases = kExportPhases;
  CGSize size = CGSizeMake(2000, 2000);  // 4 megapixels
  std::vector<std::string> phaseDescriptinosForExportingLabel(QVExportingLabelView*) override { return phases; }
  CGSize processingImageSizeForExportingLabel(QVExportingLabelView*) override { return size; }
  std::vector<std::string> phaseDescriptinosForLoadingLabel(QVLoadingLabelView*) override { return phases; }
  CGSize processingImageSizeForLoadingLabel(QVLoadingLabelView*) override { return size; }
};

class PhaseLabels : public ::testing::Test {
 protected:
  void SetUp() override {
    main().useManualClock();
    main().discardPending();
    defaults().removeObjectForKey(QVExportingLabelView::kKey);
    defaults().removeObjectForKey(QVLoadingLabelView::kKey);
    QVPhaseLabelView::setRandomSource([] { return 0u; });
    exporting.reset(QVExportingLabelView::exportingLabelView());
    loading.reset(QVLoadingLabelView::loadingLabelView());
    exporting->setExportingDataSource(source);
    loading->setLoadingDataSource(source);
  }
  void TearDown() override {
    exporting.reset();
    loading.reset();
    QVPhaseLabelView::setRandomSource(nullptr);
    main().discardPending();
  }
  static qv::MainExecutor& main() { return qv::MainExecutor::shared(); }
  static qv::UserDefaults& defaults() { return qv::UserDefaults::standardUserDefaults(); }

  std::shared_ptr<Source> source = std::make_shared<Source>();
  std::unique_ptr<QVExportingLabelView> exporting;
  std::unique_ptr<QVLoadingLabelView> loading;
};

TEST_F(PhaseLabels, NewLabelsAreEmptyWhiteHeavyText) {
  EXPECT_EQ(exporting->stringValue(), "");
  EXPECT_EQ(exporting->fontName(), "SF UI Display Heavy");
  EXPECT_EQ(exporting->fontSize(), 15);
  EXPECT_EQ(exporting->titleColor(), QColor(Qt::white));
}

TEST_F(PhaseLabels, ExportLabelWaitsOnTheLastButOnePhase) {
  exporting->restart();
  EXPECT_EQ(exporting->stringValue(), "Preprocessing");
  // 5.33 s/MP × 4 MP / 8 phases − 1.1 s ≈ 1.565 s a step.
  main().advance(1.5);
  EXPECT_EQ(exporting->stringValue(), "Preprocessing");
  main().advance(0.1);
  EXPECT_EQ(exporting->stringValue(), "Enhancing Colors");
  main().advance(60);
  EXPECT_EQ(exporting->stringValue(), "Detailing");
  EXPECT_EQ(exporting->scheduledStepCount(), 0u);
  exporting->showLastPhase();
  EXPECT_EQ(exporting->stringValue(), "Saving");
}

TEST_F(PhaseLabels, LoadingLabelReachesTheLastPhaseByItself) {
  loading->restart();
  main().advance(60);
  EXPECT_EQ(loading->stringValue(), "Saving");
  EXPECT_EQ(loading->scheduledStepCount(), 0u);
}

TEST_F(PhaseLabels, ShowLastPhaseCancelsPendingSteps) {
  loading->restart();
  EXPECT_EQ(loading->scheduledStepCount(), 1u);
  exporting->restart();
  exporting->showLastPhase();
  EXPECT_EQ(exporting->scheduledStepCount(), 0u);
  main().advance(60);
  EXPECT_EQ(exporting->stringValue(), "Saving");
}

TEST_F(PhaseLabels, NoPhasesShowAndScheduleNothing) {
  source->phases.clear();
  exporting->restart();
  loading->restart();
  exporting->showLastPhase();
  loading->showLastPhase();
  EXPECT_EQ(exporting->stringValue(), "");
  EXPECT_EQ(loading->stringValue(), "");
  EXPECT_EQ(exporting->scheduledStepCount() + loading->scheduledStepCount(), 0u);
}

TEST_F(PhaseLabels, LearningFromMeasuredCycles) {
  struct Case {
    double seconds;
    CGSize size;
    float exportRate, loadingRate;
  } cases[] = {
      {10, CGSizeMake(2000, 2000), 5.33f + (2.5f - 5.33f) * 0.5f, 2.33f + (2.5f - 2.33f) / 3.0f},
      {0.9, CGSizeMake(2000, 2000), 5.33f, 2.33f},  // under a second
      {10, CGSizeMake(0, 0), 5.33f, 2.33f},         // an infinite rate is never stored
  };
  for (const auto& c : cases) {
    SetUp();
    source->size = c.size;
    exporting->restart();
    loading->restart();
    main().advance(c.seconds);
    exporting->stop();
    loading->stop();
    EXPECT_FLOAT_EQ(QVExportingLabelView::approxTimeForMPX(), c.exportRate) << c.seconds;
    EXPECT_FLOAT_EQ(QVLoadingLabelView::approxTimeForMPX(), c.loadingRate) << c.seconds;
    EXPECT_FALSE(exporting->startProcDate().has_value());
  }
  EXPECT_NEAR(5.33f + (2.5f - 5.33f) * 0.5f, 3.915, 1e-6);
  EXPECT_NEAR(2.33f + (2.5f - 2.33f) / 3.0f, 2.386666, 1e-6);
}

TEST_F(PhaseLabels, ExportRestartLearnsThePreviousImage) {
  exporting->restart();  // the first restart learns nothing
  EXPECT_FLOAT_EQ(QVExportingLabelView::approxTimeForMPX(), 5.33f);
  main().advance(10.7);  // whole seconds: 10
  exporting->restart();
  EXPECT_FLOAT_EQ(QVExportingLabelView::approxTimeForMPX(), 3.915f);
}

TEST_F(PhaseLabels, DamagedStoredEstimatesAreIgnored) {
  loading->reload();
  const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 0, -3};
  for (double value : values) {
    defaults().setDouble(value, QVExportingLabelView::kKey);
    defaults().setDouble(value, QVLoadingLabelView::kKey);
    EXPECT_FLOAT_EQ(QVExportingLabelView::approxTimeForMPX(), 5.33f) << value;
    EXPECT_FLOAT_EQ(QVLoadingLabelView::approxTimeForMPX(), 2.33f) << value;
    // A step delay stays finite, and learning starts again from the default.
    EXPECT_TRUE(std::isfinite(loading->approxTimeForIteration()));
    QVLoadingLabelView::updateApproxTimeForMPX(2.5f);
    EXPECT_FLOAT_EQ(QVLoadingLabelView::approxTimeForMPX(), 2.33f + (2.5f - 2.33f) / 3.0f);
  }
  defaults().setFloat(4.0f, QVLoadingLabelView::kKey);
  EXPECT_FLOAT_EQ(QVLoadingLabelView::approxTimeForMPX(), 4.0f);
}

TEST_F(PhaseLabels, StepDelaysAndJitter) {
  exporting->reload();
  loading->reload();
  EXPECT_FLOAT_EQ(exporting->approxTimeForIteration(), 5.33f * 4 / 8 - 1.0f - 0.1f);
  EXPECT_FLOAT_EQ(loading->approxTimeForIteration(), 2.33f * 4 / 8 - 0.1f);
  QVPhaseLabelView::setRandomSource([] { return 119u; });  // 119 mod 60 = 59, mod 40 = 39
  EXPECT_FLOAT_EQ(exporting->approxTimeForIteration(), 5.33f * 4 / 8 - 1.0f + 0.59f - 0.1f);
  EXPECT_FLOAT_EQ(loading->approxTimeForIteration(), 2.33f * 4 / 8 + 0.39f - 0.1f);
}

TEST_F(PhaseLabels, DestroyedLabelCancelsItsSteps) {
  exporting->restart();
  ASSERT_EQ(main().pendingCount(), 1u);
  exporting.reset();
  EXPECT_EQ(main().pendingCount(), 0u);
}

}  // namespace
