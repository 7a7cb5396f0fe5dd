#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "../Common/CompareTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/SingleImage/QVBasicExportSingleImageViewController.h"
#include "Ombrel/Classes/Application/SingleImage/QVJoinCounter.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"
#include "SingleImageTestSupport.h"

namespace {

using single_image_test::FakeFacade;

const NSImageRef kRed = compare_test::flatImage(90, 60, 255, 0, 0);
const NSImageRef kBlue = compare_test::flatImage(90, 60, 0, 0, 255);

class SingleImage : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    facade = std::make_shared<FakeFacade>();
    vc = std::make_unique<QVBasicExportSingleImageViewController>(facade);
    vc->rootView()->setFrame(CGRectMake(0, 0, 900, 600));
    vc->rootView()->layoutSubtreeIfNeeded();
    token = qv::NotificationCenter::defaultCenter().addObserver(
        kQVExportViewStateDidChangeNotification, nullptr,
        [this](const qv::Notification& n) { states.push_back(*QVSingleImageNotifications::objectValue<uint64_t>(n)); });
  }
  void TearDown() override {
    token.reset();
    vc.reset();
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
  }
  // Moves both clocks: animations and the main loop's queued and delayed blocks.
  static void run(double seconds) {
    const double step = 1.0 / 60;
    for (double t = 0; t < seconds; t += step) {
      QVAnimationDriver::shared().advance(step);
      qv::MainExecutor::shared().advance(step);
    }
    qv::MainExecutor::shared().advance(0);
  }
  void cache(const std::string& path) {
    facade->processed[path] = kBlue;
    facade->original[path] = kRed;
  }
  QColor pixel(double x, double y) { return vc->rootView()->grab().toImage().pixelColor(int(x), int(y)); }

  std::shared_ptr<FakeFacade> facade;
  std::unique_ptr<QVBasicExportSingleImageViewController> vc;
  qv::ObserverToken token;
  std::vector<uint64_t> states;
};

TEST(QVJoinCounter, NotifiesOnTheMainLoopOnceEveryWaitLeft) {
  auto counter = QVJoinCounter::make();
  int calls = 0;
  counter->enter();
  counter->enter();
  counter->notify([&] { ++calls; });
  counter->leave();
  qv::MainExecutor::shared().advance(0);
  EXPECT_EQ(calls, 0);
  counter->leave();
  EXPECT_EQ(calls, 0);  // never inline
  qv::MainExecutor::shared().advance(0);
  EXPECT_EQ(calls, 1);
  counter->leave();  // one leave too many changes nothing
  qv::MainExecutor::shared().advance(0);
  EXPECT_EQ(calls, 1);
}

TEST_F(SingleImage, ACachedPreviewGoesStraightToProcessedWithTheCurtain) {
  cache("/p/a.jpg");
  vc->showProcessedImageWithPath("/p/a.jpg");
  EXPECT_EQ(states, std::vector<uint64_t>{1});
  EXPECT_TRUE(facade->processRequests.empty());
  EXPECT_TRUE(vc->curtainEnabled());
  ASSERT_TRUE(vc->curtainAnimator());
  EXPECT_GT(vc->compareView()->lineCentre(), 900);  // beyond the edge until the next pass of the main loop
  run(0.05);                                        // no preview on screen, so nothing to fade first
  EXPECT_TRUE(vc->curtainAnimator() && vc->curtainAnimator()->observesCurtainPosition());
  run(3);
  EXPECT_FALSE(vc->curtainAnimator());
  EXPECT_EQ(vc->splitLineOffset(), -450 + 300 + 6);
  EXPECT_EQ(vc->originalImage(), kRed);
  EXPECT_EQ(vc->compareView()->compareImage(), kBlue);
  EXPECT_EQ(states, std::vector<uint64_t>{1});
}

TEST_F(SingleImage, AnUncachedPreviewShowsProcessingThenProcessedOnItsResult) {
  vc->showProcessedImageWithPath("/p/b.jpg");
  ASSERT_EQ(facade->processRequests.size(), 1u);
  EXPECT_EQ(facade->processRequests[0], std::make_tuple(std::string("/p/b.jpg"), int64_t(1), int64_t(4)));
  EXPECT_EQ(facade->observedPath, "/p/b.jpg");
  facade->answerBlurred();
  run(0.05);
  EXPECT_EQ(states, std::vector<uint64_t>{0});
  EXPECT_FALSE(vc->curtainEnabled());
  EXPECT_EQ(vc->blurredPreview()->parentWidget(), vc->rootView());
  EXPECT_EQ(vc->blurredPreview()->image(), facade->blurred);
  EXPECT_TRUE(vc->loadingAnimationView()->parentWidget() == vc->blurredPreview());
  run(1.1);  // the preview faded in
  EXPECT_EQ(vc->blurredPreview()->alpha(), 1);
  facade->observation("/p/b.jpg", kRed, kBlue);
  EXPECT_EQ(states, (std::vector<uint64_t>{0, 1}));
  // The preview fades out over a second, then the curtain slides in.
  run(0.5);
  EXPECT_NEAR(vc->blurredPreview()->alpha(), 0.5, 0.05);
  EXPECT_FALSE(vc->curtainAnimator()->observesCurtainPosition());
  run(0.6);
  EXPECT_TRUE(vc->curtainAnimator()->observesCurtainPosition());
  run(3);
  EXPECT_EQ(vc->blurredPreview()->parentWidget(), nullptr);  // faded out and removed
  EXPECT_FALSE(vc->curtainAnimator());
  EXPECT_EQ(vc->splitLineOffset(), -450 + 300 + 6);
}

TEST_F(SingleImage, AResultWhileThePreviewStillFadesInLeavesNoPreviewOverThePhoto) {
  // The result may come while the blurred preview still fades in, or before its picture.
  for (bool blurredFirst : {true, false}) {
    SCOPED_TRACE(blurredFirst ? "blurred picture first" : "result first");
    const std::string path = blurredFirst ? "/p/b.jpg" : "/p/c.jpg";
    vc->showProcessedImageWithPath(path);
    if (blurredFirst) facade->answerBlurred();
    run(0.2);
    facade->observation(path, kRed, kBlue);
    if (!blurredFirst) facade->answerBlurred();
    EXPECT_EQ(vc->currentState(), 1u);
    run(4);
    EXPECT_EQ(vc->blurredPreview()->parentWidget(), nullptr) << "the fade-in's end must not bring it back";
  }
}

TEST_F(SingleImage, AFailedPreviewStaysLockedAndSaysSo) {
  vc->showProcessedImageWithPath("/p/c.jpg");
  facade->answerBlurred();
  run(0.05);
  facade->observation("/p/c.jpg", nullptr, nullptr);
  run(1.5);
  EXPECT_EQ(states, std::vector<uint64_t>{0});
  EXPECT_EQ(vc->currentState(), 0u);
  EXPECT_TRUE(vc->rules().processingFailed());
  EXPECT_FALSE(vc->curtainEnabled());
  EXPECT_EQ(vc->loadingLabelView()->title(), QVBasicExportSingleImageViewController::processingFailedText());
  // The whole line shows, centred.
  const CGRect label = vc->loadingLabelView()->frame();
  EXPECT_GE(label.size.width, vc->loadingLabelView()->sizeForCurrentString().width);
  EXPECT_NEAR(CGRectGetMidX(label), 450, 1);
  EXPECT_EQ(vc->loadingLabelView()->scheduledStepCount(), 0u);
  EXPECT_EQ(vc->blurredPreview()->parentWidget(), vc->rootView());
  EXPECT_EQ(vc->loadingLabelView()->parentWidget(), vc->blurredPreview());
  for (QObject* child : vc->blurredPreview()->children()) {
    EXPECT_EQ(dynamic_cast<QVLoadingAnimationView*>(child), nullptr);  // the dots are gone
  }
}

TEST_F(SingleImage, EachStateIsPostedOncePerChange) {
  vc->rules().setCurrentState(2);
  vc->rules().setCurrentState(2);
  vc->rules().setCurrentState(1);
  EXPECT_EQ(states, (std::vector<uint64_t>{2, 1}));
}

TEST_F(SingleImage, TheAmountNotificationSetsTheOpacityAndStoresItPerPath) {
  cache("/p/d.jpg");
  vc->showProcessedImageWithPath("/p/d.jpg");
  facade->stored.clear();
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                               std::make_shared<double>(0.4));
  EXPECT_EQ(vc->fullsizePreviewImageView()->alpha(), 0.4);
  EXPECT_EQ(vc->compareView()->compareAlpha(), 0.4);
  EXPECT_EQ(facade->stored, (std::vector<std::pair<double, std::string>>{{0.4, "/p/d.jpg"}}));
}

TEST_F(SingleImage, AStoredAmountBelowZeroLeavesSliderAndOpacityAlone) {
  cache("/p/e.jpg");
  facade->amounts["/p/e.jpg"] = -1;
  vc->fullsizePreviewImageView()->setAlpha(0.7);
  vc->showProcessedImageWithPath("/p/e.jpg");
  EXPECT_EQ(vc->fullsizePreviewImageView()->alpha(), 0.7);
  EXPECT_EQ(vc->compareView()->compareAlpha(), 1);
  EXPECT_TRUE(facade->stored.empty());
  facade->amounts["/p/f.jpg"] = 0.25;
  cache("/p/f.jpg");
  vc->showProcessedImageWithPath("/p/f.jpg");
  EXPECT_EQ(vc->fullsizePreviewImageView()->alpha(), 0.25);
  EXPECT_EQ(vc->compareView()->compareAlpha(), 0.25);
}

TEST_F(SingleImage, TheOpenSliderShowsTheResultOverTheWholeSourceAtItsStrength) {
  cache("/p/g.jpg");
  facade->amounts["/p/g.jpg"] = 0.5;
  vc->showProcessedImageWithPath("/p/g.jpg");
  run(4);
  const double line = vc->compareView()->lineCentre();
  EXPECT_EQ(pixel(line - 40, 300), QColor(255, 0, 0));  // split: source on the left
  const QColor mixed = pixel(line + 40, 300);
  EXPECT_NEAR(mixed.red(), 128, 3);
  EXPECT_NEAR(mixed.blue(), 128, 3);
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeShowStateNotification,
                                               std::make_shared<bool>(true));
  // A drag right away wins over the fade that brings the result in.
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                               std::make_shared<double>(0.3));
  run(1.2);
  EXPECT_EQ(vc->fullsizePreviewImageView()->alpha(), 0.3);
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeAmountNotification,
                                               std::make_shared<double>(0.5));
  const QColor leftOpen = pixel(line - 40, 300);
  EXPECT_NEAR(leftOpen.red(), 128, 3);  // the whole view at the strength
  EXPECT_NEAR(leftOpen.blue(), 128, 3);
  EXPECT_EQ(vc->fullsizeOriginalImageView()->parentWidget(), vc->rootView());
  EXPECT_TRUE(vc->compareView()->isHidden());  // covered: it need not paint under the full-size pictures
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeShowStateNotification,
                                               std::make_shared<bool>(false));
  run(1.2);
  EXPECT_EQ(vc->fullsizePreviewImageView()->parentWidget(), nullptr);
  EXPECT_FALSE(vc->compareView()->isHidden());
  EXPECT_EQ(pixel(line - 40, 300), QColor(255, 0, 0));
  EXPECT_NEAR(pixel(line + 40, 300).blue(), 128, 3);
}

TEST_F(SingleImage, TheCurtainWaitsForTheWindowLayoutAndTheFade) {
  cache("/p/h.jpg");
  vc->setWaitsForWindowLayout(true);
  vc->showProcessedImageWithPath("/p/h.jpg");
  ASSERT_TRUE(vc->onWindowDidLayout());
  run(1.5);  // the fade ended; the window has not laid out
  ASSERT_TRUE(vc->curtainAnimator());
  EXPECT_FALSE(vc->curtainAnimator()->observesCurtainPosition());
  EXPECT_FALSE(vc->splitLineLayoutUpdatesEnabled());
  auto layoutDone = vc->onWindowDidLayout();
  layoutDone();
  EXPECT_FALSE(vc->onWindowDidLayout());
  run(0.05);
  EXPECT_TRUE(vc->curtainAnimator()->observesCurtainPosition());
  // The other order: the window lays out first, then the preview's fade ends.
  vc->updateWithExportState(0, true);
  run(1.1);
  vc->updateWithExportState(1, true);
  vc->onWindowDidLayout()();
  run(0.5);
  EXPECT_FALSE(vc->curtainAnimator()->observesCurtainPosition());
  run(0.6);
  EXPECT_TRUE(vc->curtainAnimator()->observesCurtainPosition());
}

TEST_F(SingleImage, AScreenClosedMidTransitionIgnoresLateAnswers) {
  vc->showProcessedImageWithPath("/p/j.jpg");
  auto observation = facade->observation;
  facade->answerBlurred();
  run(0.3);  // the preview is fading in
  vc.reset();
  run(2);
  // The facade's late answers reach nothing (the observation was stopped with the screen).
  EXPECT_FALSE(facade->observation);
  observation("/p/j.jpg", kRed, kBlue);
  run(2);
  EXPECT_EQ(states, std::vector<uint64_t>{0});
}

TEST_F(SingleImage, AnotherPathDropsTheAnswersOfTheFirst) {
  vc->showProcessedImageWithPath("/p/k.jpg");
  auto blurredForK = std::move(facade->blurredRequests);
  facade->blurredRequests.clear();
  cache("/p/l.jpg");
  vc->showProcessedImageWithPath("/p/l.jpg");
  for (auto& [p, c] : blurredForK) c(p, facade->blurred);
  run(0.1);
  EXPECT_EQ(vc->imagePath(), "/p/l.jpg");
  EXPECT_EQ(states, std::vector<uint64_t>{1});  // no processing state from the first path's preview
}

TEST_F(SingleImage, MenuSettingsShowThePathAgainFromScratch) {
  cache("/p/i.jpg");
  vc->showProcessedImageWithPath("/p/i.jpg");
  facade->processed.clear();
  qv::NotificationCenter::defaultCenter().post("QVAppMenuSettingsDidChange");
  EXPECT_EQ(facade->cleaned, std::vector<std::string>{"/p/i.jpg"});
  EXPECT_EQ(facade->processRequests.size(), 1u);
}

}  // namespace
