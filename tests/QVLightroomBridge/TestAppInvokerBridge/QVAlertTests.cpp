// The launcher's alert on the offscreen platform.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <fstream>

#include "LauncherTestSupport.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVAlert.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using launcher_test::ScopedEnvironment;

namespace {

struct Parts {
  QLabel* icon;
  QLabel* title;
  QLabel* message;
  QPushButton* ok;
};

Parts partsOf(QDialog& window) {
  Parts p{window.findChild<QLabel*>("icon"), window.findChild<QLabel*>("title"), window.findChild<QLabel*>("message"),
          window.findChild<QPushButton*>("ok")};
  EXPECT_TRUE(p.icon && p.title && p.message && p.ok);
  return p;
}

class QVAlertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = solvane::test::makeTempDir("launcher-alert");
    world_ = std::make_unique<ScopedEnvironment>(launcher_test::closedWorld(root_));
  }
  void TearDown() override { world_.reset(); }
  fs::path root_;
  std::unique_ptr<ScopedEnvironment> world_;
};

TEST_F(QVAlertTest, LayoutWithTheEmptyIconPlace) {
  QVAlert alert;
  alert.setTitle("Error");
  alert.setMessage("Could not find Solvane Brisko on your computer.");
  auto window = alert.makeWindow();
  const Parts p = partsOf(*window);
  EXPECT_EQ(window->size(), QSize(450, 140));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(p.ok->text(), "OK");
  EXPECT_EQ(p.ok->geometry(), QRect(450 - 20 - 80, 140 - 20 - p.ok->height(), 80, p.ok->height()));
  // Started by the test runner, which no desktop entry runs: an empty 50 x 50 place.
  EXPECT_TRUE(p.icon->pixmap().isNull());
  EXPECT_EQ(p.icon->geometry(), QRect(20, 20, 50, 50));
  EXPECT_EQ(p.title->text(), "Error");
  EXPECT_EQ(p.title->geometry().topLeft(), QPoint(50 + 28, 20));
  EXPECT_TRUE(p.title->font().bold());
  EXPECT_EQ(p.message->geometry().left(), p.title->geometry().left());
  EXPECT_EQ(p.message->geometry().top(), p.title->geometry().bottom() + 1 + 8);
  EXPECT_LT(p.message->font().pixelSize(), p.title->font().pixelSize());
  // The texts keep to the window's right margin.
  EXPECT_EQ(p.title->geometry().right() + 1, 450 - 20);
  EXPECT_EQ(p.message->geometry().right() + 1, 450 - 20);
  EXPECT_GE(p.title->height(), p.title->fontMetrics().height());
  EXPECT_GE(p.message->height(), p.message->fontMetrics().height());
}

TEST_F(QVAlertTest, MissingTextsReadAsQuestionMarks) {
  QVAlert alert;
  alert.setTitle(std::nullopt);
  auto window = alert.makeWindow();
  const Parts p = partsOf(*window);
  EXPECT_EQ(p.title->text(), "?");
  EXPECT_EQ(p.message->text(), "?");
}

TEST_F(QVAlertTest, ALongMessageWrapsInsideTheFixedWindow) {
  QVAlert alert;
  alert.setTitle("Error");
  alert.setMessage(std::string(6, ' ').replace(0, 6, "Could not find Solvane Brisko on your computer. ") +
                   "Install it again, or name its folder with the bundle path argument of the plug-in.");
  auto window = alert.makeWindow();
  const Parts p = partsOf(*window);
  EXPECT_EQ(window->size(), QSize(450, 140));
  EXPECT_TRUE(p.message->wordWrap());
  EXPECT_GT(p.message->height(), p.message->fontMetrics().height());  // more than one line
  EXPECT_LE(p.message->geometry().right() + 1, 450 - 20);
  EXPECT_LE(p.message->geometry().bottom(), p.ok->geometry().top());
}

TEST_F(QVAlertTest, TheHostsIconComesFromTheDesktopEntryThatRunsIt) {
  const auto host = QVAlert::appPath();
  ASSERT_TRUE(host.has_value());
  EXPECT_TRUE(fs::path(*host).is_absolute());
  QImage png(64, 64, QImage::Format_ARGB32);
  png.fill(QColor(29, 181, 101));
  const fs::path iconFile = root_ / "host.png";
  ASSERT_TRUE(png.save(QString::fromStdString(iconFile.string())));
  fs::create_directories(root_ / "data-home" / "applications");
  std::ofstream(root_ / "data-home" / "applications" / "host.desktop")
      << "[Desktop Entry]\nType=Application\nName=Host\nExec=" << *host << " --run %f\nIcon=" << iconFile.string()
      << "\n";

  QVAlert alert;
  alert.setTitle("Error");
  alert.setMessage("m");
  auto window = alert.makeWindow();
  const Parts p = partsOf(*window);
  ASSERT_FALSE(p.icon->pixmap().isNull());
  EXPECT_EQ(p.icon->pixmap().deviceIndependentSize().toSize(), QSize(50, 50));
  EXPECT_EQ(p.icon->pixmap().toImage().pixelColor(25, 25), QColor(29, 181, 101));
  EXPECT_EQ(p.icon->geometry(), QRect(20, 20, 50, 50));
  EXPECT_EQ(p.title->geometry().left(), 50 + 28);
}

// The icon's file is read by the launcher itself, only when it is a regular file of a bounded
// size: a FIFO or a huge file planted at the icon's place gives the empty place, never a hang.
// The host is the process named (the launcher's alert runs in a child of its own).
TEST_F(QVAlertTest, AnIconThatIsNotASmallRegularFileGivesTheEmptyPlace) {
  QVAlert::setHostProcessId(::getpid());
  const auto self = QVAlert::appPath();
  QVAlert::setHostProcessId(0);
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(fs::path(*self), fs::read_symlink("/proc/self/exe"));
  ASSERT_EQ(::mkfifo((root_ / "fifo.png").c_str(), 0600), 0);
  std::ofstream(root_ / "huge.png").close();
  fs::resize_file(root_ / "huge.png", 64u << 20);
  fs::create_directories(root_ / "data-home" / "applications");
  for (const char* icon : {"fifo.png", "huge.png", "missing.png"}) {
    SCOPED_TRACE(icon);
    std::ofstream(root_ / "data-home" / "applications" / "host.desktop")
        << "[Desktop Entry]\nType=Application\nName=Host\nExec=" << *self << "\nIcon=" << (root_ / icon).string()
        << "\n";
    EXPECT_TRUE(QVAlert::iconForExecutable(*self, 50, 1.0).isNull());
  }
}

TEST_F(QVAlertTest, RunReturnsOnceOKIsPressed) {
  QVAlert alert;
  alert.setTitle("Error");
  alert.setMessage("m");
  bool pressed = false;
  // Runs inside the modal loop, once it has shown the window.
  QTimer::singleShot(0, [&] {
    auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->findChild<QPushButton*>("ok")->click();
    pressed = true;
  });
  alert.run();
  EXPECT_TRUE(pressed);
  alert.onOKAction();  // no run in progress: nothing to end
}

TEST(QVAlertFrames, FollowTheIconsWidthAndKeepClearOfTheButton) {
  const auto m = QVAlertMetrics::standard();
  const auto f = QVAlertFrames::layout(m, QSize(32, 32), 16, 500);
  EXPECT_EQ(f.icon, QRect(20, 20, 32, 32));
  EXPECT_EQ(f.title, QRect(32 + 28, 20, 450 - 20 - 60, 16));
  EXPECT_EQ(f.message.top(), 20 + 16 + 8);
  EXPECT_EQ(f.message.bottom() + 1, f.button.top() - m.buttonMessageGap);  // capped, not grown
  EXPECT_EQ(f.button, QRect(450 - 100, 140 - 20 - m.buttonHeight, 80, m.buttonHeight));
}

}  // namespace
