#pragma once
// A thin scroll bar that draws only its knob: a rounded bar of `knobSlotWidth` in the middle of a
// slot `scrollerWidth` wide plus a margin on both sides, in the knob colour (a little lighter while
// the pointer is over it or it is dragged). No arrows, no track.
//
// Main thread only.
#include <QColor>
#include <QScrollBar>

class QVAbstractScroller : public QScrollBar {
 public:
  // The clear space on each side of the slot.
  static constexpr int kMargin = 3;

  explicit QVAbstractScroller(QWidget* parent = nullptr);

  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  QColor knobColor() const { return knobColor_; }
  void setKnobColor(const QColor& color);
  double scrollerWidth() const { return scrollerWidth_; }
  void setScrollerWidth(double width);
  double knobSlotWidth() const { return knobSlotWidth_; }
  void setKnobSlotWidth(double width);
  // Compatible with overlay scroll bars (asked of the class only, not of subclasses).
  static bool isCompatibleWithOverlayScrollers() { return true; }

  // The knob's rectangle in the widget (Qt space); empty when everything is visible.
  QRectF knobRect() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void updateWidth();

  double cornerRadius_ = 5;
  QColor knobColor_ = QColor(57, 62, 68);
  double scrollerWidth_ = 4;
  double knobSlotWidth_ = 4;
  bool hovered_ = false;
};
