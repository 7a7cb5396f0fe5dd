#pragma once
// The text field of the screens: an editable (or read-only) line with a border and corner radius
// of its own, a placeholder that is localised and can have its own colour and font, text insets
// and optional vertical centring (kept by its cell), and the notice
// "QVTextFieldDidBecomeFirstResponderNotification" when it takes the keyboard focus.
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QTextEdit>
#include <optional>
#include <string>

#include "QVBase/Geometry.h"

inline constexpr const char* QVTextFieldDidBecomeFirstResponderNotification =
    "QVTextFieldDidBecomeFirstResponderNotification";

struct QVEdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
  bool operator==(const QVEdgeInsets&) const = default;
};

// The cell: insets and vertical centring of the text. Rectangles are in the field's own space,
// which runs from the top down (as a text field's is).
class QVTextFieldCell {
 public:
  QVEdgeInsets textInsets() const { return textInsets_; }
  void setTextInsets(QVEdgeInsets insets) { textInsets_ = insets; }
  bool verticallyCenteredText() const { return verticallyCenteredText_; }
  void setVerticallyCenteredText(bool centred) { verticallyCenteredText_ = centred; }
  // The frame inset by the insets and, when centring, moved to centre a line of the font's height.
  CGRect adjustedFrameToVerticallyCenterText(CGRect frame, const std::optional<QFont>& font) const;

 private:
  QVEdgeInsets textInsets_;
  bool verticallyCenteredText_ = false;
};

class QVTextField : public QLineEdit {
 public:
  explicit QVTextField(QWidget* parent = nullptr);
  // Second phase (the factory calls it): no focus ring, our own frame.
  void initialize();

  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  bool masksToBounds() const { return masksToBounds_; }
  QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& color);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width);
  QColor backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const QColor& color);
  QColor textColor() const;
  void setTextColor(const QColor& color);

  // The placeholder: its text is a localisation key, looked up when set.
  const std::string& placeholderString() const { return placeholder_; }
  void setPlaceholderString(const std::string& key);
  QColor placeholderColor() const { return placeholderColor_; }
  void setPlaceholderColor(const QColor& color);
  std::optional<QFont> placeholderFont() const { return placeholderFont_; }
  void setPlaceholderFont(const QFont& font);

  QVTextFieldCell* cell() { return &cell_; }
  QVEdgeInsets textInsets() const { return cell_.textInsets(); }
  void setTextInsets(QVEdgeInsets insets);
  bool verticallyCenteredText() const { return cell_.verticallyCenteredText(); }
  void setVerticallyCenteredText(bool centred);

  // How often the border was set up again (for tests of unchanged setters).
  int borderUpdates() const { return borderUpdates_; }

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void applyInsets();

  double cornerRadius_ = 0;
  bool masksToBounds_ = false;
  QColor borderColor_;
  double borderWidth_ = 0;
  QColor backgroundColor_;
  std::string placeholder_;
  QColor placeholderColor_;
  std::optional<QFont> placeholderFont_;
  QVTextFieldCell cell_;
  int borderUpdates_ = 0;
};

// The multi-line text view: the system's own behaviour.
class QVTextView : public QTextEdit {
 public:
  using QTextEdit::QTextEdit;
};
