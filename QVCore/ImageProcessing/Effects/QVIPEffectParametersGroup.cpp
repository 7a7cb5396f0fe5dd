#include "QVCore/ImageProcessing/Effects/QVIPEffectParametersGroup.h"

#include <algorithm>

void QVIPEffectParametersGroup::copyParamsFromTabGroup(const QVIPEffectParametersGroup& group,
                                                       bool overrideNonDefault) {
  // Groups of different length are paired as far as both reach.
  size_t count = std::min(parameters_.size(), group.parameters_.size());
  for (size_t i = 0; i < count; ++i) {
    if (parameters_[i] && group.parameters_[i])
      parameters_[i]->copyValuesFromParameter(*group.parameters_[i], overrideNonDefault);
  }
}
