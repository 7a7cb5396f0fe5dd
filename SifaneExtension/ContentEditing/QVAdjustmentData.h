#pragma once
// The record an edit leaves with its rendered photo, so a host can tell later who made the edit
// and whether the same editor could take it up again: a format identifier (the editor's
// identifier), a format version and the editor's own data.
//
// On disk (the host keeps it beside the rendering) the record is a JSON object
// {"formatIdentifier": text, "formatVersion": text, "data": text}; the data is carried as UTF-8 text.
// A file whose object lacks one of the three texts is no record.
//
// A value type; any thread.
#include <cstdint>
#include <optional>
#include <string>

#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

class QVAdjustmentData {
 public:
  QVAdjustmentData() = default;
  QVAdjustmentData(std::string formatIdentifier, std::string formatVersion, std::string data)
      : formatIdentifier_(std::move(formatIdentifier)),
        formatVersion_(std::move(formatVersion)),
        data_(std::move(data)) {}

  const std::string& formatIdentifier() const { return formatIdentifier_; }
  const std::string& formatVersion() const { return formatVersion_; }
  // The editor's bytes.
  const std::string& data() const { return data_; }

  bool operator==(const QVAdjustmentData&) const = default;

  // {"formatIdentifier", "formatVersion", "data"}.
  qv::Dictionary dictionaryRepresentation() const;
  // None when a key is missing or not text.
  static std::optional<QVAdjustmentData> initWithDic(const qv::Value& dictionary);

  // Pretty-printed JSON of the dictionary.
  std::string jsonRepresentation() const;
  // Written atomically (a temporary file renamed into place); false with the reason in `error`.
  bool writeToFile(const std::string& path, qv::Error* error = nullptr) const;
  // The same, but only while the name is free: a file (or a link) already there is left as it was
  // and the write fails.
  bool writeToNewFile(const std::string& path, qv::Error* error = nullptr) const;
  // Records are a few hundred bytes; a file larger than this is refused before it is parsed.
  static constexpr uint64_t kMaxFileBytes = 1 << 20;
  // None (with the reason in `error`) when the file is not a regular file, is empty or larger than
  // kMaxFileBytes, cannot be read or holds no record.
  static std::optional<QVAdjustmentData> readFromFile(const std::string& path, qv::Error* error = nullptr);

 private:
  std::string formatIdentifier_;
  std::string formatVersion_;
  std::string data_;
};
