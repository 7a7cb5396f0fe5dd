#include "QVCore/ImageProcessing/QVRovaProcessorConfigManager.h"

#include <atomic>
#include <functional>
#include <utility>

#include "QVCore/ImageProcessing/QVImageReader.h"
#include "QVPlatform/PropertyList.h"

namespace {

std::atomic<bool> gReplaceEffectIDIntoRawID{false};

const std::pair<const char*, void (*)(bool)> kFlagSwitches[] = {
    {"ImageReaderAppliesRAWDevelop", &QVImageReader::setApplyRawDevelop},
    {"ReplaceEffectIDIntoRawID", &QVRovaProcessorConfigManager::setReplaceEffectIDIntoRawID},
    {"ImageReaderNewOpenMethod", &QVImageReader::useNewOpenMethod},
    {"ImageReaderFineDenoise", &QVImageReader::setFineDenoise},
    {"ImageReaderFastRawPreview", &QVImageReader::setFastRawPreview},
};

}  // namespace

void QVRovaProcessorConfigManager::loadFromFile(const std::string& path, qv::Error* error) {
  qv::Value config = qv::PropertyList::readJSONFile(path, error);
  if (config.isNull()) return;
  const qv::Dictionary* flags = config["RovaFlags"].dictionary();
  if (!flags) return;
  for (const auto& [key, value] : *flags) {
    for (const auto& [name, setSwitch] : kFlagSwitches) {
      if (key == name) setSwitch(value.asBool());
    }
  }
}

void QVRovaProcessorConfigManager::setReplaceEffectIDIntoRawID(bool on) {
  gReplaceEffectIDIntoRawID.store(on, std::memory_order_relaxed);
}

bool QVRovaProcessorConfigManager::replaceEffectIDIntoRawID() {
  return gReplaceEffectIDIntoRawID.load(std::memory_order_relaxed);
}
