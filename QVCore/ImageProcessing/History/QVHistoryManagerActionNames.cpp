// Readable names of history levels. Steps keep their action names as the model wrote them
// (e.g. "Layer 1: Blend"); the fixed words of the known formats are translated, and the user's
// own names inside them only when the localisation knows them.
#include <array>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/History/QVHistorySupport.h"

namespace {

using qvhistory::componentsSeparatedBy;
using qvhistory::localized;
using qvhistory::replacingOccurrences;

constexpr std::array<const char*, 2> kTwoPartFormats = {"Preset %@: Activated", "Workspace %@: Selected"};

// The action names the layer and mask model registers, in the order they are tried.
constexpr std::array<const char*, 32> kOnePartFormats = {"%@: Duplicated",
                                                         "%@: Added Filter",
                                                         "%@: Activated",
                                                         "New Image Layer: %@",
                                                         "New Adjustment Layer: %@",
                                                         "Polygonal Mask",
                                                         "%@: Mask Enabled",
                                                         "%@: Mask Disabled",
                                                         "Add texture %@",
                                                         "%@: Delete texture",
                                                         "%@: Texture Scale Mode Changed",
                                                         "%@: Deleted",
                                                         "%@: Filters Reset",
                                                         "%@: Reset",
                                                         "%@: Enabled",
                                                         "%@: Disabled",
                                                         "%@: Opacity",
                                                         "%@: Blend",
                                                         "%@: Position Changed",
                                                         "%@: Rename",
                                                         "%@: Brush Stroke",
                                                         "%@: Brush Reset",
                                                         "%@: Mask Deleted",
                                                         "%@: Mask Cleared",
                                                         "%@: Mask Filled",
                                                         "%@: Mask Inverted",
                                                         "%@: Flipped Horizontal",
                                                         "%@: Flipped Vertical",
                                                         "%@: Mask Pasted",
                                                         "%@: Moved To Position",
                                                         "Layers Deleted",
                                                         "Tone:"};

constexpr std::array<const char*, 3> kWords = {"Adjustment Layer", "Copy of", "Changed"};

bool beginsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string withoutPlaceholders(const std::string& format) { return replacingOccurrences(format, "%@", ""); }

std::string infoText(const qv::Value& info) { return info.isString() ? *info.string() : info.description(); }

}  // namespace

std::optional<std::string> QVHistoryManager::unlocalizedActionNameOfLevel(uint64_t level) const {
  if (level == 0) return firstHistoryStepName_;
  if (level > levelCount()) return std::nullopt;
  const qv::Value& name = historyDicts_[level - 1]["actionName"];
  if (!name.isString()) return std::nullopt;
  return *name.string();
}

qv::Value QVHistoryManager::additionalInfoOfLevel(uint64_t level) const {
  if (level == 0 || level > levelCount()) return qv::Value();
  return historyDicts_[level - 1]["additionalInfo"];
}

std::optional<std::string> QVHistoryManager::actionNameOfLevel(uint64_t level) const {
  auto unlocalized = unlocalizedActionNameOfLevel(level);
  if (!unlocalized) return std::nullopt;
  std::string s = localized(*unlocalized);
  bool matched = false;
  for (const char* format : kTwoPartFormats) {
    std::string next = localizeTwoPartFormat(format, s);
    matched = matched || next != s;
    s = std::move(next);
  }
  for (const char* format : kOnePartFormats) {
    std::string next = localizeSubstring(format, s);
    matched = matched || next != s;
    s = std::move(next);
  }
  if (!matched) s = localizeString(s, ": ");
  for (const char* word : kWords) s = localizeSubstring(word, s);
  return s;
}

std::optional<std::string> QVHistoryManager::undoActionName() const {
  if (!canUndo()) return std::nullopt;
  auto name = actionNameOfLevel(level());
  const qv::Value info = additionalInfoOfLevel(level());
  if (name && !info.isNull()) return *name + " " + infoText(info);
  return name;
}

std::optional<std::string> QVHistoryManager::redoActionName() const {
  if (!canRedo()) return std::nullopt;
  auto name = actionNameOfLevel(level() + 1);
  const qv::Value info = additionalInfoOfLevel(level() + 1);
  if (name && !info.isNull()) return *name + " " + infoText(info);
  return name;
}

std::string QVHistoryManager::localizeTwoPartFormat(const std::string& format, const std::string& string) {
  const auto parts = componentsSeparatedBy(format, "%@");
  if (parts.size() != 2 || !beginsWith(string, parts[0]) || !endsWith(string, parts[1])) return string;
  const auto localizedParts = componentsSeparatedBy(localized(format), "%@");
  if (localizedParts.size() != 2) return string;
  std::string s = replacingOccurrences(string, parts[0], localizedParts[0]);
  return replacingOccurrences(s, parts[1], localizedParts[1]);
}

std::string QVHistoryManager::localizeSubstring(const std::string& format, const std::string& string) {
  const std::string core = withoutPlaceholders(format);
  const bool ends = endsWith(string, core);
  if (core.empty() || (!ends && !beginsWith(string, core))) return string;
  std::string s = string;
  const auto pieces = componentsSeparatedBy(string, ":");
  if (pieces.size() == 2) {
    const std::string name = qvhistory::trimmed(ends ? pieces[0] : pieces[1]);
    if (!name.empty()) s = replacingOccurrences(s, name, localized(name));
  }
  return replacingOccurrences(s, core, withoutPlaceholders(localized(format)));
}

std::string QVHistoryManager::localizeString(const std::string& string, const std::string& delimiter) {
  if (delimiter.empty() || string.find(delimiter) == std::string::npos) return string;
  std::string s = string;
  for (const auto& piece : componentsSeparatedBy(string, delimiter)) {
    const std::string name = qvhistory::trimmed(piece);
    if (!name.empty()) s = replacingOccurrences(s, name, localized(name));
  }
  return s;
}
