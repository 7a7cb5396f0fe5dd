#pragma once
// The export panel's in-progress view: a title naming the target ("EXPORTING A MASTERPIECE",
// "EXPORTING WORKS OF ART", "EXPORTING TO EMAIL"), below it the progress bar (0.4 of the width,
// 12 high, centred), below that the phase text with its time estimate for the current photo and
// zero to three dots counting seconds beside it, and the cancel button in the corner.
//
// The dots and the phase text run between `startAnimation` and `stopAnimation`. Each finished
// photo makes the phase text jump to its last phase and start again one second later for the
// next photo (one delayed restart at a time; stopping or reusing the view cancels it).
//
// Main thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVExportActionedBasicView.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVPhaseLabelView.h"
#include "QVAppKit/QVProgressView.h"
#include "QVPlatform/MainExecutor.h"

class QVExportProcessView : public QVExportLabeledView {
 public:
  static constexpr double kSpacing = 20;
  static constexpr double kProgressHeight = 12;
  static constexpr double kProgressWidthRatio = 0.4;
  static constexpr double kPhaseRestartDelay = 1.0;

  using QVExportLabeledView::QVExportLabeledView;
  ~QVExportProcessView() override;
  void initialize() override;
  void addSubviews() override;
  void layout() override;
  void subtreeContentChanged() override;

  QVProgressView* progressView() const { return progressView_; }
  QVExportingLabelView* exportingLabelView() const { return exportingLabel_; }
  QVLabel* dotLabel() const { return dotLabel_; }
  const std::string& dotString() const { return dotString_; }
  uint64_t currentPart() const { return currentPart_; }
  void setCurrentPart(uint64_t part);
  const std::vector<std::string>& imagesPathsToShare() const { return imagesPathsToShare_; }
  void setImagesPathsToShare(std::vector<std::string> paths) { imagesPathsToShare_ = std::move(paths); }
  // The photo being exported now; none after the last.
  std::optional<std::string> currentImagePath() const;

  void updateTitleWithServiceType(uint64_t type, const std::optional<std::string>& name, uint64_t filesCount);
  // The title for an export (exposed for tests).
  static std::string titleForServiceType(uint64_t type, const std::optional<std::string>& name, uint64_t filesCount);

  void startAnimation();
  void stopAnimation();
  void prepareForReuse();
  void onTick();
  bool isTicking() const { return timer_ != 0; }
  bool phaseRestartPending() const { return phaseRestart_ != 0; }

  static std::vector<std::string> phaseDescriptions();

 private:
  class Phases;
  void stopTimer();
  void cancelPhaseRestart();
  void updateDots();
  void placeDots();

  QVProgressView* progressView_ = nullptr;
  QVExportingLabelView* exportingLabel_ = nullptr;
  QVLabel* dotLabel_ = nullptr;
  std::string dotString_;
  uint64_t currentPart_ = 0;
  std::vector<std::string> imagesPathsToShare_;
  std::shared_ptr<Phases> phases_;
  QVAnimationDriver::AnimationId timer_ = 0;
  qv::MainExecutor::TimerId phaseRestart_ = 0;
  bool placingDots_ = false;
};
