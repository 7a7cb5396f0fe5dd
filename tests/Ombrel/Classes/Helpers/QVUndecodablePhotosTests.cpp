#include "Ombrel/Classes/Helpers/QVUndecodablePhotos.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;
using solvane::test::AlertRecorder;

// Photos that failed to load on screen: those that really do not decode are named together, once,
// with the decoder's words, after the last probe answered and the gathering time passed; one that
// decodes (its load was cancelled) is not named.
TEST(QVUndecodablePhotos, TheFailuresOfAScreenfulAreNamedInOneAlertWithTheirReasons) {
  const fs::path dir = solvane::test::makeTempDir("undecodable");
  solvane::test::writeImage(dir / "whole.jpg", 900, 700, kUTTypeJPEG, true);
  for (const char* name : {"cut.jpg", "cut-too.jpg"}) {
    fs::copy_file(dir / "whole.jpg", dir / name);
    fs::resize_file(dir / name, fs::file_size(dir / "whole.jpg") / 3);
  }
  auto& main = qv::MainExecutor::shared();
  main.useManualClock();
  AlertRecorder recorder;
  const std::string cut = (dir / "cut.jpg").string(), cutToo = (dir / "cut-too.jpg").string();
  for (const std::string& path : {cut, (dir / "whole.jpg").string(), cut, cutToo}) QVUndecodablePhotos::report(path);

  // Every probe answers; the alert waits for the gathering time after the last one.
  ASSERT_TRUE(solvane::test::pumpMainUntil([] { return QVUndecodablePhotos::probesInFlight() == 0; }));
  EXPECT_TRUE(recorder.alerts->shown().empty());
  main.advance(QVUndecodablePhotos::kGatherSeconds);
  main.useSystemClock();
  EXPECT_EQ(recorder.alerts->shown(), std::vector<std::string>{"source not available"});
  const auto named = recorder.alerts->unopenable();
  ASSERT_EQ(named.size(), 2u);
  std::set<std::string> paths;
  for (const auto& file : named) {
    paths.insert(file.path);
    EXPECT_EQ(file.reason, QVUnopenableReason::Damaged);
    EXPECT_NE(file.systemError.find("premature end of data"), std::string::npos) << file.systemError;
  }
  EXPECT_EQ(paths, (std::set<std::string>{cut, cutToo})) << "each once";

  // Named again when it fails again later (opened once more).
  QVUndecodablePhotos::report(cut);
  EXPECT_TRUE(solvane::test::pumpMainUntil([&] { return recorder.alerts->shown().size() == 2; }));
}

}  // namespace
