#include "Ombrel/Classes/Application/Feedback/QVFeedbackWindowController.h"

QVFeedbackWindowController::QVFeedbackWindowController(std::shared_ptr<QVFeedbackSender> sender)
    : sender_(std::move(sender)) {
  createCurrentVC();
  QVView* window = contentView();
  window->setWindowTitle(QStringLiteral("Feedback"));
  feedbackViewController()->setCloseHandler([this] { hide(); });
  // The title bar lies over the top of the content, which keeps that space free.
  topBar_ = QVSolvaneTopBarView::topBar();
  topBar_->setShowTitle(false);
  topBar_->setShowResizeButton(false);
  window->addSubview(topBar_);
  window->addConstraint([window, bar = topBar_] {
    bar->setFrame(
        CGRectMake(0, window->height() - QVSolvaneTopBarView::kHeight, window->width(), QVSolvaneTopBarView::kHeight));
  });
  window->layoutSubtreeIfNeeded();
}

QVWindowController::ViewControllerMaker QVFeedbackWindowController::viewControllerClass() const {
  return [sender = sender_] { return std::make_unique<QVFeedbackViewController>(sender); };
}

void QVFeedbackWindowController::windowWillClose() {
  QVWindowController::windowWillClose();
  feedbackViewController()->form().windowDidClose();
}
