#pragma once
// The saved editing states of one QVRovaProcessor and its side of the edit history: every history
// step's state (orientation, crop, the initial layer and the whole stack as layer-state
// dictionaries, the active index) is one property list "<uuid>.state" in the history folder. It
// writes them, restores the processor from them (reusing the layers that still hold a saved
// state), deletes them with the textures no other step uses, and lists a step's textures.
//
// Owns: the weak reference to the history, the state files' layout and the reporting mode
// (notify-async) a restore switches on, with its saved value.
//
// Threads: the history calls in on the main thread, and saving and restoring run there (a restore
// drives the processor's model, which is main-thread work). The history reference and the saved
// reporting mode are guarded by this object's own mutex, a leaf lock never held while calling
// out; the reporting mode itself is an atomic that the processor reads from any thread.
//
// Lifetime: the processor owns its store (and stays the history's delegate, forwarding here); the
// store never outlives it.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVPlatform/Value.h"

class QVIPLayer;
class QVLayerStateModelProtocol;
class QVRovaProcessor;

class QVRovaProcessorStateStore {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;

  explicit QVRovaProcessorStateStore(QVRovaProcessor& owner);
  QVRovaProcessorStateStore(const QVRovaProcessorStateStore&) = delete;
  QVRovaProcessorStateStore& operator=(const QVRovaProcessorStateStore&) = delete;

  // ---- History ----
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() const;
  // Keeps the history weakly and makes the processor its delegate.
  void setHistoryManager(std::weak_ptr<QVHistoryManagerProtocol> history);
  // The history delegate's four calls (the processor's, same rules); a history that is not the
  // processor's own is ignored.
  void saveState(QVHistoryManagerProtocol& manager, const std::string& uuid,
                 QVHistoryManagerDelegate::Completion completion);
  void restoreState(QVHistoryManagerProtocol& manager, const std::string& uuid,
                    QVHistoryManagerDelegate::Completion completion);
  void removeState(QVHistoryManagerProtocol& manager, const std::string& uuid);
  // The texture file names a step's state refers to (duplicates kept); nullopt when unreadable.
  std::optional<std::vector<std::string>> allTexturesFromStateUUID(const std::string& uuid);
  static qv::Array allSublayersForLayers(const qv::Array& entries);
  static LayerPtr findLayerWithState(const std::shared_ptr<QVLayerStateModelProtocol>& state,
                                     const std::vector<LayerPtr>& list);

  // ---- Reporting mode ----
  bool isNotifyAsync() const { return notifyAsync_.load(); }
  void setNotifyAsync(bool v) { notifyAsync_.store(v); }
  // Saves the reporting mode and turns coalescing on; `disableNotifyAsync` puts the saved mode
  // back (one level, not nested).
  void enableNotifyAsync();
  void disableNotifyAsync();

 private:
  bool isOwnHistoryManager(const QVHistoryManagerProtocol& manager) const;
  // Applies a read state to the processor; the restored active layer's record, if any.
  std::shared_ptr<QVLayerStateModelProtocol> applyState(const qv::Value& state);

  QVRovaProcessor& owner_;
  mutable std::mutex mutex_;  // guards historyManager_ and savedNotifyAsync_; a leaf lock
  std::weak_ptr<QVHistoryManagerProtocol> historyManager_;
  std::atomic<bool> notifyAsync_{false};
  bool savedNotifyAsync_ = false;
};
