#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"

#include <algorithm>
#include <filesystem>

#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "Ombrel/Classes/Business/Batch/QVExportFileTypes.h"

QVBatchNamingUIDatasource& QVBatchNamingUIDatasource::shared() {
  return qvSingleton<QVBatchNamingUIDatasource>("QVBatchNamingUIDatasource");
}

QVBatchNamingUIDatasource::QVBatchNamingUIDatasource()
    : segments_{{kQVBatchSegmentPrefix, "Prefix"},
                {kQVBatchSegmentBase, "Base"},
                {kQVBatchSegmentSuffix, "Suffix"},
                {kQVBatchSegmentLetters, "Letters"}},
      dateFormats_{{"DDMMYYYY", "ddMMyyyy"},
                   {"MMDDYYYY", "MMddyyyy"},
                   {"DD_MM_YYYY", "dd_MM_yyyy"},
                   {"MM_DD_YYYY", "MM_dd_yyyy"}} {}

std::string QVBatchNamingUIDatasource::formatFilename(const std::string& filename, const QVBatchSettingsNaming& naming,
                                                      uint64_t number) const {
  std::string name;
  if (std::string prefix = applyNamingParams(*naming.prefix(), filename, number); !prefix.empty()) name = prefix + "_";
  name += applyNamingParams(*naming.base(), filename, number);
  if (std::string suffix = applyNamingParams(*naming.suffix(), filename, number); !suffix.empty()) name += "_" + suffix;
  name = applyCapitalizationParams(*naming.capitalization(), name);
  return QVBatchTextHelpers::sanitizedFileName(name, kQVBatchFileNameMaxBytes);
}

std::chrono::system_clock::time_point QVBatchNamingUIDatasource::now() const {
  Clock clock;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clock = clock_;
  }
  return clock ? clock() : std::chrono::system_clock::now();
}

std::string QVBatchNamingUIDatasource::partText(const QVBatchName& part, const std::string& filename, uint64_t number,
                                                std::chrono::system_clock::time_point now) const {
  switch (part.type()) {
    case kQVBatchNameTypeFileName:
      return filename;
    case kQVBatchNameTypeCustomText:
      return part.value().value_or("");
    case kQVBatchNameTypeCounter: {
      if (!part.value()) return "0";
      // A start below zero counts from zero, and the sum stops at the largest number rather than
      // wrapping round, so a counter never turns into a huge or repeating number.
      int64_t start = std::max<int64_t>(0, QVBatchTextHelpers::integerFromString(*part.value()).value_or(0));
      uint64_t sum = number > UINT64_MAX - uint64_t(start) ? UINT64_MAX : number + uint64_t(start);
      return std::to_string(sum);
    }
    case kQVBatchNameTypeTimestamp: {
      std::string zone;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        zone = timeZoneID_;
      }
      return QVBatchTextHelpers::stringFromDate(now, part.value().value_or(""), zone);
    }
    default:
      return {};
  }
}

std::string QVBatchNamingUIDatasource::applyCapitalizationParams(const QVBatchName& part,
                                                                 const std::string& name) const {
  switch (part.type()) {
    case kQVBatchCapitalizationUpper:
      return QVBatchTextHelpers::uppercaseString(name);
    case kQVBatchCapitalizationLower:
      return QVBatchTextHelpers::lowercaseString(name);
    default:
      return name;
  }
}

std::optional<std::string> QVBatchNamingUIDatasource::targetFileName(const std::string& sourcePath,
                                                                     const QVBatchSettingsNaming& naming,
                                                                     uint64_t number,
                                                                     const std::string& exportType) const {
  auto extension = QVExportFileTypes::extensionForType(exportType);
  if (!extension) return std::nullopt;
  std::string base = std::filesystem::path(sourcePath).stem().string();
  std::string name = formatFilename(base, naming, number);
  if (name.empty()) name = QVBatchTextHelpers::sanitizedFileName(base, kQVBatchFileNameMaxBytes);
  if (name.empty()) name = "Image";
  return name + "." + *extension;
}

std::vector<QVBatchTitleParams> QVBatchNamingUIDatasource::popupParamsFromOption(int64_t option) const {
  switch (option) {
    case kQVBatchSegmentPrefix:
    case kQVBatchSegmentSuffix:
      return {{0, "None"}, {1, "File Name"}, {2, "Custom Text"}, {3, "Counter"}, {4, "Timestamp"}};
    case kQVBatchSegmentBase:
      return {{1, "File Name"}, {2, "Custom Text"}, {3, "Counter"}, {4, "Timestamp"}};
    case kQVBatchSegmentLetters:
      return {{0, "Leave As It Is"}, {1, "Upper Case"}, {2, "Lower Case"}};
    default:
      return {};
  }
}

std::vector<std::string> QVBatchNamingUIDatasource::popupTitlesWithNameOption(int64_t option) const {
  return QVBatchTitleParams::localizedUppercaseTitles(popupParamsFromOption(option));
}

uint64_t QVBatchNamingUIDatasource::selectedIndexForBatchNameType(uint64_t type, int64_t option) const {
  auto params = popupParamsFromOption(option);
  auto it = std::find_if(params.begin(), params.end(), [&](const auto& p) { return uint64_t(p.tag) == type; });
  return it == params.end() ? 0 : uint64_t(it - params.begin());
}

std::optional<uint64_t> QVBatchNamingUIDatasource::batchNameTypeForSelectedIndex(uint64_t index, int64_t option) const {
  auto params = popupParamsFromOption(option);
  if (index >= params.size()) return std::nullopt;
  return uint64_t(params[index].tag);
}

std::vector<std::string> QVBatchNamingUIDatasource::segmentTitles() const {
  return QVBatchTitleParams::localizedUppercaseTitles(segments_);
}

std::vector<std::string> QVBatchNamingUIDatasource::dateTitles() const {
  std::vector<std::string> titles;
  for (const auto& d : dateFormats_) titles.push_back(d.title);
  return titles;
}

std::vector<std::string> QVBatchNamingUIDatasource::dateFormats() const {
  std::vector<std::string> formats;
  for (const auto& d : dateFormats_) formats.push_back(d.format);
  return formats;
}

std::optional<std::string> QVBatchNamingUIDatasource::dateFormatFromTitle(const std::string& title) const {
  for (const auto& d : dateFormats_)
    if (d.title == title) return d.format;
  return std::nullopt;
}

uint64_t QVBatchNamingUIDatasource::indexOfDateFormat(const std::string& format) const {
  for (size_t i = 0; i < dateFormats_.size(); ++i)
    if (dateFormats_[i].format == format) return i;
  return 0;
}

std::optional<std::string> QVBatchNamingUIDatasource::defaultValueForBatchNameType(uint64_t type) const {
  switch (type) {
    case kQVBatchNameTypeFileName:
    case kQVBatchNameTypeCustomText:
      return std::string();
    case kQVBatchNameTypeCounter:
      return std::string("0");
    case kQVBatchNameTypeTimestamp:
      return dateFormats_.front().format;
    default:
      return std::nullopt;
  }
}

void QVBatchNamingUIDatasource::setClock(Clock clock) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(clock);
}

void QVBatchNamingUIDatasource::setTimeZoneID(std::string zone) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeZoneID_ = std::move(zone);
}
