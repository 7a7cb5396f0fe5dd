#include "QVCore/ImageProcessing/Layers/QVBlendMode.h"

#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"

namespace {

std::string resourcePath() { return qv::Bundle::mainBundle().pathForResource("BlendModeInfo", "plist"); }

}  // namespace

QVBlendMode::QVBlendMode() : identifier_("Normal"), name_("Normal") {}

QVBlendMode::QVBlendMode(std::string identifier, std::string name)
    : identifier_(std::move(identifier)), name_(std::move(name)) {}

void QVBlendMode::enumerateBlendModesUsingBlock(const EnumerationBlock& block) {
  enumerateBlendModesAtPath(resourcePath(), block);
}

void QVBlendMode::enumerateBlendModesAtPath(const std::string& path, const EnumerationBlock& block) {
  if (path.empty()) {
    QV_LOG_FAILURE("[NSBundle pathForResource:BlendModeInfo ofType:plist] == nil");
    return;
  }
  qv::Error error;
  qv::Value root = qv::PropertyList::readFile(path, &error);
  const qv::Array* elements = root.array();
  if (!elements) {
    QV_LOG_FAILURE("[NSArray arrayWithContentsOfFile:" + path + "] == nil");
    return;
  }
  bool stop = false;
  for (size_t i = 0; i < elements->size() && !stop; ++i) block((*elements)[i], i, stop);
}

std::vector<std::shared_ptr<QVBlendMode>> QVBlendMode::blendModesFromFile(const std::string& path) {
  std::vector<std::shared_ptr<QVBlendMode>> modes;
  enumerateBlendModesAtPath(path, [&modes](const qv::Value& element, size_t, bool&) {
    const qv::Value& identifier = element["Identifier"];
    const qv::Value& name = element["Name"];
    if (qv::isEmpty(identifier) || qv::isEmpty(name))
      modes.push_back(nullptr);
    else
      modes.push_back(initWithIdentifier(identifier.asString(), name.asString()));
  });
  return modes;
}

const std::vector<std::shared_ptr<QVBlendMode>>& QVBlendMode::blendModeInstances() {
  static const std::vector<std::shared_ptr<QVBlendMode>> instances = blendModesFromFile(resourcePath());
  return instances;
}

std::shared_ptr<QVBlendMode> QVBlendMode::blendModeWithIdentifier(const std::string& identifier) {
  for (const auto& mode : blendModeInstances())
    if (mode && mode->identifier() == identifier) return mode;
  return nullptr;
}
