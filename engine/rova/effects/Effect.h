#pragma once
// An engine effect: one image operation with an ordered parameter list. Rendering goes through a
// kernel the effect makes for one render from a snapshot of its parameters, so parameters can change
// on one thread while another renders, and a kernel is applied by many tile threads at once.
//
// Kernels come in three kinds:
//  - point kernels change each pixel from its own value (and position); the processor runs every
//    point kernel of consecutive layers over one tile before moving on (one pass per tile);
//  - region kernels need neighbours (blur, sharpen); they get the whole rendered region plus a margin
//    of context they ask for, so a region render equals the same crop of a full render;
//  - geometry kernels move pixels (lens distortion); the processor folds them into the sampling of
//    the source, so only the requested region is ever resampled.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "rova/AffineTransform.h"
#include "rova/effects/EffectParametersContext.h"
#include "rova/effects/Parameter.h"

namespace rova {

namespace detail {
class RenderPool;
}

// What a kernel may know about the render it takes part in.
struct EffectRenderInfo {
  // Output pixels per pixel of the original full-resolution image (a 2000 px preview of a 6000 px
  // image has 1/3): sizes in effect parameters are in full-resolution pixels and scale with this.
  double scale = 1;
  Size canvasSize;  // the canvas, in pixels of the source data
  // Output pixel (x + 0.5, y + 0.5) of the requested region to canvas coordinates. Buffers handed
  // to kernels may extend past the region (margins): row coordinates passed to applyRow are in this
  // output frame, so they can be negative there.
  AffineTransform outputToCanvas;
  // Canvas coordinates to stored pixel coordinates of the original image (orientation undone).
  AffineTransform canvasToSource;
  bool isRaw = false;
  bool lowRes = false;
  bool quickPreview = false;
  bool exportMode = false;
  const std::atomic<bool>* interrupted = nullptr;
  // Where region kernels take their whole-buffer working planes (kept between renders of one size
  // by the processor); nullptr: fresh memory.
  detail::RenderPool* pool = nullptr;
  bool isInterrupted() const { return interrupted && interrupted->load(std::memory_order_relaxed); }
};

enum class EffectKernelKind { Point, Region, Geometry };

class EffectKernel {
 public:
  virtual ~EffectKernel() = default;
  virtual EffectKernelKind kind() const { return EffectKernelKind::Point; }

  // Point kernels: n pixels (interleaved RGB floats) of buffer row y starting at column x, in place.
  virtual void applyRow(float* rgb, int n, int x, int y) const { (void)rgb, (void)n, (void)x, (void)y; }

  // Region kernels: buffer pixels of context needed on each side.
  virtual int margin() const { return 0; }
  // Region kernels: the whole buffer in place.
  virtual void applyRegion(ImageDataRGBf& buffer) const { (void)buffer; }

  // Geometry kernels, in pixels of the source data of the original image: for a point of the
  // corrected picture, where to read each channel (x and y for red, green, blue).
  virtual void sourcePoint(double x, double y, float out[6]) const {
    for (int c = 0; c < 3; ++c) out[2 * c] = float(x), out[2 * c + 1] = float(y);
  }
  // Geometry kernels: brightness gain of each channel at a corrected point (vignetting).
  virtual void gain(double x, double y, float out[3]) const { (void)x, (void)y, out[0] = out[1] = out[2] = 1; }
};

// A point kernel from a function (float* rgb, int n, int x, int y): the usual way to write one.
template <class F>
class FunctionPointKernel : public EffectKernel {
 public:
  explicit FunctionPointKernel(F f) : f_(std::move(f)) {}
  void applyRow(float* rgb, int n, int x, int y) const override { f_(rgb, n, x, y); }

 private:
  F f_;
};
template <class F>
std::unique_ptr<EffectKernel> makePointKernel(F f) {
  return std::make_unique<FunctionPointKernel<F>>(std::move(f));
}

class Effect {
 public:
  Effect(std::string id, ParameterList parameters);
  Effect(const Effect& other);
  Effect& operator=(const Effect&) = delete;
  virtual ~Effect() = default;

  const std::string& id() const { return id_; }

  // A copy of the current parameter list, in the effect's order.
  ParameterList getParameters() const;
  // Takes values and optional data from a list: entries are matched by identifier; ranges,
  // defaults and hidden flags stay the effect's own. Unknown identifiers are ignored.
  void setParameters(const ParameterList& parameters);
  void setParameterValue(const std::string& identifier, float value);
  float parameterValue(const std::string& identifier) const;

  // The picture the effect works on; an effect may adjust its defaults to it.
  void setContext(EffectParametersContextPtr context);
  EffectParametersContextPtr context() const;

  // A deep copy: own parameter list, shared context.
  virtual std::shared_ptr<Effect> copy() const = 0;

  // Changes whenever a parameter value or optional data changes.
  uint64_t stateHash() const;

  // The kernel for one render, from a snapshot of the parameters; nullptr when the effect leaves
  // the picture unchanged at these settings.
  std::unique_ptr<EffectKernel> makeKernel(const EffectRenderInfo& info) const;

 protected:
  virtual std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                                   const EffectParametersContextPtr& context) const = 0;
  // Called with the lock held after a new context is set, to adjust defaults to the picture.
  virtual void contextDidChange(ParameterList& parameters, const EffectParametersContextPtr& context) {
    (void)parameters, (void)context;
  }

 private:
  std::string id_;
  mutable std::mutex mutex_;
  ParameterList parameters_;
  EffectParametersContextPtr context_;
};

// Concrete effects derive from EffectBase<Self> to get copy() for free.
template <class Self>
class EffectBase : public Effect {
 public:
  using Effect::Effect;
  std::shared_ptr<Effect> copy() const override { return std::make_shared<Self>(static_cast<const Self&>(*this)); }
};

using EffectPtr = std::shared_ptr<Effect>;

}  // namespace rova
