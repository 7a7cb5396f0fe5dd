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

#include "Ombrel/Classes/Application/Controllers/QVEmptyScreenView.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreen.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"

class QVSingleImageFacade;

// Mode 0: the drop area, the open button and the sample photo.
class QVOpenMainScreen : public QVMainScreen {
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
  double sheetTopInset() override { return vc_->contentsEdgeInset().top; }

 private:
  QVMainScreenHost* host_;
  std::unique_ptr<QVOpenViewController> vc_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Mode 1: one photo, before and after.
class QVSingleMainScreen : public QVMainScreen {
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
class QVGalleryMainScreen : public QVMainScreen {
 public:
  explicit QVGalleryMainScreen(QVMainScreenHost* host);
  ~QVGalleryMainScreen() override;

  int64_t mode() const override { return 2; }
  QWidget* view() override { return view_; }
  // The grid's rows (in step with the open paths).
  size_t rowCount() const { return rows_; }
  // The open paths changed; the grid follows.
  void update();
  // `count` rows were appended to the open paths.
  void reloadLastCells(size_t count);
  void prepareToStartOver(std::function<void()> block);
  void acceptDrop(const std::vector<std::string>& paths) override;

 private:
  void refresh();
  QVMainScreenHost* host_;
  QPointer<QVEmptyScreenView> view_;
  size_t rows_ = 0;
};
