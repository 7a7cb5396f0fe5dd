#pragma once
// The before/after surface: the source fitted to the view; over it, on the compare side of the
// split (right of the compare edge, left of it in a right-to-left layout), an optional backdrop
// (the lens-corrected source) and the result at the compare alpha; then the split line and the
// "BEFORE"/"AFTER" labels centred on it, with their shadows.
//
// One widget paints it all from display-sized pictures made once per size and device pixel
// ratio; moving the line repaints only the strips between the old and the new places of the line,
// the compare edge and the labels, so a drag over a large photo costs a few narrow blits a frame.
// Positions are x in the view's space (points from its left edge).
//
// Main thread only.
#include <QFont>
#include <QPixmap>
#include <string>

#include "Ombrel/Classes/Application/Common/QVSSplitLineView.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/ImageIO/NSImage.h"

struct QVSCompareLabel {
  std::string title;
  QFont font;
  double spacing = 0;
  QColor titleColor = Qt::white;
  QColor bgColor = Qt::black;
};

class QVSCompareView : public QVView {
 public:
  static constexpr double kLabelsTopMargin = 24;
  static constexpr double kLabelHeight = 28;
  static constexpr double kLabelPadding = 13;

  using QVView::QVView;
  void initialize() override;
  void layout() override;

  NSImageRef mainImage() const { return main_.image; }
  void setMainImage(NSImageRef image);
  NSImageRef compareImage() const { return compare_.image; }
  void setCompareImage(NSImageRef image);
  NSImageRef compareBackdropImage() const { return backdrop_.image; }
  void setCompareBackdropImage(NSImageRef image);
  double compareAlpha() const { return compareAlpha_; }
  void setCompareAlpha(double alpha);

  QVSSplitLineView& splitLine() { return line_; }
  // The labels' distance from the top (more where a title bar lies over the picture).
  double labelsTopMargin() const { return labelsTopMargin_; }
  void setLabelsTopMargin(double margin);
  void setLabels(QVSCompareLabel before, QVSCompareLabel after);
  void setShadowsEnabled(bool enabled);
  void setRightToLeft(bool rightToLeft);
  bool rightToLeft() const { return rightToLeft_; }

  // The split: where the line's centre, the compare side's edge and the labels' centre stand.
  void setSplit(double lineCentre, double compareEdge, double labelsCentre);
  double lineCentre() const { return lineCentre_; }
  double compareEdge() const { return compareEdge_; }
  double labelsCentre() const { return labelsCentre_; }
  // Line and labels shown (the curtain is enabled).
  bool curtainVisible() const { return curtainVisible_; }
  void setCurtainVisible(bool visible);

  // Where the source lies (aspect fit), the labels' rectangle and the line's strip, bottom-left space.
  CGRect imageRect() const;
  CGRect labelsRect() const;
  CGRect lineRect() const;
  // How often a display-sized picture was made (each is made once per size).
  int pictureBuilds() const { return pictureBuilds_; }

 protected:
  void drawContent(QPainter& painter) override;

 private:
  struct Picture {
    NSImageRef image;
    QPixmap pixmap;
    QSize builtFor;
  };
  void setPictureImage(Picture& picture, NSImageRef image);
  const QPixmap& pictureFor(Picture& picture, const CGRect& rect, double dpr);
  CGRect imageRectFor(const NSImageRef& image) const;
  CGSize labelSize(const QVSCompareLabel& label) const;
  // The dirty strip of a moved x with a margin, full height, in Qt space.
  QRect spanRect(double from, double to, double margin) const;
  void buildLabelsPicture(double dpr);
  void buildLineShadow(double dpr);

  Picture main_, compare_, backdrop_;
  double compareAlpha_ = 1;
  QVSSplitLineView line_;
  double labelsTopMargin_ = kLabelsTopMargin;
  QVSCompareLabel before_, after_;
  bool shadows_ = true;
  bool rightToLeft_ = false;
  bool curtainVisible_ = true;
  double lineCentre_ = 0, compareEdge_ = 0, labelsCentre_ = 0;
  int pictureBuilds_ = 0;
  // The labels with their shadow, and the line's shadow profile (stretched to the height).
  QPixmap labelsPicture_;
  QPointF labelsPictureOrigin_;  // where the labels' rectangle starts inside the picture (points)
  QPixmap lineShadow_;
  double builtRatio_ = 0;
};
