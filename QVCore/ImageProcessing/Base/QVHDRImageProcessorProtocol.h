#pragma once
// What marks a processor that merges an HDR bracket: the layer model and saved layer states ask
// whether a layer's processor is one (a cross-cast from QVImageProcessorProtocol).
class QVHDRImageProcessorProtocol {
 public:
  virtual ~QVHDRImageProcessorProtocol() = default;
};
