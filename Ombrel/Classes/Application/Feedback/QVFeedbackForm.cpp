#include "Ombrel/Classes/Application/Feedback/QVFeedbackForm.h"

#include <filesystem>

#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Helpers/QVServiceUtils.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"

void QVAppFeedbackSender::sendFeedback(const QVFeedbackSheet& sheet, Completion completion) {
  QVAppLink::sendFeedback(sheet, std::move(completion));
}

QVFeedbackForm::QVFeedbackForm(QVFeedbackFormDisplay* display, std::shared_ptr<QVFeedbackSender> sender)
    : display_(display), sender_(std::move(sender)) {}

QVFeedbackForm::~QVFeedbackForm() { *alive_ = false; }

std::shared_ptr<QVFeedbackSheet> QVFeedbackForm::validateData(const std::string& name, const std::string& email,
                                                              const std::string& message,
                                                              const std::optional<std::string>& imagePath,
                                                              qv::Error* error) {
  auto sheet = std::make_shared<QVFeedbackSheet>();
  sheet->setName(name);
  sheet->setEmail(email);
  sheet->setMessage(message);
  sheet->setImagePath(imagePath);
  if (name.empty() || email.empty() || message.empty()) {
    qv::setError(error, qv::Error(kQVFeedbackErrorDomain, QVFeedbackValidationErrorEmptyField));
  } else if (!QVServiceUtils::validateEmail(email)) {
    qv::setError(error, qv::Error(kQVFeedbackErrorDomain, QVFeedbackValidationErrorInvalidEmail));
  }
  return sheet;
}

std::shared_ptr<QVFeedbackSheet> QVFeedbackForm::validateData(qv::Error* error) const {
  return validateData(display_->nameText(), display_->emailText(), display_->messageText(), attachedImagePath_, error);
}

void QVFeedbackForm::attachImageWithPath(const std::optional<std::string>& path) {
  attachedImagePath_ = path;
  display_->showAttachment(path ? std::optional(std::filesystem::path(*path).filename().string()) : std::nullopt);
}

void QVFeedbackForm::attachClicked() {
  if (sending_) return;
  std::weak_ptr<bool> alive = alive_;
  QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(
      false, [this, alive](const std::optional<std::vector<std::string>>& paths) {
        if (!alive.lock() || !paths || paths->empty()) return;
        attachImageWithPath(paths->front());
      });
}

void QVFeedbackForm::sendFeedback() {
  if (sending_) return;
  qv::Error error;
  auto sheet = validateData(&error);
  if (error.code == QVFeedbackValidationErrorEmptyField) {
    QVSolvaneAlerts::showAlertCompleteFields();
    return;
  }
  if (error.code == QVFeedbackValidationErrorInvalidEmail) {
    QVSolvaneAlerts::showAlertInvalidEmail();
    return;
  }
  setSending(true);
  const uint64_t generation = ++sendGeneration_;
  std::weak_ptr<bool> alive = alive_;
  sender_->sendFeedback(*sheet, [this, alive, generation](const std::optional<qv::Error>& answer) {
    if (!alive.lock() || generation != sendGeneration_) return;
    finishSending(answer);
  });
}

void QVFeedbackForm::finishSending(const std::optional<qv::Error>& error) {
  setSending(false);
  if (error) {
    QVSolvaneAlerts::showAlertNetworkError(*error);
    return;
  }
  if (QVSolvaneAlerts::showAlertFeedbackSent() == QVAlertResultSendMore) {
    display_->clearMessage();
    attachImageWithPath(std::nullopt);
  } else {
    display_->closeWindow();
  }
}

void QVFeedbackForm::windowDidClose() {
  ++sendGeneration_;
  if (sending_) setSending(false);
}

void QVFeedbackForm::setSending(bool sending) {
  sending_ = sending;
  display_->setSpinnerVisible(sending);
}
