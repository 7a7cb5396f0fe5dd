#include "rova/LargeBufferReuse.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

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

namespace {
// A float plane of exactly `mb` MB (rows of 16 kB).
ImageDataFPtr planeOf(int mb) { return ImageDataF::createUninitialized(4096, 64 * mb); }
}  // namespace

// A kept buffer serves a slightly smaller photo's buffer of the same kind (up to half as large
// again as asked), the smallest that holds it first, and goes back with all its bytes; it never
// serves a much smaller one.
TEST(LargeBufferReuse, ServesSmallerRequestsUpToHalfAsLargeAgain) {
  struct Case {
    int askedMB;
    bool served;
  };
  for (const Case c : {Case{60, true}, Case{40, true}, Case{38, false}}) {
    LargeBufferReuse reuse(400 * MB);
    auto kept = planeOf(60);
    const float* pixels = kept->floats();
    kept.reset();
    auto asked = planeOf(c.askedMB);
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->floats() == pixels, c.served) << c.askedMB << " MB from a kept 60 MB buffer";
    asked.reset();
    if (c.served) {
      EXPECT_EQ(LargeBufferReuse::keptBytes(), 60 * MB) << c.askedMB << " MB: back with all its bytes";
      EXPECT_EQ(LargeBufferReuse::keptBuffers(), 1u);
    }
  }

  LargeBufferReuse reuse(400 * MB);
  auto big = planeOf(50), fit = planeOf(44);
  const float* fitPixels = fit->floats();
  big.reset();
  fit.reset();
  EXPECT_EQ(planeOf(40)->floats(), fitPixels) << "the smallest that holds it";
}

// Photos of a larger size come: a buffer kept from smaller ones, passed over by two fresh larger
// buffers, is freed instead of being held beside them; a larger kept buffer stays.
TEST(LargeBufferReuse, FreesKeptBuffersOfSmallerPhotosOnceLargerOnesCome) {
  LargeBufferReuse reuse(1000 * MB);
  auto small = planeOf(34), large = planeOf(120);
  small.reset();
  large.reset();
  ASSERT_EQ(LargeBufferReuse::keptBytes(), 154 * MB);
  auto first = planeOf(60);  // fresh: 34 MB is too small, 120 MB more than half as large again
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 154 * MB) << "passed over once: still kept";
  auto second = planeOf(60);
  EXPECT_EQ(LargeBufferReuse::keptBytes(), 120 * MB) << "passed over twice: freed";
  EXPECT_EQ(LargeBufferReuse::keptBuffers(), 1u);
}

namespace {
// Whether the mapping holding `p` is marked for huge pages (its "hg" flag in /proc/self/smaps).
bool markedForHugePages(const void* p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto address = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long begin = 0, end = 0;
    // Only a mapping's first line starts with its range ("Anon..." starts with a hex digit, not a range).
    if (std::sscanf(line.c_str(), "%lx-%lx", &begin, &end) == 2) {
      inside = begin <= address && address < end;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line.find(" hg") != std::string::npos;
    }
  }
  return false;
}
}  // namespace

// Fresh large buffers ask for huge pages, except while buffers are reused (a run of photos).
TEST(LargeBufferReuse, FreshBuffersAskForHugePagesOnlyWithoutReuse) {
  auto alone = planeOf(40);
  if (!markedForHugePages(alone->floats())) GTEST_SKIP() << "this kernel has no transparent huge pages";
  LargeBufferReuse reuse(400 * MB);
  auto inRun = planeOf(40);
  EXPECT_FALSE(markedForHugePages(inRun->floats())) << "a fresh buffer while buffers are reused";
}
