#include "Ombrel/Classes/Application/Transitions/QVSingleMultiAnimationTransitionController.h"

#include <QGuiApplication>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVView.h"

#include <cmath>

QVSingleMultiAnimationTransitionController::EdgeInsets
QVSingleMultiAnimationTransitionController::edgeInsetsForCellRect(CGRect r, CGSize container, bool rightToLeft) {
  EdgeInsets e;
  e.top = container.height - (r.origin.y + r.size.height);
  e.bottom = r.origin.y;
  e.left = r.origin.x;
  e.right = container.width - (r.origin.x + r.size.width);
  if (rightToLeft) std::swap(e.left, e.right);
  return e;
}

QVSingleMultiAnimationTransitionController::~QVSingleMultiAnimationTransitionController() {
  // A transition dropped while it runs reports nothing.
  *alive_ = false;
  if (group_) QVAnimationDriver::shared().cancel(group_);
}

bool QVSingleMultiAnimationTransitionController::rightToLeft() const {
  return QGuiApplication::layoutDirection() == Qt::RightToLeft;
}

void QVSingleMultiAnimationTransitionController::willBeginTransitionToMode(int64_t) {}
void QVSingleMultiAnimationTransitionController::didFinishTransitionToMode(int64_t) {}

QVSingleMultiAnimationTransitionController::EdgeInsets QVSingleMultiAnimationTransitionController::insets() const {
  return edgeInsetsForCellRect(cellRect_, fullRect_.size, rightToLeft());
}

void QVSingleMultiAnimationTransitionController::prepareForTransition() {
  QVView* transitionView = view();
  if (auto* gallery = multiVC(); gallery && gallery->containerView()) {
    multiView_ = gallery->containerView();
    embedView(transitionView, multiView_);
    // Its cells need their places before the first one is measured.
    if (currentTransition().endMode == 2) layOutPendingViews();
  }
  QVTransitionSprites* s = sprites();
  if (!s) return;
  fullRect_ = s->frameInWindow(transitionView);
  if (delegate()) cellRect_ = delegate()->exportAnimationTransitionCalculateGalleryFirstCellRect(this);
  // Back to one photo, the gallery's other cells and its controls go while the photo grows: a
  // cover of the gallery's own colour fades in over it, under the moving pictures. The gallery is
  // leaving: its picture stands in for it (its grid would otherwise repaint under every frame, as
  // long as a frame of the motion itself), and the real one stays hidden; a cancel shows it again.
  if (currentTransition().endMode == 1 && multiView_) {
    QVTransitionSprite gallery;
    gallery.picture = multiView_->grab();
    gallery.frame = s->frameInWindow(multiView_);
    s->add(gallery);
    multiView_->hide();
    QVTransitionSprite cover;
    cover.frame = fullRect_;
    cover.backgroundColor = QVUIStyle::themeBGColor();
    cover.opacity = 0;
    coverSprite_ = s->add(cover);
  }
  if (auto prototype =
          delegate() ? delegate()->exportAnimationTransitionCreateGalleryFirstCellPrototype(this) : nullptr) {
    // Drawn at the cell's size, where it shows alone; larger, it lies under the full picture.
    singleSmallView_ = std::move(prototype);
    const CGSize size = CGRectIsEmpty(cellRect_) ? fullRect_.size : cellRect_.size;
    singleSmallView_->resize(int(std::lround(size.width)), int(std::lround(size.height)));
    QVTransitionSprite small;
    if (auto* v = dynamic_cast<QVView*>(singleSmallView_.get()))
      small.picture = v->snapshot();
    else
      small.picture = singleSmallView_->grab();
    small.frame = fullRect_;
    smallSprite_ = s->add(small);
  }
  if (auto* single = singleVC(); single && single->containerView()) {
    QWidget* full = single->containerView();
    if (full->size() != QSize(int(fullRect_.size.width), int(fullRect_.size.height)))
      full->resize(int(fullRect_.size.width), int(fullRect_.size.height));
    QVTransitionSprite picture;
    picture.picture = full->grab();
    picture.frame = fullRect_;
    fullSprite_ = s->add(picture);
    full->hide();
    // It is drawn down to the cell's size: the smaller copies are made here, not in a frame.
    if (!CGRectIsEmpty(cellRect_)) s->prepareForWidth(fullSprite_, cellRect_.size.width);
  }
  // The window's title bar lies over both screens: it stays above the moving pictures.
  if (QVSolvaneWindow* w = window(); w && w->titlebarContainer() && w->titlebarContainer()->isVisible())
    s->grab(w->titlebarContainer());
}

void QVSingleMultiAnimationTransitionController::apply() {
  QVTransitionSprites* s = sprites();
  if (!s) return;
  // The constants are leading/trailing: in a right-to-left interface leading is the right edge.
  const double left = rightToLeft() ? constants_.right : constants_.left;
  const double right = rightToLeft() ? constants_.left : constants_.right;
  const CGRect frame = CGRectMake(fullRect_.origin.x + left, fullRect_.origin.y + constants_.bottom,
                                  std::max(0.0, fullRect_.size.width - left - right),
                                  std::max(0.0, fullRect_.size.height - constants_.top - constants_.bottom));
  for (auto id : {smallSprite_, fullSprite_}) {
    if (!id) continue;
    QVTransitionSprite sprite = s->sprite(id);
    sprite.frame = frame;
    if (id == fullSprite_) sprite.opacity = fullAlpha_;
    s->set(id, sprite);
  }
  if (coverSprite_) {
    QVTransitionSprite cover = s->sprite(coverSprite_);
    cover.opacity = fullAlpha_;
    s->set(coverSprite_, cover);
  }
}

void QVSingleMultiAnimationTransitionController::actualTransitionToMode(int64_t mode, Completion completion) {
  prepareForTransition();
  if (mode == 1) {
    constants_ = insets();
    fullAlpha_ = 0;
    apply();
    animateTransition(EdgeInsets{}, 1, completion);
  } else {
    constants_ = EdgeInsets{};
    fullAlpha_ = 1;
    apply();
    animateTransition(insets(), 0, completion);
  }
}

void QVSingleMultiAnimationTransitionController::animateTransition(EdgeInsets to, double toAlpha,
                                                                   Completion completion) {
  ++animCount_;
  // A new group takes over the values from where the running one left them.
  auto& driver = QVAnimationDriver::shared();
  if (group_) {
    const auto previous = group_;
    group_ = 0;
    driver.cancel(previous);
  }
  const EdgeInsets from = constants_;
  const double fromAlpha = fullAlpha_;
  std::weak_ptr<bool> alive = alive_;
  group_ = driver.animate(
      kQVStandardAnimationDuration, QVTimingFunction::EaseInEaseOut,
      [this, from, to, fromAlpha, toAlpha](double t) {
        auto mix = [t](double a, double b) { return a + (b - a) * t; };
        constants_ = EdgeInsets{mix(from.top, to.top), mix(from.left, to.left), mix(from.bottom, to.bottom),
                                mix(from.right, to.right)};
        fullAlpha_ = mix(fromAlpha, toAlpha);
        apply();
      },
      [this, alive, completion](bool) {
        if (auto live = alive.lock(); !live || !*live) return;
        if (--animCount_ > 0) return;
        group_ = 0;
        if (completion) completion(true);
      });
}

void QVSingleMultiAnimationTransitionController::actualCancel(QVExportTransition transition, Completion completion) {
  if (transition == QVExportTransitionMake(1, 2)) {
    std::weak_ptr<bool> alive = alive_;
    animateTransition(EdgeInsets{}, 1, [this, alive, completion](bool) {
      if (auto live = alive.lock(); live && *live) actualFinishTransitionWithMode(1);
      if (completion) completion(true);
    });
    return;
  }
  if (completion) completion(true);
}

void QVSingleMultiAnimationTransitionController::actualFinishTransitionWithMode(int64_t mode) {
  QVExportAnimationTransitionController::actualFinishTransitionWithMode(mode);
  fullSprite_ = smallSprite_ = coverSprite_ = 0;
  singleSmallView_.reset();
  // Shown again only where it stays in the window: out of it, showing would open it as a window of
  // its own.
  if (auto* single = singleVC(); single && single->containerView() && single->containerView()->parentWidget())
    single->containerView()->show();
}
