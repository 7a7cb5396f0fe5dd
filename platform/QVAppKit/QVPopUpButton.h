#pragma once
// A pop-up button drawn by the application: a filled rounded shape with its selected title
// centred (or aligned left or right), a pictogram (the "ears" that say it opens) beside the title,
// and the list of items the user chooses from. Items carry tags (numbers) beside their titles.
//
// Only a choice by the user sends the action, also when the item chosen is the one already
// selected; selecting from code (`selectItemAtIndex`, `selectItemWithTag`, `setTitles`) never does,
// so a screen can redisplay a model without reporting an edit.
//
// Main thread only.
#include <QColor>
#include <QComboBox>
#include <QFont>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QVPopUpButton : public QComboBox {
 public:
  using Action = std::function<void(QVPopUpButton*)>;
  // Where the pictogram sits: left of the title, right of it, or at the right edge.
  enum PictogramPosition : int { PictogramLeft = 1, PictogramRight = 2, PictogramTrailingEdge = 3 };

  explicit QVPopUpButton(QWidget* parent = nullptr);

  void setAction(Action action) { action_ = std::move(action); }

  // Items: replacing them selects the first (no action).
  void setTitles(const std::vector<std::string>& titles);
  std::vector<std::string> titles() const;
  void setTagOfItemAtIndex(int index, int64_t tag);
  std::optional<int64_t> tagOfItemAtIndex(int index) const;
  // -1 selects nothing. Out-of-range indices select nothing too.
  void selectItemAtIndex(int index);
  // Selects the first item with the tag; nothing is selected (false) when none has it.
  bool selectItemWithTag(int64_t tag);
  int indexOfSelectedItem() const { return currentIndex(); }
  std::optional<std::string> titleOfSelectedItem() const;
  std::optional<int64_t> selectedTag() const;
  // Lets a test or a script choose an item as the user would: selects it and sends the action.
  void chooseItemAtIndex(int index);

  // Looks.
  QColor backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const QColor& color);
  QColor fontColor() const { return fontColor_; }
  void setFontColor(const QColor& color);
  Qt::Alignment titleAlignment() const { return alignment_; }
  void setTitleAlignment(Qt::Alignment alignment);
  double cornerRadius() const { return cornerRadius_; }
  // A negative radius rounds to half the height.
  void setCornerRadius(double radius);
  const std::string& pictogramName() const { return pictogramName_; }
  // Artwork by name (QVArtwork), drawn in the font colour.
  void setPictogram(const std::string& name);
  bool hasPictogram() const { return hasPictogram_; }
  int pictogramPosition() const { return pictogramPosition_; }
  void setPictogramPosition(int position);
  QPointF pictogramOffset() const { return pictogramOffset_; }
  void setPictogramOffset(QPointF offset);
  // Width added to the title's for the size hint (room for the pictogram and the margins).
  double additionalSpace() const { return additionalSpace_; }
  void setAdditionalSpace(double space);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Action action_;
  QColor backgroundColor_ = QColor(59, 59, 59);
  QColor fontColor_ = Qt::white;
  Qt::Alignment alignment_ = Qt::AlignHCenter;
  double cornerRadius_ = -1;
  std::string pictogramName_;
  bool hasPictogram_ = false;
  int pictogramPosition_ = PictogramTrailingEdge;
  QPointF pictogramOffset_;
  double additionalSpace_ = 25;
};
