#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRSettings.h"

#include <filesystem>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVPlatform/PropertyList.h"

namespace {
constexpr const char* kAlignment = "_alignment";
constexpr const char* kGhostReduction = "_ghostReduction";
constexpr const char* kGhostRefImageIdx = "_ghostRefImageIdx";
constexpr const char* kGhostAmount = "_ghostAmount";
constexpr const char* kColorDenoise = "_colorDenoise";
constexpr const char* kChromaticAbberationReduction = "_chromaticAbberationReduction";
constexpr const char* kSingleImageToneMapping = "_singleImageToneMapping";

bool boolFor(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  return v && v->isNumber() && v->asBool();
}
int64_t intFor(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  return v && v->isNumber() ? v->asInt() : 0;
}
}  // namespace

QVHDRSettings::Ptr QVHDRSettings::defaultSettings() { return std::make_shared<QVHDRSettings>(); }

QVHDRSettings::Ptr QVHDRSettings::hdrSettingsFromDictionaryRepresentation(const qv::Value& dictionary) {
  auto s = defaultSettings();
  s->setupWithDictionaryRepresentation(dictionary);
  return s;
}

std::string QVHDRSettings::filePath() {
  const std::string container = NSFileManagerContainerDirectory::containerDirectory();
  if (container.empty()) return {};
  return (std::filesystem::path(container) / kQVHDRSettingsFileName).string();
}

QVHDRSettings::Ptr QVHDRSettings::storedSettings() {
  const std::string path = filePath();
  if (path.empty()) return defaultSettings();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return defaultSettings();
  qv::Error error;
  auto decoded = decode(qv::PropertyList::readFile(path, &error));
  return decoded ? decoded : defaultSettings();
}

void QVHDRSettings::store() const {
  const std::string path = filePath();
  if (path.empty()) return;
  QVHDRSettings stored;
  stored.setSingleImageToneMapping(singleImageToneMapping_);
  qv::PropertyList::writeFile(path, stored.encode(), qv::PropertyListFormat::Binary);
}

qv::Value QVHDRSettings::dictionaryRepresentation() const {
  return qv::Dictionary{
      {kAlignment, alignment_},
      {kGhostReduction, ghostReduction_},
      {kGhostRefImageIdx, ghostRefImageIdx_},
      {kGhostAmount, ghostAmount_},
      {kColorDenoise, colorDenoise_},
      {kChromaticAbberationReduction, chromaticAbberationReduction_},
      {kSingleImageToneMapping, singleImageToneMapping_},
  };
}

void QVHDRSettings::setupWithDictionaryRepresentation(const qv::Value& dictionary) {
  if (dictionary.isNull()) {
    setupDefaultSettings();
    return;
  }
  alignment_ = boolFor(dictionary, kAlignment);
  ghostReduction_ = boolFor(dictionary, kGhostReduction);
  ghostRefImageIdx_ = intFor(dictionary, kGhostRefImageIdx);
  ghostAmount_ = intFor(dictionary, kGhostAmount);
  colorDenoise_ = boolFor(dictionary, kColorDenoise);
  chromaticAbberationReduction_ = boolFor(dictionary, kChromaticAbberationReduction);
  singleImageToneMapping_ = boolFor(dictionary, kSingleImageToneMapping);
}

void QVHDRSettings::setupDefaultSettings() {
  alignment_ = false;
  ghostReduction_ = false;
  ghostRefImageIdx_ = 0;
  ghostAmount_ = 0;
  colorDenoise_ = true;
  chromaticAbberationReduction_ = false;
  singleImageToneMapping_ = true;
}

qv::Value QVHDRSettings::encode() const {
  return qv::Dictionary{{kQVHDRSettingsDictionaryRepresentationKey, dictionaryRepresentation()}};
}

QVHDRSettings::Ptr QVHDRSettings::decode(const qv::Value& archive) {
  const qv::Value* d = archive.find(kQVHDRSettingsDictionaryRepresentationKey);
  if (!d || !d->isDictionary()) return nullptr;
  return hdrSettingsFromDictionaryRepresentation(*d);
}

rova::HDRSettings QVHDRSettings::rovaHDRSettings() const {
  rova::HDRSettings s;
  s.alignment = alignment_;
  s.ghostReduction = ghostReduction_;
  s.ghostRefImageIdx = int32_t(ghostRefImageIdx_);
  s.ghostAmount = int32_t(ghostAmount_);
  s.reserved = false;
  s.colorDenoise = colorDenoise_;
  s.chromaticAberrationReduction = chromaticAbberationReduction_;
  s.singleImageToneMapping = singleImageToneMapping_;
  return s;
}
