#pragma once
// The content of the export options window: the shipped presets ("DEFAULT PRESETS") and the
// user's own ("USER PRESETS") in two lists on the left, the settings pane of the shown preset on
// the right, and at the bottom right Continue and, in editing mode, "SAVE SETTINGS...". The rules
// live in `QVBatchPresetSelectorModel`; this controller shows them and forwards the user's input:
// list selections, Delete or Backspace on a user preset, the two buttons and the name typed into
// the line editor that saving opens on the new row (Return, Tab, a click elsewhere or closing the
// window end it; a refused name keeps the editor open with the reason below the lists).
//
// Layout, in points from the top left of a 750 x 526 window: the default list 18 from the left,
// 200 wide, top 54, 86 high; the user list below it 20 further down to the bottom (each with its
// 20-point title above the rows); the pane 16 right of the lists to 16 from the right, top 54,
// 16 above Continue; Continue 116 x 28, 16 from the right and the bottom; the save button 164
// wide, 8 left of Continue.
//
// Main thread only.
#include <QLineEdit>
#include <QPointer>
#include <memory>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSelectorModel.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSettingsViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVSettingsPresetViews.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVViewController.h"

class QVBatchPresetSelectorViewController;

class QVBatchPresetSelectorViewControllerDelegate {
 public:
  virtual ~QVBatchPresetSelectorViewControllerDelegate() = default;
  virtual void batchPresetSelectorOKDidClick(QVBatchPresetSelectorViewController* selector) {}
};

class QVBatchPresetSelectorViewController : public QVViewControllerWithoutNib, public QVBatchPresetSelectorModelView {
 public:
  // Geometry of the window's content (points, from the top left).
  static constexpr double kListLeft = 18, kListWidth = 200, kTop = 54, kDefaultListHeight = 86, kListGap = 20;
  static constexpr double kListTitleHeight = 20, kListTitleGap = 4, kMargin = 16;
  static constexpr double kOKWidth = 116, kButtonHeight = 28, kSaveWidth = 164, kButtonGap = 8;
  // The default presets' list: at least kDefaultListHeight, tall enough to show up to six presets
  // without scrolling (the user list below takes what is left).
  static double defaultListHeightForCount(size_t count);

  // Without a store, the facade's.
  explicit QVBatchPresetSelectorViewController(std::shared_ptr<QVBatchPresetManager> store = nullptr);
  ~QVBatchPresetSelectorViewController() override;

  QVBatchPresetSelectorViewControllerDelegate* delegate() const { return delegate_; }
  // Not owned; the delegate (the window controller) outlives this controller or clears itself.
  void setDelegate(QVBatchPresetSelectorViewControllerDelegate* delegate) { delegate_ = delegate; }

  QVBatchPresetSelectorModel& model() { return *model_; }
  QVBatchPresetSettingsViewController* settingsVC() { return settingsVC_.get(); }
  const QVSettingsPresetViews& defaultPresetsViews() const { return defaultViews_; }
  const QVSettingsPresetViews& customPresetsViews() const { return customViews_; }
  QVSettingsPresetTableView* tableForType(int64_t type) const;
  QVRoundedSpringButton* okButton();
  QVRoundedSpringButton* saveButton();
  // The line editor of the row being named (none when no name is typed).
  QLineEdit* nameEditor() const { return nameEditor_; }
  // Why the typed name was refused (empty when it was not).
  QString namingMessage() const;

  // What Continue hands out (see QVBatchPresetSelectorModel::selectedPreset).
  std::shared_ptr<QVBatchPreset> selectedPreset() { return model_->selectedPreset(); }

  void viewDidLoad() override;
  // Chooses what shows as the window opens (once).
  void viewWillAppear();
  void okClicked();
  void saveClicked();
  // Delete or Backspace: asks, then deletes the selected user preset.
  void deleteClicked();
  // Ends the naming with the text typed so far (the window closes, or the focus moved away);
  // true when no naming goes on afterwards.
  bool endNaming();

  // QVBatchPresetSelectorModelView.
  void batchPresetSelectorRowsDidChange() override;
  void batchPresetSelectorSelectionDidChange() override;
  void batchPresetSelectorEditingModeDidChange(bool editingMode) override;
  void batchPresetSelectorShownPresetDidChange() override;

 private:
  class KeyFilter;
  QVSettingsPresetViews createTableViewContainerForPresetType(int64_t type, const std::string& title);
  void onTableSelectionDidChange(QVSettingsPresetTableView* table);
  void applySelection();
  void layoutViews();
  void openNameEditor();
  void placeNameEditor();

  std::unique_ptr<QVBatchPresetSelectorModel> model_;
  std::unique_ptr<QVBatchPresetSettingsViewController> settingsVC_;
  QVBatchPresetSelectorViewControllerDelegate* delegate_ = nullptr;
  QVSettingsPresetViews defaultViews_, customViews_;
  QPointer<QVRoundedSpringButton> okButton_, saveButton_;
  QPointer<QLineEdit> nameEditor_;
  QPointer<QLabel> messageLabel_;
  KeyFilter* keyFilter_ = nullptr;
  bool applyingSelection_ = false;
  bool appeared_ = false;
  bool endingNaming_ = false;
};
