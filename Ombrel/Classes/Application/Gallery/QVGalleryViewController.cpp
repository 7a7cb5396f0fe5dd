#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryCollectionView.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVAbstractScroller.h"
#include "QVAppKit/QVScrollView.h"
#include "QVAppKit/QVShadowRenderer.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

// The gallery's own background under the quick preview's corners. The preview floats over the
// gallery with its corners cut round, the bottom right one by 30 points; a wide photo's preview
// reaches down to the export pill there, and through the cut the pill showed as if laid over the
// preview's corner. Painted above the gallery's controls under each corner square of the preview,
// the background lets the preview cover all of its frame and still look round against the gallery.
class QVQuickPreviewCornerCover : public QWidget {
 public:
  QVQuickPreviewCornerCover(QWidget* gallery, QVSolvaneWindow* preview) : QWidget(gallery), preview_(preview) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    preview->installEventFilter(this);
    // The window's frame animation resizes the content after the window's own events.
    if (QWidget* content = preview->contentView()) content->installEventFilter(this);
    if (QWidget* window = gallery->window()) window->installEventFilter(this);
    hide();
  }
  ~QVQuickPreviewCornerCover() override {
    if (preview_) preview_->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show || type == QEvent::Hide) follow();
    return false;
  }
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QVUIStyle::themeBGColor()); }

 private:
  // Takes the place of the preview's corners as the gallery sees them; hidden with the preview.
  void follow() {
    QWidget* gallery = parentWidget();
    QWidget* content = preview_ ? preview_->contentView() : nullptr;
    if (!gallery || !content || !preview_->isVisible()) {
      hide();
      return;
    }
    const QRect frame(gallery->mapFromGlobal(content->mapToGlobal(QPoint(0, 0))), content->size());
    const QVCornerRadii radii = preview_->cornerRadii();
    QRegion corners;
    auto add = [&](double radius, bool right, bool bottom) {
      const int side = int(std::ceil(radius));
      corners += QRect(right ? frame.right() + 1 - side : frame.left(), bottom ? frame.bottom() + 1 - side : frame.top(),
                       side, side);
    };
    add(radii.topLeft, false, false);
    add(radii.topRight, true, false);
    add(radii.bottomRight, true, true);
    add(radii.bottomLeft, false, true);
    corners &= gallery->rect();
    if (corners.isEmpty()) {
      hide();
      return;
    }
    const QRect bounds = corners.boundingRect();
    setGeometry(bounds);
    setMask(corners.translated(-bounds.topLeft()));
    show();
    raise();
  }

  QPointer<QVSolvaneWindow> preview_;
};

// A picture of the grid blurred once, laid over it while an export runs.
class QVGalleryBlurredView : public QVView {
 public:
  using QVView::QVView;
  void setPicture(QPixmap picture) {
    picture_ = std::move(picture);
    update();
  }
  const QPixmap& picture() const { return picture_; }

 protected:
  void drawContent(QPainter& painter) override {
    if (!picture_.isNull()) painter.drawPixmap(QRectF(rect()), picture_, QRectF(picture_.rect()));
  }

 private:
  QPixmap picture_;
};

// The local key-down monitor: key presses in the gallery's window or the quick preview's.
class QVGalleryKeyMonitor : public QObject {
 public:
  QVGalleryKeyMonitor(QVGalleryViewController* controller) : controller_(controller) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !controller_->view()) return false;
    QWidget* window = widget->window();
    const bool inGallery = window == controller_->view()->window();
    const bool inPreview = controller_->hasQuickPreviewController() &&
                           window == static_cast<QWidget*>(controller_->quickPreviewController()->window());
    if (!inGallery && !inPreview) return false;
    return controller_->keyDownMonitor(static_cast<QKeyEvent*>(event));
  }

 private:
  QVGalleryViewController* controller_;
};

std::string formatCount(const std::string& format, const std::string& value) {
  std::string text = format;
  const auto at = text.find("%@");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace

QVGalleryViewController::QVGalleryViewController(std::shared_ptr<QVGalleryServices> services)
    : services_(services ? std::move(services) : QVGalleryServices::shared()) {}

QVGalleryViewController::~QVGalleryViewController() {
  alive_.reset();
  keyDownMonitor_.reset();
  quickPreview_.reset();
  exportPanel_.reset();
}

void QVGalleryViewController::loadView() {
  root_ = QVMake<QVView>(CGRectMake(0, 0, 800, 600));
  setView(root_);
}

void QVGalleryViewController::viewDidLoad() {
  QVOverlayedViewController::viewDidLoad();
  backgroundView_ = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
  backgroundView_->setBackgroundColor(QVUIStyle::themeBGColor());
  root_->addSubview(backgroundView_);
  backgroundView_->lower();
  model_ = new QVGalleryModel(services_, root_);
  model_->setPictureBackground(QVUIStyle::themeBGColor());
  collectionView_ = new QVGalleryCollectionView(root_);
  cell_ = new QVPreviewCollectionViewCell(model_, collectionView_);
  cell_->setSelectionStyle(QVUIStyle::cellSelectionStyle());
  cell_->setDelegate(this);
  collectionView_->setItemDelegate(cell_);
  collectionView_->setModel(model_);
  setupCollectionView();
  std::weak_ptr<int> alive = alive_;
  QObject::connect(collectionView_->selectionModel(), &QItemSelectionModel::selectionChanged, collectionView_,
                   [this, alive] {
                     if (alive.lock()) onSelectionChanged();
                   });
  collectionView_->onContextMenu = [this](const QPoint& position) {
    if (QMenu* menu = createContextMenu()) {
      menu->setAttribute(Qt::WA_DeleteOnClose);
      menu->popup(position);
    }
  };
  root_->addConstraint([this] { layoutSubviews(); });
  reloadData();
  configureExportViewController();
  layoutSubviews();
}

void QVGalleryViewController::setupCollectionView() {
  auto* scroller = new QVAbstractScroller();
  scroller->setCornerRadius(5);
  scroller->setKnobColor(QColor::fromRgbF(0.2235294133424759, 0.24313725531101227, 0.2666666805744171, 1));
  scroller->setScrollerWidth(4);
  scroller->setKnobSlotWidth(4);
  collectionView_->scrollView()->setVerticalScroller(scroller);
}

void QVGalleryViewController::configureExportViewController() {
  exportPanel_ = QVGalleryExportPanel::make(this);
  if (!exportPanel_) return;
  exportPanel_->updateWithExportState(0);
  if (QWidget* panel = exportPanel_->view()) QVEmbedInContainer(panel, root_);
}

void QVGalleryViewController::layoutSubviews() {
  if (!root_) return;
  const QRect bounds = root_->rect();
  if (backgroundView_) backgroundView_->setGeometry(bounds);
  const QRect grid = bounds.adjusted(0, int(kTopInset), 0, 0);
  if (collectionView_) collectionView_->setGeometry(grid);
  if (blurredView_) blurredView_->setGeometry(grid);
}

bool QVGalleryViewController::shouldStartProcessingThumbsOnLayout() const {
  return model_ ? model_->shouldStartProcessingThumbs() : true;
}

void QVGalleryViewController::setShouldStartProcessingThumbsOnLayout(bool start) {
  view();
  model_->setShouldStartProcessingThumbs(start);
}

QVQuickPreviewWindowController* QVGalleryViewController::quickPreviewController() {
  if (!quickPreview_) {
    quickPreview_ = std::make_unique<QVQuickPreviewWindowController>();
    quickPreview_->setDelegate(this);
    if (root_ && quickPreview_->window()) new QVQuickPreviewCornerCover(root_, quickPreview_->window());
  }
  return quickPreview_.get();
}

std::vector<std::string> QVGalleryViewController::paths() const {
  if (!datasource_) return {};
  return datasource_->imagesPaths().value_or(std::vector<std::string>{});
}

// ---- Appearing ----

void QVGalleryViewController::viewWillAppear() {
  if (keyDownMonitor_) return;
  keyDownMonitor_ = std::make_unique<QVGalleryKeyMonitor>(this);
  qApp->installEventFilter(keyDownMonitor_.get());
}

void QVGalleryViewController::viewWillDisappear() {
  if (isQuickpreviewVisible()) quickPreview_->window()->close();
  keyDownMonitor_.reset();
}

// ---- Reloading ----

void QVGalleryViewController::update() {
  reloadData();
  if (exportPanel_) exportPanel_->reload();
}

void QVGalleryViewController::reloadData() {
  view();
  model_->setPaths(paths());
}

void QVGalleryViewController::reloadLastCells(uint64_t) {
  view();
  // The rows inserted are the list's real growth, whatever count the caller expected.
  model_->setPaths(paths());
  if (exportPanel_) exportPanel_->updateExportedItemsCount();
}

void QVGalleryViewController::insertIndexPath(const std::set<int>&) {
  view();
  model_->setPaths(paths());
}

std::vector<CGRect> QVGalleryViewController::cellRects() {
  return collectionView_ ? collectionView_->cellRects() : std::vector<CGRect>{};
}

CGRect QVGalleryViewController::cellRectForItemAtIndexPath(int row, bool reverseCoordinateSpace) const {
  if (!collectionView_) return CGRectZero;
  CGRect rect = collectionView_->cellRectForItem(row, reverseCoordinateSpace);
  // The grid lies below the title bar inside the screen's view.
  if (!reverseCoordinateSpace) rect.origin.y += kTopInset;
  return rect;
}

NSImageRef QVGalleryViewController::shownImageAtPath(const std::string& path) {
  if (!model_) return nullptr;
  NSImageRef processed = model_->processedImage(path);
  return processed ? processed : model_->originalImage(path);
}

std::map<std::string, QWidget*> QVGalleryViewController::animatableViews() {
  std::map<std::string, QWidget*> views{{kQVGalleryViewControllerCollectionViewKey, collectionView_},
                                        {kQVGalleryViewControllerBackgroundViewKey, backgroundView_}};
  if (exportPanel_) {
    if (QWidget* button = exportPanel_->exportPhotosButton()) {
      views[kQVGalleryViewControllerExportPhotosButtonKey] = button;
    } else {
      for (const auto& [key, view] : exportPanel_->animatableViews()) views[key] = view;
    }
  }
  return views;
}

QVQuickPreviewScreen* QVGalleryViewController::quickPreviewViewController() const {
  return isQuickpreviewVisible() ? quickPreview_->singleImageViewController() : nullptr;
}

void QVGalleryViewController::willPrepareToHideWindow() {
  if (isQuickpreviewVisible()) hideQuickpreview();
}

bool QVGalleryViewController::exportPanelIsPluginPanel() { return services_->isPluginMode(); }

uint64_t QVGalleryViewController::exportState() const { return exportPanel_ ? exportPanel_->currentState() : 0; }

// ---- Start over, blur ----

void QVGalleryViewController::prepareToStartOver(std::function<void()> block) {
  if (collectionView_) collectionView_->scrollView()->setVerticalScroller(nullptr);
  if (isQuickpreviewVisible()) hideQuickpreview();
  if (exportState() == 1 && exportPanel_ && exportPanel_->view()) {
    QPointer<QWidget> panel = exportPanel_->view();
    NSViewExtensions::appear(panel, false, true, 0.2, [panel, block] {
      if (panel) panel->setParent(nullptr);
      if (block) block();
    });
    return;
  }
  if (block) block();
}

void QVGalleryViewController::startOver() {
  if (delegate_) delegate_->removeAllItemsInGalleryController(this);
}

void QVGalleryViewController::enableCollectionControls(bool enabled) {
  if (collectionView_) collectionView_->setGridEnabled(enabled);
}

void QVGalleryViewController::showBlur() {
  if (isQuickpreviewVisible()) hideQuickpreview();
  enableCollectionControls(false);
  if (!collectionView_) return;
  if (!blurredView_) {
    blurredView_ = QVMake<QVGalleryBlurredView>(CGRectMake(0, 0, 10, 10));
    blurredView_->setParent(root_);
  }
  // One picture of the grid over its background, blurred once. The radius is a standard deviation
  // in points; the box blur's radius is two of them, in pixels.
  const QPixmap grab = collectionView_->grab();
  const double ratio = grab.devicePixelRatio();
  QImage image(grab.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(QVUIStyle::themeBGColor());
  {
    QPainter painter(&image);
    QPixmap unscaled = grab;
    unscaled.setDevicePixelRatio(1);
    painter.drawPixmap(0, 0, unscaled);
  }
  QVBlurImage(image, 2 * kBlurRadius * ratio);
  // The blur thins out at the edges: laid over the background again, the picture stays opaque and
  // nothing sharp shows through.
  QImage opaque(image.size(), QImage::Format_RGB32);
  opaque.fill(QVUIStyle::themeBGColor());
  {
    QPainter painter(&opaque);
    painter.drawImage(0, 0, image);
  }
  QPixmap picture = QPixmap::fromImage(opaque);
  picture.setDevicePixelRatio(ratio);
  static_cast<QVGalleryBlurredView*>(blurredView_.data())->setPicture(picture);
  layoutSubviews();
  blurredView_->show();
  blurredView_->raise();
  if (exportPanel_ && exportPanel_->view()) exportPanel_->view()->raise();
}

void QVGalleryViewController::hideBlur() {
  enableCollectionControls(true);
  if (blurredView_) {
    blurredView_->hide();
    blurredView_->deleteLater();
    blurredView_ = nullptr;
  }
}

// ---- Export panel ----

void QVGalleryViewController::exportControllerDidStart(QVGalleryExportPanel* panel) {
  showBlur();
  onExportVCStateChange(panel ? panel->currentState() : exportState());
}

void QVGalleryViewController::exportControllerDidCancel(QVGalleryExportPanel* panel) {
  hideBlur();
  onExportVCStateChange(panel ? panel->currentState() : exportState());
}

void QVGalleryViewController::exportControllerDidFinish(QVGalleryExportPanel* panel) {
  hideBlur();
  onExportVCStateChange(panel ? panel->currentState() : exportState());
}

void QVGalleryViewController::exportControllerDidChangeExportState(QVGalleryExportPanel*, uint64_t state) {
  qv::NotificationCenter::defaultCenter().post(kQVExportViewStateDidChangeNotification,
                                               std::make_shared<uint64_t>(state == 0 ? 1 : 0));
}

void QVGalleryViewController::onExportVCStateChange(uint64_t state) {
  if (auto* window = dynamic_cast<QVSolvaneWindow*>(windowOfView())) window->setImportMoreButtonEnabled(state == 0);
}

QWidget* QVGalleryViewController::windowOfView() const { return root_ ? root_->window() : nullptr; }

// ---- Selection and deleting ----

std::set<int> QVGalleryViewController::selectedRows() const {
  std::set<int> rows;
  if (!collectionView_ || !collectionView_->selectionModel()) return rows;
  for (const QModelIndex& index : collectionView_->selectionModel()->selectedIndexes()) rows.insert(index.row());
  return rows;
}

void QVGalleryViewController::selectRows(const std::set<int>& rows) {
  view();
  QItemSelection selection;
  for (int row : rows) {
    const QModelIndex index = model_->index(row);
    if (index.isValid()) selection.select(index, index);
  }
  collectionView_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!rows.empty())
    collectionView_->selectionModel()->setCurrentIndex(model_->index(*rows.begin()), QItemSelectionModel::NoUpdate);
}

std::vector<std::string> QVGalleryViewController::photoPathsAtIndexPaths(const std::set<int>& rows) const {
  // Rows are the grid's: the photo a row stands for is the one its cell shows.
  const std::vector<std::string> all = model_ ? model_->paths() : paths();
  std::vector<std::string> result;
  for (int row : rows) {
    if (row >= 0 && size_t(row) < all.size()) result.push_back(all[size_t(row)]);
  }
  return result;
}

void QVGalleryViewController::removeItemsAtIndexPaths(const std::set<int>& rows) {
  view();
  const std::vector<std::string> all = model_->paths();
  if (rows.size() == all.size()) {
    startOver();
    return;
  }
  const std::vector<std::string> removed = photoPathsAtIndexPaths(rows);
  std::optional<std::string> lonePath;
  std::vector<int> left;
  for (int row = 0; row < int(all.size()); ++row) {
    if (!rows.count(row)) left.push_back(row);
  }
  if (all.size() - removed.size() == 1 && left.size() == 1) {
    lonelyCachedCellRect_ = collectionView_ ? collectionView_->cellRectForItem(left.front()) : CGRectZero;
    lonePath = all[size_t(left.front())];
  }
  if (lonePath) {
    if (!delegate_ || !delegate_->answersDidLeaveASingleImage()) return;
    QVExportImageDatasource* storage = datasource_ ? datasource_->exportPathStorage() : nullptr;
    if (storage) storage->saveTempPath(*lonePath);
    std::weak_ptr<int> alive = alive_;
    auto services = services_;
    delegate_->galleryViewControllerDidLeaveASingleImageWithPath(this, *lonePath, [services, removed, storage] {
      services->deleteImagesWithPaths(removed);
      if (storage) storage->clearTempPaths();
    });
    validateQuickPreviewVisibility();
    return;
  }
  services_->deleteImagesWithPaths(removed);
  // The source list tells the main window at once, which may have reloaded the grid already: the
  // rows go by their photos, never by number, so no photo left loses its cell.
  model_->removePaths(removed);
  if (exportPanel_) exportPanel_->reload();
  validateQuickPreviewVisibility();
}

// ---- Context menu ----

std::vector<std::string> QVGalleryViewController::contextMenuTitles() const {
  if (services_->isPluginMode()) return {};
  const size_t selected = selectedRows().size();
  const std::string count = selected ? std::to_string(selected) : qv::QVSLocalization::localizedStringForKey("All");
  // One selected photo is "Image"; several, or all, are "Images".
  const bool one = selected == 1;
  return {formatCount(qv::QVSLocalization::localizedStringForKey(one ? "Export %@ Image..." : "Export %@ Images..."),
                      count),
          formatCount(qv::QVSLocalization::localizedStringForKey(one ? "Delete %@ Image..." : "Delete %@ Images..."),
                      count)};
}

QMenu* QVGalleryViewController::createContextMenu() {
  const std::vector<std::string> titles = contextMenuTitles();
  if (titles.empty()) return nullptr;
  auto* menu = new QMenu(collectionView_);
  menu->setStyleSheet(QVUIStyle::menuStyleSheet());
  std::weak_ptr<int> alive = alive_;
  QObject::connect(menu->addAction(QString::fromStdString(titles[0])), &QAction::triggered, menu, [this, alive] {
    if (alive.lock()) selectMenuExportImages();
  });
  QObject::connect(menu->addAction(QString::fromStdString(titles[1])), &QAction::triggered, menu, [this, alive] {
    if (alive.lock()) selectMenuRemoveImages();
  });
  return menu;
}

void QVGalleryViewController::selectMenuExportImages() {
  const std::set<int> rows = selectedRows();
  const std::vector<std::string> chosen = rows.empty() ? paths() : photoPathsAtIndexPaths(rows);
  if (!chosen.empty() && exportPanel_) exportPanel_->exportPhotosToDisk(chosen);
}

void QVGalleryViewController::selectMenuRemoveImages() {
  const std::set<int> rows = selectedRows();
  if (rows.empty()) {
    startOver();
  } else {
    removeItemsAtIndexPaths(rows);
  }
}

// ---- Keys ----

bool QVGalleryViewController::keyDownMonitor(QKeyEvent* event) {
  // The keys this controller hands on to the grid pass the monitor again: let them through.
  if (forwardingKeyDown_) return false;
  if (!collectionView_ || !collectionView_->enabled()) return true;
  if (!handleKeyDownEvent(event->key(), event->modifiers())) return false;
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down || event->key() == Qt::Key_Left ||
      event->key() == Qt::Key_Right) {
    const bool stepped = isQuickpreviewVisible() && selectedRows().size() >= 2 &&
                         (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right);
    if (!stepped) keyDown(event);
  }
  return true;
}

bool QVGalleryViewController::handleKeyDownEvent(int key, Qt::KeyboardModifiers) {
  if (services_->isFilePanelShown()) return false;
  switch (key) {
    case Qt::Key_Space:
      if (quickPreview_ && quickPreview_->animatesResize()) return true;
      if (isQuickpreviewVisible()) {
        hideQuickpreview();
      } else {
        showQuickpreview();
      }
      return true;
    case Qt::Key_Escape:
      // Closes the preview as space does; without one it is not ours.
      if (!isQuickpreviewVisible()) return false;
      if (!quickPreview_->animatesResize()) hideQuickpreview();
      return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete: {
      if (services_->isPluginMode()) return true;
      if (!services_->isImportExportMenuEnabled()) return false;
      const std::set<int> rows = selectedRows();
      if (rows.empty()) return true;
      removeItemsAtIndexPaths(rows);
      return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (isQuickpreviewVisible() && selectedRows().size() >= 2) {
        if (key == Qt::Key_Left) {
          quickPreview_->showPrevImage();
        } else {
          quickPreview_->showNextImage();
        }
      }
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

void QVGalleryViewController::keyDown(QKeyEvent* event) {
  // The arrows move the grid's selection, as in any grid of pictures.
  if (!collectionView_) return;
  QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
  forwardingKeyDown_ = true;
  QApplication::sendEvent(collectionView_, &copy);
  forwardingKeyDown_ = false;
}

// ---- Quick preview ----

bool QVGalleryViewController::isQuickpreviewVisible() const {
  return quickPreview_ && quickPreview_->window() && quickPreview_->window()->isVisible() && !quickPreview_->hidden();
}

void QVGalleryViewController::doubleClickGallaryItem(int) {
  if (!isQuickpreviewVisible()) showQuickpreview();
}

void QVGalleryViewController::showQuickpreview() {
  const std::set<int> rows = selectedRows();
  const std::vector<std::string> selected = photoPathsAtIndexPaths(rows);
  if (selected.empty()) return;
  auto* preview = quickPreviewController();
  preview->setImagePaths(selected);
  preview->setSelectedIdx(0);
  const int first = *rows.begin();
  collectionView_->scrollTo(model_->index(first), QAbstractItemView::EnsureVisible);
  std::weak_ptr<int> alive = alive_;
  qv::MainExecutor::shared().async([this, alive, first] {
    if (!alive.lock() || !quickPreview_) return;
    quickPreview_->showFromRect(collectionItemFrameInScreenCoodinates(first),
                                dynamic_cast<QVSolvaneWindow*>(windowOfView()));
  });
}

void QVGalleryViewController::hideQuickpreview() {
  if (!quickPreview_) return;
  const std::vector<std::string> all = model_ ? model_->paths() : paths();
  const std::string selected = quickPreview_->selectedPath();
  int row = -1;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == selected) {
      row = int(i);
      break;
    }
  }
  quickPreview_->hideToRect(row >= 0 ? collectionItemFrameInScreenCoodinates(row) : CGRectZero);
}

void QVGalleryViewController::validateQuickPreviewVisibility() {
  if (!isQuickpreviewVisible()) return;
  const std::vector<std::string> selected = photoPathsAtIndexPaths(selectedRows());
  const std::vector<std::string>& shown = quickPreview_->imagePaths();
  if (std::set<std::string>(shown.begin(), shown.end()) == std::set<std::string>(selected.begin(), selected.end()))
    return;
  if (!selected.empty() && paths().size() >= 2) {
    const std::string previous = quickPreview_->selectedPath();
    quickPreview_->changeImagePaths(selected);
    const auto it = std::find(selected.begin(), selected.end(), previous);
    quickPreview_->setSelectedIdx(it == selected.end() ? 0 : int64_t(it - selected.begin()));
  } else {
    hideQuickpreview();
  }
}

void QVGalleryViewController::onSelectionChanged() {
  if (!isQuickpreviewVisible()) return;
  const std::vector<std::string> selected = photoPathsAtIndexPaths(selectedRows());
  if (!selected.empty()) quickPreview_->changeImagePaths(selected);
}

CGRect QVGalleryViewController::collectionItemFrameInScreenCoodinates(int row) const {
  if (!collectionView_ || !model_ || !collectionView_->window()) return CGRectZero;
  QModelIndex index = model_->index(row);
  QRect item = collectionView_->visualRect(index);
  // A cell scrolled away stands in with the first visible one.
  if (!item.intersects(collectionView_->viewport()->rect())) {
    const std::vector<int> visible = collectionView_->visibleRows();
    if (visible.empty()) return CGRectZero;
    index = model_->index(visible.front());
    item = collectionView_->visualRect(index);
  }
  const CGRect image = cell_->imageFrameForIndex(index, CGRectMake(0, 0, item.width(), item.height()));
  // The image frame is y-up inside the item; flip it into the item's Qt space.
  const QRect inItem(int(image.origin.x), int(item.height() - image.origin.y - image.size.height),
                     int(image.size.width), int(image.size.height));
  const QPoint topLeft = collectionView_->viewport()->mapToGlobal(item.topLeft() + inItem.topLeft());
  return QVSolvaneWindow::screenRectFromQtRect(QRect(topLeft, inItem.size()));
}

void QVGalleryViewController::quickPreviewClickStartOverMenuItem(QVQuickPreviewWindowController*) {
  if (delegate_) delegate_->clickStartOverInGalleryController(this);
}
