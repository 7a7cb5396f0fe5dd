// solvane-drag-source [--at X,Y] [--to X,Y] FILE...
// A small window (200 x 120 at X,Y on the screen, default 40,40) that drags the files as a file
// manager does ("text/uri-list") once the left button is pressed in it and the pointer moves. With
// --to it first puts the pointer on itself and, once the drag runs, glides the pointer to X,Y
// (screen pixels) in a second, as a hand would; the button's press and release come from outside
// (xdotool mousedown and mouseup), so the drop is a real X11 drop. Prints "drag ended: copy" (or
// "none") when the drag is over, then quits.
#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <optional>

namespace {

std::optional<QPoint> point(const QString& text) {
  const QStringList xy = text.split(',');
  if (xy.size() != 2) return std::nullopt;
  return QPoint(xy[0].toInt(), xy[1].toInt());
}

class Source : public QWidget {
 public:
  Source(QList<QUrl> urls, std::optional<QPoint> to) : urls_(std::move(urls)), to_(to) {
    setWindowTitle(QStringLiteral("drag source"));
    setFixedSize(200, 120);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(40, 120, 80));
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("%1 file(s): drag me").arg(urls_.size()));
  }
  void mousePressEvent(QMouseEvent* event) override { pressed_ = event->button() == Qt::LeftButton; }
  void mouseMoveEvent(QMouseEvent*) override {
    if (!pressed_) return;
    pressed_ = false;
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData();
    mime->setUrls(urls_);
    drag->setMimeData(mime);
    if (to_) glide(QCursor::pos(), *to_);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("drag ended: %s\n", action == Qt::CopyAction ? "copy" : "none");
    std::fflush(stdout);
    QApplication::quit();
  }

 private:
  // 40 steps of 25 ms (the drag's own loop runs the timers).
  void glide(QPoint from, QPoint to) {
    for (int i = 1; i <= 40; ++i) {
      QTimer::singleShot(25 * i, this, [from, to, i] { QCursor::setPos(from + (to - from) * i / 40); });
    }
  }

  QList<QUrl> urls_;
  std::optional<QPoint> to_;
  bool pressed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QPoint at(40, 40);
  std::optional<QPoint> to;
  QList<QUrl> urls;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--at") && i + 1 < args.size()) {
      at = point(args[++i]).value_or(at);
    } else if (args[i] == QLatin1String("--to") && i + 1 < args.size()) {
      to = point(args[++i]);
    } else {
      urls.push_back(QUrl::fromLocalFile(QFileInfo(args[i]).absoluteFilePath()));
    }
  }
  Source source(urls, to);
  source.move(at);
  source.show();
  if (to) QTimer::singleShot(300, &source, [&source] { QCursor::setPos(source.geometry().center()); });
  return app.exec();
}
