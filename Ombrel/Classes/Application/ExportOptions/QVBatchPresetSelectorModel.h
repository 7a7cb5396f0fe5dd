#pragma once
// The rules of the export options' preset list, without widgets: the shipped (type 1) and the
// user's (type 2) presets in two lists, in the store's order; at most one row selected across
// both; which preset shows when the window opens; editing mode (an edited copy is shown, no row
// selected, the save button visible); saving the shown settings as a user preset under a name
// typed in place; deleting a user preset after asking.
//
// Opening: the remembered preset's row when the store still has it; else the interim preset (the
// last edit, kept by the store) in editing mode; else the first shipped preset; else nothing.
//
// Saving: the shown settings (an edited copy, or a fresh copy of the shown preset) get a row at
// the end of the user list, selected, whose name is typed in place. The typed name is trimmed; an
// empty name, one with "/" or a leading ".", or the name of another user preset is refused with a
// short message and naming goes on. A taken name is written into the store (an alert tells when
// the write failed) and the lists reload in the store's order with that row selected.
//
// The widgets ask the model and redisplay when it tells them (`QVBatchPresetSelectorModelView`).
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSettingsModel.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"

// What the widgets redisplay when the model changes; every call has a default that does nothing.
class QVBatchPresetSelectorModelView {
 public:
  virtual ~QVBatchPresetSelectorModelView() = default;
  // The rows of the lists changed.
  virtual void batchPresetSelectorRowsDidChange() {}
  // The selected row changed (or none is selected now).
  virtual void batchPresetSelectorSelectionDidChange() {}
  virtual void batchPresetSelectorEditingModeDidChange(bool editingMode) {}
  // The settings pane shows another preset (a stored one or a new copy).
  virtual void batchPresetSelectorShownPresetDidChange() {}
};

class QVBatchPresetSelectorModel : public QVBatchPresetSettingsModelDelegate {
 public:
  using PresetPtr = std::shared_ptr<QVBatchPreset>;
  struct Row {
    int64_t type = 0;  // kQVBatchPresetTypeDefault or kQVBatchPresetTypeUser
    int64_t row = -1;
    bool operator==(const Row&) const = default;
  };
  enum class NamingResult { NotNaming, Saved, Refused, WriteFailed };

  explicit QVBatchPresetSelectorModel(std::shared_ptr<QVBatchPresetManager> store);
  ~QVBatchPresetSelectorModel() override;

  // Not owned; the view outlives the model or clears itself.
  void setView(QVBatchPresetSelectorModelView* view) { view_ = view; }
  const std::shared_ptr<QVBatchPresetManager>& store() const { return store_; }
  QVBatchPresetSettingsModel& settings() { return settings_; }
  const QVBatchPresetSettingsModel& settings() const { return settings_; }

  // ---- Lists ----
  // Reads both lists from the store again (a row being named stays at the end of the user list).
  void updateDataSource();
  const std::vector<PresetPtr>& presetsWithType(int64_t type) const;
  PresetPtr presetAt(Row row) const;

  // ---- Selection ----
  // Chooses what shows when the window opens (see the header comment).
  void open();
  std::optional<Row> selection() const { return selection_; }
  // A row was selected in a list: its preset shows as stored, editing mode ends and the store
  // remembers it. Rows out of range are ignored.
  void selectRow(Row row);
  // Whether a list may change its selection: outside editing mode no change may leave both lists
  // without a selected row (`leavesRowSelected`: whether the list keeps or gets a selected row).
  bool shouldChangeSelection(int64_t type, bool leavesRowSelected) const;

  // ---- Editing mode ----
  bool editingMode() const { return editingMode_; }
  void setEditingMode(bool editingMode);
  // The save button shows exactly in editing mode.
  bool saveButtonVisible() const { return editingMode_; }

  // ---- Result ----
  // What Continue hands out: the edited copy, made now from the shown preset when there was no
  // edit; nullptr when nothing is shown.
  PresetPtr selectedPreset() { return settings_.amendedPreset(); }

  // ---- Saving ----
  // Starts naming the shown settings as a new user preset; the row to name, or none when nothing
  // is shown or a name is being typed already.
  std::optional<Row> saveClicked();
  std::optional<Row> namingRow() const;
  PresetPtr namingPreset() const { return naming_; }
  // Why a typed name can't be taken (empty when it can). The name is trimmed first.
  std::string messageForName(const std::string& typed) const;
  // Ends naming with the typed text; Refused (naming goes on, `lastMessage` says why), Saved or
  // WriteFailed (the alert was shown).
  NamingResult finishNaming(const std::string& typed);
  const std::string& lastMessage() const { return lastMessage_; }

  // ---- Deleting ----
  // Asks, then deletes the selected user preset; false when nothing was deleted (no user row
  // selected, a row being named, or the user said no).
  bool deleteSelectedPreset();

  // QVBatchPresetSettingsModelDelegate.
  void batchPresetSettingsVCDidChangePreset() override;
  void batchPresetSettingsVCDidCreateAmendedPreset() override;
  void batchPresetSettingsVCDidChangeInterimPreset(const std::shared_ptr<QVBatchPreset>& amended) override;

  static std::string trimmedName(const std::string& typed);

 private:
  void setSelection(std::optional<Row> selection);
  std::optional<Row> rowOfPreset(const PresetPtr& preset) const;

  std::shared_ptr<QVBatchPresetManager> store_;
  QVBatchPresetSettingsModel settings_;
  QVBatchPresetSelectorModelView* view_ = nullptr;
  std::vector<PresetPtr> defaults_, users_;
  std::optional<Row> selection_;
  bool editingMode_ = false;
  PresetPtr naming_;
  std::string lastMessage_;
};
