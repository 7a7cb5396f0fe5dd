#pragma once
// The attachment of the feedback form: a paper-clip icon, the attached file's name and a small
// button that removes the attachment (it tells the delegate).
//
// Main thread only.
#include <string>

#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVView.h"

class QVAttachedImageView;

class QVAttachedImageViewDelegate {
 public:
  virtual ~QVAttachedImageViewDelegate() = default;
  virtual void attachedImageViewRemoveButtonClicked(QVAttachedImageView* view) {}
};

class QVAttachedImageView : public QVView {
 public:
  static constexpr double kIconWidth = 15;
  static constexpr double kButtonSide = 12;

  using QVView::QVView;
  void addSubviews() override;
  void setupLayoutConstraints() override;

  const std::string& attachmentFilename() const { return attachmentFilename_; }
  // A new name becomes the label's title and the label is laid out again.
  void setAttachmentFilename(const std::string& name);

  QVImageView* attachmentIcon() const { return attachmentIcon_; }
  QVLabel* filenameLabel() const { return filenameLabel_; }
  QVImageView* removeButton() const { return removeButton_; }
  // The width the icon, the whole name and the button take.
  double fittingWidth() const;

  // Not owned: the delegate outlives the view (the view controller that holds it).
  void setDelegate(QVAttachedImageViewDelegate* delegate) { delegate_ = delegate; }
  // What a click on the remove button does.
  void removeClicked();

 private:
  std::string attachmentFilename_;
  QVImageView* attachmentIcon_ = nullptr;
  QVLabel* filenameLabel_ = nullptr;
  QVImageView* removeButton_ = nullptr;
  QVAttachedImageViewDelegate* delegate_ = nullptr;
};
