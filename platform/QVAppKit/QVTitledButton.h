#pragma once
// A button face: an optional icon directly before a title, the title centred in the button. It
// holds a target and an action but does no mouse handling itself (QVSpringButton does).
//
// The action is a block called with the target and the button; the target is held weakly and
// nothing is sent without it.
//
// Main thread only.
#include <QColor>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "QVAppKit/QVFrameChangingView.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"

class QVTitledButton : public QVFrameChangingView {
 public:
  using Action = std::function<void(QObject* target, QVTitledButton* sender)>;

  using QVFrameChangingView::QVFrameChangingView;
  void initialize() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;

  // "SF UI Display Heavy" at 15 points.
  static QFont defaultFont();

  const std::optional<std::string>& title() const { return title_; }
  void setTitle(std::optional<std::string> title);
  const std::string& fontName() const { return fontName_; }
  void setFontName(const std::string& name);
  double fontSize() const { return fontSize_; }
  void setFontSize(double size);
  QColor fontColor() const { return fontColor_; }
  void setFontColor(const QColor& color);
  double kerning() const { return kerning_; }
  void setKerning(double kerning);

  QObject* target() const { return target_; }
  void setTarget(QObject* target) { target_ = target; }
  const Action& action() const { return action_; }
  void setAction(Action action) { action_ = std::move(action); }

  QVLabel* titleLabel();
  QVImageView* iconView();
  QVImageView* icon() { return iconView(); }
  // The icon's size constraints and its minimum distance from the leading edge.
  CGSize iconSize() const { return iconSize_; }
  double leftPin() const { return leftPin_; }
  // Shows the image in the icon view at that size, at least 10 points from the leading edge.
  void setIconImage(NSImageRef image, CGSize size);

  std::string description() const override;

 private:
  void layoutFace();

  std::optional<std::string> title_;
  std::string fontName_;
  double fontSize_ = 0;
  QColor fontColor_;
  double kerning_ = 0;
  QPointer<QObject> target_;
  Action action_;
  QVLabel* titleLabel_ = nullptr;
  QVImageView* iconView_ = nullptr;
  CGSize iconSize_ = CGSizeZero;
  double leftPin_ = 0;
};
