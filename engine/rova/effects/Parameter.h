#pragma once
// One adjustable setting of an engine effect: a number with its range and default, a hidden flag and
// optional typed data (numbers, a text such as a file path, named tables of numbers, or image data).
// Parameters are plain values: an effect hands out copies and takes a whole list back.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "rova/ImageData.h"

namespace rova {

using ParameterTable = std::map<std::string, float>;
using NamedParameterTables = std::vector<std::pair<std::string, ParameterTable>>;
// Index 0 (an empty list of numbers) means "no optional data".
using ParameterOptionalData = std::variant<std::vector<float>, std::string, NamedParameterTables, ImageDataRGBfPtr>;

class Parameter {
 public:
  Parameter() = default;
  Parameter(std::string identifier, float minValue, float maxValue, float defaultValue, bool hidden = false)
      : identifier_(std::move(identifier)),
        min_(minValue),
        max_(maxValue),
        default_(defaultValue),
        value_(defaultValue),
        hidden_(hidden) {}

  const std::string& identifier() const { return identifier_; }
  float minValue() const { return min_; }
  float maxValue() const { return max_; }
  float defaultValue() const { return default_; }
  float value() const { return value_; }
  bool isHidden() const { return hidden_; }

  // Values are stored as given; effects clamp where their math needs it.
  void setValue(float v) { value_ = v; }
  void setOptionalData(ParameterOptionalData data) { optional_ = std::move(data); }
  const ParameterOptionalData& optionalData() const { return optional_; }

  bool hasOptionalData() const;
  // The text data (for example a file path), empty when the data is not a text.
  std::string optionalText() const;
  const std::vector<float>* optionalNumbers() const { return std::get_if<std::vector<float>>(&optional_); }
  const NamedParameterTables* optionalTables() const { return std::get_if<NamedParameterTables>(&optional_); }
  ImageDataRGBfPtr optionalImage() const;

 private:
  std::string identifier_;
  float min_ = 0, max_ = 0, default_ = 0, value_ = 0;
  bool hidden_ = false;
  ParameterOptionalData optional_;
};

using ParameterList = std::vector<Parameter>;

// The parameter with the identifier in a list, or nullptr.
const Parameter* findParameter(const ParameterList& list, const std::string& identifier);
// Its value, or the fallback when the list lacks it.
float valueIn(const ParameterList& list, const std::string& identifier, float fallback = 0);

}  // namespace rova
