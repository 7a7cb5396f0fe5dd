#pragma once
// The description of one spring animation: how fast it settles (speed), how far it overshoots
// (bounciness) and its target. Plain values shared by reference (shared_ptr) with the spring kit,
// which only reads them when it builds a spring.
//
// Factories are templates over the class they are called on, so `defaultParams()` of a subclass
// builds that subclass (QVSpringSizeScaleParams::defaultParams() gives size-scale params).
#include <memory>
#include <optional>

#include "QVBase/Geometry.h"

class QVSpringParams {
 public:
  QVSpringParams(double bounciness, double speed) : speed_(speed), bounciness_(bounciness) {}
  virtual ~QVSpringParams() = default;

  template <class Self = QVSpringParams>
  static std::shared_ptr<Self> defaultParams() {
    return std::make_shared<Self>(10, 10);
  }

  double speed() const { return speed_; }
  void setSpeed(double speed) { speed_ = speed; }
  double bounciness() const { return bounciness_; }
  void setBounciness(double bounciness) { bounciness_ = bounciness; }
  // A fast spring without overshoot (speed 20, bounciness 0); the other fields stay.
  void resetSpringEffect();

  // A new instance of the same class with this one's fields.
  std::shared_ptr<QVSpringParams> copy() const { return clone(); }

 protected:
  virtual std::shared_ptr<QVSpringParams> clone() const { return std::make_shared<QVSpringParams>(*this); }

 private:
  double speed_;
  double bounciness_;
};

// Copies keep their class: copyOf(p) answers a shared_ptr of p's static type.
template <class T>
std::shared_ptr<T> copyOf(const std::shared_ptr<T>& params) {
  if (!params) return nullptr;
  return std::static_pointer_cast<T>(params->copy());
}

class QVSpringAnchoredParams : public QVSpringParams {
 public:
  using QVSpringParams::QVSpringParams;
  // A point in the view's unit space (0..1 each axis, bottom-left origin); none scales about the
  // centre.
  std::optional<CGPoint> anchor() const { return anchor_; }
  void setAnchor(std::optional<CGPoint> anchor) { anchor_ = anchor; }

 protected:
  std::shared_ptr<QVSpringParams> clone() const override { return std::make_shared<QVSpringAnchoredParams>(*this); }

 private:
  std::optional<CGPoint> anchor_;
};

class QVSpringSizeParams : public QVSpringAnchoredParams {
 public:
  using QVSpringAnchoredParams::QVSpringAnchoredParams;
  CGSize originalSize() const { return originalSize_; }
  void setOriginalSize(CGSize size) { originalSize_ = size; }
  CGSize targetSize() const { return targetSize_; }
  void setTargetSize(CGSize size) { targetSize_ = size; }

 protected:
  // Whoever copies size params sets both sizes on the copy: only speed, bounciness and anchor go.
  std::shared_ptr<QVSpringParams> clone() const override;

 private:
  CGSize originalSize_ = CGSizeZero;
  CGSize targetSize_ = CGSizeZero;
};

class QVSpringScaleParams : public QVSpringAnchoredParams {
 public:
  using QVSpringAnchoredParams::QVSpringAnchoredParams;
  template <class Self = QVSpringScaleParams>
  static std::shared_ptr<Self> paramsWithScale(double scale, double speed, double bounciness) {
    auto params = std::make_shared<Self>(bounciness, speed);
    params->setScale(scale);
    return params;
  }
  template <class Self = QVSpringScaleParams>
  static std::shared_ptr<Self> defaultParams() {
    return paramsWithScale<Self>(1.1, 10, 10);
  }
  double scale() const { return scale_; }
  void setScale(double scale) { scale_ = scale; }

 protected:
  std::shared_ptr<QVSpringParams> clone() const override { return std::make_shared<QVSpringScaleParams>(*this); }

 private:
  double scale_ = 0;
};

class QVSpringSizeScaleParams : public QVSpringScaleParams {
 public:
  using QVSpringScaleParams::QVSpringScaleParams;
  static std::shared_ptr<QVSpringSizeScaleParams> paramsWithScale(double scale, double speed, double bounciness) {
    return QVSpringScaleParams::paramsWithScale<QVSpringSizeScaleParams>(scale, speed, bounciness);
  }
  static std::shared_ptr<QVSpringSizeScaleParams> defaultParams() {
    return QVSpringScaleParams::defaultParams<QVSpringSizeScaleParams>();
  }
  CGSize originalSize() const { return originalSize_; }
  void setOriginalSize(CGSize size) { originalSize_ = size; }
  // originalSize × scale, each side rounded half away from zero.
  CGSize targetSize() const;

 protected:
  std::shared_ptr<QVSpringParams> clone() const override { return std::make_shared<QVSpringSizeScaleParams>(*this); }

 private:
  CGSize originalSize_ = CGSizeZero;
};

class QVSpringFrameParams : public QVSpringParams {
 public:
  using QVSpringParams::QVSpringParams;
  static std::shared_ptr<QVSpringFrameParams> paramsWithFrame(CGRect frame, double speed, double bounciness);
  static std::shared_ptr<QVSpringFrameParams> defaultParams() { return paramsWithFrame(CGRectZero, 10, 10); }
  CGRect frame() const { return frame_; }
  void setFrame(CGRect frame) { frame_ = frame; }

 protected:
  std::shared_ptr<QVSpringParams> clone() const override { return std::make_shared<QVSpringFrameParams>(*this); }

 private:
  CGRect frame_ = CGRectZero;
};

class QVSpringPositionParams : public QVSpringParams {
 public:
  using QVSpringParams::QVSpringParams;
  static std::shared_ptr<QVSpringPositionParams> paramsWithPosition(CGPoint position, double speed, double bounciness);
  static std::shared_ptr<QVSpringPositionParams> defaultParams() { return paramsWithPosition(CGPointZero, 10, 10); }
  CGPoint position() const { return position_; }
  void setPosition(CGPoint position) { position_ = position; }

 protected:
  std::shared_ptr<QVSpringParams> clone() const override { return std::make_shared<QVSpringPositionParams>(*this); }

 private:
  CGPoint position_ = CGPointZero;
};

// Built with the constructor and setCornerRadius; no factory and no copy of its own.
class QVSpringCornerRadiusParams : public QVSpringParams {
 public:
  using QVSpringParams::QVSpringParams;
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius) { cornerRadius_ = radius; }

 private:
  double cornerRadius_ = 0;
};
