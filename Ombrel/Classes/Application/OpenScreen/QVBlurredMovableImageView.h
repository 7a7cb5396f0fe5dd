#pragma once
// The blurred, darkened copy of a dragged photo inside the open screen's panel. It is enlarged
// (`imageScale`, 1.5) so that its parallax, a painted transform following the pointer by
// (imageScale - 1) / 1.5 of its distance from the centre, never shows an edge.
//
// Main thread only.
#include <functional>
#include <optional>
#include <string>

#include "QVAppKit/QVImageView.h"

class QVBlurredMovableImageView : public QVImageView {
 public:
  using QVImageView::QVImageView;
  void initialize() override;

  double imageScale() const { return imageScale_; }
  void setImageScale(double scale) { imageScale_ = scale; }
  const std::optional<std::string>& imageURL() const { return imageURL_; }

  // Shows the photo's blurred copy; answers whether an image is being applied (the completion
  // runs once it is shown). The same URL again runs the completion at once; a file that is not
  // a readable image clears the view, answers false and never runs the completion.
  bool setImageURL(const std::optional<std::string>& url, std::function<void()> completion);
  // The parallax for a point in the view's coordinates.
  void moveContents(CGPoint point);
  // The translation the parallax gives a point (before the enlargement).
  CGPoint parallaxOffsetForPoint(CGPoint point) const;
  void updateContents(const NSImageRef& image);

 private:
  double imageScale_ = 1.5;
  std::optional<std::string> imageURL_;
  uint64_t request_ = 0;
};
