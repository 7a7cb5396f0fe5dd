#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

using namespace qv;

namespace {
std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST(Log, WritesLevelledLinesAndTheFailurePrefix) {
  auto& logger = QVLogger::shared();
  EXPECT_EQ(logger.outputPath(), places::groupContainerDirectory() + "/Logs/Log.log");
  std::string path = (solvane::test::makeTempDir("log") / "Logs" / "Test.log").string();
  logger.setOutputPath(path);
  logger.setErrorsToStderr(false);
  logger.setLevel(LogLevel::Info);

  QVLogInfo("loaded %d images from %s", 3, "disk");
  QVLogDebug("not written at info level");
  std::string file = "/x/y.plist";
  int failureLine = __LINE__ + 1;
  QV_LOG_FAILURE("[NSData dataWithContentsOfFile:" + file + "] == nil");
  logger.setTraceMask(64);
  QVLog(64, "Singleton created %s", "QVApp");
  QVLog(256, "cache trace not written");

  std::string text = readAll(path);
  EXPECT_NE(text.find(" I LogTests.cpp:"), std::string::npos) << text;
  EXPECT_NE(text.find("loaded 3 images from disk"), std::string::npos);
  EXPECT_EQ(text.find("not written"), std::string::npos);
  std::string expected =
      "LogTests.cpp:" + std::to_string(failureLine) + " TestBody: [NSData dataWithContentsOfFile:/x/y.plist] == nil";
  EXPECT_NE(text.find(" E " + expected + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Singleton created QVApp"), std::string::npos);
  EXPECT_FALSE(logger.shouldLogLevel(LogLevel::Debug));
  EXPECT_TRUE(logger.shouldLogLevel(LogLevel::Error));

  logger.setTraceMask(~uint64_t(0));
  logger.setErrorsToStderr(true);
  logger.setOutputPath(places::groupContainerDirectory() + "/Logs/Log.log");
}
