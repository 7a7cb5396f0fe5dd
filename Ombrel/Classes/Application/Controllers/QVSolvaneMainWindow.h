#pragma once
// The main window's frame: a frameless top-level view with the top bar along its top edge, a
// hairline under it and the current screen filling the rest. Until the screens exist the content
// is `QVEmptyScreenView`, which invites the user to drop photos and shows how many are open.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVView.h"

class QVEmptyScreenView : public QVView {
 public:
  using QVView::QVView;
  void initialize() override;
  void setPathCount(size_t count);
  size_t pathCount() const { return pathCount_; }
  // How many of them have their enhanced preview.
  void setEnhancedCount(size_t count);
  size_t enhancedCount() const { return enhancedCount_; }
  // The drop zone's frame in the view (bottom-left coordinates).
  CGRect dropZoneFrame() const;

 protected:
  void drawContent(QPainter& painter) override;

 private:
  size_t pathCount_ = 0;
  size_t enhancedCount_ = 0;
};

class QVSolvaneMainWindow : public QVView {
 public:
  using QVView::QVView;
  void initialize() override;
  void layout() override;

  void setTopBar(QVSolvaneTopBarView* topBar);
  QVSolvaneTopBarView* topBar() const { return topBar_; }
  QVEmptyScreenView* contentView() const { return content_; }

  // Asked before the window closes (false keeps it open); told when it will close.
  std::function<bool()> shouldClose;
  std::function<void()> willClose;
  // Files dropped on the window, as paths.
  std::function<void(const std::vector<std::string>&)> didDropFiles;
  // The window was shown.
  std::function<void()> didShow;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QPointer<QVSolvaneTopBarView> topBar_;
  QVView* hairline_ = nullptr;
  QVEmptyScreenView* content_ = nullptr;
};
