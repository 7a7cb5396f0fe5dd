#pragma once
// The cache as the facade speaks of it: by source path and image type (0 thumbnail, 1 preview,
// 2 full size, 3 lens-corrected preview), each mapped to the cache type of its source rendition
// and of its processed rendition (0, no class, when there is none). Stores run on "QVCache.Queue";
// their completions run on background threads, also when the store was cancelled.
//
// Storing an image (its TIFF, the archive, the entity store's write) can fall behind the photos
// being processed on a busy machine; the images waiting to be stored then pile up in memory. So
// the images waiting add up to at most `kQVCacheManagerWaitingBytesLimit`: an image that would
// pass it is not stored (logged; its completion runs at once) and is made again when it is next
// asked for. One image is always let in, whatever its size.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "QVPlatform/Dispatch.h"
#include "QVPlatform/ImageIO/NSImage.h"

inline constexpr uint64_t kQVCacheManagerWaitingBytesLimit = 256'000'000;

class QVCacheManager {
 public:
  static std::map<uint64_t, uint64_t> originalCacheTypes();
  static std::map<uint64_t, uint64_t> processedCacheTypes();
  static uint64_t originalCacheType(uint64_t imageType);
  static uint64_t processedCacheType(uint64_t imageType);

  // The image of the entity in memory, when it holds one.
  static NSImageRef readImageEntityOfType(uint64_t cacheType, const std::string& path);
  static NSImageRef cachedOriginalImageAtPath(const std::string& path, uint64_t imageType);
  static NSImageRef cachedProcessedImageAtPath(const std::string& path, uint64_t imageType);
  static NSImageRef cachedBlurredImageAtPath(const std::string& path);

  static void updateCacheImage(NSImageRef image, const std::string& path, uint64_t cacheType,
                               qv::Block completion = nullptr);
  // The pixel bytes of the images waiting to be stored, and their bound.
  static uint64_t waitingBytes();
  static void setWaitingBytesLimit(uint64_t limit);

  static void clean(bool longTerm);
  static void cleanAt(const std::string& path, bool longTermClean);
  // For each image type in order: its source cache type's key, then its processed one's.
  static void cleanAt(const std::string& path, const std::vector<uint64_t>& imageTypes, bool longTermClean);
};
