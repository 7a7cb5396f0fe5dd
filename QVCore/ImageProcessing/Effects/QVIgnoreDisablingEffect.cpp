#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"

void QVIgnoreDisablingEffect::setIgnoreDisabling(bool ignoreDisabling) {
  if (ignoreDisabling == ignoreDisabling_) return;
  ignoreDisabling_ = ignoreDisabling;
  validateParams();
}

void QVIgnoreDisablingEffect::validateParams() {
  enumerateParams([this](const std::shared_ptr<QVEffectParameterProtocol>& p) {
    if (auto parameter = std::dynamic_pointer_cast<QVIgnoreDisablingEffectParameterProtocol>(p))
      parameter->setIgnoreDisabling(ignoreDisabling_);
  });
}

void QVIgnoreDisablingEffect::enumerateParams(
    const std::function<void(const std::shared_ptr<QVEffectParameterProtocol>&)>& block) const {
  for (const auto& p : QVParameterList(parameters())) block(p);
}
