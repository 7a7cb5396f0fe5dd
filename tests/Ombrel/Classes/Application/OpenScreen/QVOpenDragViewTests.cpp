#include "Ombrel/Classes/Application/OpenScreen/QVOpenDragView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

namespace {

class Recorder : public QVOpenDragViewDelegate {
 public:
  void openDragViewDidEnter(QVOpenDragView* view) override {
    ++entered;
    urls = view->URLs();
  }
  void openDragViewDidMoveWhileDragging(QVOpenDragView*, CGPoint location) override { moves.push_back(location); }
  void openDragViewDidExit(QVOpenDragView*) override { ++exited; }
  void openDragViewDidDrop(QVOpenDragView* view) override {
    ++dropped;
    urls = view->URLs();
  }
  int entered = 0, exited = 0, dropped = 0;
  std::vector<CGPoint> moves;
  std::vector<std::string> urls;
};

class QVOpenDragViewTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(file("photo.jpg"), "JPEG"));
    ASSERT_TRUE(image.save(file("second.png"), "PNG"));
    QFile text(file("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/deeper"));
    ASSERT_TRUE(image.save(file("folder/inside.jpg"), "JPEG"));
    ASSERT_TRUE(image.save(file("folder/deeper/too-deep.jpg"), "JPEG"));
    view = QVMake<QVOpenDragView>(CGRectMake(0, 0, 400, 300));
    view->setDelegate(&recorder);
  }
  void TearDown() override { delete view; }

  QString file(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
  std::string path(const char* name) const { return file(name).toStdString(); }

  // A drag of these files enters the view as a file manager sends it; answers the drop action
  // taken (IgnoreAction when refused).
  Qt::DropAction enter(const std::vector<const char*>& names) {
    mime.setUrls({});
    QList<QUrl> urls;
    for (const char* name : names) urls.push_back(QUrl::fromLocalFile(file(name)));
    mime.setUrls(urls);
    QDragEnterEvent event(QPoint(200, 150), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(view, &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
  }
  void leave() {
    QDragLeaveEvent event;
    QApplication::sendEvent(view, &event);
  }

  QTemporaryDir dir;
  QMimeData mime;
  Recorder recorder;
  QVOpenDragView* view = nullptr;
};

}  // namespace

TEST_F(QVOpenDragViewTest, UsableFilesCopyAndEnterOnce) {
  struct Case {
    std::vector<const char*> names;
    bool copy;
    size_t urls;
  } cases[] = {
      {{"photo.jpg"}, true, 1},
      {{"notes.txt"}, false, 0},
      {{"folder"}, true, 1},  // one level deep: the photo inside, not the one further down
      {{"photo.jpg", "notes.txt", "second.png", "folder"}, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.front());
    recorder = Recorder();
    EXPECT_EQ(enter(c.names), c.copy ? Qt::CopyAction : Qt::IgnoreAction);
    EXPECT_EQ(recorder.entered, c.copy ? 1 : 0);
    EXPECT_EQ(view->URLs().size(), c.urls);
    EXPECT_EQ(view->currentDraggingOperation(), c.copy ? QVDragOperation::Copy : QVDragOperation::None);
    leave();
    EXPECT_EQ(recorder.exited, c.copy ? 1 : 0);
    EXPECT_TRUE(view->URLs().empty());
  }
  enter({"folder"});
  EXPECT_EQ(recorder.urls, (std::vector<std::string>{path("folder/inside.jpg")}));
}

TEST_F(QVOpenDragViewTest, MovesAndTheDropReachTheDelegate) {
  ASSERT_EQ(enter({"photo.jpg", "second.png"}), Qt::CopyAction);
  QDragMoveEvent move(QPoint(300, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  EXPECT_TRUE(move.isAccepted());
  ASSERT_EQ(recorder.moves.size(), 1u);
  // In the view's bottom-left space.
  EXPECT_DOUBLE_EQ(recorder.moves[0].x, 300);
  EXPECT_DOUBLE_EQ(recorder.moves[0].y, 250);
  QDropEvent drop(QPointF(300, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &drop);
  EXPECT_EQ(recorder.dropped, 1);
  EXPECT_EQ(recorder.urls, (std::vector<std::string>{path("photo.jpg"), path("second.png")}));
  EXPECT_TRUE(view->URLs().empty());
  EXPECT_EQ(recorder.entered, 1);
}

TEST_F(QVOpenDragViewTest, DisabledDraggingRefusesEverything) {
  view->setDraggingEnabled(false);
  EXPECT_EQ(enter({"photo.jpg"}), Qt::IgnoreAction);
  EXPECT_EQ(recorder.entered, 0);
  EXPECT_EQ(view->draggingUpdated(CGPointMake(1, 1)), QVDragOperation::None);
  EXPECT_TRUE(recorder.moves.empty());
  view->setDraggingEnabled(true);
  EXPECT_EQ(enter({"photo.jpg"}), Qt::CopyAction);
  // No promises on Linux: the fetcher is there and finds none.
  ASSERT_NE(view->promisesFetcher(), nullptr);
  EXPECT_FALSE(QVFilePromisesFetcher::hasPromiseFiles(nullptr));
}
