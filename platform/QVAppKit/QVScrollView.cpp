#include "QVAppKit/QVScrollView.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QScrollBar>

#include "QVAppKit/QVAbstractScroller.h"

QVScrollView::QVScrollView(QAbstractScrollArea* area) : QObject(area), area_(area) {
  area->viewport()->installEventFilter(this);
}

void QVScrollView::setScrollingEnabled(bool enabled) {
  scrollingEnabled_ = enabled;
  if (!area_) return;
  area_->verticalScrollBar()->setEnabled(enabled);
  area_->horizontalScrollBar()->setEnabled(enabled);
}

void QVScrollView::setVerticalScroller(QVAbstractScroller* scroller) {
  if (!area_) return;
  if (!scroller) {
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return;
  }
  area_->setVerticalScrollBar(scroller);
  // Always on: the scroller draws nothing while there is nothing to scroll, and the content's
  // width never changes when scrolling becomes possible.
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroller->setEnabled(scrollingEnabled_);
}

QVAbstractScroller* QVScrollView::verticalScroller() const {
  if (!area_ || area_->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) return nullptr;
  return dynamic_cast<QVAbstractScroller*>(area_->verticalScrollBar());
}

bool QVScrollView::eventFilter(QObject* watched, QEvent* event) {
  if (!scrollingEnabled_ && event->type() == QEvent::Wheel) return true;
  return QObject::eventFilter(watched, event);
}
