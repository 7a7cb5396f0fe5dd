#pragma once
// Small stand-ins for the services around the layer model: an edit history that records its
// registrations and answers texture-cache requests, a parent (the layer's place in the chain) with
// an optional serial processing queue, and a notification recorder.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/OperationQueue.h"

namespace solvane::test {

struct RecordedStep {
  std::string actionName;
  qv::Value additionalInfo;
};

class FakeHistory : public QVHistoryManagerProtocol {
 public:
  std::vector<RecordedStep> steps;
  // Texture cache: paths containing "unreadable" fail to copy; others map into "/history/res".
  std::vector<std::string> cachedRequests;

  std::shared_ptr<QVHistoryManagerDelegate> delegate() const override { return nullptr; }
  void setDelegate(std::weak_ptr<QVHistoryManagerDelegate>) override {}
  void registerHistoryWithActionName(const std::string& a) override { steps.push_back({a, {}}); }
  void registerHistoryWithActionNameAdditionalInfo(const std::string& a, const qv::Value& info) override {
    steps.push_back({a, info});
  }
  void registerHistoryWithActionNameNeedProgress(const std::string& a, bool) override { steps.push_back({a, {}}); }
  void registerHistoryWithActionName(const std::string& a, const qv::Value& info, bool) override {
    steps.push_back({a, info});
  }
  bool disableHistoryRegistration() const override { return false; }
  void setDisableHistoryRegistration(bool) override {}
  bool applyingHistoryLevel() const override { return false; }
  bool isHistoryClear() const override { return steps.empty(); }
  uint64_t currentLevelOfHistory() const override { return steps.size(); }
  void setCurrentLevelOfHistory(uint64_t) override {}
  uint64_t levelsOfHistory() const override { return steps.size(); }
  bool canUndo() const override { return false; }
  bool canRedo() const override { return false; }
  void undo() override {}
  void redo() override {}
  uint64_t maxLevelsOfHistory() const override { return 0; }
  void setMaxLevelsOfHistory(uint64_t) override {}
  std::string firstHistoryStepName() const override { return {}; }
  void setFirstHistoryStepName(const std::string&) override {}
  bool userInteractionsEnabled() const override { return true; }
  void setUserInteractionsEnabled(bool) override {}
  bool showProgressByDefault() const override { return false; }
  void setShowProgressByDefault(bool) override {}
  bool edited() const override { return !steps.empty(); }
  uint64_t lastSavedLevel() const override { return 0; }
  void setLastSavedLevel(uint64_t) override {}
  void saveCurrentSatateIfNeaded() override {}
  void resaveCurrentState() override {}
  void removeRedoSteps() override {}
  void removeLastStatesWithSameLogic() override {}
  void startTemporaryHistoryMode() override {}
  void applyTemporaryHistory() override {}
  void applyTemporaryAndRemoveSameLogicSteps(bool) override {}
  void cancelTemporaryHistory() override {}
  std::vector<std::string> subtractedUUIDs(const std::string&) const override { return {}; }
  qv::Array historyDictsArray() const override { return {}; }
  void applyHistoryWithNewHistoryDictsArray(const qv::Array&) override {}
  std::string identificator() override { return "FAKE"; }
  std::string historyPath() override { return "/history"; }
  std::string resourcesPath() override { return "/history/res"; }
  bool clearHistory() override { return true; }
  qv::Dictionary historyDictWithResourcesData(bool, bool) override { return {}; }
  void applyHistoryDict(const qv::Dictionary&, bool) override {}
  void addHistoryStepsFromInfoDict(const qv::Dictionary&) override {}
  void restoreHistory() override {}
  void unload() override {}
  void updateLastStepNameTo(const std::string&) override {}
  void historySizeInBytesAllSteps(bool, std::function<void(double)>) override {}
  void historySizeInBytesAllSteps(bool, bool, std::function<void(double)>) override {}
  std::optional<std::string> cachedPathForTextureWithPath(const std::string& p) override {
    return updateCacheTextureWithPath(p);
  }
  std::optional<std::string> updateCacheTextureWithPath(const std::string& path) override {
    cachedRequests.push_back(path);
    if (path.find("unreadable") != std::string::npos) return std::nullopt;
    return "/history/res/" + path.substr(path.rfind('/') + 1);
  }
  void deleteTextureWithName(const std::string&) override {}
  std::optional<std::string> originalResolvedPathForTextureWithPath(const std::string& p) override { return p; }
  bool migrateToCompressedTextures() override { return true; }
  std::optional<std::string> cachedInitialTexturePath() override { return std::nullopt; }
  std::optional<std::string> unlocalizedActionNameOfLevel(uint64_t) const override { return std::nullopt; }
  qv::Value additionalInfoOfLevel(uint64_t) const override { return {}; }
  std::optional<std::string> actionNameOfLevel(uint64_t) const override { return std::nullopt; }
  std::optional<std::string> undoActionName() const override { return std::nullopt; }
  std::optional<std::string> redoActionName() const override { return std::nullopt; }
};

struct ChildReport {
  std::shared_ptr<QVModelObject> child;
  QVChangeInfo info;
};

// What a recording parent keeps and answers, over either parent interface: a full name, an
// optional history and an optional serial processing queue, and the reports that reach it.
template <class Parent>
class RecordingParentBase : public QVModelObject, public Parent {
 public:
  std::shared_ptr<QVHistoryManagerProtocol> history;
  std::shared_ptr<qv::OperationQueue> queue;
  std::optional<std::string> name;
  std::vector<ChildReport> didChange, willChange;
  std::vector<std::shared_ptr<QVModelObject>> invalidated;

  void childWillChangeState(const std::shared_ptr<QVModelObject>& c, const QVChangeInfo& i) override {
    willChange.push_back({c, i});
  }
  void childDidChangeState(const std::shared_ptr<QVModelObject>& c, const QVChangeInfo& i) override {
    didChange.push_back({c, i});
  }
  void childInvalidated(const std::shared_ptr<QVModelObject>& c) override { invalidated.push_back(c); }
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override { return queue; }
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return history; }
  std::optional<std::string> fullName() override { return name; }

 protected:
  template <class Self>
  static std::shared_ptr<Self> makeWith(std::shared_ptr<QVHistoryManagerProtocol> history, bool withQueue,
                                        std::optional<std::string> name) {
    auto p = std::make_shared<Self>();
    p->history = std::move(history);
    if (withQueue) p->queue = qv::OperationQueue::make("test.processing", 1);
    p->name = std::move(name);
    return p;
  }
};

class FakeParent : public RecordingParentBase<QVParentProtocol> {
 public:
  static std::shared_ptr<FakeParent> make(std::shared_ptr<QVHistoryManagerProtocol> history = nullptr,
                                          bool withQueue = false, std::optional<std::string> name = "Layer") {
    return makeWith<FakeParent>(std::move(history), withQueue, std::move(name));
  }
};

// Records the notifications of some names sent by one object.
class NotificationRecorder {
 public:
  NotificationRecorder(const QVModelObject* sender, std::vector<std::string> names) {
    for (const auto& n : names)
      tokens_.push_back(qv::NotificationCenter::defaultCenter().addObserver(
          n, sender->notificationSender(), [this](const qv::Notification& note) { received.push_back(note); }));
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& n : received) out.push_back(n.name);
    return out;
  }
  std::vector<qv::Notification> received;

 private:
  std::vector<qv::ObserverToken> tokens_;
};

}  // namespace solvane::test
