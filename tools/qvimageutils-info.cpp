// Prints what the core framework's image utilities know of image files:
//   qvimageutils-info [--thumbnail <size>] <file>...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QVCore/Categories/NSDictionary+Metadata.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/PropertyList.h"

namespace md = NSDictionaryMetadata;

namespace {

std::string text(const qv::Value& v) { return v.isNull() ? "-" : v.isString() ? *v.string() : v.description(); }

void describe(const std::string& path, double thumbnailSize) {
  std::printf("%s\n", path.c_str());
  std::printf("  can open:        %s\n", QVImageUtils::canOpenImageAtURL(path) ? "yes" : "no");
  std::printf("  type:            %s\n", QVImageUtils::imageTypeAtPath(path).c_str());
  std::printf("  RAW / DNG:       %s / %s\n", QVImageUtils::isRawImage(path) ? "yes" : "no",
              QVImageUtils::isDngImage(path) ? "yes" : "no");
  CGSize size = QVImageUtils::sizeForImageWithPath(path);
  CGSize native = QVImageUtils::getImageSizeNatively(path);
  std::printf("  size:            %.0f x %.0f (image I/O: %.0f x %.0f)\n", size.width, size.height, native.width,
              native.height);
  std::printf("  colour depth:    %lld\n", static_cast<long long>(QVImageUtils::colorDepthAtPath(path)));

  qv::Value properties = QVImageUtils::imagePropertiesAtPath(path);
  if (properties.isDictionary()) {
    auto date = md::datestamp(properties);
    std::printf("  taken:           %s\n",
                date ? std::to_string(static_cast<long long>(date->unixTime())).append(" (Unix time)").c_str() : "-");
    std::printf("  camera:          %s %s\n", text(md::tiffData(properties)["Make"]).c_str(),
                text(md::tiffData(properties)["Model"]).c_str());
    std::printf("  ISO, f, exposure: %s, %s, %s\n", text(md::iso(properties)).c_str(),
                text(md::fNumber(properties)).c_str(), text(md::exposureTime(properties)).c_str());
    auto json = qv::PropertyList::toJSON(properties, true);
    std::printf("  properties:\n%s\n", json ? json->c_str() : "-");
  } else {
    std::printf("  properties:      -\n");
  }
  if (thumbnailSize > 0) {
    CGImageRef thumbnail = QVImageUtils::thumbnailJPEGFromImageAtPath(path, thumbnailSize);
    if (thumbnail)
      std::printf("  thumbnail:       %zu x %zu\n", thumbnail->width, thumbnail->height);
    else
      std::printf("  thumbnail:       -\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  double thumbnailSize = 0;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--thumbnail") == 0) {
    thumbnailSize = std::atof(argv[2]);
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [--thumbnail <size>] <file>...\n", argv[0]);
    return 2;
  }
  for (int i = first; i < argc; ++i) describe(argv[i], thumbnailSize);
  return 0;
}
