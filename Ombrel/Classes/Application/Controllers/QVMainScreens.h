#pragma once
// The three screens of the main window behind `QVMainScreen`: each wraps its screen controller and
// holds the drag and drop rules of its mode.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVMainScreen.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

class QVSingleImageFacade;

// Mode 0: the drop area, the open button and the sample photo.
class QVOpenMainScreen : public QVMainScreen, public QVExportContainerAnimatable {
 public:
  QVOpenMainScreen(QVMainScreenHost* host, QVOpenViewControllerDelegate* delegate, QWidget* titleBar);
  ~QVOpenMainScreen() override;
  QVOpenViewController* controller() const { return vc_.get(); }

  int64_t mode() const override { return 0; }
  QWidget* view() override { return vc_->view(); }
  void enter() override;
  void dragEntered(const std::vector<std::string>& paths, bool replaceKey, std::function<void()> ready) override;
  void dragMoved(CGPoint location) override { vc_->handleDragDidMoveWhileDragging(location); }
  void dragExited(const std::vector<std::string>& paths) override { vc_->handleDragDidExitWithURLs(paths); }
  // Once the first photo shows blurred, the paths leave the open screen.
  void acceptDrop(const std::vector<std::string>& paths) override;
  bool isTakingDrop() override;
  double sheetTopInset() override { return vc_->contentsEdgeInset().top; }
  QVExportContainerAnimatable* animatable() override { return this; }
  int64_t containerMode() const override { return 0; }
  QWidget* containerView() override { return vc_->view(); }
  std::map<std::string, QWidget*> animatableViews() override { return vc_->animatableViews().views; }
  bool blurIsShown() override { return vc_->animatableViews().blurIsShown; }

 private:
  QVMainScreenHost* host_;
  std::unique_ptr<QVOpenViewController> vc_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Mode 1: one photo, before and after; in plug-in mode the plug-in screen
// (`QVPluginSingleImageViewController`).
class QVSingleMainScreen : public QVMainScreen, public QVExportContainerAnimatable {
 public:
  using Controller = QVExportSingleImageViewController;
  QVSingleMainScreen(QVMainScreenHost* host, std::shared_ptr<QVSingleImageFacade> facade);
  ~QVSingleMainScreen() override;
  Controller* controller() const { return vc_.get(); }

  int64_t mode() const override { return 1; }
  QWidget* view() override { return vc_->view(); }
  QVOverlayedViewController* overlayed() override { return vc_.get(); }
  uint64_t exportState() override;
  bool exportWithExportType(uint64_t type) override;
  QVExportContainerAnimatable* animatable() override { return this; }
  int64_t containerMode() const override { return 1; }
  QWidget* containerView() override { return vc_->view(); }
  // The enhanced preview once it shows, else the original, else the blurred stand-in.
  NSImageRef shownImageAtPath(const std::string& path) override;

  // Held while one photo is dragged with the replace key (Ctrl): a drop replaces the photo.
  bool commandKeyWasPressedWhileDragging() const { return replaceKey_; }
  bool isPreviewBlurred() const { return blurred_; }
  void showBlurredPreview(bool show);
  void transitToNewSingleViewWithPath(const std::string& path);

  void dragEntered(const std::vector<std::string>& paths, bool replaceKey, std::function<void()> ready) override;
  void dragExited(const std::vector<std::string>& paths) override;
  void acceptDrop(const std::vector<std::string>& paths) override;

 private:
  QVMainScreenHost* host_;
  std::unique_ptr<Controller> vc_;
  bool replaceKey_ = false;
  bool blurred_ = false;
};

// Mode 2: every open photo.
class QVGalleryMainScreen : public QVMainScreen,
                            public QVGalleryControllerDatasource,
                            public QVGalleryControllerDelegate {
 public:
  explicit QVGalleryMainScreen(QVMainScreenHost* host);
  ~QVGalleryMainScreen() override;
  QVGalleryViewController* controller() const { return vc_.get(); }

  int64_t mode() const override { return 2; }
  QWidget* view() override { return vc_->view(); }
  void enter() override { vc_->viewWillAppear(); }
  void leave() override { vc_->viewWillDisappear(); }
  QVOverlayedViewController* overlayed() override { return vc_.get(); }
  uint64_t exportState() override { return vc_->exportState(); }
  // The open quick preview's screen exports when there is one, else the gallery's panel.
  bool exportWithExportType(uint64_t type) override;
  void willPrepareToHideWindow() override { vc_->willPrepareToHideWindow(); }
  // With the quick preview in front, Start Over is the preview's: it asks through the gallery.
  bool startOverFromOwnWindow() override;
  QVExportContainerAnimatable* animatable() override { return vc_.get(); }
  // The grid's rows (in step with the open paths).
  size_t rowCount() const;
  // The open paths changed; the grid follows.
  void update() { vc_->update(); }
  // `count` rows were appended to the open paths.
  void reloadLastCells(size_t count) { vc_->reloadLastCells(count); }
  void prepareToStartOver(std::function<void()> block) { vc_->prepareToStartOver(std::move(block)); }
  void acceptDrop(const std::vector<std::string>& paths) override;

  // The gallery's data source and delegate.
  std::optional<std::vector<std::string>> imagesPaths() override { return host_->imagePaths(); }
  QVExportImageDatasource* exportPathStorage() override { return host_->exportPathStorage(); }
  bool answersDidLeaveASingleImage() const override { return true; }
  void galleryViewControllerDidLeaveASingleImageWithPath(QVGalleryViewController*, const std::string& path,
                                                         std::function<void()> animationCompletion) override {
    host_->galleryDidLeaveASingleImageWithPath(path, std::move(animationCompletion));
  }
  void removeAllItemsInGalleryController(QVGalleryViewController*) override { host_->startOver(); }
  void clickStartOverInGalleryController(QVGalleryViewController*) override {
    host_->closeSessionsWithAlert(false, false);
  }

 private:
  QVMainScreenHost* host_;
  std::unique_ptr<QVGalleryViewController> vc_;
};
