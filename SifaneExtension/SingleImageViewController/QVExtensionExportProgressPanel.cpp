#include "SifaneExtension/SingleImageViewController/QVExtensionExportProgressPanel.h"

#include <QString>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"

namespace {
constexpr uint64_t kDiskExportType = 0;
}

QVExtensionExportProgressPanel::QVExtensionExportProgressPanel() {
  view_ = QVMake<QVExportProcessView>();
  view_->actionButton()->hide();
}

QVExtensionExportProgressPanel::~QVExtensionExportProgressPanel() {
  // Out of the hierarchy the view is ours; in it, it goes with the screen's view.
  if (view_ && !view_->parentWidget()) delete view_.data();
}

void QVExtensionExportProgressPanel::startExportOfImage(const std::string& imagePath) {
  const auto type = QVExportDatasource::exportTypeString(kDiskExportType);
  const std::optional<std::string> name =
      type ? std::optional<std::string>(QString::fromStdString(*type).toUpper().toStdString()) : std::nullopt;
  view_->updateTitleWithServiceType(kDiskExportType, name, 1);
  view_->setImagesPathsToShare({imagePath});
  view_->progressView()->setPartsCount(1);
  view_->progressView()->setCurrentPart(0);
  view_->setCurrentPart(0);
  view_->startAnimation();
}

uint64_t QVExtensionExportProgressPanel::partsCount() const { return view_->progressView()->partsCount(); }
uint64_t QVExtensionExportProgressPanel::currentPart() const { return view_->progressView()->currentPart(); }

void QVExtensionExportProgressPanel::setCurrentPart(uint64_t part) {
  view_->progressView()->setCurrentPart(part);
  view_->setCurrentPart(part);
}

void QVExtensionExportProgressPanel::waitEndAnimationWithCompletion(std::function<void()> completion) {
  view_->progressView()->waitEndAnimationWithCompletion(std::move(completion));
}

std::string QVExtensionExportProgressPanel::titleText() const {
  return view_->titleLabel()->title().value_or(std::string());
}

bool QVExtensionExportProgressPanel::showsCancelButton() const { return !view_->actionButton()->isHidden(); }
