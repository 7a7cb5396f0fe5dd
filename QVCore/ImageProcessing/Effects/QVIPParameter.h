#pragma once
// One adjustable setting of an effect. A new value or new optional data is recorded as an
// edit-history step (before it is stored), announced by notification and reported to the parent
// effect, which writes it into the engine. Setting the current value (or the very same data with
// the same code) again is no change. Nothing clamps values against the range.
//
// Twins: a parameter can follow another one with the same identifier (`syncWithParameter`);
// every change of the twin is applied here as a full change, and because both setters stop on
// "no change" two parameters that follow each other do not echo.
//
// Main thread only; the engine work a change causes runs on the processor's queue.
#include "QVCore/ImageProcessing/Base/QVEffectParameterProtocol.h"
#include "QVPlatform/NotificationCenter.h"

// Notifications (object: the parameter).
inline constexpr const char* kQVEffectParamDidChangeNotification = "QVEffectParamDidChangeNotification";
inline constexpr const char* kQVEffectPramaDidChangeOptionalData = "QVEffectPramaDidChangeOptionalData";
inline constexpr const char* kQVEffectParamResetNotification = "QVEffectParamResetNotification";
// Change info of a parameter change.
inline constexpr const char* kQVParameterStateInfoType = "kQVParameterStateInfoType";
inline constexpr const char* kQVParameterIDKey = "kQVParameterIDKey";
inline constexpr const char* kQVParameterSkipUpdateLowResKey = "QVParameterSkipUpdateLowResKey";
inline constexpr const char* kQVParameterDoNotResetKey = "kQVParameterDoNotResetKey";
inline constexpr const char* kQVParameterOptionalDataTypeKey = "QVParameterOptionalDataTypeKey";

class QVIPParameter : public QVEffectParameterProtocol {
 public:
  QVIPParameter() = default;
  static std::shared_ptr<QVIPParameter> make() { return std::make_shared<QVIPParameter>(); }

  // ---- Changes ----
  void setValue(double value) override;
  void setOptionalData(QVOptionalData data, uint64_t type) override;
  void reset() override;
  bool syncWithParameter(const std::shared_ptr<QVEffectParameterProtocol>& parameter) override;
  void copyValuesFromParameter(const QVEffectParameterProtocol& source, bool overrideNonDefault) override;
  double visibleValue() const override { return value_; }
  uint64_t hash() const override;

  // The parent's full name (the history action names start with it).
  std::optional<std::string> fullName() const;
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() const;
  // The additional-info text of the history step for a value.
  std::string additionalInfoForValue(double value) const;

  // Twin mechanism.
  std::shared_ptr<QVEffectParameterProtocol> syncParameter() const { return syncParameter_.lock(); }
  void setSyncParameter(const std::shared_ptr<QVEffectParameterProtocol>& parameter) { syncParameter_ = parameter; }
  void observeNotificationsFromParameter(const std::shared_ptr<QVEffectParameterProtocol>& parameter);
  void stopObservingNotificationsFromParameter();
  void parameterDidChange(const qv::Notification& notification);
  void processSync();

  // ---- Fields ----
  bool hidden() const override { return hidden_; }
  void setHidden(bool hidden) override { hidden_ = hidden; }
  bool fillNonDefaultValue() const override { return fillNonDefaultValue_; }
  void setFillNonDefaultValue(bool fill) override { fillNonDefaultValue_ = fill; }
  bool doNotReset() const override { return doNotReset_; }
  void setDoNotReset(bool doNotReset) override { doNotReset_ = doNotReset; }
  bool fillFromPreset() const override { return fillFromPreset_; }
  void setFillFromPreset(bool fill) override { fillFromPreset_ = fill; }
  std::shared_ptr<QVParentProtocol> parent() const override { return parent_.lock(); }
  void setParent(std::weak_ptr<QVParentProtocol> parent) override { parent_ = std::move(parent); }
  double value() const override { return value_; }
  double maxValue() const override { return maxValue_; }
  void setMaxValue(double value) override { maxValue_ = value; }
  double minValue() const override { return minValue_; }
  void setMinValue(double value) override { minValue_ = value; }
  double defaultValue() const override { return defaultValue_; }
  void setDefaultValue(double value) override { defaultValue_ = value; }
  std::string numberFormat() const override { return numberFormat_; }
  void setNumberFormat(const std::string& format) override { numberFormat_ = format; }
  std::string hiddenCondition() const override { return hiddenCondition_; }
  void setHiddenCondition(const std::string& condition) override { hiddenCondition_ = condition; }
  std::optional<double> numberMultiplier() const override { return numberMultiplier_; }
  void setNumberMultiplier(std::optional<double> multiplier) override { numberMultiplier_ = multiplier; }
  std::string name() const override { return name_; }
  void setName(const std::string& name) override { name_ = name; }
  std::optional<std::string> historyName() const override { return historyName_; }
  void setHistoryName(std::optional<std::string> name) override { historyName_ = std::move(name); }
  std::optional<std::string> historyPrefix() const override { return historyPrefix_; }
  void setHistoryPrefix(std::optional<std::string> prefix) override { historyPrefix_ = std::move(prefix); }
  std::optional<std::string> historySuffix() const override { return historySuffix_; }
  void setHistorySuffix(std::optional<std::string> suffix) override { historySuffix_ = std::move(suffix); }
  std::string identifier() const override { return identifier_; }
  void setIdentifier(const std::string& identifier) override { identifier_ = identifier; }
  QVOptionalData optionalData() const override { return optionalData_; }
  uint64_t optionalDataType() const override { return optionalDataType_; }
  std::vector<std::string> discreteValues() const override { return discreteValues_; }
  void setDiscreteValues(std::vector<std::string> values) override { discreteValues_ = std::move(values); }
  double discreteValuesMultiplier() const override { return discreteValuesMultiplier_; }
  void setDiscreteValuesMultiplier(double multiplier) override { discreteValuesMultiplier_ = multiplier; }
  std::string viewControllerType() const override { return viewControllerType_; }
  void setViewControllerType(const std::string& type) override { viewControllerType_ = type; }
  std::optional<bool> skipUpdateLowResOnChange() const override { return skipUpdateLowResOnChange_; }
  void setSkipUpdateLowResOnChange(std::optional<bool> skip) override { skipUpdateLowResOnChange_ = skip; }
  std::vector<qv::RGBAColor> defaultGradientColors() const override { return defaultGradientColors_; }
  void setDefaultGradientColors(std::vector<qv::RGBAColor> colors) override {
    defaultGradientColors_ = std::move(colors);
  }
  std::vector<qv::RGBAColor> rawGradientColors() const override { return rawGradientColors_; }
  void setRawGradientColors(std::vector<qv::RGBAColor> colors) override { rawGradientColors_ = std::move(colors); }
  int64_t rawDefColorIdx() const override { return rawDefColorIdx_; }
  void setRawDefColorIdx(int64_t index) override { rawDefColorIdx_ = index; }
  QVValueMapper valueMapper() const override { return valueMapper_; }
  void setValueMapper(QVValueMapper mapper) override { valueMapper_ = std::move(mapper); }
  std::optional<double> visibleMin() const override { return visibleMin_; }
  void setVisibleMin(std::optional<double> value) override { visibleMin_ = value; }
  std::optional<double> visibleMax() const override { return visibleMax_; }
  void setVisibleMax(std::optional<double> value) override { visibleMax_ = value; }

 protected:
  // The change info every change starts with.
  QVChangeInfo baseChangeInfo() const;
  // "<prefix>: " or empty.
  std::string historyPrefixText() const;

 private:
  bool hidden_ = false;
  bool fillNonDefaultValue_ = true;
  bool doNotReset_ = false;
  bool fillFromPreset_ = false;
  std::weak_ptr<QVParentProtocol> parent_;
  double value_ = 0;
  double maxValue_ = 0, minValue_ = 0;
  std::string numberFormat_;
  std::string hiddenCondition_;
  std::optional<double> numberMultiplier_;
  double defaultValue_ = 0;
  std::string name_;
  std::optional<std::string> historyName_, historyPrefix_, historySuffix_;
  std::string identifier_;
  QVOptionalData optionalData_;
  uint64_t optionalDataType_ = QVParameterOptionalDataTypeNone;
  std::vector<std::string> discreteValues_;
  double discreteValuesMultiplier_ = 10.0;
  std::string viewControllerType_;
  std::optional<bool> skipUpdateLowResOnChange_;
  std::vector<qv::RGBAColor> defaultGradientColors_, rawGradientColors_;
  int64_t rawDefColorIdx_ = 0;
  QVValueMapper valueMapper_;
  std::optional<double> visibleMin_, visibleMax_;
  std::weak_ptr<QVEffectParameterProtocol> syncParameter_;
  qv::ObserverToken syncValueToken_, syncDataToken_;
};
