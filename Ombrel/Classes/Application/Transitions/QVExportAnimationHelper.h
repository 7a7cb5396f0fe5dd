#pragma once
// Runs one screen transition of the main window for its controller: picks the transition
// controller for the pair of modes, lays its view over the window's content once, starts it, and
// at the end puts the end screen into the content container (or, on cancel, the start screen back).
// It answers the transitions' questions about the first photo and the gallery's cells.
//
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

// The gallery as the transitions see it.
class QVExportGalleryAnimatable : public QVExportContainerAnimatable {
 public:
  int64_t containerMode() const override { return 2; }
  virtual void setShouldStartProcessingThumbsOnLayout(bool start) {}
  // Cell rectangles in the gallery's view (bottom-left space).
  virtual std::vector<CGRect> cellRects() = 0;
  // The cell the gallery left for one photo (zero when none).
  virtual CGRect lonelyCachedCellRect() { return CGRectZero; }
  // The rectangle of a row's cell; zero when there is none.
  virtual CGRect cellRectForItem(int row) = 0;
  virtual double cellInset() { return 12; }
  virtual std::vector<std::string> imagePaths() = 0;
};

// The main window controller as the driver sees it.
class QVExportWindowControllable {
 public:
  virtual ~QVExportWindowControllable() = default;
  virtual QVExportContainerAnimatable* currentVC() = 0;
  // A new screen for a mode; the controller keeps it.
  virtual QVExportContainerAnimatable* viewControllerForMode(int64_t mode) = 0;
  virtual QWidget* contentContainer() = 0;
  virtual std::optional<CGSize> firstImageSize() { return std::nullopt; }
  virtual std::vector<std::string> tempAnimationPaths() { return {}; }
  // A gallery cell showing the photo at the path.
  virtual std::unique_ptr<QWidget> createImageCell(const std::string& path) { return nullptr; }
  // The thumbnail of a path (empty when it fails); the answer may come on any thread.
  virtual void loadThumbnail(const std::string& path, std::function<void(QImage)> done);
};

class QVExportAnimationHelper : public QVExportAnimationTransitionControllerDelegate {
 public:
  QVExportAnimationHelper(QVExportTransition transition, QVExportWindowControllable* wc,
                          QVExportContainerAnimatable* endVC = nullptr);
  ~QVExportAnimationHelper() override;

  QVExportTransition transition() const { return transition_; }
  QVExportAnimationTransitionController* transitionVC() const { return transitionVC_.get(); }
  QVExportContainerAnimatable* endVC() const { return transitionVC_ ? transitionVC_->endVC() : nullptr; }
  // How often the transition view was laid into the content container.
  int timesLaid() const { return timesLaid_; }

  void animateTransition(std::function<void(QVExportContainerAnimatable* end)> completion = nullptr);
  void finishTransition();
  void cancelTransition(std::function<void()> completion = nullptr);
  void showAnimationControllerIfNeeded(QVExportAnimationTransitionController* controller);
  void hideAnimationController();

  // Answers to the transition controllers.
  std::optional<CGSize> exportAnimationTransitionImageSize(QVExportAnimationTransitionController*) override;
  std::vector<CGRect> exportAnimationTransitionCalculateGalleryCellRects(
      QVExportAnimationTransitionController* controller) override;
  CGRect exportAnimationTransitionCalculateGalleryFirstCellRect(
      QVExportAnimationTransitionController* controller) override;
  std::unique_ptr<QWidget> exportAnimationTransitionCreateGalleryFirstCellPrototype(
      QVExportAnimationTransitionController*) override;
  std::vector<std::string> exportAnimationTransitionImagePaths(QVExportAnimationTransitionController*) override;
  double exportAnimationTransitionCellInset(QVExportAnimationTransitionController*) override;
  void exportAnimationTransitionLoadThumbnail(QVExportAnimationTransitionController*, const std::string& path,
                                              std::function<void(QImage)> done) override;

 private:
  QVExportGalleryAnimatable* gallery(QVExportAnimationTransitionController* controller) const;
  void layoutGallery(QVExportGalleryAnimatable* gallery, QVExportAnimationTransitionController* controller);

  QVExportWindowControllable* wc_;
  std::unique_ptr<QVExportAnimationTransitionController> transitionVC_;
  QVExportTransition transition_;
  int timesLaid_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
