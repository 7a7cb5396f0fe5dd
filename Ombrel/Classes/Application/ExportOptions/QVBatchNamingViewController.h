#pragma once
// The naming section editor: a segmented control picks the part shown (prefix, base, suffix,
// letters), a pop-up its type, and for the types that carry a value a small value editor beside
// the pop-up (custom text, counter start, timestamp format). A sample name below follows every
// change.
//
// Switching segments or showing a section changes nothing and reports nothing; choosing a type
// (also the one already chosen) resets the part's value to the type's default and reports once;
// every keystroke in a value editor reports once.
#include <QPointer>
#include <array>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSectionViewController.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsNaming.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVSegmentedControl.h"
#include "QVAppKit/QVTextField.h"

// The value editor of one part type: 2 custom text, 3 counter, 4 timestamp.
class QVBatchNamingOptionViewController : public QVBatchOptionViewController {
 public:
  using QVBatchOptionViewController::QVBatchOptionViewController;
  // The text field or pop-up that holds the value.
  QWidget* valueView() const { return valueView_; }
  void updateValue(const std::optional<std::string>& value) override;
  std::optional<std::string> currentValue() const override;
  void viewDidLoad() override;

 private:
  QPointer<QWidget> valueView_;
  QPointer<QWidget> label_;
};

class QVBatchNamingViewController : public QVBatchPresetSectionEditor<QVBatchSettingsNaming>,
                                    public QVBatchOptionViewControllerDelegate {
 public:
  ~QVBatchNamingViewController() override;
  QVSegmentedControl* namingSegmentedControl();
  QVPopUpButton* namingSectionPopupButton();
  QVTextField* exampleLabel();
  // For the types 2, 3 and 4, in that order.
  const std::array<std::unique_ptr<QVBatchNamingOptionViewController>, 3>& namingOptionVCs();
  // The value editor shown now, or null.
  QVBatchNamingOptionViewController* visibleOptionVC();

  void namingSegmentDidChange();
  void namingPopupSelectionDidChange();
  void batchOptionVC(QVBatchOptionViewController* editor, const std::optional<std::string>& value) override;

  std::vector<QWidget*> roundedViews() const override;
  QSize preferredSize() const override { return QSize(340, 93); }

 protected:
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsNaming>& setting) override;

 private:
  std::shared_ptr<QVBatchName> partForSegment(int segment) const;
  void reloadSegments();
  // Fills the pop-up with the segment's types and selects the part's type (nothing when the
  // segment offers none); the type selected, if any.
  std::optional<uint64_t> onDidChangeSegment(int segment);
  void onDidChangePopupToBatchType(std::optional<uint64_t> type, int segment);
  void updateExampleLabel();

  QPointer<QVSegmentedControl> segmentedControl_;
  QPointer<QVPopUpButton> popup_;
  QPointer<QVTextField> exampleLabel_;
  std::array<std::unique_ptr<QVBatchNamingOptionViewController>, 3> optionVCs_;
};
