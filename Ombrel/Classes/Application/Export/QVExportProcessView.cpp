#include "Ombrel/Classes/Application/Export/QVExportProcessView.h"

#include <QPointer>
#include <QString>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVRepeatingTimer.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Localization.h"

namespace {

std::string localized(const char* key) { return qv::QVSLocalization::localizedStringForKey(key); }
std::string upper(const std::string& text) { return QString::fromStdString(text).toUpper().toStdString(); }

}  // namespace

// The phase text's data source: the view's phases and the size of the photo being exported.
class QVExportProcessView::Phases : public QVExportingLabelDataSource {
 public:
  explicit Phases(QVExportProcessView* view) : view_(view) {}
  std::vector<std::string> phaseDescriptinosForExportingLabel(QVExportingLabelView*) override {
    return phaseDescriptions();
  }
  CGSize processingImageSizeForExportingLabel(QVExportingLabelView*) override {
    if (!view_) return CGSizeZero;
    const auto path = view_->currentImagePath();
    return path ? QVImageUtils::imageSizeForPath(*path) : CGSizeZero;
  }

 private:
  QPointer<QVExportProcessView> view_;
};

QVExportProcessView::~QVExportProcessView() {
  stopTimer();
  cancelPhaseRestart();
}

std::vector<std::string> QVExportProcessView::phaseDescriptions() {
  std::vector<std::string> phases;
  for (const char* key : {"Preprocessing", "Enhancing Colors", "Defining Shadows", "Reducing Noise",
                          "Adjusting Contrast", "Doing Magic", "Detailing", "Saving"})
    phases.push_back(localized(key));
  return phases;
}

void QVExportProcessView::initialize() {
  progressView_ = QVMake<QVProgressView>();
  progressView_->setRoundsCornersToFitHeight(true);
  progressView_->setBackgroundColor(Qt::black);
  progressView_->setProgressColor(QVUIStyle::themeColor());
  phases_ = std::make_shared<Phases>(this);
  exportingLabel_ = QVExportingLabelView::exportingLabelView();
  exportingLabel_->setExportingDataSource(phases_);
  exportingLabel_->setSizeOffset(CGPointZero);
  dotLabel_ = QVMake<QVLabel>();
  dotLabel_->setBackgroundColor(QColor());
  dotLabel_->setTitleColor(Qt::white);
  dotLabel_->setFont(QVFonts::fontWithName("SFUIDisplay-Heavy", 15));
  dotLabel_->setAlignment(QVTextAlignmentLeft);
  dotLabel_->setSizeOffset(CGPointZero);
  dotLabel_->setUserInteractionEnabled(false);
  dotLabel_->setTitle("...");
  QVExportLabeledView::initialize();
  setTitleCentered(false);
  actionButton()->setTitle(upper(localized("Cancel")));
  titleLabel()->setTitle(localized("EXPORTING TO DISK"));
  dotString_.clear();
}

void QVExportProcessView::addSubviews() {
  QVExportLabeledView::addSubviews();
  addSubview(progressView_);
  addSubview(exportingLabel_);
  addSubview(dotLabel_);
}

void QVExportProcessView::layout() {
  QVExportLabeledView::layout();
  const CGSize size = bounds().size;
  const double barWidth = std::round(size.width * kProgressWidthRatio);
  const double barY = std::round((size.height - kProgressHeight) / 2);
  progressView_->setFrame(CGRectMake(std::round((size.width - barWidth) / 2), barY, barWidth, kProgressHeight));
  titleLabel()->setFrame(titleFrameWithCenterY(barY + kProgressHeight + kSpacing + kTitleHeight / 2));
  const double textHeight = exportingLabel_->intrinsicContentSize().height;
  exportingLabel_->setFrameOrigin(CGPointMake(exportingLabel_->frame().origin.x, barY - kSpacing - textHeight));
  placeDots();
}

void QVExportProcessView::placeDots() {
  if (placingDots_) return;
  placingDots_ = true;
  // The phase text sizes itself to each phase: keep it centred, with the dots after its last letter.
  const CGRect text = exportingLabel_->frame();
  const double x = std::round((bounds().size.width - text.size.width) / 2);
  if (x != text.origin.x) exportingLabel_->setFrameOrigin(CGPointMake(x, text.origin.y));
  const CGSize dots = dotLabel_->intrinsicContentSize();
  dotLabel_->setFrame(CGRectMake(x + text.size.width, text.origin.y, std::max(dots.width, 30.0), text.size.height));
  placingDots_ = false;
}

void QVExportProcessView::subtreeContentChanged() {
  QVExportLabeledView::subtreeContentChanged();
  // The phase text changed: the dots follow its end.
  placeDots();
}

std::optional<std::string> QVExportProcessView::currentImagePath() const {
  if (currentPart_ < imagesPathsToShare_.size()) return imagesPathsToShare_[currentPart_];
  return std::nullopt;
}

std::string QVExportProcessView::titleForServiceType(uint64_t type, const std::optional<std::string>& name,
                                                     uint64_t filesCount) {
  if (!name) return "No Service name";
  if (type != 0) {
    // The name is put in as text, never read as a format.
    std::string title = localized("EXPORTING TO %@");
    if (const size_t at = title.find("%@"); at != std::string::npos) title.replace(at, 2, *name);
    return title;
  }
  return localized(filesCount < 2 ? "EXPORTING A MASTERPIECE" : "EXPORTING WORKS OF ART");
}

void QVExportProcessView::updateTitleWithServiceType(uint64_t type, const std::optional<std::string>& name,
                                                     uint64_t filesCount) {
  titleLabel()->setTitle(titleForServiceType(type, name, filesCount));
  setNeedsLayout();
}

void QVExportProcessView::stopTimer() {
  if (timer_) QVAnimationDriver::shared().cancel(timer_);
  timer_ = 0;
}

void QVExportProcessView::cancelPhaseRestart() {
  if (phaseRestart_) qv::MainExecutor::shared().cancel(phaseRestart_);
  phaseRestart_ = 0;
}

void QVExportProcessView::updateDots() {
  dotLabel_->setHidden(!currentImagePath());
  dotLabel_->setTitle(dotString_);
  placeDots();
}

void QVExportProcessView::startAnimation() {
  stopTimer();
  dotString_.clear();
  updateDots();
  QPointer<QVExportProcessView> weak(this);
  timer_ = QVAddRepeatingTimer(1.0, [weak] {
    if (weak) weak->onTick();
  });
  exportingLabel_->startAnimation();
  progressView_->startAnimation();
}

void QVExportProcessView::stopAnimation() {
  stopTimer();
  cancelPhaseRestart();
  exportingLabel_->stopAnimation();
  progressView_->stopAnimation();
}

void QVExportProcessView::onTick() {
  dotString_ = dotString_.size() < 3 ? dotString_ + "." : std::string();
  updateDots();
}

void QVExportProcessView::setCurrentPart(uint64_t part) {
  currentPart_ = part;
  const uint64_t count = progressView_->partsCount();
  if (part > 0) exportingLabel_->showLastPhase();
  if (part > 0 && part < count) {
    cancelPhaseRestart();
    QPointer<QVExportProcessView> weak(this);
    phaseRestart_ = qv::MainExecutor::shared().asyncAfter(kPhaseRestartDelay, [weak] {
      if (!weak) return;
      weak->phaseRestart_ = 0;
      weak->exportingLabel_->startAnimation();
    });
  } else if (part == count) {
    cancelPhaseRestart();
    exportingLabel_->stopAnimation();
  }
  updateDots();
}

void QVExportProcessView::prepareForReuse() {
  cancelPhaseRestart();
  currentPart_ = 0;
  dotString_.clear();
  dotLabel_->setTitle(dotString_);
  progressView_->prepareForReuse();
}
