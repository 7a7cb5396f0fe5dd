#pragma once
// One image operation of an adjustment layer. It owns an engine effect made by the engine's
// effect factory and mirrors the engine's parameter list as parameter objects, in the engine's
// order. A parameter change arrives as a child report: the effect writes value and optional data
// into the engine effect on the processor's serial queue (at once when there is no processor or
// the caller already runs on that queue), then reports to its layer and posts
// "kQVEffectParameterDidChange".
//
// Made through the static factories; main thread for model changes.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVImageEffectProtocol.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffectParametersGroup.h"
#include "QVCore/ImageProcessing/Effects/QVIPParameter.h"
#include "rova/Image.h"
#include "rova/effects/Effect.h"

// Notifications (object: the effect).
inline constexpr const char* kQVEffectParameterDidChange = "kQVEffectParameterDidChange";
inline constexpr const char* kQVChangedParameterUserInfoKey = "kQVChangedParameterUserInfoKey";
inline constexpr const char* kQVEffectResetParams = "kQVEffectResetParams";
// Added to the change info an effect passes up.
inline constexpr const char* kQVEffectIDUserInfoKey = "kQVEffectIDUserInfoKey";

class QVIPEffect : public QVImageEffectProtocol {
 public:
  QVIPEffect() = default;

  // The effect for an engine identifier, over the picture when one is given. An identifier of a
  // raw variant ("ROVARaw...") that the engine does not make falls back to the ordinary effect.
  // nullptr when the engine makes no effect for it.
  static std::shared_ptr<QVIPEffect> initWithIdentifier(const std::string& identifier,
                                                        const rova::ImagePtr& originalImage = nullptr);
  // The effect over an existing engine effect (no check against the supported list).
  static std::shared_ptr<QVIPEffect> initWithCppEffect(const rova::EffectPtr& effect);

  // ---- Engine ----
  rova::EffectPtr cppEffect() const { return cppEffect_; }
  // Writes every parameter into the engine (the layer calls it when it adds the effect).
  void updateParameters();
  // Writes one parameter into the engine; nothing for a parameter that is not this effect's.
  void parameterUpdated(const std::shared_ptr<QVEffectParameterProtocol>& parameter);
  // Hands the engine effect a new picture context, keeping the parameter values.
  void updateParametersContextWithOriginalImage(const rova::ImagePtr& image);

  // "parameterIdentifier.key" answers from that parameter ("Exposure.value"); a plain key from the
  // effect ("identifier", "name", ...). Null for an unknown key.
  qv::Value valueForKeyPath(const std::string& keyPath);

  // ---- QVImageEffectProtocol ----
  const QVParameterList& parameters() const override { return parameters_; }
  void resetParams() override;
  void resetParamsWithIdentifiers(const std::vector<std::string>& identifiers) override;
  using QVImageEffectProtocol::copyParamsFromEffect;
  void copyParamsFromEffect(const QVImageEffectProtocol& effect, bool overrideNonDefault) override;
  void activatePreset(const std::shared_ptr<QVEffectPreset>& preset) override;
  bool syncWithEffect(const std::shared_ptr<QVImageEffectProtocol>& effect) override;
  std::string idForPreset() override;
  uint64_t hash() const override;
  bool hasChanges() const override;

  // ---- QVParentProtocol ----
  void childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  void childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  void childInvalidated(const std::shared_ptr<QVModelObject>& child) override;
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override;
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override;
  std::optional<std::string> fullName() override;

  // ---- Fields ----
  std::string identifier() const override { return identifier_; }
  void setIdentifier(const std::string& identifier) override { identifier_ = identifier; }
  std::string name() const override { return name_; }
  void setName(const std::string& name) override { name_ = name; }
  std::shared_ptr<QVParentProtocol> parent() const override { return parent_.lock(); }
  void setParent(std::weak_ptr<QVParentProtocol> parent) override { parent_ = std::move(parent); }
  void setParameters(QVParameterList parameters) { parameters_ = std::move(parameters); }
  bool separatable() const override { return separatable_; }
  void setSeparatable(bool separatable) { separatable_ = separatable; }
  const QVParametersGroupList& tabGroups() const override { return tabGroups_; }
  void setTabGroups(QVParametersGroupList groups) { tabGroups_ = std::move(groups); }
  const QVParametersGroupList& popupMenuGroups() const override { return popupMenuGroups_; }
  void setPopupMenuGroups(QVParametersGroupList groups) { popupMenuGroups_ = std::move(groups); }
  std::string groupsPopupMenuName() const override { return groupsPopupMenuName_; }
  void setGroupsPopupMenuName(const std::string& name) { groupsPopupMenuName_ = name; }
  const QVParameterList& ungrouppedParameters() const override { return ungrouppedParameters_; }
  void setUngrouppedParameters(QVParameterList parameters) { ungrouppedParameters_ = std::move(parameters); }
  const std::vector<std::shared_ptr<QVEffectPreset>>& presets() const override { return presets_; }
  void setPresets(std::vector<std::shared_ptr<QVEffectPreset>> presets) { presets_ = std::move(presets); }
  std::string selectedPresetId() const override { return selectedPresetId_; }
  void setSelectedPresetId(const std::string& identifier) override { selectedPresetId_ = identifier; }
  const QVParametersGroupList& groups() const override { return groups_; }
  void setGroups(QVParametersGroupList groups) { groups_ = std::move(groups); }
  const qv::Value& effectInfo() const override { return effectInfo_; }
  void setEffectInfo(qv::Value info) { effectInfo_ = std::move(info); }
  std::shared_ptr<QVImageEffectProtocol> syncEffect() const override { return syncEffect_.lock(); }

 protected:
  // The class of the parameter objects the effect makes.
  virtual std::shared_ptr<QVIPParameter> makeParameter() const { return QVIPParameter::make(); }
  // Both factories of a subclass go through these.
  template <class E>
  static std::shared_ptr<E> makeWithIdentifier(const std::string& identifier, const rova::ImagePtr& originalImage) {
    auto effect = std::make_shared<E>();
    return effect->setUpWithIdentifier(identifier, originalImage) ? effect : nullptr;
  }
  template <class E>
  static std::shared_ptr<E> makeWithCppEffect(const rova::EffectPtr& cppEffect) {
    auto effect = std::make_shared<E>();
    return effect->setUpWithCppEffect(cppEffect) ? effect : nullptr;
  }
  bool setUpWithIdentifier(const std::string& identifier, const rova::ImagePtr& originalImage);
  bool setUpWithCppEffect(const rova::EffectPtr& cppEffect);

 private:
  void makeParameters();

  rova::EffectPtr cppEffect_;
  QVParameterList parameters_;
  bool separatable_ = false;
  std::string name_;
  std::weak_ptr<QVParentProtocol> parent_;
  std::string identifier_;
  QVParametersGroupList tabGroups_, popupMenuGroups_;
  std::string groupsPopupMenuName_;
  QVParameterList ungrouppedParameters_;
  std::vector<std::shared_ptr<QVEffectPreset>> presets_;
  std::string selectedPresetId_;
  QVParametersGroupList groups_;
  qv::Value effectInfo_;
  std::optional<std::string> idForPreset_;
  std::weak_ptr<QVImageEffectProtocol> syncEffect_;
};
