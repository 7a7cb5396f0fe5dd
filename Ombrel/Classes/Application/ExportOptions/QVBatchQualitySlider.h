#pragma once
// The small titled slider of the export settings: a title at the left, a thin bar with a round
// knob, and the value (a whole number) at the right. Artwork: "slider_knob_small" for the knob,
// "bg_bar_grey_small" behind and "fill_bar_orange_small" up to the knob (SVG in
// Resources/Controls, drawn with their round ends kept at any length).
//
// Only the user's presses and drags report (`changeBlock`, once per whole-number step while
// dragging); `setValue` from code is silent.
//
// Main thread only.
#include <QColor>
#include <QWidget>
#include <functional>
#include <string>

#include "QVAppKit/QVWindowButton.h"

class QVBatchQualitySlider : public QWidget {
 public:
  using ChangeBlock = std::function<void(double value)>;

  explicit QVBatchQualitySlider(QWidget* parent = nullptr);

  void setChangeBlock(ChangeBlock block) { changeBlock_ = std::move(block); }
  void setTitle(const std::string& title);
  const std::string& title() const { return title_; }
  void setMinValue(double value);
  void setMaxValue(double value);
  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  // Rounded to a whole number and held within the range; silent.
  void setValue(double value);
  double value() const { return value_; }
  void setTextColor(const QColor& color);
  void setValueLabelWidth(double width);
  void setImages(const std::string& knob, const std::string& back, const std::string& fill);
  // Where the bar runs, in the widget's space (between the title and the value).
  QRectF barRect() const;
  // The value the user asks for at an x of the widget (rounded, held in range).
  double valueAtX(double x) const;
  // A press or drag as the user makes it, at an x of the widget.
  void dragToX(double x);

  QSize sizeHint() const override { return QSize(230, 28); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  double titleWidth() const;

  ChangeBlock changeBlock_;
  std::string title_;
  double min_ = 0, max_ = 100, value_ = 0;
  QColor textColor_ = Qt::white;
  double valueLabelWidth_ = 35;
  bool dragging_ = false;
  QVChromeImage knob_, back_, fill_;
};

// Draws a horizontal bar picture into a rectangle keeping its round ends (the ends are as wide
// as the bar is high; the middle stretches).
void QVDrawStretchedBar(QPainter& painter, const QVChromeImage& image, const QRectF& rect);
