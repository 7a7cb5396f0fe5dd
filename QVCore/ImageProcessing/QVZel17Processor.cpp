#include "QVCore/ImageProcessing/QVZel17Processor.h"

#include "QVCore/ImageProcessing/QVEffectsProvider/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/QVImageReader.h"

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
