#pragma once
// Demosaicing of a plain Bayer colour filter (a 2 x 2 pattern of red, two greens and blue), one tile
// at a time, so a picture is developed on every core with no pixel developed twice. The method is
// ratio-corrected demosaicing (L. Sanz Rodríguez, 2017): the direction of each pixel's interpolation
// from high-pass statistics that ignore the filter's own alternation of colours, green estimated
// from its neighbours corrected by the ratio of a low-pass image around them (so a hard edge does
// not overshoot), then red and blue as colour differences to green, along the better diagonal at
// red and blue pixels and from the four sides by their gradients at green ones.
#include <cstddef>
#include <vector>

namespace rova::codecs::detail {

class BayerDemosaic {
 public:
  // Mosaic samples a tile reads on each side of the pixels it gives: each step reads a few pixels
  // around what the step before it gave. Even, so a tile starts on the pattern's phase.
  static constexpr int kBorder = 10;

  // `colours`: the filter's colour (0 red, 1 green, 2 blue) at the pattern's four places, indexed
  // (y & 1) * 2 + (x & 1) in the tile's coordinates; two greens on a diagonal, one red, one blue.
  explicit BayerDemosaic(const int colours[4]);

  // The tile's mosaic, `width` x `height` samples (each more than 2 x kBorder) row after row, values
  // in [0, 1]: the caller fills it, then calls run().
  float* mosaic(int width, int height);
  // Demosaics the mosaic. Pixels of rows and columns [kBorder, size - kBorder) are then complete.
  void run();
  // Row y of channel c (0 red, 1 green, 2 blue), `width` floats in [0, 1], complete in the inner part.
  const float* row(int channel, int y) const { return planes_[kRed + channel].data() + size_t(y) * width_; }

  static bool isPlainBayer(const int colours[4]);

 private:
  enum Plane { kMosaic, kDirectionVH, kDirectionPQ, kLowPass, kFirst, kSecond, kRed, kGreen, kBlue, kPlanes };

  float* plane(Plane p) { return planes_[p].data(); }
  const float* plane(Plane p) const { return planes_[p].data(); }

  // The ratio of detail along step `first` to all detail along `first` and `second`, into plane `out`.
  void directions(ptrdiff_t first, ptrdiff_t second, Plane out);
  void lowPass();
  void greenAtRedAndBlue();
  void redAndBlueAtBlueAndRed();
  void redAndBlueAtGreen();
  void channelAtGreen(const float* q, const float* g, float* values) const;

  int colours_[4];
  int width_ = 0, height_ = 0;
  std::vector<float> planes_[kPlanes];
};

}  // namespace rova::codecs::detail
