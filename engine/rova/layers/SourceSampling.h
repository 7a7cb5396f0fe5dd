#pragma once
// Internal: reading a layer's source pixels for a render (OpenCV underneath), shared by the image
// layer and the processor's render.
#include <atomic>

#include "rova/AffineTransform.h"
#include "rova/effects/Effect.h"
#include "rova/kernels/Kernels.h"
#include "rova/layers/SourcePyramid.h"

namespace rova::detail {

class RenderPool;

// Fills an output buffer of the given size: output pixel centre (x + 0.5, y + 0.5) maps through
// outputToSource into continuous coordinates of the pyramid's base; the value is read bilinearly from
// the pyramid level that keeps the reading within a factor of two of the output resolution, with the
// edges repeated outside the source. When a geometry kernel is given (lens correction), the mapped
// point is a point of the corrected picture and the kernel says where each channel is read in the
// source and how much it is brightened; gridOrigin places the buffer in the whole render's output
// (whole pixels) so regions of one render evaluate the correction at the same points. The buffer
// comes from the pool when one is given. nullptr when memory is short or interrupted. With
// `consumable` (the source whose pixels the pyramid holds), a read of the whole base at its own size
// may return the base itself, taken from the pyramid and the source (SourcePyramid::takeBase).
ImageDataRGBfPtr sampleSource(const SourcePyramid& pyramid, const AffineTransform& outputToSource, Size outputSize,
                              const EffectKernel* geometry = nullptr, const std::atomic<bool>* interrupted = nullptr,
                              Size gridOrigin = {}, RenderPool* pool = nullptr, ImageSource* consumable = nullptr);

// The source's alpha over an output buffer, read with the same mapping, pyramid level, lens
// geometry and edge repetition as sampleSource reads the colour. nullptr for an opaque source, and
// when memory is short or interrupted.
ImageDataFPtr sampleSourceAlpha(const SourcePyramid& pyramid, const AffineTransform& outputToSource, Size outputSize,
                                const EffectKernel* geometry = nullptr, const std::atomic<bool>* interrupted = nullptr,
                                Size gridOrigin = {});

// Runs a point kernel over a whole buffer, in parallel bands.
void applyPointKernel(const EffectKernel& kernel, ImageDataRGBf& buffer);

}  // namespace rova::detail
