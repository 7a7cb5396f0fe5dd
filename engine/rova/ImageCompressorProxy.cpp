#include "rova/ImageCompressorProxy.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "rova/Parallel.h"

// Compressed image and mask data, format version 1. All integers little-endian.
//
//   offset size       field
//   0      4          magic: "RVCI" for an RGB float image, "RVCM" for a float mask
//   4      2          format version (1)
//   6      1          channels per pixel (3 for images, 1 for masks)
//   7      1          colour profile type of the pixels (ImageDataColorProfileType; 2 for masks)
//   8      4          width in pixels (unsigned)
//   12     4          height in pixels (unsigned)
//   16     4          rows per chunk R (1..height)
//   20     4          chunk count N = ceil(height / R)
//   24     8          total size of the compressed chunks = file size - 40 - 16 * N
//   32     4          CRC-32 of the chunk table
//   36     4          CRC-32 of bytes 0..35
//   40     16 * N     chunk table, per chunk: compressed size (8), CRC-32 of its raw bytes (4), zero (4)
//   ...               the chunks, one zlib stream each, in order
//
// A chunk holds R rows (the last one the rest): their 32-bit floats split into four byte planes
// (every float's lowest byte first, then the second bytes, ...), which lets deflate find the slowly
// changing sign and exponent bytes. Chunks are independent, so both directions run in parallel.
// A reader refuses any file whose fields disagree, whose sizes exceed the engine's pixel ceiling,
// whose chunks do not inflate to exactly their size, or whose checksums fail; it allocates the
// image only after the header and table have been checked.

namespace rova {

namespace {

constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 40;
constexpr size_t kTableEntry = 16;
constexpr size_t kChunkTarget = 4u << 20;  // raw bytes per chunk, about
constexpr char kImageMagic[4] = {'R', 'V', 'C', 'I'};
constexpr char kMaskMagic[4] = {'R', 'V', 'C', 'M'};

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint64_t get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

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

void toPlanes(const uint8_t* src, uint8_t* planes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    for (int b = 0; b < 4; ++b) planes[size_t(b) * count + i] = src[i * 4 + b];
}
void fromPlanes(const uint8_t* planes, uint8_t* dst, size_t count) {
  for (size_t i = 0; i < count; ++i)
    for (int b = 0; b < 4; ++b) dst[i * 4 + b] = planes[size_t(b) * count + i];
}

std::vector<uint8_t> encode(const char magic[4], int channels, int profile, int width, int height,
                            const float* values) {
  const size_t rowBytes = size_t(width) * size_t(channels) * 4;
  const uint32_t rows = uint32_t(std::clamp<size_t>(kChunkTarget / rowBytes, 1, size_t(height)));
  const uint32_t count = uint32_t((uint32_t(height) + rows - 1) / rows);
  std::vector<std::vector<uint8_t>> chunks(count);
  std::vector<uint32_t> crcs(count);
  std::atomic<bool> ok{true};
  const uint8_t* src = reinterpret_cast<const uint8_t*>(values);
  parallelFor(count, 1, [&](int64_t c0, int64_t c1) {
    for (int64_t c = c0; c < c1; ++c) {
      const size_t first = size_t(c) * rows, n = std::min<size_t>(rows, size_t(height) - first);
      const size_t raw = n * rowBytes;
      std::vector<uint8_t> planes(raw);
      toPlanes(src + first * rowBytes, planes.data(), raw / 4);
      crcs[size_t(c)] = crc(planes.data(), raw);
      uLongf len = compressBound(uLong(raw));
      chunks[size_t(c)].resize(len);
      if (compress2(chunks[size_t(c)].data(), &len, planes.data(), uLong(raw), 1) != Z_OK) ok = false;
      chunks[size_t(c)].resize(len);
    }
  });
  if (!ok) return {};
  size_t payload = 0;
  for (auto& ch : chunks) payload += ch.size();
  std::vector<uint8_t> out(kHeaderSize + kTableEntry * count + payload);
  uint8_t* h = out.data();
  std::memcpy(h, magic, 4);
  h[4] = uint8_t(kVersion);
  h[5] = uint8_t(kVersion >> 8);
  h[6] = uint8_t(channels);
  h[7] = uint8_t(profile);
  put32(h + 8, uint32_t(width));
  put32(h + 12, uint32_t(height));
  put32(h + 16, rows);
  put32(h + 20, count);
  put64(h + 24, payload);
  uint8_t* table = h + kHeaderSize;
  uint8_t* data = table + kTableEntry * count;
  for (uint32_t c = 0; c < count; ++c) {
    put64(table + kTableEntry * c, chunks[c].size());
    put32(table + kTableEntry * c + 8, crcs[c]);
    std::memcpy(data, chunks[c].data(), chunks[c].size());
    data += chunks[c].size();
  }
  put32(h + 32, crc(table, kTableEntry * count));
  put32(h + 36, crc(h, 36));
  return out;
}

// Checks header and table, then inflates every chunk into the buffer `alloc` gives.
template <class Alloc>
bool decode(const uint8_t* bytes, size_t size, const char magic[4], int channels, std::string* error, Alloc alloc) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (!bytes || size < kHeaderSize) return fail("compressed data: too short for the header");
  if (std::memcmp(bytes, magic, 4) != 0) return fail("compressed data: wrong magic number");
  if (crc(bytes, 36) != get32(bytes + 36)) return fail("compressed data: header checksum mismatch");
  if ((bytes[4] | (bytes[5] << 8)) != kVersion) return fail("compressed data: unsupported version");
  if (bytes[6] != channels) return fail("compressed data: wrong channel count");
  const int profile = bytes[7];
  if (!isValidColorProfileType(profile)) return fail("compressed data: bad colour profile type");
  const uint32_t w = get32(bytes + 8), h = get32(bytes + 12);
  if (!isAcceptableImageSize(w, h)) return fail("compressed data: image size out of range");
  const uint32_t rows = get32(bytes + 16), count = get32(bytes + 20);
  if (rows == 0 || rows > h || count != (h + rows - 1) / rows) return fail("compressed data: bad chunk layout");
  const uint64_t payload = get64(bytes + 24);
  const size_t tableSize = kTableEntry * size_t(count);
  if (size - kHeaderSize < tableSize || payload != size - kHeaderSize - tableSize)
    return fail("compressed data: truncated or trailing bytes");
  const uint8_t* table = bytes + kHeaderSize;
  if (crc(table, tableSize) != get32(bytes + 32)) return fail("compressed data: chunk table checksum mismatch");
  const size_t rowBytes = size_t(w) * size_t(channels) * 4;
  std::vector<size_t> offsets(count);
  uint64_t sum = 0;
  for (uint32_t c = 0; c < count; ++c) {
    const uint64_t packed = get64(table + kTableEntry * c);
    const size_t raw = size_t(std::min<uint32_t>(rows, h - c * rows)) * rowBytes;
    // Deflate cannot shrink data by more than about 1032:1; a chunk claiming more is not ours.
    if (packed > payload || raw / 1032 > packed + 64) return fail("compressed data: implausible chunk size");
    offsets[c] = size_t(sum);
    sum += packed;
  }
  if (sum != payload) return fail("compressed data: chunk sizes disagree");
  float* dst = alloc(int(w), int(h), profile);
  if (!dst) return fail("compressed data: out of memory");
  const uint8_t* data = table + tableSize;
  uint8_t* out = reinterpret_cast<uint8_t*>(dst);
  std::atomic<bool> ok{true};
  parallelFor(count, 1, [&](int64_t c0, int64_t c1) {
    for (int64_t c = c0; c < c1; ++c) {
      if (!ok) return;
      const size_t first = size_t(c) * rows, n = std::min<size_t>(rows, size_t(h) - first);
      const size_t raw = n * rowBytes;
      std::vector<uint8_t> planes(raw);
      uLongf len = uLongf(raw);
      const uint64_t packed = get64(table + kTableEntry * size_t(c));
      if (uncompress(planes.data(), &len, data + offsets[size_t(c)], uLong(packed)) != Z_OK || len != raw ||
          crc(planes.data(), raw) != get32(table + kTableEntry * size_t(c) + 8)) {
        ok = false;
        return;
      }
      fromPlanes(planes.data(), out + first * rowBytes, raw / 4);
    }
  });
  if (!ok) return fail("compressed data: corrupt chunk");
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
