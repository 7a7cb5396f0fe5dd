#include "Ombrel/Classes/Application/Transitions/QVMultiAnimationTransitionController.h"

#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVView.h"

#include <QCoreApplication>

namespace {
QWidget* viewForKey(QVExportContainerAnimatable* vc, const char* key) {
  if (!vc) return nullptr;
  const auto views = vc->animatableViews();
  auto it = views.find(key);
  return it == views.end() ? nullptr : it->second;
}
}  // namespace

void QVMultiAnimationTransitionController::actualTransitionToMode(int64_t mode, Completion completion) {
  QVTransitionSprites* s = sprites();
  QVExportContainerAnimatable* gallery = multiVC();
  QVExportContainerAnimatable* open = openVC();
  if (mode != 0 || !s || !gallery || !open) {
    if (completion) completion(true);
    return;
  }
  // The window's top controls go, but their picture fades with the grid (at once they would jump
  // away); it is not the real bar's stand-in, so clearing the sprites does not show the bar again.
  QVTransitionSprite bar;
  if (QVSolvaneWindow* w = window()) {
    if (QWidget* controls = w->titlebarContainer(); controls && controls->isVisible()) {
      bar.picture = controls->grab();
      bar.frame = s->frameInWindow(controls);
    }
    w->setTopConstrolsVisible(false);
  }
  embedView(view(), gallery->containerView());
  // The open screen is laid at its own size, centred, where the window will show it; its picture
  // fades in there at the end.
  QWidget* openView = open->containerView();
  QVView* transitionView = view();
  const CGSize openSize = window() ? window()->windowSizeForMode(0) : CGSizeMake(openView->width(), openView->height());
  const CGRect middle = QVMiddleRect(openSize, CGSizeMake(transitionView->width(), transitionView->height()));
  openView->setParent(transitionView);
  if (auto* basic = dynamic_cast<QVBasicView*>(openView)) {
    basic->setFrame(middle);
    basic->show();
    basic->setNeedsLayout();
    basic->layoutSubtreeIfNeeded();
  } else {
    openView->setGeometry(QVGeometry::qtRectFromRect(middle, transitionView->height()).toRect());
    openView->show();
  }
  openView->lower();
  layOutPendingViews();
  QWidget* spring = viewForKey(open, QVOpenViewControllerSpringViewKey);
  const CGRect springRect = spring ? s->frameInWindow(spring) : s->frameInWindow(openView);
  const QVTransitionSprites::SpriteId openSprite = s->grab(openView);
  {
    QVTransitionSprite hidden = s->sprite(openSprite);
    hidden.opacity = 0;
    s->set(openSprite, hidden);
  }

  QWidget* background = viewForKey(gallery, kQVGalleryViewControllerBackgroundViewKey);
  QVTransitionSprites::SpriteId bgSprite = 0;
  if (background) {
    bgSprite = s->grab(background);
  } else {
    QVTransitionSprite bg;
    bg.frame = s->frameInWindow(view());
    bg.backgroundColor = QVUIStyle::themeBGColor();
    bgSprite = s->add(bg);
  }
  QWidget* collection = viewForKey(gallery, kQVGalleryViewControllerCollectionViewKey);
  if (!collection) collection = gallery->containerView();
  const QVTransitionSprites::SpriteId collectionSprite = s->grab(collection);

  std::weak_ptr<bool> alive = alive_;
  auto isAlive = [alive] {
    auto live = alive.lock();
    return live && *live;
  };
  // 3. The open screen fades in over the panel; then the window takes the open screen's shape.
  storeCompletion(kQVOpenButtonFadeInAnimationKey, [this, isAlive, completion, middle, openSprite](bool) {
    if (!isAlive()) return;
    QVSolvaneWindow* w = window();
    if (!w) {
      if (completion) completion(true);
      return;
    }
    // The window takes the open screen's place on screen, where its picture faded in; the picture
    // stays there, now at the window's own place.
    const CGRect frame = w->frame();
    w->changeSizeMode(0, false, CGPointMake(frame.origin.x + middle.origin.x, frame.origin.y + middle.origin.y));
    QVTransitionSprite open = sprites()->sprite(openSprite);
    open.frame.origin = CGPointMake(open.frame.origin.x - middle.origin.x, open.frame.origin.y - middle.origin.y);
    sprites()->set(openSprite, open);
    // A new shape takes a new backing store and a whole paint: that is this display frame's work,
    // and the real open screen takes the picture's place in the next one.
    endFrame_ = QVAnimationDriver::shared().add([](double) { return false; },
                                                [isAlive, completion](bool finished) {
                                                  if (!finished || !isAlive()) return;
                                                  if (completion) completion(true);
                                                });
  });
  // 2. The background shrinks into the panel.
  storeCompletion(kQVGallerySizeAnimationKey, [this, isAlive, openSprite, bgSprite](bool) {
    if (!isAlive()) return;
    QVTransitionSprite shown = sprites()->sprite(openSprite);
    shown.opacity = 1;
    animateSprite(openSprite, shown, kQVOpenButtonFadeInAnimationKey);
    // The panel lies above the open screen's picture: the two cross-fade.
    QVTransitionSprite panel = sprites()->sprite(bgSprite);
    panel.opacity = 0;
    animateSprite(bgSprite, panel);
  });
  // 1. The grid fades out.
  storeCompletion(kQVCollectionFadeAnimationKey, [this, isAlive, bgSprite, springRect](bool) {
    if (!isAlive()) return;
    QVTransitionSprite panel = sprites()->sprite(bgSprite);
    panel.frame = springRect;
    panel.cornerRadius = 6;
    panel.backgroundColor = QVUIStyle::themeBGColor();
    animateSprite(bgSprite, panel, kQVGallerySizeAnimationKey);
  });
  QVTransitionSprite faded = s->sprite(collectionSprite);
  faded.opacity = 0;
  animateSprite(collectionSprite, faded, kQVCollectionFadeAnimationKey);

  // The rest the gallery shows over its grid (the export button) fades with it: the real gallery
  // stays under the transition, where it would show once the background shrinks.
  for (const auto& [key, part] : gallery->animatableViews()) {
    if (!part || !part->isVisible() || key == kQVGalleryViewControllerBackgroundViewKey ||
        key == kQVGalleryViewControllerCollectionViewKey)
      continue;
    const QVTransitionSprites::SpriteId sprite = s->grab(part);
    QVTransitionSprite gone = s->sprite(sprite);
    gone.opacity = 0;
    animateSprite(sprite, gone);
  }
  // Above everything the gallery showed.
  if (!bar.picture.isNull()) {
    const QVTransitionSprites::SpriteId barSprite = s->add(bar);
    bar.opacity = 0;
    animateSprite(barSprite, bar);
  }
  // Whatever else it draws (the export panel's backdrop) must not show either: the gallery stays in
  // the window, hidden, its parts moving as sprites.
  gallery->containerView()->hide();
}

void QVMultiAnimationTransitionController::actualFinishTransitionWithMode(int64_t mode) {
  QVExportAnimationTransitionController::actualFinishTransitionWithMode(mode);
  if (auto* open = openVC()) {
    for (auto& [key, view] : open->animatableViews())
      if (auto* v = dynamic_cast<QVView*>(view)) v->setAlpha(1);
  }
  view()->setParent(nullptr);
}

void QVMultiAnimationTransitionController::actualCancel(QVExportTransition, Completion completion) {
  // The stored steps go first: stopping their animations would otherwise run the next step.
  clearStoredCompletions();
  if (endFrame_) QVAnimationDriver::shared().cancel(endFrame_);
  QVExportAnimationTransitionController::actualFinishTransitionWithMode(2);
  if (QWidget* openView = openVC() ? openVC()->containerView() : nullptr;
      openView && openView->parentWidget() == view()) {
    openView->hide();
    openView->setParent(nullptr);
  }
  if (auto* gallery = multiVC(); gallery && gallery->containerView()) gallery->containerView()->show();
  if (QVSolvaneWindow* w = window()) w->updateTopControlsVisibility(2);
  if (completion) completion(true);
}
