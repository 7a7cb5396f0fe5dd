#include "QVAppKit/QVRepeatingTimer.h"

#include <cmath>
#include <cstdint>
#include <memory>

QVAnimationDriver::AnimationId QVAddRepeatingTimer(double interval, std::function<void()> fire) {
  auto fired = std::make_shared<int64_t>(0);
  return QVAnimationDriver::shared().add([interval, fired, fire = std::move(fire)](double elapsed) {
    // A small tolerance so that an interval the clock reaches exactly counts as passed.
    const auto due = int64_t(std::floor(elapsed / interval + 1e-9));
    while (*fired < due) {
      ++*fired;
      fire();
    }
    return true;
  });
}
