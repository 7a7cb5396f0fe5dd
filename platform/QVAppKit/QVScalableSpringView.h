#pragma once
// A tracking view that springs to 0.9 of its size while pressed, follows the pointer in and out of
// its bounds while the button is held (0.9 inside, full size outside), and hands a release inside
// to onClickReleased. The springs run about the centre under unique keys (NSView+SpringAnimation).
//
// Main thread only.
#include <memory>
#include <string>

#include "QVAppKit/QVMouseEventTrackingView.h"
#include "QVAppKit/QVSpringParams.h"

class QVScalableSpringView : public QVMouseEventTrackingView {
 public:
  using QVMouseEventTrackingView::QVMouseEventTrackingView;
  void initialize() override;
  void onViewFrameChanged() override;

  const std::shared_ptr<QVSpringSizeScaleParams>& clickParams() const { return clickParams_; }
  void setClickParams(std::shared_ptr<QVSpringSizeScaleParams> params) { clickParams_ = std::move(params); }
  const std::shared_ptr<QVSpringSizeScaleParams>& originalParams() const { return originalParams_; }
  void setOriginalParams(std::shared_ptr<QVSpringSizeScaleParams> params) { originalParams_ = std::move(params); }
  bool shrunk() const { return shrunk_; }
  void setShrunk(bool shrunk);
  const std::string& clickAnimationKey() const { return clickAnimationKey_; }

  // YES shrinks to the click params' size, NO restores the original size.
  void animateClick(bool shrink);
  void animateClickParams(const std::shared_ptr<QVSpringSizeScaleParams>& params);
  virtual void actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params);
  void cancelClickAnimation();

  // Hooks of subclasses.
  virtual bool shouldAnimateClick() { return true; }
  virtual void onClickReleased() {}

  void mouseDown(const QMouseEvent& event) override;

 private:
  std::shared_ptr<QVSpringSizeScaleParams> clickParams_;
  std::shared_ptr<QVSpringSizeScaleParams> originalParams_;
  bool shrunk_ = false;
  std::string clickAnimationKey_;
};
