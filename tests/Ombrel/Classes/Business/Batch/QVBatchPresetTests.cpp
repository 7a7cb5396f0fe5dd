#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"

#include <gtest/gtest.h>

namespace {

TEST(QVBatchSettingsResizing, EvaluateFitSize) {
  struct Case {
    uint64_t type;
    const char* value;
    bool enlarge;
    double w, h;
  } cases[] = {
      {1, "2048", false, 2048, 1536},                            // long edge
      {2, "1000", false, 1333, 1000},                            // short edge
      {3, "800x800", false, 800, 600},                           // dimensions
      {1, "5000", false, 4000, 3000},                            // never enlarged unless asked
      {1, "5000", true, 5000, 3750},   {3, "800", false, 0, 0},  // dimensions without "x"
      {0, "", false, 4000, 3000},                                // original
      {0, nullptr, false, 0, 0},                                 // no value: the preset sets no size
      {7, "10", false, 0, 0},
  };
  for (const auto& c : cases) {
    QVBatchSettingsResizing resizing;
    resizing.setType(c.type);
    if (c.value) resizing.setValue(std::string(c.value));
    resizing.setShouldEnlarge(c.enlarge);
    CGSize s = resizing.evaluateFitSize(CGSizeMake(4000, 3000));
    EXPECT_EQ(s.width, c.w) << c.type << " " << (c.value ? c.value : "nil");
    EXPECT_EQ(s.height, c.h) << c.type << " " << (c.value ? c.value : "nil");
  }
}

}  // namespace
