#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"

#include <algorithm>
#include <set>

#include "Ombrel/Classes/Business/ErrorTracker/QVAppEventTracker.h"
#include "Ombrel/Classes/Helpers/QVImageHelpers.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Additions.h"

namespace {
// The error event codes of validation.
constexpr int64_t kLoadImageOfWrongSize = 1;
constexpr int64_t kImageValidationFailed = 4;

void trackValidationError(int64_t code) {
  if (auto tracker = QVAppEventTracker::shared()) tracker->trackEvent(QVAppEventTypeError, code);
}
}  // namespace

void QVSourceManager::setImagesPaths(const std::vector<std::string>& paths, bool cleanCache) {
  if (&paths == &imagesPaths_) return;
  imagesPaths_ = paths;
  unprocessedPaths_ = paths;
  selectedImagePath_.reset();
  auto delegate = this->delegate();
  if (!delegate) return;
  std::weak_ptr<QVSourceManager> weakSelf = weak_from_this();
  delegate->sourceManagerDidUpdateImagePaths(paths, cleanCache, [weakSelf](const std::vector<std::string>& list) {
    if (auto self = weakSelf.lock()) {
      self->imagesPaths_ = list;
      self->unprocessedPaths_.clear();
    }
  });
}

void QVSourceManager::addImageWithPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> added;
  for (const auto& path : paths)
    if (std::find(imagesPaths_.begin(), imagesPaths_.end(), path) == imagesPaths_.end()) added.push_back(path);
  if (added.empty()) return;
  imagesPaths_.insert(imagesPaths_.end(), added.begin(), added.end());
  unprocessedPaths_.insert(unprocessedPaths_.begin(), added.begin(), added.end());
  selectedImagePath_.reset();
}

void QVSourceManager::deleteImageAtIndex(uint64_t index) {
  if (index >= imagesPaths_.size()) return;
  const std::string removed = imagesPaths_[index];
  imagesPaths_.erase(imagesPaths_.begin() + int64_t(index));
  if (auto delegate = this->delegate()) delegate->sourceManagerDidDeleteImagePath(removed);
  const uint64_t count = imagesPaths_.size();
  uint64_t newIndex = selectedImageIdx_;
  if (selectedImageIdx_ >= count)
    newIndex = count - 1;  // wraps to the no-selection range for an empty list; handled below
  else if (index < selectedImageIdx_)
    newIndex = selectedImageIdx_ - 1;
  if (imagesPaths_.empty() || (selectedImagePath_ && *selectedImagePath_ != imagesPaths_[newIndex]))
    selectedImagePath_.reset();
  // The same photo still selected at a shifted index is no selection change.
  if (selectedImagePath_) selectedImageIdx_ = newIndex;
  setSelectedImageIdx(newIndex);
}

void QVSourceManager::deleteImageWithPath(const std::string& path) {
  auto it = std::find(imagesPaths_.begin(), imagesPaths_.end(), path);
  if (it != imagesPaths_.end()) deleteImageAtIndex(uint64_t(it - imagesPaths_.begin()));
}

void QVSourceManager::deleteImagesWithPaths(const std::vector<std::string>& paths) {
  for (const auto& path : paths) deleteImageWithPath(path);
}

void QVSourceManager::setSelectedImageIdx(uint64_t index) {
  const bool unchanged = index == selectedImageIdx_ && selectedImagePath_;
  if (!unchanged && index < imagesPaths_.size()) {
    const uint64_t old = selectedImageIdx_;
    selectedImageIdx_ = index;
    selectedImagePath_ = imagesPaths_[index];
    if (auto delegate = this->delegate()) delegate->sourceManagerDidChangeSelectionFromIndex(old, index);
    return;
  }
  if (imagesPaths_.empty()) {
    const uint64_t old = selectedImageIdx_;
    selectedImageIdx_ = QVSourceManagerNoSelection;
    selectedImagePath_.reset();
    if (auto delegate = this->delegate()) delegate->sourceManagerDidChangeSelectionFromIndex(old, selectedImageIdx_);
  }
}

std::vector<std::string> QVSourceManager::validatedFilenames(const std::vector<std::string>& paths) {
  std::vector<std::string> result = paths;
  std::set<size_t> reported;
  std::vector<QVUnopenableFile> unopenable, tooSmall;
  auto listed = [](const std::vector<QVUnopenableFile>& files, const std::string& path) {
    return std::any_of(files.begin(), files.end(), [&](const auto& file) { return file.path == path; });
  };
  auto drop = [&result](const std::string& path) {
    result.erase(std::remove(result.begin(), result.end(), path), result.end());
  };
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    qv::Error error;
    if (QVImageHelpers::validateImageAtPath(path, &error)) {
      if (QVImageHelpers::validateSizeForPath(path)) continue;
      if (!listed(tooSmall, path)) tooSmall.push_back(QVImageHelpers::tooSmallImage(path));
    } else if (error.code == QVImageValidationErrorUnreadable) {
      if (!listed(unopenable, path)) unopenable.push_back(QVImageHelpers::whyImageCannotOpen(path));
    } else if (!reported.count(i)) {
      const std::string extension = qv::pathExtension(path);
      for (size_t j = i; j < paths.size(); ++j)
        if (qv::pathExtension(paths[j]) == extension) reported.insert(j);
      trackValidationError(kImageValidationFailed);
      QVSolvaneAlerts::showAllertNotSupportExtension(extension);
    }
    drop(path);
  }
  if (!unopenable.empty()) {
    trackValidationError(kImageValidationFailed);
    QVSolvaneAlerts::showAlertSourceNotAvailable(unopenable);
  }
  if (!tooSmall.empty()) {
    trackValidationError(kLoadImageOfWrongSize);
    QVSolvaneAlerts::showAlertLessThanMinimumSize(tooSmall);
  }
  return result;
}

void QVSourceManager::splitRawsInImagePaths(
    const std::vector<std::string>& paths,
    const std::function<void(const std::vector<std::string>& raws, const std::vector<std::string>& others)>&
        completion) {
  if (!completion) return;
  std::vector<std::string> raws, others;
  for (const auto& path : paths) (QVImageHelpers::isSupportedRAWImage(path) ? raws : others).push_back(path);
  completion(raws, others);
}
