#include "QVCore/ImageProcessing/Processor/QVIPProcessParams.h"

std::shared_ptr<QVIPProcessParams> QVIPProcessParams::defaultParams() {
  auto params = make();
  params->setDepth(16);
  params->setIsAsync(true);
  return params;
}
