#pragma once
// The file formats the engine and the platform's image I/O layer read and write. There is one
// implementation of each format, here; callers above the engine reach it through these functions.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rova/ImageData.h"
#include "rova/ImageMetadata.h"
#include "rova/RectRoi.h"

namespace rova::codecs {

enum class Format { Unknown, JPEG, PNG, TIFF, WebP, RAW, DNG, JPEG2000 };

// Type identifiers as the platform layer reports them ("public.jpeg", "com.adobe.raw-image",
// "public.jpeg-2000", ...);
// "" for Unknown.
const char* typeIdentifier(Format f);
Format formatForTypeIdentifier(const std::string& uti);
// Lower-case extension without the point ("jpeg", "png", "tiff", "webp", "dng", "jp2"); "" when none.
const char* preferredExtension(Format f);
bool isRawExtension(const std::string& lowerExtension);
// The lower-case extension of a path, without the point ("" when none).
std::string lowerExtension(const std::string& path);

// The bytes of a file (read into memory) or of a caller's buffer (not copied).
class Bytes {
 public:
  Bytes() = default;
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // Opens a regular file; false with a reason for a missing file, a folder, an empty file or a read error.
  bool open(const std::string& path, std::string* error);
  // Only the first maxBytes of the file; *whole tells whether that was all of it.
  bool openPrefix(const std::string& path, size_t maxBytes, bool* whole, std::string* error);
  ~Bytes();
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::vector<uint8_t> owned_;
  bool read(const std::string& path, size_t maxBytes, bool* whole, std::string* error);
};

// Format by content (magic numbers; TIFF-based RAW files by the extension hint and LibRaw).
Format detectFormat(const uint8_t* data, size_t size, const std::string& lowerExtension = {});

// Leaves new elements uninitialised: decoders overwrite every byte of a bitmap anyway. A large
// bitmap asks for huge pages, as the engine's own pixel buffers do, and the largest come from (and
// go back to) the engine's pixel storage, which may reuse them (LargeBufferReuse).
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using std::allocator<T>::allocator;
  T* allocate(size_t n) {
    if (n > rova::detail::kLargePixelBufferBytes / sizeof(T)) {
      if (n > std::allocator_traits<std::allocator<T>>::max_size(*this)) throw std::bad_array_new_length();
      if (void* p = rova::detail::allocatePixels(n * sizeof(T))) return static_cast<T*>(p);
      throw std::bad_alloc();
    }
    T* p = std::allocator<T>::allocate(n);
    if (n * sizeof(T) >= (size_t(8) << 20)) rova::detail::preferHugePages(p, n * sizeof(T));
    return p;
  }
  void deallocate(T* p, size_t n) {
    if (n > rova::detail::kLargePixelBufferBytes / sizeof(T))
      rova::detail::freePixels(p, n * sizeof(T));
    else
      std::allocator<T>::deallocate(p, n);
  }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// An interleaved bitmap in the file's own encoding: 1 (grey), 2 (grey+alpha), 3 (RGB) or 4 (RGBA)
// channels of 8-bit, 16-bit (host order) or 32-bit float samples; rows packed top to bottom.
struct Bitmap {
  int width = 0, height = 0, channels = 0, depth = 8;
  std::vector<uint8_t, DefaultInitAllocator<uint8_t>> pixels;
  size_t bytesPerSample() const { return depth == 8 ? 1 : depth == 16 ? 2 : 4; }
  size_t bytesPerPixel() const { return bytesPerSample() * size_t(channels); }
  size_t rowBytes() const { return bytesPerPixel() * size_t(width); }
  uint8_t* row(int y) { return pixels.data() + rowBytes() * size_t(y); }
  const uint8_t* row(int y) const {
    return borrowed_ ? borrowed_ + borrowedStride_ * size_t(y) : pixels.data() + rowBytes() * size_t(y);
  }
  // Allocates (uninitialised); false for a size over the pixel ceiling or when memory is short.
  bool allocate(int w, int h, int ch, int d);
  bool empty() const { return pixels.empty() && !borrowed_; }
  // A bitmap over rows someone else owns (`stride` bytes apart, each at least rowBytes()), for the
  // encoders, which only read rows through row(y) const: a platform bitmap is written without a
  // copy. The rows must outlive the view.
  static Bitmap view(const uint8_t* rows, size_t stride, int w, int h, int ch, int d) {
    Bitmap b;
    b.width = w, b.height = h, b.channels = ch, b.depth = d;
    b.borrowed_ = rows;
    b.borrowedStride_ = stride;
    return b;
  }

 private:
  const uint8_t* borrowed_ = nullptr;
  size_t borrowedStride_ = 0;
};

// Where the pixel (x', y') of an image turned by an EXIF orientation comes from in the stored image
// of size W x H: srcX = x0 + xx * x' + xy * y', srcY = y0 + yx * x' + yy * y'.
struct OrientationMap {
  int x0, xx, xy, y0, yx, yy;
};
OrientationMap orientationMap(int orientation, int storedWidth, int storedHeight);

// A new bitmap turned by an EXIF orientation (1..8; others leave the bitmap as it is).
Bitmap orientBitmap(const Bitmap& src, int orientation);
// The stored size turned by an orientation (5..8 swap width and height).
Size orientedSize(Size stored, int orientation);

using CancelFlag = std::shared_ptr<std::atomic<bool>>;
inline bool isCancelled(const CancelFlag& c) { return c && c->load(std::memory_order_relaxed); }

struct ImageInfo {
  Format format = Format::Unknown;
  Size size;  // stored pixel size (before orientation)
  int bitsPerSample = 0;
  int channels = 0;
  bool hasAlpha = false;
  bool premultipliedAlpha = false;  // decoded colour samples are multiplied by the alpha (associated)
  bool isFloat = false;
  int orientation = 1;
  std::vector<uint8_t> icc;
};

// Takes 8-bit rows as a decoder makes them, in place of the bitmap, so a caller can convert them
// while they are still in cache (bands decoded on several cores) or while the rows after them are
// decoded (one-piece decodes). begin() comes first, once, with the decoded size, the channels (1 or
// 3) and the file's facts; false declines and the bitmap is filled as usual. rows() then comes,
// possibly from several threads at once, each call with its own run of whole rows (stored
// orientation). Every row comes once, except after a band fails: the one-piece decode then sends
// every row again, and the later rows replace the earlier.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual bool begin(int width, int height, int channels, const ImageInfo& info) = 0;
  virtual void rows(int y, int count, const uint8_t* data, size_t rowBytes) = 0;
  // Linear-light RGB floats (a RAW development on every core) in place of a bitmap of floats:
  // beginLinear() first, once (false declines, the bitmap is filled as usual), then linearBlock()
  // from several threads at once, each with its own rectangle of the stored picture, `rowFloats`
  // floats from one of its rows to the next. A sink of 8-bit rows only keeps these defaults.
  virtual bool beginLinear(int width, int height, const ImageInfo& info) { return false; }
  virtual void linearBlock(int x, int y, int width, int height, const float* data, size_t rowFloats) {}
};

struct DecodeRequest {
  // The decoded bitmap may be smaller than the file when it still covers this box (zero: full size).
  // The box is compared with the stored size turned by the file's orientation.
  Size fitSize;
  CancelFlag cancel;
  // RAW files only.
  bool rawHalfSize = false;    // half-size decode without demosaicing (previews)
  bool rawAutoBright = false;  // let the decoder brighten the picture (no develop layer will)
  bool rawDenoise = false;     // wavelet denoising during RAW decoding
  // Horizontal bands of a full-size RAW developed side by side, each by a decoder of its own with
  // context rows around it (0: by the picture's height and the cores; 1: the whole picture at once).
  // Our own demosaicing of a plain Bayer sensor works in tiles on every core either way; bands there
  // only move where the tiles start.
  int rawBands = 0;
  // A plain Bayer sensor developed by LibRaw's DHT instead of our own demosaicing (for comparisons).
  bool rawLibRawDemosaic = false;
  // Optional. Used only where it saves time: JPEG files decoded in bands, or large enough to be
  // worth a second thread.
  RowSink* rowSink = nullptr;
};

struct DecodeResult {
  Bitmap bitmap;  // stored orientation, file's encoding (RAW: linear-light Rec. 709 primaries)
  ImageInfo info;
  double scale = 1.0;     // bitmap size / stored size
  bool linear = false;    // samples are linear-light (RAW decodes)
  bool streamed = false;  // every row went to the request's row sink; the bitmap is empty
};

// Header only: size, depth, orientation, profile. False with a reason when the file is not readable.
bool readInfo(const uint8_t* data, size_t size, const std::string& lowerExtension, ImageInfo& info, std::string* error);
bool decode(const uint8_t* data, size_t size, const std::string& lowerExtension, const DecodeRequest& request,
            DecodeResult& result, std::string* error);

// An embedded preview (RAW preview, EXIF thumbnail) decoded to an 8-bit bitmap in stored orientation;
// false when there is none.
bool decodeEmbeddedPreview(const uint8_t* data, size_t size, const std::string& lowerExtension, Bitmap& out,
                           std::string* error);

// Metadata (exiv2 and, for RAW files, LibRaw) of a file in memory; false when none could be read.
bool readMetadata(const uint8_t* data, size_t size, const std::string& lowerExtension, ImageMetadata& out);

enum class TiffCompression { None, LZW, ZIP, JPEG, PackBits };  // JPEG: 8-bit RGB only

struct EncodeOptions {
  Format format = Format::JPEG;
  double quality = 0.9;   // JPEG, lossy WebP and JPEG 2000 (1: reversible), 0..1
  bool lossless = false;  // WebP
  int depth = 8;          // TIFF, PNG and JPEG 2000: 8 or 16
  TiffCompression tiffCompression = TiffCompression::LZW;
  std::vector<uint8_t> icc;             // embedded when not empty
  std::vector<MetadataEntry> metadata;  // exiv2 keys (Exif.*, Iptc.*, Xmp.*) written after encoding
};

// Encodes a bitmap (1..4 channels, 8 or 16 bit; alpha kept where the format has it) into file bytes;
// empty with a reason on failure.
std::vector<uint8_t> encode(const Bitmap& bitmap, const EncodeOptions& options, std::string* error);

// 8-bit rows read where they lie (no bitmap copy): `channels` samples a pixel, grey for 1 or 2, else
// RGB in the first three and the rest skipped; row(y) for y in 0..height-1, each called once, in order.
struct RowSource {
  int width = 0, height = 0, channels = 3;
  std::function<const uint8_t*(int y)> row;
};
// A JPEG of such rows (quality, profile and metadata of the options), as encode() writes a bitmap.
std::vector<uint8_t> encodeJPEG(const RowSource& rows, const EncodeOptions& options, std::string* error);

// The EXIF orientation exiv2 finds anywhere in the file (PNG text chunks included); 1 when none.
int metadataOrientation(const uint8_t* data, size_t size);

// Whether a metadata key describes the source file itself rather than its picture: the sizes
// (EXIF, XMP) and the thumbnail (IFD1, XMP). A writer states sizes of its own and no thumbnail.
bool isSourceOnlyMetadataKey(const std::string& key);

// Whether an EXIF tag (exiv2 key) stays true of a picture rendered from the file and written anew,
// so a written file may carry it from its source: tags of the main image (IFD0), the EXIF and the
// GPS directories that exiv2 knows, less what describes how the source stored its pixels (strip
// and tile layout, compression, sample format, YCbCr coding, the raw data tags of a DNG or TIFF/EP
// file), pointers to other directories, blocks written on their own (ICC profile, XMP, IPTC,
// Photoshop resources, the maker note), the colour description of the source's encoding (the
// writer states the colour space of its own profile) and positions in the source's pixels. False
// for the interoperability and thumbnail directories and for keys that are not EXIF.
bool isCarriedExifKey(const std::string& key);

// Writes metadata entries into encoded file bytes (in place); false when exiv2 refuses them.
// Thumbnail entries are never written, and a thumbnail the bytes had is removed.
bool writeMetadata(std::vector<uint8_t>& file, const std::vector<MetadataEntry>& entries, std::string* error);

// EXIF orientation from a TIFF-structured EXIF block (with or without the "Exif\0\0" prefix); 1 when absent.
int exifOrientation(const uint8_t* d, size_t n);
// Converts an 8- or 16-bit bitmap to 8 bits per sample.
Bitmap to8Bit(const Bitmap& b);

// Individual formats (used by decode/encode).
namespace detail {
bool readInfoJPEG(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodeJPEG(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
std::vector<uint8_t> encodeJPEG(const Bitmap& b, const EncodeOptions& o, std::string* error);
std::vector<uint8_t> encodeJPEGRows(const RowSource& rows, const EncodeOptions& o, std::string* error);
bool readInfoPNG(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodePNG(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
std::vector<uint8_t> encodePNG(const Bitmap& b, const EncodeOptions& o, std::string* error);
bool readInfoTIFF(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodeTIFF(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
std::vector<uint8_t> encodeTIFF(const Bitmap& b, const EncodeOptions& o, std::string* error);
bool isDNG(const uint8_t* d, size_t n);
bool readInfoWebP(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodeWebP(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
std::vector<uint8_t> encodeWebP(const Bitmap& b, const EncodeOptions& o, std::string* error);
bool isJPEG2000(const uint8_t* d, size_t n);
bool readInfoJPEG2000(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodeJPEG2000(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
std::vector<uint8_t> encodeJPEG2000(const Bitmap& b, const EncodeOptions& o, std::string* error);
// The ratio of raw to coded size a quality below 1 asks of the JPEG 2000 encoder.
double jpeg2000CompressionRatio(double quality);
bool isRawLibRaw(const uint8_t* d, size_t n);
bool readInfoRAW(const uint8_t* d, size_t n, ImageInfo& info, std::string* error);
bool decodeRAW(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error);
bool rawEmbeddedPreview(const uint8_t* d, size_t n, Bitmap& out, std::string* error);
bool rawMetadata(const uint8_t* d, size_t n, OrvantaExifData& exif);
// Smallest reduction (denominator of 1/k, from the allowed list) whose result still covers the box.
int chooseReduction(Size stored, int orientation, Size fitSize, const int* allowed, int count);
// Smallest M in 1..8 whose M/8 scale still covers the box (8: full size).
int chooseEighths(Size stored, int orientation, Size fitSize);
}  // namespace detail

}  // namespace rova::codecs
