#pragma once
// A horizontal slider: a bar drawn from three-part artwork (the back bar and, up to the knob, the
// fill bar), a knob drawn from artwork in a tint colour, and a text label at each end.
//
//   [TITLE]  ( ====fill====O------back------ )  [RIGHT TITLE]
//
// Configure it (range, default, artwork, labels), then call `load()`. While the user presses and
// drags the knob (or presses anywhere on the bar, which jumps the knob there first) the value
// follows the pointer; with live updating on, the change block is told every new value while the
// knob moves, and the end block once when the button is released. Setting the value from code
// tells nobody.
//
// In a right-to-left layout the bar is mirrored: the minimum at the right end, the fill from there.
//
// Everything is painted by the view itself from pictures made once per size and device pixel
// ratio, so a drag repaints a few blits. Geometry is in the view's bottom-left space.
//
// Main thread only.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <functional>
#include <optional>
#include <string>

#include "QVAppKit/QVView.h"

class QVSliderView : public QVView {
 public:
  using ValueBlock = std::function<void(double value)>;
  using EndBlock = std::function<void()>;

  using QVView::QVView;
  void initialize() override;
  void layout() override;

  // ---- Range and value ----
  double minimumValue() const { return minimum_; }
  void setMinimumValue(double value);
  double maximumValue() const { return maximum_; }
  void setMaximumValue(double value);
  double defaultValue() const { return default_; }
  void setDefaultValue(double value) { default_ = value; }
  double value() const { return value_; }
  // Clamped to the range; tells no block.
  void setValue(double value);
  // Applies the configuration: the value starts at the default, pictures are made again.
  void load();

  // ---- Blocks ----
  void setSliderDidChangeValueBlock(ValueBlock block) { didChange_ = std::move(block); }
  void setSliderDidEndChangingValueBlock(EndBlock block) { didEnd_ = std::move(block); }
  bool isLiveValueUpdatingEnabled() const { return live_; }
  // Off: the change block is told the final value once, at the release, before the end block.
  void setIsLiveValueUpdatingEnabled(bool enabled) { live_ = enabled; }

  // ---- Look ----
  // Knob positions snapped to half device pixels when on (crisper at rest), whole fractions off.
  void setApplyHalfPixelRoundingOnDraw(bool apply) { halfPixelRounding_ = apply; }
  // Whether a press on an end label moves the value to that end (off: labels take no clicks).
  bool textLabelsMouseEventsEnabled() const { return labelsTakeClicks_; }
  void setTextLabelsMouseEventsEnabled(bool enabled) { labelsTakeClicks_ = enabled; }
  // On: the bar spans the whole width and the labels sit above its ends; off: the labels sit
  // beside the bar.
  void setUseFullWidth(bool use);
  // The knob's artwork name and the colour it is drawn in (none: as drawn).
  void setKnobImage(const std::string& name, std::optional<QColor> tint = std::nullopt);
  const std::string& knobImageName() const { return knobName_; }
  void setBarBackThreePartImageName(const std::string& name);
  void setBarFillValueThreePartImageName(const std::string& name);
  // Sizes in points: the knob's side and the bar's height (defaults 20 and 6).
  void setKnobSize(double size);
  void setBarHeight(double height);

  // ---- Labels ----
  const std::string& titleString() const { return title_; }
  void setTitleString(const std::string& text);
  const std::string& rightTitleString() const { return rightTitle_; }
  void setRightTitleString(const std::string& text);
  void setTitleFont(const QFont& font);
  void setValueFont(const QFont& font);
  void setTitleTextColor(const QColor& color);
  void setValueTextColor(const QColor& color);
  // Moves both labels up (positive) from the bar's centre line.
  void setLabelsOffsetY(double offset);
  // Places the labels and the bar again after their texts or fonts changed.
  void updateLabelsLayout();
  // The height of the area the bar and labels are centred in (the view's height when 0).
  double innerHeight() const { return innerHeight_; }
  void setInnerHeight(double height);

  // ---- Geometry (view's bottom-left space), for tests and hosts ----
  CGRect barRect() const { return bar_; }
  CGRect knobRect() const;
  CGRect titleRect() const { return titleRect_; }
  CGRect rightTitleRect() const { return rightTitleRect_; }
  // The value the knob takes for a pointer at x (the pointer holds the knob's centre).
  double valueForLocation(double x) const;
  // The knob centre's x for a value.
  double locationForValue(double value) const;
  bool isTracking() const { return tracking_; }

 protected:
  void drawContent(QPainter& painter) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void moveTo(double value, bool tell);
  void invalidatePictures();
  // The rectangle (Qt space) the knob and the fill end cover at a value, for partial repaints.
  QRect dirtyRectForValue(double value) const;

  double minimum_ = 0, maximum_ = 1, default_ = 0, value_ = 0;
  ValueBlock didChange_;
  EndBlock didEnd_;
  bool live_ = true;
  bool halfPixelRounding_ = false;
  bool labelsTakeClicks_ = false;
  bool fullWidth_ = false;
  std::string knobName_ = "slider_knob";
  std::optional<QColor> knobTint_;
  std::string backName_ = "bg_bar", fillName_ = "fill_bar";
  double knobSize_ = 20, barHeight_ = 6;
  std::string title_, rightTitle_;
  QFont titleFont_, valueFont_;
  QColor titleColor_ = Qt::black, valueColor_ = Qt::black;
  double labelsOffsetY_ = 0;
  double innerHeight_ = 0;

  CGRect bar_ = CGRectZero, titleRect_ = CGRectZero, rightTitleRect_ = CGRectZero;
  bool tracking_ = false;
  double grabOffset_ = 0;
  // Pictures made once per size and ratio.
  QPixmap back_, fill_, knob_;
  double picturesRatio_ = 0;
  QSize picturesFor_;
};
