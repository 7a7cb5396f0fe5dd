#pragma once
// A repeating timer on the toolkit's animation driver: `fire` runs once for every whole interval
// that has passed since the timer started, so the number of firings follows the driver's clock
// (the manual one in tests) and not the tick rate. Cancel it with the driver's `cancel`.
//
// Main thread only.
#include <functional>

#include "QVAppKit/QVAnimationDriver.h"

QVAnimationDriver::AnimationId QVAddRepeatingTimer(double interval, std::function<void()> fire);
