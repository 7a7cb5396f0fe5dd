#pragma once
// Camera profiles (".dcp" files) for the RAW develop step: the system's profile folders, the user's
// own folder "CameraProfiles" in the shared container, and one remembered default profile per
// camera in the container's "defaultDCPs.plist".
//
// On this platform the system's profile folder is "Adobe/CameraRaw/CameraProfiles" inside the
// system data folder: the first folder of $XDG_DATA_DIRS (/usr/local/share by default), or
// "<SOLVANE_HOME>/system" when SOLVANE_HOME moves every place. It is usually absent.
#include <optional>
#include <string>

#include "QVPlatform/Value.h"

inline constexpr const char* kQVDCPPathKey = "QVDCPPathKey";
inline constexpr const char* kQVDCPNameKey = "QVDCPNameKey";

class QVDCPHelper {
 public:
  // The system profile folder when it exists.
  static std::optional<std::string> systemDCPsPath();
  // The user profile folder, created when missing; nothing when it cannot be made.
  static std::optional<std::string> userDCPsPath();
  static std::string defaultDCPsPath();

  // Profile entries ({kQVDCPPathKey, kQVDCPNameKey}) that fit a camera: the "Adobe Standard" and
  // "Camera Default" profiles of that camera, then the files of the camera's own folder. Nothing
  // without a canonical name or a system folder.
  static std::optional<qv::Array> getSystemDCPsForCameraName(const std::string& make, const std::string& model);
  // Every profile in the user folder (empty when there is none).
  static qv::Array getUserDCPs();
  // getUserDCPs, listed once and kept until reloadUserDCPs.
  static qv::Array userDCPs();
  static void reloadUserDCPs();
  // Copies a profile into the user folder as "<name>.dcp", replacing a file of that name; the
  // copy's path, or nothing.
  static std::optional<std::string> copyDcpAtPath(const std::string& sourcePath, const std::string& name);

  // Remembers the description as the camera's default (nothing without a canonical name or for a
  // null description); returns it for the camera, read afresh each time.
  static void setAsDefaultDcpInfo(const qv::Value& description, const std::string& make, const std::string& model);
  static qv::Value getDefaultDcpInfoForCameraName(const std::string& make, const std::string& model);

  // make + model, canonised; nothing for an empty make.
  static std::optional<std::string> canonizeCameraName(const std::string& make, const std::string& model);
  // The text from the last occurrence of the prefix to the end, less the extension's 4 characters;
  // the whole file name when the prefix does not occur.
  static std::string dcpNameWithPrefix(const std::string& prefix, const std::string& fileName);

  // The system data folder the system profile folder lies in (see above).
  static std::string systemApplicationSupportDirectory();
};
