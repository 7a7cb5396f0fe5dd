#pragma once
// The split line's look and its drawing: a vertical strip of `lineWidth` centred in the bounds it
// is drawn into, filled with the border colour and, inset horizontally by the border width, with
// the line colour. The compare view draws it where the line stands (no widget of its own moves
// while the line is dragged).
#include <QColor>
#include <QPainter>
#include <optional>

#include "QVBase/Geometry.h"

class QVSSplitLineView {
 public:
  double lineWidth() const { return lineWidth_; }
  void setLineWidth(double width) { lineWidth_ = width; }
  std::optional<QColor> lineColor() const { return lineColor_; }
  void setLineColor(std::optional<QColor> color) { lineColor_ = std::move(color); }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width) { borderWidth_ = width; }
  std::optional<QColor> borderColor() const { return borderColor_; }
  void setBorderColor(std::optional<QColor> color) { borderColor_ = std::move(color); }

  // The strip inside bounds (any space): centred, floor((width - lineWidth) / 2) in, lineWidth wide;
  // the whole bounds while lineWidth is 0.
  CGRect stripRect(CGRect bounds) const;
  // Draws into a Qt rectangle (top-left space; the strip's x does not depend on the flip).
  void draw(QPainter& painter, const QRectF& bounds) const;

 private:
  double lineWidth_ = 4;
  std::optional<QColor> lineColor_;
  double borderWidth_ = 1;
  std::optional<QColor> borderColor_;
};
