// solvane-render INPUT OUTPUT [--size N] [--preset NAME_OR_PATH] [--plain]
//
// Enhances one photo the way the application does, through the core framework: a processor loads
// the picture at the fit size, the layers of the shipped default preset ("DefaultJpegPreset", or
// "DefaultRAWPreset" for camera RAW and TIFF files) are built by the application's layer builder
// and installed under the picture, and the whole picture is rendered in sRGB and written to OUTPUT
// (.jpg, .png, .tif, .webp or .jp2) with the input's metadata. --plain writes the picture without
// the preset's layers.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>

#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"
#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"
#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorConfigManager.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "rova/ImageData.h"
#include "rova/codecs/SafeFile.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: solvane-render INPUT OUTPUT [--size N] [--preset NAME_OR_PATH] [--plain]\n");
  return 2;
}

// Lets queued engine work and the main-thread work it hands back run out.
void settle(QVRovaProcessor& p) {
  for (int i = 0; i < 50; ++i) {
    p.imageProcessingQueue()->waitUntilAllOperationsAreFinished();
    if (qv::MainExecutor::shared().runUntilIdle() == 0 && p.imageProcessingQueue()->operationCount() == 0) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string input = argv[1], output = argv[2], preset;
  double size = 2000;
  bool plain = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
      size = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--preset") && i + 1 < argc)
      preset = argv[++i];
    else if (!std::strcmp(argv[i], "--plain"))
      plain = true;
    else
      return usage();
  }
  if (!(size >= 16) || size > rova::kMaxImageSide) return usage();

  // Everything that would make the result unwritable is known before the render starts.
  const std::string type = CGImageDestinationTypeForPath(output);
  if (type.empty()) {
    std::fprintf(stderr,
                 "solvane-render: cannot write %s: no writer for that extension (use .jpg, .png, .tif or .webp)\n",
                 output.c_str());
    return 1;
  }
  std::string error;
  if (!rova::codecs::checkWritable(output, &error)) {
    std::fprintf(stderr, "solvane-render: %s\n", error.c_str());
    return 1;
  }

  QVRovaService::rovaInit();
  // The engine configuration the application ships (RAW development, denoising, fast RAW previews).
  qv::Error configError;
  QVRovaProcessorConfigManager::loadFromFile(
      qv::Bundle::mainBundle().pathForResource(kQVRovaConfigResourceName, kQVRovaConfigResourceType), &configError);
  if (!configError.description.empty())
    std::fprintf(stderr, "solvane-render: engine configuration: %s\n", configError.description.c_str());
  auto started = std::chrono::steady_clock::now();
  auto p = QVRovaProcessor::init();
  p->setNotify(false);
  p->setLocalCacheDisabled(true);
  p->setExportMode(true);
  // As the application's export tasks: decode no larger than the output needs, keep the result once.
  p->setReducedReadForFitSize(true);
  p->setSingleRender(true);
  std::promise<bool> loaded;
  p->loadImageAtURL(input, CGSizeMake(size, size), [&](QVIPImagePtr image) { loaded.set_value(image != nullptr); });
  if (!loaded.get_future().get()) {
    std::fprintf(stderr, "solvane-render: cannot read %s: %s\n", input.c_str(), p->lastLoadError().c_str());
    return 1;
  }
  settle(*p);
  bool raw = p->exifInfo() && p->exifInfo()->isRaw;
  size_t built = 0;
  if (!plain) {
    // The application's own preset choice (by kind of file) and layer builder.
    std::shared_ptr<QVPreset> chosen;
    if (preset.empty())
      chosen = QVEffectsPresetManager("Presets", "AdditionalPresets").defaultPresetForImagePath(input);
    else if (preset.find('/') != std::string::npos)
      chosen = QVPreset::initWithPath(preset);
    else
      chosen = QVEffectsPresetManager("Presets", "AdditionalPresets").presetWithName(preset, "Presets");
    qv::Error why;
    std::error_code ec;
    if (!chosen && preset.find('/') != std::string::npos && !std::filesystem::is_directory(preset, ec) &&
        !qv::readFileBytes(preset, &why)) {
      std::fprintf(stderr, "solvane-render: cannot read the preset: %s\n", why.description.c_str());
      return 1;
    }
    if (!chosen || !chosen->layersInfo()["AdjustmentLayers"].array()) {
      std::fprintf(stderr, "solvane-render: no preset layers in %s\n",
                   preset.empty() ? "the default preset" : preset.c_str());
      return 1;
    }
    QVPresetHelpers::installLayersCreatedWithPresets({chosen}, *p);
    const auto layers = p->initialLayer()->subLayers();
    for (const auto& layer : layers)
      std::printf("layer %s (%zu effects)\n", layer->name().c_str(), layer->effects().size());
    built = layers.size();
    settle(*p);
  }

  CGSize canvas = p->canvasSize();
  auto params = QVIPProcessParams::defaultParams();
  params->setRect(CGRectMake(0, 0, canvas.width, canvas.height));
  params->setFitSize(QVRovaProcessor::fittingSize(canvas, CGSizeMake(size, size)));
  params->setColorspace(1);
  params->setDepth(8);
  params->setClampResult(true);
  params->setDisableCache(true);
  params->setIsAsync(false);
  QVIPImagePtr result;
  p->processImageWithParams(
      params, [&](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) { result = std::move(image); });
  if (!result || !result->CGImage()) {
    std::fprintf(stderr, "solvane-render: the render failed\n");
    return 1;
  }
  // Written as an export writes it: the input's metadata (camera, lens, date, place, keywords,
  // maker notes) merged in, the output upright with its own size and no thumbnail of the input.
  QVImageSaver::FormatOptions format;
  format.exportType = type;
  format.quality = type == kUTTypePNG || type == kUTTypeTIFF ? 1.0 : 0.9;
  format.tiffImageProperties = QVImageSaver::FormatOptions::Tiff{5, 8};
  if (auto failed = QVImageSaver::saveImage(NSImage::imageWithCGImage(result->CGImage()), input, output, type, true,
                                            &format, nullptr)) {
    const std::string reason = failed->userInfo.count("reason") ? failed->userInfo.at("reason").asString() : "";
    std::fprintf(stderr, "solvane-render: %s\n", reason.empty() ? failed->description.c_str() : reason.c_str());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%s: %.0f x %.0f, %s, %zu preset layers, %.2f s\n", output.c_str(), double(result->imageWidth()),
              double(result->imageHeight()), raw ? "RAW" : "not RAW", built, seconds);
  return 0;
}
