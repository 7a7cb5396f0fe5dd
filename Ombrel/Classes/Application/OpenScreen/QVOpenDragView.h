#pragma once
// The drop target that covers the main window. File managers drag files as "text/uri-list"; the
// usable ones are the local files of the types the application opens, folders one level deep
// (the core's valid-URL rule). A drag with at least one answers copy and tells the delegate once
// that it entered; moves, the exit and the drop follow. While dragging is disabled (an export
// runs) every drag answers none.
//
// Linux has no file promises: the promises fetcher is kept for the drag interface and finds none.
//
// Main thread only.
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Helpers/QVFilePromisesFetcher.h"
#include "QVAppKit/QVBasicView.h"

class QVOpenDragView;
class QMimeData;

class QVOpenDragViewDelegate {
 public:
  virtual ~QVOpenDragViewDelegate() = default;
  virtual void openDragViewDidEnter(QVOpenDragView* view) {}
  // The location in the drag view's coordinates.
  virtual void openDragViewDidMoveWhileDragging(QVOpenDragView* view, CGPoint location) {}
  virtual void openDragViewDidExit(QVOpenDragView* view) {}
  virtual void openDragViewDidDrop(QVOpenDragView* view) {}
};

enum class QVDragOperation { None, Copy };

class QVOpenDragView : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  ~QVOpenDragView() override;
  void initialize() override;

  bool draggingEnabled() const { return draggingEnabled_; }
  void setDraggingEnabled(bool enabled) { draggingEnabled_ = enabled; }
  // Not owned: the delegate outlives the view or clears itself.
  QVOpenDragViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVOpenDragViewDelegate* delegate) { delegate_ = delegate; }
  // The usable files of the drag under way, as paths; empty when none.
  const std::vector<std::string>& URLs() const { return URLs_; }
  const std::shared_ptr<QVFilePromisesFetcher>& promisesFetcher() const { return promisesFetcher_; }

  QVDragOperation currentDraggingOperation() const;
  // The drag's steps; each answers the operation (tests call them with made-up pasteboards).
  QVDragOperation draggingEntered(const QMimeData* data);
  QVDragOperation draggingUpdated(CGPoint locationInView);
  void draggingExited();
  void draggingEnded();
  bool performDragOperation();
  void completeURLFetchingAndNotify(const std::vector<std::string>& urls);

  // The local paths a pasteboard offers, as dropped.
  static std::vector<std::string> pathsFromMimeData(const QMimeData* data);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool draggingEnabled_ = true;
  QVOpenDragViewDelegate* delegate_ = nullptr;
  std::vector<std::string> URLs_;
  std::shared_ptr<QVFilePromisesFetcher> promisesFetcher_;
};
