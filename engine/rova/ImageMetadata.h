#pragma once
// What the engine knows about an image file beyond its pixels.
#include <cstdint>
#include <string>
#include <vector>

#include "rova/RectRoi.h"

namespace rova {

// The EXIF summary of a picture. Numbers the file does not give stay at their "unknown" value:
// -1 for ISO, shutter and f-number, 0 for the rest.
struct OrvantaExifData {
  float isoSpeed = -1;
  float shutterSpeed = -1;  // exposure time in seconds
  float fNumber = -1;
  float focalLength = 0;                   // millimetres
  float ev = 0;                            // exposure bias in EV
  float minFocalLen = 0, maxFocalLen = 0;  // lens range, mm
  float minShutter = 0, maxShutter = 0;    // the same as shutterSpeed when only one value is known
  bool isAppleCamera = false;
  bool isRaw = false;
  bool isHDR = false;
  std::string extension;   // file extension of the source, lower case, without the point
  std::string cameraName;  // camera make
  std::string cameraModel;
  std::string lensModel;
  std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS" as in the file
  int orientation = 1;           // EXIF orientation 1..8
  // Lens-correction profile references (profile names the lens database knows), empty when none.
  std::string lcpCameraProfile;
  std::string lcpLensProfile;
  bool hasLcpProfile() const { return !lcpCameraProfile.empty() || !lcpLensProfile.empty(); }
};

// One metadata entry as the file holds it: key in exiv2 form ("Exif.Photo.FNumber",
// "Iptc.Application2.Keywords", "Xmp.dc.title"), the value as text and, for numeric
// entries, as numbers (rationals divided out).
//
// Two kinds carry more than one value: an XMP bag, sequence or alternative keeps its items in
// `items`; the maker notes travel as one block under "Exif.Photo.MakerNote", `bytes` holding a
// small TIFF-structured EXIF block of the maker's tags (exiv2 rebuilds the maker note from it
// wherever the written file places it, so offsets inside the note stay right).
struct MetadataEntry {
  std::string key;
  std::string text;
  std::vector<double> numbers;
  bool isNumeric = false;
  std::vector<std::string> items{};
  std::vector<uint8_t> bytes{};
};
inline constexpr const char* kMakerNoteKey = "Exif.Photo.MakerNote";

struct ImageMetadata {
  std::string path;
  std::string formatType;  // "public.jpeg", "public.png", "public.tiff", "org.webmproject.webp",
                           // "com.adobe.raw-image", "com.adobe.dng"; empty when unknown
  Size pixelSize;          // stored size, before orientation
  int bitsPerSample = 0;   // 8, 16 or 32
  int samplesPerPixel = 0;
  bool hasAlpha = false;
  bool isFloat = false;
  OrvantaExifData exif;
  std::vector<uint8_t> iccProfile;     // embedded profile, empty when none
  std::vector<MetadataEntry> entries;  // Exif.*, Iptc.*, Xmp.* entries
  bool empty() const { return path.empty() && entries.empty() && pixelSize.isZero(); }
  const MetadataEntry* find(const std::string& key) const {
    for (auto& e : entries)
      if (e.key == key) return &e;
    return nullptr;
  }
};

}  // namespace rova
