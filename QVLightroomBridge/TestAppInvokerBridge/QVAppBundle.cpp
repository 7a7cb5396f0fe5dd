#include "QVLightroomBridge/TestAppInvokerBridge/QVAppBundle.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <vector>

#include "rova/codecs/SafeFile.h"

namespace fs = std::filesystem;

std::optional<QVAppBundle> QVAppBundle::open(const std::string& folder, std::string* whyNot) {
  auto fail = [&](std::string reason) -> std::optional<QVAppBundle> {
    if (whyNot) *whyNot = std::move(reason);
    return std::nullopt;
  };
  if (folder.empty()) return fail("no folder");
  const fs::path manifest = fs::path(folder) / kManifestName;
  // A regular file of a bounded size only: nothing planted there holds or floods the launcher.
  std::vector<uint8_t> bytes;
  std::string why;
  if (!rova::codecs::readFileSafely(manifest.string(), kMaxManifestBytes, bytes, &why, /*allowEmpty=*/false)) {
    return fail(manifest.string() + " cannot be read (" + why + ")");
  }
  const auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return fail(manifest.string() + " is not a JSON object");
  const auto identifier = json.find("identifier");
  const auto executable = json.find("executable");
  if (identifier == json.end() || !identifier->is_string() || executable == json.end() || !executable->is_string() ||
      executable->get<std::string>().empty()) {
    return fail(manifest.string() + " lacks \"identifier\" or \"executable\"");
  }
  fs::path program = executable->get<std::string>();
  if (program.is_relative()) program = fs::path(folder) / program;
  return QVAppBundle{folder, identifier->get<std::string>(), program.lexically_normal().string()};
}

bool QVSameBundleIdentifier(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}
