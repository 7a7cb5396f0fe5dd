#pragma once
// The content of the feedback window: a heading, the name, e-mail and message fields, the attach
// button (or the attachment once an image is attached), and the send button, which gives way to
// the spinner while the form is on its way. The rules are the form's (QVFeedbackForm); this
// controller shows its state and forwards clicks.
//
// Main thread only.
#include <QPlainTextEdit>
#include <functional>
#include <memory>

#include "Ombrel/Classes/Application/Feedback/QVAttachedImageView.h"
#include "Ombrel/Classes/Application/Feedback/QVFeedbackForm.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVLoadingSpinnerView.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVTextField.h"
#include "QVAppKit/QVViewController.h"

class QVFeedbackViewController : public QVViewControllerWithoutNib,
                                 public QVFeedbackFormDisplay,
                                 public QVAttachedImageViewDelegate {
 public:
  // The space the window's top bar takes above the content.
  static constexpr double kTopBarSpace = 38;

  explicit QVFeedbackViewController(std::shared_ptr<QVFeedbackSender> sender = nullptr);
  ~QVFeedbackViewController() override;

  void viewDidLoad() override;
  // Each field gets the text and placeholder font and the text insets (5, 20, 0, 20).
  static void configureTextFields(const std::vector<QVTextField*>& fields);

  QVFeedbackForm& form() { return *form_; }
  QVTextField* nameField() const { return nameField_; }
  QVTextField* emailField() const { return emailField_; }
  QPlainTextEdit* feedbackField() const { return feedbackField_; }
  QVRoundedSpringButton* sendButton() const { return sendButton_; }
  QVSpringButton* attachButton() const { return attachButton_; }
  QVAttachedImageView* removeAttachmentView() const { return removeAttachmentView_; }
  QVLoadingSpinnerView* spinnerView() const { return spinnerView_; }

  // Attach button hidden when YES, attachment hidden when NO.
  void setAttachmentVisible(bool visible);
  // What closing asks of the window (the window controller hides it).
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }

  // QVFeedbackFormDisplay
  std::string nameText() const override;
  std::string emailText() const override;
  std::string messageText() const override;
  void clearMessage() override;
  void showAttachment(const std::optional<std::string>& fileName) override;
  void setSpinnerVisible(bool visible) override;
  void closeWindow() override;

  // QVAttachedImageViewDelegate
  void attachedImageViewRemoveButtonClicked(QVAttachedImageView*) override { form_->removeAttachmentClicked(); }

 private:
  void layoutContent();

  std::unique_ptr<QVFeedbackForm> form_;
  QVLabel* headingLabel_ = nullptr;
  QVLabel* subtitleLabel_ = nullptr;
  QVTextField* nameField_ = nullptr;
  QVTextField* emailField_ = nullptr;
  QPlainTextEdit* feedbackField_ = nullptr;
  QVRoundedSpringButton* sendButton_ = nullptr;
  QVSpringButton* attachButton_ = nullptr;
  QVAttachedImageView* removeAttachmentView_ = nullptr;
  QVLoadingSpinnerView* spinnerView_ = nullptr;
  std::function<void()> closeHandler_;
};
