#include <gtest/gtest.h>

#include "QVCore/Common/QVCoreHelpers.h"
#include "common/TestSupport.h"

namespace {
std::string fixture(const std::string& name) { return (solvane::test::dataDir() / "pipeline" / name).string(); }
}  // namespace

TEST(QVCoreHelpersTest, SizeChecksOnFiles) {
  EXPECT_TRUE(QVCoreHelpers::validateMinSizeForImagePath(fixture("small-100x80.jpg")));
  EXPECT_FALSE(QVCoreHelpers::validateMinSizeForImagePath(fixture("plain-20x10.png")));
  EXPECT_FALSE(QVCoreHelpers::validateMinSizeForImagePath(fixture("missing.jpg")));

  const auto big = fixture("small-100x80.jpg");
  EXPECT_TRUE(QVCoreHelpers::validateSizeForImagePaths({big}));
  EXPECT_TRUE(QVCoreHelpers::validateSizeForImagePaths({big, big}));
  EXPECT_FALSE(QVCoreHelpers::validateSizeForImagePaths({big, fixture("plain-20x10.png")}));
  EXPECT_FALSE(QVCoreHelpers::validateSizeForImagePaths({}));
}

TEST(QVCoreHelpersTest, LayerTagsAreDecimalTypeCodes) {
  EXPECT_EQ(QVCoreHelpers::layerTagForLayerType(3), "3");
  EXPECT_EQ(QVCoreHelpers::layerTagForLayerType(1), "1");
}
