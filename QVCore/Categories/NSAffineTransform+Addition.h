#pragma once
// Transform geometry used by layer states and the crop tools: the transform's dictionary form,
// solving a transform from three point pairs and splitting a transform into scale and rotation.
// The transform's members map onto the dictionary as m11 = a, m12 = b, m21 = c, m22 = d,
// tX = tx, tY = ty (x' = m11·x + m21·y + tX, y' = m12·x + m22·y + tY).
#include <array>
#include <optional>

#include "QVBase/Geometry.h"
#include "QVPlatform/Value.h"

namespace NSAffineTransformAddition {

inline constexpr const char* kM11Key = "m11";
inline constexpr const char* kM12Key = "m12";
inline constexpr const char* kM21Key = "m21";
inline constexpr const char* kM22Key = "m22";
inline constexpr const char* kTXKey = "tX";
inline constexpr const char* kTYKey = "tY";

// A missing member, or one that is no finite number, reads as 0.
CGAffineTransform affineTransformFromDictionary(const qv::Value& dictionary);
// The six members as single-precision numbers.
qv::Value dictionary(const CGAffineTransform& transform);

// The transform that maps the three source points exactly onto the three targets; nothing when
// the source points are collinear (or coincide), where no such transform exists.
std::optional<CGAffineTransform> affineTransformForTransformPoints(const std::array<CGPoint, 3>& from,
                                                                   const std::array<CGPoint, 3>& to);

// Splits the transform into a scale (negative width for a reflection) and a rotation in
// radians. False, writing nothing, for a shear or a transform that collapses an axis.
bool obtainScale(const CGAffineTransform& transform, CGSize* scale, double* rotation);

// Rescales, in place, a layer's transform saved for a canvas of `preferredSize` so that it fits a
// canvas of `size`: the transform is scaled by the ratio of the sizes (applied before it) and its
// translation moves with them; a document's initial layer keeps its scale and only moves. Nothing
// for a null transform, equal sizes, or a size with a zero side (no ratio to scale by).
// The layer state's updateTransform(transform, preferedSize, fromSize, forInitialLayer) is this.
void updateTransform(CGAffineTransform* transform, CGSize preferredSize, CGSize size, bool forInitialLayer);

}  // namespace NSAffineTransformAddition
