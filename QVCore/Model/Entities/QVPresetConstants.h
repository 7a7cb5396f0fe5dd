#pragma once
// The file extensions of presets and preset packs, read once from the bundle's document types:
// the information dictionary's "CFBundleDocumentTypes", or the resource "DocumentTypes.plist"
// ({"CFBundleDocumentTypes": [...]}) when the information dictionary has none. The first
// extension of the last entry named "Preset" (resp. "PresetPack"); empty when there is none.
// Kept beside the preset entities because reading and writing a preset file needs them and the
// entities must not reach up into the services.
#include <string>

#include "QVPlatform/Value.h"

class QVPresetConstants {
 public:
  static const std::string& presetFileExtension();
  static const std::string& presetPackFileExtension();
  // The extension of a type name in a document-type list (the rule above), for any list.
  static std::string extensionForTypeName(const qv::Value& documentTypes, const std::string& typeName);
};
