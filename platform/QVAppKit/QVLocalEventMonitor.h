#pragma once
// A view's look at the application's input before any widget gets it: while the monitor is
// installed, every mouse press or key press of the kinds asked for, wherever in the application it
// goes, is first handed to the handler, which answers true to consume it (the widget it was meant
// for never sees it) or false to let it pass. Controls that close when the user clicks elsewhere
// or presses Escape use it.
//
// A monitor can be tied to a view: it is then installed only while the view is visible and goes
// away with the view. One press travelling up from a child to its parents reaches the handler
// once.
//
// Main thread only.
#include <QEvent>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <functional>

class QMouseEvent;

class QVLocalEventMonitor : public QObject {
 public:
  // The kinds of events, as bits of a mask.
  enum Mask : unsigned {
    LeftMouseDown = 1u << 1,
    RightMouseDown = 1u << 3,
    KeyDown = 1u << 10,
  };
  using Handler = std::function<bool(QEvent* event)>;

  // Installed at once until destroyed (or `remove`).
  QVLocalEventMonitor(unsigned mask, Handler handler);
  // Installed while `view` is visible; owned by the view (deleted with it).
  QVLocalEventMonitor(QWidget* view, unsigned mask, Handler handler);
  ~QVLocalEventMonitor() override;

  bool isInstalled() const { return installed_; }
  void remove();

  // Whether the press happened outside the view's rectangle (a view that is not shown counts as
  // everywhere outside).
  static bool isOutsideView(const QMouseEvent& event, const QWidget* view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setInstalled(bool installed);
  bool matches(const QEvent* event) const;

  unsigned mask_;
  Handler handler_;
  QPointer<QWidget> view_;
  bool installed_ = false;
  bool removed_ = false;
  // The last event seen and the widget it was meant for.
  struct Signature {
    QEvent::Type type = QEvent::None;
    quint64 timestamp = 0;
    QPointF globalPosition;
    int key = 0;
    bool operator==(const Signature&) const = default;
  };
  Signature last_;
  QPointer<QWidget> lastWidget_;
};
