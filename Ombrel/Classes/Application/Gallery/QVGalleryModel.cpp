#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "Ombrel/Classes/Helpers/QVUndecodablePhotos.h"
#include "QVAppKit/QVImageBridge.h"

QVGalleryModel::QVGalleryModel(std::shared_ptr<QVGalleryServices> services, QObject* parent)
    : QAbstractListModel(parent), services_(std::move(services)) {}

QVGalleryModel::~QVGalleryModel() = default;

int QVGalleryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(paths_.size()); }

std::string QVGalleryModel::pathAt(int row) const {
  return row >= 0 && size_t(row) < paths_.size() ? paths_[size_t(row)] : std::string();
}

QVariant QVGalleryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() != 0) return {};
  const std::string& path = paths_[size_t(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case PathRole:
      return QString::fromStdString(path);
    case HasOriginalRole:
      return originalImage(path) != nullptr;
    case HasProcessedRole:
      return processedImage(path) != nullptr;
    default:
      return {};
  }
}

Qt::ItemFlags QVGalleryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void QVGalleryModel::setPaths(const std::vector<std::string>& paths) {
  const bool grewAtEnd = paths.size() > paths_.size() && std::equal(paths_.begin(), paths_.end(), paths.begin());
  if (paths == paths_) return;
  if (grewAtEnd) {
    beginInsertRows(QModelIndex(), int(paths_.size()), int(paths.size()) - 1);
    paths_ = paths;
    endInsertRows();
    return;
  }
  const std::set<std::string> open(paths.begin(), paths.end());
  if (paths.size() < paths_.size() && open.size() == paths.size()) {
    // Only lost paths when the ones left keep their order: their rows go, the others stay (and
    // so does the selection on them).
    std::set<int> gone;
    size_t next = 0;
    for (size_t row = 0; row < paths_.size(); ++row) {
      if (next < paths.size() && paths_[row] == paths[next]) {
        ++next;
      } else {
        gone.insert(int(row));
      }
    }
    if (next == paths.size()) {
      removeRows(gone);
      return;
    }
  }
  beginResetModel();
  paths_ = paths;
  endResetModel();
  std::vector<std::string> gone;
  for (const auto& [path, entry] : entries_) {
    if (!open.count(path)) gone.push_back(path);
  }
  for (const auto& path : gone) forgetPath(path);
}

void QVGalleryModel::removeRows(const std::set<int>& rows) {
  // From the bottom up, one contiguous run at a time, so each removal keeps the others' rows.
  std::vector<int> sorted;
  for (int row : rows) {
    if (row >= 0 && row < rowCount()) sorted.push_back(row);
  }
  std::set<std::string> touched;
  for (auto it = sorted.rbegin(); it != sorted.rend();) {
    int last = *it, first = *it;
    ++it;
    while (it != sorted.rend() && *it == first - 1) first = *it++;
    beginRemoveRows(QModelIndex(), first, last);
    for (int row = first; row <= last; ++row) touched.insert(paths_[size_t(row)]);
    paths_.erase(paths_.begin() + first, paths_.begin() + last + 1);
    endRemoveRows();
  }
  const std::set<std::string> open(paths_.begin(), paths_.end());
  for (const auto& path : touched) {
    if (!open.count(path)) forgetPath(path);
  }
}

void QVGalleryModel::removePaths(const std::vector<std::string>& paths) {
  const std::set<std::string> removed(paths.begin(), paths.end());
  std::set<int> rows;
  for (size_t row = 0; row < paths_.size(); ++row) {
    if (removed.count(paths_[row])) rows.insert(int(row));
  }
  removeRows(rows);
}

void QVGalleryModel::forgetPath(const std::string& path) {
  // Opened again later, a photo that failed is named again.
  if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) reportedFailures_.erase(path);
  auto it = entries_.find(path);
  if (it == entries_.end()) return;
  if (it->second.requested && services_) {
    services_->cancelLoadingImageAtPath(path, kThumbnailType);
    services_->cancelProcessingImageAtPath(path, kThumbnailType);
  }
  entries_.erase(it);
}

void QVGalleryModel::requestImagesForRow(int row) {
  if (!shouldStartProcessingThumbs_ || !services_) return;
  const std::string path = pathAt(row);
  if (path.empty()) return;
  Entry& entry = entries_[path];
  touch(entry);
  if (entry.requested) return;
  entry.requested = true;
  std::weak_ptr<int> alive = alive_;
  services_->loadImageAtPath(path, kThumbnailType, [this, alive, path](const std::string&, NSImageRef image) {
    QVDispatchOnMainThread([this, alive, path, image] {
      if (alive.lock()) setOriginalImage(path, image);
    });
  });
  services_->processImageAtPath(path, kThumbnailType, kEnhancedPriority,
                                [this, alive, path](const std::string&, NSImageRef, NSImageRef processed) {
                                  QVDispatchOnMainThread([this, alive, path, processed] {
                                    if (alive.lock()) setProcessedImage(path, processed);
                                  });
                                });
}

NSImageRef QVGalleryModel::originalImage(const std::string& path) const {
  auto it = entries_.find(path);
  return it == entries_.end() ? nullptr : it->second.original;
}

NSImageRef QVGalleryModel::processedImage(const std::string& path) const {
  auto it = entries_.find(path);
  return it == entries_.end() ? nullptr : it->second.processed;
}

void QVGalleryModel::reportFailedImage(const std::string& path) {
  if (entries_.count(path) && reportedFailures_.insert(path).second) QVUndecodablePhotos::report(path);
}

void QVGalleryModel::setOriginalImage(const std::string& path, NSImageRef image) {
  auto it = entries_.find(path);
  // An answer for a path no longer open (or asked for again since) has no row to land on.
  if (it == entries_.end()) return;
  if (!image) return reportFailedImage(path);
  it->second.original = std::move(image);
  if (!it->second.pictureIsProcessed) it->second.picture = QPixmap();
  touch(it->second);
  boundHeldBytes(path);
  rowsChangedForPath(path);
}

void QVGalleryModel::setProcessedImage(const std::string& path, NSImageRef image) {
  auto it = entries_.find(path);
  if (it == entries_.end()) return;
  if (!image) return reportFailedImage(path);
  it->second.processed = std::move(image);
  it->second.picture = QPixmap();
  touch(it->second);
  boundHeldBytes(path);
  rowsChangedForPath(path);
}

uint64_t QVGalleryModel::bytesOf(const Entry& entry) {
  uint64_t bytes = 0;
  if (entry.original) bytes += entry.original->heldBytes();
  if (entry.processed && entry.processed != entry.original) bytes += entry.processed->heldBytes();
  if (!entry.picture.isNull())
    bytes += uint64_t(entry.picture.width()) * uint64_t(entry.picture.height()) * uint64_t(entry.picture.depth() / 8);
  return bytes;
}

uint64_t QVGalleryModel::heldBytes() const {
  uint64_t total = 0;
  for (const auto& [path, entry] : entries_) total += bytesOf(entry);
  return total;
}

void QVGalleryModel::setHeldBytesLimit(uint64_t limit) {
  heldBytesLimit_ = limit;
  boundHeldBytes({});
}

void QVGalleryModel::boundHeldBytes(const std::string& keep) {
  uint64_t total = heldBytes();
  if (total <= heldBytesLimit_) return;
  std::vector<std::pair<uint64_t, std::string>> byUse;
  for (const auto& [path, entry] : entries_)
    if (path != keep) byUse.emplace_back(entry.lastUse, path);
  std::sort(byUse.begin(), byUse.end());
  for (const auto& [use, path] : byUse) {
    if (total <= heldBytesLimit_) break;
    total -= bytesOf(entries_.at(path));
    // Its rows ask again when they are painted again.
    forgetPath(path);
    rowsChangedForPath(path);
  }
}

void QVGalleryModel::rowsChangedForPath(const std::string& path) {
  for (size_t row = 0; row < paths_.size(); ++row) {
    if (paths_[row] != path) continue;
    const QModelIndex index = this->index(int(row));
    emit dataChanged(index, index, {HasOriginalRole, HasProcessedRole});
  }
}

QPixmap QVGalleryModel::displayPicture(const std::string& path, QSize pixelSize, double devicePixelRatio) const {
  auto it = entries_.find(path);
  if (it == entries_.end() || pixelSize.isEmpty()) return {};
  const Entry& entry = it->second;
  touch(entry);
  const NSImageRef& shown = entry.processed ? entry.processed : entry.original;
  if (!shown) return {};
  const bool isProcessed = entry.processed != nullptr;
  if (!entry.picture.isNull() && entry.picture.size() == pixelSize && entry.pictureIsProcessed == isProcessed &&
      entry.picture.devicePixelRatio() == devicePixelRatio)
    return entry.picture;
  const QImage image = QVImageBridge::imageFromNSImage(shown, pixelSize);
  if (image.isNull()) return {};
  // An opaque picture over the grid's background: drawing it is a plain copy, never a blend.
  QImage opaque(pixelSize, QImage::Format_RGB32);
  opaque.fill(background_);
  {
    QPainter painter(&opaque);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(), pixelSize), image);
  }
  QPixmap picture = QPixmap::fromImage(std::move(opaque));
  picture.setDevicePixelRatio(devicePixelRatio);
  entry.picture = picture;
  entry.pictureIsProcessed = isProcessed;
  ++pictureRenders_;
  return picture;
}
