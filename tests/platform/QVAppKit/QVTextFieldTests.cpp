#include "QVAppKit/QVTextField.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>
#include <memory>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

std::unique_ptr<QVTextField> makeField() {
  std::unique_ptr<QVTextField> field(new QVTextField());
  field->initialize();
  field->resize(200, 30);
  return field;
}

TEST(QVTextField, PlaceholderIsLocalisedAndDrawnInItsColourAndFont) {
  qv::QVSLocalization::setTable({{"File name", qv::Value("Nom du fichier")}});
  auto field = makeField();
  field->setPlaceholderString("File name");
  EXPECT_EQ(field->placeholderString(), "Nom du fichier");
  qv::QVSLocalization::setTable({});

  field->setBackgroundColor(Qt::black);
  field->setPlaceholderColor(QColor(255, 0, 0));
  field->setPlaceholderFont(QVFonts::systemFontOfSize(20, QFont::Bold));
  const QImage image = appkit_test::render(field.get());
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      red += c.red() > 150 && c.green() < 60;
    }
  EXPECT_GT(red, 50);

  field->setText("typed");
  const QImage typed = appkit_test::render(field.get());
  int redTyped = 0;
  for (int y = 0; y < typed.height(); ++y)
    for (int x = 0; x < typed.width(); ++x) redTyped += typed.pixelColor(x, y).red() > 150;
  EXPECT_EQ(redTyped, 0) << "no placeholder once there is text";
}

TEST(QVTextField, PlaceholderLooksSetBeforeAnyPlaceholderTextWaitForIt) {
  auto field = makeField();
  field->setPlaceholderColor(QColor(255, 0, 0));
  field->setPlaceholderFont(QVFonts::systemFontOfSize(18));
  EXPECT_TRUE(field->placeholderString().empty());
  EXPECT_FALSE(appkit_test::render(field.get()).isNull());
  field->setPlaceholderString("Name");
  const QImage image = appkit_test::render(field.get());
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) red += image.pixelColor(x, y).red() > 150;
  EXPECT_GT(red, 20) << "the colour set earlier applies";
}

TEST(QVTextField, BorderAndCornerRadius) {
  auto field = makeField();
  field->setBorderColor(Qt::blue);
  field->setBorderWidth(2);
  const int updates = field->borderUpdates();
  field->setBorderColor(Qt::blue);
  EXPECT_EQ(field->borderUpdates(), updates) << "the same colour changes nothing";
  const QImage image = appkit_test::render(field.get());
  EXPECT_EQ(appkit_test::pixelAt(image, 0.5, 15), QColor(Qt::blue));

  field->setCornerRadius(6);
  EXPECT_TRUE(field->masksToBounds());
  field->setCornerRadius(0);
  EXPECT_FALSE(field->masksToBounds());
}

TEST(QVTextField, FocusPostsTheNoticeOnlyWhenTaken) {
  auto field = makeField();
  int notices = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      QVTextFieldDidBecomeFirstResponderNotification, field.get(), [&](const qv::Notification&) { ++notices; });
  field->show();
  field->activateWindow();
  QApplication::setActiveWindow(field.get());
  field->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(notices, 1);

  // A disabled field cannot take the focus, so it posts nothing.
  auto refusing = makeField();
  refusing->setEnabled(false);
  int refused = 0;
  auto token2 = qv::NotificationCenter::defaultCenter().addObserver(
      QVTextFieldDidBecomeFirstResponderNotification, refusing.get(), [&](const qv::Notification&) { ++refused; });
  refusing->show();
  QApplication::setActiveWindow(refusing.get());
  refusing->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(refused, 0);
}

TEST(QVTextFieldCell, InsetsAndVerticalCentring) {
  QVTextFieldCell cell;
  cell.setTextInsets({2, 4, 6, 8});
  CGRect r = cell.adjustedFrameToVerticallyCenterText(CGRectMake(0, 0, 200, 40), std::nullopt);
  EXPECT_EQ(r.origin.x, 4);
  EXPECT_EQ(r.origin.y, 2);
  EXPECT_EQ(r.size.width, 188);
  EXPECT_EQ(r.size.height, 32);

  cell.setVerticallyCenteredText(true);
  const QFont font = QVFonts::systemFontOfSize(13);
  const double f = std::ceil(float(QFontMetricsF(font).height()));
  const int d = int(std::floor((32 - f) * 0.5));
  r = cell.adjustedFrameToVerticallyCenterText(CGRectMake(0, 0, 200, 40), font);
  EXPECT_EQ(r.origin.y, 2 + d - 2.0);
  EXPECT_EQ(r.size.height, 32 - 2 * d + d);
  // Without a font the line is zero high: half the height.
  r = cell.adjustedFrameToVerticallyCenterText(CGRectMake(0, 0, 200, 40), std::nullopt);
  EXPECT_EQ(r.origin.y, 2 + 16 - 2.0);
}

}  // namespace
