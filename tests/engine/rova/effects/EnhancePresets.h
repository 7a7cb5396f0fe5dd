#pragma once
// Builds the layers of a shipped enhancement preset straight on the engine, the way the
// application's layer builder does over the effects catalogue: each layer entry names a catalogue
// layer (made with its catalogue effects, values and sublayers), then the entry's enabled flag,
// blend mode and parameter values are applied to the layer's own effects. Over a RAW picture the
// engine's RAW variants ("ROVARaw...") are used where the engine has them. Header-only so the
// enhancement benchmark can use it too.
#include <plist/plist.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "rova/effects/factory/EffectFactory.h"
#include "rova/processor/ImageProcessor.h"

namespace enhance {

// A parsed property list, freed with its owner.
using Plist = std::shared_ptr<std::remove_pointer_t<plist_t>>;

inline Plist readPlist(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  plist_t root = nullptr;
  if (!text.empty()) plist_from_xml(text.data(), uint32_t(text.size()), &root);
  return Plist(root, [](plist_t p) {
    if (p) plist_free(p);
  });
}

inline plist_t get(plist_t dict, const char* key) {
  return dict && plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key) : nullptr;
}
inline std::string text(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return {};
  char* s = nullptr;
  plist_get_string_val(node, &s);
  std::string out = s ? s : "";
  free(s);
  return out;
}
inline double number(plist_t node, double fallback = 0) {
  if (!node) return fallback;
  switch (plist_get_node_type(node)) {
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return d;
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return double(int64_t(u));
    }
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return b;
    }
    default:
      return fallback;
  }
}
inline std::vector<plist_t> items(plist_t array) {
  std::vector<plist_t> out;
  if (array && plist_get_node_type(array) == PLIST_ARRAY)
    for (uint32_t i = 0; i < plist_array_get_size(array); ++i) out.push_back(plist_array_get_item(array, i));
  return out;
}
inline std::vector<std::pair<std::string, plist_t>> entries(plist_t dict) {
  std::vector<std::pair<std::string, plist_t>> out;
  if (!dict || plist_get_node_type(dict) != PLIST_DICT) return out;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(dict, &it);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, it, &key, &value);
    if (!key) break;
    out.emplace_back(key, value);
    free(key);
  }
  free(it);
  return out;
}

inline std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

inline std::filesystem::path resourcesDir() {
  if (const char* env = std::getenv("SOLVANE_RESOURCES")) return env;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path().parent_path() /
         "Ombrel" / "Resources";
}

inline rova::BlendModeType blendModeNamed(const std::string& name) {
  static const char* names[] = {"Normal",    "Multiply", "ColorBurn",  "Screen",   "Overlay",    "SoftLight", "Darken",
                                "HardLight", "Lighten",  "Difference", "Subtract", "Luminosity", "Hue",       "Color"};
  for (int i = 0; i < rova::kBlendModeCount; ++i)
    if (name == names[i]) return rova::BlendModeType(i);
  return rova::kBlendNormal;
}

class PresetBuilder {
 public:
  PresetBuilder() : catalogue_(readPlist(resourcesDir() / "EffectsInfo.plist")) {}

  // Problems met while building (unknown layer, effect or parameter); empty when all was found.
  const std::vector<std::string>& problems() const { return problems_; }

  // The engine layers (depth first, with levels) of a preset file for a picture; every effect
  // shares one context of the picture, so each analysis is made once.
  std::vector<rova::BaseLayerPtr> layers(const std::filesystem::path& presetFile, const rova::ImagePtr& image) {
    Plist preset = readPlist(presetFile);
    std::vector<rova::BaseLayerPtr> out;
    if (!preset) {
      problems_.push_back("unreadable preset " + presetFile.string());
      return out;
    }
    context_ = std::make_shared<rova::EffectParametersContext>(image);
    raw_ = image && image->exif().isRaw;
    buildEntries(get(preset.get(), "AdjustmentLayers"), 0, out);
    return out;
  }

 private:
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

// The default preset for a file, as the application picks it: RAW files and TIFF files get the
// RAW preset, everything else the JPEG one.
inline std::filesystem::path defaultPresetFor(const rova::ImagePtr& image, const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  const bool rawPreset = (image && image->exif().isRaw) || ext == ".tif" || ext == ".tiff";
  return resourcesDir() / "Presets" / (rawPreset ? "DefaultRAWPreset.slvnr" : "DefaultJpegPreset.slvnr");
}

// A processor with the picture at the bottom and the layers of the presets over it, in order.
inline std::shared_ptr<rova::ImageProcessor> enhancedProcessor(const rova::ImagePtr& image,
                                                               const std::vector<std::filesystem::path>& presets,
                                                               std::vector<std::string>* problems = nullptr) {
  auto p = std::make_shared<rova::ImageProcessor>();
  p->addLayer(std::make_shared<rova::ImageLayer>(image));
  PresetBuilder builder;
  for (auto& preset : presets)
    for (auto& layer : builder.layers(preset, image)) p->addLayer(layer);
  if (problems) *problems = builder.problems();
  return p;
}

}  // namespace enhance
