#include "rova/presets/PresetLayers.h"

#include "rova/effects/factory/EffectFactory.h"
#include "rova/layers/AdjustmentLayer.h"
#include "rova/layers/ImageLayer.h"
#include "rova/presets/PlistReading.h"

namespace rova::presets {

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

rova::BlendModeType blendModeNamed(const std::string& name) {
  static const char* names[] = {"Normal",    "Multiply", "ColorBurn",  "Screen",   "Overlay",    "SoftLight", "Darken",
                                "HardLight", "Lighten",  "Difference", "Subtract", "Luminosity", "Hue",       "Color"};
  for (int i = 0; i < rova::kBlendModeCount; ++i)
    if (name == names[i]) return rova::BlendModeType(i);
  return rova::kBlendNormal;
}

}  // namespace

struct PresetBuilder::Impl {
  explicit Impl(const std::filesystem::path& catalogueFile) : catalogue_(readPlist(catalogueFile)) {}

  std::vector<rova::BaseLayerPtr> layers(const std::filesystem::path& presetFile, const rova::ImagePtr& image) {
    Plist preset = readPlist(presetFile);
    std::vector<rova::BaseLayerPtr> out;
    if (!preset) {
      problems_.push_back("unreadable preset " + presetFile.string());
      return out;
    }
    context_ = rova::EffectParametersContext::forImage(image);
    raw_ = image && image->exif().isRaw;
    buildEntries(get(preset.get(), "AdjustmentLayers"), 0, out);
    return out;
  }

  void buildEntries(plist_t entriesArray, uint64_t level, std::vector<rova::BaseLayerPtr>& out) {
    for (plist_t entry : items(entriesArray)) {
      const std::string id = text(get(entry, "Identifier"));
      plist_t desc = get(get(catalogue_.get(), "AdjustmentLayers"), id.c_str());
      if (!desc) {
        problems_.push_back("unknown layer " + id);
        continue;
      }
      const size_t first = out.size();
      plist_t ownSublayers = get(entry, "Sublayers");
      buildFromCatalogue(desc, level, !ownSublayers, out);
      auto layer = std::static_pointer_cast<rova::AdjustmentLayer>(out[first]);
      if (plist_t enabled = get(entry, "Enabled")) layer->setEnabled(number(enabled) != 0);
      if (plist_t mode = get(entry, "BlendModeIdentifier")) layer->setBlendMode(blendModeNamed(text(mode)));
      for (plist_t effectEntry : items(get(entry, "Effects"))) {
        const std::string wanted = replaceAll(text(get(effectEntry, "Identifier")), "ROVARaw", "ROVA");
        bool matched = false;
        for (auto& effect : layer->effects()) {
          if (replaceAll(effect->id(), "ROVARaw", "ROVA") != wanted) continue;
          matched = true;
          const auto params = effect->getParameters();
          for (auto& [key, value] : entries(get(effectEntry, "Parameters"))) {
            const rova::Parameter* p = rova::findParameter(params, key);
            if (!p)
              problems_.push_back(id + ": " + wanted + " has no parameter " + key);
            else if (double v = number(get(value, "Value")); v < p->minValue() || v > p->maxValue())
              problems_.push_back(id + ": " + key + " out of range");
            else
              effect->setParameterValue(key, float(v));
          }
        }
        if (!matched) problems_.push_back(id + " has no effect " + wanted);
      }
      if (ownSublayers) buildEntries(get(ownSublayers, "AdjustmentLayers"), level + 1, out);
    }
  }

  void buildFromCatalogue(plist_t desc, uint64_t level, bool withSublayers, std::vector<rova::BaseLayerPtr>& out) {
    auto layer = std::make_shared<rova::AdjustmentLayer>(0);
    layer->setLevel(level);
    if (plist_t mode = get(desc, "BlendMode")) layer->setBlendMode(blendModeNamed(text(mode)));
    plist_t effects = raw_ && get(desc, "EffectsRAW") ? get(desc, "EffectsRAW") : get(desc, "Effects");
    auto& factory = rova::EffectFactory::instance();
    for (plist_t e : items(effects)) {
      std::string id = text(get(e, "Identifier"));
      if (raw_ && factory.isSupported(replaceAll(id, "ROVA", "ROVARaw"))) id = replaceAll(id, "ROVA", "ROVARaw");
      if (!factory.isSupported(id)) id = replaceAll(id, "ROVARaw", "ROVA");
      auto effect = factory.makeEffectWithID(id, context_);
      if (!effect) {
        problems_.push_back("unknown effect " + id);
        continue;
      }
      for (auto& [key, value] : entries(get(e, "Parameters")))
        if (plist_t v = get(value, "Value")) effect->setParameterValue(key, float(number(v)));
      layer->addEffect(effect);
    }
    out.push_back(layer);
    if (!withSublayers) return;
    for (plist_t sub : items(get(desc, "Sublayers"))) buildFromCatalogue(sub, level + 1, true, out);
    for (plist_t subId : items(get(desc, "SublayersIdentifiers")))
      if (plist_t sub = get(get(catalogue_.get(), "AdjustmentLayers"), text(subId).c_str()))
        buildFromCatalogue(sub, level + 1, true, out);
  }

  Plist catalogue_;
  rova::EffectParametersContextPtr context_;
  bool raw_ = false;
  std::vector<std::string> problems_;
};

PresetBuilder::PresetBuilder(const std::filesystem::path& catalogueFile)
    : impl_(std::make_unique<Impl>(catalogueFile)) {}
PresetBuilder::~PresetBuilder() = default;

const std::vector<std::string>& PresetBuilder::problems() const { return impl_->problems_; }

std::vector<BaseLayerPtr> PresetBuilder::layers(const std::filesystem::path& presetFile, const ImagePtr& image) {
  return impl_->layers(presetFile, image);
}

std::filesystem::path defaultPresetFor(const ImagePtr& image, const std::string& path,
                                       const std::filesystem::path& resourcesDir) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  const bool rawPreset = (image && image->exif().isRaw) || ext == ".tif" || ext == ".tiff";
  return resourcesDir / "Presets" / (rawPreset ? "DefaultRAWPreset.slvnr" : "DefaultJpegPreset.slvnr");
}

std::shared_ptr<ImageProcessor> enhancedProcessor(const ImagePtr& image,
                                                  const std::vector<std::filesystem::path>& presets,
                                                  const std::filesystem::path& resourcesDir,
                                                  std::vector<std::string>* problems) {
  auto p = std::make_shared<ImageProcessor>();
  p->addLayer(std::make_shared<ImageLayer>(image));
  PresetBuilder builder(resourcesDir / "EffectsInfo.plist");
  for (auto& preset : presets)
    for (auto& layer : builder.layers(preset, image)) p->addLayer(layer);
  if (problems) *problems = builder.problems();
  return p;
}

}  // namespace rova::presets
