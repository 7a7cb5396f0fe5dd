#include "QVAppKit/QVPopUpButton.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVArtwork.h"
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

void QVPopUpButton::setPictogram(const std::string& name) {
  pictogramName_ = name;
  hasPictogram_ = !name.empty() && QVArtwork::exists(name);
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
  // Room for the title centred between the pictogram and an equal margin on the other side (21
  // points each), plus what the additional space asks beyond the pictogram's own room.
  return QSize(int(std::ceil(widest + 42 + std::max(0.0, additionalSpace_ - 21))), 28);
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

  // The pictogram: 7 x 11 points, centred vertically. The title is centred on the button while
  // it fits beside the pictogram, else it starts at the left margin and is cut at its end.
  const QSizeF pictogramSize(7, 11);
  const double margin = 10;
  QRectF textRect = bounds.adjusted(margin, 0, -margin, 0);
  QRectF pictogramRect;
  if (hasPictogram_) {
    const double y = (bounds.height() - pictogramSize.height()) / 2 + pictogramOffset_.y();
    if (pictogramPosition_ == PictogramLeft) {
      pictogramRect = QRectF(QPointF(margin + pictogramOffset_.x(), y), pictogramSize);
      textRect.setLeft(pictogramRect.right() + 4);
    } else {
      pictogramRect = QRectF(QPointF(bounds.width() - margin - pictogramSize.width(), y), pictogramSize);
      textRect.setRight(pictogramRect.left() - 4);
    }
  }
  const QFontMetricsF metrics(font());
  const QString title = currentIndex() >= 0 ? currentText() : QString();
  const double titleWidth = metrics.horizontalAdvance(title);
  Qt::Alignment alignment = alignment_;
  if (alignment_ & Qt::AlignHCenter) {
    const double half = std::min(bounds.center().x() - textRect.left(), textRect.right() - bounds.center().x());
    if (titleWidth <= 2 * half) {
      textRect = QRectF(bounds.center().x() - half, 0, 2 * half, bounds.height());
    } else {
      alignment = Qt::AlignLeft;
    }
  }
  painter.setFont(font());
  QColor text = fontColor_;
  if (!isEnabled()) text.setAlphaF(0.4f);
  painter.setPen(text);
  painter.drawText(textRect, int(alignment | Qt::AlignVCenter),
                   metrics.elidedText(title, Qt::ElideRight, textRect.width()));
  if (hasPictogram_) {
    painter.setOpacity(isEnabled() ? 0.9 : 0.4);
    const QPixmap picture = QVArtwork::pixmap(pictogramName_, CGSizeMake(pictogramSize.width(), pictogramSize.height()),
                                              devicePixelRatioF(), fontColor_);
    painter.drawPixmap(pictogramRect.topLeft(), picture);
  }
}
