#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"

#include <string_view>
#include <vector>

#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "rova/codecs/SafeFile.h"

namespace {

constexpr const char* kFormatIdentifierKey = "formatIdentifier";
constexpr const char* kFormatVersionKey = "formatVersion";
constexpr const char* kDataKey = "data";
constexpr const char* kErrorDomain = "QVContentEditing";

}  // namespace

qv::Dictionary QVAdjustmentData::dictionaryRepresentation() const {
  qv::Dictionary dictionary;
  dictionary[kFormatIdentifierKey] = formatIdentifier_;
  dictionary[kFormatVersionKey] = formatVersion_;
  dictionary[kDataKey] = data_;
  return dictionary;
}

std::optional<QVAdjustmentData> QVAdjustmentData::initWithDic(const qv::Value& dictionary) {
  if (!dictionary.isDictionary()) return std::nullopt;
  const qv::Value& identifier = dictionary[kFormatIdentifierKey];
  const qv::Value& version = dictionary[kFormatVersionKey];
  const qv::Value& data = dictionary[kDataKey];
  if (!identifier.isString() || !version.isString() || !data.isString()) return std::nullopt;
  return QVAdjustmentData(identifier.asString(), version.asString(), data.asString());
}

std::string QVAdjustmentData::jsonRepresentation() const {
  return qv::PropertyList::toJSON(qv::Value(dictionaryRepresentation()), true).value_or("{}");
}

bool QVAdjustmentData::writeToFile(const std::string& path, qv::Error* error) const {
  return qv::writeFileAtomically(path, jsonRepresentation() + "\n", error);
}

bool QVAdjustmentData::writeToNewFile(const std::string& path, qv::Error* error) const {
  rova::codecs::SafeWriteOptions options;
  options.replace = false;
  const std::string json = jsonRepresentation() + "\n";
  std::string why;
  if (rova::codecs::writeFileSafely(path, json.data(), json.size(), &why, options)) return true;
  qv::setError(error, qv::Error(kErrorDomain, 2, why));
  return false;
}

std::optional<QVAdjustmentData> QVAdjustmentData::readFromFile(const std::string& path, qv::Error* error) {
  // Bounded before anything is parsed, and only a regular file (a FIFO or a device never hangs it).
  std::vector<uint8_t> bytes;
  std::string why;
  if (!rova::codecs::readFileSafely(path, kMaxFileBytes, bytes, &why, /*allowEmpty=*/false)) {
    qv::setError(error, qv::Error(kErrorDomain, 1, "The adjustment record cannot be read: " + why));
    return std::nullopt;
  }
  qv::Error readError;
  const qv::Value value = qv::PropertyList::fromJSON(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &readError);
  if (value.isNull()) {
    qv::setError(error, readError.description.empty()
                            ? qv::Error(kErrorDomain, 1, "The file holds no adjustment record: " + path)
                            : readError);
    return std::nullopt;
  }
  auto record = initWithDic(value);
  if (!record) qv::setError(error, qv::Error(kErrorDomain, 1, "The file holds no adjustment record: " + path));
  return record;
}
