#include "QVAppKit/QVSpringParams.h"

#include <cmath>

void QVSpringParams::resetSpringEffect() {
  speed_ = 20;
  bounciness_ = 0;
}

std::shared_ptr<QVSpringParams> QVSpringSizeParams::clone() const {
  auto copy = std::make_shared<QVSpringSizeParams>(bounciness(), speed());
  copy->setAnchor(anchor());
  return copy;
}

CGSize QVSpringSizeScaleParams::targetSize() const {
  // std::round rounds halves away from zero.
  return CGSizeMake(std::round(originalSize_.width * scale()), std::round(originalSize_.height * scale()));
}

std::shared_ptr<QVSpringFrameParams> QVSpringFrameParams::paramsWithFrame(CGRect frame, double speed,
                                                                          double bounciness) {
  auto params = std::make_shared<QVSpringFrameParams>(bounciness, speed);
  params->setFrame(frame);
  return params;
}

std::shared_ptr<QVSpringPositionParams> QVSpringPositionParams::paramsWithPosition(CGPoint position, double speed,
                                                                                   double bounciness) {
  auto params = std::make_shared<QVSpringPositionParams>(bounciness, speed);
  params->setPosition(position);
  return params;
}
