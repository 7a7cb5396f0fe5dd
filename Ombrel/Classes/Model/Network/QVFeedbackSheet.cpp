#include "Ombrel/Classes/Model/Network/QVFeedbackSheet.h"

std::optional<qv::Dictionary> QVFeedbackSheet::serialize() const {
  qv::Dictionary form;
  if (name_) form["name"] = *name_;
  if (email_) form["email"] = *email_;
  if (message_) form["text"] = *message_;
  if (imagePath_) form["image"] = qv::Dictionary{{"imagePath", *imagePath_}, {"name", kQVFeedbackFileFieldName}};
  return form;
}
