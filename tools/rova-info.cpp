// Prints what the engine's reader knows of an image file and, when asked, writes a preview PNG.
//   rova-info FILE [--preview OUT.png] [--size PIXELS]
// Exit status: 0 read, 1 unreadable, 2 wrong arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"
#include "rova/codecs/SafeFile.h"
#include "rova/reader/ImageReader.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: rova-info FILE [--preview OUT.png] [--size PIXELS]\n");
  return 2;
}

void printNumber(const char* label, float v, const char* unit = "") {
  if (v > 0 || (std::strcmp(label, "exposure bias") == 0 && v != 0))
    std::printf("%-16s %g%s\n", label, double(v), unit);
  else
    std::printf("%-16s -\n", label);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string path = argv[1], previewPath;
  int previewSize = 1024;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--preview") && i + 1 < argc)
      previewPath = argv[++i];
    else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
      previewSize = std::atoi(argv[++i]);
    else
      return usage();
  }
  if (!previewPath.empty()) {
    // The preview is a PNG: another name would hold bytes of the wrong format. Checked before the decode.
    std::string error;
    if (rova::codecs::lowerExtension(previewPath) != "png") {
      std::fprintf(stderr, "rova-info: cannot write %s: the preview is a PNG (name it .png)\n", previewPath.c_str());
      return 1;
    }
    if (!rova::codecs::checkWritable(previewPath, &error)) {
      std::fprintf(stderr, "rova-info: %s\n", error.c_str());
      return 1;
    }
  }
  auto& reader = rova::ImageReader::instance();
  auto meta = reader.readMetadata(path);
  if (!meta) {
    std::string error;
    reader.read(path, {1, 1}, rova::kReadDefaultFlags, nullptr, &error);
    std::fprintf(stderr, "rova-info: cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const rova::Size shown = reader.getImageSize(path);
  const auto& e = meta->exif;
  std::printf("%-16s %s\n", "file", path.c_str());
  std::printf("%-16s %s\n", "type", meta->formatType.c_str());
  std::printf("%-16s %d x %d\n", "stored size", meta->pixelSize.width, meta->pixelSize.height);
  std::printf("%-16s %d x %d\n", "shown size", shown.width, shown.height);
  std::printf("%-16s %d%s\n", "depth", reader.getColorDepth(path), meta->isFloat ? " (float)" : "");
  std::printf("%-16s %d%s\n", "channels", meta->samplesPerPixel, meta->hasAlpha ? " (alpha)" : "");
  std::printf("%-16s %s\n", "raw", reader.isRawImageFile(path) ? "yes" : "no");
  std::printf("%-16s %s\n", "dng", reader.isDngImageFile(path) ? "yes" : "no");
  std::printf("%-16s %d\n", "orientation", e.orientation);
  std::string profile = "-";
  if (!meta->iccProfile.empty())
    if (auto cs = rova::createColorSpaceFromICC(meta->iccProfile.data(), meta->iccProfile.size())) profile = cs->name();
  std::printf("%-16s %s\n", "icc profile", profile.c_str());
  const std::string camera = e.cameraName + (e.cameraName.empty() ? "" : " ") + e.cameraModel;
  std::printf("%-16s %s\n", "camera", camera.empty() ? "-" : camera.c_str());
  std::printf("%-16s %s\n", "lens", e.lensModel.empty() ? "-" : e.lensModel.c_str());
  printNumber("iso", e.isoSpeed);
  printNumber("exposure time", e.shutterSpeed, " s");
  printNumber("f-number", e.fNumber);
  printNumber("focal length", e.focalLength, " mm");
  printNumber("exposure bias", e.ev, " EV");
  std::printf("%-16s %s\n", "date", e.dateTimeOriginal.empty() ? "-" : e.dateTimeOriginal.c_str());
  std::printf("%-16s %s\n", "lens profile",
              e.hasLcpProfile() ? (e.lcpCameraProfile + " / " + e.lcpLensProfile).c_str() : "-");
  std::printf("%-16s %zu\n", "metadata keys", meta->entries.size());

  if (previewPath.empty()) return 0;
  std::string error;
  auto preview = reader.getThumbnailHardly(path, previewSize, -1);
  if (!preview) {
    std::fprintf(stderr, "rova-info: cannot decode %s\n", path.c_str());
    return 1;
  }
  rova::codecs::Bitmap b;
  b.allocate(preview->width(), preview->height(), 3, 8);
  for (int y = 0; y < preview->height(); ++y)
    for (int x = 0; x < preview->width(); ++x) {
      auto p = preview->at(x, y);
      uint8_t* d = b.row(y) + x * 3;
      d[0] = uint8_t(p.r * 255.f + 0.5f);
      d[1] = uint8_t(p.g * 255.f + 0.5f);
      d[2] = uint8_t(p.b * 255.f + 0.5f);
    }
  rova::codecs::EncodeOptions o;
  o.format = rova::codecs::Format::PNG;
  o.icc = rova::createColorSpace(rova::kColorProfileSRGB)->iccData();
  auto bytes = rova::codecs::encode(b, o, &error);
  if (bytes.empty() || !rova::codecs::writeFileSafely(previewPath, bytes.data(), bytes.size(), &error)) {
    std::fprintf(stderr, "rova-info: cannot write %s: %s\n", previewPath.c_str(), error.c_str());
    return 1;
  }
  std::printf("%-16s %s (%d x %d)\n", "preview", previewPath.c_str(), preview->width(), preview->height());
  return 0;
}
