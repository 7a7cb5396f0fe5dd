#include "QVAppKit/QVSolvaneTopBarView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVViewController.h"
#include "QVAppKit/QVWindowMoving.h"
#include "QVPlatform/Localization.h"

namespace {

std::function<bool()>& pluginModeQuery() {
  static std::function<bool()> query;
  return query;
}

std::function<void(QMenu*, QPoint)>& menuPresenter() {
  static std::function<void(QMenu*, QPoint)> presenter;
  return presenter;
}

bool isRightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }

// The width of a text in a font with a letter spacing (points), as the title's constraint needs.
double textWidth(const std::string& text, const std::string& fontName, double fontSize, double kerning) {
  QFont font = QVFonts::fontWithName(fontName, fontSize);
  font.setLetterSpacing(QFont::AbsoluteSpacing, kerning);
  return std::ceil(QFontMetricsF(font).horizontalAdvance(QString::fromStdString(text)));
}

constexpr double kWindowButtonSize = 14;
constexpr double kWindowButtonGap = 8;
constexpr double kLeadingInset = 14;
constexpr double kArrowGap = 6;
constexpr CGSize kArrowSize{10, 6};

}  // namespace

// ---- QVChromeImageView ----

void QVChromeImageView::setImage(QVChromeImage image) {
  image_ = std::move(image);
  update();
  QVSetNeedsDisplay(this);
}

void QVChromeImageView::drawContent(QPainter& painter) {
  if (!image_) return;
  painter.setRenderHint(QPainter::Antialiasing);
  image_->render(&painter, QRectF(0, 0, width(), height()));
}

// ---- QVSolvaneTopBarView ----

void QVSolvaneTopBarView::setPluginModeQuery(std::function<bool()> query) { pluginModeQuery() = std::move(query); }

void QVSolvaneTopBarView::setMenuPresenter(std::function<void(QMenu*, QPoint)> presenter) {
  menuPresenter() = std::move(presenter);
}

QVSolvaneTopBarView* QVSolvaneTopBarView::topBarWithMenu(std::shared_ptr<QMenu> menu) {
  auto* bar = QVMake<QVSolvaneTopBarView>(CGRectMake(0, 0, 600, kHeight));
  bar->topBarMenu_ = std::move(menu);
  return bar;
}

QVWindowButton* QVSolvaneTopBarView::makeWindowButton(const std::string& prefix, QVWindowButton::Action action) {
  auto* button = QVWindowButton::windowButtonWithSize(CGSizeMake(kWindowButtonSize, kWindowButtonSize), std::nullopt);
  button->setImageNamesWithPrefix(prefix);
  button->setAction(std::move(action));
  titleBarButtons_->addSubview(button);
  return button;
}

void QVSolvaneTopBarView::addSubviews() {
  titleBarButtons_ = QVMake<QVView>(CGRectMake(0, 0, 3 * kWindowButtonSize + 2 * kWindowButtonGap, kWindowButtonSize));
  addSubview(titleBarButtons_);
  closeButton_ = makeWindowButton("WindowButtonClose", QVWindowButton::closeAction());
  minimizeButton_ = makeWindowButton("WindowButtonMinimize", QVWindowButton::miniaturizeAction());
  resizeButton_ = makeWindowButton("WindowButtonZoom", QVWindowButton::zoomAction());

  importMoreButtonContainer_ = QVMake<QVView>(CGRectMake(0, 0, 0, 24));
  addSubview(importMoreButtonContainer_);

  solvaneButton_ = QVMake<QVTitleBarButton>(CGRectMake(0, 0, 0, 24));
  solvaneButton_->setFontName("SF UI Display Heavy");
  solvaneButton_->setFontSize(13);
  solvaneButton_->setKerning(1.2);
  solvaneButton_->setFontColor(Qt::white);
  solvaneButton_->setBordered(false);
  solvaneButton_->setCanMoveWindow(true);
  solvaneButton_->setTarget(this);
  solvaneButton_->setAction([this](QObject*, QVAbstractButton* sender) { showMenu(sender); });
  addSubview(solvaneButton_);

  arrowImage_ = QVMake<QVChromeImageView>(CGRectMake(0, 0, kArrowSize.width, kArrowSize.height));
  arrowImage_->setImage(QVChromeImageNamed("TopBarArrow"));
  addSubview(arrowImage_);
}

void QVSolvaneTopBarView::initialize() {
  QVView::initialize();
  solvaneButton_->setShadow(QVShadow{QColor(0, 0, 0, 38), CGSizeMake(0, -1), 2});
  setShowImportMoreButton(false);
  setShowTitle(true);
  setMouseDownCanMoveWindow(true);
  setShowArrowNearTitle(true);
  arrowTrailingC_ = isRightToLeft() ? 5 : 0;
}

void QVSolvaneTopBarView::setTitle(const std::string& title) {
  if (titleSet_ && title == title_) return;
  titleSet_ = true;
  title_ = title;
  solvaneButton_->setTitle(title);
  titleWidthC_ = textWidth(title, solvaneButton_->fontName(), solvaneButton_->fontSize(), solvaneButton_->kerning());
  setNeedsLayout();
}

void QVSolvaneTopBarView::setShowTitle(bool show) {
  solvaneButton_->setVisible(show);
  arrowImage_->setVisible(show);
}

void QVSolvaneTopBarView::setShowArrowNearTitle(bool show) {
  if (show == showArrowNearTitle_) return;
  showArrowNearTitle_ = show;
  arrowImage_->setVisible(show);
}

void QVSolvaneTopBarView::setShowCloseButton(bool show) { closeButton_->setVisible(show); }
void QVSolvaneTopBarView::setShowMinimizeButton(bool show) { minimizeButton_->setVisible(show); }
void QVSolvaneTopBarView::setShowResizeButton(bool show) { resizeButton_->setVisible(show); }

void QVSolvaneTopBarView::setEnableImportMoreButton(bool enable) {
  importMoreButtonContainer_->setUserInteractionEnabled(enable);
}

void QVSolvaneTopBarView::setImportButtonType(uint64_t type) {
  if (type == importButtonType_) return;
  importButtonType_ = type;
  NSViewExtensions::removeAllSubviews(importMoreButtonContainer_);
  importMoreButton_ = nullptr;
  const std::string text =
      QString::fromStdString(qv::QVSLocalization::localizedStringForKey("import more")).toUpper().toStdString();
  double width = 0;
  if (type == 1) {
    auto* button = QVMake<QVTitleBarButton>(CGRectMake(0, 0, 0, 24));
    button->setFontColor(Qt::white);
    button->setFontName("SF UI Display Black");
    button->setFontSize(15);
    button->setKerning(4.29);
    button->setTitle("+ " + text);
    button->setBordered(false);
    button->setCanMoveWindow(true);
    button->setTarget(this);
    button->setAction([this](QObject*, QVAbstractButton*) { onImportMore(); });
    width = textWidth(button->title(), button->fontName(), button->fontSize(), button->kerning()) + 4;
    importMoreButton_ = button;
  } else if (type == 2) {
    auto* button = QVMake<QVRoundedSpringButton>(CGRectMake(0, 0, 0, 24));
    button->setRoundsCornersToFitHeight(true);
    button->setHoverEnabled(false);
    button->clickParams()->setScale(0.9);
    button->setBackgroundColor(QColor(65, 65, 65));
    button->setFontColor(Qt::white);
    button->setFontName("SF UI Display");
    button->setFontSize(14);
    button->setTitle(text);
    button->setTarget(this);
    button->setAction([this](QObject*, QVTitledButton*) { onImportMore(); });
    width = textWidth(text, "SF UI Display", 14, 0) + 32;
    importMoreButton_ = button;
  }
  if (importMoreButton_) {
    importMoreButtonContainer_->setFrameSize(CGSizeMake(width, 24));
    QVEmbedInContainer(importMoreButton_, importMoreButtonContainer_);
  } else {
    importMoreButtonContainer_->setFrameSize(CGSizeMake(0, 24));
  }
  setNeedsLayout();
}

std::map<std::string, QWidget*> QVSolvaneTopBarView::animatableViews() const {
  std::map<std::string, QWidget*> views{{QVTopBarTitleButtonKey, solvaneButton_},
                                        {QVTopBarWindowButtonsKey, titleBarButtons_}};
  if (importMoreButton_) views[QVTopBarImportButtonKey] = importMoreButton_;
  return views;
}

CGPoint QVSolvaneTopBarView::menuLocationForSender(QWidget* sender) const {
  const double senderWidth = sender ? sender->width() : 0;
  const double menuWidth = topBarMenu_ ? topBarMenu_->sizeHint().width() : 0;
  const double middle = senderWidth * 0.5;
  const double x = isRightToLeft() ? middle + menuWidth * 0.5 : middle - menuWidth * 0.5;
  return CGPointMake(x, -10);
}

void QVSolvaneTopBarView::showMenu(QWidget* sender) {
  if (!topBarMenu_ || !sender) return;
  const CGPoint at = menuLocationForSender(sender);
  // Bottom-left sender space → Qt's top-left space; a right-to-left menu is placed by its right edge.
  QPoint local(int(std::lround(at.x)), int(std::lround(sender->height() - at.y)));
  if (isRightToLeft()) local.rx() -= topBarMenu_->sizeHint().width();
  const QPoint global = sender->mapToGlobal(local);
  if (menuPresenter()) {
    menuPresenter()(topBarMenu_.get(), global);
  } else {
    topBarMenu_->popup(global);
  }
}

void QVSolvaneTopBarView::onImportMore() {
  if (auto delegate = delegate_.lock()) delegate->didClickImportMoreButton(this);
}

bool QVSolvaneTopBarView::handleDoubleClick(Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::ControlModifier) return false;
  resizeButton_->action() ? resizeButton_->action()(window(), resizeButton_)
                          : QVWindowButton::zoomAction()(window(), nullptr);
  return true;
}

void QVSolvaneTopBarView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ControlModifier) && mouseDownCanMoveWindow()) {
    QVWindowMoving::armWithPress(this, *event);
    event->accept();
    return;
  }
  QVView::mousePressEvent(event);
}

void QVSolvaneTopBarView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && handleDoubleClick(event->modifiers())) {
    event->accept();
    return;
  }
  QVView::mouseDoubleClickEvent(event);
}

void QVSolvaneTopBarView::layout() {
  QVView::layout();
  const CGRect b = bounds();
  const double midY = b.size.height * 0.5;
  // Window buttons at the leading edge, visible ones packed.
  titleBarButtons_->setFrame(CGRectMake(kLeadingInset, std::round(midY - kWindowButtonSize * 0.5),
                                        3 * kWindowButtonSize + 2 * kWindowButtonGap, kWindowButtonSize));
  double x = 0;
  for (auto* button : {closeButton_, minimizeButton_, resizeButton_}) {
    button->setFrame(CGRectMake(x, 0, kWindowButtonSize, kWindowButtonSize));
    if (!button->isHidden()) x += kWindowButtonSize + kWindowButtonGap;
  }
  // Title and arrow centred together.
  const double arrowSpace = arrowImage_->isHidden() ? 0 : kArrowGap + kArrowSize.width;
  const double titleX = std::round((b.size.width - titleWidthC_ - arrowSpace) * 0.5);
  solvaneButton_->setFrame(CGRectMake(titleX, std::round(midY - 12), titleWidthC_, 24));
  arrowImage_->setFrame(CGRectMake(titleX + titleWidthC_ + kArrowGap - arrowTrailingC_,
                                   std::round(midY - kArrowSize.height * 0.5), kArrowSize.width, kArrowSize.height));
  // The import-more container after the window buttons, shown only where its button fits.
  const CGRect container = importMoreButtonContainer_->frame();
  importMoreButtonContainer_->setFrame(CGRectMake(kLeadingInset + titleBarButtons_->frame().size.width + 18,
                                                  std::round(midY - container.size.height * 0.5), container.size.width,
                                                  container.size.height));
  const double free = solvaneButton_->frame().origin.x - 10 - importMoreButtonContainer_->frame().origin.x;
  const double buttonWidth = importMoreButton_ ? importMoreButton_->frame().size.width : 0;
  const bool fits = free > buttonWidth && buttonWidth > 0;
  const bool pluginMode = pluginModeQuery() && pluginModeQuery()();
  importMoreButtonContainer_->setVisible(fits && !pluginMode);
}
