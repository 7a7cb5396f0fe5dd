#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/OwnFiles.h"

namespace {

// The metadata sections whose entries the source file adds to the written image's, in order.
constexpr const char* kMergedSections[] = {
    kCGImagePropertyTIFFDictionary,        kCGImagePropertyGIFDictionary,
    kCGImagePropertyJFIFDictionary,        kCGImagePropertyExifDictionary,
    kCGImagePropertyPNGDictionary,         kCGImagePropertyIPTCDictionary,
    kCGImagePropertyGPSDictionary,         kCGImagePropertyRawDictionary,
    kCGImagePropertyCIFFDictionary,        kCGImagePropertyMakerCanonDictionary,
    kCGImagePropertyMakerNikonDictionary,  kCGImagePropertyMakerMinoltaDictionary,
    kCGImagePropertyMakerFujiDictionary,   kCGImagePropertyMakerOlympusDictionary,
    kCGImagePropertyMakerPentaxDictionary, kCGImageProperty8BIMDictionary,
    kCGImagePropertyDNGDictionary,         kCGImagePropertyExifAuxDictionary,
    kCGImagePropertyOpenEXRDictionary,     kCGImagePropertyMakerAppleDictionary,
};

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// Adds the entries of `from` to `into` (both dictionaries); `from` wins where both have a key.
void addEntries(qv::Value& into, const qv::Value& from) {
  if (!from.isDictionary() || !into.isDictionary()) return;
  for (const auto& [key, value] : *from.dictionary()) into.set(key, value);
}

qv::Error makeError(int64_t code, const char* text, const std::string& reason) {
  qv::Dictionary info{{"NSLocalizedDescription", qv::Value(qv::QVSLocalization::localizedStringForKey(text))}};
  if (!reason.empty()) info.emplace("reason", qv::Value(reason));
  return qv::Error(kQVImageSaverErrorDomain, code, qv::QVSLocalization::localizedStringForKey(text), std::move(info));
}

}  // namespace

QVImageSaver::FormatOptions QVImageSaver::formatOptionsFromBatchFormat(const QVBatchSettingsFormat& format) {
  FormatOptions options;
  options.exportType = format.exportType().value_or(std::string());
  options.quality = format.quality();
  if (const auto& tiff = format.tiffImageProperties()) {
    FormatOptions::Tiff numbers;
    numbers.compressionType = tiff->compressionValue().value_or(numbers.compressionType);
    numbers.depth = tiff->depthValue().value_or(numbers.depth);
    options.tiffImageProperties = numbers;
  }
  return options;
}

qv::Error QVImageSaver::imageSourceError(const std::string& reason) {
  return makeError(kQVImageSaverErrorCreateSource, "Failed to create image source", reason);
}

qv::Error QVImageSaver::imageSaveError(const std::string& reason) {
  return makeError(kQVImageSaverErrorSave, "Failed to save image source", reason);
}

qv::Value QVImageSaver::mergedImageProperties(const qv::Value& imageProperties, const qv::Value& sourceProperties,
                                              const FormatOptions* format) {
  if (!imageProperties.isDictionary()) return {};
  // Top level: the rendered image's values win; a section only one side has is taken whole.
  qv::Value merged = qv::Dictionary{};
  addEntries(merged, sourceProperties);
  addEntries(merged, imageProperties);
  // Inside the metadata sections both have, the source file's values win.
  if (sourceProperties.isDictionary())
    for (const char* section : kMergedSections) {
      const qv::Value* from = sourceProperties.find(section);
      if (!from || !merged.find(section) || !merged[section].isDictionary()) continue;
      qv::Value combined = merged[section];
      addEntries(combined, *from);
      merged.set(section, std::move(combined));
    }
  if (merged.find(kCGImagePropertyTIFFDictionary) && merged[kCGImagePropertyTIFFDictionary].isDictionary()) {
    qv::Value tiff = merged[kCGImagePropertyTIFFDictionary];
    if (!format || !equalsIgnoringCase(format->exportType, kUTTypeTIFF)) {
      tiff.set(kCGImagePropertyTIFFCompression, int64_t(5));
    } else if (format->tiffImageProperties) {
      tiff.set(kCGImagePropertyTIFFCompression, format->tiffImageProperties->compressionType);
      merged.set(kCGImagePropertyDepth, format->tiffImageProperties->depth);
    } else {
      tiff.erase(kCGImagePropertyTIFFCompression);
      merged.erase(kCGImagePropertyDepth);
    }
    merged.set(kCGImagePropertyTIFFDictionary, std::move(tiff));
  }
  // Without a format there is no quality to state: the writer's own default holds, rather than 0.
  if (format) merged.set(kCGImageDestinationLossyCompressionQuality, format->quality);
  return merged;
}

qv::Value QVImageSaver::imagePropertiesForImageSource(const qv::Value& imageProperties,
                                                      const std::string& originalImagePath,
                                                      const FormatOptions* formatOptions) {
  if (!imageProperties.isDictionary()) return {};
  return mergedImageProperties(imageProperties, QVImageUtils::imagePropertiesAtPath(originalImagePath), formatOptions);
}

std::optional<std::string> QVImageSaver::readOnlyReason(const std::string& target) {
  if (qv::entryAt(target).isReadOnlyFile()) return "the file " + target + " is read-only";
  const std::string folder = std::filesystem::path(target).parent_path().string();
  struct stat st {};
  if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0222) == 0)
    return "the folder " + folder + " is read-only";
  return std::nullopt;
}

std::optional<qv::Error> QVImageSaver::saveImage(const NSImageRef& image, const std::string& fromPath,
                                                 const std::string& toPath, const std::string& imageType,
                                                 bool shouldOverwrite, const FormatOptions* formatOptions,
                                                 const FilenameCollisionBlock& filenameCollisionBlock) {
  CGImageRef bitmap = image ? image->CGImage() : nullptr;
  if (!bitmap) return imageSourceError("the processed photo has no pixels");
  qv::Value properties = imagePropertiesForImageSource(qv::propertiesForImage(bitmap), fromPath, formatOptions);
  // A rendering in linear light is handed over in the colour space its source had.
  if (bitmap->colorSpace && bitmap->colorSpace->space && bitmap->colorSpace->space->isLinear() &&
      properties.isDictionary())
    properties.set(kQVImageDestinationColorSpace,
                   qv::Value(CGColorSpaceCopyICCData(qv::displayColorSpaceForFile(fromPath))));
  std::string target = toPath;
  std::error_code ec;
  if (!shouldOverwrite && filenameCollisionBlock && std::filesystem::exists(target, ec))
    target = filenameCollisionBlock(target);
  if (auto readOnly = readOnlyReason(target)) return imageSaveError(*readOnly);
  std::string reason;
  // Not overwriting, the file goes into place only while its name is free: a file another export
  // wrote there meanwhile is kept, and this write fails with the reason.
  if (!QVShareManager::shared().saveImage(bitmap, target, imageType, properties, &reason, shouldOverwrite))
    return imageSaveError(reason);
  return std::nullopt;
}

qv::Value QVImageSaver::mergedExportProperties(const qv::Value& sourceProperties, int64_t sourceDepth,
                                               const QVImageExportOptions& options) {
  qv::Value merged = sourceProperties.isDictionary() ? sourceProperties : qv::Value(qv::Dictionary{});
  const qv::Value* sourceTiff = merged.find(kCGImagePropertyTIFFDictionary);
  qv::Value tiff = sourceTiff ? *sourceTiff : qv::Value();
  qv::Value params = options.paramsDic().isDictionary() ? options.paramsDic() : qv::Value(qv::Dictionary{});
  // The depth the dialog showed is the depth written; the source's only where the options name none.
  params.set(kCGImagePropertyDepth, options.depth() > 0 ? int64_t(options.depth()) : sourceDepth);
  if (tiff.isDictionary())
    if (const qv::Value* optionTiff = params.find(kCGImagePropertyTIFFDictionary)) addEntries(tiff, *optionTiff);
  addEntries(merged, params);
  if (tiff.isDictionary())
    merged.set(kCGImagePropertyTIFFDictionary, std::move(tiff));
  else
    merged.erase(kCGImagePropertyTIFFDictionary);
  return merged;
}

qv::Value QVImageSaver::imagePropertiesForExportOptions(const std::string& originalImagePath,
                                                        const QVImageExportOptions& options) {
  return mergedExportProperties(QVImageUtils::imagePropertiesAtPath(originalImagePath),
                                QVImageUtils::colorDepthAtPath(originalImagePath), options);
}

std::optional<qv::Error> QVImageSaver::saveImageWithOptions(const NSImageRef& image, const std::string& inPath,
                                                            const std::string& outPath,
                                                            const QVImageExportOptions& options, bool replace) {
  CGImageRef bitmap = image ? image->CGImage() : nullptr;
  if (!bitmap) return imageSourceError("the processed photo has no pixels");
  if (auto readOnly = readOnlyReason(outPath)) return imageSaveError(*readOnly);
  std::string reason;
  if (!QVShareManager::shared().saveImage(bitmap, outPath, options.type(),
                                          imagePropertiesForExportOptions(inPath, options), &reason, replace))
    return imageSaveError(reason);
  return std::nullopt;
}
