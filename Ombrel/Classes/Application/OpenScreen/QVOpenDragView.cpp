#include "Ombrel/Classes/Application/OpenScreen/QVOpenDragView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/FileAdditions.h"

QVOpenDragView::~QVOpenDragView() {
  if (promisesFetcher_) promisesFetcher_->stop();
}

void QVOpenDragView::initialize() {
  QVBasicView::initialize();
  // The screens sit inside the drag view: drags over them, which they do not take, come here.
  setAcceptDrops(true);
  promisesFetcher_ = QVFilePromisesFetcher::make();
}

QVDragOperation QVOpenDragView::currentDraggingOperation() const {
  return URLs_.empty() ? QVDragOperation::None : QVDragOperation::Copy;
}

std::vector<std::string> QVOpenDragView::pathsFromMimeData(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(QVPathFromFileURL(url));
  }
  return paths;
}

QVDragOperation QVOpenDragView::draggingEntered(const QMimeData* data) {
  if (!draggingEnabled_) return QVDragOperation::None;
  completeURLFetchingAndNotify(qv::validURLs(pathsFromMimeData(data)));
  return currentDraggingOperation();
}

void QVOpenDragView::completeURLFetchingAndNotify(const std::vector<std::string>& urls) {
  URLs_ = urls;
  if (!URLs_.empty() && delegate_) delegate_->openDragViewDidEnter(this);
}

QVDragOperation QVOpenDragView::draggingUpdated(CGPoint location) {
  if (!draggingEnabled_) return QVDragOperation::None;
  if (delegate_ && !URLs_.empty()) delegate_->openDragViewDidMoveWhileDragging(this, location);
  return currentDraggingOperation();
}

void QVOpenDragView::draggingExited() {
  if (delegate_ && !URLs_.empty()) delegate_->openDragViewDidExit(this);
}

void QVOpenDragView::draggingEnded() { URLs_.clear(); }

bool QVOpenDragView::performDragOperation() {
  if (delegate_ && !URLs_.empty()) delegate_->openDragViewDidDrop(this);
  return true;
}

void QVOpenDragView::dragEnterEvent(QDragEnterEvent* event) {
  if (draggingEntered(event->mimeData()) == QVDragOperation::Copy) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void QVOpenDragView::dragMoveEvent(QDragMoveEvent* event) {
  if (draggingUpdated(pointFromQtPoint(event->position())) == QVDragOperation::Copy) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void QVOpenDragView::dragLeaveEvent(QDragLeaveEvent* event) {
  draggingExited();
  draggingEnded();
  event->accept();
}

void QVOpenDragView::dropEvent(QDropEvent* event) {
  const bool copy = currentDraggingOperation() == QVDragOperation::Copy && draggingEnabled_;
  if (copy) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    performDragOperation();
  } else {
    event->ignore();
  }
  draggingEnded();
}
