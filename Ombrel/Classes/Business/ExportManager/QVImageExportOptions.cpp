#include "Ombrel/Classes/Business/ExportManager/QVImageExportOptions.h"

#include <cmath>
#include <cstdio>

#include "QVPlatform/ImageIO/ImageIO.h"

QVImageExportOptionsPtr QVImageExportOptions::imageExportOptionsWithDepth(uint64_t depth, std::string type,
                                                                          qv::Value params) {
  auto options = std::make_shared<QVImageExportOptions>();
  options->depth_ = depth;
  options->type_ = std::move(type);
  options->paramsDic_ = std::move(params);
  return options;
}

QVImageExportOptionsPtr QVImageExportOptions::defaultOptions() { return defaultOptionsWithDepth(8, kUTTypeJPEG); }

QVImageExportOptionsPtr QVImageExportOptions::defaultOptionsWithType(const std::string& type) {
  return defaultOptionsWithDepth(8, type);
}

QVImageExportOptionsPtr QVImageExportOptions::defaultOptionsWithDepth(double depth, const std::string& type) {
  qv::Value params = qv::Dictionary{
      {kCGImagePropertyDepth, qv::Value(depth)},
      {kCGImageDestinationLossyCompressionQuality, qv::Value(0.85)},
      {kCGImagePropertyTIFFDictionary, qv::Dictionary{{kCGImagePropertyTIFFCompression, qv::Value(int64_t(5))}}}};
  // A depth that is no number of bits (negative, not finite) is kept as 0 rather than wrapped.
  const uint64_t bits = std::isfinite(depth) && depth > 0 ? uint64_t(depth) : 0;
  return imageExportOptionsWithDepth(bits, type, std::move(params));
}

std::string QVImageExportOptions::description() const {
  char head[96];
  std::snprintf(head, sizeof head, "<QVImageExportOptions: %p> depth: %llu, type: ", static_cast<const void*>(this),
                static_cast<unsigned long long>(depth_));
  return head + type_ + ", params: " + paramsDic_.description();
}
