#include "SifaneExtension/PhotoEditing/PhotoEditingViewController.h"

#include <gtest/gtest.h>

#include <thread>

#include "QVApplicationInfo/QVApplicationInfo.h"
#include "tests/SifaneExtension/ExtensionTestSupport.h"

using extension_test::FakeFacade;
using extension_test::FakeView;
using extension_test::pumpMain;
using Lines = std::vector<std::string>;

namespace {

class PhotoEditingViewControllerTest : public testing::Test {
 protected:
  void SetUp() override {
    QVExportImageSourceList::setShared(sources);
    controller.setView(&view);
  }
  void TearDown() override {
    pumpMain();
    QVExportImageSourceList::setShared(nullptr);
  }
  QVContentEditingInput input(const std::string& path = "/photos/IMG_1.jpg") {
    return QVContentEditingInput(path, std::nullopt, "/out");
  }
  size_t count(const Lines& lines, const std::string& line) {
    return size_t(std::count(lines.begin(), lines.end(), line));
  }

  std::shared_ptr<extension_test::MemorySourceList> sources = std::make_shared<extension_test::MemorySourceList>();
  std::shared_ptr<FakeFacade> facade = std::make_shared<FakeFacade>();
  FakeView view;
  PhotoEditingViewController controller{facade};
};

}  // namespace

TEST_F(PhotoEditingViewControllerTest, LoadingStartsTheEngineAndTheViewRecordsBothLaunchEvents) {
  PhotoEditingViewController::load(*facade);
  controller.viewDidLoad();
  EXPECT_EQ(facade->log, (Lines{"startEngine", "setUpServices", "event 1 1", "event 1 1", "launch action"}));
  EXPECT_EQ(view.log, (Lines{"hide container"}));
}

TEST_F(PhotoEditingViewControllerTest, PresentsOnceWhicheverOfInputAndAppearanceComesLast) {
  for (bool inputFirst : {true, false}) {
    SCOPED_TRACE(inputFirst ? "input first" : "appearance first");
    auto localFacade = std::make_shared<FakeFacade>();
    FakeView localView;
    PhotoEditingViewController local(localFacade);
    local.setView(&localView);
    if (inputFirst) {
      local.startContentEditingWithInput(input(), "");
      EXPECT_TRUE(localView.log.empty()) << "nothing before the view appeared";
      local.viewWillAppear();
    } else {
      local.viewWillAppear();
      EXPECT_TRUE(localView.log.empty()) << "nothing before the input";
      local.startContentEditingWithInput(input(), "");
    }
    EXPECT_EQ(localView.log, (Lines{"show container", "show /photos/IMG_1.jpg"}));
    EXPECT_EQ(count(localFacade->log, "load /photos/IMG_1.jpg"), 1u);
    // An equal input, the view appearing again, even another input: presented already.
    local.setInput(input());
    local.setIsViewAppeared(false);
    local.setIsViewAppeared(true);
    local.setInput(input("/photos/other.jpg"));
    EXPECT_EQ(localView.log.size(), 2u);
    EXPECT_EQ(count(localFacade->log, "load /photos/IMG_1.jpg"), 1u);
    ASSERT_TRUE(local.exportPathStorage());
    EXPECT_EQ(local.exportPathStorage()->pathsOrEmpty(), Lines{"/photos/IMG_1.jpg"});
  }
}

TEST_F(PhotoEditingViewControllerTest, RefusesEveryEarlierRecordAndNeverAsksToConfirmCancel) {
  for (const QVAdjustmentData& record : {PhotoEditingViewController::adjustmentData(),
                                         QVAdjustmentData("com.other.editor", "3.1", "xyz"), QVAdjustmentData()}) {
    EXPECT_FALSE(controller.canHandleAdjustmentData(record)) << record.formatIdentifier();
  }
  EXPECT_FALSE(controller.shouldShowCancelConfirmation());
}

TEST_F(PhotoEditingViewControllerTest, TheRecordNamesTheExtensionByTheApplicationsIdentifier) {
  const QVAdjustmentData record = PhotoEditingViewController::adjustmentData();
  EXPECT_EQ(record.formatIdentifier(), std::string(QVApplicationInfo::bundleIdentifier) + ".photoextension");
  EXPECT_EQ(record.formatVersion(), "1.0");
  EXPECT_EQ(record.data(), "SolvaneExtentionAdjustData");
}

TEST_F(PhotoEditingViewControllerTest, FinishingRendersFullSizeAndHandsBackOnlyAfterTheBarHasEnded) {
  controller.startContentEditingWithInput(input(), "");
  controller.viewWillAppear();
  view.log.clear();
  facade->log.clear();
  view.amount = 0.37;

  std::shared_ptr<QVContentEditingOutput> output;
  std::optional<std::string> failure;
  int handled = 0;
  bool handledOnMain = false;
  controller.finishContentEditingWithCompletionHandler([&](auto out, auto why) {
    output = out;
    failure = why;
    handledOnMain = qv::MainExecutor::shared().isMainThread();
    ++handled;
  });
  pumpMain();
  EXPECT_EQ(view.log, Lines{"state 2"});
  EXPECT_EQ(facade->renderedPath, "/photos/IMG_1.jpg");
  EXPECT_EQ(facade->renderedType, 2);

  // The core answers on one of its own threads; the rest follows on the main thread.
  const auto source = extension_test::flatImage(4, 4, 10, 20, 30);
  const auto result = extension_test::flatImage(4, 4, 200, 150, 100);
  std::thread worker([&] { facade->pendingRender("/photos/IMG_1.jpg", source, result); });
  worker.join();
  EXPECT_EQ(count(facade->log, "boost"), 0u) << "nothing before the main thread runs";
  pumpMain();
  EXPECT_EQ(view.log, (Lines{"state 2", "complete export animation"}));
  EXPECT_EQ(facade->boostAmounts, std::vector<double>{0.37}) << "the strength on the slider";
  EXPECT_EQ(count(facade->log, "export /photos/IMG_1.jpg 0"), 1u);
  EXPECT_EQ(handled, 0) << "the output waits for the progress bar's end";
  EXPECT_TRUE(facade->writtenPaths.empty());

  view.pendingExportEnd();
  ASSERT_EQ(handled, 1);
  EXPECT_TRUE(handledOnMain);
  EXPECT_FALSE(failure);
  ASSERT_TRUE(output);
  EXPECT_EQ(output->adjustmentData(), PhotoEditingViewController::adjustmentData());
  EXPECT_EQ(output->renderedContentPath(), "/out/IMG_1.tiff");
  // Whole, to the edit's temporary name in the host's folder; the host's commit renames it.
  EXPECT_EQ(facade->writtenPaths, Lines{output->renderingTemporaryPath()});
  EXPECT_EQ(output->renderingTemporaryPath().rfind("/out/.IMG_1.tiff.", 0), 0u) << output->renderingTemporaryPath();
  EXPECT_EQ(facade->writtenImage, result);
  EXPECT_EQ(facade->log.back(), "clean") << "the edit ends by emptying caches, store and settings";
}

TEST_F(PhotoEditingViewControllerTest, AFailedWriteHandsBackNoOutputWithTheReason) {
  facade->writeFailure = "Failed to save image source: disk full";
  controller.startContentEditingWithInput(input(), "");
  controller.viewWillAppear();
  std::shared_ptr<QVContentEditingOutput> output = std::make_shared<QVContentEditingOutput>(input());
  std::optional<std::string> failure;
  controller.finishContentEditingWithCompletionHandler([&](auto out, auto why) {
    output = out;
    failure = why;
  });
  pumpMain();
  const auto image = extension_test::flatImage(2, 2, 1, 2, 3);
  facade->pendingRender("/photos/IMG_1.jpg", image, image);
  pumpMain();
  view.pendingExportEnd();
  EXPECT_EQ(output, nullptr);
  EXPECT_EQ(failure, "Failed to save image source: disk full");

  // A render that failed never reaches the writer.
  FakeView otherView;
  auto otherFacade = std::make_shared<FakeFacade>();
  PhotoEditingViewController other(otherFacade);
  other.setView(&otherView);
  other.startContentEditingWithInput(input(), "");
  other.viewWillAppear();
  other.finishContentEditingWithCompletionHandler([&](auto out, auto why) {
    output = out;
    failure = why;
  });
  pumpMain();
  otherFacade->pendingRender("/photos/IMG_1.jpg", nullptr, nullptr);
  pumpMain();
  EXPECT_EQ(output, nullptr);
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find("could not be enhanced"), std::string::npos);
  EXPECT_TRUE(otherFacade->writtenPaths.empty());
}

TEST_F(PhotoEditingViewControllerTest, CancelEmptiesCachesStoreAndSettings) {
  controller.startContentEditingWithInput(input(), "");
  controller.viewWillAppear();
  facade->log.clear();
  controller.cancelContentEditing();
  EXPECT_EQ(facade->log, Lines{"clean"});
}

TEST_F(PhotoEditingViewControllerTest, ACompletionArrivingAfterTheControllerIsGoneIsDropped) {
  auto localFacade = std::make_shared<FakeFacade>();
  FakeView localView;
  int handled = 0;
  {
    PhotoEditingViewController local(localFacade);
    local.setView(&localView);
    local.startContentEditingWithInput(input(), "");
    local.viewWillAppear();
    local.finishContentEditingWithCompletionHandler([&](auto, auto) { ++handled; });
    pumpMain();
  }
  const auto image = extension_test::flatImage(2, 2, 1, 2, 3);
  localFacade->pendingRender("/photos/IMG_1.jpg", image, image);
  pumpMain();
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(count(localFacade->log, "boost"), 0u);
}

TEST_F(PhotoEditingViewControllerTest, SmallPhotoShowsNothingThenAlertsRecordsAndEndsWith134) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        facade->largeEnough = false;
        facade->exitOnTerminate = true;
        controller.startContentEditingWithInput(input("/photos/small-640x480.jpg"), "");
        controller.viewWillAppear();
        // Scheduled, not yet run: nothing of the photo was shown or counted.
        if (!view.log.empty() || count(facade->log, "load /photos/small-640x480.jpg") != 0) std::_Exit(1);
        pumpMain();
        std::_Exit(2);  // not reached: the scheduled block ends the process
      },
      testing::ExitedWithCode(134), "alert less than minimum size\n\\[facade\\] event 0 1\n\\[facade\\] terminate 134");
}

// A photo that cannot be decoded is a failure with its reason, never taken for a small photo: the
// host hears it once, on the main queue, and nothing is alerted about size or ended with 134.
TEST_F(PhotoEditingViewControllerTest, APhotoThatCannotBeDecodedIsReportedAsSuchOnce) {
  struct Case {
    const char* name;
    std::optional<std::string> unreadable;  // what the reader says at the start
    bool previewFails;                      // the screen's preview fails afterwards
    bool shown;
  } cases[] = {
      {"not an image, or empty", "not a photo that can be decoded: /photos/IMG_1.jpg", false, false},
      {"a damaged photo whose preview fails", std::nullopt, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto localFacade = std::make_shared<FakeFacade>();
    localFacade->unreadable = c.unreadable;
    FakeView localView;
    PhotoEditingViewController local(localFacade);
    local.setView(&localView);
    std::vector<std::string> failures;
    local.setFailureHandler([&](const std::string& reason) { failures.push_back(reason); });
    local.startContentEditingWithInput(input(), "");
    local.viewWillAppear();
    EXPECT_EQ(!localView.log.empty(), c.shown);
    if (c.previewFails) {
      ASSERT_TRUE(localView.previewFailed);
      localView.previewFailed();
      localView.previewFailed();  // a second report changes nothing
    }
    EXPECT_TRUE(failures.empty()) << "the host hears it on the main queue, not inside the call";
    pumpMain();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("/photos/IMG_1.jpg"), std::string::npos) << failures[0];
    EXPECT_EQ(count(localFacade->log, "alert less than minimum size"), 0u);
    EXPECT_EQ(count(localFacade->log, "terminate 134"), 0u);
    EXPECT_EQ(count(localFacade->log, "event 0 1"), 0u);
  }
}
