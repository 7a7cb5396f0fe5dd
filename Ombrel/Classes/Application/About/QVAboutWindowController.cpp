#include "Ombrel/Classes/Application/About/QVAboutWindowController.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVAppKit/QVWindowButton.h"
#include "QVAppKit/QVWindowMoving.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Localization.h"

namespace {

bool closesWindow(const QKeyEvent* event) {
  const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
  return (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) ||
         (event->key() == Qt::Key_W && modifiers == Qt::ControlModifier);
}

QColor grey(int level, int alpha = 255) { return QColor(level, level, level + 6, alpha); }

QVLabel* makeLabel(const QFont& font, const QColor& colour, double spacing) {
  auto* label = QVMake<QVLabel>();
  label->setFont(font);
  label->setTitleColor(colour);
  label->setSpacing(spacing);
  label->setAlignment(QVTextAlignmentCenter);
  label->setUserInteractionEnabled(false);
  return label;
}

// The application's icon, the drawing the desktop shows, painted at the screen's resolution.
class QVAppIconView : public QVView {
 public:
  using QVView::QVView;

 protected:
  void drawContent(QPainter& painter) override {
    static QSvgRenderer renderer(
        QString::fromStdString(qv::Bundle::mainBundle().pathForResource("app.solvane.Solvane", "svg", "Desktop")));
    if (!renderer.isValid()) return;
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(rect()));
  }
};

}  // namespace

// ---- QVAboutWindow ----

void QVAboutWindow::initialize() {
  QVRoundedView::initialize();
  QVFramelessWindow::install(this);
  setAttribute(Qt::WA_TranslucentBackground);
  setBackgroundColor(QVUIStyle::themeBGColor());
  // A hairline edge keeps the window apart from the dark window below it.
  setBorderColor(QColor(255, 255, 255, 18));
  setBorderWidth(1);
  NSWindowRounding::updateWindowCornersWithRadii(this, QVSMakeCornerRadii(10, 10, 10, 10));
  setFocusPolicy(Qt::StrongFocus);
}

bool QVAboutWindow::event(QEvent* event) {
  // Escape and Ctrl+W belong to this window even when an application-wide shortcut wants them.
  if (event->type() == QEvent::ShortcutOverride && closesWindow(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress) {
    auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() == Qt::LeftButton) {
      QVWindowMoving::armWithPress(this, *press);
      return true;
    }
  }
  return QVRoundedView::event(event);
}

void QVAboutWindow::resizeEvent(QResizeEvent* event) {
  QVRoundedView::resizeEvent(event);
  if (QVSolvaneWindow::compositingActive()) {
    clearMask();
  } else {
    setMask(QVRoundedRectRegion(rect(), roundParams()));
  }
}

void QVAboutWindow::keyPressEvent(QKeyEvent* event) {
  if (closesWindow(event)) {
    close();
    return;
  }
  QVRoundedView::keyPressEvent(event);
}

// ---- QVAboutWindowController ----

QVAboutWindowController::QVAboutWindowController(QVAboutRecord record) : record_(std::move(record)) {
  auto* window = QVMake<QVAboutWindow>(CGRectMake(0, 0, kWidth, kHeight));
  window->setFixedSize(int(kWidth), int(kHeight));
  window->setWindowTitle(QString::fromStdString(QVAboutContent::appNameText(record_)));
  window_ = window;

  iconView_ = QVMake<QVAppIconView>();
  iconView_->setUserInteractionEnabled(false);
  window->addSubview(iconView_);

  appNameLabel_ = makeLabel(QVFonts::fontWithName("SFProDisplay-Semibold", 22), Qt::white, 5);
  versionLable_ = makeLabel(QVFonts::fontWithName("SFProDisplay-Medium", 11), grey(140), 1.5);
  copyrightLabel_ = makeLabel(QVFonts::fontWithName("SF Pro Display", 11), grey(112), 0);
  for (QVLabel* label : {appNameLabel_, versionLable_, copyrightLabel_}) window->addSubview(label);

  divider_ = QVMake<QVView>();
  divider_->setBackgroundColor(QColor(255, 255, 255, 20));
  window->addSubview(divider_);

  // The close button, where the application's other windows have theirs.
  closeButton_ = QVWindowButton::windowButtonWithSize(CGSizeMake(kCloseButtonSize, kCloseButtonSize), std::nullopt);
  closeButton_->setImageNamesWithPrefix("WindowButtonClose");
  closeButton_->setAction(QVWindowButton::closeAction());
  window->addSubview(closeButton_);

  buildTable();
  configLable();
  window->addConstraint([this] { layoutContent(); });
  window->layoutSubtreeIfNeeded();
}

QVAboutWindowController::~QVAboutWindowController() { delete window_.data(); }

void QVAboutWindowController::configLable() {
  appNameLabel_->setTitle(QVAboutContent::appNameText(record_));
  versionLable_->setTitle(QVAboutContent::versionText(record_));
  copyrightLabel_->setTitle(
      QVAboutContent::copyrightText(record_.copyright, record_.displayName, QVAboutContent::currentYear()));
}

void QVAboutWindowController::buildTable() {
  auto* table = new QTableWidget(int(QVAboutContent::namesCount()), 2, window_);
  table->setHorizontalHeaderItem(0, new QTableWidgetItem(QString::fromLatin1(QVAboutContent::kRolesColumn)));
  table->setHorizontalHeaderItem(1, new QTableWidgetItem(QString::fromLatin1(QVAboutContent::kNamesColumn)));
  table->horizontalHeader()->hide();
  table->verticalHeader()->hide();
  table->setShowGrid(false);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setFocusPolicy(Qt::NoFocus);
  table->setFrameShape(QFrame::NoFrame);
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setStyleSheet(
      "QTableWidget { background: transparent; border: none; }"
      "QTableWidget::item { padding: 0 7px; border: none; }");
  table->verticalHeader()->setDefaultSectionSize(20);
  const QFont roleFont = QVFonts::fontWithName("SF Pro Display", 12);
  const QFont nameFont = QVFonts::fontWithName("SFProDisplay-Medium", 12);
  for (size_t row = 0; row < QVAboutContent::namesCount(); ++row) {
    auto* role = new QTableWidgetItem(
        QString::fromStdString(QVAboutContent::titleForIndex(row).empty()
                                   ? std::string()
                                   : qv::QVSLocalization::localizedStringForKey(QVAboutContent::titleForIndex(row))));
    role->setFont(roleFont);
    role->setForeground(grey(128));
    role->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    role->setFlags(Qt::ItemIsEnabled);
    auto* name = new QTableWidgetItem(QString::fromStdString(QVAboutContent::nameForIndex(row)));
    name->setFont(nameFont);
    name->setForeground(QVUIStyle::themeColor());
    name->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    name->setFlags(Qt::ItemIsEnabled);
    table->setItem(int(row), 0, role);
    table->setItem(int(row), 1, name);
  }
  // The table itself takes no clicks, so the window moves by it as by its background.
  table->setAttribute(Qt::WA_TransparentForMouseEvents);
  tableView_ = table;
}

void QVAboutWindowController::layoutContent() {
  const double w = window_->width(), h = window_->height();
  // Frames in the window's bottom-left space, laid out from the top down.
  auto fromTop = [h](double x, double top, double width, double height) {
    return CGRectMake(x, h - top - height, width, height);
  };
  closeButton_->setFrame(fromTop(kCloseButtonInset, kCloseButtonInset, kCloseButtonSize, kCloseButtonSize));
  iconView_->setFrame(fromTop(w / 2 - 32, 34, 64, 64));
  appNameLabel_->setFrame(fromTop(0, 112, w, 30));
  versionLable_->setFrame(fromTop(0, 144, w, 16));
  divider_->setFrame(fromTop(48, 180, w - 96, 1));
  const int rows = tableView_->rowCount();
  const double tableHeight = rows * 20;
  tableView_->setColumnWidth(0, int(w / 2 - 8));
  tableView_->setColumnWidth(1, int(w / 2 + 8));
  tableView_->setGeometry(0, 198, int(w), int(tableHeight));
  copyrightLabel_->setFrame(fromTop(0, h - 38, w, 16));
}

void QVAboutWindowController::startForWindow(QWidget* reference) {
  QWidget* window = window_;
  const CGSize size = CGSizeMake(window->width(), window->height());
  std::optional<CGRect> referenceFrame;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (reference) {
    const QRect r = reference->geometry();
    referenceFrame = CGRectMake(r.x(), r.y(), r.width(), r.height());
    if (reference->screen()) screen = reference->screen();
  }
  const QRect area = screen ? screen->geometry() : QRect();
  const CGPoint origin = QVAboutContent::originForWindowSize(
      size, referenceFrame, CGRectMake(area.x(), area.y(), area.width(), area.height()));
  window->move(int(std::lround(origin.x)), int(std::lround(origin.y)));
  window->show();
  window->raise();
  window->activateWindow();
  window->setFocus();
}
