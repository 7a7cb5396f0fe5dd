#pragma once
// The controls of the batch settings, all in the batch style of the application (control fill,
// Inter at 12 points, white text, grey labels): the pop-up with centred text and the "popup_ears"
// pictogram, the check box that can ignore clicks, editable and read-only fields and the title
// label, plus the segmented control and the field rules the section editors share.
//
// Every control is made for layout by its caller and reports only what the user does (pop-up
// choices, clicks, typed text); showing a value from code is silent.
//
// Main thread only.
#include <QColor>
#include <QValidator>
#include <functional>
#include <optional>
#include <string>

#include "QVAppKit/QVDisabledButton.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVPopUpButton.h"
#include "QVAppKit/QVSegmentedControl.h"
#include "QVAppKit/QVSliderView.h"
#include "QVAppKit/QVTextField.h"

// What an editable field accepts as typed; anything else is refused before it reaches the field.
enum class QVBatchFieldRule {
  Text,             // any text without "/" or NUL (it becomes part of a file name)
  Counter,          // a non-negative integer (digits only, at most 18 of them)
  PositiveInteger,  // a positive integer up to the engine's largest image side
};

// The validator of a rule: the empty text is always allowed (the user may clear a field).
class QVBatchFieldValidator : public QValidator {
 public:
  QVBatchFieldValidator(QVBatchFieldRule rule, QObject* parent) : QValidator(parent), rule_(rule) {}
  State validate(QString& input, int& position) const override;
  QVBatchFieldRule rule() const { return rule_; }
  // The number a number field holds, written as decimal text; nullopt when it holds none.
  static std::optional<std::string> numberText(const QString& text);

 private:
  QVBatchFieldRule rule_;
};

struct QVBatchPresetUISamples {
  using TextAction = std::function<void(QVTextField*)>;

  static QVPopUpButton* createPopupButton(QVPopUpButton::Action action);
  // A check box with the title, whose clicks pass only while interaction is enabled.
  static QVDisabledButton* createCheckboxWithTitle(const std::string& title, QVDisabledButton::Action action,
                                                   bool interactionEnabled);
  // An editable field: a 2-point border of the control fill, text inset 5 on both sides, centred
  // vertically, scrolling within one line. `edited` runs on every change the user types (never
  // for text set from code).
  static QVTextField* createEditableField(TextAction edited, QVBatchFieldRule rule = QVBatchFieldRule::Text);
  static QVTextField* createNonEditableField();
  static QVLabel* createTitleLabelWithTitle(const std::string& title, const QColor& textColor);
  // The segmented control of the naming section in the batch style.
  static QVSegmentedControl* createSegmentedControl(QVSegmentedControl::Action action);
  // The small quality slider, 0 to 100 in whole steps: the title at the left, the value at the
  // right, "slider_knob_small" in white over "bg_bar_grey_small" and "fill_bar_orange_small".
  // `moved` is told each new whole value while the user drags (never for values set from code).
  static QVSliderView* createQualitySlider(const std::string& title, std::function<void(double value)> moved);
  // Shows a value (rounded) on the slider and its value label, silently.
  static void setQualitySliderValue(QVSliderView* slider, double value);
};

// Localised text, and the same in upper case.
std::string QVBatchLocalized(const std::string& key);
std::string QVBatchLocalizedUpper(const std::string& key);
