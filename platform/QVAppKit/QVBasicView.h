#pragma once
// The base of every view of the toolkit: a Qt widget that speaks the screens' geometry (frames in
// the superview's space, origin bottom left, y up; see QVGeometry.h) and has one life cycle:
//
//   QVMake<T>(args...)  →  constructor  →  initialize()  (subclasses call the base first; the base
//                                                         runs addSubviews() at the bottom of the chain)
//   first attachment to a superview      →  setupLayoutConstraints(), once per attachment
//   removeFromSuperview()                →  the flag is cleared; the next attachment sets up again
//   moving to no superview               →  the view's constraints are removed
//
// Views are made through QVMake because a C++ constructor cannot call the subclass's overrides.
// They are owned the Qt way, by their superview (or by whoever holds a view without one).
//
// Constraints are layout rules: functions run at each layout of the view, in the order added.
// Layout runs when the size changes, when asked with layoutSubtreeIfNeeded(), and before painting
// after setNeedsLayout().
//
// Main thread only.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "QVBase/Geometry.h"

class QVBasicView : public QWidget {
 public:
  explicit QVBasicView(CGRect frame = CGRectZero);
  ~QVBasicView() override;

  // Second phase of construction (called by QVMake). Overrides call the base first.
  virtual void initialize();
  // Hooks: build subviews once; build constraints once per attachment to a superview.
  virtual void addSubviews() {}
  virtual void setupLayoutConstraints() {}

  bool wereConstraintsSetUp() const { return wereConstraintsSetUp_; }
  void setWereConstraintsSetUp(bool v) { wereConstraintsSetUp_ = v; }
  int64_t tag() const { return tag_; }
  void setTag(int64_t tag) { tag_ = tag; }

  // ---- Geometry in the screens' coordinates ----
  // The frame in the superview's space (bottom-left origin). Without a superview, the frame the
  // view was last given.
  CGRect frame() const;
  virtual void setFrame(CGRect frame);
  void setFrameSize(CGSize size);
  void setFrameOrigin(CGPoint origin);
  // (0, 0, width, height).
  CGRect bounds() const;
  // A point of this view's space in Qt's widget space, and back.
  QPointF qtPointFromPoint(CGPoint point) const;
  CGPoint pointFromQtPoint(QPointF point) const;
  QRectF qtRectFromRect(CGRect rect) const;
  CGRect rectFromQtRect(QRectF rect) const;

  // ---- Hierarchy ----
  QWidget* superview() const { return parentWidget(); }
  // Child widgets, back to front.
  std::vector<QWidget*> subviews() const;
  void addSubview(QWidget* view);
  virtual void removeFromSuperview();
  virtual void viewDidMoveToSuperview();

  // ---- Layout ----
  void addConstraint(std::function<void()> rule);
  void removeAllConstraints();
  size_t constraintCount() const { return constraints_.size(); }
  // A rule that places one subview (filling, pinning): it belongs to the container, not to the
  // container's own place, so it survives the container moving to another superview. One rule per
  // subview (a new one replaces the old); it is dropped once the subview has left.
  void setSubviewConstraint(QWidget* subview, std::function<void()> rule);
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out this view when asked to and then its subviews, at once.
  void layoutSubtreeIfNeeded();
  // Runs the constraints. Overrides call the base first.
  virtual void layout();

  // Asks for the view to be drawn again because its content changed (not only its presentation):
  // pictures of it that ancestors keep for their combined effects are dropped.
  void setNeedsDisplay();
  // Told when this view or a view inside it asked to be drawn again.
  virtual void subtreeContentChanged() {}

  // The deepest view at a point of the superview's space, or nullptr outside the frame.
  virtual QWidget* hitTest(CGPoint pointInSuperview);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  // The frame changed (size or place), told at once even while the view is not shown (Qt holds
  // back resize and move events of hidden widgets until they are shown).
  virtual void frameDidChange(bool sizeChanged) {}

 private:
  void applyFrame();
  void watchSuperview(QWidget* superview);

  CGRect frame_;
  int64_t tag_ = 0;
  bool wereConstraintsSetUp_ = false;
  bool needsLayout_ = false;
  bool layoutQueued_ = false;
  bool applyingFrame_ = false;
  QWidget* watched_ = nullptr;
  std::vector<std::function<void()>> constraints_;
  std::vector<std::pair<QPointer<QWidget>, std::function<void()>>> subviewConstraints_;
};

// setNeedsDisplay for any widget: a plain Qt widget inside a toolkit view that changes from code
// (not through an event) calls this so ancestors drop the pictures they keep of it.
void QVSetNeedsDisplay(QWidget* widget);
void QVSetNeedsDisplayInRect(QWidget* widget, const QRect& rect);

// Makes a view and runs its second phase of construction.
template <class T, class... Args>
T* QVMake(Args&&... args) {
  T* view = new T(std::forward<Args>(args)...);
  view->initialize();
  return view;
}
