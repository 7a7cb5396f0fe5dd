#include <gtest/gtest.h>

#include <fstream>

#include "QVCore/ImageProcessing/Layers/QVBlendMode.h"
#include "common/TestSupport.h"

namespace {

TEST(BlendMode, SharedListFromTheShippedResource) {
  const auto& modes = QVBlendMode::blendModeInstances();
  for (const char* id : {"Normal", "Multiply", "ColorBurn", "Screen", "Overlay", "SoftLight", "Darken", "HardLight",
                         "Lighten", "Difference", "Subtract", "Luminosity", "Hue", "Color"}) {
    auto mode = QVBlendMode::blendModeWithIdentifier(id);
    ASSERT_NE(mode, nullptr) << id;
    EXPECT_EQ(mode->identifier(), id);
    EXPECT_FALSE(mode->name().empty());
  }
  EXPECT_GE(modes.size(), 14u);
  EXPECT_EQ(QVBlendMode::blendModeWithIdentifier("Multiply"), QVBlendMode::blendModeWithIdentifier("Multiply"));
  EXPECT_EQ(QVBlendMode::blendModeWithIdentifier("multiply"), nullptr);
  EXPECT_EQ(QVBlendMode::blendModeWithIdentifier("NoSuchMode"), nullptr);

  auto plain = QVBlendMode::init();
  EXPECT_EQ(plain->identifier(), "Normal");
  EXPECT_EQ(plain->name(), "Normal");
  EXPECT_NE(plain, QVBlendMode::blendModeWithIdentifier("Normal"));

  size_t count = 0;
  QVBlendMode::enumerateBlendModesUsingBlock([&](const qv::Value& element, size_t index, bool& stop) {
    EXPECT_EQ(index, count++);
    EXPECT_TRUE(element.isDictionary());
    stop = index == 1;
  });
  EXPECT_EQ(count, 2u);
}

TEST(BlendMode, IncompleteElementsKeepTheirPositions) {
  auto path = solvane::test::makeTempDir("blendmodes") / "BlendModeInfo.plist";
  std::ofstream(path) << R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<dict><key>Identifier</key><string>Normal</string><key>Name</key><string>Normal</string></dict>
<dict><key>Identifier</key><string>Multiply</string><key>Name</key><string></string></dict>
<dict><key>Name</key><string>Screen</string></dict>
<dict><key>Identifier</key><string>Overlay</string><key>Name</key><string>Overlay</string></dict>
</array></plist>)";
  auto modes = QVBlendMode::blendModesFromFile(path.string());
  ASSERT_EQ(modes.size(), 4u);
  EXPECT_EQ(modes[1], nullptr);
  EXPECT_EQ(modes[2], nullptr);
  ASSERT_NE(modes[3], nullptr);
  EXPECT_EQ(modes[3]->identifier(), "Overlay");

  EXPECT_TRUE(QVBlendMode::blendModesFromFile((path.parent_path() / "missing.plist").string()).empty());
}

}  // namespace
