#pragma once
// A parameter that can be held at its default while it keeps the user's value: while
// `ignoreDisabling` is on, `value` is the default and the user's value waits in `restoredValue`
// (what `visibleValue` shows). Both switches go through `setValue`, so they are full changes.
#include "QVCore/ImageProcessing/Effects/QVIPParameter.h"

class QVIgnoreDisablingEffectParameterProtocol {
 public:
  virtual ~QVIgnoreDisablingEffectParameterProtocol() = default;
  virtual bool ignoreDisabling() const = 0;
  virtual void setIgnoreDisabling(bool ignoreDisabling) = 0;
  virtual double restoredValue() const = 0;
  virtual void setRestoredValue(double value) = 0;
};

class QVIgnoreDisablingParameter : public QVIPParameter, public QVIgnoreDisablingEffectParameterProtocol {
 public:
  static std::shared_ptr<QVIgnoreDisablingParameter> make() { return std::make_shared<QVIgnoreDisablingParameter>(); }

  bool ignoreDisabling() const override { return ignoreDisabling_; }
  void setIgnoreDisabling(bool ignoreDisabling) override;
  double restoredValue() const override { return restoredValue_; }
  void setRestoredValue(double value) override { restoredValue_ = value; }
  void validateVisibleValue();
  double visibleValue() const override { return ignoreDisabling_ ? restoredValue_ : value(); }

 private:
  bool ignoreDisabling_ = false;
  double restoredValue_ = 0;
};
