#pragma once
// The progress part of the extension's single-image screen, while the full-size result is rendered
// for the host: a title naming a disk export of one photo, a one-part progress bar and the phase
// text, without a cancel button (the host's own Cancel stays the way out). The screen reaches it
// through this interface; `QVExtensionExportProgressPanel` implements it over the export panel's
// in-progress view.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <string>

class QVView;

class QVExtensionProgressPanel {
 public:
  virtual ~QVExtensionProgressPanel() = default;
  virtual QVView* panelView() = 0;
  // Title for one photo exported to disk, the bar in one part at part 0, animations running.
  virtual void startExportOfImage(const std::string& imagePath) = 0;
  virtual uint64_t partsCount() const = 0;
  virtual uint64_t currentPart() const = 0;
  virtual void setCurrentPart(uint64_t part) = 0;
  // The completion runs once, when the bar has stopped moving.
  virtual void waitEndAnimationWithCompletion(std::function<void()> completion) = 0;
  virtual std::string titleText() const = 0;
  virtual bool showsCancelButton() const = 0;
};
