#include "rova/LargeBufferReuse.h"

#include <gtest/gtest.h>

#include <memory>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

using namespace rova;

namespace {

constexpr size_t MB = size_t(1) << 20;

// 40 MB of float samples (a multiple of 2 MB, so the size is what is kept).
ImageDataFPtr plane40() { return ImageDataF::createUninitialized(2560, 4096); }

}  // namespace

// Freed buffers past malloc's mappings are kept only while a LargeBufferReuse lives, and handed out
// again only for the same size, with what they held (create() still clears).
TEST(LargeBufferReuse, KeepsFreedBuffersWhileOnForTheSameSize) {
  ImageDataFPtr a = plane40();
  ASSERT_TRUE(a);
  a.reset();
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 0u) << "nothing kept without a LargeBufferReuse";

  LargeBufferReuse reuse(200 * MB);
  a = plane40();
  const float* pixels = a->floats();
  a->at(7, 9) = 0.25f;
  a.reset();
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 1u);
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 40 * MB);

  auto other = ImageDataF::createUninitialized(2560, 5000);
  ASSERT_TRUE(other);
  EXPECT_NE(other->floats(), pixels) << "another size is not served from the kept buffer";
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 1u);

  const uint64_t reused = LargeBufferReuse::reusedBuffers();
  auto b = ImageDataF::createUninitialized(4096, 2560);  // the same bytes in another shape
  EXPECT_EQ(b->floats(), pixels);
  EXPECT_EQ(b->floats()[9 * 2560 + 7], 0.25f) << "a reused buffer holds what it held";
  EXPECT_EQ(LargeBufferReuse::reusedBuffers(), reused + 1);
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 0u);
  b.reset();
  auto cleared = ImageDataF::create(2560, 4096);
  EXPECT_EQ(cleared->floats(), pixels);
  EXPECT_EQ(cleared->at(7, 9), 0.f) << "create() clears a reused buffer";
  cleared.reset();

  // The file bitmaps of the codecs come from the same storage.
  other.reset();
  codecs::Bitmap bitmap;
  ASSERT_TRUE(bitmap.allocate(4096, 3413, 3, 8));  // 40 MB rounded up
  const uint8_t* bytes = bitmap.pixels.data();
  bitmap = {};
  codecs::Bitmap again;
  ASSERT_TRUE(again.allocate(4096, 3413, 3, 8));
  EXPECT_EQ(again.pixels.data(), bytes);
}

// Past the largest capacity asked for, the buffers kept longest are freed first; a buffer larger
// than it is not kept; when the largest ends its buffers shrink to the next, and when the last one
// ends nothing is kept.
TEST(LargeBufferReuse, CapacityDropsTheOldestAndTheLastEndFreesAll) {
  auto outer = std::make_unique<LargeBufferReuse>(100 * MB);
  auto inner = std::make_unique<LargeBufferReuse>(300 * MB);
  ImageDataFPtr planes[4] = {plane40(), plane40(), plane40(), plane40()};
  const float* first = planes[0]->floats();
  const float* second = planes[1]->floats();
  for (auto& plane : planes) plane.reset();
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 160 * MB);
  inner.reset();
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 80 * MB) << "down to the remaining capacity, the oldest out";
  auto taken = plane40();
  EXPECT_NE(taken->floats(), first);
  EXPECT_NE(taken->floats(), second);
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 40 * MB);
  auto huge = ImageDataF::createUninitialized(4096, 8192);  // 128 MB
  ASSERT_TRUE(huge);
  huge.reset();
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 40 * MB) << "larger than the capacity: freed";
  taken.reset();
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 80 * MB);
  outer.reset();
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 0u);
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 0u);
}
