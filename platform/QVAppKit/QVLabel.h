#pragma once
// A non-editable label: one line of text, centred vertically (shifted a tenth of the font size
// down), aligned left, right or centre, sized by its own intrinsic content size. The text frame is
// kept like a text layer's (`textFrame`, in the label's bottom-left space) and drawn there,
// truncated in the middle when it does not fit.
#include <QColor>
#include <QFont>
#include <optional>
#include <string>

#include "QVAppKit/QVRoundedView.h"

// System text alignment.
enum QVTextAlignment : uint64_t { QVTextAlignmentLeft = 0, QVTextAlignmentRight = 1, QVTextAlignmentCenter = 2 };

class QVLabel : public QVRoundedView {
 public:
  using QVRoundedView::QVRoundedView;
  void initialize() override;
  void layout() override;

  const std::optional<std::string>& title() const { return title_; }
  void setTitle(std::optional<std::string> title);
  void setTitle(const char* title) { setTitle(title ? std::optional<std::string>(title) : std::nullopt); }
  uint64_t alignment() const { return alignment_; }
  void setAlignment(uint64_t alignment);
  const std::string& fontName() const { return fontName_; }
  void setFontName(const std::string& name);
  double fontSize() const { return fontSize_; }
  void setFontSize(double size);
  // The font of `fontName` at `fontSize`.
  QFont font() const;
  void setFont(const QFont& font);
  // Letter spacing in points: applied when drawing and measuring.
  double spacing() const { return spacing_; }
  void setSpacing(double spacing);
  QColor titleColor() const { return titleColor_; }
  void setTitleColor(const QColor& color);
  bool implicitAnimationsEnabled() const { return implicitAnimationsEnabled_; }
  void setImplicitAnimationsEnabled(bool enabled) { implicitAnimationsEnabled_ = enabled; }
  CGPoint sizeOffset() const { return sizeOffset_; }
  void setSizeOffset(CGPoint offset) { sizeOffset_ = offset; }

  // The text's size: the font's height (rounded up) and the text's width plus both components of
  // the size offset (rounded up).
  CGSize sizeForCurrentString() const;
  CGSize intrinsicContentSize() const { return sizeForCurrentString(); }
  QSize sizeHint() const override;
  // Where the text is drawn, in the label's bottom-left space.
  CGRect textFrame() const { return textFrame_; }
  // The alignment of the text inside its frame; nullopt for values outside 0..2.
  static std::optional<Qt::Alignment> alignmentFromAlignment(uint64_t alignment);
  // How often the text was set up again (for tests of unchanged setters).
  int updateCount() const { return updates_; }

 protected:
  void drawContent(QPainter& painter) override;

 private:
  void updateAttributedString();
  QFont measuringFont() const;

  std::optional<std::string> title_;
  uint64_t alignment_ = QVTextAlignmentCenter;
  std::string fontName_;
  double fontSize_ = 0;
  double spacing_ = 0;
  QColor titleColor_;
  bool implicitAnimationsEnabled_ = true;
  CGPoint sizeOffset_ = CGPointMake(10, 10);
  CGRect textFrame_ = CGRectZero;
  bool hasFont_ = false;
  int updates_ = 0;
};
