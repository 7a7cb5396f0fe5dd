#include "QVCore/ImageProcessing/Processor/Variants/QVZel18Processor.h"

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"

QVProcessorClassSwitches& QVZel18Processor::classSwitches() {
  static QVProcessorClassSwitches switches([] { QVIPEffectsProvider::setReplaceEffectIDIntoRawID(false); });
  return switches;
}

// The superclass's constructor has set its own switches first.
QVZel18Processor::QVZel18Processor() { classSwitches().applyOnce(); }
