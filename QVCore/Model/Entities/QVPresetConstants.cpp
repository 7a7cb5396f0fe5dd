#include "QVCore/Model/Entities/QVPresetConstants.h"

#include "QVPlatform/Bundle.h"
#include "QVPlatform/PropertyList.h"

namespace {

constexpr const char* kDocumentTypesKey = "CFBundleDocumentTypes";

// The bundle's document types: the information dictionary's, else the "DocumentTypes" resource.
qv::Value documentTypes() {
  const qv::Bundle& bundle = qv::Bundle::appBundle();
  const qv::Value& fromInfo = bundle.objectForInfoDictionaryKey(kDocumentTypesKey);
  if (fromInfo.isArray()) return fromInfo;
  return qv::PropertyList::readFile(bundle.pathForResource("DocumentTypes", "plist"), nullptr)[kDocumentTypesKey];
}

}  // namespace

std::string QVPresetConstants::extensionForTypeName(const qv::Value& types, const std::string& typeName) {
  std::string extension;
  if (!types.array()) return extension;
  for (const auto& entry : *types.array()) {
    const qv::Value* name = entry.find("CFBundleTypeName");
    if (!name || !name->isString() || *name->string() != typeName) continue;
    const qv::Value* extensions = entry.find("CFBundleTypeExtensions");
    const qv::Value& first = extensions ? (*extensions)[size_t(0)] : qv::nullValue();
    extension = first.isString() ? *first.string() : std::string();
  }
  return extension;
}

const std::string& QVPresetConstants::presetFileExtension() {
  static const std::string extension = extensionForTypeName(documentTypes(), "Preset");
  return extension;
}

const std::string& QVPresetConstants::presetPackFileExtension() {
  static const std::string extension = extensionForTypeName(documentTypes(), "PresetPack");
  return extension;
}
