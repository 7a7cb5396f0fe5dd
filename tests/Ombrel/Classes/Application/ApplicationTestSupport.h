#pragma once
// The application's classes are tested on Qt's offscreen platform with the main executor pumped
// by hand on a manual clock. This file's environment makes the application object once.
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Alerts/QVAlert.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"

namespace app_test {

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

}  // namespace app_test
