#pragma once
// The scrolling switch and the vertical scroller of a scroll area: with scrolling off the wheel,
// the scroller and the keys that scroll no longer move the content (scrolling from code still
// does). Lives as long as its scroll area (a child of it).
//
// Main thread only.
#include <QObject>
#include <QPointer>

class QAbstractScrollArea;
class QVAbstractScroller;

class QVScrollView : public QObject {
 public:
  explicit QVScrollView(QAbstractScrollArea* area);

  QAbstractScrollArea* scrollArea() const { return area_; }
  bool scrollingEnabled() const { return scrollingEnabled_; }
  void setScrollingEnabled(bool enabled);
  // The scroller becomes the area's vertical scroll bar (owned by the area); none hides it.
  void setVerticalScroller(QVAbstractScroller* scroller);
  QVAbstractScroller* verticalScroller() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QAbstractScrollArea> area_;
  bool scrollingEnabled_ = true;
};
