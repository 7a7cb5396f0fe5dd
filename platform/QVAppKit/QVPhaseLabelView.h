#pragma once
// One-line labels that step through a list of phase texts while an image is processed
// (`QVLoadingLabelView`) or exported (`QVExportingLabelView`), paced by a learned estimate of
// seconds per megapixel kept in the user defaults, so the steps roughly fill the expected time.
// Each label measures its real cycles and moves the stored estimate towards them.
//
// Steps are delayed blocks on the main queue (the main executor's clock: tests advance it by
// hand); destroying a label or `showLastPhase` cancels the steps it scheduled. A stored estimate
// that is not a finite positive number is ignored, so a damaged defaults file cannot stall or
// race the label.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QVAppKit/QVLabel.h"

class QVExportingLabelView;
class QVLoadingLabelView;

class QVExportingLabelDataSource {
 public:
  virtual ~QVExportingLabelDataSource() = default;
  virtual std::vector<std::string> phaseDescriptinosForExportingLabel(QVExportingLabelView* label) = 0;
  virtual CGSize processingImageSizeForExportingLabel(QVExportingLabelView* label) = 0;
};

class QVLoadingLabelDataSource {
 public:
  virtual ~QVLoadingLabelDataSource() = default;
  virtual std::vector<std::string> phaseDescriptinosForLoadingLabel(QVLoadingLabelView* label) = 0;
  virtual CGSize processingImageSizeForLoadingLabel(QVLoadingLabelView* label) = 0;
};

// What the two labels share; the differences are the virtual hooks.
class QVPhaseLabelView : public QVLabel {
 public:
  using QVLabel::QVLabel;
  ~QVPhaseLabelView() override;

  void initialize() override;

  void startAnimation() { restart(); }
  void stopAnimation() { stop(); }
  virtual void restart();
  void stop();
  virtual void reload() = 0;
  void updatePhaseWithIdx(int64_t index);
  void updatePhase();
  void showLastPhase();

  const std::vector<std::string>& phasesDescriptions() const { return phasesDescriptions_; }
  void setPhasesDescriptions(std::vector<std::string> phases) { phasesDescriptions_ = std::move(phases); }
  int64_t phasesCount() const { return int64_t(phasesDescriptions_.size()); }
  int64_t lastPhaseIdx() const { return phasesCount() - 1; }
  // The main executor's time when the current cycle started; none while idle.
  std::optional<double> startProcDate() const { return startProcDate_; }
  CGSize processingImageSize() const { return processingImageSize_; }
  void setProcessingImageSize(CGSize size) { processingImageSize_ = size; }

  // The shown text, or empty.
  std::string stringValue() const { return title().value_or(std::string()); }

  double megaPixelsInImage() const;
  double approxTimeForProcessing() const;
  virtual float approxTimeForIteration() const = 0;
  void updateApproxTimeWithTimeInterval(double seconds);
  // Steps scheduled and not yet run or cancelled.
  size_t scheduledStepCount() const { return scheduled_.size(); }

  // The random source of the jitter (tests pin it); answers an unsigned 32-bit number.
  static void setRandomSource(std::function<uint32_t()> source);

 protected:
  virtual float classApproxTimeForMPX() const = 0;
  virtual void classUpdateApproxTimeForMPX(float rate) = 0;
  // The last index the label reaches by itself.
  virtual int64_t lastSteppedIdx() const = 0;
  virtual void showLastPhaseText() = 0;
  static uint32_t random32();
  void setStringValue(const std::string& text);
  void cancelScheduledSteps();
  // Whole seconds since the cycle started (truncated), or none without a cycle.
  std::optional<double> elapsedWholeSeconds() const;

  std::vector<std::string> phasesDescriptions_;
  std::optional<double> startProcDate_;
  CGSize processingImageSize_ = CGSizeZero;

 private:
  std::set<uint64_t> scheduled_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class QVExportingLabelView : public QVPhaseLabelView {
 public:
  static constexpr const char* kKey = "kQVApproxTimeForExportingProcessingMPX";
  static constexpr float kDefault = 5.33f;

  static QVExportingLabelView* exportingLabelView();
  using QVPhaseLabelView::QVPhaseLabelView;

  std::weak_ptr<QVExportingLabelDataSource> exportingDataSource() const { return dataSource_; }
  void setExportingDataSource(std::weak_ptr<QVExportingLabelDataSource> source) { dataSource_ = std::move(source); }

  void restart() override;
  void reload() override;
  float approxTimeForIteration() const override;
  static float approxTimeForMPX();
  static void updateApproxTimeForMPX(float rate);

 protected:
  float classApproxTimeForMPX() const override { return approxTimeForMPX(); }
  void classUpdateApproxTimeForMPX(float rate) override { updateApproxTimeForMPX(rate); }
  int64_t lastSteppedIdx() const override { return lastPhaseIdx() - 1; }
  void showLastPhaseText() override;

 private:
  std::weak_ptr<QVExportingLabelDataSource> dataSource_;
};

class QVLoadingLabelView : public QVPhaseLabelView {
 public:
  static constexpr const char* kKey = "kQVApproxTimeForProcessingMPX";
  static constexpr float kDefault = 2.33f;

  static QVLoadingLabelView* loadingLabelView();
  using QVPhaseLabelView::QVPhaseLabelView;

  std::weak_ptr<QVLoadingLabelDataSource> loadingDataSource() const { return dataSource_; }
  void setLoadingDataSource(std::weak_ptr<QVLoadingLabelDataSource> source) { dataSource_ = std::move(source); }

  void reload() override;
  float approxTimeForIteration() const override;
  static float approxTimeForMPX();
  static void updateApproxTimeForMPX(float rate);

 protected:
  float classApproxTimeForMPX() const override { return approxTimeForMPX(); }
  void classUpdateApproxTimeForMPX(float rate) override { updateApproxTimeForMPX(rate); }
  int64_t lastSteppedIdx() const override { return lastPhaseIdx(); }
  void showLastPhaseText() override { updatePhaseWithIdx(lastPhaseIdx()); }

 private:
  std::weak_ptr<QVLoadingLabelDataSource> dataSource_;
};
