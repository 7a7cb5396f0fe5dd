#include "SifaneExtension/SingleImageViewController/QVExtensionProcessView.h"

#include <QEvent>
#include <QString>
#include <cmath>

#include "QVAppKit/QVFonts.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Localization.h"

namespace {

std::string localized(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

}  // namespace

// The phase texts of an export and the size of the photo their estimate is made for.
class QVExtensionProcessView::Phases : public QVExportingLabelDataSource {
 public:
  std::string imagePath;
  std::vector<std::string> phaseDescriptinosForExportingLabel(QVExportingLabelView*) override {
    std::vector<std::string> texts;
    for (const char* key : {"Preprocessing", "Enhancing Colors", "Defining Shadows", "Reducing Noise",
                            "Adjusting Contrast", "Doing Magic", "Detailing", "Saving"})
      texts.push_back(localized(key));
    return texts;
  }
  CGSize processingImageSizeForExportingLabel(QVExportingLabelView*) override {
    return imagePath.empty() ? CGSizeZero : QVImageUtils::imageSizeForPath(imagePath);
  }
};

QVExtensionProcessView::~QVExtensionProcessView() = default;

void QVExtensionProcessView::addSubviews() {
  QVView::addSubviews();
  phasesSource_ = std::make_shared<Phases>();
  title_ = QVMake<QVLabel>();
  title_->setTitleColor(Qt::white);
  title_->setFont(QVFonts::fontWithName("SFUIDisplay-Heavy", 15));
  title_->setSpacing(2.0);
  title_->setAlignment(QVTextAlignmentCenter);
  title_->setTitle(titleForDiskExportOfFiles(1));
  addSubview(title_);

  progress_ = QVMake<QVProgressView>();
  progress_->setRoundsCornersToFitHeight(true);
  progress_->setBackgroundColor(Qt::black);
  addSubview(progress_);

  phases_ = QVExportingLabelView::exportingLabelView();
  phases_->setExportingDataSource(phasesSource_);
  phases_->setAlignment(QVTextAlignmentCenter);
  addSubview(phases_);
}

void QVExtensionProcessView::setupLayoutConstraints() {
  QVView::setupLayoutConstraints();
  addConstraint([this] { placeColumn(); });
  // The phase text sizes itself to each new phase: each of its resizes centres the column again.
  phases_->installEventFilter(this);
}

bool QVExtensionProcessView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == phases_ && event->type() == QEvent::Resize && !placing_) placeColumn();
  return QVView::eventFilter(watched, event);
}

void QVExtensionProcessView::placeColumn() {
  // Title, bar and phase text as one column centred in the panel (bottom-left coordinates).
  placing_ = true;
  {
    const CGSize size = bounds().size;
    const CGSize titleSize = title_->intrinsicContentSize();
    const CGSize phaseSize = phases_->intrinsicContentSize();
    const double column = kTitleHeight + kGap + kBarHeight + kGap + phaseSize.height;
    const double top = std::round((size.height + column) / 2);
    title_->setFrame(
        CGRectMake(std::round((size.width - titleSize.width) / 2), top - kTitleHeight, titleSize.width, kTitleHeight));
    const double barWidth = std::round(size.width * kBarWidthRatio);
    const double barTop = top - kTitleHeight - kGap;
    progress_->setFrame(CGRectMake(std::round((size.width - barWidth) / 2), barTop - kBarHeight, barWidth, kBarHeight));
    const double phaseTop = barTop - kBarHeight - kGap;
    phases_->setFrame(CGRectMake(std::round((size.width - phaseSize.width) / 2), phaseTop - phaseSize.height,
                                 phaseSize.width, phaseSize.height));
  }
  placing_ = false;
}

std::string QVExtensionProcessView::titleForDiskExportOfFiles(uint64_t filesCount) {
  return localized(filesCount < 2 ? "EXPORTING A MASTERPIECE" : "EXPORTING WORKS OF ART");
}

void QVExtensionProcessView::startExportOfImage(const std::string& imagePath) {
  phasesSource_->imagePath = imagePath;
  title_->setTitle(titleForDiskExportOfFiles(1));
  progress_->prepareForReuse();
  progress_->setPartsCount(1);
  progress_->setCurrentPart(0);
  progress_->startAnimation();
  phases_->startAnimation();
  layoutSubtreeIfNeeded();
}

void QVExtensionProcessView::setCurrentPart(uint64_t part) {
  progress_->setCurrentPart(part);
  if (part > 0) phases_->showLastPhase();
}

void QVExtensionProcessView::waitEndAnimationWithCompletion(std::function<void()> completion) {
  progress_->waitEndAnimationWithCompletion(std::move(completion));
}
