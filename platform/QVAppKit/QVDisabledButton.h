#pragma once
// A check box that can be told to ignore the pointer and the keyboard (`interactionEnabled`) while
// it still shows its state at full strength, unlike a disabled control. It draws a small rounded
// box (the accent colour with a white tick when on) and its title after it.
//
// Only a click by the user sends the action; `setState` from code never does.
//
// Main thread only.
#include <QAbstractButton>
#include <QColor>
#include <functional>
#include <string>

class QVDisabledButton : public QAbstractButton {
 public:
  using Action = std::function<void(QVDisabledButton*)>;

  explicit QVDisabledButton(QWidget* parent = nullptr);

  void setAction(Action action) { action_ = std::move(action); }
  bool interactionEnabled() const { return interactionEnabled_; }
  void setInteractionEnabled(bool enabled) { interactionEnabled_ = enabled; }
  // On (true) or off; silent.
  bool state() const { return isChecked(); }
  void setState(bool on);
  void setTitle(const std::string& title);
  QColor titleColor() const { return titleColor_; }
  void setTitleColor(const QColor& color);
  QColor boxColor() const { return boxColor_; }
  void setBoxColor(const QColor& color);
  QColor checkedColor() const { return checkedColor_; }
  void setCheckedColor(const QColor& color);
  // A click as the user makes it: toggles and sends the action, unless interaction is off.
  void performClick();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Action action_;
  bool interactionEnabled_ = true;
  QColor titleColor_ = Qt::white;
  QColor boxColor_ = QColor(59, 59, 59);
  QColor checkedColor_ = QColor(29, 181, 101);
};
