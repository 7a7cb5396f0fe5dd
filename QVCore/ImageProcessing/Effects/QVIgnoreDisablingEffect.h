#pragma once
// The effect of ignore-disabling layers: its parameters are ignore-disabling parameters, and its
// `ignoreDisabling` switch is handed to all of them.
#include <functional>

#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingParameter.h"

class QVIgnoreDisablingEffectProtocol {
 public:
  virtual ~QVIgnoreDisablingEffectProtocol() = default;
  virtual bool ignoreDisabling() const = 0;
  virtual void setIgnoreDisabling(bool ignoreDisabling) = 0;
};

class QVIgnoreDisablingEffect : public QVIPEffect, public QVIgnoreDisablingEffectProtocol {
 public:
  static std::shared_ptr<QVIgnoreDisablingEffect> initWithIdentifier(const std::string& identifier,
                                                                     const rova::ImagePtr& originalImage = nullptr) {
    return makeWithIdentifier<QVIgnoreDisablingEffect>(identifier, originalImage);
  }
  static std::shared_ptr<QVIgnoreDisablingEffect> initWithCppEffect(const rova::EffectPtr& effect) {
    return makeWithCppEffect<QVIgnoreDisablingEffect>(effect);
  }

  bool ignoreDisabling() const override { return ignoreDisabling_; }
  void setIgnoreDisabling(bool ignoreDisabling) override;
  // Hands the switch to every parameter.
  void validateParams();
  void enumerateParams(const std::function<void(const std::shared_ptr<QVEffectParameterProtocol>&)>& block) const;

 protected:
  std::shared_ptr<QVIPParameter> makeParameter() const override { return QVIgnoreDisablingParameter::make(); }

 private:
  bool ignoreDisabling_ = false;
};
