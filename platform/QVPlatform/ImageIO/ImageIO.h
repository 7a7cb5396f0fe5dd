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
inline constexpr const char* kCGImagePropertyTIFFMake = "Make";
inline constexpr const char* kCGImagePropertyTIFFModel = "Model";
inline constexpr const char* kCGImagePropertyTIFFOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyTIFFDateTime = "DateTime";
inline constexpr const char* kCGImagePropertyTIFFCompression = "Compression";

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

// Destinations write one image of type "public.jpeg", "public.png", "public.tiff" or
// "org.webmproject.webp". nullptr for any other type or a count other than 1.
CGImageDestinationRef CGImageDestinationCreateWithURL(const std::string& path, const std::string& type, size_t count,
                                                      const qv::Value& options = {});
CGImageDestinationRef CGImageDestinationCreateWithData(std::shared_ptr<std::vector<uint8_t>> data,
                                                       const std::string& type, size_t count,
                                                       const qv::Value& options = {});
void CGImageDestinationSetProperties(const CGImageDestinationRef& dest, const qv::Value& properties);
// properties: the property dictionary to write ({Exif}, {TIFF}, {GPS}, {IPTC}, Orientation), plus
// kCGImageDestinationLossyCompressionQuality (0..1), Depth (8 or 16) and {TIFF} Compression
// (1 none, 5 LZW, 7 JPEG, 8 ZIP).
void CGImageDestinationAddImage(const CGImageDestinationRef& dest, const CGImageRef& image,
                                const qv::Value& properties = {});
// The source's image with the source's metadata, overridden by the given properties.
void CGImageDestinationAddImageFromSource(const CGImageDestinationRef& dest, const CGImageSourceRef& source,
                                          size_t index, const qv::Value& properties = {});
// The destination type a file name asks for by its extension ("public.jpeg" for .jpg, .jpeg and .jpe,
// "public.png", "public.tiff" for .tif and .tiff, "org.webmproject.webp"); "" when no destination
// writes it, so a caller refuses the name instead of writing one format under another's name.
std::string CGImageDestinationTypeForPath(const std::string& path);
// Encodes and writes; false when there is no image, encoding fails or the file cannot be written.
bool CGImageDestinationFinalize(const CGImageDestinationRef& dest, std::string* error = nullptr);
std::vector<std::string> CGImageDestinationCopyTypeIdentifiers();

namespace qv {
// The property dictionary of a file's metadata as the sources report it (exposed for tests and
// the engine-side tools).
Value propertiesFromMetadata(const rova::ImageMetadata& metadata);
// The metadata entries a property dictionary describes.
std::vector<rova::MetadataEntry> metadataFromProperties(const Value& properties);
}  // namespace qv
