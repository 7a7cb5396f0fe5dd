#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"

#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

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

std::optional<QVAdjustmentData> QVAdjustmentData::readFromFile(const std::string& path, qv::Error* error) {
  qv::Error readError;
  const qv::Value value = qv::PropertyList::readJSONFile(path, &readError);
  if (value.isNull()) {
    qv::setError(error, readError);
    return std::nullopt;
  }
  auto record = initWithDic(value);
  if (!record) qv::setError(error, qv::Error(kErrorDomain, 1, "The file holds no adjustment record: " + path));
  return record;
}
