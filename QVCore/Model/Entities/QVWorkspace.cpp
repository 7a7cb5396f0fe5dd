#include "QVCore/Model/Entities/QVWorkspace.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Localization.h"

namespace {

std::string readString(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  return v && v->isString() ? *v->string() : std::string();
}

bool readBool(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  return v && v->isNumber() ? v->asBool() : false;
}

// "Order" is a 32-bit integer; anything else (text, a fraction, out of range) reads as 0.
int64_t readOrder(const qv::Value& d) {
  const qv::Value* v = d.find(kQVWorkspaceOrderKey);
  if (!v || !(v->isInteger() || v->isReal())) return 0;
  const double x = v->asDouble();
  if (!std::isfinite(x) || x != std::trunc(x) || x < INT32_MIN || x > INT32_MAX) return 0;
  return static_cast<int32_t>(x);
}

}  // namespace

QVWorkspace::QVWorkspace(const qv::Value& d)
    : identifier_(readString(d, kQVWorkspaceIdentifierKey)),
      name_(readString(d, kQVWorkspaceNameKey)),
      expanded_(readBool(d, kQVWorkspaceExpandedKey)),
      editable_(readBool(d, kQVWorkspaceEditableKey)),
      order_(readOrder(d)) {}

std::shared_ptr<QVWorkspace> QVWorkspace::workspaceWithName(const std::string& name,
                                                            std::vector<std::shared_ptr<QVIPLayer>> layers) {
  auto w = std::make_shared<QVWorkspace>();
  w->identifier_ = qv::uuidString();
  w->name_ = name;
  w->subLayers_ = std::move(layers);
  w->expanded_ = true;
  w->editable_ = true;
  w->order_ = 0;
  return w;
}

std::shared_ptr<QVWorkspace> QVWorkspace::workspaceWithWithDic(const qv::Value& dictionary,
                                                               const QVWorkspaceLayerMaker& makeLayer) {
  auto w = std::make_shared<QVWorkspace>(dictionary);
  if (const qv::Array* ids = dictionary[kQVWorkspaceIdentifierLayersKey].array()) {
    for (const qv::Value& id : *ids) {
      if (!id.isString() || !makeLayer) continue;
      if (auto layer = makeLayer(*id.string())) w->subLayers_.push_back(std::move(layer));
    }
  }
  return w;
}

qv::Value QVWorkspace::serialize() const {
  qv::Array ids;
  for (const auto& layer : subLayers_)
    if (layer && !layer->hidden()) ids.push_back(layer->identifier());
  qv::Value d;
  d.set(kQVWorkspaceIdentifierKey, identifier_);
  d.set(kQVWorkspaceNameKey, name_);
  d.set(kQVWorkspaceExpandedKey, expanded_);
  d.set(kQVWorkspaceEditableKey, editable_);
  d.set(kQVWorkspaceOrderKey, order_);
  d.set(kQVWorkspaceIdentifierLayersKey, std::move(ids));
  return d;
}

namespace {
std::mutex bundleReaderMutex;
std::function<std::vector<qv::Value>()>& bundleReader() {
  static std::function<std::vector<qv::Value>()> reader;
  return reader;
}
}  // namespace

void QVWorkspace::setBundleWorkspaceReader(std::function<std::vector<qv::Value>()> reader) {
  std::lock_guard<std::mutex> lock(bundleReaderMutex);
  bundleReader() = std::move(reader);
}

std::vector<std::string> QVWorkspace::bundleWorkspaceIdentifiers() {
  std::function<std::vector<qv::Value>()> reader;
  {
    std::lock_guard<std::mutex> lock(bundleReaderMutex);
    reader = bundleReader();
  }
  std::vector<std::string> ids;
  if (!reader) return ids;
  for (const qv::Value& d : reader()) {
    std::string id = readString(d, kQVWorkspaceIdentifierKey);
    if (!id.empty()) ids.push_back(std::move(id));
  }
  return ids;
}

std::string QVWorkspace::localizedName() {
  if (!localizedName_) {
    const auto shipped = bundleWorkspaceIdentifiers();
    const bool isShipped = std::find(shipped.begin(), shipped.end(), identifier_) != shipped.end();
    localizedName_ = isShipped ? qv::QVSLocalization::localizedStringForKey(name_) : name_;
  }
  return *localizedName_;
}
