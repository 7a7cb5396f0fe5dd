#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetSelectorModel.h"

#include <algorithm>

#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Localization.h"

namespace {

const std::vector<std::shared_ptr<QVBatchPreset>>& noPresets() {
  static const std::vector<std::shared_ptr<QVBatchPreset>> none;
  return none;
}

std::string localized(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

}  // namespace

QVBatchPresetSelectorModel::QVBatchPresetSelectorModel(std::shared_ptr<QVBatchPresetManager> store)
    : store_(std::move(store)) {
  settings_.setDelegate(this);
  updateDataSource();
}

QVBatchPresetSelectorModel::~QVBatchPresetSelectorModel() { settings_.setDelegate(nullptr); }

// ---- Lists ----

void QVBatchPresetSelectorModel::updateDataSource() {
  defaults_ = store_ ? store_->presetsWithType(kQVBatchPresetTypeDefault) : std::vector<PresetPtr>{};
  users_ = store_ ? store_->presetsWithType(kQVBatchPresetTypeUser) : std::vector<PresetPtr>{};
  if (naming_) users_.push_back(naming_);
  if (view_) view_->batchPresetSelectorRowsDidChange();
}

const std::vector<QVBatchPresetSelectorModel::PresetPtr>& QVBatchPresetSelectorModel::presetsWithType(
    int64_t type) const {
  if (type == kQVBatchPresetTypeDefault) return defaults_;
  if (type == kQVBatchPresetTypeUser) return users_;
  return noPresets();
}

QVBatchPresetSelectorModel::PresetPtr QVBatchPresetSelectorModel::presetAt(Row row) const {
  const auto& rows = presetsWithType(row.type);
  return row.row >= 0 && size_t(row.row) < rows.size() ? rows[size_t(row.row)] : nullptr;
}

std::optional<QVBatchPresetSelectorModel::Row> QVBatchPresetSelectorModel::rowOfPreset(const PresetPtr& preset) const {
  for (int64_t type : {kQVBatchPresetTypeDefault, kQVBatchPresetTypeUser}) {
    const auto& rows = presetsWithType(type);
    auto it = std::find(rows.begin(), rows.end(), preset);
    if (it != rows.end()) return Row{type, int64_t(it - rows.begin())};
  }
  return std::nullopt;
}

// ---- Selection ----

void QVBatchPresetSelectorModel::open() {
  if (!store_) return;
  const auto remembered = store_->selectedPresetUUID();
  const auto found = store_->selectionForPresetWithUUID(remembered.value_or(""));
  if (remembered && found.index != QVBatchPresetManager::kNotFound) {
    selectRow(Row{found.type == kQVBatchPresetTypeDefault ? kQVBatchPresetTypeDefault : kQVBatchPresetTypeUser,
                  int64_t(found.index)});
  } else if (auto interim = store_->interimPreset()) {
    settings_.setPreset(interim);
    setEditingMode(true);
    if (view_) view_->batchPresetSelectorShownPresetDidChange();
  } else if (!defaults_.empty()) {
    selectRow(Row{kQVBatchPresetTypeDefault, 0});
  }
}

void QVBatchPresetSelectorModel::selectRow(Row row) {
  auto preset = presetAt(row);
  if (!preset) return;
  setSelection(row);
  if (settings_.setPreset(preset) && view_) view_->batchPresetSelectorShownPresetDidChange();
  // A stored preset is shown again (also when it already was, after an edit was dropped).
  setEditingMode(false);
  if (store_ && preset != naming_) store_->setSelectedPresetUUID(preset->uuid());
}

bool QVBatchPresetSelectorModel::shouldChangeSelection(int64_t type, bool leavesRowSelected) const {
  if (editingMode_ || leavesRowSelected) return true;
  return selection_ && selection_->type != type;
}

void QVBatchPresetSelectorModel::setSelection(std::optional<Row> selection) {
  if (selection_ == selection) return;
  selection_ = selection;
  if (view_) view_->batchPresetSelectorSelectionDidChange();
}

// ---- Editing mode ----

void QVBatchPresetSelectorModel::setEditingMode(bool editingMode) {
  if (editingMode_ == editingMode) return;
  editingMode_ = editingMode;
  // The edited copy belongs to neither list.
  if (editingMode) setSelection(std::nullopt);
  if (view_) view_->batchPresetSelectorEditingModeDidChange(editingMode);
}

void QVBatchPresetSelectorModel::batchPresetSettingsVCDidChangePreset() { setEditingMode(false); }

void QVBatchPresetSelectorModel::batchPresetSettingsVCDidCreateAmendedPreset() { setEditingMode(true); }

void QVBatchPresetSelectorModel::batchPresetSettingsVCDidChangeInterimPreset(
    const std::shared_ptr<QVBatchPreset>& amended) {
  // The edit stands for the remembered selection from now on, also after the window closes.
  if (!store_) return;
  store_->setSelectedPresetUUID(std::nullopt);
  store_->setInterimPreset(amended);
}

// ---- Saving ----

std::optional<QVBatchPresetSelectorModel::Row> QVBatchPresetSelectorModel::saveClicked() {
  if (naming_) return std::nullopt;
  auto preset = settings_.amendedPreset();
  if (!preset) return std::nullopt;
  naming_ = preset;
  lastMessage_.clear();
  users_.push_back(preset);
  if (view_) view_->batchPresetSelectorRowsDidChange();
  const Row row{kQVBatchPresetTypeUser, int64_t(users_.size()) - 1};
  selectRow(row);
  return row;
}

std::optional<QVBatchPresetSelectorModel::Row> QVBatchPresetSelectorModel::namingRow() const {
  if (!naming_) return std::nullopt;
  return Row{kQVBatchPresetTypeUser, int64_t(users_.size()) - 1};
}

std::string QVBatchPresetSelectorModel::trimmedName(const std::string& typed) {
  const auto isSpace = [](unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  size_t begin = 0, end = typed.size();
  while (begin < end && isSpace(typed[begin])) ++begin;
  while (end > begin && isSpace(typed[end - 1])) --end;
  return typed.substr(begin, end - begin);
}

std::string QVBatchPresetSelectorModel::messageForName(const std::string& typed) const {
  const std::string name = trimmedName(typed);
  if (name.empty()) return localized("Enter a name for the preset.");
  if (name.find('/') != std::string::npos) return localized("A preset name can't contain \"/\".");
  if (name.front() == '.') return localized("A preset name can't begin with \".\".");
  for (const auto& other : users_) {
    if (other != naming_ && QVBatchTextHelpers::caseInsensitiveEquals(other->name(), name))
      return localized("A user preset with this name already exists.");
  }
  return {};
}

QVBatchPresetSelectorModel::NamingResult QVBatchPresetSelectorModel::finishNaming(const std::string& typed) {
  if (!naming_) return NamingResult::NotNaming;
  lastMessage_ = messageForName(typed);
  if (!lastMessage_.empty()) return NamingResult::Refused;
  auto preset = std::move(naming_);
  naming_ = nullptr;
  preset->setName(trimmedName(typed));
  const bool written = store_ && store_->savePreset(preset);
  updateDataSource();
  setSelection(rowOfPreset(preset));
  if (store_) store_->setSelectedPresetUUID(preset->uuid());
  if (!written) {
    QVSolvaneAlerts::showAlertBatchPresetNotSavedWithName(preset->name());
    return NamingResult::WriteFailed;
  }
  return NamingResult::Saved;
}

// ---- Deleting ----

bool QVBatchPresetSelectorModel::deleteSelectedPreset() {
  if (!selection_ || selection_->type != kQVBatchPresetTypeUser || naming_) return false;
  auto preset = presetAt(*selection_);
  if (!preset || !store_) return false;
  if (!QVSolvaneAlerts::showAlertDeleteBatchPresetWithName(preset->name())) return false;
  store_->removePreset(preset);
  store_->setSelectedPresetUUID(std::nullopt);
  // The pane keeps showing the deleted preset's settings until another row is chosen.
  setSelection(std::nullopt);
  updateDataSource();
  return true;
}
