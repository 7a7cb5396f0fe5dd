#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <set>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFadeAnimator.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVSpringAnimation.h"
#include "QVAppKit/QVViewController.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/FileAdditions.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Value.h"

namespace {

std::string L(const char* key) { return qv::QVSLocalization::localizedStringForKey(key); }

std::string upper(const std::string& text) { return QString::fromStdString(text).toUpper().toStdString(); }

const QColor kStageTop(22, 23, 26);
const QColor kStageBottom(12, 13, 15);
const QColor kMutedText(145, 145, 145);

}  // namespace

void QVOpenLogoView::drawContent(QPainter& painter) {
  static std::shared_ptr<QSvgRenderer> logo = [] {
    const std::string path = qv::Bundle::mainBundle().pathForResource("Logo", "svg", "OpenScreen");
    auto renderer = std::make_shared<QSvgRenderer>(QString::fromStdString(path));
    return renderer->isValid() ? renderer : nullptr;
  }();
  if (!logo) return;
  // Rendered once per size and pixel ratio; repaints only blit it.
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QSize device(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
  if (picture_.size() != device) {
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    logo->render(&p, QRectF(QPointF(0, 0), QSizeF(device)));
    p.end();
    picture_ = QPixmap::fromImage(std::move(image));
    picture_.setDevicePixelRatio(dpr);
  }
  painter.drawPixmap(0, 0, picture_);
}

void QVOpenView::initialize() {
  QVFrameChangingView::initialize();
  setAttribute(Qt::WA_OpaquePaintEvent);
  configureOpenButton();
  configureSampleButton();
  configureFormatsLabel();
}

void QVOpenView::addSubviews() {
  springView_ = QVMake<QVOpenSpringView>(CGRectMake(kPanelInset, kPanelInset, 410, 398));
  addSubview(springView_);

  dropRing_ = QVMake<QVView>(CGRectZero);
  QColor ring = QVUIStyle::themeColor();
  ring.setAlphaF(0.9);
  dropRing_->setBorderColor(ring);
  dropRing_->setBorderWidth(2);
  dropRing_->setCornerRadius(7);
  dropRing_->setAlpha(0);
  // Only drawn: it lies over the whole panel, title bar included, and must not take its clicks.
  dropRing_->setUserInteractionEnabled(false);
  addSubview(dropRing_);

  // The controls stand above the panel, not in it: the pop springs the panel (its face, the photo
  // and the title bar) behind them, and they stay crisp and still.
  controlsContainer_ = QVMake<QVView>(CGRectZero);
  addSubview(controlsContainer_);
  titleBarContainer_ = QVMake<QVView>(CGRectZero);
  springView_->addSubview(titleBarContainer_);

  imageView_ = QVMake<QVOpenLogoView>(CGRectMake(0, 0, 76, 76));
  controlsContainer_->addSubview(imageView_);

  dragPhotoLabel_ = QVMake<QVLabel>(CGRectZero);
  dragPhotoLabel_->setTitle(L("Drag & drop photos here"));
  dragPhotoLabel_->setFont(QVFonts::fontWithName("SFProDisplay-Semibold", 19));
  dragPhotoLabel_->setTitleColor(QColor(240, 241, 243));
  dragPhotoLabel_->setAlignment(2);
  controlsContainer_->addSubview(dragPhotoLabel_);

  orLabel_ = QVMake<QVLabel>(CGRectZero);
  orLabel_->setTitle(L("or"));
  orLabel_->setFont(QVFonts::fontWithName("SFProText-Regular", 12));
  orLabel_->setTitleColor(kMutedText);
  orLabel_->setAlignment(2);
  controlsContainer_->addSubview(orLabel_);

  openButton_ = QVCommonUISamples::roundedSpringButtonWithTitle(
      upper(L("Import")), QVFonts::fontWithName("SFProDisplay-Bold", 13), Qt::white, QVUIStyle::themeColor(), this,
      [](QObject* target, QVTitledButton*) {
        if (auto* view = dynamic_cast<QVOpenView*>(target); view && view->onImport) view->onImport();
      });
  controlsContainer_->addSubview(openButton_);

  openSampleButton_ = QVMake<QVButton>(CGRectZero);
  controlsContainer_->addSubview(openSampleButton_);

  imageFormatsLabel_ = QVMake<QVLabel>(CGRectZero);
  imageFormatsLabel_->setFont(QVFonts::fontWithName("SFProText-Regular", 11));
  imageFormatsLabel_->setTitleColor(QColor(118, 120, 126));
  imageFormatsLabel_->setAlignment(2);
  controlsContainer_->addSubview(imageFormatsLabel_);
}

void QVOpenView::configureOpenButton() {
  openButton_->setKerning(1.2);
  QVShadow shadow;
  shadow.blurRadius = 10;
  shadow.offset = CGSizeMake(0, -4);
  shadow.color = QColor(0, 0, 0, 128);
  openButton_->setShadow(shadow);
}

void QVOpenView::configureSampleButton() {
  openSampleButton_->setTitle(upper(L("Open sample image")));
  openSampleButton_->setFont(QVFonts::fontWithName("SFProDisplay-Bold", 12));
  openSampleButton_->setFontColor(kMutedText);
  openSampleButton_->setKerning(1.0);
  openSampleButton_->setAlignment(2);
  openSampleButton_->setTarget(this);
  openSampleButton_->setAction([](QObject* target, QVAbstractButton*) {
    if (auto* view = dynamic_cast<QVOpenView*>(target)) view->sampleImageDidClick();
  });
}

void QVOpenView::configureFormatsLabel() { imageFormatsLabel_->setTitle("(" + supportedFormatsText() + ")"); }

std::string QVOpenView::supportedFormatsText() {
  // Families in the order a photographer thinks of them.
  static const std::vector<std::pair<std::string, std::vector<std::string>>> families = {
      {"JPEG", {"jpg", "jpeg", "jpe"}}, {"PNG", {"png"}}, {"TIFF", {"tif", "tiff"}}, {"WebP", {"webp"}},
      {"HEIC", {"heic", "heif"}},       {"BMP", {"bmp"}}};
  std::set<std::string> types;
  for (const auto& type : qv::allBundleTypes()) types.insert(QString::fromStdString(type).toLower().toStdString());
  std::vector<std::string> names;
  for (const auto& [name, extensions] : families) {
    if (std::any_of(extensions.begin(), extensions.end(), [&](const std::string& e) { return types.erase(e) > 0; })) {
      names.push_back(name);
    }
    for (const auto& e : extensions) types.erase(e);
  }
  const bool raw = !types.empty();
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += (i + 1 == names.size() && !raw) ? " " + L("and") + " " : ", ";
    text += names[i];
  }
  if (raw) text += (text.empty() ? "" : " " + L("and") + " ") + L("camera RAW");
  return text;
}

void QVOpenView::layout() {
  QVFrameChangingView::layout();
  const CGSize size = bounds().size;
  const double inset = kPanelInset;
  const CGRect panel =
      CGRectMake(inset, inset, std::max(0.0, size.width - 2 * inset), std::max(0.0, size.height - 2 * inset));
  springView_->setFrame(panel);
  const double w = panel.size.width, h = panel.size.height, bar = 38;
  // The ring sits where the popped panel's edge comes, just inside it.
  const double pw = std::round(w * springView_->popScale()), ph = std::round(h * springView_->popScale());
  dropRing_->setFrame(
      CGRectMake(std::round((size.width - pw) / 2) + 1, std::round((size.height - ph) / 2) + 1, pw - 2, ph - 2));
  titleBarContainer_->setFrame(CGRectMake(0, h - bar, w, bar));
  controlsContainer_->setFrame(CGRectMake(inset, inset, w, h - bar));
  const double ch = h - bar;
  auto centred = [w](double width) { return std::round((w - width) / 2); };
  imageView_->setFrame(CGRectMake(centred(76), ch - 28 - 76, 76, 76));
  dragPhotoLabel_->setFrame(CGRectMake(16, ch - 122 - 28, w - 32, 28));
  orLabel_->setFrame(CGRectMake(centred(60), ch - 156 - 18, 60, 18));
  const CGRect button = CGRectMake(centred(168), ch - 184 - 44, 168, 44);
  if (!openButton_->currentClickAnimationKey().empty() || !openButton_->currentHoverAnimationKey().empty()) {
    // A spring owns the button's size right now (the pointer may rest where the button appears, as
    // the window shrinks back from a photo): it keeps that size about its anchor, which goes to its
    // place in this layout, or the button would stay where the former size put it until the spring
    // lets go.
    const CGPoint a = openButton_->anchorPoint();
    QVSpringLayer::setValue(openButton_, QVSpringProperty::Position,
                            {button.origin.x + a.x * button.size.width, button.origin.y + a.y * button.size.height});
  } else {
    openButton_->setFrame(button);
  }
  openSampleButton_->setFrame(CGRectMake(centred(240), ch - 246 - 22, 240, 22));
  imageFormatsLabel_->setFrame(CGRectMake(16, 20, w - 32, 18));
}

void QVOpenView::onViewFrameChanged() { setNeedsLayout(); }

void QVOpenView::drawContent(QPainter& target) {
  // The stage is drawn once per size and pixel ratio; the pop's frames only blit it.
  const qreal dpr = target.device()->devicePixelRatioF();
  const QSize device(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
  if (stage_.size() != device) {
    QImage image(device, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    paintStage(painter);
    painter.end();
    stage_ = QPixmap::fromImage(std::move(image));
  }
  target.drawPixmap(0, 0, stage_);
}

void QVOpenView::paintStage(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF all(0, 0, width(), height());
  // The accent colour, barely there, glowing behind the panel.
  QVUIStyle::paintBackdrop(painter, all, kStageTop, kStageBottom, all.center() + QPointF(0, 40), all.width() * 0.7, 26);
}

void QVOpenView::setTitleBarView(QWidget* view) {
  if (view == titleBarView_) return;
  if (titleBarView_) {
    titleBarView_->hide();
    titleBarView_->setParent(nullptr);
    titleBarView_->deleteLater();
  }
  titleBarView_ = view;
  springView_->setTitleBarView(view);
  if (view) QVEmbedInContainer(view, titleBarContainer_);
}

void QVOpenView::setBlurImageURL(const std::optional<std::string>& url) {
  if (url == blurImageURL_) return;
  blurImageURL_ = url;
  animateBlurImageWithImageSetCompletion(nullptr);
}

void QVOpenView::setBlurImageURL(const std::optional<std::string>& url, std::function<void(bool finished)> completion) {
  if (url == blurImageURL_) return;
  blurImageURL_ = url;
  animateBlurImageWithImageSetCompletion(std::move(completion));
}

void QVOpenView::animateBlurImageWithImageSetCompletion(std::function<void(bool finished)> completion) {
  if (blurImageURL_) {
    springView_->setImageURL(blurImageURL_, std::move(completion));
    springView_->popUp();
    openButton_->setHoverEnabled(false);
    NSViewFadeAnimation::switchToAlpha(openButton_, 0.3);
    dragPhotoLabel_->setTitle(L("Drop to enhance"));
    NSViewExtensions::appear(dropRing_, true, true, 0.25);
  } else {
    springView_->popOut();
    openButton_->setHoverEnabled(true);
    NSViewFadeAnimation::switchToAlpha(openButton_, 1.0);
    dragPhotoLabel_->setTitle(L("Drag & drop photos here"));
    NSViewExtensions::appear(dropRing_, false, true, 0.25);
  }
}

void QVOpenView::setDragLocation(CGPoint location) {
  if (location == dragLocation_) return;
  dragLocation_ = location;
  updateBlurredImagePosition();
}

void QVOpenView::updateBlurredImagePosition() {
  const CGRect panel = springView_->frame();
  springView_->moveContents(CGPointMake(dragLocation_.x - panel.origin.x, dragLocation_.y - panel.origin.y));
}

void QVOpenView::changeControlsVisibility(bool visible) {
  const double alpha = visible ? 1 : 0;
  for (QVView* view : {static_cast<QVView*>(dragPhotoLabel_), static_cast<QVView*>(imageView_),
                       static_cast<QVView*>(orLabel_), static_cast<QVView*>(imageFormatsLabel_)}) {
    NSViewFadeAnimation::switchToAlpha(view, alpha);
  }
}

void QVOpenView::animateImportButton(bool show) {
  if (show) NSViewFadeAnimation::switchToAlpha(openButton_, 1.0);
}

void QVOpenView::sampleImageDidClick() { qv::NotificationCenter::defaultCenter().post(kQVOpenSampleImageClicked); }
