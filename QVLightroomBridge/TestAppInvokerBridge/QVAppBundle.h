#pragma once
// An installed application as the launcher sees it. Linux has no application bundles, so the
// install rule writes a small manifest beside the installed program:
//
//   <folder>/Solvane.manifest.json   {"identifier": "com.solvane.brisko", "executable": "/usr/bin/Solvane"}
//
// The folder that holds the manifest is the "bundle" (what "-QVAppBundlePath" names); a relative
// "executable" is resolved against that folder. No Qt.
#include <cstdint>
#include <optional>
#include <string>

struct QVAppBundle {
  static constexpr const char* kManifestName = "Solvane.manifest.json";
  // A manifest is two short keys; a larger file is no manifest.
  static constexpr uint64_t kMaxManifestBytes = 64 * 1024;

  std::string path;            // the folder that holds the manifest
  std::string identifier;      // "identifier" of the manifest
  std::string executablePath;  // "executable", made absolute

  // The bundle at a folder; nullopt when there is no readable manifest with both keys (the reason
  // goes to `whyNot` when given). The manifest must be a non-empty regular file (a FIFO is refused
  // without waiting) of at most kMaxManifestBytes.
  static std::optional<QVAppBundle> open(const std::string& folder, std::string* whyNot = nullptr);
};

// Bundle identifiers compare without regard to ASCII case.
bool QVSameBundleIdentifier(const std::string& a, const std::string& b);
