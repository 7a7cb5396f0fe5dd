#pragma once
// A row of equal segments, one selected: a filled rounded bar with a thin line between segments,
// titles centred, the selected one in its own colour on a darker fill. A click on a segment
// selects it and sends the action; `setSelectedSegment` from code never sends it.
//
// Main thread only.
#include <QColor>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QVSegmentedControl : public QWidget {
 public:
  using Action = std::function<void(QVSegmentedControl*)>;

  explicit QVSegmentedControl(QWidget* parent = nullptr);

  void setAction(Action action) { action_ = std::move(action); }
  void setTitles(const std::vector<std::string>& titles);
  const std::vector<std::string>& titles() const { return titles_; }
  int segmentCount() const { return int(titles_.size()); }
  int selectedSegment() const { return selected_; }
  // Silent; -1 or an index outside the segments selects none.
  void setSelectedSegment(int index);
  // A click as the user makes it.
  void clickSegment(int index);
  // The segment under a point of the widget, -1 outside.
  int segmentAtPoint(QPointF point) const;
  QRectF rectForSegment(int index) const;

  void setTextColor(const QColor& color);
  void setSelectedTextColor(const QColor& color);
  void setBackgroundColor(const QColor& color);
  void setHighlightedColor(const QColor& color);
  void setLineColor(const QColor& color);
  QColor selectedTextColor() const { return selectedTextColor_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Action action_;
  std::vector<std::string> titles_;
  int selected_ = -1;
  int pressed_ = -1;
  QColor textColor_ = Qt::white;
  QColor selectedTextColor_ = QColor(29, 181, 101);
  QColor backgroundColor_ = QColor(59, 59, 59);
  QColor highlightedColor_ = QColor(30, 30, 30);
  QColor lineColor_ = QColor(30, 30, 30);
};
