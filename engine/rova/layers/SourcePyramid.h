#pragma once
// The decoded pixels of a layer's source at full size and at successive halvings, made on demand
// and kept: renders of previews read a small level instead of the full-size pixels.
#include <memory>
#include <mutex>
#include <vector>

#include "rova/Image.h"
#include "rova/ImageData.h"

namespace rova {

class SourcePyramid {
 public:
  explicit SourcePyramid(ImageDataRGBfPtr base);
  const ImageDataRGBfPtr& base() const { return levels_[0]; }
  // Level k holds the base halved k times (area average); made on first use. Levels stop once a
  // side would fall below 16 pixels: the deepest level is returned for any larger k.
  ImageDataRGBfPtr level(int k) const;
  int maxLevel() const { return maxLevel_; }
  // The base's alpha plane halved alike, level for level (the same sizes as level(k)); nullptr for
  // an opaque source.
  bool hasAlpha() const { return hasAlpha_; }
  ImageDataFPtr alphaLevel(int k) const;

  // The base itself, for a render that makes its result in it, when nobody but this pyramid and
  // `source` (whose pixels it holds) can see it and no halving was made from it: the source gives
  // its pixels up and the pyramid is left empty (later reads find no pixels and fail). nullptr, and
  // nothing changed, otherwise. Opaque pictures only.
  ImageDataRGBfPtr takeBase(ImageSource& source) const;

 private:
  mutable std::mutex mutex_;
  mutable std::vector<ImageDataRGBfPtr> levels_;
  mutable std::vector<ImageDataFPtr> alphaLevels_;
  int maxLevel_ = 0;
  bool hasAlpha_ = false;  // fixed at construction: read without the lock
};

}  // namespace rova
