#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"

#include <set>

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/SourceManager/QVSourceManager.h"

namespace {

// The facade's source manager.
class QVAppSourceList : public QVExportImageSourceList {
 public:
  std::vector<std::string> imagesPaths() const override { return QVApp::sourceManager()->imagesPaths(); }
  void setImagesPaths(const std::vector<std::string>& paths, bool cleanCache) override {
    QVApp::sourceManager()->setImagesPaths(paths, cleanCache);
  }
  void addImageWithPaths(const std::vector<std::string>& paths) override {
    QVApp::sourceManager()->addImageWithPaths(paths);
  }
  std::vector<std::string> validatedFilenames(const std::vector<std::string>& paths) const override {
    return QVSourceManager::validatedFilenames(paths);
  }
};

std::shared_ptr<QVExportImageSourceList>& sharedList() {
  static std::shared_ptr<QVExportImageSourceList> list;
  return list;
}

}  // namespace

std::shared_ptr<QVExportImageSourceList> QVExportImageSourceList::shared() {
  if (!sharedList()) sharedList() = std::make_shared<QVAppSourceList>();
  return sharedList();
}

void QVExportImageSourceList::setShared(std::shared_ptr<QVExportImageSourceList> list) {
  sharedList() = std::move(list);
}

QVExportImageDatasource::QVExportImageDatasource(const std::vector<std::string>& paths) : paths_(paths) {
  QVExportImageSourceList::shared()->setImagesPaths(paths, false);
  deletionObserver_ = qv::NotificationCenter::defaultCenter().addObserver(
      kQVAppDidDeleteSourceItemNotification, nullptr,
      [this](const qv::Notification&) { sourceManagerDidDeleteSourceItem(); });
}

QVExportImageDatasource::~QVExportImageDatasource() { deletionObserver_.reset(); }

void QVExportImageDatasource::addPaths(const std::vector<std::string>& paths) {
  const std::vector<std::string> current = pathsOrEmpty();
  const std::set<std::string> known(current.begin(), current.end());
  std::vector<std::string> added;
  for (const auto& path : paths) {
    if (!known.count(path)) added.push_back(path);
  }
  if (added.empty()) return;
  QVExportImageSourceList::shared()->addImageWithPaths(added);
  std::vector<std::string> next = current;
  next.insert(next.end(), added.begin(), added.end());
  paths_ = std::move(next);
}

void QVExportImageDatasource::saveTempPath(const std::optional<std::string>& path) {
  if (path) tempPaths_ = std::vector<std::string>{*path};
}

std::vector<std::string> QVExportImageDatasource::validateFilenames(const std::vector<std::string>& paths) {
  return QVExportImageSourceList::shared()->validatedFilenames(paths);
}

void QVExportImageDatasource::sourceManagerDidDeleteSourceItem() {
  paths_ = QVExportImageSourceList::shared()->imagesPaths();
  if (delegate_) delegate_->exportImagePathsDidChange(this);
}
