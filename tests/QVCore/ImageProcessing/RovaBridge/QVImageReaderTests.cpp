#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "common/TestSupport.h"

// An engine failure reaches the caller with the engine's own reason, not just "it failed".
TEST(EngineFailureText, ReadAndUncompressFailuresCarryTheEnginesReason) {
  auto dir = solvane::test::makeTempDir("engine-failure-text");
  const std::string garbage = (dir / "garbage.jpg").string();
  std::ofstream(garbage, std::ios::binary) << "this is no picture";

  struct Case {
    const char* name;
    std::function<bool(qv::Error*)> fails;
    const char* domain;
  };
  const Case cases[] = {
      {"missing file",
       [&](qv::Error* e) { return !QVImageReader().readImageWithPath((dir / "none.jpg").string(), true, false, e); },
       kQVImageReaderErrorDomain},
      {"unreadable file", [&](qv::Error* e) { return !QVImageReader().readImageWithPath(garbage, true, false, e); },
       kQVImageReaderErrorDomain},
      {"malformed compressed data",
       [](qv::Error* e) {
         return !QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(std::vector<uint8_t>(16, 0x5A), e);
       },
       kQVRovaHelperErrorDomain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::Error error;
    ASSERT_TRUE(c.fails(&error));
    EXPECT_EQ(error.domain, c.domain);
    EXPECT_EQ(error.code, 1);
    EXPECT_FALSE(error.description.empty());
    EXPECT_TRUE(c.fails(nullptr)) << "no error record asked for";
  }
}
