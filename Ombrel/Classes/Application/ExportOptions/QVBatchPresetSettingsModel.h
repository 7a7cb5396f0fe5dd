#pragma once
// What the settings pane of the export options shows, without widgets: a stored preset, unchanged
// (`preset`), or the edited copy of one (`amendedPreset`). Once something was shown exactly one of
// the two is set.
//
// The copy is made on the first edit, or when the window asks for its result: it is always a new
// user preset (type 2, an identifier of its own, version 1, named "Unknown"), so the stored
// preset itself never changes and the window never hands out a stored object.
//
// The delegate (the preset list) hears three things: a stored preset is now shown, an edited copy
// now exists, and the copy changed (with the copy).
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/Batch/QVSerializationProtocol.h"

class QVBatchPresetSettingsModelDelegate {
 public:
  virtual ~QVBatchPresetSettingsModelDelegate() = default;
  virtual void batchPresetSettingsVCDidChangePreset() {}
  virtual void batchPresetSettingsVCDidCreateAmendedPreset() {}
  virtual void batchPresetSettingsVCDidChangeInterimPreset(const std::shared_ptr<QVBatchPreset>& amended) {}
};

class QVBatchPresetSettingsModel {
 public:
  using PresetPtr = std::shared_ptr<QVBatchPreset>;

  // Not owned; the delegate outlives the model or clears itself.
  void setDelegate(QVBatchPresetSettingsModelDelegate* delegate) { delegate_ = delegate; }

  // Shows a stored preset and drops any edited copy; false (and nothing said) when that very
  // object is already shown.
  bool setPreset(const PresetPtr& preset);
  const PresetPtr& preset() const { return preset_; }
  // The edited copy, made now from the shown preset when there is none yet; nullptr when nothing
  // is shown.
  PresetPtr amendedPreset();
  // The copy without making one.
  const PresetPtr& existingAmendedPreset() const { return amendedPreset_; }
  // What the editors show: the copy when there is one, else the stored preset.
  PresetPtr shownPreset() const { return amendedPreset_ ? amendedPreset_ : preset_; }

  // An editor's changed section goes into the copy (made on the first edit); a section of any
  // other kind changes nothing and says nothing. False then, or when nothing is shown.
  bool didChangePresetSetting(const std::shared_ptr<QVSerializationProtocol>& setting);

 private:
  PresetPtr preset_;
  PresetPtr amendedPreset_;
  QVBatchPresetSettingsModelDelegate* delegate_ = nullptr;
};
