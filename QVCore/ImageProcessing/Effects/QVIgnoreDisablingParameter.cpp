#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingParameter.h"

void QVIgnoreDisablingParameter::setIgnoreDisabling(bool ignoreDisabling) {
  if (ignoreDisabling == ignoreDisabling_) return;
  ignoreDisabling_ = ignoreDisabling;
  validateVisibleValue();
}

void QVIgnoreDisablingParameter::validateVisibleValue() {
  if (ignoreDisabling_) {
    restoredValue_ = value();
    setValue(defaultValue());
  } else {
    setValue(restoredValue_);
  }
}
