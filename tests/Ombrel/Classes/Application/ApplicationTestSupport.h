#pragma once
// The application's classes are tested on Qt's offscreen platform with the main executor pumped
// by hand on a manual clock. This file's environment makes the application object once.
#include <QColor>
#include <QImage>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Alerts/QVAlert.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"

namespace app_test {

// A small view that notes its window's size at each of its paints: a window's content painted
// at a size other than the window's shows cut or off-centre.
class SizeAtPaint : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<QSize> paints;
  void paintEvent(QPaintEvent*) override { paints.push_back(window()->size()); }
};

// Records every alert and answers from a script (button 0, unchecked, when the script runs out).
class ScriptedAlertRunner : public QVAlertRunner {
 public:
  std::vector<QVAlertSpec> shown;
  std::vector<QVAlertResponse> script;
  QVAlertResponse runModal(const QVAlertSpec& spec) override {
    shown.push_back(spec);
    if (script.empty()) return {};
    QVAlertResponse next = script.front();
    script.erase(script.begin());
    return next;
  }
};

// Records every panel; answers at once with the next scripted result (cancel when none), or holds
// the completion until `finish` when `holdOpen` is set.
class ScriptedPanelPresenter : public QVPanelPresenter {
 public:
  std::vector<QVPanelSpec> shown;
  std::vector<QVPanelResult> script;
  bool holdOpen = false;
  std::function<void(const QVPanelResult&)> pending;
  void beginSheet(const QVPanelSpec& spec, QWidget*, std::function<void(const QVPanelResult&)> completion) override {
    shown.push_back(spec);
    if (holdOpen) {
      pending = std::move(completion);
      return;
    }
    QVPanelResult result;
    if (!script.empty()) {
      result = script.front();
      script.erase(script.begin());
    }
    completion(result);
  }
  void finish(const QVPanelResult& result) {
    auto completion = std::move(pending);
    pending = nullptr;
    if (completion) completion(result);
  }
};

class RecordingOpener : public QVDesktopOpener {
 public:
  std::vector<std::string> urls;
  std::vector<QVMailMessage> mails;
  bool openURL(const std::string& url) override {
    urls.push_back(url);
    return true;
  }
  bool composeMail(const QVMailMessage& message) override {
    mails.push_back(message);
    return true;
  }
};

// How many pixels of two pictures of one size differ by more than `tolerance` (the sum of the
// three channels' differences): edges drawn over something else may differ by a few.
inline int differingPixels(const QImage& a, const QImage& b, int tolerance = 48) {
  int differing = 0;
  for (int y = 0; y < std::min(a.height(), b.height()); ++y)
    for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
      const QColor p(a.pixel(x, y)), q(b.pixel(x, y));
      differing +=
          std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue()) > tolerance;
    }
  return differing;
}

}  // namespace app_test
