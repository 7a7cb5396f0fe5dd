// Metadata through exiv2 (EXIF, IPTC, XMP), completed from LibRaw for RAW files; lens-correction
// profile lookup through lensfun.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <mutex>
#include <set>

#include <lensfun/lensfun.h>
#include <exiv2/exiv2.hpp>

#include "rova/LensDatabase.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs {

namespace {

void initExiv2() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
  });
}

// exiv2's XMP toolkit is not thread-safe; one metadata operation at a time.
std::mutex gExivMutex;

bool isNumericType(Exiv2::TypeId t) {
  switch (t) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::unsignedRational:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
    case Exiv2::signedRational:
    case Exiv2::tiffFloat:
    case Exiv2::tiffDouble:
      return true;
    default:
      return false;
  }
}

bool isXmpArray(Exiv2::TypeId t) { return t == Exiv2::xmpBag || t == Exiv2::xmpSeq || t == Exiv2::xmpAlt; }

template <class Datum>
MetadataEntry entryOf(const Datum& d) {
  MetadataEntry e;
  e.key = d.key();
  e.isNumeric = isNumericType(d.typeId());
  if (e.isNumeric) {
    const long n = std::min<long>(d.count(), 64);
    for (long i = 0; i < n; ++i) e.numbers.push_back(double(d.toFloat(i)));
  }
  if (isXmpArray(d.typeId()))
    for (long i = 0; i < d.count(); ++i) e.items.push_back(d.toString(i));
  e.text = d.toString();
  return e;
}

// Entries that make up the maker note: the note itself and the tags exiv2 decoded out of it.
bool isMakerNoteDatum(const Exiv2::Exifdatum& d) {
  return d.key() == kMakerNoteKey || d.groupName() == "MakerNote" || Exiv2::ExifTags::isMakerGroup(d.groupName());
}

// The maker note as one block: its tags (with the make, which selects the note's layout) encoded
// as a little TIFF-structured EXIF block. Empty when the file has none.
std::vector<uint8_t> makerNoteBlock(const Exiv2::ExifData& exif) {
  Exiv2::ExifData notes;
  bool any = false;
  for (const auto& d : exif)
    if (isMakerNoteDatum(d)) {
      notes.add(d);
      any = true;
    } else if (d.key() == "Exif.Image.Make" || d.key() == "Exif.Image.Model") {
      notes.add(d);
    }
  if (!any) return {};
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, notes);
  return {blob.begin(), blob.end()};
}

}  // namespace

bool isSourceOnlyMetadataKey(const std::string& key) {
  static const char* kSizes[] = {"Exif.Photo.PixelXDimension", "Exif.Photo.PixelYDimension", "Exif.Image.ImageWidth",
                                 "Exif.Image.ImageLength",     "Xmp.exif.PixelXDimension",   "Xmp.exif.PixelYDimension",
                                 "Xmp.tiff.ImageWidth",        "Xmp.tiff.ImageLength",       "Xmp.xmp.Thumbnails"};
  if (key.rfind("Exif.Thumbnail.", 0) == 0) return true;
  return std::any_of(std::begin(kSizes), std::end(kSizes), [&](const char* k) { return key == k; });
}

bool isCarriedExifKey(const std::string& key) {
  static const char* kGroups[] = {"Exif.Image.", "Exif.Photo.", "Exif.GPSInfo."};
  if (std::none_of(std::begin(kGroups), std::end(kGroups), [&](const char* g) { return key.rfind(g, 0) == 0; }))
    return false;
  if (isSourceOnlyMetadataKey(key) || key == kMakerNoteKey) return false;
  // How the source stored its pixels, pointers and blocks of their own, the source encoding's
  // colours, and positions in the source's pixels (turned and resized on the way).
  static const std::set<std::string> kNotCarried = {
      "Exif.Image.NewSubfileType",
      "Exif.Image.SubfileType",
      "Exif.Image.BitsPerSample",
      "Exif.Image.Compression",
      "Exif.Image.PhotometricInterpretation",
      "Exif.Image.Thresholding",
      "Exif.Image.FillOrder",
      "Exif.Image.StripOffsets",
      "Exif.Image.SamplesPerPixel",
      "Exif.Image.RowsPerStrip",
      "Exif.Image.StripByteCounts",
      "Exif.Image.PlanarConfiguration",
      "Exif.Image.Predictor",
      "Exif.Image.TileWidth",
      "Exif.Image.TileLength",
      "Exif.Image.TileOffsets",
      "Exif.Image.TileByteCounts",
      "Exif.Image.SubIFDs",
      "Exif.Image.ExtraSamples",
      "Exif.Image.SampleFormat",
      "Exif.Image.SMinSampleValue",
      "Exif.Image.SMaxSampleValue",
      "Exif.Image.JPEGTables",
      "Exif.Image.JPEGProc",
      "Exif.Image.JPEGInterchangeFormat",
      "Exif.Image.JPEGInterchangeFormatLength",
      "Exif.Image.YCbCrCoefficients",
      "Exif.Image.YCbCrSubSampling",
      "Exif.Image.YCbCrPositioning",
      "Exif.Image.ReferenceBlackWhite",
      "Exif.Image.TransferFunction",
      "Exif.Image.WhitePoint",
      "Exif.Image.PrimaryChromaticities",
      "Exif.Image.CFARepeatPatternDim",
      "Exif.Image.CFAPattern",
      "Exif.Image.ExifTag",
      "Exif.Image.GPSTag",
      "Exif.Image.InterColorProfile",
      "Exif.Image.XMLPacket",
      "Exif.Image.IPTCNAA",
      "Exif.Image.ImageResources",
      "Exif.Image.PrintImageMatching",
      "Exif.Image.DNGPrivateData",
      "Exif.Photo.InteroperabilityTag",
      "Exif.Photo.ColorSpace",
      "Exif.Photo.Gamma",
      "Exif.Photo.CompressedBitsPerPixel",
      "Exif.Photo.SubjectArea",
      "Exif.Photo.SubjectLocation",
      "Exif.Photo.CFAPattern",
      "Exif.Photo.OffsetSchema",
  };
  if (kNotCarried.count(key)) return false;
  try {
    const Exiv2::ExifKey exifKey(key);
    // The DNG tags (from 0xC612 on) describe raw data and its rendering, not a rendered picture.
    if (key.rfind("Exif.Image.", 0) == 0 && exifKey.tag() >= 0xC612) return false;
    // A tag exiv2 does not know by name cannot be written.
    return exifKey.tagName().rfind("0x", 0) != 0;
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

float firstNumber(const Exiv2::ExifData& exif, const char* key, float fallback) {
  auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end() || it->count() == 0) return fallback;
  float v = it->toFloat(0);
  return std::isfinite(v) ? v : fallback;
}

std::string text(const Exiv2::ExifData& exif, const char* key) {
  auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end()) return {};
  std::string s = it->toString();
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

void fillExif(const Exiv2::ExifData& exif, OrvantaExifData& r) {
  r.isoSpeed = firstNumber(exif, "Exif.Photo.ISOSpeedRatings", r.isoSpeed);
  r.shutterSpeed = firstNumber(exif, "Exif.Photo.ExposureTime", r.shutterSpeed);
  r.fNumber = firstNumber(exif, "Exif.Photo.FNumber", r.fNumber);
  r.focalLength = firstNumber(exif, "Exif.Photo.FocalLength", r.focalLength);
  r.ev = firstNumber(exif, "Exif.Photo.ExposureBiasValue", r.ev);
  r.cameraName = text(exif, "Exif.Image.Make");
  r.cameraModel = text(exif, "Exif.Image.Model");
  r.lensModel = text(exif, "Exif.Photo.LensModel");
  r.dateTimeOriginal = text(exif, "Exif.Photo.DateTimeOriginal");
  if (r.dateTimeOriginal.empty()) r.dateTimeOriginal = text(exif, "Exif.Image.DateTime");
  int o = int(firstNumber(exif, "Exif.Image.Orientation", 1));
  r.orientation = o >= 1 && o <= 8 ? o : 1;
  auto spec = exif.findKey(Exiv2::ExifKey("Exif.Photo.LensSpecification"));
  if (spec != exif.end() && spec->count() >= 2) {
    r.minFocalLen = spec->toFloat(0);
    r.maxFocalLen = spec->toFloat(1);
  }
}

void findLensProfiles(OrvantaExifData& r) {
  if (r.cameraName.empty() || r.cameraModel.empty()) return;
  std::lock_guard lock(lensDatabaseMutex());
  lfDatabase* db = sharedLensDatabase();
  if (!db) return;
  const lfCamera** cams = db->FindCamerasExt(r.cameraName.c_str(), r.cameraModel.c_str(), 0);
  if (!cams || !cams[0]) {
    lf_free(cams);
    return;
  }
  r.lcpCameraProfile = cams[0]->Model ? lf_mlstr_get(cams[0]->Model) : r.cameraModel;
  if (!r.lensModel.empty()) {
    const lfLens** lenses = db->FindLenses(cams[0], nullptr, r.lensModel.c_str(), 0);
    if (lenses && lenses[0] && lenses[0]->Model) r.lcpLensProfile = lf_mlstr_get(lenses[0]->Model);
    lf_free(lenses);
  }
  lf_free(cams);
}

Exiv2::Image::AutoPtr openExiv(const uint8_t* d, size_t n) {
  Exiv2::Image::AutoPtr img = Exiv2::ImageFactory::open(d, long(n));
  if (img.get()) img->readMetadata();
  return img;
}

}  // namespace

bool readMetadata(const uint8_t* d, size_t n, const std::string& ext, ImageMetadata& out) {
  initExiv2();
  bool any = false;
  const Format f = detectFormat(d, n, ext);
  {
    std::lock_guard lock(gExivMutex);
    try {
      auto img = openExiv(d, n);
      if (img.get()) {
        const auto& exif = img->exifData();
        for (const auto& e : exif) {
          // Maker notes travel as one block (below); other large binary blobs stay in the file.
          if (isMakerNoteDatum(e) || (!isNumericType(e.typeId()) && e.size() > 4096)) continue;
          out.entries.push_back(entryOf(e));
        }
        try {
          if (auto block = makerNoteBlock(exif); !block.empty()) {
            MetadataEntry note;
            note.key = kMakerNoteKey;
            note.bytes = std::move(block);
            out.entries.push_back(std::move(note));
          }
        } catch (const std::exception&) {
          // A maker note exiv2 cannot re-encode is left behind.
        }
        for (const auto& e : img->iptcData()) out.entries.push_back(entryOf(e));
        for (const auto& e : img->xmpData()) out.entries.push_back(entryOf(e));
        fillExif(exif, out.exif);
        any = true;
      }
    } catch (const std::exception&) {
      // Unreadable metadata is no metadata.
    }
  }
  if (f == Format::RAW || f == Format::DNG) any = detail::rawMetadata(d, n, out.exif) || any;
  out.exif.isAppleCamera = out.exif.cameraName == "Apple";
  if (out.exif.shutterSpeed > 0) out.exif.minShutter = out.exif.maxShutter = out.exif.shutterSpeed;
  findLensProfiles(out.exif);
  return any;
}

bool writeMetadata(std::vector<uint8_t>& file, const std::vector<MetadataEntry>& entries, std::string* error) {
  initExiv2();
  std::lock_guard lock(gExivMutex);
  try {
    auto img = openExiv(file.data(), file.size());
    if (!img.get()) throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType);
    auto& exif = img->exifData();
    auto& iptc = img->iptcData();
    auto& xmp = img->xmpData();
    // Every key written replaces all values the file had under it (IPTC keys may repeat).
    std::set<std::string> keys;
    for (const auto& e : entries) keys.insert(e.key);
    const bool newMakerNote = keys.count(kMakerNoteKey) != 0;
    for (auto it = exif.begin(); it != exif.end();)
      it = keys.count(it->key()) || (newMakerNote && isMakerNoteDatum(*it)) ? exif.erase(it) : std::next(it);
    for (auto it = iptc.begin(); it != iptc.end();) it = keys.count(it->key()) ? iptc.erase(it) : std::next(it);
    for (auto it = xmp.begin(); it != xmp.end();) it = keys.count(it->key()) ? xmp.erase(it) : std::next(it);
    for (const auto& e : entries) {
      // An entry exiv2 does not know or cannot parse is left out; the others are still written.
      try {
        if (e.key == kMakerNoteKey && !e.bytes.empty()) {
          Exiv2::ExifData notes;
          Exiv2::ExifParser::decode(notes, e.bytes.data(), uint32_t(e.bytes.size()));
          for (const auto& d : notes)
            if (isMakerNoteDatum(d)) exif.add(d);
        } else if (e.key.rfind("Exif.Thumbnail.", 0) == 0) {
          continue;
        } else if (e.key.rfind("Exif.", 0) == 0) {
          Exiv2::ExifKey key(e.key);
          Exiv2::TypeId type = key.defaultTypeId();
          Exiv2::Value::AutoPtr v = Exiv2::Value::create(type == Exiv2::invalidTypeId ? Exiv2::asciiString : type);
          std::string t = e.text;
          if (e.isNumeric && !e.numbers.empty() && (type == Exiv2::unsignedRational || type == Exiv2::signedRational)) {
            t.clear();
            for (double x : e.numbers) {
              Exiv2::Rational r = Exiv2::floatToRationalCast(float(x));
              t += (t.empty() ? "" : " ") + std::to_string(r.first) + "/" + std::to_string(r.second);
            }
          } else if (e.isNumeric && !e.numbers.empty() && isNumericType(type)) {
            t.clear();
            for (double x : e.numbers) t += (t.empty() ? "" : " ") + std::to_string(std::llround(x));
          }
          if (v->read(t) != 0) continue;
          exif.add(key, v.get());
        } else if (e.key.rfind("Iptc.", 0) == 0) {
          Exiv2::IptcKey key(e.key);
          Exiv2::Value::AutoPtr v = Exiv2::Value::create(Exiv2::IptcDataSets::dataSetType(key.tag(), key.record()));
          if (v->read(e.text) == 0) iptc.add(key, v.get());
        } else if (e.key.rfind("Xmp.", 0) == 0) {
          Exiv2::XmpKey key(e.key);
          const Exiv2::TypeId type = Exiv2::XmpProperties::propertyType(key);
          if (e.items.empty() && e.text.rfind("type=", 0) == 0) {
            // An array or structure that holds the entries with paths below it ("…[1]/ns:field").
            Exiv2::XmpTextValue v;
            if (v.read(e.text) == 0) xmp.add(key, &v);
          } else if (isXmpArray(type) || !e.items.empty()) {
            Exiv2::XmpArrayValue v(isXmpArray(type) ? type : Exiv2::xmpBag);
            for (const auto& item : e.items.empty() ? std::vector<std::string>{e.text} : e.items) v.read(item);
            xmp.add(key, &v);
          } else if (type == Exiv2::langAlt) {
            Exiv2::LangAltValue v;
            if (v.read(e.text) == 0) xmp.add(key, &v);
          } else {
            xmp[e.key] = e.text;
          }
        }
      } catch (const std::exception&) {
      }
    }
    // XMP the toolkit cannot serialise would be dropped whole: leave out what lies inside arrays
    // and structures first, then all of it, so the rest (and the EXIF) is still written.
    std::string packet;
    if (!xmp.empty() && Exiv2::XmpParser::encode(packet, xmp) != 0) {
      for (auto it = xmp.begin(); it != xmp.end();)
        it = it->key().find_first_of("[/") != std::string::npos || it->toString().rfind("type=", 0) == 0
                 ? xmp.erase(it)
                 : std::next(it);
      if (Exiv2::XmpParser::encode(packet, xmp) != 0) xmp.clear();
    }
    // A written picture never carries its source's thumbnail (it would show the old picture).
    Exiv2::ExifThumb(exif).erase();
    img->writeMetadata();
    Exiv2::BasicIo& io = img->io();
    io.seek(0, Exiv2::BasicIo::beg);
    Exiv2::DataBuf buf = io.read(long(io.size()));
    if (buf.size_ <= 0) throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
    file.assign(buf.pData_, buf.pData_ + buf.size_);
    return true;
  } catch (const std::exception& ex) {
    if (error) *error = std::string("metadata: ") + ex.what();
    return false;
  }
}

int metadataOrientation(const uint8_t* d, size_t n) {
  initExiv2();
  std::lock_guard lock(gExivMutex);
  try {
    auto img = openExiv(d, n);
    if (!img.get()) return 1;
    auto it = img->exifData().findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == img->exifData().end() || it->count() == 0) return 1;
    long o = it->toLong(0);
    return o >= 1 && o <= 8 ? int(o) : 1;
  } catch (const std::exception&) {
    return 1;
  }
}

bool decodeEmbeddedPreview(const uint8_t* d, size_t n, const std::string& ext, Bitmap& out, std::string* error) {
  const Format f = detectFormat(d, n, ext);
  if (f == Format::RAW || f == Format::DNG) return detail::rawEmbeddedPreview(d, n, out, error);
  if (f == Format::Unknown) return false;
  initExiv2();
  Exiv2::DataBuf thumb;
  {
    std::lock_guard lock(gExivMutex);
    try {
      auto img = openExiv(d, n);
      if (!img.get()) return false;
      Exiv2::ExifThumbC t(img->exifData());
      thumb = t.copy();
    } catch (const std::exception&) {
      return false;
    }
  }
  if (thumb.size_ <= 0) {
    if (error) *error = "no embedded thumbnail";
    return false;
  }
  DecodeRequest req;
  DecodeResult res;
  if (!detail::decodeJPEG(thumb.pData_, size_t(thumb.size_), req, res, error)) return false;
  out = std::move(res.bitmap);
  return true;
}

}  // namespace rova::codecs
