#pragma once
// The value mapper of parameters that raw-image effects mark "NonlinearForRaw": preset positions
// -100...100 map onto the engine range exponentially, so -100, 0 and 100 give the minimum B, the
// centre K and the maximum T, and the curve's ratio is (T - K) / (K - B). Presets store positions,
// the engine gets values.
//
// Where the curve degenerates (K halfway between B and T, K at an end of the range, or a range
// that is not ordered B < K < T) it is replaced by what the formula tends to: a straight line on
// each side of K. The mapper never divides by zero.
#include "QVCore/ImageProcessing/Base/QVEffectParameterProtocol.h"

// T, K and B are taken as they are now; later range changes do not reach the mapper.
QVValueMapper QVRawValueMapper(double top, double center, double bottom);
