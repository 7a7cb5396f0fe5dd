#pragma once
// A control that sits as a small button and, when clicked, springs open into a larger panel and
// springs shut again. Subclasses give the size of each state (contentSizeForState), fill the
// content view and act on the hooks around each transition.
//
// The menu grows from and shrinks towards its lower trailing corner: anchor (1, 0) in a
// left-to-right layout, (0, 0) in a right-to-left one (the application's layout direction).
// "QVSpringViewWillChangeState" is posted on the default notification centre, with the menu as
// object, when a transition starts.
//
// Main thread only.
#include <functional>
#include <memory>

#include "QVAppKit/QVScalableSpringView.h"

class QVSpringMenu;

// All optional.
class QVSpringMenuDelegate {
 public:
  virtual ~QVSpringMenuDelegate() = default;
  virtual std::optional<bool> springMenuShouldStartAnimation(QVSpringMenu*) { return std::nullopt; }
  virtual void springMenuWillBeginAnimating(QVSpringMenu*) {}
  virtual void springMenuDidFinishAnimating(QVSpringMenu*) {}
  virtual void springMenuDidAnimateToFrame(QVSpringMenu*, CGRect) {}
};

inline constexpr const char* kQVSpringViewWillChangeStateNotification = "QVSpringViewWillChangeState";

class QVSpringMenu : public QVScalableSpringView {
 public:
  using QVScalableSpringView::QVScalableSpringView;
  void initialize() override;
  void addSubviews() override;

  bool expanded() const { return expanded_; }
  bool animating() const { return animating_; }
  const std::shared_ptr<QVSpringSizeParams>& springParams() const { return springParams_; }
  // Made on first use: clear, clipping its children.
  QVView* contentView();
  QVSpringMenuDelegate* delegate() const { return delegate_; }
  void setDelegate(QVSpringMenuDelegate* delegate) { delegate_ = delegate; }
  // (1, 0) left to right, (0, 0) right to left.
  static CGPoint menuAnchor();

  // Expands a collapsed menu or collapses an expanded one; the completion gets the new state.
  void switchExpanded(std::function<void(bool expanded)> completion = nullptr);
  bool shouldStartAnimation();
  virtual CGSize contentSizeForState(bool expanded) { return CGSizeZero; }
  CGSize intrinsicContentSize() { return contentSizeForState(expanded_); }

  // Hooks; subclasses that override the two "will begin" hooks call the base first.
  virtual void onWillBeginExpanding();
  virtual void onWillBeginCollapsing();
  virtual void onDidFinishExpanding() {}
  virtual void onDidFinishCollapsing() {}
  virtual void onDidAnimateToFrame(CGRect bounds);

  bool shouldAnimateClick() override { return shouldStartAnimation(); }
  void onClickReleased() override { switchExpanded(); }
  void actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params) override;

 protected:
  void frameDidChange(bool sizeChanged) override;

 private:
  bool expanded_ = false;
  bool animating_ = false;
  std::shared_ptr<QVSpringSizeParams> springParams_;
  QVView* contentView_ = nullptr;
  QVSpringMenuDelegate* delegate_ = nullptr;
};
