#include "Ombrel/Classes/Application/Panels/QVImageCell.h"

#include <QPointer>

#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVImageView.h"

QVImageView* QVImageCell::createImageCell(const std::string& path) {
  auto* cell = QVMake<QVImageView>(CGRectMake(0, 0, kSide, kSide));
  cell->setContentMode(1);  // aspect fit
  QPointer<QVImageView> weak(cell);
  QVAppLink::loadThumbnailAtPath(path, [weak](NSImageRef image) {
    QVDispatchOnMainThread([weak, image] {
      if (weak) weak->setImage(image);
    });
  });
  return cell;
}
