#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"

#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
#include "QVPlatform/NotificationCenter.h"

QVOpenViewController::QVOpenViewController() = default;

QVOpenViewController::~QVOpenViewController() { *alive_ = false; }

void QVOpenViewController::loadView() { setView(QVMake<QVOpenView>(CGRectMake(0, 0, 452, 440))); }

void QVOpenViewController::viewDidLoad() {
  QVOpenView* view = mainView();
  if (!view) return;
  view->springView()->setRoundParams(QVRoundParams{kQVRectCornerAll, QVSMakeCornerRadii(6, 6, 6, 6)});
  // The title bar stays above the background and the blurred photo.
  view->titleBarContainer()->raise();
  std::weak_ptr<bool> alive = alive_;
  view->onImport = [this, alive] {
    if (alive.lock()) loadDocument();
  };
}

void QVOpenViewController::viewDidAppear() {
  QVOpenScreenServices::shared()->setAppLaunched();
  qv::NotificationCenter::defaultCenter().post(kQVOpenViewDidAppear);
}

QVOpenView* QVOpenViewController::mainView() { return dynamic_cast<QVOpenView*>(view()); }

void QVOpenViewController::insertTitleBarView(QWidget* view) {
  if (auto* open = mainView()) open->setTitleBarView(view);
}

void QVOpenViewController::updateBlurredImageWithURL(const std::optional<std::string>& url) {
  if (auto* open = mainView()) open->setBlurImageURL(url);
}

void QVOpenViewController::updateBlurredImageWithURL(const std::optional<std::string>& url,
                                                     std::function<void()> completion) {
  QVOpenView* open = mainView();
  if (!open) {
    if (completion) completion();
    return;
  }
  if (url == open->blurImageURL()) {
    // The same photo again: the completion waits for the one being applied instead of being dropped.
    open->springView()->alsoWhenBlurredImageIsSetUp(std::move(completion));
    return;
  }
  open->setBlurImageURL(url, [completion](bool) {
    if (completion) completion();
  });
  // A file that cannot be shown leaves nothing to wait for: the drop goes on, and the source list's
  // validation says what was refused.
  if (!open->springView()->isApplyingBlurredImage() && completion) completion();
}

void QVOpenViewController::waitForBlurredImageApply(std::function<void()> block) {
  if (auto* open = mainView()) {
    open->springView()->waitForBlurredImageToFinishSetup(std::move(block));
  } else if (block) {
    block();
  }
}

void QVOpenViewController::handleDragDidMoveWhileDragging(CGPoint location) {
  if (auto* open = mainView()) open->setDragLocation(location);
}

void QVOpenViewController::handleDragDidExitWithURLs(const std::vector<std::string>&) {
  if (auto* open = mainView()) open->setBlurImageURL(std::nullopt);
}

void QVOpenViewController::showAndHandleChooseFilesPanel() {
  QVOpenView* open = mainView();
  if (!open) return;
  open->springView()->popUp();
  std::weak_ptr<bool> alive = alive_;
  QVOpenScreenServices::shared()->showChooseFilesPanel(
      [this, alive](const std::optional<std::vector<std::string>>& chosen) {
        if (!alive.lock()) return;
        QVOpenView* view = mainView();
        if (!view) return;
        const std::vector<std::string> paths =
            chosen ? QVExportImageDatasource::validateFilenames(*chosen) : std::vector<std::string>{};
        if (paths.empty()) {
          view->springView()->popOut();
          return;
        }
        insertTitleBarView(nullptr);
        updateBlurredImageWithURL(paths.front());
        needToShowBlurredImageDuringAnimation_ = true;
        onDidOpenFiles(paths);
      });
}

void QVOpenViewController::onDidOpenFiles(const std::vector<std::string>& paths) {
  if (delegate_ && !paths.empty()) delegate_->openViewControllerDidOpenPaths(this, paths);
}

QVOpenAnimatableViews QVOpenViewController::animatableViews() {
  QVOpenAnimatableViews result;
  QVOpenView* open = mainView();
  auto put = [&](const char* key, QWidget* view) {
    if (view) result.views[key] = view;
  };
  if (open) {
    put(QVOpenViewControllerExportButtonKey, open->openButton());
    put(QVOpenViewControllerBackgroundViewKey, open->springView()->backgroundView());
    put(QVOpenViewControllerBlurredBackgroundViewKey, open->springView()->blurredView());
    put(QVOpenViewControllerControlsViewKey, open->controlsContainer());
    put(QVOpenViewControllerTitleBarKey, open->titleBarView());
    put(QVOpenViewControllerTitleBarContainerKey, open->titleBarContainer());
    put(QVOpenViewControllerSpringViewKey, open->springView());
  }
  result.blurIsShown = needToShowBlurredImageDuringAnimation_;
  return result;
}

QVOpenViewController::EdgeInsets QVOpenViewController::edgeInsets(CGRect f, CGRect content) {
  EdgeInsets insets;
  insets.top = content.size.height - (f.origin.y + f.size.height);
  insets.left = f.origin.x;
  insets.bottom = f.origin.y;
  insets.right = content.size.width - (f.size.width + f.origin.x);
  return insets;
}

QVOpenViewController::EdgeInsets QVOpenViewController::contentsEdgeInset() {
  QVOpenView* open = mainView();
  CGRect spring = CGRectZero, content = CGRectZero;
  if (open) {
    QWidget* contentView = open->window();
    if (auto* window = dynamic_cast<QVSolvaneWindow*>(contentView)) contentView = window->contentView();
    // The spring view's frame in the window's content space.
    if (contentView && contentView != open->springView()) {
      const QRect r(open->springView()->mapTo(contentView, QPoint(0, 0)), open->springView()->size());
      content = CGRectMake(0, 0, contentView->width(), contentView->height());
      spring = QVGeometry::rectFromQtRect(QRectF(r), contentView->height());
    }
  }
  return edgeInsets(spring, content);
}
