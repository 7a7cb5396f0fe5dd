#pragma once
// The source list: the ordered paths of the source images the application has open, with the
// selected one. The facade makes one at start-up and is its delegate; the screens add, replace and
// remove paths through it. The list accepts any path: the screens pass opened paths through
// `validatedFilenames` first, which drops what cannot be a source image and tells the user why
// (alerts and error events).
//
// Everything here runs on the main thread; there is no locking.
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The selection index meaning "nothing selected".
inline constexpr uint64_t QVSourceManagerNoSelection = uint64_t(std::numeric_limits<int64_t>::max());

class QVSourceManager;

// Told of deletions, selection moves and replacements of the whole list.
class QVSourceManagerDelegate {
 public:
  using PathsCallback = std::function<void(const std::vector<std::string>& paths)>;
  virtual ~QVSourceManagerDelegate() = default;
  virtual void sourceManagerDidDeleteImagePath(const std::string& path) = 0;
  virtual void sourceManagerDidChangeSelectionFromIndex(uint64_t fromIndex, uint64_t toIndex) = 0;
  // The list was replaced; calling `processPaths` with an array makes it the list and clears the
  // unprocessed paths.
  virtual void sourceManagerDidUpdateImagePaths(const std::vector<std::string>& paths, bool cleanCache,
                                                PathsCallback processPaths) = 0;
};

class QVSourceManager : public std::enable_shared_from_this<QVSourceManager> {
 public:
  std::shared_ptr<QVSourceManagerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<QVSourceManagerDelegate> delegate) { delegate_ = std::move(delegate); }

  const std::vector<std::string>& imagesPaths() const { return imagesPaths_; }
  // Paths added that no caller has taken yet.
  const std::vector<std::string>& unprocessedPaths() const { return unprocessedPaths_; }
  uint64_t selectedImageIdx() const { return selectedImageIdx_; }
  // The selected path, or none when the selection must be reported again.
  const std::optional<std::string>& selectedImagePath() const { return selectedImagePath_; }

  void setImagesPaths(const std::vector<std::string>& paths) { setImagesPaths(paths, true); }
  // Replaces the list (nothing when `paths` is the very list held) and tells the delegate.
  void setImagesPaths(const std::vector<std::string>& paths, bool cleanCache);
  // Appends the paths the list does not hold yet (compared with the list before the call); the
  // delegate is not told.
  void addImageWithPaths(const std::vector<std::string>& paths);
  // Removes one path, tells the delegate and moves the selection; an index beyond the end does
  // nothing.
  void deleteImageAtIndex(uint64_t index);
  void deleteImageWithPath(const std::string& path);
  void deleteImagesWithPaths(const std::vector<std::string>& paths);
  void setSelectedImageIdx(uint64_t index);

  // The paths that pass validation, in their order. The others are reported: one
  // unsupported-extension alert and error event (code 4) per excluded extension, then at most one
  // source-not-available alert (event code 4), then at most one too-small alert (event code 1);
  // these two name each file once, with why.
  static std::vector<std::string> validatedFilenames(const std::vector<std::string>& paths);
  // Sorts the paths into supported RAW files and the others, keeping their order; nothing without
  // a block.
  static void splitRawsInImagePaths(const std::vector<std::string>& paths,
                                    const std::function<void(const std::vector<std::string>& raws,
                                                             const std::vector<std::string>& others)>& completion);

 private:
  std::weak_ptr<QVSourceManagerDelegate> delegate_;
  std::vector<std::string> imagesPaths_;
  std::vector<std::string> unprocessedPaths_;
  uint64_t selectedImageIdx_ = 0;
  std::optional<std::string> selectedImagePath_;
};
