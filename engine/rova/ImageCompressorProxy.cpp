#include "rova/ImageCompressorProxy.h"

#include <zlib.h>

#include <cstring>

// Compressed image and mask data, version 1. All integers little-endian.
//
//   offset size field
//   0      4    magic: "RVCI" for an RGB float image, "RVCM" for a float mask
//   4      2    format version (1)
//   6      1    channels per pixel (3 for images, 1 for masks)
//   7      1    colour profile type of the pixels (ImageDataColorProfileType; 2 for masks)
//   8      4    width in pixels (unsigned)
//   12     4    height in pixels (unsigned)
//   16     8    payload size before compression = width * height * channels * 4
//   24     8    compressed payload size = file size - 40
//   32     4    CRC-32 of the payload before compression
//   36     4    CRC-32 of bytes 0..35
//   40     ...  the payload as one zlib stream
//
// The payload is the pixels' 32-bit floats split into four byte planes (every float's lowest byte
// first, then the second bytes, ...), which lets deflate find the slowly changing sign and
// exponent bytes. A reader refuses any file whose fields disagree, whose sizes exceed the engine's
// pixel ceiling, or whose checksums fail; it never allocates before the sizes are checked.

namespace rova {

namespace {

constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 40;
constexpr char kImageMagic[4] = {'R', 'V', 'C', 'I'};
constexpr char kMaskMagic[4] = {'R', 'V', 'C', 'M'};

void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void put64(uint8_t* p, uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i)); }
uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { uint32_t v = 0; for (int i = 3; i >= 0; --i) v = (v << 8) | p[i]; return v; }
uint64_t get64(const uint8_t* p) { uint64_t v = 0; for (int i = 7; i >= 0; --i) v = (v << 8) | p[i]; return v; }

uint32_t crc(const uint8_t* p, size_t n) {
  uLong c = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    uInt step = uInt(std::min<size_t>(n, 1u << 30));
    c = crc32(c, p, step);
    p += step;
    n -= step;
  }
  return uint32_t(c);
}

std::vector<uint8_t> encode(const char magic[4], int channels, int profile, int width, int height,
                            const float* values) {
  const size_t count = size_t(width) * size_t(height) * size_t(channels);
  const size_t raw = count * 4;
  std::vector<uint8_t> planes(raw);
  const uint8_t* src = reinterpret_cast<const uint8_t*>(values);
#pragma omp parallel for schedule(static) if (count > 1 << 16)
  for (int64_t i = 0; i < int64_t(count); ++i)
    for (int b = 0; b < 4; ++b) planes[size_t(b) * count + size_t(i)] = src[size_t(i) * 4 + b];

  uLongf bound = compressBound(uLong(raw));
  std::vector<uint8_t> out(kHeaderSize + bound);
  uLongf written = bound;
  if (compress2(out.data() + kHeaderSize, &written, planes.data(), uLong(raw), 1) != Z_OK) return {};
  out.resize(kHeaderSize + written);
  uint8_t* h = out.data();
  std::memcpy(h, magic, 4);
  put16(h + 4, kVersion);
  h[6] = uint8_t(channels);
  h[7] = uint8_t(profile);
  put32(h + 8, uint32_t(width));
  put32(h + 12, uint32_t(height));
  put64(h + 16, raw);
  put64(h + 24, written);
  put32(h + 32, crc(planes.data(), raw));
  put32(h + 36, crc(h, 36));
  return out;
}

struct Decoded {
  int width = 0, height = 0, profile = 0;
};

// Checks the header and inflates the payload into `out` (allocated by `alloc` once sizes are known).
template <class Alloc>
bool decode(const uint8_t* bytes, size_t size, const char magic[4], int channels, std::string* error,
            Alloc alloc) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (!bytes || size < kHeaderSize) return fail("compressed data: too short for the header");
  if (std::memcmp(bytes, magic, 4) != 0) return fail("compressed data: wrong magic number");
  if (crc(bytes, 36) != get32(bytes + 36)) return fail("compressed data: header checksum mismatch");
  if (get16(bytes + 4) != kVersion) return fail("compressed data: unsupported version");
  if (bytes[6] != channels) return fail("compressed data: wrong channel count");
  const int profile = bytes[7];
  if (!isValidColorProfileType(profile)) return fail("compressed data: bad colour profile type");
  const uint32_t w = get32(bytes + 8), h = get32(bytes + 12);
  if (!isAcceptableImageSize(w, h)) return fail("compressed data: image size out of range");
  const uint64_t raw = get64(bytes + 16), packed = get64(bytes + 24);
  if (raw != uint64_t(w) * h * uint64_t(channels) * 4) return fail("compressed data: payload size mismatch");
  if (packed != size - kHeaderSize) return fail("compressed data: truncated or trailing bytes");
  // Deflate cannot shrink data by more than about 1032:1; a stream claiming more is not ours.
  if (raw / 1032 > packed + 64) return fail("compressed data: implausible compression ratio");

  std::vector<uint8_t> planes;
  try {
    planes.resize(raw);
  } catch (const std::bad_alloc&) {
    return fail("compressed data: out of memory");
  }
  uLongf outLen = uLongf(raw);
  if (uncompress(planes.data(), &outLen, bytes + kHeaderSize, uLong(packed)) != Z_OK || outLen != raw)
    return fail("compressed data: corrupt payload");
  if (crc(planes.data(), raw) != get32(bytes + 32)) return fail("compressed data: payload checksum mismatch");
  float* dst = alloc(int(w), int(h), profile);
  if (!dst) return fail("compressed data: out of memory");
  const size_t count = raw / 4;
  uint8_t* d = reinterpret_cast<uint8_t*>(dst);
#pragma omp parallel for schedule(static) if (count > 1 << 16)
  for (int64_t i = 0; i < int64_t(count); ++i)
    for (int b = 0; b < 4; ++b) d[size_t(i) * 4 + b] = planes[size_t(b) * count + size_t(i)];
  return true;
}

}  // namespace

std::vector<uint8_t> ImageCompressorProxy::compress(const ImageDataRGBf& data) {
  if (data.pixelCount() == 0) return {};
  return encode(kImageMagic, 3, data.colorProfileType(), data.width(), data.height(), data.floats());
}

std::vector<uint8_t> ImageCompressorProxy::compressMask(const ImageDataF& mask) {
  if (mask.pixelCount() == 0) return {};
  return encode(kMaskMagic, 1, kColorProfileNative, mask.width(), mask.height(), mask.floats());
}

std::vector<uint8_t> ImageCompressorProxy::compressMask(const MaskImage& mask) {
  return mask.data() ? compressMask(*mask.data()) : std::vector<uint8_t>{};
}

ImageDataRGBfPtr ImageCompressorProxy::uncompress(const uint8_t* bytes, size_t size, std::string* error) {
  ImageDataRGBfPtr out;
  bool ok = decode(bytes, size, kImageMagic, 3, error, [&](int w, int h, int profile) -> float* {
    out = ImageDataRGBf::createUninitialized(w, h, ImageDataColorProfileType(profile));
    return out ? out->floats() : nullptr;
  });
  return ok ? out : nullptr;
}

MaskImagePtr ImageCompressorProxy::uncompressMask(const uint8_t* bytes, size_t size, std::string* error) {
  ImageDataFPtr out;
  bool ok = decode(bytes, size, kMaskMagic, 1, error, [&](int w, int h, int) -> float* {
    out = ImageDataF::createUninitialized(w, h);
    return out ? out->floats() : nullptr;
  });
  return ok ? std::make_shared<MaskImage>(out) : nullptr;
}

}  // namespace rova
