#include "QVCore/ImageProcessing/Processor/QVRovaProcessorConfigManager.h"

#include <utility>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVPlatform/PropertyList.h"

namespace {

const std::pair<const char*, void (*)(bool)> kFlagSwitches[] = {
    {"ImageReaderAppliesRAWDevelop", &QVImageReader::setApplyRawDevelop},
    {"ReplaceEffectIDIntoRawID", &QVIPEffectsProvider::setReplaceEffectIDIntoRawID},
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
