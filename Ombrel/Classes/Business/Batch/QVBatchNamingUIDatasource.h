#pragma once
// Builds export file names from a naming section and supplies the option lists of the naming
// editors. One per process (`shared()`); thread-safe.
//
// A name is [prefix "_"] base ["_" suffix] with the capitalisation applied to the whole, each part
// by its type: 1 the source file name, 2 the custom text, 3 a counter (start value + the image's
// 0-based position in the batch), 4 the current date in the part's date-format pattern, 0 nothing.
// The result is made safe as a file name (QVBatchTextHelpers::sanitizedFileName, at most
// kQVBatchFileNameMaxBytes bytes, leaving room for an extension and a collision number).
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/Batch/QVBatchSettingsNaming.h"
#include "Ombrel/Classes/Business/Batch/QVBatchTitleParams.h"
#include "Ombrel/Classes/Business/Batch/QVDateFormatPresenter.h"

// Name part types.
inline constexpr uint64_t kQVBatchNameTypeNone = 0;
inline constexpr uint64_t kQVBatchNameTypeFileName = 1;
inline constexpr uint64_t kQVBatchNameTypeCustomText = 2;
inline constexpr uint64_t kQVBatchNameTypeCounter = 3;
inline constexpr uint64_t kQVBatchNameTypeTimestamp = 4;
// Capitalisation types.
inline constexpr uint64_t kQVBatchCapitalizationLeave = 0;
inline constexpr uint64_t kQVBatchCapitalizationUpper = 1;
inline constexpr uint64_t kQVBatchCapitalizationLower = 2;
// Segments of the naming editor.
inline constexpr int64_t kQVBatchSegmentPrefix = 0;
inline constexpr int64_t kQVBatchSegmentBase = 1;
inline constexpr int64_t kQVBatchSegmentSuffix = 2;
inline constexpr int64_t kQVBatchSegmentLetters = 3;

// The longest name (in UTF-8 bytes) a pattern produces, so name, "_<n>" and extension stay well
// within the 255 bytes file systems allow.
inline constexpr size_t kQVBatchFileNameMaxBytes = 200;

class QVBatchNamingUIDatasource {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  static QVBatchNamingUIDatasource& shared();

  // The output file name (without extension) for the image named `filename` (without
  // extension) at 0-based position `number` of its batch. May be empty.
  std::string formatFilename(const std::string& filename, const QVBatchSettingsNaming& naming,
                             uint64_t number = 0) const;
  // The text of one part (not yet made safe).
  std::string applyNamingParams(const QVBatchName& part, const std::string& filename, uint64_t number) const {
    return partText(part, filename, number, now());
  }
  // Type 1 upper-cased, 2 lower-cased (Unicode, no particular language), otherwise unchanged.
  std::string applyCapitalizationParams(const QVBatchName& part, const std::string& name) const;

  // The file name, with extension, an export writes for the source file at `sourcePath`: the
  // pattern's name (or, when that is empty, the source's own name made safe, else "Image"), a dot
  // and the export type's extension (QVExportFileTypes); nothing for a type without one.
  std::optional<std::string> targetFileName(const std::string& sourcePath, const QVBatchSettingsNaming& naming,
                                            uint64_t number, const std::string& exportType) const;

  // The option list of a segment: prefix and suffix None, File Name, Custom Text, Counter,
  // Timestamp; base the same without None; letters Leave As It Is, Upper Case, Lower Case; any
  // other segment none.
  std::vector<QVBatchTitleParams> popupParamsFromOption(int64_t option) const;
  // Their titles, localised and upper-cased.
  std::vector<std::string> popupTitlesWithNameOption(int64_t option) const;
  // Index in the segment's list of the entry with that type; 0 when there is none.
  uint64_t selectedIndexForBatchNameType(uint64_t type, int64_t option) const;
  // Type of the entry at the index; nothing when the index is outside the list.
  std::optional<uint64_t> batchNameTypeForSelectedIndex(uint64_t index, int64_t option) const;

  // Prefix, Base, Suffix, Letters (tags 0-3), made once.
  const std::vector<QVBatchTitleParams>& segmentTitleParams() const { return segments_; }
  // Their titles, localised and upper-cased.
  std::vector<std::string> segmentTitles() const;

  // The timestamp choices, made once: "DDMMYYYY" ddMMyyyy, "MMDDYYYY" MMddyyyy,
  // "DD_MM_YYYY" dd_MM_yyyy, "MM_DD_YYYY" MM_dd_yyyy.
  const std::vector<QVDateFormatPresenter>& dateFormatsDatasource() const { return dateFormats_; }
  std::vector<std::string> dateTitles() const;
  std::vector<std::string> dateFormats() const;
  // The format of the choice with exactly that title.
  std::optional<std::string> dateFormatFromTitle(const std::string& title) const;
  // Index of the format; 0 when it is none of them.
  uint64_t indexOfDateFormat(const std::string& format) const;
  // The value a part gets when its type is chosen: "" for File Name and Custom Text, "0" for
  // Counter, the first date format for Timestamp, none otherwise.
  std::optional<std::string> defaultValueForBatchNameType(uint64_t type) const;

  // Where "now" comes from and the time zone dates are written in (an ICU/Olson identifier, empty
  // for the system's). For tests; an empty clock restores the system clock.
  void setClock(Clock clock);
  void setTimeZoneID(std::string zone);

  QVBatchNamingUIDatasource();

 private:
  // One name reads the clock once, so its parts never straddle midnight.
  std::string partText(const QVBatchName& part, const std::string& filename, uint64_t number,
                       std::chrono::system_clock::time_point now) const;
  std::chrono::system_clock::time_point now() const;

  std::vector<QVBatchTitleParams> segments_;
  std::vector<QVDateFormatPresenter> dateFormats_;
  mutable std::mutex mutex_;
  Clock clock_;
  std::string timeZoneID_;
};
