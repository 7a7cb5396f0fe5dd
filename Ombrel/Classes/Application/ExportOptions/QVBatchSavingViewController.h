#pragma once
// The saving section editor: a Browse button that asks for a destination folder, the folder shown
// right-aligned below it, and the "Overwrite without warning" check box.
//
// Choosing the folder already stored, or cancelling the chooser, reports nothing; of several
// folders chosen only the first is kept. Each click of the check box reports once.
#include <QPointer>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSectionViewController.h"
#include "Ombrel/Classes/Business/Batch/QVBatchSettingsSaving.h"
#include "QVAppKit/QVDisabledButton.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringButton.h"

class QVBatchSavingViewController : public QVBatchPresetSectionEditor<QVBatchSettingsSaving> {
 public:
  QVRoundedSpringButton* browseButton();
  QVLabel* pathLabel();
  QVDisabledButton* shouldOverwriteCheckbox();

  // Opens the folder chooser (several folders may be picked; the first counts).
  void browseClicked();
  void onSelectedNewPath(const std::string& path);
  void shouldOverwriteSwitched(QVDisabledButton* checkbox);
  QSize preferredSize() const override { return QSize(360, 66); }

 protected:
  void addSubviews() override;
  void setupLayoutConstraints() override;
  void onDidSetPresetSetting(const std::shared_ptr<QVBatchSettingsSaving>& setting) override;

 private:
  void updatePath(const std::shared_ptr<QVBatchSettingsSaving>& setting);

  QPointer<QVRoundedSpringButton> browseButton_;
  QPointer<QVLabel> pathLabel_;
  QPointer<QVDisabledButton> shouldOverwriteCheckbox_;
};
