#pragma once
// The edit history as the layer model and the processors see it. Every change of the model
// registers a step under an action name before it is applied; the history asks its delegate to
// write the whole editing state of that moment into the step's state file, and to bring a state
// file back on undo, redo or a jump to a level. The history runs on the main thread only.
//
// Levels: level 0 is the state before any registered action, level L the state after L actions.
// The step at index k holds the state file of level k and the name of the action that leads to
// level k + 1.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

class QVHistoryManagerProtocol;

// Posted for every registration except the pseudo-step; user info holds the step list and the
// index of the new step. Object: the manager.
inline constexpr const char* kQVHistoryManagerRegisterNewStateNotification =
    "QVHistoryManagerRegisterNewStateNotification";
inline constexpr const char* kQVHistoryManagerDictsKey = "QVHistoryManagerDictsKey";
inline constexpr const char* kQVHistoryManagerCurrentStateIndexKey = "QVHistoryManagerCurrentStateIndexKey";
// Posted after each registration and after a jump was handed to the delegate. Object: the manager.
inline constexpr const char* kQVHistoryCurrentLevelDidChangeNotification = "QVHistoryCurrentLevelDidChangeNotification";
// Posted when the level the owner last saved changes. Object: the manager.
inline constexpr const char* kQVHistoryLastSavedLevelDidChangeNotification =
    "QVHistoryLastSavedLevelDidChangeNotification";
// The action name of the pseudo-step that keeps the live state when the history leaves the top.
inline constexpr const char* kQVHistoryForceSaveActionName = "--FORCE SAVE--";

// What a history needs of the object whose editing state it records (a processor). The manager
// passes itself first and calls on the main thread.
class QVHistoryManagerDelegate {
 public:
  using Completion = std::function<void(bool success)>;
  virtual ~QVHistoryManagerDelegate() = default;

  // Writes the complete editing state of this moment to "<historyPath>/<uuid>.state" and calls
  // the completion (which may be empty) exactly once with the outcome.
  virtual void historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                         Completion completion) = 0;
  // Brings the editing state of that state file back and calls the completion with the outcome.
  virtual void historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                 Completion completion) = 0;
  // A step was dropped: delete its state file and whatever only it references.
  virtual void historyManagerRemoveStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid) = 0;
  // The file names in the resources folder that the state refers to; nullopt when the delegate
  // does not answer this question.
  virtual std::optional<std::vector<std::string>> historyManagerAllTexturesFromStateUUID(
      QVHistoryManagerProtocol& manager, const std::string& uuid) {
    return std::nullopt;
  }
};

class QVHistoryManagerProtocol {
 public:
  virtual ~QVHistoryManagerProtocol() = default;

  // The delegate is kept weakly.
  virtual std::shared_ptr<QVHistoryManagerDelegate> delegate() const = 0;
  virtual void setDelegate(std::weak_ptr<QVHistoryManagerDelegate> delegate) = 0;

  // Registration. Callers register before they make the change. The first registration of a
  // main-loop pass records a step; later ones of the same pass only refresh that step's
  // additional info when they carry the same action name. A null additional info means none.
  virtual void registerHistoryWithActionName(const std::string& actionName) = 0;
  virtual void registerHistoryWithActionNameAdditionalInfo(const std::string& actionName,
                                                           const qv::Value& additionalInfo) = 0;
  virtual void registerHistoryWithActionNameNeedProgress(const std::string& actionName, bool needProgress) = 0;
  virtual void registerHistoryWithActionName(const std::string& actionName, const qv::Value& additionalInfo,
                                             bool needProgress) = 0;
  // Nesting: true raises and false lowers a count; registration is disabled while it is not 0.
  virtual bool disableHistoryRegistration() const = 0;
  virtual void setDisableHistoryRegistration(bool disable) = 0;
  // True while an undo, a redo or a jump is being applied.
  virtual bool applyingHistoryLevel() const = 0;

  // Levels.
  virtual bool isHistoryClear() const = 0;
  virtual uint64_t currentLevelOfHistory() const = 0;
  virtual void setCurrentLevelOfHistory(uint64_t level) = 0;
  virtual uint64_t levelsOfHistory() const = 0;
  virtual bool canUndo() const = 0;
  virtual bool canRedo() const = 0;
  virtual void undo() = 0;
  virtual void redo() = 0;
  virtual uint64_t maxLevelsOfHistory() const = 0;
  virtual void setMaxLevelsOfHistory(uint64_t levels) = 0;  // 0 turns trimming off
  virtual std::string firstHistoryStepName() const = 0;
  virtual void setFirstHistoryStepName(const std::string& name) = 0;
  virtual bool userInteractionsEnabled() const = 0;
  virtual void setUserInteractionsEnabled(bool enabled) = 0;
  virtual bool showProgressByDefault() const = 0;
  virtual void setShowProgressByDefault(bool show) = 0;
  virtual bool edited() const = 0;
  virtual uint64_t lastSavedLevel() const = 0;
  virtual void setLastSavedLevel(uint64_t level) = 0;
  virtual void saveCurrentSatateIfNeaded() = 0;
  virtual void resaveCurrentState() = 0;
  virtual void removeRedoSteps() = 0;
  virtual void removeLastStatesWithSameLogic() = 0;

  // Temporary mode: a stretch of work that is later kept or thrown away as a whole.
  virtual void startTemporaryHistoryMode() = 0;
  virtual void applyTemporaryHistory() = 0;
  virtual void applyTemporaryAndRemoveSameLogicSteps(bool removeSameLogicSteps) = 0;
  virtual void cancelTemporaryHistory() = 0;

  // The uuids of every other step (including those kept for temporary mode), without `uuid`.
  virtual std::vector<std::string> subtractedUUIDs(const std::string& uuid) const = 0;
  virtual qv::Array historyDictsArray() const = 0;
  virtual void applyHistoryWithNewHistoryDictsArray(const qv::Array& steps) = 0;

  // The history folder "History/<identificator>" in the application's container and its
  // "resources" folder; both are created when missing.
  virtual std::string identificator() = 0;
  virtual std::string historyPath() = 0;
  virtual std::string resourcesPath() = 0;
  virtual bool clearHistory() = 0;

  // The portable form of a history, to keep it with a document or join two histories.
  virtual qv::Dictionary historyDictWithResourcesData(bool withResources, bool fullHistory = true) = 0;
  virtual void applyHistoryDict(const qv::Dictionary& dict, bool restoreHistory) = 0;
  virtual void addHistoryStepsFromInfoDict(const qv::Dictionary& dict) = 0;
  virtual void restoreHistory() = 0;
  virtual void unload() = 0;
  virtual void updateLastStepNameTo(const std::string& name) = 0;
  // Bytes on disk; the completion runs on the main thread.
  virtual void historySizeInBytesAllSteps(bool allSteps, std::function<void(double)> completion) = 0;
  virtual void historySizeInBytesAllSteps(bool allSteps, bool withOriginalResources,
                                          std::function<void(double)> completion) = 0;

  // Texture cache: the history's own copies of texture files that layers use.
  virtual std::optional<std::string> cachedPathForTextureWithPath(const std::string& path) = 0;
  virtual std::optional<std::string> updateCacheTextureWithPath(const std::string& path) = 0;
  virtual void deleteTextureWithName(const std::string& name) = 0;
  virtual std::optional<std::string> originalResolvedPathForTextureWithPath(const std::string& path) = 0;
  virtual bool migrateToCompressedTextures() = 0;
  virtual std::optional<std::string> cachedInitialTexturePath() = 0;

  // Names of levels, as stored and as shown.
  virtual std::optional<std::string> unlocalizedActionNameOfLevel(uint64_t level) const = 0;
  virtual qv::Value additionalInfoOfLevel(uint64_t level) const = 0;  // null when none
  virtual std::optional<std::string> actionNameOfLevel(uint64_t level) const = 0;
  virtual std::optional<std::string> undoActionName() const = 0;
  virtual std::optional<std::string> redoActionName() const = 0;
};
