#pragma once
// The limits on how many layers a document may have, read from the property list
// "QVLayerSettings" of the bundle: "MaxLayersCount" (top-level layers of a processor) and
// "MaxFiltersCount" (sublayers of the active layer). A missing file or key, or a value that is not
// a number, means no limit (all 64 bits set). The processor asks; callers check before adding.
#include <cstdint>
#include <string>

#include "QVPlatform/Value.h"

class QVLayerSettingsProtocol {
 public:
  virtual ~QVLayerSettingsProtocol() = default;
  virtual uint64_t maxLayersCount() const = 0;
  virtual uint64_t maxFiltersCount() const = 0;
};

class QVLayerSettings : public QVLayerSettingsProtocol {
 public:
  static constexpr uint64_t kNoLimit = UINT64_MAX;

  // The shared instance over the bundle's file, made once.
  static QVLayerSettings& settings();
  // Settings read from a file (a missing or malformed file gives no dictionary).
  explicit QVLayerSettings(const std::string& path);

  uint64_t maxLayersCount() const override { return unsignedIntegerForKey("MaxLayersCount"); }
  uint64_t maxFiltersCount() const override { return unsignedIntegerForKey("MaxFiltersCount"); }
  // The number under the key (negative numbers count as 0); kNoLimit when it is not a number.
  uint64_t unsignedIntegerForKey(const std::string& key) const;

  const qv::Value& settingsDic() const { return settingsDic_; }
  void setSettingsDic(qv::Value dic) { settingsDic_ = std::move(dic); }

 private:
  qv::Value settingsDic_;
};
