#include "Ombrel/Classes/Business/ExportManager/QVImageSaver.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Ombrel/Classes/Business/ExportManager/QVImageExportOptions.h"
#include "QVPlatform/ImageIO/QVShareManager.h"
#include "common/TestSupport.h"
#include "rova/codecs/Codecs.h"

namespace fs = std::filesystem;
using qv::Value;

namespace {

constexpr size_t kWidth = 96, kHeight = 64;

// A 16-bit gradient with an opaque premultiplied alpha in Adobe RGB, as an export hands it over.
NSImageRef gradient16() {
  auto buf = std::make_shared<std::vector<uint8_t>>(kWidth * kHeight * 8);
  for (size_t y = 0; y < kHeight; ++y)
    for (size_t x = 0; x < kWidth; ++x) {
      const uint16_t px[4] = {uint16_t(x * 65535 / (kWidth - 1)), uint16_t(y * 65535 / (kHeight - 1)),
                              uint16_t((x + y) * 300), 65535};
      std::memcpy(buf->data() + (y * kWidth + x) * 8, px, 8);
    }
  auto image = CGImageCreate(kWidth, kHeight, 16, 64, kWidth * 8, CGColorSpaceCreateWithName(kCGColorSpaceAdobeRGB1998),
                             kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder16Little, buf);
  return NSImage::imageWithCGImage(image);
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// The JPEG with its EXIF replaced by `exif` and the JPEG itself as its thumbnail (as a camera
// writes one), written at `path`.
fs::path withExifAndThumbnail(Exiv2::Image& img, Exiv2::ExifData exif, const std::vector<uint8_t>& jpeg,
                              const fs::path& path) {
  Exiv2::ExifThumb(exif).setJpegThumbnail(jpeg.data(), long(jpeg.size()));
  img.setExifData(exif);
  img.writeMetadata();
  auto& io = img.io();
  io.seek(0, Exiv2::BasicIo::beg);
  Exiv2::DataBuf bytes = io.read(long(io.size()));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.pData_), bytes.size_);
  return path;
}

// The source photo: a small JPEG turned by orientation 6, with camera, lens, place and date, XMP,
// a maker note of the camera and an EXIF thumbnail.
fs::path makeSourceJpeg(const fs::path& dir) {
  auto buf = std::make_shared<std::vector<uint8_t>>(40 * 30 * 3, uint8_t(120));
  auto image = CGImageCreate(40, 30, 8, 24, 120, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf);
  Value props = qv::Dictionary{};
  props.set(kCGImagePropertyOrientation, 6);
  props.set("{TIFF}", qv::Dictionary{{"Make", "Canon"}, {"Model", "EOS Test"}, {"DateTime", "2024:05:06 07:08:09"}});
  props.set("{Exif}", qv::Dictionary{{"LensModel", "EF 50mm f/1.8"},
                                     {"DateTimeOriginal", "2024:05:06 07:08:09"},
                                     {"FNumber", 1.8},
                                     {"ColorSpace", 1}});
  props.set("{GPS}", qv::Dictionary{{"Latitude", 48.8583},
                                    {"LatitudeRef", "N"},
                                    {"Longitude", 2.2945},
                                    {"LongitudeRef", "W"},
                                    {"Altitude", 35.5}});
  props.set("{XMP}", qv::Dictionary{{"dc.subject", qv::Array{"tower", "night"}}, {"tiff.Orientation", "6"}});
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto dest = CGImageDestinationCreateWithData(data, kUTTypeJPEG, 1);
  CGImageDestinationAddImage(dest, image, props);
  EXPECT_TRUE(CGImageDestinationFinalize(dest));
  // The camera's maker note and a thumbnail, as a camera writes them.
  auto img = Exiv2::ImageFactory::open(data->data(), long(data->size()));
  img->readMetadata();
  Exiv2::ExifData exif = img->exifData();
  exif["Exif.Canon.OwnerName"] = "Owner Of The Camera";
  exif["Exif.Canon.FirmwareVersion"] = "Firmware 1.0";
  return withExifAndThumbnail(*img, exif, *data, dir / "source.jpg");
}

// The exiv2 keys of a maker-note block.
std::set<std::string> makerNoteKeys(const Value& note) {
  std::set<std::string> keys;
  if (!note.data()) return keys;
  Exiv2::ExifData exif;
  Exiv2::ExifParser::decode(exif, note.data()->data(), uint32_t(note.data()->size()));
  for (const auto& d : exif) keys.insert(d.key() + "=" + d.toString());
  return keys;
}

const rova::MetadataEntry* findEntry(const rova::ImageMetadata& m, const std::string& key) { return m.find(key); }

}  // namespace

// The whole road: a 16-bit render written in each format with the source photo's metadata merged,
// each file read back.
TEST(QVImageSaver, WritesEveryFormatWithTheSourcesMetadataMerged) {
  const fs::path dir = solvane::test::makeTempDir("saver-formats");
  const fs::path source = makeSourceJpeg(dir);
  {
    auto check = CGImageSourceCreateWithURL(source.string());
    ASSERT_TRUE(check);
    ASSERT_TRUE(CGImageSourceCreateThumbnailAtIndex(check, 0)) << "the fixture should carry a thumbnail";
    ASSERT_EQ(CGImageSourceCopyPropertiesAtIndex(check, 0)[kCGImagePropertyOrientation].asInt(), 6);
  }
  using Tiff = QVImageSaver::FormatOptions::Tiff;
  struct Case {
    const char* type;
    const char* name;
    QVImageSaver::FormatOptions format;
    int64_t depth;
    int64_t tiffCompression;  // 0: not a TIFF
  } cases[] = {
      {kUTTypeJPEG, "out.jpg", {kUTTypeJPEG, 0.9, std::nullopt}, 8, 0},
      {kUTTypePNG, "out.png", {kUTTypePNG, 1.0, std::nullopt}, 16, 0},
      {kUTTypeTIFF, "out.tif", {"PUBLIC.TIFF", 1.0, Tiff{5, 16}}, 16, 5},
      {kUTTypeWebP, "out.webp", {kUTTypeWebP, 0.9, std::nullopt}, 8, 0},
      {kUTTypeJPEG2000, "out.jp2", {kUTTypeJPEG2000, 1.0, std::nullopt}, 16, 0},
  };
  const NSImageRef image = gradient16();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = dir / c.name;
    auto error = QVImageSaver::saveImage(image, source.string(), out.string(), c.type, true, &c.format, nullptr);
    ASSERT_FALSE(error) << error->description << " " << error->userInfo["reason"].asString();
    auto written = CGImageSourceCreateWithURL(out.string());
    ASSERT_TRUE(written);
    EXPECT_EQ(CGImageSourceGetType(written), c.type);
    const Value p = CGImageSourceCopyPropertiesAtIndex(written, 0);
    EXPECT_EQ(p[kCGImagePropertyPixelWidth].asInt(), int64_t(kWidth));
    EXPECT_EQ(p[kCGImagePropertyPixelHeight].asInt(), int64_t(kHeight));
    EXPECT_EQ(p[kCGImagePropertyDepth].asInt(), c.depth);
    EXPECT_FALSE(p[kCGImagePropertyHasAlpha].asBool(true)) << "an opaque alpha is left out";
    EXPECT_EQ(p[kCGImagePropertyProfileName].asString(), "Adobe RGB (1998)");
    // Carried from the source.
    EXPECT_EQ(p["{TIFF}"]["Make"].asString(), "Canon");
    EXPECT_EQ(p["{TIFF}"]["Model"].asString(), "EOS Test");
    EXPECT_EQ(p["{Exif}"]["LensModel"].asString(), "EF 50mm f/1.8");
    EXPECT_EQ(p["{Exif}"]["DateTimeOriginal"].asString(), "2024:05:06 07:08:09");
    EXPECT_NEAR(p["{GPS}"]["Latitude"].asDouble(), 48.8583, 1e-4);
    EXPECT_EQ(p["{GPS}"]["LatitudeRef"].asString(), "N");
    EXPECT_NEAR(p["{GPS}"]["Longitude"].asDouble(), 2.2945, 1e-4);
    EXPECT_EQ(p["{GPS}"]["LongitudeRef"].asString(), "W");
    EXPECT_NEAR(p["{GPS}"]["Altitude"].asDouble(), 35.5, 1e-3);
    EXPECT_EQ(p["{XMP}"]["dc.subject"], Value(qv::Array{"tower", "night"}));
    const auto notes = makerNoteKeys(p["{Exif}"][kQVImagePropertyExifMakerNote]);
    EXPECT_TRUE(notes.count("Exif.Canon.OwnerName=Owner Of The Camera")) << notes.size();
    // Of the written picture: upright, its own size, no thumbnail of the source.
    EXPECT_EQ(p[kCGImagePropertyOrientation].asInt(1), 1);
    EXPECT_EQ(p["{TIFF}"]["Orientation"].asInt(1), 1);
    EXPECT_EQ(p["{XMP}"]["tiff.Orientation"].asString(), "1");
    EXPECT_EQ(p["{Exif}"]["PixelXDimension"].asInt(), int64_t(kWidth));
    EXPECT_EQ(p["{Exif}"]["PixelYDimension"].asInt(), int64_t(kHeight));
    EXPECT_FALSE(CGImageSourceCreateThumbnailAtIndex(written, 0));
    rova::codecs::Bytes bytes;
    ASSERT_TRUE(bytes.open(out.string(), nullptr));
    rova::ImageMetadata m;
    rova::codecs::readMetadata(bytes.data(), bytes.size(), rova::codecs::lowerExtension(out.string()), m);
    EXPECT_FALSE(findEntry(m, "Exif.Thumbnail.JPEGInterchangeFormat"));
    if (c.tiffCompression) {
      ASSERT_TRUE(findEntry(m, "Exif.Image.Compression"));
      EXPECT_EQ(findEntry(m, "Exif.Image.Compression")->numbers.at(0), double(c.tiffCompression));
    }
  }
}

namespace {

// A camera's JPEG: its EXIF as a camera writes it (versions, colour space, the capture's tags,
// the layout of its own YCbCr data, an interoperability directory and a thumbnail), turned by
// orientation 6.
fs::path makeCameraJpeg(const fs::path& dir) {
  auto buf = std::make_shared<std::vector<uint8_t>>(48 * 32 * 3, uint8_t(90));
  auto image = CGImageCreate(48, 32, 8, 24, 48 * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf);
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto dest = CGImageDestinationCreateWithData(data, kUTTypeJPEG, 1);
  CGImageDestinationAddImage(dest, image, {});
  EXPECT_TRUE(CGImageDestinationFinalize(dest));
  auto img = Exiv2::ImageFactory::open(data->data(), long(data->size()));
  img->readMetadata();
  Exiv2::ExifData exif;
  exif["Exif.Image.Make"] = "Maker";
  exif["Exif.Image.Model"] = "Board Camera";
  exif["Exif.Image.Software"] = "Firmware 1.2";
  exif["Exif.Image.Orientation"] = uint16_t(6);
  exif["Exif.Image.YCbCrPositioning"] = uint16_t(2);
  exif["Exif.Photo.ExifVersion"] = Exiv2::DataValue(reinterpret_cast<const Exiv2::byte*>("0231"), 4);
  exif["Exif.Photo.FlashpixVersion"] = Exiv2::DataValue(reinterpret_cast<const Exiv2::byte*>("0100"), 4);
  const Exiv2::byte components[] = {1, 2, 3, 0};
  exif["Exif.Photo.ComponentsConfiguration"] = Exiv2::DataValue(components, 4);
  exif["Exif.Photo.ColorSpace"] = uint16_t(1);
  exif["Exif.Photo.LightSource"] = uint16_t(4);
  exif["Exif.Photo.SensingMethod"] = uint16_t(2);
  exif["Exif.Photo.CustomRendered"] = uint16_t(0);
  exif["Exif.Photo.DigitalZoomRatio"] = Exiv2::URational(3, 2);
  exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
  exif["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
  exif["Exif.Photo.CompressedBitsPerPixel"] = Exiv2::URational(4, 1);
  exif["Exif.Photo.PixelXDimension"] = uint32_t(4000);
  exif["Exif.Iop.InteroperabilityIndex"] = "R98";
  exif["Exif.GPSInfo.GPSVersionID"] = Exiv2::DataValue(components, 4, Exiv2::invalidByteOrder, Exiv2::unsignedByte);
  exif["Exif.GPSInfo.GPSMapDatum"] = "WGS-84";
  return withExifAndThumbnail(*img, exif, *data, dir / "camera.jpg");
}

// Every EXIF tag of a file as exiv2 reads it, key to text.
std::map<std::string, std::string> exifTags(const fs::path& path) {
  std::map<std::string, std::string> tags;
  auto img = Exiv2::ImageFactory::open(path.string());
  img->readMetadata();
  for (const auto& d : img->exifData()) tags[d.key()] = d.toString();
  return tags;
}

}  // namespace

// The EXIF a written file carries, over formats and both merges: every source tag still true of
// the written picture, the ones that change stated anew (orientation, size, the colour space of
// the profile written: 1 sRGB, 0xFFFF otherwise), and what described the source's own data left
// out (its YCbCr layout, compression ratio, interoperability directory and thumbnail).
TEST(QVImageSaver, ExifTagsStillTrueAreKeptAndTheRestStatedAnew) {
  const fs::path dir = solvane::test::makeTempDir("saver-exif");
  const fs::path source = makeCameraJpeg(dir);
  ASSERT_EQ(exifTags(source).at("Exif.Photo.ExifVersion"), "48 50 51 49");
  auto srgb8 = [] {
    auto buf = std::make_shared<std::vector<uint8_t>>(kWidth * kHeight * 3, uint8_t(140));
    return NSImage::imageWithCGImage(
        CGImageCreate(kWidth, kHeight, 8, 24, kWidth * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf));
  }();
  const std::map<std::string, std::string> kept = {
      {"Exif.Image.Make", "Maker"},
      {"Exif.Image.Model", "Board Camera"},
      {"Exif.Image.Software", "Firmware 1.2"},
      {"Exif.Photo.ExifVersion", "48 50 51 49"},
      {"Exif.Photo.FlashpixVersion", "48 49 48 48"},
      {"Exif.Photo.ComponentsConfiguration", "1 2 3 0"},
      {"Exif.Photo.LightSource", "4"},
      {"Exif.Photo.SensingMethod", "2"},
      {"Exif.Photo.CustomRendered", "0"},
      {"Exif.Photo.DigitalZoomRatio", "3/2"},
      {"Exif.Photo.ExposureTime", "1/250"},
      {"Exif.Photo.DateTimeOriginal", "2024:05:06 07:08:09"},
      {"Exif.GPSInfo.GPSVersionID", "1 2 3 0"},
      {"Exif.GPSInfo.GPSMapDatum", "WGS-84"},
      {"Exif.Image.Orientation", "1"},
      {"Exif.Photo.PixelXDimension", std::to_string(kWidth)},
      {"Exif.Photo.PixelYDimension", std::to_string(kHeight)},
  };
  const char* dropped[] = {"Exif.Image.YCbCrPositioning", "Exif.Photo.CompressedBitsPerPixel",
                           "Exif.Iop.InteroperabilityIndex", "Exif.Thumbnail.JPEGInterchangeFormat",
                           "Exif.Thumbnail.Compression"};
  struct Case {
    const char* name;
    const char* type;
    bool interactive;  // the save dialog's merge, else a preset's
    bool wideGamut;    // an Adobe RGB render, else sRGB
  } cases[] = {
      {"dialog.jpg", kUTTypeJPEG, true, false},     {"dialog.png", kUTTypePNG, true, false},
      {"dialog.tif", kUTTypeTIFF, true, false},     {"preset.jpg", kUTTypeJPEG, false, true},
      {"preset.png", kUTTypePNG, false, true},      {"preset.tif", kUTTypeTIFF, false, true},
      {"dialog-wide.tif", kUTTypeTIFF, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = dir / c.name;
    const NSImageRef image = c.wideGamut ? gradient16() : srgb8;
    std::optional<qv::Error> error;
    if (c.interactive) {
      auto options = QVImageExportOptions::defaultOptionsWithType(c.type);
      error = QVImageSaver::saveImageWithOptions(image, source.string(), out.string(), *options);
    } else {
      const QVImageSaver::FormatOptions format{c.type, 0.9, std::nullopt};
      error = QVImageSaver::saveImage(image, source.string(), out.string(), c.type, true, &format, nullptr);
    }
    ASSERT_FALSE(error) << error->userInfo["reason"].asString();
    const auto tags = exifTags(out);
    for (const auto& [key, value] : kept) {
      const auto found = tags.find(key);
      if (found == tags.end()) {
        ADD_FAILURE() << key << " is missing";
        continue;
      }
      EXPECT_EQ(found->second, value) << key;
    }
    ASSERT_TRUE(tags.count("Exif.Photo.ColorSpace"));
    EXPECT_EQ(tags.at("Exif.Photo.ColorSpace"), c.wideGamut ? "65535" : "1");
    for (const char* key : dropped) EXPECT_FALSE(tags.count(key)) << key;
    // A TIFF's own layout is the written file's, not the source's.
    if (std::string(c.type) == kUTTypeTIFF) EXPECT_NE(tags.at("Exif.Image.Compression"), "6");
  }
}

// Error 1000 for an image that gives no bitmap, nothing written.
TEST(QVImageSaver, AnImageWithoutABitmapIsError1000) {
  const fs::path dir = solvane::test::makeTempDir("saver-nobitmap");
  auto lazy = NSImage::imageWithSize(CGSizeMake(10, 10), [](size_t, size_t) { return CGImageRef(); });
  auto error = QVImageSaver::saveImage(lazy, "/nonexistent/source.jpg", (dir / "x.jpg").string(), kUTTypeJPEG, true,
                                       nullptr, nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "com.orvanta.image");
  EXPECT_EQ(error->code, 1000);
  EXPECT_EQ(error->description, "Failed to create image source");
  EXPECT_TRUE(entries(dir).empty());
  auto options = QVImageExportOptions::defaultOptions();
  EXPECT_EQ(
      QVImageSaver::saveImageWithOptions(lazy, "/nonexistent/source.jpg", (dir / "x.jpg").string(), *options)->code,
      1000);
}

// An existing target with overwrite off goes to the collision block's path; without a block it is
// kept and the write fails; with overwrite on it is replaced.
TEST(QVImageSaver, CollisionsFollowTheBlockOrReplace) {
  const fs::path dir = solvane::test::makeTempDir("saver-collide");
  const fs::path target = dir / "photo.png";
  std::ofstream(target) << "old";
  std::string asked;
  auto error = QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", target.string(), kUTTypePNG, false,
                                       nullptr, [&](const std::string& path) {
                                         asked = path;
                                         return (dir / "photo 1.png").string();
                                       });
  EXPECT_FALSE(error);
  EXPECT_EQ(asked, target.string());
  EXPECT_EQ(slurp(target), "old");
  EXPECT_TRUE(CGImageSourceCreateWithURL((dir / "photo 1.png").string()));
  // Not overwriting and no block: the file there is kept and the write fails, saying why.
  error = QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", target.string(), kUTTypePNG, false, nullptr,
                                  nullptr);
  ASSERT_TRUE(error);
  EXPECT_NE(error->userInfo["reason"].asString().find("exists already"), std::string::npos);
  EXPECT_EQ(slurp(target), "old");
  // Overwriting replaces it.
  EXPECT_FALSE(QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", target.string(), kUTTypePNG, true,
                                       nullptr, nullptr));
  EXPECT_TRUE(CGImageSourceCreateWithURL(target.string()));
}

namespace {
// In a child process whose files may not grow past 4 KB (a full disk): exits 0 when the save
// answers error 1001.
void saveOnAFullDisk(const fs::path& target) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  // Uncompressed, so the file is larger than the limit.
  const QVImageSaver::FormatOptions plain{kUTTypeTIFF, 1.0, QVImageSaver::FormatOptions::Tiff{1, 16}};
  auto error = QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", target.string(), kUTTypeTIFF, true,
                                       &plain, nullptr);
  std::_Exit(error && error->code == 1001 ? 0 : 1);
}
}  // namespace

// A write that cannot finish is error 1001 and leaves the existing file byte for byte, with no
// temporary file beside it.
TEST(QVImageSaver, AFailedWriteIsError1001AndKeepsTheTarget) {
  const fs::path dir = solvane::test::makeTempDir("saver-fail");
  const fs::path target = dir / "photo.tif";
  std::ofstream(target) << "the original picture";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(saveOnAFullDisk(target), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(slurp(target), "the original picture");
  EXPECT_EQ(entries(dir), std::set<std::string>{"photo.tif"});

  // A read-only place: a locked folder (or, for root, who writes anywhere, a folder of the kernel's).
  fs::path locked = dir / "locked";
  fs::create_directory(locked);
  std::ofstream(locked / "photo.tif") << "the original picture";
  ::chmod(locked.c_str(), 0500);
  const fs::path readOnly = ::geteuid() == 0 ? fs::path("/proc/self/photo.tif") : locked / "photo.tif";
  auto error = QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", readOnly.string(), kUTTypeTIFF, true,
                                       nullptr, nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, 1001);
  EXPECT_EQ(error->description, "Failed to save image source");
  EXPECT_FALSE(error->userInfo["reason"].asString().empty());
  // The interactive writer reports the same failure instead of passing over it.
  auto options = QVImageExportOptions::defaultOptionsWithType(kUTTypeTIFF);
  auto interactive =
      QVImageSaver::saveImageWithOptions(gradient16(), "/nonexistent/source.jpg", readOnly.string(), *options);
  ASSERT_TRUE(interactive);
  EXPECT_EQ(interactive->code, 1001);
  ::chmod(locked.c_str(), 0700);
  EXPECT_EQ(slurp(locked / "photo.tif"), "the original picture");
  EXPECT_EQ(entries(locked), std::set<std::string>{"photo.tif"});
  // An unknown type is refused the same way.
  EXPECT_EQ(QVImageSaver::saveImage(gradient16(), "/nonexistent/source.jpg", (dir / "x.gif").string(),
                                    "com.compuserve.gif", true, nullptr, nullptr)
                ->code,
            1001);
}

// The preset-driven merge, in memory.
TEST(QVImageSaver, PresetMergeTable) {
  const Value rendered =
      qv::Dictionary{{"PixelWidth", Value(int64_t(100))},
                     {"Depth", Value(int64_t(16))},
                     {"Orientation", Value(int64_t(1))},
                     {"{TIFF}", qv::Dictionary{{"Orientation", Value(int64_t(1))}, {"XResolution", Value(72.0)}}},
                     {"{Exif}", qv::Dictionary{{"PixelXDimension", Value(int64_t(100))}}}};
  const Value source = qv::Dictionary{
      {"PixelWidth", Value(int64_t(4000))},
      {"Depth", Value(int64_t(8))},
      {"ProfileName", Value("sRGB IEC61966-2.1")},
      {"{TIFF}", qv::Dictionary{{"Make", Value("Maker")}, {"XResolution", Value(300.0)}}},
      {"{Exif}", qv::Dictionary{{"LensModel", Value("Lens")}, {"PixelXDimension", Value(int64_t(4000))}}},
      {"{GPS}", qv::Dictionary{{"Latitude", Value(1.5)}}}};
  using F = QVImageSaver::FormatOptions;
  struct Case {
    const char* name;
    std::optional<F> format;
    std::optional<int64_t> compression, depth;
    std::optional<double> quality;
  } cases[] = {
      {"JPEG preset", F{kUTTypeJPEG, 0.8, std::nullopt}, 5, 16, 0.8},
      {"PNG preset ignores its TIFF settings", F{kUTTypePNG, 1.0, F::Tiff{32773, 8}}, 5, 16, 1.0},
      {"TIFF LZW 16", F{"Public.Tiff", 1.0, F::Tiff{5, 16}}, 5, 16, 1.0},
      {"TIFF PackBits 8", F{kUTTypeTIFF, 1.0, F::Tiff{32773, 8}}, 32773, 8, 1.0},
      {"TIFF without TIFF properties", F{kUTTypeTIFF, 1.0, std::nullopt}, std::nullopt, std::nullopt, 1.0},
      {"no format: no quality stated", std::nullopt, 5, 16, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Value m = QVImageSaver::mergedImageProperties(rendered, source, c.format ? &*c.format : nullptr);
    // Top level: the rendered image wins; the source's other entries and sections come along.
    EXPECT_EQ(m["PixelWidth"].asInt(), 100);
    EXPECT_EQ(m["Orientation"].asInt(), 1);
    EXPECT_EQ(m["ProfileName"].asString(), "sRGB IEC61966-2.1");
    EXPECT_EQ(m["{GPS}"]["Latitude"].asDouble(), 1.5);
    // Inside the sections the source wins, the rendered image's other entries stay.
    EXPECT_EQ(m["{TIFF}"]["Make"].asString(), "Maker");
    EXPECT_EQ(m["{TIFF}"]["XResolution"].asDouble(), 300.0);
    EXPECT_EQ(m["{TIFF}"]["Orientation"].asInt(), 1);
    EXPECT_EQ(m["{Exif}"]["LensModel"].asString(), "Lens");
    EXPECT_EQ(m["{TIFF}"].find("Compression") ? std::optional(m["{TIFF}"]["Compression"].asInt()) : std::nullopt,
              c.compression);
    EXPECT_EQ(m.find("Depth") ? std::optional(m["Depth"].asInt()) : std::nullopt, c.depth);
    EXPECT_EQ(m.find(kCGImageDestinationLossyCompressionQuality)
                  ? std::optional(m[kCGImageDestinationLossyCompressionQuality].asDouble())
                  : std::nullopt,
              c.quality);
  }
  EXPECT_TRUE(QVImageSaver::mergedImageProperties(Value(), source, nullptr).isNull());
  // No source properties: the rendered image's own, with the format's settings.
  const F jpeg{kUTTypeJPEG, 0.7, std::nullopt};
  const Value alone = QVImageSaver::mergedImageProperties(rendered, Value(), &jpeg);
  EXPECT_EQ(alone["{TIFF}"]["XResolution"].asDouble(), 72.0);
  EXPECT_FALSE(alone.find("{GPS}"));
}

// The interactive merge, in memory: the source is the base, the options lie over it, the depth is
// the options' (the one the dialog showed), the source file's only when the options name none.
TEST(QVImageSaver, InteractiveMergeTable) {
  const Value source =
      qv::Dictionary{{"Depth", Value(int64_t(16))},
                     {"{TIFF}", qv::Dictionary{{"Make", Value("Maker")}, {"Compression", Value(int64_t(1))}}},
                     {"{Exif}", qv::Dictionary{{"LensModel", Value("Lens")}}}};
  const auto defaults = QVImageExportOptions::defaultOptions();
  Value m = QVImageSaver::mergedExportProperties(source, 8, *defaults);
  EXPECT_EQ(m[kCGImageDestinationLossyCompressionQuality].asDouble(), 0.85);
  EXPECT_EQ(m["{TIFF}"]["Compression"].asInt(), 5);
  EXPECT_EQ(m["{TIFF}"]["Make"].asString(), "Maker");
  EXPECT_EQ(m["Depth"].asInt(), 8);
  EXPECT_EQ(m["{Exif}"]["LensModel"].asString(), "Lens");
  // A source without a TIFF section ends without one, whatever the options hold.
  Value bare = source;
  bare.erase("{TIFF}");
  m = QVImageSaver::mergedExportProperties(bare, 16, *defaults);
  EXPECT_FALSE(m.find("{TIFF}"));
  EXPECT_EQ(m["Depth"].asInt(), 8);
  struct DepthCase {
    uint64_t options;
    int64_t source, written;
  } depths[] = {{16, 8, 16}, {8, 16, 8}, {0, 16, 16}, {0, 8, 8}};
  for (const auto& d : depths) {
    const auto options =
        QVImageExportOptions::imageExportOptionsWithDepth(d.options, kUTTypePNG, defaults->paramsDic());
    EXPECT_EQ(QVImageSaver::mergedExportProperties(source, d.source, *options)["Depth"].asInt(), d.written)
        << d.options << " over " << d.source;
  }
  // An unreadable source: the options alone.
  m = QVImageSaver::mergedExportProperties(Value(), 0, *defaults);
  EXPECT_EQ(m[kCGImageDestinationLossyCompressionQuality].asDouble(), 0.85);
  EXPECT_FALSE(m.find("{TIFF}"));
}

TEST(QVImageExportOptions, DefaultsAndDescription) {
  auto tiff = QVImageExportOptions::defaultOptionsWithDepth(16.7, kUTTypeTIFF);
  EXPECT_EQ(tiff->depth(), 16u);
  EXPECT_EQ(tiff->type(), kUTTypeTIFF);
  EXPECT_TRUE(tiff->paramsDic()["Depth"].isReal());
  EXPECT_EQ(tiff->paramsDic()["Depth"].asDouble(), 16.7);
  EXPECT_EQ(tiff->paramsDic()[kCGImageDestinationLossyCompressionQuality].asDouble(), 0.85);
  EXPECT_EQ(tiff->paramsDic()["{TIFF}"]["Compression"].asInt(), 5);
  auto d = QVImageExportOptions::defaultOptions();
  EXPECT_EQ(d->depth(), 8u);
  EXPECT_EQ(d->type(), "public.jpeg");
  EXPECT_EQ(QVImageExportOptions::defaultOptionsWithType(kUTTypePNG)->type(), kUTTypePNG);
  EXPECT_EQ(QVImageExportOptions::defaultOptionsWithDepth(-3, kUTTypePNG)->depth(), 0u);
  auto exact = QVImageExportOptions::imageExportOptionsWithDepth(16, "public.png", qv::Dictionary{{"a", Value(1)}});
  EXPECT_EQ(exact->paramsDic(), Value(qv::Dictionary{{"a", Value(1)}}));
  const std::string text = exact->description();
  EXPECT_EQ(text.rfind("<QVImageExportOptions: ", 0), 0u);
  EXPECT_NE(text.find("> depth: 16, type: public.png, params: "), std::string::npos) << text;
}
