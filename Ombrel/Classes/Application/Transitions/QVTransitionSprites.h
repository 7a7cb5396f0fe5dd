#pragma once
// The moving pictures of a screen transition. Each animatable view is grabbed once into a sprite in
// its window's overlay canvas; the real view is hidden while its sprite moves and shown again when
// the sprites are cleared. Sprites without a picture are plain rounded rectangles of a colour.
//
// Frames are in the window's bottom-left space. Timed animations are the toolkit's standard
// ease-in-ease-out; frame springs integrate the default frame spring in fixed steps. Both run on
// the animation driver, so tests move them with its manual clock.
//
// Main thread only.
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVOverlayCanvas.h"
#include "QVBase/Geometry.h"

struct QVTransitionSprite {
  QPixmap picture;
  CGRect frame = CGRectZero;
  double opacity = 1;
  QColor backgroundColor;
  double cornerRadius = 0;
  double scale = 1;  // the transform: a scale about the frame's centre
};

class QVTransitionSprites {
 public:
  using SpriteId = QVOverlayCanvas::ItemId;
  using Completion = std::function<void(bool finished)>;

  explicit QVTransitionSprites(QWidget* window);
  ~QVTransitionSprites();

  QWidget* window() const { return window_; }
  // The view's rectangle in the window's bottom-left space.
  CGRect frameInWindow(const QWidget* view) const;
  // A rectangle in the window's bottom-left space, in the view's own bottom-left space.
  CGRect convertFromWindow(CGRect rect, const QWidget* view) const;

  // The view's picture as a sprite at its place, once per view (the same sprite is answered again);
  // the view is hidden until `clear`. 0 for no view.
  SpriteId grab(QWidget* view);
  SpriteId spriteForView(const QWidget* view) const;
  SpriteId add(const QVTransitionSprite& sprite);
  void set(SpriteId id, const QVTransitionSprite& sprite);
  QVTransitionSprite sprite(SpriteId id) const;
  void remove(SpriteId id);
  // The sprite's picture will be drawn as narrow as `width` points: its smaller copies are made now.
  void prepareForWidth(SpriteId id, double width);
  size_t count() const { return sprites_.size(); }

  // From the sprite as it is to `target` over `duration` with the standard ease.
  void animate(SpriteId id, const QVTransitionSprite& target, Completion completion = nullptr,
               double duration = kQVStandardAnimationDuration);
  // The frame springs to `target` with the default frame spring.
  void springFrame(SpriteId id, CGRect target, Completion completion = nullptr);
  size_t runningCount() const { return running_.size(); }
  // Stops every running animation (their completions get false).
  void removeAllAnimations();
  // Removes every sprite and shows the hidden views again.
  void clear();

 private:
  QPointer<QWidget> window_;
  QPointer<QVOverlayCanvas> canvas_;
  std::map<SpriteId, QVTransitionSprite> sprites_;
  std::map<const QWidget*, SpriteId> grabbed_;
  std::vector<QPointer<QWidget>> hidden_;
  std::set<QVAnimationDriver::AnimationId> running_;
};
