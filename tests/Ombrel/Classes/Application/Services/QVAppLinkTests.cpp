#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"

namespace {

TEST(QVAppLink, StartSetsUpTheLoggerInTheGroupContainer) {
  QVAppLink::start();
  QVAppLink::start();  // once per process: a second call does nothing
  QVLogWarning("shell start-up check %d", 42);
  const std::string log = qv::places::groupContainerDirectory() + "/Logs/Log.log";
  EXPECT_EQ(qv::QVLogger::shared().outputPath(), log);
  ASSERT_TRUE(std::filesystem::exists(log));
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("shell start-up check 42"), std::string::npos);
}

}  // namespace
