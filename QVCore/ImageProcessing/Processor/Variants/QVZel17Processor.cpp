#include "QVCore/ImageProcessing/Processor/Variants/QVZel17Processor.h"

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"

QVProcessorClassSwitches& QVZel17Processor::classSwitches() {
  static QVProcessorClassSwitches switches([] {
    QVImageReader::useNewOpenMethod(false);
    QVImageReader::setApplyRawDevelop(true);
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(true);
  });
  return switches;
}

QVZel17Processor::QVZel17Processor() { classSwitches().applyOnce(); }

std::shared_ptr<QVZel17Processor> QVZel17Processor::initWithURL(const std::string& path) {
  auto p = init();
  if (auto layer = p->loadImageFromURL(path)) p->setInitialLayer(layer);
  return p;
}
