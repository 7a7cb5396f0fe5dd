#include "QVLightroomBridge/TestAppInvokerBridge/QVAlert.h"

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "QVAppKit/QVFonts.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVDesktopEntry.h"
#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

QVAlertMetrics QVAlertMetrics::standard() {
  return QVAlertMetrics{
      .contentSize = QSize(450, 140),
      .margin = 20,
      .iconTextGap = 8,
      .titleMessageGap = 8,
      .emptyIconSize = QSize(50, 50),
      .buttonWidth = 80,
      .buttonHeight = 26,
      .buttonMessageGap = 8,
      .titleFontSize = 13,
      .messageFontSize = 11,
      .buttonFontSize = 13,
  };
}

int QVAlertFrames::textWidth(const QVAlertMetrics& m, int iconWidth) {
  return m.contentSize.width() - (m.margin + iconWidth + m.iconTextGap) - m.margin;
}

QVAlertFrames QVAlertFrames::layout(const QVAlertMetrics& m, QSize iconSize, int titleHeight, int messageHeight) {
  QVAlertFrames f;
  const int textLeft = m.margin + iconSize.width() + m.iconTextGap;
  const int textWidth = QVAlertFrames::textWidth(m, iconSize.width());
  f.icon = QRect(QPoint(m.margin, m.margin), iconSize);
  f.button = QRect(m.contentSize.width() - m.margin - m.buttonWidth, m.contentSize.height() - m.margin - m.buttonHeight,
                   m.buttonWidth, m.buttonHeight);
  f.title = QRect(textLeft, m.margin, textWidth, titleHeight);
  const int messageTop = f.title.bottom() + 1 + m.titleMessageGap;
  const int room = std::max(0, f.button.top() - m.buttonMessageGap - messageTop);
  f.message = QRect(textLeft, messageTop, textWidth, std::min(messageHeight, room));
  return f;
}

namespace {
pid_t hostProcessId = 0;
}  // namespace

void QVAlert::setHostProcessId(pid_t pid) { hostProcessId = pid; }

std::optional<std::string> QVAlert::appPath() {
  const std::string link = "/proc/" + std::to_string(hostProcessId > 0 ? hostProcessId : ::getppid()) + "/exe";
  std::error_code ec;
  const fs::path path = fs::read_symlink(link, ec);
  if (ec) {
    std::cerr << "Path: (none: " << link << " cannot be read)\n";
    return std::nullopt;
  }
  std::cerr << "Path: " << path.string() << "\n";
  return path.string();
}

namespace {

// Icons are small pictures; a larger file is not read.
constexpr uint64_t kMaxIconBytes = 16u << 20;

// The picture of an icon file drawn `pixels` wide and high: read by us, once, and only when it is
// a regular file of a bounded size (Qt's own loaders would wait on a FIFO planted at its name).
QImage iconImage(const std::string& path, int pixels) {
  std::vector<uint8_t> bytes;
  if (!rova::codecs::readFileSafely(path, kMaxIconBytes, bytes, nullptr, /*allowEmpty=*/false)) return {};
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QSize size = reader.size();
  // A vector icon is drawn at the size it is shown; a bitmap is scaled once it is read.
  if (size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
    reader.setScaledSize(size.scaled(pixels, pixels, Qt::KeepAspectRatio));
  }
  QImage image = reader.read();
  if (image.isNull()) return {};
  if (image.width() != pixels && image.height() != pixels) {
    image = image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

}  // namespace

QPixmap QVAlert::iconForExecutable(const std::string& executablePath, int side, double devicePixelRatio) {
  const auto entry = QVDesktopEntry::entryRunning(executablePath);
  if (!entry) return {};
  const std::string name = entry->value("Icon");
  if (name.empty()) return {};
  std::vector<std::string> candidates;
  if (name.front() == '/') {
    candidates.push_back(name);
  } else if (name.find('/') == std::string::npos) {
    // The icon theme every system has, in each data folder, then the old pixmaps folder.
    for (const auto& data : QVDesktopEntry::dataFolders()) {
      for (const char* place :
           {"/icons/hicolor/scalable/apps/.svg", "/icons/hicolor/256x256/apps/.png", "/icons/hicolor/128x128/apps/.png",
            "/icons/hicolor/64x64/apps/.png", "/icons/hicolor/48x48/apps/.png", "/pixmaps/.svg", "/pixmaps/.png"}) {
        const std::string pattern = place;
        const size_t slash = pattern.rfind('/');
        candidates.push_back(data + pattern.substr(0, slash + 1) + name + pattern.substr(slash + 1));
      }
    }
  }
  const int pixels = std::max(1, int(std::lround(side * devicePixelRatio)));
  for (const auto& candidate : candidates) {
    QImage image = iconImage(candidate, pixels);
    if (image.isNull()) continue;
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
  }
  return {};
}

std::unique_ptr<QDialog> QVAlert::makeWindow() {
  const QVAlertMetrics m = QVAlertMetrics::standard();
  auto window = std::make_unique<QDialog>();
  window->setObjectName(QStringLiteral("QVAlert"));
  window->setWindowTitle(QString::fromStdString(title_.value_or("?")));
  window->setFixedSize(m.contentSize);
  window->setStyleSheet(
      QStringLiteral("QDialog#QVAlert { background: #26272b; }"
                     "QLabel#title { color: #ecedf0; }"
                     "QLabel#message { color: #a7aab3; }"
                     "QPushButton#ok { background: #1db565; color: #ffffff; border: none; border-radius: 6px; }"
                     "QPushButton#ok:hover { background: #22c46f; }"
                     "QPushButton#ok:pressed { background: #179955; }"
                     "QPushButton#ok:focus { outline: none; }"));

  const double dpr = window->devicePixelRatioF();
  QPixmap iconPixmap;
  if (const auto path = appPath()) iconPixmap = iconForExecutable(*path, m.emptyIconSize.width(), dpr);
  auto* icon = new QLabel(window.get());
  icon->setObjectName(QStringLiteral("icon"));
  if (!iconPixmap.isNull()) icon->setPixmap(iconPixmap);
  const QSize iconSize = iconPixmap.isNull() ? m.emptyIconSize : iconPixmap.deviceIndependentSize().toSize();

  const int textWidth = QVAlertFrames::textWidth(m, iconSize.width());
  auto makeText = [&](const char* name, const std::optional<std::string>& text, double size, QFont::Weight weight) {
    auto* label = new QLabel(QString::fromStdString(text.value_or("?")), window.get());
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(QVFonts::systemFontOfSize(size, weight));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
  };
  auto* title = makeText("title", title_, m.titleFontSize, QFont::Bold);
  auto* message = makeText("message", message_, m.messageFontSize, QFont::Normal);

  auto* ok = new QPushButton(QStringLiteral("OK"), window.get());
  ok->setObjectName(QStringLiteral("ok"));
  ok->setFont(QVFonts::systemFontOfSize(m.buttonFontSize, QFont::DemiBold));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  ok->setCursor(Qt::PointingHandCursor);
  QObject::connect(ok, &QPushButton::clicked, window.get(), [this] { onOKAction(); });

  const auto frames =
      QVAlertFrames::layout(m, iconSize, title->heightForWidth(textWidth), message->heightForWidth(textWidth));
  icon->setGeometry(frames.icon);
  title->setGeometry(frames.title);
  message->setGeometry(frames.message);
  ok->setGeometry(frames.button);
  ok->setFocus();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect frame = screen->geometry();
    window->move(frame.x() + (frame.width() - m.contentSize.width()) / 2,
                 frame.y() + (frame.height() - m.contentSize.height()) / 2);
  }
  return window;
}

void QVAlert::run() {
  auto window = makeWindow();
  running_ = window.get();
  window->exec();
  running_ = nullptr;
}

void QVAlert::onOKAction() {
  if (running_) running_->accept();
}
