#pragma once
// Image sources and destinations (the ImageIO stand-in) over the engine's codecs: property
// dictionaries, type identifiers, thumbnails, and writing JPEG, PNG, TIFF and WebP with metadata
// and an embedded ICC profile.
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/Value.h"
#include "rova/ImageMetadata.h"

// Property dictionary keys.
inline constexpr const char* kCGImagePropertyPixelWidth = "PixelWidth";
inline constexpr const char* kCGImagePropertyPixelHeight = "PixelHeight";
inline constexpr const char* kCGImagePropertyOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyDepth = "Depth";
inline constexpr const char* kCGImagePropertyColorModel = "ColorModel";
inline constexpr const char* kCGImagePropertyColorModelRGB = "RGB";
inline constexpr const char* kCGImagePropertyColorModelGray = "Gray";
inline constexpr const char* kCGImagePropertyHasAlpha = "HasAlpha";
inline constexpr const char* kCGImagePropertyIsFloat = "IsFloat";
inline constexpr const char* kCGImagePropertyProfileName = "ProfileName";
inline constexpr const char* kCGImagePropertyDPIWidth = "DPIWidth";
inline constexpr const char* kCGImagePropertyDPIHeight = "DPIHeight";
inline constexpr const char* kCGImagePropertyExifDictionary = "{Exif}";
inline constexpr const char* kCGImagePropertyTIFFDictionary = "{TIFF}";
inline constexpr const char* kCGImagePropertyGPSDictionary = "{GPS}";
inline constexpr const char* kCGImagePropertyIPTCDictionary = "{IPTC}";
// The other metadata sections a property dictionary may hold (by their names in the dictionary).
inline constexpr const char* kCGImagePropertyGIFDictionary = "{GIF}";
inline constexpr const char* kCGImagePropertyJFIFDictionary = "{JFIF}";
inline constexpr const char* kCGImagePropertyPNGDictionary = "{PNG}";
inline constexpr const char* kCGImagePropertyRawDictionary = "{Raw}";
inline constexpr const char* kCGImagePropertyCIFFDictionary = "{CIFF}";
inline constexpr const char* kCGImagePropertyMakerCanonDictionary = "{MakerCanon}";
inline constexpr const char* kCGImagePropertyMakerNikonDictionary = "{MakerNikon}";
inline constexpr const char* kCGImagePropertyMakerMinoltaDictionary = "{MakerMinolta}";
inline constexpr const char* kCGImagePropertyMakerFujiDictionary = "{MakerFuji}";
inline constexpr const char* kCGImagePropertyMakerOlympusDictionary = "{MakerOlympus}";
inline constexpr const char* kCGImagePropertyMakerPentaxDictionary = "{MakerPentax}";
inline constexpr const char* kCGImageProperty8BIMDictionary = "{8BIM}";
inline constexpr const char* kCGImagePropertyDNGDictionary = "{DNG}";
inline constexpr const char* kCGImagePropertyExifAuxDictionary = "{ExifAux}";
inline constexpr const char* kCGImagePropertyOpenEXRDictionary = "{OpenEXR}";
inline constexpr const char* kCGImagePropertyMakerAppleDictionary = "{MakerApple}";
// XMP properties by their exiv2 key without the "Xmp." prefix ("dc.title", "xmp.Rating"): a string,
// or an array of strings for bags, sequences and alternatives.
inline constexpr const char* kQVImagePropertyXMPDictionary = "{XMP}";
inline constexpr const char* kCGImagePropertyExifISOSpeedRatings = "ISOSpeedRatings";
inline constexpr const char* kCGImagePropertyExifISOSpeed = "ISOSpeed";
inline constexpr const char* kCGImagePropertyExifExposureTime = "ExposureTime";
inline constexpr const char* kCGImagePropertyExifFNumber = "FNumber";
inline constexpr const char* kCGImagePropertyExifFocalLength = "FocalLength";
inline constexpr const char* kCGImagePropertyExifExposureBiasValue = "ExposureBiasValue";
inline constexpr const char* kCGImagePropertyExifShutterSpeedValue = "ShutterSpeedValue";
inline constexpr const char* kCGImagePropertyExifExposureProgram = "ExposureProgram";
inline constexpr const char* kCGImagePropertyExifDateTimeOriginal = "DateTimeOriginal";
inline constexpr const char* kCGImagePropertyExifColorSpace = "ColorSpace";
inline constexpr const char* kCGImagePropertyExifLensModel = "LensModel";
inline constexpr const char* kCGImagePropertyExifPixelXDimension = "PixelXDimension";
inline constexpr const char* kCGImagePropertyExifPixelYDimension = "PixelYDimension";
// The maker notes as one data block (see rova::MetadataEntry), carried whole from file to file.
inline constexpr const char* kQVImagePropertyExifMakerNote = "MakerNote";
inline constexpr const char* kCGImagePropertyTIFFMake = "Make";
inline constexpr const char* kCGImagePropertyTIFFModel = "Model";
inline constexpr const char* kCGImagePropertyTIFFOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyTIFFDateTime = "DateTime";
inline constexpr const char* kCGImagePropertyTIFFCompression = "Compression";
inline constexpr const char* kCGImagePropertyGPSLatitude = "Latitude";
inline constexpr const char* kCGImagePropertyGPSLatitudeRef = "LatitudeRef";
inline constexpr const char* kCGImagePropertyGPSLongitude = "Longitude";
inline constexpr const char* kCGImagePropertyGPSLongitudeRef = "LongitudeRef";
inline constexpr const char* kCGImagePropertyGPSAltitude = "Altitude";

// Source and thumbnail options.
inline constexpr const char* kCGImageSourceShouldCache = "kCGImageSourceShouldCache";
inline constexpr const char* kCGImageSourceThumbnailMaxPixelSize = "kCGImageSourceThumbnailMaxPixelSize";
inline constexpr const char* kCGImageSourceCreateThumbnailWithTransform = "kCGImageSourceCreateThumbnailWithTransform";
inline constexpr const char* kCGImageSourceCreateThumbnailFromImageIfAbsent =
    "kCGImageSourceCreateThumbnailFromImageIfAbsent";
inline constexpr const char* kCGImageSourceCreateThumbnailFromImageAlways =
    "kCGImageSourceCreateThumbnailFromImageAlways";
// Destination options (in the properties of an added image or of the destination).
inline constexpr const char* kCGImageDestinationLossyCompressionQuality = "kCGImageDestinationLossyCompressionQuality";

// Type identifiers.
inline constexpr const char* kUTTypeJPEG = "public.jpeg";
inline constexpr const char* kUTTypePNG = "public.png";
inline constexpr const char* kUTTypeTIFF = "public.tiff";
inline constexpr const char* kUTTypeWebP = "org.webmproject.webp";
inline constexpr const char* kUTTypeRawImage = "com.adobe.raw-image";
inline constexpr const char* kUTTypeDNG = "com.adobe.dng";
inline constexpr const char* kUTTypeJPEG2000 = "public.jpeg-2000";

class CGImageSource;
using CGImageSourceRef = std::shared_ptr<CGImageSource>;
class CGImageDestination;
using CGImageDestinationRef = std::shared_ptr<CGImageDestination>;

// nullptr when the file cannot be opened or is not an image we read.
CGImageSourceRef CGImageSourceCreateWithURL(const std::string& path, const qv::Value& options = {});
CGImageSourceRef CGImageSourceCreateWithData(std::vector<uint8_t> data, const qv::Value& options = {});
std::string CGImageSourceGetType(const CGImageSourceRef& source);  // "" for none
size_t CGImageSourceGetCount(const CGImageSourceRef& source);
// The property dictionary of image `index` (only 0 exists); a null value when there is none.
qv::Value CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& source, size_t index,
                                             const qv::Value& options = {});
// The full image in the file's own encoding, depth and colour space (stored orientation).
CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, size_t index, const qv::Value& options = {});
// A thumbnail (8-bit sRGB) no larger than kCGImageSourceThumbnailMaxPixelSize on its long side:
// the embedded one, or one made from the image when the options allow (FromImageIfAbsent: when
// there is none; FromImageAlways: always); turned by the orientation with WithTransform.
CGImageRef CGImageSourceCreateThumbnailAtIndex(const CGImageSourceRef& source, size_t index,
                                               const qv::Value& options = {});
std::vector<std::string> CGImageSourceCopyTypeIdentifiers();
// The colour space of the profile the file embeds; nullptr when it embeds none (or one we cannot use).
CGColorSpaceRef CGImageSourceCopyColorSpace(const CGImageSourceRef& source);

// A destination option (bool, default true): whether a file already at the path is replaced. False,
// the file is moved into place only while the name is free, and a file that is there fails the
// write ("a file with that name exists already").
inline constexpr const char* kQVImageDestinationReplacesExistingFile = "kQVImageDestinationReplacesExistingFile";

// A destination property (data: an RGB ICC profile): the colour space the picture's samples are
// encoded in, and the profile the file embeds. The picture is converted into it (from 16-bit or
// float samples, so nothing bands) unless it is in it already. Without it, a picture in linear light
// (the engine's native or working space) is encoded in sRGB: a file never holds linear-light
// samples, which every viewer that ignores the profile would show far too dark.
inline constexpr const char* kQVImageDestinationColorSpace = "kQVImageDestinationColorSpace";

// Destinations write one image of type "public.jpeg", "public.png", "public.tiff",
// "org.webmproject.webp" or "public.jpeg-2000". nullptr for any other type or a count other than 1.
CGImageDestinationRef CGImageDestinationCreateWithURL(const std::string& path, const std::string& type, size_t count,
                                                      const qv::Value& options = {});
CGImageDestinationRef CGImageDestinationCreateWithData(std::shared_ptr<std::vector<uint8_t>> data,
                                                       const std::string& type, size_t count,
                                                       const qv::Value& options = {});
void CGImageDestinationSetProperties(const CGImageDestinationRef& dest, const qv::Value& properties);
// properties: the property dictionary to write ({Exif}, {TIFF}, {GPS}, {IPTC}, {XMP}, Orientation),
// plus kCGImageDestinationLossyCompressionQuality (0..1; 1 makes WebP and JPEG 2000 lossless),
// Depth (8 or 16, for PNG, TIFF and JPEG 2000) and {TIFF} Compression (1 none, 5 LZW, 7 JPEG,
// 8 ZIP, 32773 PackBits).
//
// What is written: the image's ICC profile; premultiplied alpha undone, and an alpha that is
// opaque everywhere left out; the metadata with orientation 1 unless the properties state one,
// the sizes of the written picture in place of any given, and no thumbnail.
void CGImageDestinationAddImage(const CGImageDestinationRef& dest, const CGImageRef& image,
                                const qv::Value& properties = {});
// The source's image with the source's metadata, overridden by the given properties.
void CGImageDestinationAddImageFromSource(const CGImageDestinationRef& dest, const CGImageSourceRef& source,
                                          size_t index, const qv::Value& properties = {});
// Whether files of a destination type hold 16 bits a sample ("public.png", "public.tiff",
// "public.jpeg-2000"); any other type is written at 8 whatever Depth asks.
bool CGImageDestinationTypeHoldsSixteenBits(const std::string& type);
// The destination type a file name asks for by its extension ("public.jpeg" for .jpg, .jpeg and .jpe,
// "public.png", "public.tiff" for .tif and .tiff, "org.webmproject.webp", "public.jpeg-2000" for
// .jp2); "" when no destination
// writes it, so a caller refuses the name instead of writing one format under another's name.
std::string CGImageDestinationTypeForPath(const std::string& path);
// Encodes and writes; false when there is no image, encoding fails or the file cannot be written.
// A file is written whole or not at all: an existing file at the path stays as it was on failure.
bool CGImageDestinationFinalize(const CGImageDestinationRef& dest, std::string* error = nullptr);
std::vector<std::string> CGImageDestinationCopyTypeIdentifiers();

namespace qv {
// The property dictionary an image source over a bitmap's TIFF representation reports, without
// encoding it: pixel size, depth, colour model, alpha, profile name, resolution and the {TIFF}
// section (orientation 1, 72 pixels an inch). A null value for no image.
Value propertiesForImage(const CGImageRef& image);
// The colour space a rendering of the image file at `path` is handed over in (display-referred): the
// file's own RGB profile, else sRGB (no profile, a grey one, or a file that cannot be read).
CGColorSpaceRef displayColorSpaceForFile(const std::string& path);
// The property dictionary of a file's metadata as the sources report it (exposed for tests and
// the engine-side tools).
Value propertiesFromMetadata(const rova::ImageMetadata& metadata);
// The metadata entries a property dictionary describes.
std::vector<rova::MetadataEntry> metadataFromProperties(const Value& properties);
}  // namespace qv
