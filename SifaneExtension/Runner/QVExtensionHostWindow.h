#pragma once
// The runner's window, standing in for the host's editing window: a dark bar with the photo's
// name and the host's own "Cancel" and "Done", over the extension's container view.
//
// Main thread only.
#include <functional>
#include <string>

#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVView.h"

class QVExtensionHostWindow : public QVView {
 public:
  static constexpr double kBarHeight = 56;
  static constexpr double kButtonWidth = 104;
  static constexpr double kButtonHeight = 36;
  static constexpr double kMargin = 12;

  // The container is laid under the bar, filling the rest of the window.
  // Made with QVMake.
  QVExtensionHostWindow(QWidget* container, std::string title);
  void addSubviews() override;

  void setOnDone(std::function<void()> action) { onDone_ = std::move(action); }
  void setOnCancel(std::function<void()> action) { onCancel_ = std::move(action); }
  // Both buttons stop taking clicks once the edit is being finished or cancelled.
  void setButtonsEnabled(bool enabled);
  QVRoundedSpringButton* doneButton() const { return done_; }
  QVRoundedSpringButton* cancelButton() const { return cancel_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* container_;
  std::string titleText_;
  QVView* bar_ = nullptr;
  QVLabel* title_ = nullptr;
  QVRoundedSpringButton* done_ = nullptr;
  QVRoundedSpringButton* cancel_ = nullptr;
  std::function<void()> onDone_, onCancel_;
  bool finishing_ = false;
};
