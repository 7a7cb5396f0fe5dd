#include "QVAppKit/QVViewController.h"

#include <QEvent>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFadeAnimator.h"

namespace {

// Keeps a view filling its container and tells the controller after each layout of the view.
class FillFilter : public QObject {
 public:
  FillFilter(QWidget* view, QWidget* container) : QObject(view), view_(view), container_(container) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == container_ && event->type() == QEvent::Resize && view_) fill();
    return false;
  }
  void fill() {
    if (auto* basic = dynamic_cast<QVBasicView*>(view_.data())) {
      basic->setFrame(CGRectMake(0, 0, container_->width(), container_->height()));
    } else {
      view_->setGeometry(container_->rect());
    }
  }

 private:
  QPointer<QWidget> view_;
  QPointer<QWidget> container_;
};

}  // namespace

void QVEmbedInContainer(QWidget* view, QWidget* container) {
  if (!view || !container) return;
  view->setParent(container);
  if (auto* basic = dynamic_cast<QVBasicView*>(container)) {
    // Toolkit containers lay out through their rules, also while hidden (Qt holds back their
    // resize events until they are shown).
    QPointer<QWidget> embedded = view;
    auto fill = [embedded, basic] {
      if (!embedded || embedded->parentWidget() != basic) return;
      if (auto* v = dynamic_cast<QVBasicView*>(embedded.data())) {
        v->setFrame(basic->bounds());
      } else {
        embedded->setGeometry(basic->rect());
      }
    };
    basic->setSubviewConstraint(view, fill);
    fill();
    view->show();
    return;
  }
  auto* filter = new FillFilter(view, container);
  container->installEventFilter(filter);
  filter->fill();
  view->show();
}

// ---- QVViewController ----

QVViewController::~QVViewController() {
  if (view_ && !view_->parentWidget()) delete view_.data();
}

QWidget* QVViewController::view() {
  if (!view_ && !loading_) {
    loading_ = true;
    loadView();
    loading_ = false;
    if (view_) viewDidLoad();
  }
  return view_;
}

void QVViewController::setView(QWidget* view) { view_ = view; }

void QVViewController::loadView() { setView(QVMake<QVView>()); }

// ---- QVViewControllerWithoutNib ----

void QVViewControllerWithoutNib::loadView() {
  auto* view = QVMake<QVView>();
  mainView_ = view;
  setView(view);
  view->addConstraint([this] { viewDidLayout(); });
}

void QVViewControllerWithoutNib::viewDidLayout() {
  // Shadows and springs of subviews may reach outside the view.
  if (mainView_) mainView_->setMasksToBounds(false);
}

void QVViewControllerWithoutNib::presentViewController(QVViewController* controller) {
  QWidget* container = view();
  NSViewExtensions::removeAllSubviews(container);
  if (controller) QVEmbedInContainer(controller->view(), container);
}

std::shared_ptr<void> QVViewController::associatedObject(const std::string& key) const {
  auto it = associated_.find(key);
  return it == associated_.end() ? nullptr : it->second;
}

void QVViewController::setAssociatedObject(const std::string& key, std::shared_ptr<void> object) {
  if (object) {
    associated_[key] = std::move(object);
  } else {
    associated_.erase(key);
  }
}

// ---- QVOverlayedViewController ----

QVView* QVOverlayedViewController::transparentOverlayView() {
  if (!overlay_) {
    overlay_ = QVMake<QVView>();
    overlay_->setBackgroundColor(Qt::black);
    overlay_->setAlpha(0);
    overlay_->setUserInteractionEnabled(false);
  }
  return overlay_;
}

void QVOverlayedViewController::viewDidLoad() {
  QVViewController::viewDidLoad();
  QVEmbedInContainer(transparentOverlayView(), view());
}

void QVOverlayedViewController::showOverlay(bool show, QWidget* belowView) {
  QVView* overlay = transparentOverlayView();
  if (belowView && belowView->parentWidget() == view()) {
    overlay->stackUnder(belowView);
  }
  overlay->setUserInteractionEnabled(show);
  NSViewFadeAnimation::switchToAlpha(overlay, show ? kOverlayAlpha : 0);
}
