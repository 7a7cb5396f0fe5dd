#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"

#include <QCoreApplication>
#include <QPainter>

#include "Ombrel/Classes/Application/Gallery/QVPreviewCollectionViewCell.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenSpringView.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/MainExecutor.h"

namespace {
CGRect offset(CGRect r, CGPoint by) {
  return CGRectMake(r.origin.x + by.x, r.origin.y + by.y, r.size.width, r.size.height);
}

// A cell as the gallery draws it, by the gallery's own cell painter: the thumbnail fitted inside
// the inset (a dashed outline while it has none).
QPixmap cellPicture(CGSize size, double inset, const QImage& image, double dpr) {
  QPixmap picture(QSize(int(std::ceil(size.width * dpr)), int(std::ceil(size.height * dpr))));
  picture.setDevicePixelRatio(dpr);
  picture.fill(Qt::transparent);
  QVPreviewCollectionViewCell::Drawing drawing;
  drawing.boundsSize = size;
  drawing.previewSize = CGSizeMake(std::max(0.0, size.width - 2 * inset), std::max(0.0, size.height - 2 * inset));
  drawing.hasImage = !image.isNull();
  if (drawing.hasImage) {
    drawing.imageSize = CGSizeMake(image.width(), image.height());
    const CGSize fit = QVPreviewCollectionViewCell::fitImageSize(drawing.imageSize, drawing.previewSize);
    drawing.picture =
        QPixmap::fromImage(image.scaled(QSize(int(std::lround(fit.width * dpr)), int(std::lround(fit.height * dpr))),
                                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    drawing.picture.setDevicePixelRatio(dpr);
  }
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QVPreviewCollectionViewCell::draw(painter, QRectF(0, 0, size.width, size.height), drawing);
  return picture;
}
}  // namespace

bool QVOpenAnimationTransitionController::showsPicture(const std::map<std::string, QWidget*>& views, const char* key) {
  const auto it = views.find(key);
  const auto* view = it == views.end() ? nullptr : dynamic_cast<const QVView*>(it->second);
  return view && view->isVisible() && view->alpha() > 0;
}

QVOpenAnimationTransitionController::Part QVOpenAnimationTransitionController::grabPart(const char* key) {
  Part part;
  QVExportContainerAnimatable* open = openVC();
  QVTransitionSprites* s = sprites();
  if (!open || !s) return part;
  const auto views = open->animatableViews();
  auto it = views.find(key);
  if (it == views.end() || !it->second) return part;
  const CGRect origin = s->frameInWindow(view());
  part.frame = offset(s->frameInWindow(it->second), CGPointMake(-origin.origin.x, -origin.origin.y));
  part.sprite = s->grab(it->second);
  return part;
}

CGSize QVOpenAnimationTransitionController::prepareWindowForMode(int64_t mode) {
  const CGSize old = sprites()->frameInWindow(view()).size;
  QVSolvaneWindow* w = window();
  if (!w) return old;
  const CGRect f0 = w->frame();
  w->setSizeMode(mode);
  std::optional<CGSize> imageSize = delegate() ? delegate()->exportAnimationTransitionImageSize(this) : std::nullopt;
  if (mode == 1 && imageSize) {
    w->updateWindowShapeWithCurrentModeAndPreferredSize(*imageSize, false);
    const CGRect f1 = w->frame();
    // The window grows about its former centre.
    w->setPosition(CGPointMake(f0.origin.x - (f1.size.width - f0.size.width) * 0.5,
                               f0.origin.y - (f1.size.height - f0.size.height) * 0.5));
    w->setTopConstrolsVisible(false);
  } else {
    w->updateWindowShapeWithCurrentModeAndAnimated(false);
  }
  layOutPendingViews();
  if (view()->parentWidget()) embedView(view()->parentWidget(), view());
  return old;
}

void QVOpenAnimationTransitionController::placeParts(CGRect initial) {
  QVTransitionSprites* s = sprites();
  for (Part* part : {&background_, &blurred_, &controls_, &exportPart_}) {
    if (!part->sprite) continue;
    QVTransitionSprite sprite = s->sprite(part->sprite);
    sprite.frame = offset(part->frame, initial.origin);
    s->set(part->sprite, sprite);
  }
  for (Part* part : {&background_, &blurred_}) {
    if (!part->sprite) continue;
    QVTransitionSprite sprite = s->sprite(part->sprite);
    sprite.frame = initial;
    sprite.cornerRadius = 6;
    if (part == &blurred_) sprite.scale = popScale_;
    s->set(part->sprite, sprite);
  }
}

void QVOpenAnimationTransitionController::actualTransitionToMode(int64_t mode, Completion completion) {
  QVTransitionSprites* s = sprites();
  QVExportContainerAnimatable* open = openVC();
  if (!s || !open || !open->containerView() || mode == 0) {
    if (completion) completion(true);
    return;
  }
  // The open screen's parts are grabbed where they stand, before the window changes its shape.
  QWidget* openView = open->containerView();
  embedView(view(), openView);
  layOutPendingViews();
  const auto views = open->animatableViews();
  if (auto it = views.find(QVOpenViewControllerSpringViewKey); it != views.end())
    if (auto* spring = dynamic_cast<QVOpenSpringView*>(it->second)) popScale_ = spring->scale().width;
  background_ = grabPart(QVOpenViewControllerBackgroundViewKey);
  if (background_.sprite) {
    // The panel is a plain rounded rectangle: its colour can change as it grows.
    QVTransitionSprite panel = s->sprite(background_.sprite);
    const auto it = views.find(QVOpenViewControllerBackgroundViewKey);
    auto* bgView = dynamic_cast<QVView*>(it->second);
    if (bgView && bgView->backgroundColor().isValid()) {
      panel.picture = QPixmap();
      panel.backgroundColor = bgView->backgroundColor();
    }
    s->set(background_.sprite, panel);
  }
  // The blurred photo grows with the panel whenever it shows: photos chosen in the panel ask for it,
  // a drop or a hand-over has faded it in already (left out, the panel went black under nothing).
  // Without a photo shown the blurred view is an empty picture: not worth scaling every frame.
  if (open->blurIsShown() || showsPicture(views, QVOpenViewControllerBlurredBackgroundViewKey))
    blurred_ = grabPart(QVOpenViewControllerBlurredBackgroundViewKey);
  // The button first, so that the controls' picture does not hold a second copy of it.
  exportPart_ = grabPart(QVOpenViewControllerExportButtonKey);
  controls_ = grabPart(QVOpenViewControllerControlsViewKey);
  exportButton_ = exportPart_.sprite;
  openView->hide();

  const CGSize old = prepareWindowForMode(mode);
  transitionRect_ = s->frameInWindow(view());
  newRect_ = transitionRect_;
  const CGRect middle = QVMiddleRect(old, newRect_.size);
  initialRect_ = offset(middle, transitionRect_.origin);
  placeParts(initialRect_);
  // The window's first paint in its new shape (a new backing store) is part of the start, not of
  // the motion's first frame; it also leaves the grown window empty for no displayed frame.
  if (QVSolvaneWindow* w = window(); w && w->isVisible()) w->repaint();

  std::weak_ptr<bool> alive = alive_;
  auto endBlock = [this, alive, mode, completion](bool) {
    if (auto live = alive.lock(); live && *live) animateEndVC(mode, completion);
  };
  if (mode == 1) {
    animateOpenView(mode, endBlock);
    return;
  }
  std::vector<CGRect> rects =
      delegate() ? delegate()->exportAnimationTransitionCalculateGalleryCellRects(this) : std::vector<CGRect>{};
  for (CGRect& r : rects) r = offset(r, transitionRect_.origin);
  animateOpenView(mode, nullptr);
  if (rects.empty()) {
    // Nothing to fly to: the gallery comes in and the caller still hears the end.
    endBlock(true);
    return;
  }
  createCells(rects, [this, alive, rects, endBlock] {
    if (auto live = alive.lock(); live && *live) animateCells(rects, endBlock);
  });
}

void QVOpenAnimationTransitionController::animateOpenView(int64_t mode, Completion completion) {
  QVTransitionSprites* s = sprites();
  if (background_.sprite) {
    QVTransitionSprite panel = s->sprite(background_.sprite);
    panel.frame = newRect_;
    panel.backgroundColor = mode == 1 ? QColor(Qt::black) : QVUIStyle::themeBGColor();
    animateSprite(background_.sprite, panel);
  }
  if (blurred_.sprite) {
    QVTransitionSprite photo = s->sprite(blurred_.sprite);
    photo.frame = newRect_;
    photo.scale = 1;
    if (mode == 2) {
      photo.opacity = 0;
    } else if (openVC()->blurIsShown()) {
      photo.opacity = 1;
    }
    animateSprite(blurred_.sprite, photo);
  }
  if (mode == 1 && completion) storeCompletion(kQVOpenViewExpandAnimationKey, completion);
  if (controls_.sprite) {
    QVTransitionSprite controls = s->sprite(controls_.sprite);
    controls.opacity = 0;
    animateSprite(controls_.sprite, controls, mode == 1 ? kQVOpenViewExpandAnimationKey : "");
  } else if (mode == 1) {
    animationDidStop(kQVOpenViewExpandAnimationKey, true);
  }
  if (exportButton_) {
    QVTransitionSprite button = s->sprite(exportButton_);
    button.frame.origin =
        CGPointMake(newRect_.origin.x + newRect_.size.width - button.frame.size.width - kExportButtonMargin,
                    newRect_.origin.y + kExportButtonMargin);
    // The gallery has no such button: there it fades on its way.
    if (mode == 2) button.opacity = 0;
    animateSprite(exportButton_, button);
  }
}

void QVOpenAnimationTransitionController::createCells(const std::vector<CGRect>& rects,
                                                      std::function<void()> completion) {
  std::vector<std::string> paths =
      delegate() ? delegate()->exportAnimationTransitionImagePaths(this) : std::vector<std::string>{};
  if (paths.size() > kMaxFlyingCells) paths.resize(kMaxFlyingCells);
  thumbnails_.assign(paths.size(), QImage());
  std::weak_ptr<bool> alive = alive_;
  auto build = [this, alive, rects, completion] {
    if (auto live = alive.lock(); !live || !*live) return;
    QVTransitionSprites* s = sprites();
    if (!s) return;
    const CGSize size = rects.front().size;
    const CGRect start = offset(QVMiddleRect(size, transitionRect_.size), transitionRect_.origin);
    const double inset = delegate() ? delegate()->exportAnimationTransitionCellInset(this) : 12;
    const double dpr = s->window() ? s->window()->devicePixelRatioF() : 1;
    const size_t count = std::min(thumbnails_.size(), rects.size());
    for (size_t i = 0; i < count; ++i) {
      QVTransitionSprite cell;
      cell.picture = cellPicture(size, inset, thumbnails_[i], dpr);
      cell.frame = start;
      cells_.push_back(s->add(cell));
    }
    // A short pause lets the cells show before they fly.
    QVAnimationDriver::shared().add([](double elapsed) { return elapsed < 0.1; },
                                    [alive, completion](bool) {
                                      if (auto live = alive.lock(); live && *live && completion) completion();
                                    });
  };
  if (paths.empty()) {
    build();
    return;
  }
  // Answers come back in any order on any thread: each is kept at its path's index, on the main
  // executor, and the last one builds the cells.
  auto remaining = std::make_shared<size_t>(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    delegate()->exportAnimationTransitionLoadThumbnail(
        this, paths[i], [this, alive, i, remaining, build](QImage image) {
          qv::MainExecutor::shared().async([this, alive, i, remaining, build, image] {
            if (auto live = alive.lock(); !live || !*live) return;
            thumbnails_[i] = image;
            if (--*remaining == 0) build();
          });
        });
  }
}

void QVOpenAnimationTransitionController::animateCells(const std::vector<CGRect>& rects, Completion completion) {
  QVTransitionSprites* s = sprites();
  const size_t count = std::min(cells_.size(), rects.size());
  if (count == 0) {
    if (completion) completion(true);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    Completion last;
    if (i + 1 == count)
      last = [completion](bool) {
        if (completion) completion(true);
      };
    s->springFrame(cells_[i], rects[i], last);
  }
}

void QVOpenAnimationTransitionController::animateEndVC(int64_t mode, Completion completion) {
  QVTransitionSprites* s = sprites();
  QVExportContainerAnimatable* end = endVC();
  if (QVSolvaneWindow* w = window()) {
    w->setTitleBarVisible(true);
    // The import button the end screen shows is there already, so that it comes in with the bar.
    if (QVSolvaneTopBarView* bar = w->titleBarView(); bar && mode != 0)
      bar->setImportButtonType(QVUIStyle::importButtonType());
    w->setShowImportMoreButton(mode != 0);
  }
  if (!s || !end || !end->containerView()) {
    if (completion) completion(true);
    return;
  }
  embedView(view(), end->containerView());
  layOutPendingViews();
  std::vector<QWidget*> appearing{end->containerView()};
  // The window's title bar (with its import button) lies over the end screen: its picture comes in
  // with the screen's, above it (under the screen's picture it would show only once the sprites go).
  if (QVSolvaneWindow* w = window(); w && w->titlebarContainer() && w->titlebarContainer()->isVisible())
    appearing.push_back(w->titlebarContainer());
  auto remaining = std::make_shared<size_t>(appearing.size());
  for (QWidget* widget : appearing) {
    const QVTransitionSprites::SpriteId id = s->grab(widget);
    QVTransitionSprite shown = s->sprite(id);
    QVTransitionSprite from = shown;
    from.opacity = 0;
    s->set(id, from);
    shown.opacity = 1;
    s->animate(id, shown, [completion, remaining](bool) {
      if (--*remaining == 0 && completion) completion(true);
    });
  }
}
