#pragma once
// The open screen's rounded panel. It rests down (scale 1, no photo) or pops up to `popScale` (1.1)
// about its centre with a spring while a drag hovers or the choose-files panel is open, showing
// the blurred copy of the first photo, which follows the pointer (parallax).
//
// The panel paints its own background (`backgroundView`) and holds the blurred photo
// (`blurredView`, faded in once its image is set) below the title bar and the controls.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/OpenScreen/QVBlurredMovableImageView.h"
#include "QVAppKit/QVRoundedView.h"

class QVOpenSpringView : public QVRoundedView {
 public:
  using QVRoundedView::QVRoundedView;
  void initialize() override;
  void layout() override;

  QVView* backgroundView();
  QVBlurredMovableImageView* blurredView();
  QWidget* titleBarView() const { return titleBarView_; }
  void setTitleBarView(QWidget* view) { titleBarView_ = view; }
  double popScale() const { return popScale_; }
  void setPopScale(double scale) { popScale_ = scale; }
  bool isApplyingBlurredImage() const { return isApplyingBlurredImage_; }
  bool hasWaitingBlurredImageCompletion() const { return static_cast<bool>(blurredImageSetupCompletion_); }

  void popUp();
  void popOut();
  void animatePop(bool up);
  // The scale the panel springs to (1 down, popScale up).
  double targetScale() const { return targetScale_; }
  void setImageURL(const std::optional<std::string>& url, std::function<void(bool finished)> completion);
  // A point in the panel's coordinates.
  void moveContents(CGPoint point);
  // Runs the block once the blurred image being applied is shown, at once when none is; a later
  // block replaces a waiting one.
  void waitForBlurredImageToFinishSetup(std::function<void()> block);
  // Runs the block once the blurred image being applied is shown, at once when none is; unlike a
  // waiting block it is never replaced.
  void alsoWhenBlurredImageIsSetUp(std::function<void()> block);
  void animateBlurredImage(bool show, std::function<void(bool finished)> completion = nullptr);

 protected:
  void drawContent(QPainter& painter) override;

 private:
  QPointer<QVView> backgroundView_;
  QPointer<QVBlurredMovableImageView> blurredView_;
  QPointer<QWidget> titleBarView_;
  double popScale_ = 1.1;
  double targetScale_ = 1;
  bool isApplyingBlurredImage_ = false;
  std::function<void()> blurredImageSetupCompletion_;
  std::vector<std::function<void()>> setupCompletions_;
  void runSetupCompletions();
};
