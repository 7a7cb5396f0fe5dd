#pragma once
// Out of the open screen into the single image or the gallery. The window takes the end mode's
// shape at once, keeping its centre for one photo; the open screen's parts, grabbed before, start
// on the old size centred in the new one. For one photo the panel and its blurred photo grow to
// fill the window while the controls fade and the export button moves to the bottom right. For
// several the panel takes the theme colour and up to 16 thumbnail cells spring from the centre to
// the gallery's cells. Then the end screen fades in.
//
// Main thread only.
#include <QImage>
#include <map>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

inline constexpr const char* kQVOpenViewExpandAnimationKey = "kQVOpenViewExpandAnimationKey";

class QVOpenAnimationTransitionController : public QVExportAnimationTransitionController {
 public:
  static constexpr size_t kMaxFlyingCells = 16;
  // Distance of the export button from the right and bottom edges at the end.
  static constexpr double kExportButtonMargin = 11;

  // The flying cells' sprites and the thumbnail each one shows (by path index).
  const std::vector<QVTransitionSprites::SpriteId>& cells() const { return cells_; }
  const std::vector<QImage>& thumbnails() const { return thumbnails_; }
  CGRect initialRect() const { return initialRect_; }
  CGRect newRect() const { return newRect_; }
  // The export button's sprite (0 when the open screen has none).
  QVTransitionSprites::SpriteId exportButtonSprite() const { return exportButton_; }
  // The blurred photo's sprite (0 when the open screen showed none).
  QVTransitionSprites::SpriteId blurredSprite() const { return blurred_.sprite; }

 protected:
  void actualTransitionToMode(int64_t mode, Completion completion) override;

 private:
  struct Part {
    QVTransitionSprites::SpriteId sprite = 0;
    CGRect frame = CGRectZero;  // relative to the transition view's origin
  };
  Part grabPart(const char* key);
  // Whether the view published under the key shows (visible, not faded out).
  static bool showsPicture(const std::map<std::string, QWidget*>& views, const char* key);
  CGSize prepareWindowForMode(int64_t mode);
  void placeParts(CGRect initial);
  void animateOpenView(int64_t mode, Completion completion);
  void createCells(const std::vector<CGRect>& rects, std::function<void()> completion);
  void animateCells(const std::vector<CGRect>& rects, Completion completion);
  void animateEndVC(int64_t mode, Completion completion);

  Part background_, blurred_, controls_, exportPart_;
  QVTransitionSprites::SpriteId exportButton_ = 0;
  CGRect transitionRect_ = CGRectZero;  // the transition view in the window, after the resize
  CGRect initialRect_ = CGRectZero;
  CGRect newRect_ = CGRectZero;
  double popScale_ = 1;
  std::vector<QVTransitionSprites::SpriteId> cells_;
  std::vector<QImage> thumbnails_;
};
