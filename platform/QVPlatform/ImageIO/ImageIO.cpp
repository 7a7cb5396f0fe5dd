#include "QVPlatform/ImageIO/ImageIO.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "rova/codecs/Codecs.h"
#include "rova/codecs/SafeFile.h"
#include "rova/reader/ImageReader.h"

namespace codecs = rova::codecs;

namespace {

// How a metadata entry appears in a property dictionary.
enum class Kind { Number, Int, IntArray, NumberArray, String, StringArray, Coordinate, Time };

struct Field {
  const char* exiv;
  const char* dict;  // nested dictionary, or "" for the top level
  const char* key;
  Kind kind;
};

constexpr Field kFields[] = {
    {"Exif.Photo.ISOSpeedRatings", "{Exif}", "ISOSpeedRatings", Kind::IntArray},
    {"Exif.Photo.ISOSpeed", "{Exif}", "ISOSpeed", Kind::Int},
    {"Exif.Photo.ExposureTime", "{Exif}", "ExposureTime", Kind::Number},
    {"Exif.Photo.FNumber", "{Exif}", "FNumber", Kind::Number},
    {"Exif.Photo.FocalLength", "{Exif}", "FocalLength", Kind::Number},
    {"Exif.Photo.FocalLengthIn35mmFilm", "{Exif}", "FocalLenIn35mmFilm", Kind::Int},
    {"Exif.Photo.ExposureBiasValue", "{Exif}", "ExposureBiasValue", Kind::Number},
    {"Exif.Photo.ShutterSpeedValue", "{Exif}", "ShutterSpeedValue", Kind::Number},
    {"Exif.Photo.ApertureValue", "{Exif}", "ApertureValue", Kind::Number},
    {"Exif.Photo.MaxApertureValue", "{Exif}", "MaxApertureValue", Kind::Number},
    {"Exif.Photo.BrightnessValue", "{Exif}", "BrightnessValue", Kind::Number},
    {"Exif.Photo.ExposureProgram", "{Exif}", "ExposureProgram", Kind::Int},
    {"Exif.Photo.ExposureMode", "{Exif}", "ExposureMode", Kind::Int},
    {"Exif.Photo.WhiteBalance", "{Exif}", "WhiteBalance", Kind::Int},
    {"Exif.Photo.MeteringMode", "{Exif}", "MeteringMode", Kind::Int},
    {"Exif.Photo.Flash", "{Exif}", "Flash", Kind::Int},
    {"Exif.Photo.SceneCaptureType", "{Exif}", "SceneCaptureType", Kind::Int},
    {"Exif.Photo.DateTimeOriginal", "{Exif}", "DateTimeOriginal", Kind::String},
    {"Exif.Photo.DateTimeDigitized", "{Exif}", "DateTimeDigitized", Kind::String},
    {"Exif.Photo.SubSecTimeOriginal", "{Exif}", "SubsecTimeOriginal", Kind::String},
    {"Exif.Photo.LensModel", "{Exif}", "LensModel", Kind::String},
    {"Exif.Photo.LensMake", "{Exif}", "LensMake", Kind::String},
    {"Exif.Photo.LensSpecification", "{Exif}", "LensSpecification", Kind::NumberArray},
    {"Exif.Photo.BodySerialNumber", "{Exif}", "BodySerialNumber", Kind::String},
    {"Exif.Photo.ColorSpace", "{Exif}", "ColorSpace", Kind::Int},
    {"Exif.Photo.PixelXDimension", "{Exif}", "PixelXDimension", Kind::Int},
    {"Exif.Photo.PixelYDimension", "{Exif}", "PixelYDimension", Kind::Int},
    {"Exif.Image.Make", "{TIFF}", "Make", Kind::String},
    {"Exif.Image.Model", "{TIFF}", "Model", Kind::String},
    {"Exif.Image.Orientation", "{TIFF}", "Orientation", Kind::Int},
    {"Exif.Image.DateTime", "{TIFF}", "DateTime", Kind::String},
    {"Exif.Image.Software", "{TIFF}", "Software", Kind::String},
    {"Exif.Image.Artist", "{TIFF}", "Artist", Kind::String},
    {"Exif.Image.Copyright", "{TIFF}", "Copyright", Kind::String},
    {"Exif.Image.ImageDescription", "{TIFF}", "ImageDescription", Kind::String},
    {"Exif.Image.XResolution", "{TIFF}", "XResolution", Kind::Number},
    {"Exif.Image.YResolution", "{TIFF}", "YResolution", Kind::Number},
    {"Exif.Image.ResolutionUnit", "{TIFF}", "ResolutionUnit", Kind::Int},
    {"Exif.GPSInfo.GPSLatitudeRef", "{GPS}", "LatitudeRef", Kind::String},
    {"Exif.GPSInfo.GPSLatitude", "{GPS}", "Latitude", Kind::Coordinate},
    {"Exif.GPSInfo.GPSLongitudeRef", "{GPS}", "LongitudeRef", Kind::String},
    {"Exif.GPSInfo.GPSLongitude", "{GPS}", "Longitude", Kind::Coordinate},
    {"Exif.GPSInfo.GPSAltitudeRef", "{GPS}", "AltitudeRef", Kind::Int},
    {"Exif.GPSInfo.GPSAltitude", "{GPS}", "Altitude", Kind::Number},
    {"Exif.GPSInfo.GPSTimeStamp", "{GPS}", "TimeStamp", Kind::Time},
    {"Exif.GPSInfo.GPSDateStamp", "{GPS}", "DateStamp", Kind::String},
    {"Exif.GPSInfo.GPSImgDirectionRef", "{GPS}", "ImgDirectionRef", Kind::String},
    {"Exif.GPSInfo.GPSImgDirection", "{GPS}", "ImgDirection", Kind::Number},
    {"Exif.GPSInfo.GPSSpeedRef", "{GPS}", "SpeedRef", Kind::String},
    {"Exif.GPSInfo.GPSSpeed", "{GPS}", "Speed", Kind::Number},
    {"Iptc.Application2.Keywords", "{IPTC}", "Keywords", Kind::StringArray},
    {"Iptc.Application2.Caption", "{IPTC}", "Caption/Abstract", Kind::String},
    {"Iptc.Application2.ObjectName", "{IPTC}", "ObjectName", Kind::String},
    {"Iptc.Application2.Headline", "{IPTC}", "Headline", Kind::String},
    {"Iptc.Application2.Byline", "{IPTC}", "By-line", Kind::StringArray},
    {"Iptc.Application2.Copyright", "{IPTC}", "CopyrightNotice", Kind::String},
    {"Iptc.Application2.Credit", "{IPTC}", "Credit", Kind::String},
    {"Iptc.Application2.Source", "{IPTC}", "Source", Kind::String},
    {"Iptc.Application2.City", "{IPTC}", "City", Kind::String},
    {"Iptc.Application2.SubLocation", "{IPTC}", "SubLocation", Kind::String},
    {"Iptc.Application2.ProvinceState", "{IPTC}", "Province/State", Kind::String},
    {"Iptc.Application2.CountryName", "{IPTC}", "Country/PrimaryLocationName", Kind::String},
    {"Iptc.Application2.DateCreated", "{IPTC}", "DateCreated", Kind::String},
    {"Iptc.Application2.SpecialInstructions", "{IPTC}", "SpecialInstructions", Kind::String},
    {"Iptc.Application2.Writer", "{IPTC}", "Writer/Editor", Kind::String},
};

std::string formatNumber(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// Writes a value into a nested dictionary of `root`, making the dictionary when needed.
void put(qv::Value& root, const char* dict, const char* key, qv::Value v) {
  if (!*dict) {
    root.set(key, std::move(v));
    return;
  }
  if (!root.find(dict) || !root[dict].isDictionary()) root.set(dict, qv::Dictionary{});
  root.dictionary()->at(dict).set(key, std::move(v));
}

// Merges b into a: nested dictionaries key by key, everything else replaced.
void merge(qv::Value& a, const qv::Value& b) {
  if (!b.isDictionary()) return;
  if (!a.isDictionary()) a = qv::Dictionary{};
  for (const auto& [k, v] : *b.dictionary()) {
    qv::Value* existing = a.dictionary()->count(k) ? &a.dictionary()->at(k) : nullptr;
    if (existing && existing->isDictionary() && v.isDictionary())
      merge(*existing, v);
    else
      a.set(k, v);
  }
}

// The EXIF directories whose other tags (those kFields does not name) a property dictionary
// carries under their exiv2 tag names, in the section of their directory ("Exif.Photo.LightSource"
// as {Exif} "LightSource", "Exif.GPSInfo.GPSMapDatum" as {GPS} "MapDatum").
struct ExifDirectory {
  const char* group;      // exiv2 key prefix
  const char* dict;       // property section
  const char* tagPrefix;  // left out of the section's key
};
constexpr ExifDirectory kExifDirectories[] = {
    {"Exif.Image.", kCGImagePropertyTIFFDictionary, ""},
    {"Exif.Photo.", kCGImagePropertyExifDictionary, ""},
    {"Exif.GPSInfo.", kCGImagePropertyGPSDictionary, "GPS"},
};

bool namedByTable(const char* dict, const std::string& key) {
  return std::any_of(std::begin(kFields), std::end(kFields),
                     [&](const Field& f) { return std::strcmp(f.dict, dict) == 0 && key == f.key; });
}

// A number as the dictionaries hold it: an integer when it is one.
qv::Value numberValue(double x) {
  if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) < 9.0e15) return qv::Value(int64_t(x));
  return qv::Value(x);
}

// Adds the EXIF entries kFields does not name and a written picture may carry (see
// codecs::isCarriedExifKey) to their sections; a value a section holds already stays.
void putOtherExifEntries(qv::Value& root, const std::vector<rova::MetadataEntry>& entries) {
  for (const auto& e : entries) {
    if (!e.bytes.empty() || !codecs::isCarriedExifKey(e.key)) continue;
    // exiv2 hands over at most 64 numbers of an entry: a longer one is left out, never cut short.
    if (e.isNumeric && (e.numbers.empty() || e.numbers.size() >= 64)) continue;
    for (const auto& d : kExifDirectories) {
      if (e.key.rfind(d.group, 0) != 0) continue;
      std::string name = e.key.substr(std::strlen(d.group));
      if (*d.tagPrefix && name.rfind(d.tagPrefix, 0) == 0) name.erase(0, std::strlen(d.tagPrefix));
      if (name.empty() || namedByTable(d.dict, name)) break;
      const qv::Value* section = root.find(d.dict);
      if (section && section->find(name)) break;
      qv::Value v;
      if (!e.isNumeric) {
        v = e.text;
      } else if (e.numbers.size() == 1) {
        v = numberValue(e.numbers[0]);
      } else {
        qv::Array a;
        for (double x : e.numbers) a.push_back(numberValue(x));
        v = std::move(a);
      }
      put(root, d.dict, name.c_str(), std::move(v));
      break;
    }
  }
}

// The entries for the section values kFields does not name that are EXIF tags a written picture
// may carry.
void addOtherExifEntries(std::vector<rova::MetadataEntry>& out, const qv::Value& props) {
  for (const auto& d : kExifDirectories) {
    const qv::Value* section = props.find(d.dict);
    if (!section || !section->isDictionary()) continue;
    for (const auto& [name, v] : *section->dictionary()) {
      if (namedByTable(d.dict, name)) continue;
      const std::string key = std::string(d.group) + d.tagPrefix + name;
      if (!codecs::isCarriedExifKey(key)) continue;
      rova::MetadataEntry e{key, {}, {}, false};
      if (v.isNumber()) {
        e.numbers = {v.asDouble()};
      } else if (v.isArray() && !v.array()->empty() &&
                 std::all_of(v.array()->begin(), v.array()->end(), [](const qv::Value& x) { return x.isNumber(); })) {
        for (const auto& x : *v.array()) e.numbers.push_back(x.asDouble());
      } else if (v.isString()) {
        e.text = v.asString();
      } else {
        continue;
      }
      e.isNumeric = !e.numbers.empty();
      for (double x : e.numbers) e.text += (e.text.empty() ? "" : " ") + formatNumber(x);
      out.push_back(std::move(e));
    }
  }
}

}  // namespace

namespace qv {

Value propertiesFromMetadata(const rova::ImageMetadata& m) {
  Value root = Dictionary{};
  if (!m.pixelSize.isZero()) {
    root.set(kCGImagePropertyPixelWidth, m.pixelSize.width);
    root.set(kCGImagePropertyPixelHeight, m.pixelSize.height);
  }
  if (m.bitsPerSample) root.set(kCGImagePropertyDepth, m.bitsPerSample);
  root.set(kCGImagePropertyColorModel, m.samplesPerPixel == 1 || m.samplesPerPixel == 2
                                           ? kCGImagePropertyColorModelGray
                                           : kCGImagePropertyColorModelRGB);
  root.set(kCGImagePropertyHasAlpha, m.hasAlpha);
  if (m.isFloat) root.set(kCGImagePropertyIsFloat, true);
  if (!m.iccProfile.empty())
    if (auto cs = rova::createColorSpaceFromICC(m.iccProfile.data(), m.iccProfile.size()))
      root.set(kCGImagePropertyProfileName, cs->name());
  for (const auto& f : kFields) {
    for (const auto& e : m.entries) {
      if (e.key != f.exiv) continue;
      switch (f.kind) {
        case Kind::Number:
          if (!e.numbers.empty()) put(root, f.dict, f.key, e.numbers[0]);
          break;
        case Kind::Int:
          if (!e.numbers.empty()) put(root, f.dict, f.key, int64_t(std::llround(e.numbers[0])));
          break;
        case Kind::IntArray:
        case Kind::NumberArray: {
          Array a;
          for (double x : e.numbers) {
            if (f.kind == Kind::IntArray)
              a.emplace_back(int64_t(std::llround(x)));
            else
              a.emplace_back(x);
          }
          put(root, f.dict, f.key, std::move(a));
          break;
        }
        case Kind::String:
          put(root, f.dict, f.key, e.text);
          break;
        case Kind::StringArray: {
          const Value* d = *f.dict ? root.find(f.dict) : &root;
          Array a;
          if (d && d->find(f.key) && (*d)[f.key].isArray()) a = *(*d)[f.key].array();
          a.push_back(e.text);
          put(root, f.dict, f.key, std::move(a));
          break;
        }
        case Kind::Coordinate:
          if (e.numbers.size() >= 3) put(root, f.dict, f.key, e.numbers[0] + e.numbers[1] / 60 + e.numbers[2] / 3600);
          break;
        case Kind::Time:
          if (e.numbers.size() >= 3) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%02d:%02d:%05.2f", int(e.numbers[0]), int(e.numbers[1]), e.numbers[2]);
            put(root, f.dict, f.key, std::string(buf));
          }
          break;
      }
    }
  }
  putOtherExifEntries(root, m.entries);
  for (const auto& e : m.entries) {
    if (e.key == rova::kMakerNoteKey && !e.bytes.empty()) {
      put(root, kCGImagePropertyExifDictionary, kQVImagePropertyExifMakerNote, Bytes(e.bytes));
    } else if (e.key.rfind("Xmp.", 0) == 0) {
      Value v = e.text;
      if (!e.items.empty()) {
        Array a;
        for (const auto& item : e.items) a.push_back(item);
        v = std::move(a);
      }
      put(root, kQVImagePropertyXMPDictionary, e.key.c_str() + 4, std::move(v));
    }
  }
  // The orientation also stands at the top level when the file states one.
  if (const Value* tiff = root.find(kCGImagePropertyTIFFDictionary); tiff && tiff->find("Orientation"))
    root.set(kCGImagePropertyOrientation, (*tiff)["Orientation"]);
  else if (m.exif.orientation != 1)
    root.set(kCGImagePropertyOrientation, m.exif.orientation);
  if (const Value* tiff = root.find(kCGImagePropertyTIFFDictionary)) {
    if (tiff->find("XResolution")) root.set(kCGImagePropertyDPIWidth, (*tiff)["XResolution"]);
    if (tiff->find("YResolution")) root.set(kCGImagePropertyDPIHeight, (*tiff)["YResolution"]);
  }
  return root;
}

Value propertiesForImage(const CGImageRef& image) {
  if (!image) return {};
  Value root = Dictionary{};
  root.set(kCGImagePropertyPixelWidth, int64_t(image->width));
  root.set(kCGImagePropertyPixelHeight, int64_t(image->height));
  root.set(kCGImagePropertyDepth, int64_t(image->bitsPerComponent));
  root.set(kCGImagePropertyColorModel,
           image->colorComponents() == 1 ? kCGImagePropertyColorModelGray : kCGImagePropertyColorModelRGB);
  root.set(kCGImagePropertyHasAlpha, image->hasAlpha());
  if (image->isFloat()) root.set(kCGImagePropertyIsFloat, true);
  if (image->colorSpace && image->colorSpace->space)
    root.set(kCGImagePropertyProfileName, image->colorSpace->space->name());
  root.set(kCGImagePropertyOrientation, int64_t(1));
  root.set(kCGImagePropertyDPIWidth, 72.0);
  root.set(kCGImagePropertyDPIHeight, 72.0);
  root.set(kCGImagePropertyTIFFDictionary, Dictionary{{kCGImagePropertyTIFFOrientation, Value(int64_t(1))},
                                                      {"XResolution", Value(72.0)},
                                                      {"YResolution", Value(72.0)},
                                                      {"ResolutionUnit", Value(int64_t(2))}});
  return root;
}

std::vector<rova::MetadataEntry> metadataFromProperties(const Value& props) {
  std::vector<rova::MetadataEntry> out;
  if (!props.isDictionary()) return out;
  auto numeric = [](const char* key, std::vector<double> nums) {
    rova::MetadataEntry e{key, {}, std::move(nums), true};
    for (double x : e.numbers) e.text += (e.text.empty() ? "" : " ") + formatNumber(x);
    return e;
  };
  for (const auto& f : kFields) {
    const Value* d = *f.dict ? props.find(f.dict) : &props;
    if (!d || !d->isDictionary()) continue;
    const Value* v = d->find(f.key);
    if (!v || v->isNull()) continue;
    switch (f.kind) {
      case Kind::Number:
      case Kind::Int:
        if (v->isNumber())
          out.push_back(numeric(f.exiv, {v->asDouble()}));
        else if (v->isString())
          out.push_back({f.exiv, v->asString(), {}, false});
        break;
      case Kind::IntArray:
      case Kind::NumberArray: {
        std::vector<double> nums;
        if (v->isArray())
          for (const auto& x : *v->array()) nums.push_back(x.asDouble());
        else if (v->isNumber())
          nums.push_back(v->asDouble());
        if (!nums.empty()) out.push_back(numeric(f.exiv, nums));
        break;
      }
      case Kind::String:
        if (v->isString() || v->isNumber())
          out.push_back({f.exiv, v->isString() ? v->asString() : formatNumber(v->asDouble()), {}, false});
        break;
      case Kind::StringArray:
        if (v->isArray()) {
          for (const auto& x : *v->array())
            if (x.isString()) out.push_back({f.exiv, x.asString(), {}, false});
        } else if (v->isString()) {
          out.push_back({f.exiv, v->asString(), {}, false});
        }
        break;
      case Kind::Coordinate: {
        double a = std::fabs(v->asDouble());
        double deg = std::floor(a), min = std::floor((a - deg) * 60), sec = ((a - deg) * 60 - min) * 60;
        out.push_back(numeric(f.exiv, {deg, min, sec}));
        break;
      }
      case Kind::Time: {
        int h = 0, m = 0;
        double s = 0;
        if (std::sscanf(v->asString().c_str(), "%d:%d:%lf", &h, &m, &s) == 3)
          out.push_back(numeric(f.exiv, {double(h), double(m), s}));
        break;
      }
    }
  }
  addOtherExifEntries(out, props);
  if (const Value* exif = props.find(kCGImagePropertyExifDictionary); exif && exif->isDictionary())
    if (const Value* note = exif->find(kQVImagePropertyExifMakerNote); note && note->data() && !note->data()->empty()) {
      rova::MetadataEntry e;
      e.key = rova::kMakerNoteKey;
      e.bytes = *note->data();
      out.push_back(std::move(e));
    }
  if (const Value* xmp = props.find(kQVImagePropertyXMPDictionary); xmp && xmp->isDictionary())
    for (const auto& [key, v] : *xmp->dictionary()) {
      rova::MetadataEntry e;
      e.key = "Xmp." + key;
      if (v.isArray()) {
        for (const auto& item : *v.array())
          if (item.isString()) e.items.push_back(item.asString());
        if (e.items.empty()) continue;
      } else if (v.isString()) {
        e.text = v.asString();
      } else if (v.isNumber()) {
        e.text = formatNumber(v.asDouble());
      } else {
        continue;
      }
      out.push_back(std::move(e));
    }
  if (const Value* o = props.find(kCGImagePropertyOrientation); o && o->isNumber()) {
    std::erase_if(out, [](const rova::MetadataEntry& e) { return e.key == "Exif.Image.Orientation"; });
    out.push_back(numeric("Exif.Image.Orientation", {o->asDouble()}));
  }
  return out;
}

}  // namespace qv

// ---- sources ----

class CGImageSource {
 public:
  std::vector<uint8_t> owned;
  std::unique_ptr<codecs::Bytes> mapped;
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::string ext;
  codecs::ImageInfo info;
  std::once_flag metadataOnce;
  rova::ImageMetadata metadata;

  const rova::ImageMetadata& loadMetadata() {
    std::call_once(metadataOnce, [this] {
      codecs::readMetadata(data, size, ext, metadata);
      metadata.formatType = codecs::typeIdentifier(info.format);
      metadata.pixelSize = info.size;
      metadata.bitsPerSample = info.bitsPerSample;
      metadata.samplesPerPixel = info.channels;
      metadata.hasAlpha = info.hasAlpha;
      metadata.isFloat = info.isFloat;
      metadata.iccProfile = info.icc;
      metadata.exif.orientation = info.orientation;
    });
    return metadata;
  }
};

namespace {
CGImageSourceRef finishSource(std::shared_ptr<CGImageSource> s) {
  if (!codecs::readInfo(s->data, s->size, s->ext, s->info, nullptr)) return nullptr;
  return s;
}

// An 8-bit bitmap as a CGImage (grey expanded to RGB; alpha kept, unpremultiplied).
CGImageRef imageFromBitmap(const codecs::Bitmap& b, CGColorSpaceRef space) {
  if (b.empty()) return nullptr;
  const bool alpha = b.channels == 2 || b.channels == 4;
  const size_t outComps = alpha ? 4 : 3, bytes = b.bytesPerSample();
  auto buf = std::make_shared<CGPixelBytes>(size_t(b.width) * b.height * outComps * bytes);
  for (int y = 0; y < b.height; ++y) {
    const uint8_t* s = b.row(y);
    uint8_t* d = buf->data() + size_t(y) * b.width * outComps * bytes;
    for (int x = 0; x < b.width; ++x)
      for (size_t c = 0; c < outComps; ++c) {
        size_t sc = b.channels >= 3 ? c : (c < 3 ? 0 : 1);
        std::memcpy(d + (size_t(x) * outComps + c) * bytes, s + (size_t(x) * b.channels + sc) * bytes, bytes);
      }
  }
  uint32_t info = alpha ? kCGImageAlphaLast : kCGImageAlphaNone;
  if (b.depth == 16) info |= kCGBitmapByteOrder16Little;
  if (b.depth == 32) info |= kCGBitmapFloatComponents | kCGBitmapByteOrder32Little;
  return CGImageCreate(size_t(b.width), size_t(b.height), size_t(b.depth), size_t(b.depth) * outComps,
                       size_t(b.width) * outComps * bytes, std::move(space), info, buf);
}

// Engine float data (linear working space or sRGB) as an 8-bit sRGB image no larger than `limit`.
CGImageRef srgbThumbnail(rova::ImageDataRGBfPtr d, int limit) {
  if (!d) return nullptr;
  if (limit > 0 && std::max(d->width(), d->height()) > limit) {
    double s = double(limit) / std::max(d->width(), d->height());
    d = rova::resize(*d, std::max(1, int(std::lround(d->width() * s))), std::max(1, int(std::lround(d->height() * s))));
    if (!d) return nullptr;
  }
  // Converted while quantised, without a converted copy.
  return qv::imageFromEngineData(*d, rova::kColorProfileSRGB);
}
}  // namespace

CGImageSourceRef CGImageSourceCreateWithURL(const std::string& path, const qv::Value&) {
  auto s = std::make_shared<CGImageSource>();
  s->mapped = std::make_unique<codecs::Bytes>();
  if (!s->mapped->open(path, nullptr)) return nullptr;
  s->data = s->mapped->data();
  s->size = s->mapped->size();
  s->ext = codecs::lowerExtension(path);
  return finishSource(std::move(s));
}

CGImageSourceRef CGImageSourceCreateWithData(std::vector<uint8_t> data, const qv::Value&) {
  if (data.empty()) return nullptr;
  auto s = std::make_shared<CGImageSource>();
  s->owned = std::move(data);
  s->data = s->owned.data();
  s->size = s->owned.size();
  return finishSource(std::move(s));
}

std::string CGImageSourceGetType(const CGImageSourceRef& s) { return s ? codecs::typeIdentifier(s->info.format) : ""; }
size_t CGImageSourceGetCount(const CGImageSourceRef& s) { return s ? 1 : 0; }

qv::Value CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& s, size_t index, const qv::Value&) {
  if (!s || index != 0) return {};
  return qv::propertiesFromMetadata(s->loadMetadata());
}

CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& s, size_t index, const qv::Value&) {
  if (!s || index != 0) return nullptr;
  codecs::DecodeRequest req;
  codecs::DecodeResult res;
  if (!codecs::decode(s->data, s->size, s->ext, req, res, nullptr)) return nullptr;
  CGColorSpaceRef space;
  if (!res.info.icc.empty()) space = CGColorSpaceCreateWithICCData(res.info.icc);
  if (!space)
    space = CGColorSpaceCreateWithProfileType(res.linear || res.bitmap.depth == 32 ? rova::kColorProfileNative
                                                                                   : rova::kColorProfileSRGB);
  return imageFromBitmap(res.bitmap, space);
}

CGImageRef CGImageSourceCreateThumbnailAtIndex(const CGImageSourceRef& s, size_t index, const qv::Value& options) {
  if (!s || index != 0) return nullptr;
  const int limit = int(options[kCGImageSourceThumbnailMaxPixelSize].asInt(0));
  const bool transform = options[kCGImageSourceCreateThumbnailWithTransform].asBool(false);
  const bool always = options[kCGImageSourceCreateThumbnailFromImageAlways].asBool(false);
  const bool ifAbsent = options[kCGImageSourceCreateThumbnailFromImageIfAbsent].asBool(false);
  const int orientation = transform ? s->info.orientation : 1;
  if (!always) {
    codecs::Bitmap preview;
    if (codecs::decodeEmbeddedPreview(s->data, s->size, s->ext, preview, nullptr)) {
      if (orientation != 1) preview = codecs::orientBitmap(preview, orientation);
      auto img = imageFromBitmap(codecs::to8Bit(preview), CGColorSpaceCreateDeviceRGB());
      auto d = qv::engineDataFromImage(img);
      if (d) d->setColorProfileType(rova::kColorProfileSRGB);
      return srgbThumbnail(d, limit);
    }
    if (!ifAbsent) return nullptr;
  }
  uint32_t flags = rova::kReadColorManage | rova::kReadEmbeddedProfile | rova::kReadFastRawPreview;
  if (transform) flags |= rova::kReadApplyOrientation;
  auto img = rova::ImageReader::instance().readBytes(s->data, s->size, s->ext, {limit, limit}, flags, nullptr);
  if (!img) return nullptr;
  return srgbThumbnail(img->imageData(), limit);
}

std::vector<std::string> CGImageSourceCopyTypeIdentifiers() {
  return {kUTTypeJPEG, kUTTypePNG, kUTTypeTIFF, kUTTypeWebP, kUTTypeJPEG2000, kUTTypeRawImage, kUTTypeDNG};
}

CGColorSpaceRef CGImageSourceCopyColorSpace(const CGImageSourceRef& source) {
  if (!source || source->info.icc.empty()) return nullptr;
  return CGColorSpaceCreateWithICCData(source->info.icc);
}

namespace qv {
CGColorSpaceRef displayColorSpaceForFile(const std::string& path) {
  CGColorSpaceRef own = CGImageSourceCopyColorSpace(CGImageSourceCreateWithURL(path));
  // Only an RGB profile can describe a colour rendering: a grey one (or one lcms2 refuses) gives sRGB.
  const float probe[3] = {0.5f, 0.5f, 0.5f};
  float out[3];
  if (own && own->space &&
      rova::colorTransformBetween(probe, out, 1, *own->space, *rova::createColorSpace(rova::kColorProfileSRGB)))
    return own;
  return CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
}
}  // namespace qv

// ---- destinations ----

class CGImageDestination {
 public:
  std::string path;
  bool replace = true;  // kQVImageDestinationReplacesExistingFile
  std::shared_ptr<std::vector<uint8_t>> data;
  codecs::Format format = codecs::Format::Unknown;
  qv::Value properties = qv::Dictionary{};
  CGImageRef image;
  bool finalized = false;
};

namespace {
CGImageDestinationRef makeDestination(const std::string& type, size_t count, const qv::Value& options) {
  codecs::Format f = codecs::formatForTypeIdentifier(type);
  if (count != 1 || (f != codecs::Format::JPEG && f != codecs::Format::PNG && f != codecs::Format::TIFF &&
                     f != codecs::Format::WebP && f != codecs::Format::JPEG2000))
    return nullptr;
  auto d = std::make_shared<CGImageDestination>();
  d->format = f;
  merge(d->properties, options);
  return d;
}

// Whether the image's alpha is at its maximum everywhere (true for an image without alpha).
bool alphaIsOpaque(const CGImage& img) {
  if (!img.hasAlpha()) return true;
  const size_t comps = img.componentsPerPixel(), bytes = img.bitsPerComponent / 8;
  const auto a = img.alphaInfo();
  const size_t index = a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst ? 0 : comps - 1;
  for (size_t y = 0; y < img.height; ++y) {
    const uint8_t* p = img.row(y) + index * bytes;
    for (size_t x = 0; x < img.width; ++x, p += comps * bytes) {
      if (bytes == 1) {
        if (p[0] != 0xFF) return false;
      } else if (bytes == 2) {
        if (p[0] != 0xFF || p[1] != 0xFF) return false;
      } else {
        float f;
        std::memcpy(&f, p, 4);
        if (!(f >= 1.f)) return false;
      }
    }
  }
  return true;
}

// The image as a codec bitmap of the wanted depth (8 or 16), alpha kept when asked and unpremultiplied,
// or else, when the image has transparent parts, composited over white (for formats without alpha).
// `opaque`: the alpha is known to be at its maximum everywhere, so there is nothing to undo.
bool bitmapFromImage(const CGImage& img, int depth, bool keepAlpha, bool opaque, codecs::Bitmap& out) {
  const size_t comps = img.componentsPerPixel(), colours = img.colorComponents();
  if (comps == 0 || colours == 0) return false;
  const auto a = img.alphaInfo();
  const bool alpha = keepAlpha && img.hasAlpha();
  const bool premultiplied = a == kCGImageAlphaPremultipliedLast || a == kCGImageAlphaPremultipliedFirst;
  const size_t first =
      (a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst || a == kCGImageAlphaNoneSkipFirst) ? 1 : 0;
  const size_t alphaIndex = first ? 0 : comps - 1;
  const int outCh = (colours >= 3 ? 3 : 1) + (alpha ? 1 : 0);
  if (!out.allocate(int(img.width), int(img.height), outCh, depth)) return false;
  const size_t bytes = img.bitsPerComponent / 8;
  const uint32_t order = img.bitmapInfo & 0x7000;
  const bool big = order == kCGBitmapByteOrder16Big || order == kCGBitmapByteOrder32Big;
  // Integer samples without premultiplied alpha map one to one: one table of every code gives the
  // same values as the per-sample arithmetic below at a fraction of its cost (an export's whole
  // bitmap passes here).
  const bool overWhite = !alpha && img.hasAlpha() && !opaque;
  if (bytes <= 2 && !(premultiplied && img.hasAlpha() && !opaque) && !overWhite) {
    const size_t codes = size_t(1) << (8 * bytes);
    std::vector<uint16_t> table(codes);
    for (size_t i = 0; i < codes; ++i) {
      const float v = float(i) / float(codes - 1);
      table[i] = depth == 8 ? uint16_t(uint8_t(v * 255.f + 0.5f)) : uint16_t(v * 65535.f + 0.5f);
    }
    size_t source[4];
    for (int c = 0; c < outCh; ++c)
      source[c] = alpha && c == outCh - 1 ? alphaIndex : first + (colours >= 3 ? size_t(c) : 0);
    for (size_t y = 0; y < img.height; ++y) {
      const uint8_t* row = img.row(y);
      uint8_t* dst = out.row(int(y));
      for (size_t x = 0; x < img.width; ++x, row += comps * bytes) {
        for (int c = 0; c < outCh; ++c) {
          const uint8_t* p = row + source[c] * bytes;
          const uint16_t v = table[bytes == 1 ? p[0] : big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0])];
          if (depth == 8) {
            *dst++ = uint8_t(v);
          } else {
            std::memcpy(dst, &v, 2);
            dst += 2;
          }
        }
      }
    }
    return true;
  }
  auto sample = [&](const uint8_t* p) -> float {
    if (bytes == 1) return p[0] / 255.f;
    if (bytes == 2) return float(big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0])) / 65535.f;
    float f;
    std::memcpy(&f, p, 4);
    return std::isfinite(f) ? f : 0.f;
  };
  for (size_t y = 0; y < img.height; ++y) {
    const uint8_t* row = img.row(y);
    uint8_t* dst = out.row(int(y));
    for (size_t x = 0; x < img.width; ++x) {
      const uint8_t* px = row + x * comps * bytes;
      float av = img.hasAlpha() ? sample(px + alphaIndex * bytes) : 1.f;
      for (int c = 0; c < outCh; ++c) {
        float v;
        if (alpha && c == outCh - 1) {
          v = av;
        } else {
          v = sample(px + (first + (colours >= 3 ? size_t(c) : 0)) * bytes);
          if (overWhite)
            v = (premultiplied ? v : v * av) + (1.f - std::clamp(av, 0.f, 1.f));
          else if (premultiplied && av > 0)
            v /= av;
        }
        v = std::clamp(v, 0.f, 1.f);
        if (depth == 8) {
          dst[x * outCh + c] = uint8_t(v * 255.f + 0.5f);
        } else {
          uint16_t u = uint16_t(v * 65535.f + 0.5f);
          std::memcpy(dst + (x * outCh + c) * 2, &u, 2);
        }
      }
    }
  }
  return true;
}
}  // namespace

CGImageDestinationRef CGImageDestinationCreateWithURL(const std::string& path, const std::string& type, size_t count,
                                                      const qv::Value& options) {
  if (path.empty()) return nullptr;
  auto d = makeDestination(type, count, options);
  if (d) d->path = path;
  if (d && options.isDictionary() && options.find(kQVImageDestinationReplacesExistingFile)) {
    d->replace = options[kQVImageDestinationReplacesExistingFile].asBool(true);
    d->properties.erase(kQVImageDestinationReplacesExistingFile);
  }
  return d;
}

CGImageDestinationRef CGImageDestinationCreateWithData(std::shared_ptr<std::vector<uint8_t>> data,
                                                       const std::string& type, size_t count,
                                                       const qv::Value& options) {
  if (!data) return nullptr;
  auto d = makeDestination(type, count, options);
  if (d) d->data = std::move(data);
  return d;
}

void CGImageDestinationSetProperties(const CGImageDestinationRef& d, const qv::Value& properties) {
  if (d) merge(d->properties, properties);
}

void CGImageDestinationAddImage(const CGImageDestinationRef& d, const CGImageRef& image, const qv::Value& properties) {
  if (!d || !image || d->image) return;
  d->image = image;
  merge(d->properties, properties);
}

void CGImageDestinationAddImageFromSource(const CGImageDestinationRef& d, const CGImageSourceRef& source, size_t index,
                                          const qv::Value& properties) {
  if (!d || !source || d->image) return;
  CGImageRef img = CGImageSourceCreateImageAtIndex(source, index);
  if (!img) return;
  qv::Value merged = CGImageSourceCopyPropertiesAtIndex(source, index);
  merge(merged, d->properties);
  merge(merged, properties);
  d->properties = std::move(merged);
  d->image = img;
}

namespace {
codecs::TiffCompression tiffCompression(int64_t code) {
  switch (code) {
    case 5:
      return codecs::TiffCompression::LZW;
    case 8:
    case 32946:
      return codecs::TiffCompression::ZIP;
    case 6:
    case 7:
      return codecs::TiffCompression::JPEG;
    case 32773:
      return codecs::TiffCompression::PackBits;
    default:
      return codecs::TiffCompression::None;
  }
}

// The colour space the picture is to be encoded in when it is not its own (see
// kQVImageDestinationColorSpace); nullptr to write its samples as they are.
CGColorSpaceRef encodingColorSpace(const qv::Value& p, const CGImage& img) {
  CGColorSpaceRef own = img.colorSpace;
  CGColorSpaceRef wanted;
  if (const qv::Value* icc = p.find(kQVImageDestinationColorSpace); icc && icc->data())
    wanted = CGColorSpaceCreateWithICCData(*icc->data());
  else if (own && own->space && own->space->isLinear())
    wanted = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
  if (!wanted || !wanted->space || img.colorComponents() < 3) return nullptr;
  if (own && own->space && rova::isSameColorSpace(*own->space, *wanted->space)) return nullptr;
  return wanted;
}

// `wide` (16-bit samples, RGB or RGBA, in `from`) converted into `to` at `depth`, alpha as it is.
bool convertBitmap(const codecs::Bitmap& wide, const rova::ColorSpace& from, const rova::ColorSpace& to, int depth,
                   codecs::Bitmap& out, std::string* why) {
  const int ch = wide.channels;
  if (wide.depth != 16 || ch < 3) return false;
  if (!out.allocate(wide.width, wide.height, ch, depth)) {
    *why = "out of memory";
    return false;
  }
  // In bands of rows, so the float copy stays small; each band is converted on every core.
  constexpr int kBand = 64;
  std::vector<float> rgb;
  for (int y0 = 0; y0 < wide.height; y0 += kBand) {
    const int rows = std::min(kBand, wide.height - y0);
    const size_t n = size_t(rows) * size_t(wide.width);
    rgb.resize(n * 3);
    for (int r = 0; r < rows; ++r) {
      const auto* src = reinterpret_cast<const uint16_t*>(wide.row(y0 + r));
      float* dst = rgb.data() + size_t(r) * size_t(wide.width) * 3;
      for (int x = 0; x < wide.width; ++x)
        for (int c = 0; c < 3; ++c) dst[x * 3 + c] = float(src[size_t(x) * size_t(ch) + size_t(c)]) / 65535.f;
    }
    if (!rova::colorTransformBetween(rgb.data(), rgb.data(), n, from, to)) {
      *why = "cannot convert the picture from " + from.name() + " into " + to.name();
      return false;
    }
    for (int r = 0; r < rows; ++r) {
      const auto* src = reinterpret_cast<const uint16_t*>(wide.row(y0 + r));
      const float* colour = rgb.data() + size_t(r) * size_t(wide.width) * 3;
      uint8_t* dst = out.row(y0 + r);
      for (int x = 0; x < wide.width; ++x)
        for (int c = 0; c < ch; ++c) {
          const size_t i = size_t(x) * size_t(ch) + size_t(c);
          const float v = c < 3 ? std::clamp(colour[x * 3 + c], 0.f, 1.f) : float(src[i]) / 65535.f;
          if (depth == 8) {
            dst[i] = uint8_t(v * 255.f + 0.5f);
          } else {
            const uint16_t u = uint16_t(v * 65535.f + 0.5f);
            std::memcpy(dst + i * 2, &u, 2);
          }
        }
    }
  }
  return true;
}

// The metadata to write for a picture of the given size: the properties' entries less what only
// described the source (its sizes, its thumbnail), the sizes of this picture, orientation 1
// unless the properties state an orientation (the pixels are written as they are to be shown),
// and the EXIF colour space of the profile written with it (`profile`; none: sRGB): 1 for sRGB,
// 0xFFFF (uncalibrated) for any other.
std::vector<rova::MetadataEntry> metadataToWrite(const qv::Value& p, size_t width, size_t height,
                                                 const CGColorSpaceRef& profile) {
  std::vector<rova::MetadataEntry> m = qv::metadataFromProperties(p);
  std::erase_if(m, [](const rova::MetadataEntry& e) { return codecs::isSourceOnlyMetadataKey(e.key); });
  if (m.empty()) return m;
  auto number = [](const char* key, double v) {
    return rova::MetadataEntry{key, std::to_string(int64_t(v)), {v}, true};
  };
  const bool exif = std::any_of(m.begin(), m.end(), [](auto& e) { return e.key.rfind("Exif.", 0) == 0; });
  const bool xmp = std::any_of(m.begin(), m.end(), [](auto& e) { return e.key.rfind("Xmp.", 0) == 0; });
  const bool statesOrientation = p.find(kCGImagePropertyOrientation) && p[kCGImagePropertyOrientation].isNumber();
  if (exif) {
    m.push_back(number("Exif.Photo.PixelXDimension", double(width)));
    m.push_back(number("Exif.Photo.PixelYDimension", double(height)));
    const bool srgb = !profile || !profile->space ||
                      rova::isSameColorSpace(*profile->space, *rova::createColorSpace(rova::kColorProfileSRGB));
    std::erase_if(m, [](const rova::MetadataEntry& e) { return e.key == "Exif.Photo.ColorSpace"; });
    m.push_back(number("Exif.Photo.ColorSpace", srgb ? 1 : 0xFFFF));
    if (!statesOrientation &&
        std::none_of(m.begin(), m.end(), [](auto& e) { return e.key == "Exif.Image.Orientation"; }))
      m.push_back(number("Exif.Image.Orientation", 1));
  }
  if (xmp) {
    m.push_back({"Xmp.exif.PixelXDimension", std::to_string(width), {}, false});
    m.push_back({"Xmp.exif.PixelYDimension", std::to_string(height), {}, false});
    // The XMP copy of the orientation says what the EXIF one says.
    const int64_t orientation = statesOrientation ? p[kCGImagePropertyOrientation].asInt(1) : 1;
    std::erase_if(m, [](const rova::MetadataEntry& e) { return e.key == "Xmp.tiff.Orientation"; });
    m.push_back({"Xmp.tiff.Orientation", std::to_string(orientation), {}, false});
  }
  return m;
}

}  // namespace

namespace {
bool holdsSixteenBits(codecs::Format f) {
  return f == codecs::Format::PNG || f == codecs::Format::TIFF || f == codecs::Format::JPEG2000;
}
}  // namespace

bool CGImageDestinationTypeHoldsSixteenBits(const std::string& type) {
  return holdsSixteenBits(codecs::formatForTypeIdentifier(type));
}

bool CGImageDestinationFinalize(const CGImageDestinationRef& d, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!d || !d->image) return fail("no image to write");
  if (d->finalized) return fail("already written");
  d->finalized = true;
  const qv::Value& p = d->properties;
  const CGImage& img = *d->image;
  codecs::EncodeOptions o;
  o.format = d->format;
  o.quality = std::clamp(p[kCGImageDestinationLossyCompressionQuality].asDouble(0.9), 0.0, 1.0);
  o.lossless = d->format == codecs::Format::WebP && o.quality >= 1.0;
  const bool deep = img.bitsPerComponent > 8;
  const int64_t wantDepth = p[kCGImagePropertyDepth].asInt(deep ? 16 : 8);
  const bool deepFormat = holdsSixteenBits(d->format);
  o.depth = deepFormat && wantDepth >= 16 ? 16 : 8;
  o.tiffCompression = tiffCompression(p[kCGImagePropertyTIFFDictionary][kCGImagePropertyTIFFCompression].asInt(1));
  // Display-referred samples: converted into the colour space asked for, or out of linear light.
  const CGColorSpaceRef encodeIn = encodingColorSpace(p, img);
  const CGColorSpaceRef written = encodeIn ? encodeIn : img.colorSpace;
  o.icc = CGColorSpaceCopyICCData(written);
  o.metadata = metadataToWrite(p, img.width, img.height, written);
  std::string why;
  std::vector<uint8_t> bytes;
  const size_t comps = img.componentsPerPixel(), colours = img.colorComponents();
  const auto alpha = img.alphaInfo();
  const bool colourFirst =
      alpha != kCGImageAlphaPremultipliedFirst && alpha != kCGImageAlphaFirst && alpha != kCGImageAlphaNoneSkipFirst;
  // An alpha that covers nothing is not written (and needs no undoing of premultiplication).
  const bool opaque = alphaIsOpaque(img);
  // A JPEG has no alpha: a picture with transparent parts is composited over white on the way.
  if (encodeIn) {
    const bool keepAlpha = !opaque && d->format != codecs::Format::JPEG;
    codecs::Bitmap wide, bitmap;
    if (!bitmapFromImage(img, 16, keepAlpha, opaque, wide)) return fail("unsupported image layout");
    // A picture without a colour space is taken as sRGB, as everywhere else.
    const rova::ColorSpacePtr from = img.colorSpace && img.colorSpace->space
                                         ? img.colorSpace->space
                                         : rova::createColorSpace(rova::kColorProfileSRGB);
    if (!convertBitmap(wide, *from, *encodeIn->space, o.depth, bitmap, &why))
      return fail(why.empty() ? "cannot convert the picture's colours" : why);
    wide = {};
    bytes = codecs::encode(bitmap, o, &why);
  } else if (d->format == codecs::Format::JPEG && img.bitsPerComponent == 8 && !img.isFloat() && colourFirst &&
             opaque && (colours == 1 ? comps <= 2 : comps >= 3)) {
    // 8-bit colour first, as an export hands it over: the encoder reads the image's rows in place.
    codecs::RowSource rows{int(img.width), int(img.height), int(comps), [&img](int y) { return img.row(size_t(y)); }};
    bytes = codecs::encodeJPEG(rows, o, &why);
  } else {
    codecs::Bitmap bitmap;
    const bool keepAlpha = !opaque && d->format != codecs::Format::JPEG;
    const uint32_t order = img.bitmapInfo & 0x7000;
    const size_t bytesPerSample = img.bitsPerComponent / 8;
    if (!img.isFloat() && !img.hasAlpha() && comps == colours && (comps == 1 || comps == 3) &&
        int(img.bitsPerComponent) == o.depth && order != kCGBitmapByteOrder16Big && order != kCGBitmapByteOrder32Big &&
        img.bytesPerRow == img.width * comps * bytesPerSample) {
      // Already the encoders' layout (a bitmap made for a file): written from the image's own rows.
      bitmap = codecs::Bitmap::view(img.row(0), img.bytesPerRow, int(img.width), int(img.height), int(comps),
                                    int(img.bitsPerComponent));
    } else if (!bitmapFromImage(img, o.depth, keepAlpha, opaque, bitmap)) {
      return fail("unsupported image layout");
    }
    bytes = codecs::encode(bitmap, o, &why);
  }
  if (bytes.empty()) return fail(why);
  if (d->data) {
    *d->data = std::move(bytes);
    return true;
  }
  // A fresh temporary file beside the target, moved into place: a failed write never leaves half a
  // file, and the replaced file keeps its permissions.
  codecs::SafeWriteOptions write;
  write.replace = d->replace;
  return codecs::writeFileSafely(d->path, bytes.data(), bytes.size(), error, write);
}

std::string CGImageDestinationTypeForPath(const std::string& path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"jpg", kUTTypeJPEG}, {"jpeg", kUTTypeJPEG}, {"jpe", kUTTypeJPEG},  {"png", kUTTypePNG},
      {"tif", kUTTypeTIFF}, {"tiff", kUTTypeTIFF}, {"webp", kUTTypeWebP}, {"jp2", kUTTypeJPEG2000},
  };
  const std::string ext = codecs::lowerExtension(path);
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return {};
}

std::vector<std::string> CGImageDestinationCopyTypeIdentifiers() {
  return {kUTTypeJPEG, kUTTypePNG, kUTTypeTIFF, kUTTypeWebP, kUTTypeJPEG2000};
}
