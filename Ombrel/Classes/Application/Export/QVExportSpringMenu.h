#pragma once
// The export menu: the white rounded button of the export row that springs open into the list of
// export targets and closes again. Collapsed it reads its collapsed title ("EXPORT" or "EXPORT 3
// PHOTOS", set by the row) 26 points from each side, 44 high. A click springs it open to 250 x (44
// per target + 44): the list rolls in from the trailing side above the title line, and the title
// becomes its expanded title (the localised "CANCEL") in grey, in line with the row titles. A
// click on a row closes the menu and, once the closing spring has finished, reports the row's
// export type; a click on the title closes it and reports kQVExportTypeNone (4294967295).
//
// While the menu collapses its window cannot be resized (the size spring runs against the
// window's edge); the window becomes resizable again when the collapse ends or is cut short (the
// menu removed or destroyed mid-way).
//
// Main thread only.
#include <QPointF>
#include <QPointer>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Export/QVExportMenuContentView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringMenu.h"

class QVExportSpringMenu;

// The spring menu's own calls (QVSpringMenuDelegate) go to the same delegate.
class QVExportSpringMenuDelegate : public QVSpringMenuDelegate {
 public:
  virtual void exportSpringMenuDidClickItemWithType(QVExportSpringMenu*, uint64_t type) {}
};

class QVExportSpringMenu : public QVSpringMenu, public QVExportMenuContentViewDelegate {
 public:
  static constexpr double kCollapsedHeight = 44;
  static constexpr double kTitleOffset = 26;
  static constexpr double kContentOffset = 10;
  static constexpr double menuTextOffset() { return QVExportMenuContentView::titleTextOffset(); }

  using QVSpringMenu::QVSpringMenu;
  ~QVExportSpringMenu() override;
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  QVExportSpringMenuDelegate* exportDelegate() const { return exportDelegate_; }
  // Also the spring menu's delegate.
  void setExportDelegate(QVExportSpringMenuDelegate* delegate);

  const std::vector<QVExportMenuItemPtr>& items() const { return menuContentView()->items(); }
  void setItems(std::vector<QVExportMenuItemPtr> items);
  std::string collapsedTitle() const { return collapsedLabel_->title().value_or(""); }
  void setCollapsedTitle(const std::string& title);
  std::string expandedTitle() const { return expandedLabel_->title().value_or(""); }
  void setExpandedTitle(const std::string& title);
  QVLabel* collapsedLabel() const { return collapsedLabel_; }
  QVLabel* expandedLabel() const { return expandedLabel_; }
  QVExportMenuContentView* menuContentView() const { return list_; }
  // The list's place when collapsed (kept when it starts rolling in).
  CGPoint contentInitialPosition() const { return contentInitialPosition_; }
  // Whether this menu holds its window's size fixed now.
  bool holdsWindowSize() const { return heldWindow_ != nullptr; }

  CGSize contentSizeForState(bool expanded) override;
  void onWillBeginExpanding() override;
  void onWillBeginCollapsing() override;
  void onDidFinishExpanding() override;
  void onDidFinishCollapsing() override;
  void onDidAnimateToFrame(CGRect frame) override;
  void actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params) override;
  void onClickReleased() override { switchAndHandleMenu(kQVExportTypeNone); }
  void viewDidMoveToSuperview() override;

  // Pointer tracking (points in the menu's window, Qt's window space).
  void mouseMoved(QPointF windowPoint);
  void mouseExited(QPointF windowPoint) override;

  // Closes (or opens) the menu; once closed the delegate gets the type. A switch the base refuses
  // (a spring running) reports nothing.
  void switchAndHandleMenu(uint64_t type);

  void exportMenuContentViewDidSelectExportMenuItem(QVExportMenuContentView*, const QVExportMenuItemPtr& item) override;

 protected:
  bool event(QEvent* event) override;

 private:
  void switchControlsVisibility(bool expanded);
  // The list's frame at rest (rolled out to the trailing side, or in place).
  CGRect restingListFrame(bool expanded) const;
  void placeContent(CGSize size);
  void releaseWindowSize();

  QVLabel* collapsedLabel_ = nullptr;
  QVLabel* expandedLabel_ = nullptr;
  QVExportMenuContentView* list_ = nullptr;
  QVExportSpringMenuDelegate* exportDelegate_ = nullptr;
  CGPoint contentInitialPosition_ = CGPointZero;
  QPointer<QWidget> heldWindow_;
};
