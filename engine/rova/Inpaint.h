#pragma once
// Fills the masked part of a picture from its surroundings (the erase tool's retouching).
#include <atomic>
#include <cstdint>
#include <functional>

#include "rova/ImageData.h"

namespace rova {

enum InpaintStatus : int {
  kInpaintDone = 0,
  kInpaintCancelled = 1,
  kInpaintFailed = 2,
};

// Writes into `destination` (the size of `source`) the source with every pixel where `mask` is
// above zero filled from its surroundings. The mask's soft edge is kept: a pixel half covered ends
// half source, half fill. The fill propagates along the picture's isophotes (Navier-Stokes) for
// every method: the fast-marching alternative strays far outside the surrounding values on float
// planes. `parameter` (0..1) widens the neighbourhood each filled pixel is taken from, from 3 to 11
// pixels. The cancel flag is read between colour planes; progress goes from
// 0 to 1. Sizes that do not match, or an empty mask, give kInpaintFailed and leave the destination
// untouched.
int inpaint_image(const ImageDataRGBf& source, ImageDataRGBf& destination, const ImageDataF& mask, int method,
                  float parameter, const std::atomic<uint8_t>* cancel = nullptr,
                  const std::function<void(float)>& progress = {});

}  // namespace rova
