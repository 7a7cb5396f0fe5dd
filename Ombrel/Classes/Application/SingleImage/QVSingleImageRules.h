#pragma once
// The single-image screen's rules without widgets: which facade calls follow showing a path, when
// the screen enters each state and announces it, how the strength slider's amount becomes the
// result's opacity and is stored, and what a failed enhancement does. The screen's widgets do
// what the rules ask through `QVSingleImagePort`.
//
// States: 0 processing (blurred preview, dots, phase texts), 1 processed (source and result under
// the split line), 2 exporting. Each change posts "QVExportViewStateDidChange".
//
// A photo the core could not enhance (no processed image) never enters state 1: the port is told
// to stop the dots and say so, and the state stays 0, so the export controls stay locked.
//
// Main thread only; facade answers that arrive elsewhere are brought to the main thread and are
// dropped when the rules are gone or another path is shown meanwhile.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"

enum QVExportImageViewControllerState : uint64_t {
  QVExportImageViewControllerState_Processing = 0,
  QVExportImageViewControllerState_Processed = 1,
  QVExportImageViewControllerState_Exporting = 2,
};

class QVSingleImagePort {
 public:
  virtual ~QVSingleImagePort() = default;
  virtual void setBlurredImage(NSImageRef image) = 0;
  // The pictures of a processed photo: `shownOriginal` (the lens-corrected preview or the source)
  // under the full-size result, the source under the split line, the result as the compare image.
  virtual void setImages(NSImageRef shownOriginal, NSImageRef source, NSImageRef result) = 0;
  virtual void setResultAlpha(double alpha) = 0;
  virtual void updateSliderOffset(double amount) = 0;
  virtual void updateWithExportState(uint64_t state, bool animated) = 0;
  virtual void setappCompareImageForLensCorrectionIfNeeded() = 0;
  virtual void showProcessingFailed() = 0;
};

class QVSingleImageRules {
 public:
  static constexpr int64_t kPreviewImageType = 1;
  static constexpr int64_t kPreviewPriority = 4;
  static constexpr double kPreviewFitSide = 2000;

  QVSingleImageRules(std::shared_ptr<QVSingleImageFacade> facade, QVSingleImagePort* port);
  ~QVSingleImageRules();

  static std::optional<std::string> exportViewControllerStateStringFromState(uint64_t state);

  const std::string& imagePath() const { return imagePath_; }
  uint64_t currentState() const { return currentState_; }
  // Stores a different state and posts it; an equal one posts nothing. Answers whether it changed.
  bool setCurrentState(uint64_t state);
  bool processingFailed() const { return failed_; }

  void showProcessedImageWithPath(const std::string& path, bool animated = true);
  void onImageProcessed(NSImageRef result, NSImageRef source, const std::string& path);
  // The strength as the result's opacity, stored for the path.
  void changeBoostSliderAmount(double amount);
  // A processing setting changed: the path's preview leaves the cache and is shown again.
  void onAppPresetSettingsChanged();
  // The lens-corrected preview when automatic lens correction is on (and cached), else the source.
  NSImageRef imagePreviewToSetAsOriginal(NSImageRef source, const std::string& path);

  // The loading label's texts and the size its estimate is made for.
  static std::vector<std::string> phaseDescriptions();
  CGSize processingImageSize();

  QVSingleImageFacade& facade() { return *facade_; }

 private:
  void fillProcessed(NSImageRef source, NSImageRef result, const std::string& path);

  std::shared_ptr<QVSingleImageFacade> facade_;
  QVSingleImagePort* port_;
  std::string imagePath_;
  uint64_t currentState_ = QVExportImageViewControllerState_Processing;
  bool stateSet_ = false;
  // The shown path's result came (before its blurred preview, perhaps).
  bool resultArrived_ = false;
  bool failed_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
