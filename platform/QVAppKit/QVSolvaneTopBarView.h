#pragma once
// The application's own title bar for its frameless windows: the three window buttons, a title
// button that opens the title-bar menu below itself (with a small arrow beside it), and an
// import-more button of one of two kinds. A double click on the bar zooms the window and a drag
// on it moves the window (`QVWindowMoving`).
//
// Without interface files, the bar builds its parts in code (`addSubviews`) and places them in
// `layout`: window buttons at the leading edge, the import-more container after them, the title
// centred. Menus pop up as real Qt menus, centred under the title.
//
// Main thread only.
#include <QMenu>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "QVAppKit/QVAbstractButton.h"
#include "QVAppKit/QVView.h"
#include "QVAppKit/QVWindowButton.h"

class QVSolvaneTopBarView;

inline constexpr const char* QVTopBarImportButtonKey = "QVTopBarImportButtonKey";
inline constexpr const char* QVTopBarTitleButtonKey = "QVTopBarTitleButtonKey";
inline constexpr const char* QVTopBarWindowButtonsKey = "QVTopBarWindowButtonsKey";

class QVSolvaneTopBarViewDelegate {
 public:
  virtual ~QVSolvaneTopBarViewDelegate() = default;
  virtual void didClickImportMoreButton(QVSolvaneTopBarView* topBar) {}
};

// A view that draws one chrome image scaled into its bounds (the arrow beside the title).
class QVChromeImageView : public QVView {
 public:
  using QVView::QVView;
  QVChromeImage image() const { return image_; }
  void setImage(QVChromeImage image);

 protected:
  void drawContent(QPainter& painter) override;

 private:
  QVChromeImage image_;
};

class QVSolvaneTopBarView : public QVView {
 public:
  static constexpr double kHeight = 38;

  // A new top bar with the menu its title opens (none for `topBar()`).
  static QVSolvaneTopBarView* topBarWithMenu(std::shared_ptr<QMenu> menu);
  static QVSolvaneTopBarView* topBar() { return topBarWithMenu(nullptr); }

  using QVView::QVView;
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  // Parts.
  QVWindowButton* closeButton() const { return closeButton_; }
  QVWindowButton* minimizeButton() const { return minimizeButton_; }
  QVWindowButton* resizeButton() const { return resizeButton_; }
  QVTitleBarButton* solvaneButton() const { return solvaneButton_; }
  QVChromeImageView* arrowImage() const { return arrowImage_; }
  QVView* titleBarButtons() const { return titleBarButtons_; }
  QVView* importMoreButtonContainer() const { return importMoreButtonContainer_; }
  double titleWidthConstant() const { return titleWidthC_; }
  double arrowTrailingConstant() const { return arrowTrailingC_; }

  std::weak_ptr<QVSolvaneTopBarViewDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<QVSolvaneTopBarViewDelegate> delegate) { delegate_ = std::move(delegate); }

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  void setShowTitle(bool show);
  bool showArrowNearTitle() const { return showArrowNearTitle_; }
  void setShowArrowNearTitle(bool show);
  void setShowCloseButton(bool show);
  void setShowMinimizeButton(bool show);
  void setShowResizeButton(bool show);
  // Accepted without effect: whether the import-more button shows is decided by the layout.
  void setShowImportMoreButton(bool) {}
  void setEnableImportMoreButton(bool enable);
  // 0 none, 1 title-bar text button, 2 rounded spring button.
  uint64_t importButtonType() const { return importButtonType_; }
  void setImportButtonType(uint64_t type);
  QVView* importMoreButton() const { return importMoreButton_; }
  std::shared_ptr<QMenu> topBarMenu() const { return topBarMenu_; }
  void setTopBarMenu(std::shared_ptr<QMenu> menu) { topBarMenu_ = std::move(menu); }

  std::map<std::string, QWidget*> animatableViews() const;

  // Where the menu pops up, in the sender's coordinates (bottom-left): centred under it, 10 points
  // below its bottom edge; the x is the menu's left edge in left-to-right layouts and its right
  // edge in right-to-left ones.
  CGPoint menuLocationForSender(QWidget* sender) const;
  void showMenu(QWidget* sender);
  void onImportMore();
  // A left double click without Control zooms the window; answers whether it did.
  bool handleDoubleClick(Qt::KeyboardModifiers modifiers);

  // Whether the application runs as a plug-in of another program (the import button hides then).
  static void setPluginModeQuery(std::function<bool()> query);
  // Tests observe the menu instead of opening it: called with the menu and the global position.
  static void setMenuPresenter(std::function<void(QMenu*, QPoint)> presenter);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QVWindowButton* makeWindowButton(const std::string& prefix, QVWindowButton::Action action);

  QVWindowButton* closeButton_ = nullptr;
  QVWindowButton* minimizeButton_ = nullptr;
  QVWindowButton* resizeButton_ = nullptr;
  QVTitleBarButton* solvaneButton_ = nullptr;
  QVChromeImageView* arrowImage_ = nullptr;
  QVView* titleBarButtons_ = nullptr;
  QVView* importMoreButtonContainer_ = nullptr;
  double titleWidthC_ = 0;
  double arrowTrailingC_ = 0;

  std::weak_ptr<QVSolvaneTopBarViewDelegate> delegate_;
  std::string title_;
  bool titleSet_ = false;
  bool showArrowNearTitle_ = false;
  uint64_t importButtonType_ = 0;
  QPointer<QVView> importMoreButton_;
  std::shared_ptr<QMenu> topBarMenu_;
};
