// Registration, levels, undo and redo, and the temporary mode of the edit history.
#include "QVCore/ImageProcessing/History/QVHistoryManager.h"

#include <algorithm>

#include "QVCore/ImageProcessing/History/QVHistorySupport.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

namespace {

const std::string kForceSave = kQVHistoryForceSaveActionName;

std::string stepUuid(const qv::Value& step) { return step["uuid"].asString(); }

bool isPseudoStep(const qv::Value& step) { return step["actionName"].asString() == kForceSave; }

bool containsStep(const qv::Array& list, const qv::Value& step) {
  return std::find(list.begin(), list.end(), step) != list.end();
}

// A completion the delegate must call once; a second call is ignored.
template <class F>
QVHistoryManagerDelegate::Completion callOnce(F f) {
  auto called = std::make_shared<bool>(false);
  return [called, f = std::move(f)](bool success) mutable {
    if (*called) return;
    *called = true;
    f(success);
  };
}

}  // namespace

QVHistoryManager::QVHistoryManager() : alive_(std::make_shared<QVHistoryManager*>(this)) {}

QVHistoryManager::QVHistoryManager(const qv::Dictionary& historyInfoDict) : QVHistoryManager() {
  applyHistoryDict(historyInfoDict, false);
}

QVHistoryManager::~QVHistoryManager() {
  alive_.reset();
  if (!identificator_.empty()) clearHistory();
}

// ---- Registration -------------------------------------------------------------------------------

void QVHistoryManager::registerHistoryWithActionName(const std::string& actionName) {
  registerHistoryWithActionName(actionName, qv::Value(), showProgressByDefault_);
}

void QVHistoryManager::registerHistoryWithActionNameAdditionalInfo(const std::string& actionName,
                                                                   const qv::Value& additionalInfo) {
  registerHistoryWithActionName(actionName, additionalInfo, showProgressByDefault_);
}

void QVHistoryManager::registerHistoryWithActionNameNeedProgress(const std::string& actionName, bool needProgress) {
  registerHistoryWithActionName(actionName, qv::Value(), needProgress);
}

void QVHistoryManager::registerHistoryWithActionName(const std::string& actionName, const qv::Value& additionalInfo,
                                                     bool needProgress) {
  if (!qvhistory::isMainThread()) QVLogWarning("Warning: should be only main thread!");
  // Changes made while a state is being restored are not recorded.
  if (applyingHistoryLevel_) return;
  if (disableHistoryRegistration() && actionName != kForceSave) {
    // A later registration of the same action in one pass only refreshes its additional info.
    if (!additionalInfo.isNull() && !historyDicts_.empty() &&
        historyDicts_.back()["actionName"].asString() == actionName)
      historyDicts_.back().set("additionalInfo", additionalInfo);
    return;
  }
  edited_ = true;
  clearSizeMemo();
  ++disableHistoryRegistrationLevel_;
  scheduleEnableUndoRegistration();

  if (levelCount() == level() + 1 && isPseudoStep(historyDicts_.back())) {
    // The pseudo-step already holds the live state: it becomes the new step.
    std::string uuid = stepUuid(historyDicts_.back());
    historyDicts_.pop_back();
    completeRegistration(true, uuid, actionName, additionalInfo, needProgress);
    return;
  }
  auto d = delegate();
  if (!d) {
    completeRegistration(false, {}, actionName, additionalInfo, needProgress);
    return;
  }
  std::string uuid = qv::stringWithUUID();
  std::weak_ptr<QVHistoryManager*> weak = alive_;
  d->historyManagerSaveStateForHistoryWithUUID(
      *this, uuid, callOnce([weak, uuid, actionName, additionalInfo, needProgress](bool success) {
        if (auto self = weak.lock())
          (*self)->completeRegistration(success, uuid, actionName, additionalInfo, needProgress);
      }));
}

void QVHistoryManager::completeRegistration(bool success, const std::string& uuid, const std::string& actionName,
                                            const qv::Value& additionalInfo, bool needProgress) {
  if (!success) return;
  qv::Value step(qv::Dictionary{{"uuid", uuid}, {"actionName", actionName}});
  if (!additionalInfo.isNull()) step.set("additionalInfo", additionalInfo);
  if (needProgress) step.set("needProgress", true);
  const uint64_t index = std::min<uint64_t>(level(), levelCount());
  historyDicts_.insert(historyDicts_.begin() + index, std::move(step));
  // The steps after the new one can no longer be reached.
  while (levelCount() > index + 1) removeStepAt(levelCount() - 1);
  while (maxLevelsOfHistory_ != 0 && levelCount() > maxLevelsOfHistory_) removeStepAt(0);
  const uint64_t previousLevel = index;
  currentLevelOfHistory_ = levelCount();
  ++completedRegistrations_;
  resetOneStepHistoryFolder();
  if (temporaryHistoryMode_ && temporaryHistoryLevel_ >= currentLevelOfHistory_)
    temporaryHistoryLevel_ = currentLevelOfHistory_ - 1;
  if (actionName != kForceSave) {
    post(kQVHistoryManagerRegisterNewStateNotification,
         {{kQVHistoryManagerDictsKey, historyDicts_}, {kQVHistoryManagerCurrentStateIndexKey, previousLevel}});
    postCurrentLevelDidChangeNotification();
  }
}

void QVHistoryManager::scheduleEnableUndoRegistration() {
  // Registration stays off for the rest of this pass of the main loop, so the many changes of one
  // user action make one step.
  std::weak_ptr<QVHistoryManager*> weak = alive_;
  qvhistory::runOnNextMainPass([weak] {
    if (auto self = weak.lock()) (*self)->enableUndoRegistration();
  });
}

void QVHistoryManager::setDisableHistoryRegistration(bool disable) {
  if (disable) {
    ++disableHistoryRegistrationLevel_;
  } else if (disableHistoryRegistrationLevel_ == 0) {
    QVLogError("History registration enabled more often than it was disabled");
  } else {
    --disableHistoryRegistrationLevel_;
  }
}

// ---- Levels -------------------------------------------------------------------------------------

uint64_t QVHistoryManager::level() const {
  if (currentLevelOfHistory_ != kNoLevel) return currentLevelOfHistory_;
  return levelCount() == 0 ? 0 : levelCount() - 1;
}

uint64_t QVHistoryManager::currentLevelOfHistory() const { return level(); }

uint64_t QVHistoryManager::levelsOfHistory() const {
  if (!userInteractionsEnabled_) return 1;
  return level() < levelCount() ? levelCount() : level() + 1;
}

bool QVHistoryManager::canUndo() const { return userInteractionsEnabled_ && level() != 0; }

bool QVHistoryManager::canRedo() const { return userInteractionsEnabled_ && level() + 1 < levelCount(); }

void QVHistoryManager::undo() {
  if (canUndo()) setCurrentLevelOfHistory(level() - 1);
}

void QVHistoryManager::redo() {
  if (canRedo()) setCurrentLevelOfHistory(level() + 1);
}

void QVHistoryManager::setCurrentLevelOfHistory(uint64_t newLevel) {
  if (currentLevelOfHistory_ != kNoLevel && newLevel == currentLevelOfHistory_) return;
  if (newLevel >= levelCount() || applyingHistoryLevel_) return;
  auto d = delegate();
  if (!d) return;
  edited_ = true;
  resetOneStepHistoryFolder();
  // The level being left keeps its state. Saving it may trim the oldest step, so the target is
  // found again by its uuid.
  const std::string uuid = stepUuid(historyDicts_[newLevel]);
  saveCurrentSatateIfNeaded();
  if (currentLevelOfHistory_ == levelCount()) {
    // The live state could not be kept: leaving it would lose it for good.
    QVLogError("Can't apply level of history %ld: the current state was not saved", long(newLevel));
    return;
  }
  auto target =
      std::find_if(historyDicts_.begin(), historyDicts_.end(), [&](const qv::Value& s) { return stepUuid(s) == uuid; });
  if (target == historyDicts_.end()) return;
  newLevel = uint64_t(target - historyDicts_.begin());
  applyingHistoryLevel_ = true;
  std::weak_ptr<QVHistoryManager*> weak = alive_;
  d->historyManagerRestoreStateForUUID(*this, uuid, callOnce([weak, newLevel](bool success) {
    auto self = weak.lock();
    if (!self) return;
    (*self)->applyingHistoryLevel_ = false;
    if (success)
      (*self)->currentLevelOfHistory_ = newLevel;
    else
      QVLogError("Can't apply level of history %ld", long(newLevel));
  }));
  postCurrentLevelDidChangeNotification();
}

bool QVHistoryManager::edited() const {
  return edited_ && !historyDicts_.empty() && levelOfHistoryNeededToApply_ == kNoLevel;
}

void QVHistoryManager::setLastSavedLevel(uint64_t newLevel) {
  if (newLevel == lastSavedLevel_) return;
  lastSavedLevel_ = newLevel;
  post(kQVHistoryLastSavedLevelDidChangeNotification);
}

void QVHistoryManager::postCurrentLevelDidChangeNotification() { post(kQVHistoryCurrentLevelDidChangeNotification); }

void QVHistoryManager::post(const char* name, qv::Dictionary userInfo) {
  // Observers match the manager by its address; when it is shared it travels along.
  qvhistory::postNotification(name, weak_from_this().lock(), this, std::move(userInfo));
}

void QVHistoryManager::saveCurrentSatateIfNeaded() {
  if (currentLevelOfHistory_ != levelCount()) return;
  const uint64_t count = levelCount();
  const uint64_t registrations = completedRegistrations_;
  registerHistoryWithActionName(kForceSave, qv::Value(), false);
  // The pseudo-step is the step of the current level (the last one, also when the limit of
  // levels dropped the oldest step to make room for it).
  currentLevelOfHistory_ = completedRegistrations_ != registrations ? levelCount() - 1 : count;
}

void QVHistoryManager::resaveCurrentState() {
  if (level() < levelCount()) {
    clearSizeMemo();
    if (auto d = delegate())
      d->historyManagerSaveStateForHistoryWithUUID(*this, stepUuid(historyDicts_[level()]), nullptr);
  } else {
    saveCurrentSatateIfNeaded();
  }
}

// ---- Removing steps -----------------------------------------------------------------------------

void QVHistoryManager::removeRedoSteps() {
  while (levelCount() > level() + 1) removeStepAt(levelCount() - 1);
}

void QVHistoryManager::removeStepAt(size_t index) {
  clearSizeMemo();
  const qv::Value step = historyDicts_[index];
  auto d = delegate();
  if (d && step.dictionary() && canRemoveTemporarySavedDictState(*step.dictionary()))
    d->historyManagerRemoveStateForUUID(*this, stepUuid(step));
  historyDicts_.erase(historyDicts_.begin() + index);
}

void QVHistoryManager::removeStateWithDictionary(const qv::Dictionary& step) {
  const qv::Value value(step);
  auto it = std::find(historyDicts_.begin(), historyDicts_.end(), value);
  if (it != historyDicts_.end()) {
    removeStepAt(size_t(it - historyDicts_.begin()));
    return;
  }
  clearSizeMemo();
  auto d = delegate();
  if (d && canRemoveTemporarySavedDictState(step)) d->historyManagerRemoveStateForUUID(*this, stepUuid(value));
}

bool QVHistoryManager::stepUuidInUse(const std::string& uuid, const qv::Array& list) const {
  return std::any_of(list.begin(), list.end(), [&](const qv::Value& s) { return stepUuid(s) == uuid; });
}

bool QVHistoryManager::canRemoveTemporarySavedDictState(const qv::Dictionary& stepDict) const {
  const qv::Value step(stepDict);
  const std::string uuid = stepUuid(step);
  // In temporary mode nothing whose state a set-aside step still needs is deleted.
  if (temporaryHistoryMode_ && stepUuidInUse(uuid, savedDictsForTemporaryHistoryMode_)) return false;
  bool answer = containsStep(historyDicts_, step);
  if (!answer && !temporaryHistoryMode_) {
    answer = containsStep(savedDictsForTemporaryHistoryMode_, step);
    if (answer) {
      // A step of the list that reuses this state under another name still needs it.
      const std::string name = step["actionName"].asString();
      for (const auto& s : historyDicts_)
        if (stepUuid(s) == uuid && s["actionName"].asString() != name) return false;
    }
  }
  return answer;
}

void QVHistoryManager::removeLastStatesWithSameLogic() {
  if (level() < levelCount() && isPseudoStep(historyDicts_.back())) removeStepAt(levelCount() - 1);
  saveCurrentSatateIfNeaded();
  while (levelCount() > 1 && actionNameOfLevel(levelCount() - 1) == actionNameOfLevel(levelCount() - 2)) {
    const uint64_t i = levelCount() == level() + 1 ? levelCount() - 2 : levelCount() - 1;
    if (temporaryHistoryMode_ && temporaryHistoryLevel_ >= i) break;
    removeStepAt(i);
    if (currentLevelOfHistory_ != kNoLevel && levelCount() - 1 < currentLevelOfHistory_) --currentLevelOfHistory_;
  }
}

// ---- Temporary mode -----------------------------------------------------------------------------

void QVHistoryManager::startTemporaryHistoryMode() {
  cancelTemporaryHistory();
  if (level() < levelCount())
    savedDictsForTemporaryHistoryMode_.assign(historyDicts_.begin() + level(), historyDicts_.end());
  temporaryHistoryMode_ = true;
  temporaryHistoryLevel_ = level();
}

void QVHistoryManager::cancelTemporaryHistory() {
  if (!temporaryHistoryMode_) return;
  if (temporaryHistoryLevel_ < level()) setCurrentLevelOfHistory(temporaryHistoryLevel_);
  // The mode stays on while the temporary steps go, so the states of the steps set aside survive
  // even when a temporary step shares one of them.
  while (levelCount() > temporaryHistoryLevel_) removeStepAt(levelCount() - 1);
  temporaryHistoryMode_ = false;
  historyDicts_.insert(historyDicts_.end(), savedDictsForTemporaryHistoryMode_.begin(),
                       savedDictsForTemporaryHistoryMode_.end());
  savedDictsForTemporaryHistoryMode_.clear();
}

void QVHistoryManager::applyTemporaryHistory() {
  temporaryHistoryMode_ = false;
  clearSavedDicts();
}

void QVHistoryManager::clearSavedDicts() {
  const qv::Array saved = savedDictsForTemporaryHistoryMode_;
  // Only states that no step of the list uses any more are deleted.
  for (const auto& step : saved)
    if (step.dictionary() && !stepUuidInUse(stepUuid(step), historyDicts_))
      removeStateWithDictionary(*step.dictionary());
  savedDictsForTemporaryHistoryMode_.clear();
}

void QVHistoryManager::applyTemporaryAndRemoveSameLogicSteps(bool removeSameLogicSteps) {
  if (removeSameLogicSteps && temporaryHistoryLevel_ < level()) {
    // One step remains from the start of the temporary work to the live state, which is kept.
    while (levelCount() >= temporaryHistoryLevel_ + 2) removeStepAt(levelCount() - 1);
    currentLevelOfHistory_ = levelCount();
  }
  applyTemporaryHistory();
}

// ---- Step lists ---------------------------------------------------------------------------------

std::optional<qv::Dictionary> QVHistoryManager::actionDictionaryWithUUID(const std::string& uuid) const {
  for (const auto* list : {&historyDicts_, &savedDictsForTemporaryHistoryMode_})
    for (const auto& step : *list)
      if (stepUuid(step) == uuid && step.dictionary()) return *step.dictionary();
  return std::nullopt;
}

std::vector<std::string> QVHistoryManager::subtractedUUIDs(const std::string& uuid) const {
  std::vector<std::string> out;
  for (const auto* list : {&historyDicts_, &savedDictsForTemporaryHistoryMode_})
    for (const auto& step : *list)
      if (stepUuid(step) != uuid) out.push_back(stepUuid(step));
  return out;
}

qv::Array QVHistoryManager::historyDictsArray() const { return historyDicts_; }

void QVHistoryManager::applyHistoryWithNewHistoryDictsArray(const qv::Array& steps) {
  qv::Array copy;
  for (const auto& s : steps)
    if (s.isDictionary()) copy.push_back(s);
  if (!copy.empty()) copy.back().set("actionName", kForceSave);
  historyDicts_ = std::move(copy);
  clearSizeMemo();
  // No level until the caller jumps to one.
  currentLevelOfHistory_ = kNoLevel;
}
