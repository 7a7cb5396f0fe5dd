#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "QVPlatform/MainExecutor.h"

namespace {

namespace fs = std::filesystem;

TEST(QVSolvaneHelpers, CleaningRemovesTheImageCacheFolderAndToleratesItsAbsence) {
  const fs::path folder = QVSolvaneHelpers::imageCacheDirectory();
  EXPECT_EQ(folder.filename(), "QVImagesCache");
  fs::create_directories(folder / "nested");
  std::ofstream(folder / "nested" / "a.png") << "x";
  QVSolvaneHelpers::cleanTempDirectory();
  EXPECT_FALSE(fs::exists(folder));
  QVSolvaneHelpers::cleanTempDirectory();  // nothing there: no failure
}

TEST(QVSolvaneHelpers, DispatchOnMainThreadRunsAtOnceOnlyOnTheMainThread) {
  auto& main = qv::MainExecutor::shared();
  ASSERT_TRUE(main.isMainThread());
  bool ran = false;
  QVDispatchOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  QVDispatchOnMainThread(nullptr);

  bool queued = false;
  std::thread([&] { QVDispatchOnMainThread([&] { queued = true; }); }).join();
  EXPECT_FALSE(queued);  // waits for the main thread's next pass
  main.runUntilIdle();
  EXPECT_TRUE(queued);
}

}  // namespace
