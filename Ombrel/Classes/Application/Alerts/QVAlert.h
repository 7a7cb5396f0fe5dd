#pragma once
// Modal alerts as data: what an alert says and offers (`QVAlertSpec`) and what the user did
// (`QVAlertResponse`: the index of the pressed button, first button 0, and the suppression check
// box). A `QVAlertRunner` shows one; the application's is Qt's message box, tests install a
// scripted one that records the alerts and answers from a script.
//
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

struct QVAlertSpec {
  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;  // in order; the first is the default
  std::optional<std::string> suppressionTitle;
  // The index of the button Escape presses, if any.
  std::optional<size_t> cancelButtonIndex;
  bool operator==(const QVAlertSpec&) const = default;
};

struct QVAlertResponse {
  int64_t buttonIndex = 0;
  bool suppressionChecked = false;
};

class QVAlertRunner {
 public:
  virtual ~QVAlertRunner() = default;
  virtual QVAlertResponse runModal(const QVAlertSpec& spec) = 0;
};

// Qt's message box, warning style, application-modal over the active window, which is made the
// active window again once the box closes.
class QVMessageBoxAlertRunner : public QVAlertRunner {
 public:
  QVAlertResponse runModal(const QVAlertSpec& spec) override;
};
