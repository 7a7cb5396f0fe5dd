#pragma once
// The ordered list of image paths open in the main window. It keeps the application's source list
// in step with it and, when the source list reports a deletion ("QVAppDidDeleteSourceItem"),
// takes the source list's paths over wholesale and tells its delegate.
//
// A path already in the list is not added again; two equal paths within one added batch both stay
// (the batch comes validated from the source list). Order is first added, first.
//
// The source list is reached through `QVExportImageSourceList`, the facade's source manager unless
// a test set another. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/NotificationCenter.h"

class QVExportImageDatasource;

// What the list needs of the application's source list.
class QVExportImageSourceList {
 public:
  virtual ~QVExportImageSourceList() = default;
  virtual std::vector<std::string> imagesPaths() const = 0;
  virtual void setImagesPaths(const std::vector<std::string>& paths, bool cleanCache) = 0;
  virtual void addImageWithPaths(const std::vector<std::string>& paths) = 0;
  // The supported, readable, large enough paths in their order (alerts for the others).
  virtual std::vector<std::string> validatedFilenames(const std::vector<std::string>& paths) const = 0;

  // The facade's source manager unless one was set (nullptr goes back to it).
  static std::shared_ptr<QVExportImageSourceList> shared();
  static void setShared(std::shared_ptr<QVExportImageSourceList> list);
};

class QVExportImageDatasourceDelegate {
 public:
  virtual ~QVExportImageDatasourceDelegate() = default;
  virtual void exportImagePathsDidChange(QVExportImageDatasource* datasource) {}
};

class QVExportImageDatasource {
 public:
  // Keeps the paths, hands them to the source list (no cache clean) and follows its deletions.
  explicit QVExportImageDatasource(const std::vector<std::string>& paths);
  ~QVExportImageDatasource();
  QVExportImageDatasource(const QVExportImageDatasource&) = delete;
  QVExportImageDatasource& operator=(const QVExportImageDatasource&) = delete;

  // Not owned: the delegate outlives the list or clears itself.
  QVExportImageDatasourceDelegate* delegate() const { return delegate_; }
  void setDelegate(QVExportImageDatasourceDelegate* delegate) { delegate_ = delegate; }

  // None once cleared.
  const std::optional<std::vector<std::string>>& paths() const { return paths_; }
  void setPaths(std::optional<std::vector<std::string>> paths) { paths_ = std::move(paths); }
  const std::optional<std::vector<std::string>>& tempPaths() const { return tempPaths_; }
  void setTempPaths(std::optional<std::vector<std::string>> paths) { tempPaths_ = std::move(paths); }
  // The paths, empty when none.
  std::vector<std::string> pathsOrEmpty() const { return paths_.value_or(std::vector<std::string>{}); }

  // Appends the paths not in the list yet (in their order) and hands those to the source list.
  void addPaths(const std::vector<std::string>& paths);
  // The image a transition animates: one path (none leaves the saved one).
  void saveTempPath(const std::optional<std::string>& path);
  // Empties the list (the source list is not told).
  void clear() { paths_.reset(); }
  void clearTempPaths() { tempPaths_.reset(); }

  static std::vector<std::string> validateFilenames(const std::vector<std::string>& paths);

  // The source list deleted paths: its list becomes this one, and the delegate is told.
  void sourceManagerDidDeleteSourceItem();

 private:
  QVExportImageDatasourceDelegate* delegate_ = nullptr;
  std::optional<std::vector<std::string>> paths_;
  std::optional<std::vector<std::string>> tempPaths_;
  qv::ObserverToken deletionObserver_;
};
