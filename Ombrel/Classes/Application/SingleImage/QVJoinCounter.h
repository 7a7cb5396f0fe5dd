#pragma once
// Joins the waits of one screen change (a fade, the window's layout): each wait enters, each end
// leaves, and once every entered wait has left the notify block runs on a later main-loop pass.
// A counter whose waits never all end never notifies; dropping the counter drops its block.
//
// Main thread only.
#include <functional>
#include <memory>

class QVJoinCounter : public std::enable_shared_from_this<QVJoinCounter> {
 public:
  static std::shared_ptr<QVJoinCounter> make() { return std::make_shared<QVJoinCounter>(); }

  void enter() { ++count_; }
  // Leaving more often than entered is ignored.
  void leave();
  // Runs on the main executor once the count is (or reaches) zero; one block per counter.
  void notify(std::function<void()> block);
  int count() const { return count_; }

 private:
  void fireIfDone();

  int count_ = 0;
  std::function<void()> block_;
};
