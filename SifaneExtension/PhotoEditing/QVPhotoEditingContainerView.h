#pragma once
// The widget side of the photo-editing controller: the container view the host shows (black,
// hidden until content is presented) and the extension's single-image screen embedded in it,
// made on first use over the application core.
//
// Main thread only.
#include <QPointer>
#include <memory>

#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"
#include "QVAppKit/QVView.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingView.h"
#include "SifaneExtension/SingleImageViewController/QVExtensionSingleImageViewController.h"

class QVPhotoEditingContainerView : public QVPhotoEditingView {
 public:
  // The screen's facade: the application core's unless one is given.
  explicit QVPhotoEditingContainerView(std::shared_ptr<QVSingleImageFacade> facade = nullptr);
  ~QVPhotoEditingContainerView() override;

  QVView* containerView() const { return container_.data(); }
  QVExtensionSingleImageViewController* singleImageController();

  void setContainerHidden(bool hidden) override;
  void showImageController(const std::string& path) override;
  void updateWithExportState(uint64_t state) override;
  double boostAmount() override;
  void completeExportAnimation(std::function<void()> completion) override;
  void setPreviewFailureHandler(std::function<void()> handler) override;

 private:
  std::shared_ptr<QVSingleImageFacade> facade_;
  // The host's window takes the container; it may go first.
  QPointer<QVView> container_;
  std::unique_ptr<QVExtensionSingleImageViewController> screen_;
};
