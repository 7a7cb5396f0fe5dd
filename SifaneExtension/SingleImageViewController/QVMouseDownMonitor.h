#pragma once
// A local monitor of left and right mouse presses in the application's windows: the handler sees
// each press once, with its position on the screen, before the press reaches its target, and
// never stops it. The monitor ends with the object.
//
// Main thread only.
#include <QObject>
#include <QPointF>
#include <functional>

class QVMouseDownMonitor : public QObject {
 public:
  using Handler = std::function<void(QPointF globalPosition)>;
  explicit QVMouseDownMonitor(Handler handler);
  ~QVMouseDownMonitor() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Handler handler_;
};
