#pragma once
// An effect's own preset: named values for some of its parameters. Plain records that the
// effects catalogue fills; `QVIPEffect::activatePreset` applies one. Presets are compared by
// identity.
#include <memory>
#include <string>
#include <vector>

class QVEffectPresetParameter {
 public:
  static std::shared_ptr<QVEffectPresetParameter> make(std::string identifier, double value) {
    auto p = std::make_shared<QVEffectPresetParameter>();
    p->setIdentifier(std::move(identifier));
    p->setValue(value);
    return p;
  }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
  double value() const { return value_; }
  void setValue(double value) { value_ = value; }

 private:
  std::string identifier_;
  double value_ = 0;
};

class QVEffectPreset {
 public:
  static std::shared_ptr<QVEffectPreset> make() { return std::make_shared<QVEffectPreset>(); }

  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  // The name of the application image shown for the preset.
  const std::string& icon() const { return icon_; }
  void setIcon(std::string icon) { icon_ = std::move(icon); }
  // The list is copied on assignment; its records are shared.
  const std::vector<std::shared_ptr<QVEffectPresetParameter>>& parameters() const { return parameters_; }
  void setParameters(std::vector<std::shared_ptr<QVEffectPresetParameter>> parameters) {
    parameters_ = std::move(parameters);
  }

 private:
  std::string identifier_, name_, icon_;
  std::vector<std::shared_ptr<QVEffectPresetParameter>> parameters_;
};
