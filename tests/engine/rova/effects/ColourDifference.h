#pragma once
// The engine's colour difference under the names the enhancement tests use.
#include "rova/ColourDifference.h"

namespace enhance {
using rova::deltaE2000;
using rova::Lab;
using rova::meanDeltaE;
using rova::toLab;
}  // namespace enhance
