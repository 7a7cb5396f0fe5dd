#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/Bundle.h"

namespace {

constexpr uint64_t kImageLoadEventType = 2;
constexpr uint64_t kImageExportEventType = 3;

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

}  // namespace

qv::Dictionary QVUsageEvents::imageInfoDicFromPath(const std::string& path) {
  const CGSize size = QVImageUtils::imageSizeForPath(path);
  const auto w = static_cast<unsigned long>(std::max(0.0, size.width));
  const auto h = static_cast<unsigned long>(std::max(0.0, size.height));
  return {{"QVImageSizeKey", qv::Value(std::to_string(w) + "," + std::to_string(h))},
          {"QVImageExtensionKey", qv::Value(lowerExtension(path))}};
}

std::vector<std::string> QVUsageEvents::filterTrackablePaths(const std::vector<std::string>& paths) {
  const std::string samples = qv::Bundle::mainBundle().resourcePath() + "/Samples";
  std::vector<std::string> out;
  for (const auto& path : paths) {
    if (path.find(samples) == std::string::npos) out.push_back(path);
  }
  return out;
}

std::vector<qv::Dictionary> QVUsageEvents::imageLoadInfoDicsFromPaths(const std::vector<std::string>& paths,
                                                                      int64_t count) {
  std::map<std::string, int64_t> groups;
  for (const auto& path : filterTrackablePaths(paths)) {
    const auto info = imageInfoDicFromPath(path);
    ++groups[info.at("QVImageSizeKey").asString() + "|" + info.at("QVImageExtensionKey").asString()];
  }
  std::vector<qv::Dictionary> out;
  for (const auto& [key, images] : groups) {
    const auto bar = key.find('|');
    // A size or extension holding the separator itself cannot be split back: no dictionary.
    if (bar == std::string::npos || key.find('|', bar + 1) != std::string::npos) continue;
    out.push_back({{"QVImageSizeKey", qv::Value(key.substr(0, bar))},
                   {"QVImageExtensionKey", qv::Value(key.substr(bar + 1))},
                   {"QVImageCountKey", qv::Value(images)},
                   {"QVCountKey", qv::Value(count)}});
  }
  return out;
}

std::vector<qv::Dictionary> QVUsageEvents::imageExportInfoDicsFromPaths(const std::vector<std::string>& paths,
                                                                        int64_t count, uint64_t type) {
  std::vector<qv::Dictionary> out;
  for (const auto& path : filterTrackablePaths(paths)) {
    auto info = imageInfoDicFromPath(path);
    info["QVImageSliderValueKey"] = qv::Value(QVAppLink::boostAmountForImagePath(path));
    info["QVImageExportTypeKey"] = qv::Value(int64_t(type));
    info["QVCountKey"] = qv::Value(count);
    out.push_back(std::move(info));
  }
  return out;
}

void QVUsageEvents::trackEventImageLoadWithPaths(const std::vector<std::string>& paths) {
  const int64_t count = QVAppLink::imageLoadCount() + 1;
  const auto infos = imageLoadInfoDicsFromPaths(paths, count);
  QVAppLink::setImageLoadCount(count);
  QVAppLink::trackEventsOfType(kImageLoadEventType, infos);
}

void QVUsageEvents::trackEventImageExportWithPaths(const std::vector<std::string>& paths, uint64_t exportType) {
  const int64_t count = QVAppLink::imageExportCount() + 1;
  const auto infos = imageExportInfoDicsFromPaths(paths, count, exportType);
  QVAppLink::setImageExportCount(count);
  QVAppLink::trackEventsOfType(kImageExportEventType, infos);
}
