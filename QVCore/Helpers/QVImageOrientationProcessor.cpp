#include "QVCore/Helpers/QVImageOrientationProcessor.h"

#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"

CGImageRef QVImageOrientationProcessor::createImageByApplyingOrientation(uint64_t orientation,
                                                                         const CGImageRef& image) {
  auto wrapped = QVIPImage::initWithCGImage(image);
  auto turned = wrapped ? wrapped->imageByApplyingOrientation(orientation) : nullptr;
  return turned ? turned->CGImage() : nullptr;
}
