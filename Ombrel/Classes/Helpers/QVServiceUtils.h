#pragma once
// The few service utilities of the maker's framework the application core asks for: which cameras
// and file formats the RAW library must (or must not) open, and a stable identifier of this
// machine. The camera and format lists are empty unless set (thread-safe).
#include <string>
#include <vector>

class QVServiceUtils {
 public:
  static bool isLibrawForcedCamera(const std::string& cameraModel);
  static bool isLibrawSkippedCamera(const std::string& cameraModel);
  // `format` is a lower-cased extension.
  static bool isLibrawSkippedFormat(const std::string& format);
  static void setLibrawLists(std::vector<std::string> forcedCameras, std::vector<std::string> skippedCameras,
                             std::vector<std::string> skippedFormats);

  // This machine's identifier as an upper-case UUID text: the system's machine id when there is
  // one, else an identifier made once and kept in the shared group's user defaults.
  static std::string hardwareUUID();

  // Whether a text looks like an e-mail address: "text@text.text" with one "@", no white space, and
  // no empty part around the "@" or any dot of the domain.
  static bool validateEmail(const std::string& email);
};
