#pragma once
// The resize section editor: a pop-up of resize types (Original, Long Edge, Short Edge,
// Dimensions), the value editor of the type beside it (one number and "px", or width "x" height
// "px") and the "Don't Enlarge" check box below (on when the preset must not enlarge).
//
// Fields take positive whole numbers up to the engine's largest image side; a cleared field
// stores the empty text (an empty side for Dimensions). Re-typing the value already stored
// reports nothing; choosing another type clears the value and reports once.
#include <QPointer>
#include <array>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSectionViewController.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsResizing.h"
#include "QVAppKit/QVDisabledButton.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVTextField.h"

// The value editor of one resize type: 1 and 2 one field, 3 two.
class QVBatchResizeOptionViewController : public QVBatchOptionViewController {
 public:
  using QVBatchOptionViewController::QVBatchOptionViewController;
  QVTextField* field1() const { return field1_; }
  QVTextField* field2() const { return field2_; }
  QVTextField* label1() const { return label1_; }
  QVTextField* label2() const { return label2_; }
  void updateValue(const std::optional<std::string>& value) override;
  std::optional<std::string> currentValue() const override;
  void viewDidLoad() override;

 private:
  QPointer<QVTextField> field1_, field2_, label1_, label2_;
};

class QVBatchResizeViewController : public QVBatchPresetSectionEditor<QVBatchSettingsResizing>,
                                    public QVBatchOptionViewControllerDelegate {
 public:
  ~QVBatchResizeViewController() override;
  QVPopUpButton* resizePopupButton();
  QVDisabledButton* dontEnlargeCheckbox();
  // For the types 1, 2 and 3, in that order.
  const std::array<std::unique_ptr<QVBatchResizeOptionViewController>, 3>& resizeOptionVCs();
  QVBatchResizeOptionViewController* visibleOptionVC();

  void resizePopupButtonSwitched();
  void dontEnlargeCheckboxClicked(QVDisabledButton* checkbox);
  void batchOptionVC(QVBatchOptionViewController* editor, const std::optional<std::string>& value) override;

  std::vector<QWidget*> roundedViews() const override { return {popup_.data()}; }
  QSize preferredSize() const override { return QSize(340, 62); }

 protected:
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsResizing>& setting) override;

 private:
  void onResizeTypeDidChanged(uint64_t type);

  QPointer<QVPopUpButton> popup_;
  QPointer<QVDisabledButton> checkbox_;
  std::array<std::unique_ptr<QVBatchResizeOptionViewController>, 3> optionVCs_;
};
