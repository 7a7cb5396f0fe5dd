#pragma once
// A parameter of an effect as effects, layers and the application see it: a number in the
// engine's units with its range and default, optional typed data, and the attributes an editor
// shows. Parameters are compared by identity; `hash` serves change detection only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVModelObject.h"
#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Value.h"

// Optional data is immutable and shared: setting the very same object again is no change, an
// equal copy is one.
using QVOptionalData = std::shared_ptr<const qv::Value>;
inline QVOptionalData QVMakeOptionalData(qv::Value value) {
  return std::make_shared<const qv::Value>(std::move(value));
}

// Type codes of optional data.
enum QVParameterOptionalDataType : uint64_t {
  QVParameterOptionalDataTypeNone = 0,
  QVParameterOptionalDataTypeNumbers = 1,      // a list of numbers
  QVParameterOptionalDataTypeText = 2,         // a text
  QVParameterOptionalDataTypeNamedTables = 3,  // name, table of numbers, name, table, ...
  QVParameterOptionalDataTypeImagePath = 4,    // the path of an image file
  QVParameterOptionalDataTypeImageFile = 5,    // {path key: path, original file name key: name}
};
inline constexpr const char* kQVParameterOptionalDataPathKey = "QVParameterOptionalDataPathKey";
inline constexpr const char* kQVParameterOptionalDataOrigFileNameKey = "QVParameterOptionalDataOrigFileNameKey";

// Maps a preset position (-100...100) to the engine value (inverse false) and back (inverse true).
using QVValueMapper = std::function<double(bool inverse, double x)>;

class QVEffectParameterProtocol : public QVModelObject {
 public:
  // ---- Changes ----
  virtual void setValue(double value) = 0;
  virtual void setOptionalData(QVOptionalData data, uint64_t type) = 0;
  virtual void reset() = 0;
  virtual bool syncWithParameter(const std::shared_ptr<QVEffectParameterProtocol>& parameter) = 0;
  virtual void copyValuesFromParameter(const QVEffectParameterProtocol& source, bool overrideNonDefault) = 0;
  virtual double visibleValue() const = 0;
  virtual uint64_t hash() const = 0;

  // ---- Fields ----
  virtual bool hidden() const = 0;
  virtual void setHidden(bool hidden) = 0;
  virtual bool fillNonDefaultValue() const = 0;
  virtual void setFillNonDefaultValue(bool fill) = 0;
  virtual bool doNotReset() const = 0;
  virtual void setDoNotReset(bool doNotReset) = 0;
  virtual bool fillFromPreset() const = 0;
  virtual void setFillFromPreset(bool fill) = 0;
  virtual std::shared_ptr<QVParentProtocol> parent() const = 0;
  virtual void setParent(std::weak_ptr<QVParentProtocol> parent) = 0;
  virtual double value() const = 0;
  virtual double maxValue() const = 0;
  virtual void setMaxValue(double value) = 0;
  virtual double minValue() const = 0;
  virtual void setMinValue(double value) = 0;
  virtual double defaultValue() const = 0;
  virtual void setDefaultValue(double value) = 0;
  virtual std::string numberFormat() const = 0;
  virtual void setNumberFormat(const std::string& format) = 0;
  virtual std::string hiddenCondition() const = 0;
  virtual void setHiddenCondition(const std::string& condition) = 0;
  virtual std::optional<double> numberMultiplier() const = 0;
  virtual void setNumberMultiplier(std::optional<double> multiplier) = 0;
  virtual std::string name() const = 0;
  virtual void setName(const std::string& name) = 0;
  virtual std::optional<std::string> historyName() const = 0;
  virtual void setHistoryName(std::optional<std::string> name) = 0;
  virtual std::optional<std::string> historyPrefix() const = 0;
  virtual void setHistoryPrefix(std::optional<std::string> prefix) = 0;
  virtual std::optional<std::string> historySuffix() const = 0;
  virtual void setHistorySuffix(std::optional<std::string> suffix) = 0;
  virtual std::string identifier() const = 0;
  virtual void setIdentifier(const std::string& identifier) = 0;
  virtual QVOptionalData optionalData() const = 0;
  virtual uint64_t optionalDataType() const = 0;
  virtual std::vector<std::string> discreteValues() const = 0;
  virtual void setDiscreteValues(std::vector<std::string> values) = 0;
  virtual double discreteValuesMultiplier() const = 0;
  virtual void setDiscreteValuesMultiplier(double multiplier) = 0;
  virtual std::string viewControllerType() const = 0;
  virtual void setViewControllerType(const std::string& type) = 0;
  virtual std::optional<bool> skipUpdateLowResOnChange() const = 0;
  virtual void setSkipUpdateLowResOnChange(std::optional<bool> skip) = 0;
  virtual std::vector<qv::RGBAColor> defaultGradientColors() const = 0;
  virtual void setDefaultGradientColors(std::vector<qv::RGBAColor> colors) = 0;
  virtual std::vector<qv::RGBAColor> rawGradientColors() const = 0;
  virtual void setRawGradientColors(std::vector<qv::RGBAColor> colors) = 0;
  virtual int64_t rawDefColorIdx() const = 0;
  virtual void setRawDefColorIdx(int64_t index) = 0;
  virtual QVValueMapper valueMapper() const = 0;
  virtual void setValueMapper(QVValueMapper mapper) = 0;
  virtual std::optional<double> visibleMin() const = 0;
  virtual void setVisibleMin(std::optional<double> value) = 0;
  virtual std::optional<double> visibleMax() const = 0;
  virtual void setVisibleMax(std::optional<double> value) = 0;
};

using QVParameterList = std::vector<std::shared_ptr<QVEffectParameterProtocol>>;
