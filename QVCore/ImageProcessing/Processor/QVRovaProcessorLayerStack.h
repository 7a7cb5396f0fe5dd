#pragma once
// The layer stack of one QVRovaProcessor: the ordered top-level layers (bottom first), the active
// layer and the edited layer (the one whose mask is being drawn). A plain container: it never
// calls out (no layer, engine, history or notification), so what a change means for the engine
// list, the history and the observers stays with the processor's stack operations.
//
// Threads: read from any thread (renders read the stack while the main thread edits it); changed
// by the model, normally on the main thread, and by loads and copies on the processing queue.
//
// Lock: the processor's recursive mutex, on purpose, not one of its own. The stack changes
// together with the processor's initial layer (a layered document keeps the initial layer first
// in the stack) and a processor copy takes both processors' locks at once; a lock of its own
// would let a reader see the initial layer and the stack out of step. Each call takes the lock;
// a caller that must see or change several things at once holds the processor's lock around
// its calls (the lock is recursive).
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QVIPLayer;

class QVRovaProcessorLayerStack {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;

  // `lock` is the owning processor's mutex, which outlives the stack.
  explicit QVRovaProcessorLayerStack(std::recursive_mutex& lock) : mutex_(lock) {}
  QVRovaProcessorLayerStack(const QVRovaProcessorLayerStack&) = delete;
  QVRovaProcessorLayerStack& operator=(const QVRovaProcessorLayerStack&) = delete;

  std::vector<LayerPtr> layers() const;
  size_t count() const;
  bool contains(const LayerPtr& layer) const;
  // Inserts at the index; false (nothing inserted) above the count.
  bool insert(const LayerPtr& layer, size_t index);
  void append(const LayerPtr& layer);
  // Takes the layer's first occurrence out; its former index, nullopt when it was not there.
  std::optional<size_t> remove(const LayerPtr& layer);
  // Takes every occurrence out.
  void removeAll(const LayerPtr& layer);
  void removeLast();
  // Moves the layer to the index (as qv::moveObject); false when it cannot move there.
  bool canMove(const LayerPtr& layer, size_t index) const;
  bool move(const LayerPtr& layer, size_t index);

  LayerPtr active() const;
  void setActive(LayerPtr layer);
  LayerPtr edited() const;
  void setEdited(LayerPtr layer);

 private:
  std::recursive_mutex& mutex_;  // the processor's; guards the fields below
  std::vector<LayerPtr> layers_;
  LayerPtr active_;
  LayerPtr edited_;
};
