#include "Ombrel/Classes/Application/SingleImage/QVJoinCounter.h"

#include "QVPlatform/MainExecutor.h"

void QVJoinCounter::leave() {
  if (count_ == 0) return;
  --count_;
  fireIfDone();
}

void QVJoinCounter::notify(std::function<void()> block) {
  block_ = std::move(block);
  fireIfDone();
}

void QVJoinCounter::fireIfDone() {
  if (count_ != 0 || !block_) return;
  std::weak_ptr<QVJoinCounter> weak = weak_from_this();
  qv::MainExecutor::shared().async([weak, block = std::move(block_)] {
    if (weak.lock() && block) block();
  });
  block_ = nullptr;
}
