#include "QVCore/Settings/QVLayerSettings.h"

#include <algorithm>

#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"

QVLayerSettings& QVLayerSettings::settings() {
  static QVLayerSettings shared(qv::Bundle::mainBundle().pathForResource("QVLayerSettings", "plist"));
  return shared;
}

QVLayerSettings::QVLayerSettings(const std::string& path) {
  if (path.empty()) return;
  qv::Error error;
  qv::Value plist = qv::PropertyList::readFile(path, &error);
  if (plist.isDictionary()) settingsDic_ = std::move(plist);
}

uint64_t QVLayerSettings::unsignedIntegerForKey(const std::string& key) const {
  const qv::Value& value = settingsDic_[key];
  if (!value.isNumber()) return kNoLimit;
  if (value.isReal()) return uint64_t(std::max(0.0, value.asDouble()));
  return uint64_t(std::max<int64_t>(0, value.asInt()));
}
