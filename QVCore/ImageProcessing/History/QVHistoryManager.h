#pragma once
// The linear undo and redo history of one edited image. It owns the list of steps, the current
// level, the history folder with the state files, a cache of the texture files the states refer
// to and the readable names of the levels; the delegate owns what a state file holds.
// Main thread only, apart from the size measurement, which reads the folder in the background.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"

class QVHistoryManager : public QVHistoryManagerProtocol, public std::enable_shared_from_this<QVHistoryManager> {
 public:
  // The value of the current or waiting level that means "no level".
  static constexpr uint64_t kNoLevel = 0x7FFFFFFFFFFFFFFFull;

  QVHistoryManager();
  // Loads a history dictionary without applying its level (see restoreHistory()).
  explicit QVHistoryManager(const qv::Dictionary& historyInfoDict);
  // Deletes the history folder.
  ~QVHistoryManager() override;
  QVHistoryManager(const QVHistoryManager&) = delete;
  QVHistoryManager& operator=(const QVHistoryManager&) = delete;

  std::shared_ptr<QVHistoryManagerDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<QVHistoryManagerDelegate> delegate) override { delegate_ = std::move(delegate); }

  // --- Registration and levels -----------------------------------------------------------------
  void registerHistoryWithActionName(const std::string& actionName) override;
  void registerHistoryWithActionNameAdditionalInfo(const std::string& actionName,
                                                   const qv::Value& additionalInfo) override;
  void registerHistoryWithActionNameNeedProgress(const std::string& actionName, bool needProgress) override;
  void registerHistoryWithActionName(const std::string& actionName, const qv::Value& additionalInfo,
                                     bool needProgress) override;
  bool disableHistoryRegistration() const override { return disableHistoryRegistrationLevel_ != 0; }
  void setDisableHistoryRegistration(bool disable) override;
  void enableUndoRegistration() { setDisableHistoryRegistration(false); }
  bool applyingHistoryLevel() const override { return applyingHistoryLevel_; }

  uint64_t levelCount() const { return historyDicts_.size(); }
  bool isHistoryClear() const override { return historyDicts_.empty(); }
  // Never answers "no level": while a new step list waits for its jump, the last existing level.
  uint64_t currentLevelOfHistory() const override;
  void setCurrentLevelOfHistory(uint64_t level) override;
  uint64_t levelsOfHistory() const override;
  bool canUndo() const override;
  bool canRedo() const override;
  void undo() override;
  void redo() override;
  uint64_t maxLevelsOfHistory() const override { return maxLevelsOfHistory_; }
  void setMaxLevelsOfHistory(uint64_t levels) override { maxLevelsOfHistory_ = levels; }
  std::string firstHistoryStepName() const override { return firstHistoryStepName_; }
  void setFirstHistoryStepName(const std::string& name) override { firstHistoryStepName_ = name; }
  bool userInteractionsEnabled() const override { return userInteractionsEnabled_; }
  void setUserInteractionsEnabled(bool enabled) override { userInteractionsEnabled_ = enabled; }
  bool showProgressByDefault() const override { return showProgressByDefault_; }
  void setShowProgressByDefault(bool show) override { showProgressByDefault_ = show; }
  // True only when the flag is set, a step exists and no loaded level waits to be applied.
  bool edited() const override;
  void setEdited(bool edited) { edited_ = edited; }
  uint64_t lastSavedLevel() const override { return lastSavedLevel_; }
  void setLastSavedLevel(uint64_t level) override;
  void postCurrentLevelDidChangeNotification();

  void saveCurrentSatateIfNeaded() override;
  void resaveCurrentState() override;
  void removeRedoSteps() override;
  // Drops the step from the list and, when no one else needs its state, has the delegate delete it.
  void removeStateWithDictionary(const qv::Dictionary& step);
  bool canRemoveTemporarySavedDictState(const qv::Dictionary& step) const;
  void removeLastStatesWithSameLogic() override;

  void startTemporaryHistoryMode() override;
  void applyTemporaryHistory() override;
  void applyTemporaryAndRemoveSameLogicSteps(bool removeSameLogicSteps) override;
  void cancelTemporaryHistory() override;
  void clearSavedDicts();
  bool temporaryHistoryMode() const { return temporaryHistoryMode_; }
  uint64_t temporaryHistoryLevel() const { return temporaryHistoryLevel_; }

  std::optional<qv::Dictionary> actionDictionaryWithUUID(const std::string& uuid) const;
  std::vector<std::string> subtractedUUIDs(const std::string& uuid) const override;
  qv::Array historyDictsArray() const override;
  void applyHistoryWithNewHistoryDictsArray(const qv::Array& steps) override;

  // --- History folder, history dictionary and size ------------------------------------------------
  std::string identificator() override;
  std::string historyPath() override;
  std::string resourcesPath() override;
  std::string oneStepHistoryPath();
  void makeOneStepHistoryFolderIfNeaded();
  void resetOneStepHistoryFolder();
  // Removes this manager's history folder.
  bool clearHistory() override;
  // Removes the folders of all histories ("<application container>/History/").
  static bool clearAllHistory();
  // "<application container>/History".
  static std::string historiesRootPath();

  qv::Dictionary historyDictWithResourcesData(bool withResources, bool fullHistory = true) override;
  void applyHistoryDict(const qv::Dictionary& dict, bool restoreHistory) override;
  void addHistoryStepsFromInfoDict(const qv::Dictionary& dict) override;
  void restoreHistory() override;
  void unload() override;
  void updateLastStepNameTo(const std::string& name) override;
  void historySizeInBytesAllSteps(bool allSteps, std::function<void(double)> completion) override;
  void historySizeInBytesAllSteps(bool allSteps, bool withOriginalResources,
                                  std::function<void(double)> completion) override;
  double origResourcesSizeForFolder(const std::string& folder) const;

  // --- Texture cache -------------------------------------------------------------------------------
  std::optional<std::string> cachedPathForTextureWithPath(const std::string& path) override;
  std::optional<std::string> updateCacheTextureWithPath(const std::string& path) override;
  void deleteTextureWithName(const std::string& name) override;
  std::optional<std::string> originalResolvedPathForTextureWithPath(const std::string& path) override;
  bool migrateToCompressedTextures() override;
  // Rewrites every state file, replacing each old file name by its new one. True when every
  // state file was rewritten.
  bool replaceHistoryTextureNames(const std::vector<std::pair<std::string, std::string>>& oldToNew);
  std::optional<std::string> cachedInitialTexturePath() override;
  // Bookmarks keep a way back to a texture's source file across runs.
  void saveBookmarkForPath(const std::string& path);
  std::optional<qv::Bytes> bookmarkForPath(const std::string& path) const;
  static std::optional<std::string> resolvedPathForBookmark(const qv::Bytes& bookmark);
  const qv::Dictionary& cachedTexturesDict() const { return cachedTexturesDict_; }
  const qv::Dictionary& cachedTexturesAccessoryBookmarks() const { return cachedTexturesAccessoryBookmarks_; }

  // Converts a file of raw engine image data (".rovaimagedata") into compressed engine image data
  // written beside it under a new name; answers the new file name, or nullopt on failure. By
  // default (and after setting an empty one) the engine's own conversion,
  // QVRovaService::compressRovaimagedataAtPath; tests put their own in its place.
  using TextureCompressor = std::function<std::optional<std::string>(const std::string& rovaimagedataPath)>;
  static void setTextureCompressor(TextureCompressor compressor);

  // --- Action names --------------------------------------------------------------------------------
  std::optional<std::string> unlocalizedActionNameOfLevel(uint64_t level) const override;
  qv::Value additionalInfoOfLevel(uint64_t level) const override;
  std::optional<std::string> actionNameOfLevel(uint64_t level) const override;
  std::optional<std::string> undoActionName() const override;
  std::optional<std::string> redoActionName() const override;
  static std::string localizeString(const std::string& string, const std::string& delimiter);
  static std::string localizeSubstring(const std::string& format, const std::string& string);
  static std::string localizeTwoPartFormat(const std::string& format, const std::string& string);

 private:
  // Index-like view of the current level: the last existing level while it is "no level".
  uint64_t level() const;
  void completeRegistration(bool success, const std::string& uuid, const std::string& actionName,
                            const qv::Value& additionalInfo, bool needProgress);
  void scheduleEnableUndoRegistration();
  void removeStepAt(size_t index);
  bool stepUuidInUse(const std::string& uuid, const qv::Array& list) const;
  void writeStatesAndResources(const qv::Dictionary& dict);
  void clearSizeMemo() {
    cashedHistorySizes_.reset();
    ++sizeMemoGeneration_;
  }
  std::set<std::string> cachedTextureNames() const;
  void post(const char* name, qv::Dictionary userInfo = {});

  std::weak_ptr<QVHistoryManagerDelegate> delegate_;
  std::string identificator_;
  qv::Array historyDicts_;  // each a dictionary (a step)
  uint64_t currentLevelOfHistory_ = 0;
  uint64_t maxLevelsOfHistory_ = kNoLevel;
  uint64_t lastSavedLevel_ = 0;
  uint64_t levelOfHistoryNeededToApply_ = kNoLevel;
  uint64_t disableHistoryRegistrationLevel_ = 0;
  uint64_t completedRegistrations_ = 0;
  bool applyingHistoryLevel_ = false;
  bool userInteractionsEnabled_ = true;
  bool showProgressByDefault_ = false;
  bool edited_ = false;
  std::string firstHistoryStepName_ = "Original";
  bool temporaryHistoryMode_ = false;
  uint64_t temporaryHistoryLevel_ = 0;
  qv::Array savedDictsForTemporaryHistoryMode_;
  qv::Dictionary cachedTexturesDict_;                 // source path -> cached file name
  qv::Dictionary cachedTexturesAccessoryBookmarks_;   // source path -> bookmark data
  std::optional<qv::Dictionary> cashedHistorySizes_;  // "Full:%d,OrigRes:%d" -> bytes
  uint64_t sizeMemoGeneration_ = 0;
  // Work queued for later holds this weakly and does nothing once the manager is gone.
  std::shared_ptr<QVHistoryManager*> alive_;
};
