#pragma once
// What the save panel or the hand-off asks of one written image: bits per channel, the file-type
// identifier, and image-destination properties laid over the file's metadata.
#include <cstdint>
#include <memory>
#include <string>

#include "QVPlatform/Value.h"

class QVImageExportOptions;
using QVImageExportOptionsPtr = std::shared_ptr<QVImageExportOptions>;

class QVImageExportOptions {
 public:
  // A record with exactly these values.
  static QVImageExportOptionsPtr imageExportOptionsWithDepth(uint64_t depth, std::string type, qv::Value params);
  // 8 bits, "public.jpeg", the default parameters.
  static QVImageExportOptionsPtr defaultOptions();
  static QVImageExportOptionsPtr defaultOptionsWithType(const std::string& type);
  // The default parameters: { "Depth": depth (a real number), lossy compression quality 0.85,
  // "{TIFF}": { "Compression": 5 (LZW) } }, and `depth` the depth truncated to an integer.
  static QVImageExportOptionsPtr defaultOptionsWithDepth(double depth, const std::string& type);

  uint64_t depth() const { return depth_; }
  void setDepth(uint64_t depth) { depth_ = depth; }
  const std::string& type() const { return type_; }
  void setType(std::string type) { type_ = std::move(type); }
  const qv::Value& paramsDic() const { return paramsDic_; }
  void setParamsDic(qv::Value params) { paramsDic_ = std::move(params); }
  // The colour space the picture is rendered in (1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB); 0 leaves
  // the render's own.
  int64_t colorSpace() const { return colorSpace_; }
  void setColorSpace(int64_t colorSpace) { colorSpace_ = colorSpace; }

  // "<QVImageExportOptions: 0x…> depth: 8, type: public.jpeg, params: {…}".
  std::string description() const;

 private:
  uint64_t depth_ = 0;
  std::string type_;
  qv::Value paramsDic_;
  int64_t colorSpace_ = 0;
};
