// The shipped catalogue of layers and effects agrees with the engine: every effect it names is made
// by the factory (a RAW identifier may fall back to the ordinary one), every parameter it describes
// exists, and every layer builds and renders over an ordinary and a RAW picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/rova/processor/ProcessorTestSupport.h"

using namespace rova;

namespace {

// Just enough of an XML property-list reader for the resource files.
struct Node {
  enum Kind { Dict, Array, String, Number, Bool } kind = String;
  std::map<std::string, Node> dict;
  std::vector<Node> array;
  std::string text;
  double number = 0;
  const Node* get(const std::string& k) const {
    auto it = dict.find(k);
    return it == dict.end() ? nullptr : &it->second;
  }
};

class PlistReader {
 public:
  explicit PlistReader(std::string s) : s_(std::move(s)) {}
  Node parse() {
    pos_ = s_.find("<plist");
    pos_ = s_.find('>', pos_) + 1;
    return value();
  }

 private:
  std::string tag() {
    pos_ = s_.find('<', pos_);
    size_t end = s_.find('>', pos_);
    std::string t = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return t;
  }
  std::string textUntil(const std::string& close) {
    size_t end = s_.find(close, pos_);
    std::string t = s_.substr(pos_, end - pos_);
    pos_ = end + close.size();
    return t;
  }
  Node value() {
    Node n;
    std::string t = tag();
    if (t == "dict") {
      n.kind = Node::Dict;
      for (;;) {
        std::string k = tag();
        if (k == "/dict") break;
        std::string key = textUntil("</key>");
        n.dict[key] = value();
      }
    } else if (t == "dict/") {
      n.kind = Node::Dict;
    } else if (t == "array") {
      n.kind = Node::Array;
      for (;;) {
        size_t save = pos_;
        if (tag() == "/array") break;
        pos_ = save;
        n.array.push_back(value());
      }
    } else if (t == "array/") {
      n.kind = Node::Array;
    } else if (t == "string") {
      n.text = textUntil("</string>");
    } else if (t == "integer" || t == "real") {
      n.kind = Node::Number;
      n.number = std::stod(textUntil("</" + t + ">"));
    } else if (t == "true/" || t == "false/") {
      n.kind = Node::Bool;
      n.number = t == "true/";
    }
    return n;
  }
  std::string s_;
  size_t pos_ = 0;
};

std::filesystem::path resources() {
  if (const char* env = std::getenv("SOLVANE_RESOURCES")) return env;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path().parent_path() /
         "Ombrel" / "Resources";
}

std::string readText(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Node readPlist(const char* name) { return PlistReader(readText(resources() / name)).parse(); }

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

// Flattens a layer description (with its sublayers) into engine layers, depth first.
void build(const Node& layers, const Node& desc, uint64_t level, bool raw, const ImagePtr& image,
           std::vector<BaseLayerPtr>& out) {
  auto layer = std::make_shared<AdjustmentLayer>(0);
  layer->setLevel(level);
  const std::string name = desc.get("Identifier") ? desc.get("Identifier")->text : "?";
  const Node* effects = raw && desc.get("EffectsRAW") ? desc.get("EffectsRAW") : desc.get("Effects");
  auto context = std::make_shared<EffectParametersContext>(image);
  for (const Node& e : effects ? effects->array : std::vector<Node>{}) {
    std::string id = e.get("Identifier")->text;
    if (raw) id = replaceAll(id, "ROVA", "ROVARaw");
    if (!EffectFactory::instance().isSupported(id)) id = replaceAll(id, "ROVARaw", "ROVA");
    auto effect = EffectFactory::instance().makeEffectWithID(id, context);
    ASSERT_TRUE(effect) << name << ": " << id;
    if (const Node* params = e.get("Parameters"))
      for (auto& [pid, pdesc] : params->dict) {
        auto list = effect->getParameters();
        const Parameter* p = findParameter(list, pid);
        ASSERT_TRUE(p) << name << ": " << id << " has no parameter " << pid;
        if (const Node* v = pdesc.get("Value")) {
          EXPECT_GE(v->number, p->minValue()) << pid;
          EXPECT_LE(v->number, p->maxValue()) << pid;
          effect->setParameterValue(pid, float(v->number));
        }
      }
    layer->addEffect(effect);
  }
  out.push_back(layer);
  if (const Node* subs = desc.get("Sublayers"))
    for (const Node& s : subs->array) build(layers, s, level + 1, raw, image, out);
  if (const Node* ids = desc.get("SublayersIdentifiers"))
    for (const Node& s : ids->array) {
      const Node* sub = layers.get(s.text);
      ASSERT_TRUE(sub) << s.text;
      build(layers, *sub, level + 1, raw, image, out);
    }
}

}  // namespace

TEST(EffectsCatalogue, EveryLayerBuildsThroughTheFactoryAndRenders) {
  const Node info = readPlist("EffectsInfo.plist");
  const Node* layers = info.get("AdjustmentLayers");
  ASSERT_TRUE(layers);
  for (const char* required : {"DevelopAdjustmentLayer", "LensCorrectionAdjustmentLayer",
                               "TextureOverlayAdjustmentLayer", "DodgeBurnAdjustmentLayer", "DodgeBurnOverlayLayer"})
    EXPECT_TRUE(layers->get(required)) << required;
  for (const Node& category : info.get("Categories")->array)
    for (const Node& id : category.get("AdjustmentLayers")->array) EXPECT_TRUE(layers->get(id.text)) << id.text;

  const Node modes = readPlist("BlendModeInfo.plist");
  std::map<std::string, std::string> modeNames;
  for (const Node& m : modes.array) modeNames[m.get("Identifier")->text] = m.get("Name")->text;
  for (const char* id : {"Normal", "Multiply", "ColorBurn", "Screen", "Overlay", "SoftLight", "Darken", "HardLight",
                         "Lighten", "Difference", "Subtract", "Luminosity", "Hue", "Color"})
    EXPECT_FALSE(modeNames[id].empty()) << id;

  OrvantaExifData rawExif;
  rawExif.isRaw = true;
  for (bool raw : {false, true}) {
    auto image = proctest::makeImage(
        48, 32, [](int x, int y, float* c) { c[0] = 0.1f + x * 0.01f, c[1] = 0.2f, c[2] = 0.05f + y * 0.01f; },
        raw ? rawExif : OrvantaExifData{});
    for (auto& [id, desc] : layers->dict) {
      std::vector<BaseLayerPtr> list;
      build(*layers, desc, 0, raw, image, list);
      if (desc.get("BlendMode")) EXPECT_TRUE(modeNames.count(desc.get("BlendMode")->text)) << id;
      auto p = proctest::makeProcessor(image);
      for (auto& l : list) p->addLayer(l);
      auto out = proctest::render(*p);
      ASSERT_TRUE(out) << id;
      EXPECT_EQ(out->width(), 48) << id;
    }
  }
}

TEST(EffectsCatalogue, LayerLimitsAndEngineConfigurationAreThere) {
  const Node limits = readPlist("QVLayerSettings.plist");
  ASSERT_TRUE(limits.get("MaxLayersCount") && limits.get("MaxFiltersCount"));
  EXPECT_GT(limits.get("MaxLayersCount")->number, 0);
  const std::string config = readText(resources() / "QVRovaConfig.json");
  for (const char* key : {"RovaFlags", "ImageReaderAppliesRAWDevelop", "ReplaceEffectIDIntoRawID",
                          "ImageReaderNewOpenMethod", "ImageReaderFineDenoise", "ImageReaderFastRawPreview"})
    EXPECT_NE(config.find(std::string("\"") + key + "\""), std::string::npos) << key;
}
