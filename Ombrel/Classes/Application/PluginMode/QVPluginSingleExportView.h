#pragma once
// The plug-in screen's begin row: the "DONE" button in the bottom-right corner (123 x 44, 11 in)
// when the host handed one image, and the strength slider, 11 left of the button or of the edge.
// It is the export row without its export menu: a press outside the open slider closes it and
// still reaches what was pressed (the row's event monitor), and the slider reports its amount as
// on the other screens.
//
// Main thread only.
#include <cstdint>
#include <functional>

#include "Ombrel/Classes/Application/Export/QVExportBeginView.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginScreenRules.h"
#include "QVAppKit/QVSpringButton.h"

class QVPluginSingleExportView : public QVExportBeginView {
 public:
  // `elements`: bits of kQVPluginElementButton and kQVPluginElementSlider.
  explicit QVPluginSingleExportView(uint64_t elements)
      : QVExportBeginView(1, (elements & kQVPluginElementSlider) != 0), elements_(elements) {}
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  uint64_t elements() const { return elements_; }
  // The button, or none without bit 1.
  QVRoundedSpringButton* actionButton() const { return actionButton_; }
  // Told when the button is clicked.
  void setActionHandler(std::function<void()> handler) { actionHandler_ = std::move(handler); }

  std::vector<QWidget*> visibleControls() const override;
  void setControlsEnabled(bool enabled) override;
  void setExportControlsTranslucent(bool translucent) override;

 private:
  uint64_t elements_;
  QVRoundedSpringButton* actionButton_ = nullptr;
  std::function<void()> actionHandler_;
};
