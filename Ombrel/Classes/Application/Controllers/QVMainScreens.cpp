#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"

#include <QApplication>

#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenSpringView.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/Log.h"

// ---- Open screen ----

QVOpenMainScreen::QVOpenMainScreen(QVMainScreenHost* host, QVOpenViewControllerDelegate* delegate, QWidget* titleBar)
    : host_(host), vc_(std::make_unique<QVOpenViewController>()) {
  vc_->setDelegate(delegate);
  if (titleBar) vc_->insertTitleBarView(titleBar);
}

QVOpenMainScreen::~QVOpenMainScreen() {
  *alive_ = false;
  vc_->setDelegate(nullptr);
}

void QVOpenMainScreen::enter() {
  if (QWidget* window = vc_->view()->window(); window && window->isVisible()) vc_->viewDidAppear();
}

void QVOpenMainScreen::dragEntered(const std::vector<std::string>& paths, bool, std::function<void()> ready) {
  if (paths.empty()) {
    if (ready) ready();
    return;
  }
  vc_->updateBlurredImageWithURL(paths.front(), std::move(ready));
}

void QVOpenMainScreen::acceptDrop(const std::vector<std::string>& paths) {
  std::weak_ptr<bool> alive = alive_;
  QVMainScreenHost* host = host_;
  vc_->waitForBlurredImageApply([alive, host, paths] {
    if (auto live = alive.lock(); live && *live) host->handleTransitionFromOpenViewWithPaths(paths);
  });
}

bool QVOpenMainScreen::isTakingDrop() {
  QVOpenView* open = vc_->mainView();
  return open && open->springView() && open->springView()->isApplyingBlurredImage();
}

// ---- Single image ----

// A plug-in run shows the host's photo with the plug-in panel (Done and the slider) instead of the
// export panel.
QVSingleMainScreen::QVSingleMainScreen(QVMainScreenHost* host, std::shared_ptr<QVSingleImageFacade> facade)
    : host_(host), vc_(QVMakeSingleImageViewController(host->isPluginMode(), std::move(facade))) {
  // The window's title bar lies over the top of the photo: the labels stand below it.
  vc_->view();
  vc_->compareView()->setLabelsTopMargin(QVSolvaneTopBarView::kHeight + QVSCompareView::kLabelsTopMargin / 2);
}

QVSingleMainScreen::~QVSingleMainScreen() = default;

NSImageRef QVSingleMainScreen::shownImageAtPath(const std::string& path) {
  if (vc_->imagePath() != path) return nullptr;
  for (QVImageView* view : {vc_->fullsizePreviewImageView(), vc_->fullsizeOriginalImageView(), vc_->blurredPreview()})
    if (view->image()) return view->image();
  return nullptr;
}

uint64_t QVSingleMainScreen::exportState() { return vc_->exportState(); }

bool QVSingleMainScreen::exportWithExportType(uint64_t type) {
  vc_->exportViewController()->exportAllImagesWithExportType(type);
  return true;
}

void QVSingleMainScreen::showBlurredPreview(bool show) {
  blurred_ = show;
  vc_->showBlurredPreview(show);
}

void QVSingleMainScreen::transitToNewSingleViewWithPath(const std::string& path) {
  vc_->transitToNewSingleViewWithPath(path);
}

void QVSingleMainScreen::dragEntered(const std::vector<std::string>& paths, bool replaceKey,
                                     std::function<void()> ready) {
  // The plug-in screen shows nothing for a drag; the drop itself is ignored.
  if (host_->isPluginMode()) {
    if (ready) ready();
    return;
  }
  if (replaceKey && paths.size() == 1) {
    replaceKey_ = true;
    showBlurredPreview(true);
    return;
  }
  vc_->cancelStateTransition();
  host_->beginTransition(2, [ready = std::move(ready)](QVMainScreen*) {
    if (ready) ready();
  });
}

void QVSingleMainScreen::dragExited(const std::vector<std::string>&) {
  if (exportState() != 0) return;
  host_->cancelTransition();
  showBlurredPreview(false);
  replaceKey_ = false;
}

void QVSingleMainScreen::acceptDrop(const std::vector<std::string>& paths) {
  if (host_->isPluginMode()) return;
  const std::vector<std::string> valid = host_->updatePaths(paths);
  if (valid.empty()) {
    host_->cancelTransition();
    // A refused photo dragged to replace this one leaves this one as it was.
    if (replaceKey_) {
      replaceKey_ = false;
      showBlurredPreview(false);
    }
    return;
  }
  if (replaceKey_ && valid.size() == 1) {
    replaceKey_ = false;
    showBlurredPreview(false);
    const std::vector<std::string> replaced = host_->replacePaths(paths);
    if (!replaced.empty()) transitToNewSingleViewWithPath(replaced.front());
    return;
  }
  if (host_->imagePaths().size() > 1) {
    const size_t grown = host_->imagePaths().size() - 1;
    host_->finishTransition(2, [grown](QVMainScreen* end) {
      if (auto* gallery = dynamic_cast<QVGalleryMainScreen*>(end)) gallery->reloadLastCells(grown);
    });
    return;
  }
  // The photo shown was dropped again.
  host_->cancelTransition();
}

// ---- Gallery ----

QVGalleryMainScreen::QVGalleryMainScreen(QVMainScreenHost* host)
    : host_(host), vc_(std::make_unique<QVGalleryViewController>()) {
  vc_->setDatasource(this);
  vc_->setDelegate(this);
  vc_->reloadData();
}

QVGalleryMainScreen::~QVGalleryMainScreen() {
  vc_->setDelegate(nullptr);
  vc_->setDatasource(nullptr);
}

size_t QVGalleryMainScreen::rowCount() const { return size_t(vc_->model()->rowCount()); }

bool QVGalleryMainScreen::startOverFromOwnWindow() {
  if (!vc_->isQuickpreviewVisible()) return false;
  QVQuickPreviewWindowController* preview = vc_->quickPreviewController();
  if (!preview->window() || QApplication::activeWindow() != preview->window()) return false;
  preview->onStartOverMenuItem();
  return true;
}

bool QVGalleryMainScreen::exportWithExportType(uint64_t type) {
  if (QVQuickPreviewScreen* preview = vc_->quickPreviewViewController()) {
    if (auto* single = dynamic_cast<QVExportSingleImageViewController*>(preview->viewController())) {
      single->exportViewController()->exportAllImagesWithExportType(type);
      return true;
    }
  }
  if (QVGalleryExportPanel* panel = vc_->exportViewController()) {
    panel->exportAllImagesWithExportType(type);
    return true;
  }
  return false;
}

void QVGalleryMainScreen::acceptDrop(const std::vector<std::string>& paths) {
  const size_t before = host_->imagePaths().size();
  if (host_->updatePaths(paths).empty()) return;
  // Photos already open are not added again: only the growth becomes rows.
  const size_t grown = host_->imagePaths().size() - before;
  if (grown) reloadLastCells(grown);
}
