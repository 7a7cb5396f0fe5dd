#pragma once
// A layered-document processor whose catalogue keeps effect identifiers as they are for RAW
// pictures (the develop layer already develops them) and whose loaded picture layer has no name.
#include <memory>

#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"

class QVZel18Processor : public QVProject18Processor {
 public:
  static std::shared_ptr<QVZel18Processor> init() { return create<QVZel18Processor>(); }
  QVZel18Processor();

  static QVProcessorClassSwitches& classSwitches();

  std::string initialLayerDefaultName() const override { return {}; }
  Ptr allocSameClass() const override { return create<QVZel18Processor>(); }
};
