#include "Ombrel/Classes/Application/Panels/QVImageCell.h"

#include <QPointer>

#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVImageView.h"

namespace {
QVImageView* makeCell() {
  auto* cell = QVMake<QVImageView>(CGRectMake(0, 0, QVImageCell::kSide, QVImageCell::kSide));
  cell->setContentMode(1);  // aspect fit
  return cell;
}
}  // namespace

QVImageView* QVImageCell::createImageCell(const std::string& path) {
  QVImageView* cell = makeCell();
  QPointer<QVImageView> weak(cell);
  QVAppLink::loadThumbnailAtPath(path, [weak](NSImageRef image) {
    QVDispatchOnMainThread([weak, image] {
      if (weak) weak->setImage(image);
    });
  });
  return cell;
}

QVImageView* QVImageCell::createImageCell(const std::string& path, NSImageRef shown) {
  if (!shown) return createImageCell(path);
  QVImageView* cell = makeCell();
  cell->setImage(std::move(shown));
  return cell;
}
