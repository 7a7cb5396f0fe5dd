#pragma once
// The gallery: the screen of two or more open photos. A grid of every open photo (thumbnail, then
// enhanced thumbnail) under the title bar, the export panel docked over it, a context menu to
// export or delete the selection (or everything), keys (Space opens and closes the quick preview,
// Delete and Backspace delete the selection, the arrows step the quick preview or move the
// selection) and the quick preview of the selection.
//
// Deleting everything asks the delegate to start over; deleting all but one asks it to go to the
// single-image screen with the one left (and the source list loses the deleted paths only when the
// delegate runs the block it was handed); otherwise the paths leave the source list and the grid
// at once. While an export runs a blurred picture of the grid lies over it and the grid takes no
// input (keys are swallowed).
//
// Main thread only.
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Gallery/QVGalleryCollectionView.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanel.h"
#include "Ombrel/Classes/Application/Gallery/QVPreviewCollectionViewCell.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewWindowController.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationHelper.h"
#include "QVAppKit/QVViewController.h"
#include "QVBase/Geometry.h"

class QVGalleryViewController;
class QVGalleryModel;
class QVGalleryServices;
class QVExportImageDatasource;
class QMenu;
class QKeyEvent;

inline constexpr const char* kQVGalleryViewControllerCollectionViewKey = "QVGalleryViewControllerCollectionViewKey";
inline constexpr const char* kQVGalleryViewControllerBackgroundViewKey = "QVGalleryViewControllerBackgroundViewKey";
inline constexpr const char* kQVGalleryViewControllerExportPhotosButtonKey =
    "QVGalleryViewControllerExportPhotosButtonKey";

class QVGalleryControllerDatasource {
 public:
  virtual ~QVGalleryControllerDatasource() = default;
  // The ordered open paths; none when the source does not answer.
  virtual std::optional<std::vector<std::string>> imagesPaths() { return std::nullopt; }
  // The path list that keeps the temporary path of a transition (none when there is none).
  virtual QVExportImageDatasource* exportPathStorage() { return nullptr; }
};

class QVGalleryControllerDelegate {
 public:
  virtual ~QVGalleryControllerDelegate() = default;
  // Whether the delegate takes the single-image transition below.
  virtual bool answersDidLeaveASingleImage() const { return false; }
  // One photo is left: run the transition to the single-image screen, then the block.
  virtual void galleryViewControllerDidLeaveASingleImageWithPath(QVGalleryViewController* controller,
                                                                 const std::string& path,
                                                                 std::function<void()> animationCompletion) {}
  virtual void removeAllItemsInGalleryController(QVGalleryViewController* controller) {}
  virtual void clickStartOverInGalleryController(QVGalleryViewController* controller) {}
};

class QVGalleryViewController : public QVOverlayedViewController,
                                public QVGallaryItemDelegate,
                                public QVGalleryExportPanelOwner,
                                public QVQuickPreviewWindowControllerDelegate,
                                public QVExportGalleryAnimatable {
 public:
  static constexpr double kTopInset = 36;  // the title bar's height
  static constexpr double kBlurRadius = 10;
  static CGSize cellSize() { return CGSizeMake(198, 132); }
  double cellInset() override { return 12; }

  explicit QVGalleryViewController(std::shared_ptr<QVGalleryServices> services = nullptr);
  ~QVGalleryViewController() override;

  void loadView() override;
  void viewDidLoad() override;
  // Installs the key handling; the disappearing closes the quick preview and removes it.
  void viewWillAppear();
  void viewWillDisappear();

  // Not owned: both outlive the controller or clear themselves.
  QVGalleryControllerDatasource* datasource() const { return datasource_; }
  void setDatasource(QVGalleryControllerDatasource* datasource) { datasource_ = datasource; }
  QVGalleryControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVGalleryControllerDelegate* delegate) { delegate_ = delegate; }

  bool shouldStartProcessingThumbsOnLayout() const;
  void setShouldStartProcessingThumbsOnLayout(bool start) override;
  CGRect lonelyCachedCellRect() override { return lonelyCachedCellRect_; }

  QVGalleryCollectionView* collectionView() const { return collectionView_; }
  QVGalleryModel* model() const { return model_; }
  QVPreviewCollectionViewCell* cellPainter() const { return cell_; }
  QVView* backgroundView() const { return backgroundView_; }
  QVView* blurredView() const { return blurredView_; }
  QVGalleryExportPanel* exportViewController() const { return exportPanel_.get(); }
  QVQuickPreviewWindowController* quickPreviewController();
  bool hasQuickPreviewController() const { return quickPreview_ != nullptr; }

  // The data source's paths (empty when it does not answer).
  std::vector<std::string> paths() const;
  std::vector<std::string> imagePaths() override { return paths(); }
  // The cell's picture of the path: the enhanced thumbnail once it came, else the thumbnail.
  NSImageRef shownImageAtPath(const std::string& path) override;

  // ---- Called by the main window controller and the transitions ----
  void update();
  void reloadData();
  void reloadLastCells(uint64_t count);
  void insertIndexPath(const std::set<int>& rows);
  void prepareToStartOver(std::function<void()> block);
  // In the gallery's view, bottom-left space (the grid reaches its bottom edge).
  std::vector<CGRect> cellRects() override;
  CGRect cellRectForItem(int row) override { return cellRectForItemAtIndexPath(row, true); }
  CGRect cellRectForItemAtIndexPath(int row, bool reverseCoordinateSpace) const;
  std::map<std::string, QWidget*> animatableViews() override;
  QWidget* containerView() override { return view(); }
  // The quick preview's screen while the preview is shown.
  QVQuickPreviewScreen* quickPreviewViewController() const;
  void willPrepareToHideWindow();
  uint64_t exportState() const;
  void showBlur();
  void hideBlur();
  void startOver();
  void enableCollectionControls(bool enabled);

  // ---- Selection, deleting, menus, keys ----
  std::set<int> selectedRows() const;
  void selectRows(const std::set<int>& rows);
  void removeItemsAtIndexPaths(const std::set<int>& rows);
  std::vector<std::string> photoPathsAtIndexPaths(const std::set<int>& rows) const;
  // The context menu's items: none in plug-in mode, else "Export %@ Images..." and "Delete %@ Images..."
  // with the selection's count or "All".
  std::vector<std::string> contextMenuTitles() const;
  QMenu* createContextMenu();
  void selectMenuExportImages();
  void selectMenuRemoveImages();
  // Whether the key-down was taken (and so swallowed).
  bool handleKeyDownEvent(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // The monitor's answer: swallowed while the grid is disabled, else handled.
  bool keyDownMonitor(QKeyEvent* event);
  void keyDown(QKeyEvent* event);

  // ---- Quick preview ----
  bool isQuickpreviewVisible() const;
  void showQuickpreview();
  void hideQuickpreview();
  void validateQuickPreviewVisibility();
  // The image frame of the row's cell in the screens' coordinates (zero without a window).
  CGRect collectionItemFrameInScreenCoodinates(int row) const;
  void onSelectionChanged();

  // QVGallaryItemDelegate
  void doubleClickGallaryItem(int row) override;
  // QVGalleryExportPanelOwner
  std::vector<std::string> exportControllerPathsToShare() override { return paths(); }
  void exportControllerDidStart(QVGalleryExportPanel* panel) override;
  void exportControllerDidCancel(QVGalleryExportPanel* panel) override;
  void exportControllerDidFinish(QVGalleryExportPanel* panel) override;
  void exportControllerDidChangeExportState(QVGalleryExportPanel* panel, uint64_t state) override;
  bool exportControllerShouldShowSlider() const { return false; }
  bool exportPanelIsPluginPanel() override;
  void onExportVCStateChange(uint64_t state);
  // QVQuickPreviewWindowControllerDelegate
  void quickPreviewClickStartOverMenuItem(QVQuickPreviewWindowController*) override;

 private:
  void setupCollectionView();
  void configureExportViewController();
  void layoutSubviews();
  QWidget* windowOfView() const;

  std::shared_ptr<QVGalleryServices> services_;
  QVGalleryControllerDatasource* datasource_ = nullptr;
  QVGalleryControllerDelegate* delegate_ = nullptr;
  QPointer<QVView> root_;
  QPointer<QVView> backgroundView_;
  QPointer<QVView> blurredView_;
  QPointer<QVGalleryCollectionView> collectionView_;
  QVGalleryModel* model_ = nullptr;
  QVPreviewCollectionViewCell* cell_ = nullptr;
  std::unique_ptr<QVGalleryExportPanel> exportPanel_;
  std::unique_ptr<QVQuickPreviewWindowController> quickPreview_;
  std::unique_ptr<QObject> keyDownMonitor_;
  CGRect lonelyCachedCellRect_ = CGRectZero;
  bool forwardingKeyDown_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
