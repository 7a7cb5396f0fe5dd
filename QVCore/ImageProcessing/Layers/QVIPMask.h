#pragma once
// A plain float mask: a buffer of width x height values (0..1, rows from the top) and its size,
// with the three operations built on it. A mask may have no buffer (a layer that says it has a
// mask while the engine holds none).
//
// Buffers handed in are not trusted to match the size: values a buffer lacks count as 0, and masks
// of different sizes are combined pixel by pixel at the same (x, y), outside the other mask
// counting as 0.
#include <memory>
#include <vector>

#include "QVBase/Geometry.h"

class QVIPMask {
 public:
  using Ptr = std::shared_ptr<QVIPMask>;
  using Buffer = std::shared_ptr<const std::vector<float>>;

  static Ptr make(Buffer buffer = nullptr, CGSize size = CGSizeZero);

  const Buffer& buffer() const { return buffer_; }
  void setBuffer(Buffer buffer) { buffer_ = std::move(buffer); }
  CGSize size() const { return size_; }
  void setSize(CGSize size) { size_ = size; }
  bool hasBuffer() const { return buffer_ != nullptr; }
  // The value at column x, row y (from the top); 0 outside the size or past the buffer's end.
  float valueAt(int64_t x, int64_t y) const;

  // A zero-filled mask of this size.
  Ptr createEmptyMask() const;
  // This plus the other, limited to 0..1; this mask's size.
  Ptr unionMask(const QVIPMask& other) const;
  // This minus the other, limited to 0..1 (0 where this mask has no buffer); the other's size.
  Ptr intersectMask(const QVIPMask& other) const;

 private:
  Buffer buffer_;
  CGSize size_{};
};
