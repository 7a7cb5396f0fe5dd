#pragma once
// The extension's export-in-progress panel: over the blurred photo, the white title line
// ("EXPORTING A MASTERPIECE" for one photo to disk), 20 points below it the progress bar (12 high,
// 0.4 of the panel's width, rounded to its height, black under its stripes) and 20 points below
// that the phase text with its time estimate. No action button: the host's Cancel ends an edit.
//
// Main thread only.
#include <memory>

#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVPhaseLabelView.h"
#include "QVAppKit/QVProgressView.h"
#include "QVAppKit/QVView.h"
#include "SifaneExtension/SingleImageViewController/QVExtensionProgressPanel.h"

class QVExtensionProcessView : public QVView, public QVExtensionProgressPanel {
 public:
  static constexpr double kTitleHeight = 18;
  static constexpr double kGap = 20;
  static constexpr double kBarHeight = 12;
  static constexpr double kBarWidthRatio = 0.4;

  using QVView::QVView;
  ~QVExtensionProcessView() override;
  void addSubviews() override;
  void setupLayoutConstraints() override;

  QVLabel* titleLabel() const { return title_; }
  QVProgressView* progressView() const { return progress_; }
  QVExportingLabelView* exportingLabelView() const { return phases_; }
  // "EXPORTING A MASTERPIECE" for fewer than 2 files, "EXPORTING WORKS OF ART" otherwise (type 0).
  static std::string titleForDiskExportOfFiles(uint64_t filesCount);

  // ---- QVExtensionProgressPanel ----
  QVView* panelView() override { return this; }
  void startExportOfImage(const std::string& imagePath) override;
  uint64_t partsCount() const override { return progress_->partsCount(); }
  uint64_t currentPart() const override { return progress_->currentPart(); }
  void setCurrentPart(uint64_t part) override;
  void waitEndAnimationWithCompletion(std::function<void()> completion) override;
  std::string titleText() const override { return title_->title().value_or(std::string()); }
  bool showsCancelButton() const override { return false; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Phases;
  void placeColumn();
  bool placing_ = false;
  QVLabel* title_ = nullptr;
  QVProgressView* progress_ = nullptr;
  QVExportingLabelView* phases_ = nullptr;
  std::shared_ptr<Phases> phasesSource_;
};
