#pragma once
// The settings pane of the export options: the shown preset's four sections (where to save, how to
// name, which format, how to resize) in their editors, under their titles, between thin dividers.
// Every edit goes into the pane's model (`QVBatchPresetSettingsModel`), which keeps the stored
// preset unchanged and collects the edits in a copy.
//
// Layout, in points from the pane's top left: dividers 2 high across the pane at 74, 204 and 332;
// titles 160 x 12 at 16 from the leading edge ("SAVE TO" at 16, "NAMING" and "FORMAT" 24 below
// dividers 1 and 2, "COLOR PROFILE" 24 above divider 3, "RESIZE" 24 below it); the editors from
// the titles' trailing edge (the saving editor 16 further left) to the pane's trailing edge:
// saving from the top to divider 1, the others 16 inside their dividers, resize down to the
// bottom. Titles and dividers lie below the editors.
//
// Main thread only.
#include <QPointer>
#include <array>
#include <memory>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchFormatViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchNamingViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSettingsModel.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchResizeViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSavingViewController.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVViewController.h"

class QVBatchPresetSettingsViewController : public QVViewControllerWithoutNib,
                                            public QVBatchPresetSectionViewControllerDelegate {
 public:
  static constexpr std::array<double, 3> kDividerTops = {74, 204, 332};
  static constexpr double kTitleWidth = 160, kTitleHeight = 12, kInset = 16, kLabelGap = 24;

  // The model is not owned; it outlives the pane (the preset list owns both).
  explicit QVBatchPresetSettingsViewController(QVBatchPresetSettingsModel& model);
  ~QVBatchPresetSettingsViewController() override;

  QVBatchPresetSettingsModel& model() { return model_; }
  // Shows the model's preset (the edited copy when there is one) in the editors.
  void reloadEditors();

  // Section editors: 0 saving, 1 naming, 2 format, 3 resizing.
  QVBatchPresetSectionViewController* sectionVC(size_t index);
  QVBatchSavingViewController* savingVC() { return saving_.get(); }
  QVBatchNamingViewController* namingVC() { return naming_.get(); }
  QVBatchFormatViewController* formatVC() { return format_.get(); }
  QVBatchResizeViewController* resizeVC() { return resize_.get(); }
  const std::array<QPointer<QVView>, 3>& strips() const { return strips_; }
  // The five titles: save to, naming, format, colour profile, resize.
  const std::array<QPointer<QVLabel>, 5>& titleLabels() const { return titles_; }
  QVLabel* topTitleView() const { return titles_[0]; }

  void viewDidLoad() override;

  // QVBatchPresetSectionViewControllerDelegate.
  void batchPresetSectionVC(QVBatchPresetSectionViewController* editor,
                            const std::shared_ptr<QVSerializationProtocol>& presetSetting) override;

 private:
  void layoutPane();

  QVBatchPresetSettingsModel& model_;
  std::unique_ptr<QVBatchSavingViewController> saving_;
  std::unique_ptr<QVBatchNamingViewController> naming_;
  std::unique_ptr<QVBatchFormatViewController> format_;
  std::unique_ptr<QVBatchResizeViewController> resize_;
  std::array<QPointer<QVView>, 3> strips_;
  std::array<QPointer<QVLabel>, 5> titles_;
};
