#pragma once
// The processor of older documents: the base processor with the reader on the old open method
// with RAW development, and the catalogue replacing effect identifiers by their RAW forms for RAW
// pictures. The switches are set when the class is first used.
#include <memory>
#include <string>

#include "QVCore/ImageProcessing/Processor/QVProcessorClassSwitches.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"

class QVZel17Processor : public QVRovaProcessor {
 public:
  static std::shared_ptr<QVZel17Processor> init() { return create<QVZel17Processor>(); }
  // `init`, then the picture read at once into the initial layer (empty when it cannot be read).
  static std::shared_ptr<QVZel17Processor> initWithURL(const std::string& path);
  QVZel17Processor();

  static QVProcessorClassSwitches& classSwitches();

  Ptr allocSameClass() const override { return create<QVZel17Processor>(); }
};
