#pragma once
// Writes exported images with the source file's metadata merged into their properties, through
// the one image writer (`QVShareManager::saveImage`). Two merge rules:
//  - the preset-driven export (`imagePropertiesForImageSource`): the rendered image's own
//    properties, the source's sections and top-level entries added where the image has none, the
//    source's values winning inside the metadata sections; TIFF compression, depth and quality
//    from the preset's format;
//  - the interactive export (`imagePropertiesForExportOptions`): the source's properties as the
//    base, the options' parameters laid over them, the options' depth (the source file's when
//    the options name none).
// Stateless; every operation may run on any thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/Batch/QVBatchSettingsFormat.h"
#include "Ombrel/Classes/Business/ExportManager/QVImageExportOptions.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/NSImage.h"

inline constexpr const char* kQVImageSaverErrorDomain = "com.orvanta.image";
inline constexpr int64_t kQVImageSaverErrorCreateSource = 1000;  // "Failed to create image source"
inline constexpr int64_t kQVImageSaverErrorSave = 1001;          // "Failed to save image source"

class QVImageSaver {
 public:
  // What the saver reads of a batch preset's format section.
  struct FormatOptions {
    std::string exportType;  // type identifier
    double quality = 1.0;    // 0..1
    // The TIFF section's numbers (compression code 1, 5 or 32773; depth 8 or 16); none when the
    // preset has no TIFF properties.
    struct Tiff {
      int64_t compressionType = 5;
      int64_t depth = 8;
    };
    std::optional<Tiff> tiffImageProperties;
  };
  using FilenameCollisionBlock = std::function<std::string(const std::string& path)>;

  // What the saver reads of a batch preset's format section: its type (none: empty), quality and
  // the TIFF numbers (a TIFF section without a readable compression falls back to LZW, without a
  // readable depth to 8 bits).
  static FormatOptions formatOptionsFromBatchFormat(const QVBatchSettingsFormat& format);

  // Writes `image` to `toPath` as `imageType` with the merged properties of
  // `imagePropertiesForImageSource`. When the target exists, `shouldOverwrite` is false and a
  // collision block is given, the block's path is written instead (as it is, not tested again).
  // Without `shouldOverwrite` a file at the written path is never replaced: the write fails.
  // nullopt on success; error 1000 when the image has no bitmap, 1001 when the write fails (an
  // existing file is then left as it was; the reason is in the error's user info under "reason").
  static std::optional<qv::Error> saveImage(const NSImageRef& image, const std::string& fromPath,
                                            const std::string& toPath, const std::string& imageType,
                                            bool shouldOverwrite, const FormatOptions* formatOptions,
                                            const FilenameCollisionBlock& filenameCollisionBlock);

  // The preset-driven merge of the image's own properties (`qv::propertiesForImage`) with the
  // cleaned properties of the source file (`QVImageUtils::imagePropertiesAtPath`). A null value
  // when the image has no properties. Without format options the quality is left to the writer.
  static qv::Value imagePropertiesForImageSource(const qv::Value& imageProperties, const std::string& originalImagePath,
                                                 const FormatOptions* formatOptions);
  // The merge itself, over the source's properties already read (a null value: none).
  static qv::Value mergedImageProperties(const qv::Value& imageProperties, const qv::Value& sourceProperties,
                                         const FormatOptions* formatOptions);

  // The interactive merge: the source's cleaned properties, the options' parameters over them
  // (their {TIFF} entries over the source's {TIFF} section), "Depth" the options' depth, or the
  // colour depth of the source file when the options' depth is 0. A dictionary without the source's metadata when the
  // source cannot be read.
  static qv::Value imagePropertiesForExportOptions(const std::string& originalImagePath,
                                                   const QVImageExportOptions& options);
  static qv::Value mergedExportProperties(const qv::Value& sourceProperties, int64_t sourceDepth,
                                          const QVImageExportOptions& options);
  // Writes `image` to `outPath` with `imagePropertiesForExportOptions` as the options' type;
  // errors as `saveImage`. `replace` false: a file at `outPath` is never replaced.
  static std::optional<qv::Error> saveImageWithOptions(const NSImageRef& image, const std::string& inPath,
                                                       const std::string& outPath, const QVImageExportOptions& options,
                                                       bool replace = true);

  // Why nothing may be written at `target`, if so: a file or folder without any write permission
  // was made read-only by its owner, so it is neither replaced nor written into, also by a user
  // the system would let (root) or by a rename over it (which needs only the folder's permission).
  static std::optional<std::string> readOnlyReason(const std::string& target);

  // Error 1000; `reason` (in the user info under "reason") says what went wrong.
  static qv::Error imageSourceError(const std::string& reason = {});
  static qv::Error imageSaveError(const std::string& reason = {});
};
