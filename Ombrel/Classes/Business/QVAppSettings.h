#pragma once
// The application's run-time settings and the only writer of its entries in the standard user
// defaults: the two automatic-correction switches ("LensCorrectionKey", "AutoColorTemperatureKey")
// and the export compression quality per export image type (the type string is the key). It also
// gives the identity values sent with statistics and events: the session identifier, the platform
// number and the location type.
//
// Defaults are written, not registered: the first start leaves explicit values behind and later
// starts never overwrite a stored value. The switches are set from the main thread; the user
// defaults themselves are thread-safe.
#include <cstdint>
#include <functional>
#include <string>

#include "QVPlatform/Value.h"

inline constexpr const char* kQVLensCorrectionKey = "LensCorrectionKey";
inline constexpr const char* kQVAutoColorTemperatureKey = "AutoColorTemperatureKey";

class QVAppSettings {
 public:
  QVAppSettings();

  // This run's identifier: a new UUID without dashes, lower case (32 hexadecimal digits).
  const std::string& sessionID() const { return sessionID_; }
  void setSessionID(std::string sessionID) { sessionID_ = std::move(sessionID); }

  bool autoLensCorrectionEnabled() const { return autoLensCorrectionEnabled_; }
  // Stores and writes the value when it differs from the current one.
  void setAutoLensCorrectionEnabled(bool enabled);
  bool autoColorTemperatureEnabled() const { return autoColorTemperatureEnabled_; }
  void setAutoColorTemperatureEnabled(bool enabled);
  // Write the value only when the key holds none yet; only then the switch takes it.
  void saveDefaultLensCorrectionEnabledIfNeeded(bool enabled);
  void saveDefaultColorTemperatureEnabledIfNeeded(bool enabled);

  // An export is running (this run only). Which photos were exported is each photo's own mark
  // (QVImageSettingsManager).
  bool exporting() const { return exporting_; }
  void setExporting(bool exporting) { exporting_ = exporting; }

  // The main bundle's "CFBundleName" ("Solvane" without one).
  std::string name() const;
  // The platform number sent with statistics: always 5.
  uint64_t platform() const { return 5; }
  // 2 in the photo-library extension, 1 in plug-in mode, else 0.
  uint64_t appLocationType() const;

  // The last compression quality chosen for an export image type; null when none was stored.
  qv::Value exportCompressionQualityForImageType(const std::string& type) const;
  void saveExportImageCompressionQuality(const qv::Value& quality, const std::string& type);

  // Generic storage in the standard user defaults (every write is synchronised).
  void saveBool(bool value, const std::string& key);
  bool boolForKey(const std::string& key) const;
  void saveValue(const qv::Value& value, const std::string& key);
  qv::Value restoreValueForKey(const std::string& key) const;
  // Writes the value only when nothing is stored under the key; true when it wrote.
  bool saveDefaultBoolIfAbsent(bool value, const std::string& key);

  // Whether this process is the photo-library extension (a process-wide switch, off by default).
  static bool isPhotosExtension();
  static void setPhotosExtension(bool extension);

 private:
  std::string sessionID_;
  bool autoLensCorrectionEnabled_ = false;
  bool autoColorTemperatureEnabled_ = false;
  bool exporting_ = false;
};
