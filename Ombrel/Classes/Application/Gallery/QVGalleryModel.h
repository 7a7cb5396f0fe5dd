#pragma once
// The gallery's rows: the open paths in their order, and per path its thumbnail (image type 0) and
// its enhanced thumbnail, with display-sized pictures of both made once per size.
//
// Images are kept by path, never by row: an answer lands on every row that shows its own path, so
// a row never shows another photo however the rows moved meanwhile, and an answer for a path no
// longer open is dropped. A path is asked for once, when a row showing it is first painted (and
// `shouldStartProcessingThumbs` is on): the thumbnail, then the enhancement at priority 3.
// Removing the last row of a path cancels its requests.
//
// What the model holds follows the screen, not the number of open paths: the images and pictures
// of the paths together stay within a byte bound (`heldBytesLimit`), the paths least recently
// painted let go first (their requests cancelled when still running); such a path is asked for
// again when a row showing it is painted again, which the caches usually answer at once. The
// bound is well above what a screen of cells shows, so rows on screen are never let go.
//
// A photo whose thumbnail or enhanced thumbnail does not come (its picture does not decode) is
// reported once while it stays open (`QVUndecodablePhotos` names it with its reason).
//
// Main thread only; answers hop to the main executor and do nothing once the model is gone.
#include <QAbstractListModel>
#include <QColor>
#include <QPixmap>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/NSImage.h"

class QVGalleryServices;

class QVGalleryModel : public QAbstractListModel {
 public:
  enum Role { PathRole = Qt::UserRole + 1, HasOriginalRole, HasProcessedRole };
  static constexpr int64_t kThumbnailType = 0;
  static constexpr int64_t kEnhancedPriority = 3;
  // A full 2560 x 1440 screen of cells holds about 250 MB of thumbnails and pictures.
  static constexpr uint64_t kHeldBytesLimit = 320'000'000;

  explicit QVGalleryModel(std::shared_ptr<QVGalleryServices> services, QObject* parent = nullptr);
  ~QVGalleryModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const std::vector<std::string>& paths() const { return paths_; }
  std::string pathAt(int row) const;
  // Follows a new list: when it only grew at its end the new rows are inserted (as many as it
  // really grew), when it only lost paths (the others in their order) those rows are removed,
  // otherwise the rows are reset. Images of paths still open are kept.
  void setPaths(const std::vector<std::string>& paths);
  // Removes the rows (any order, duplicates ignored) and cancels the requests of paths no longer open.
  void removeRows(const std::set<int>& rows);
  using QAbstractListModel::removeRows;
  // Removes the rows showing these paths; a path no longer shown is passed over, so a list that
  // already followed the deletion loses nothing more.
  void removePaths(const std::vector<std::string>& paths);

  bool shouldStartProcessingThumbs() const { return shouldStartProcessingThumbs_; }
  void setShouldStartProcessingThumbs(bool start) { shouldStartProcessingThumbs_ = start; }
  // Asks for the row's thumbnail and enhanced thumbnail unless its path was asked for already.
  void requestImagesForRow(int row);
  bool wasRequested(const std::string& path) const { return entries_.count(path) && entries_.at(path).requested; }

  NSImageRef originalImage(const std::string& path) const;
  NSImageRef processedImage(const std::string& path) const;
  // An answer; nullptr is a failure, reported once per open path.
  void setOriginalImage(const std::string& path, NSImageRef image);
  void setProcessedImage(const std::string& path, NSImageRef image);
  // The image shown for the path (enhanced once it came) as a picture of that pixel size, made once.
  QPixmap displayPicture(const std::string& path, QSize pixelSize, double devicePixelRatio) const;
  int pictureRenders() const { return pictureRenders_; }
  // The bytes of the images and pictures held, and their bound.
  uint64_t heldBytes() const;
  uint64_t heldBytesLimit() const { return heldBytesLimit_; }
  void setHeldBytesLimit(uint64_t limit);
  // What transparent parts of a photo are shown over.
  void setPictureBackground(QColor color) { background_ = color; }

 private:
  struct Entry {
    bool requested = false;
    NSImageRef original;
    NSImageRef processed;
    mutable QPixmap picture;
    mutable bool pictureIsProcessed = false;
    // When a row of the path was last painted or answered (a running count).
    mutable uint64_t lastUse = 0;
  };
  void rowsChangedForPath(const std::string& path);
  void forgetPath(const std::string& path);
  void reportFailedImage(const std::string& path);
  static uint64_t bytesOf(const Entry& entry);
  void touch(const Entry& entry) const { entry.lastUse = ++useClock_; }
  // Lets go of the least recently used paths until the held bytes fit the bound; `keep` stays.
  void boundHeldBytes(const std::string& keep);

  std::shared_ptr<QVGalleryServices> services_;
  std::vector<std::string> paths_;
  std::map<std::string, Entry> entries_;
  std::set<std::string> reportedFailures_;
  bool shouldStartProcessingThumbs_ = true;
  QColor background_ = Qt::black;
  mutable int pictureRenders_ = 0;
  uint64_t heldBytesLimit_ = kHeldBytesLimit;
  mutable uint64_t useClock_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
