#pragma once
// The rules of the feedback window, without widgets: validating the form, attaching and removing
// the image, sending through the facade and answering the outcome with the alerts.
//
// Validation ("QVNetworkErrorDomain", no user information): 101 when the name, the e-mail address
// or the message is empty (checked in that order), else 100 when the address is not valid, else
// a sheet of the three texts and the attachment.
//
// Sending: an invalid form shows its alert and sends nothing; a valid one shows the spinner and
// goes to the sender. The answer hides the spinner; an error shows the network-error alert and
// keeps every field; success asks "OK" (the window closes) or "Send more" (the message and the
// attachment are cleared, name and address kept). An answer that arrives after the window closed,
// or after the form is gone, is dropped.
//
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Model/Network/QVFeedbackSheet.h"
#include "QVPlatform/Error.h"

inline constexpr const char* kQVFeedbackErrorDomain = "QVNetworkErrorDomain";
enum QVFeedbackValidationError : int64_t {
  QVFeedbackValidationErrorInvalidEmail = 100,
  QVFeedbackValidationErrorEmptyField = 101,
};

// How the form reaches the facade (tests fake it).
class QVFeedbackSender {
 public:
  using Completion = std::function<void(const std::optional<qv::Error>& error)>;
  virtual ~QVFeedbackSender() = default;
  // The completion runs on the main thread.
  virtual void sendFeedback(const QVFeedbackSheet& sheet, Completion completion) = 0;
};

// The facade's multipart upload to the feedback address.
class QVAppFeedbackSender : public QVFeedbackSender {
 public:
  void sendFeedback(const QVFeedbackSheet& sheet, Completion completion) override;
};

// What the window shows of the form's state.
class QVFeedbackFormDisplay {
 public:
  virtual ~QVFeedbackFormDisplay() = default;
  // The three texts as typed.
  virtual std::string nameText() const = 0;
  virtual std::string emailText() const = 0;
  virtual std::string messageText() const = 0;
  virtual void clearMessage() {}
  // The attachment's file name (the attach button hides), or none (the attach button shows).
  virtual void showAttachment(const std::optional<std::string>& fileName) {}
  // The spinner in place of the send button, attaching and removing switched off.
  virtual void setSpinnerVisible(bool visible) {}
  virtual void closeWindow() {}
};

class QVFeedbackForm {
 public:
  // Neither is owned: the display is the window's controller, which owns the form.
  QVFeedbackForm(QVFeedbackFormDisplay* display, std::shared_ptr<QVFeedbackSender> sender);
  ~QVFeedbackForm();

  static std::shared_ptr<QVFeedbackSheet> validateData(const std::string& name, const std::string& email,
                                                       const std::string& message,
                                                       const std::optional<std::string>& imagePath, qv::Error* error);
  std::shared_ptr<QVFeedbackSheet> validateData(qv::Error* error) const;

  const std::optional<std::string>& attachedImagePath() const { return attachedImagePath_; }
  // Stores the path (or none) and shows its last component.
  void attachImageWithPath(const std::optional<std::string>& path);
  // The choose-files panel for one file; a chosen file is attached.
  void attachClicked();
  void removeAttachmentClicked() { attachImageWithPath(std::nullopt); }

  void sendFeedback();
  bool isSending() const { return sending_; }
  // The window closed: a pending answer will be dropped.
  void windowDidClose();

 private:
  void setSending(bool sending);
  void finishSending(const std::optional<qv::Error>& error);

  QVFeedbackFormDisplay* display_;
  std::shared_ptr<QVFeedbackSender> sender_;
  std::optional<std::string> attachedImagePath_;
  bool sending_ = false;
  // Each send and each closing moves it on; an answer counts only for the send it belongs to.
  uint64_t sendGeneration_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
