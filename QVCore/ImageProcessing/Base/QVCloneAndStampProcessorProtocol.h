#pragma once
// The clone-and-stamp processor: retouching strokes over a clamped copy of a layer's image data
// and mask, with its own edit history. The processor makes one through
// QVCloneAndStampProcessorFactory; the retouching subsystem registers the implementation.
#include <memory>

#include "QVCore/ImageProcessing/Base/QVModelObject.h"
#include "QVCore/ImageProcessing/Base/QVServiceFactory.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "rova/ImageData.h"
#include "rova/MaskImage.h"

class QVCloneAndStampProcessorProtocol : public QVModelObject {
 public:
  // Its own edit history (it is that history's delegate).
  virtual std::shared_ptr<QVHistoryManagerProtocol> historyManager() = 0;
  // The retouched image data.
  virtual rova::ImageDataRGBfPtr imageData() const = 0;
};

// Made with the engine RGB float image data and the engine mask (or nullptr).
using QVCloneAndStampProcessorFactory =
    QVServiceFactory<QVCloneAndStampProcessorProtocol, rova::ImageDataRGBfPtr, rova::MaskImagePtr>;
