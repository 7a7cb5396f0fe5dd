#include "QVAppKit/QVPopUpButton.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVBasicView.h"

namespace {
constexpr int kTagRole = Qt::UserRole + 1;
}

QVPopUpButton::QVPopUpButton(QWidget* parent) : QComboBox(parent) {
  setFocusPolicy(Qt::NoFocus);
  setSizeAdjustPolicy(QComboBox::AdjustToContents);
  // The user's choice, never a change made from code.
  QObject::connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int) {
    QVSetNeedsDisplay(this);
    if (action_) action_(this);
  });
  QObject::connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                   [this] { QVSetNeedsDisplay(this); });
}

void QVPopUpButton::setTitles(const std::vector<std::string>& titles) {
  const QSignalBlocker blocker(this);
  clear();
  for (const auto& title : titles) addItem(QString::fromStdString(title));
  setCurrentIndex(titles.empty() ? -1 : 0);
  updateGeometry();
  QVSetNeedsDisplay(this);
}

std::vector<std::string> QVPopUpButton::titles() const {
  std::vector<std::string> out;
  for (int i = 0; i < count(); ++i) out.push_back(itemText(i).toStdString());
  return out;
}

void QVPopUpButton::setTagOfItemAtIndex(int index, int64_t tag) {
  if (index >= 0 && index < count()) setItemData(index, QVariant::fromValue<qlonglong>(tag), kTagRole);
}

std::optional<int64_t> QVPopUpButton::tagOfItemAtIndex(int index) const {
  if (index < 0 || index >= count()) return std::nullopt;
  const QVariant tag = itemData(index, kTagRole);
  if (!tag.isValid()) return std::nullopt;
  return tag.toLongLong();
}

void QVPopUpButton::selectItemAtIndex(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

bool QVPopUpButton::selectItemWithTag(int64_t tag) {
  for (int i = 0; i < count(); ++i) {
    if (tagOfItemAtIndex(i) == tag) {
      setCurrentIndex(i);
      return true;
    }
  }
  setCurrentIndex(-1);
  return false;
}

std::optional<std::string> QVPopUpButton::titleOfSelectedItem() const {
  if (currentIndex() < 0) return std::nullopt;
  return currentText().toStdString();
}

std::optional<int64_t> QVPopUpButton::selectedTag() const { return tagOfItemAtIndex(currentIndex()); }

void QVPopUpButton::chooseItemAtIndex(int index) {
  if (index < 0 || index >= count()) return;
  setCurrentIndex(index);
  emit activated(index);
}

void QVPopUpButton::setBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setFontColor(const QColor& color) {
  fontColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setTitleAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setPictogram(const std::string& name, const std::string& folder) {
  pictogramName_ = name;
  pictogram_ = QVChromeImageNamed(name, folder);
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setPictogramPosition(int position) {
  pictogramPosition_ = position;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setPictogramOffset(QPointF offset) {
  pictogramOffset_ = offset;
  QVSetNeedsDisplay(this);
}

void QVPopUpButton::setAdditionalSpace(double space) {
  additionalSpace_ = space;
  updateGeometry();
}

QSize QVPopUpButton::sizeHint() const {
  const QFontMetricsF metrics(font());
  double widest = 0;
  for (int i = 0; i < count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
  return QSize(int(std::ceil(widest + additionalSpace_ + 16)), 28);
}

void QVPopUpButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = rect();
  const double radius = cornerRadius_ < 0 ? bounds.height() / 2 : std::min(cornerRadius_, bounds.height() / 2);
  QPainterPath shape;
  shape.addRoundedRect(bounds, radius, radius);
  QColor fill = backgroundColor_;
  if (!isEnabled()) fill.setAlphaF(fill.alphaF() * 0.5f);
  painter.fillPath(shape, fill);

  // The pictogram: 8 x 12 points, centred vertically.
  const QSizeF pictogramSize(7, 11);
  QRectF textRect = bounds.adjusted(10, 0, -10, 0);
  QRectF pictogramRect;
  if (pictogram_) {
    const double y = (bounds.height() - pictogramSize.height()) / 2 + pictogramOffset_.y();
    if (pictogramPosition_ == PictogramLeft) {
      pictogramRect = QRectF(QPointF(10 + pictogramOffset_.x(), y), pictogramSize);
      textRect.setLeft(pictogramRect.right() + 4);
    } else {
      // At the right: the title keeps the button's centre while there is room, as the ears sit
      // in the margin the additional space makes.
      pictogramRect =
          QRectF(QPointF(bounds.width() - 10 - pictogramSize.width() - pictogramOffset_.x() + 5, y), pictogramSize);
      textRect.setRight(pictogramRect.left() - 4);
      textRect.setLeft(std::max(textRect.left(), bounds.width() - textRect.right()));
    }
  }
  painter.setFont(font());
  QColor text = fontColor_;
  if (!isEnabled()) text.setAlphaF(0.4f);
  painter.setPen(text);
  const QString title = currentIndex() >= 0 ? currentText() : QString();
  const QString elided = QFontMetricsF(font()).elidedText(title, Qt::ElideRight, textRect.width());
  painter.drawText(textRect, int(alignment_ | Qt::AlignVCenter), elided);
  if (pictogram_) {
    painter.setOpacity(isEnabled() ? 0.9 : 0.4);
    pictogram_->render(&painter, pictogramRect);
  }
}
