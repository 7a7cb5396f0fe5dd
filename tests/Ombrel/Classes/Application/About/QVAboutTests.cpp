#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "Ombrel/Classes/Application/About/QVAboutWindowController.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "QVApplicationInfo/QVApplicationInfo.h"
#include "QVPlatform/Bundle.h"

namespace {

TEST(QVAboutContent, PlacementOverTheReferenceOrCentredOnTheScreen) {
  struct Case {
    CGSize size;
    std::optional<CGRect> reference;
    CGPoint expected;
  };
  const CGRect screen = CGRectMake(0, 0, 2560, 1440);
  const Case cases[] = {
      // Half of 599 is 299.5, which rounds to 300.
      {CGSizeMake(401, 300), CGRectMake(100, 100, 1000, 700), CGPointMake(400, 300)},
      {CGSizeMake(400, 300), CGRectMake(-50, 20, 400, 300), CGPointMake(-50, 20)},
      // A reference smaller than the window: the window overhangs it evenly.
      {CGSizeMake(400, 300), CGRectMake(500, 500, 200, 100), CGPointMake(400, 400)},
      {CGSizeMake(400, 300), std::nullopt, CGPointMake(1080, 570)},
  };
  for (const Case& c : cases) {
    const CGPoint origin = QVAboutContent::originForWindowSize(c.size, c.reference, screen);
    EXPECT_EQ(origin.x, c.expected.x);
    EXPECT_EQ(origin.y, c.expected.y);
  }
}

TEST(QVAboutContent, TextsFromTheRecord) {
  const QVAboutRecord record{"Solvane", "2.0.1", "207", "© <Year> <AppName>, <AppName> Labs <Year>"};
  EXPECT_EQ(QVAboutContent::appNameText(record), "SOLVANE");
  EXPECT_EQ(QVAboutContent::versionText(record), "VERSION 2.0.1 (207)");
  EXPECT_EQ(QVAboutContent::copyrightText(record.copyright, record.displayName, 2026),
            "© 2026 Solvane, Solvane Labs 2026");
  // A name that holds a placeholder is not expanded again.
  EXPECT_EQ(QVAboutContent::copyrightText("<AppName>", "<AppName> Pro", 2026), "<AppName> Pro");
  EXPECT_EQ(QVAboutContent::copyrightText("All rights reserved.", "Solvane", 2026), "All rights reserved.");
  EXPECT_GE(QVAboutContent::currentYear(), 2024);
}

TEST(QVAboutContent, TheBuildRecordIsTheBundlesInformation) {
  const auto& info = qv::Bundle::mainBundle().infoDictionary();
  EXPECT_EQ(info["CFBundleName"].asString(), QVApplicationInfo::displayName);
  EXPECT_EQ(info["CFBundleShortVersionString"].asString(), QVApplicationInfo::shortVersion);
  EXPECT_EQ(info["CFBundleVersion"].asString(), QVApplicationInfo::buildNumber);
  EXPECT_EQ(info["CFBundleIdentifier"].asString(), QVApplicationInfo::bundleIdentifier);
  EXPECT_NE(std::string(QVApplicationInfo::copyright).find("<Year>"), std::string::npos);
}

class QVAboutWindowTest : public ::testing::Test {
 protected:
  QVAboutWindowController controller{QVAboutRecord{"Solvane", "2.0.0", "200", "Copyright © <Year> <AppName>."}};
};

TEST_F(QVAboutWindowTest, LabelsAndTheContactsTable) {
  EXPECT_EQ(controller.appNameLabel()->title(), std::optional<std::string>("SOLVANE"));
  EXPECT_EQ(controller.versionLable()->title(), std::optional<std::string>("VERSION 2.0.0 (200)"));
  EXPECT_EQ(controller.copyrightLabel()->title(),
            "Copyright © " + std::to_string(QVAboutContent::currentYear()) + " Solvane.");

  QTableWidget* table = controller.tableView();
  ASSERT_EQ(table->rowCount(), 4);
  ASSERT_EQ(table->columnCount(), 2);
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "roles");
  const char* roles[] = {"Support Team", "", "Partnerships", ""};
  const char* names[] = {QVAboutContent::kSupportEmail, "", QVAboutContent::kPartnershipsEmail, ""};
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(table->item(row, 0)->text().toStdString(), roles[row]);
    EXPECT_EQ(table->item(row, 1)->text().toStdString(), names[row]);
    EXPECT_FALSE(table->item(row, 1)->flags() & Qt::ItemIsSelectable);
  }
  EXPECT_EQ(table->selectionMode(), QAbstractItemView::NoSelection);
  // Every row fits: nothing scrolls.
  EXPECT_GE(table->height(), table->rowCount() * table->rowHeight(0));
}

TEST_F(QVAboutWindowTest, ShownOverTheMainWindowOrCentred) {
  QWidget main;
  main.setGeometry(100, 100, 1000, 700);
  controller.startForWindow(&main);
  QWidget* window = controller.window();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->pos(), QPoint(100 + 300, 100 + 188));
  window->close();

  controller.startForWindow(nullptr);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window->geometry().center().x() - screen.center().x(), 0);
  EXPECT_LE(std::abs(window->geometry().center().y() - screen.center().y()), 1);
  window->close();
}

TEST_F(QVAboutWindowTest, EscapeAndControlWCloseIt) {
  for (auto [key, modifiers] : {std::pair{Qt::Key_Escape, Qt::NoModifier}, std::pair{Qt::Key_W, Qt::ControlModifier}}) {
    controller.startForWindow(nullptr);
    ASSERT_TRUE(controller.window()->isVisible());
    QTest::keyClick(controller.window(), key, modifiers);
    EXPECT_FALSE(controller.window()->isVisible()) << key;
  }
  // Other keys leave it open.
  controller.startForWindow(nullptr);
  QTest::keyClick(controller.window(), Qt::Key_W);
  EXPECT_TRUE(controller.window()->isVisible());
  controller.window()->close();
}

// A visible way to close it: the close button in the top-left corner, which a click presses.
TEST_F(QVAboutWindowTest, ItsCloseButtonShowsInTheTopLeftCornerAndClosesIt) {
  controller.startForWindow(nullptr);
  QWidget* window = controller.window();
  QVWindowButton* button = controller.closeButton();
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isVisible());
  const QRect frame = button->geometry();
  EXPECT_EQ(frame.topLeft(), QPoint(12, 12));
  EXPECT_EQ(frame.size(), QSize(14, 14));
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(7, 7));
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
