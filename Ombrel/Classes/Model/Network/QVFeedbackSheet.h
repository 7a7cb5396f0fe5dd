#pragma once
// One message to the feedback service: the sender's name and e-mail address, the text, and at most
// one attached image.
//
// Its serialised form is the multipart form the network client sends: "name", "email" and "text",
// each only when set, and, only with an attachment, "image" = {"imagePath": the file,
// "name": "FeedBack[file]"} (the file part and its form field).
#include <optional>
#include <string>

#include "Ombrel/Classes/Model/Network/QVSerializableNetworkItem.h"

inline constexpr const char* kQVFeedbackFileFieldName = "FeedBack[file]";

class QVFeedbackSheet : public QVSerializableNetworkItem {
 public:
  const std::optional<std::string>& name() const { return name_; }
  void setName(std::optional<std::string> name) { name_ = std::move(name); }
  const std::optional<std::string>& email() const { return email_; }
  void setEmail(std::optional<std::string> email) { email_ = std::move(email); }
  const std::optional<std::string>& message() const { return message_; }
  void setMessage(std::optional<std::string> message) { message_ = std::move(message); }
  const std::optional<std::string>& imagePath() const { return imagePath_; }
  void setImagePath(std::optional<std::string> path) { imagePath_ = std::move(path); }

  std::optional<qv::Dictionary> serialize() const override;

 private:
  std::optional<std::string> name_, email_, message_, imagePath_;
};
