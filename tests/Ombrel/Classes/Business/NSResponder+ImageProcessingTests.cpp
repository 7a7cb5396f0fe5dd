#include "Ombrel/Classes/Business/NSResponder+ImageProcessing.h"

#include <thread>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/QVApp.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// Posts a finished image from another thread, as the processing queues do.
void postFromWorker(const std::string& path, int64_t type) {
  std::thread([path, type] { QVApp::notifyObserversWithOriginalImage(nullptr, nullptr, path, type); }).join();
}

}  // namespace

TEST(QVImageProcessingObserver, OneKeyAtATimeDeliveredOnceOnTheMainThread) {
  auto& main = qv::MainExecutor::shared();
  auto observer = QVImageProcessingObserver::make();
  std::vector<std::string> delivered;
  auto record = [&delivered](const std::string& path, NSImageRef, NSImageRef) {
    EXPECT_TRUE(qv::MainExecutor::shared().isMainThread());
    delivered.push_back(path);
  };

  // A then B: only B's result arrives, once.
  observer->startImageProcessingObservationForPath("/a.jpg", 1, record);
  observer->startImageProcessingObservationForPath("/b.jpg", 1, record);
  postFromWorker("/a.jpg", 1);
  postFromWorker("/b.jpg", 0);  // another rendition of B
  postFromWorker("/b.jpg", 1);
  postFromWorker("/b.jpg", 1);
  main.runUntilIdle();
  EXPECT_EQ(delivered, std::vector<std::string>{"/b.jpg"});
  EXPECT_FALSE(observer->observingImageProcessing());
  EXPECT_FALSE(observer->observableImageKey());

  // A result already on its way to the main thread is dropped when the observer moved on meanwhile.
  delivered.clear();
  observer->startImageProcessingObservationForPath("/a.jpg", 1, record);
  postFromWorker("/a.jpg", 1);
  observer->startImageProcessingObservationForPath("/c.jpg", 1, record);
  main.runUntilIdle();
  EXPECT_TRUE(delivered.empty());
  QVApp::notifyObserversWithOriginalImage(nullptr, nullptr, "/c.jpg", 1);  // on the main thread: at once
  EXPECT_EQ(delivered, std::vector<std::string>{"/c.jpg"});

  // A nil path observes nothing; a gone observer's queued delivery does nothing.
  observer->startImageProcessingObservationForPath(std::nullopt, 1, record);
  EXPECT_FALSE(observer->observableImageKey());
  observer->startImageProcessingObservationForPath("/d.jpg", 1, record);
  postFromWorker("/d.jpg", 1);
  observer.reset();
  main.runUntilIdle();
  EXPECT_EQ(delivered, std::vector<std::string>{"/c.jpg"});
}
