// JPEG 2000 through OpenJPEG: JP2 files (and bare codestreams on reading), 8 or 16 bits a
// component, grey or RGB with or without alpha, ICC profiles in the colour box.
//
// Quality maps to a compression rate: 1.0 is the reversible (lossless) 5/3 wavelet; below it the
// irreversible 9/7 wavelet at a ratio of 2^(2 + 6 (1 - q)) of the raw size (q 0.85: about 7.5:1,
// q 0.5: 32:1, q 0: 256:1), one quality layer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include <openjpeg.h>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs::detail {

namespace {

constexpr uint8_t kJp2Signature[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t kJ2kSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};

struct MemIn {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
};

OPJ_SIZE_T readMem(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  if (m->pos >= m->size) return OPJ_SIZE_T(-1);
  const size_t k = std::min<size_t>(n, m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return k;
}
OPJ_OFF_T skipIn(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  if (n < 0) {
    const size_t back = std::min<size_t>(size_t(-n), m->pos);
    m->pos -= back;
    return -OPJ_OFF_T(back);
  }
  const size_t k = std::min<size_t>(size_t(n), m->size - m->pos);
  m->pos += k;
  return OPJ_OFF_T(k);
}
OPJ_BOOL seekIn(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  if (n < 0 || size_t(n) > m->size) return OPJ_FALSE;
  m->pos = size_t(n);
  return OPJ_TRUE;
}

struct MemOut {
  std::vector<uint8_t>* out;
  size_t pos = 0;
};
OPJ_SIZE_T writeMem(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemOut*>(user);
  if (m->out->size() < m->pos + n) m->out->resize(m->pos + n);
  std::memcpy(m->out->data() + m->pos, buf, n);
  m->pos += n;
  return n;
}
OPJ_OFF_T skipOut(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemOut*>(user);
  if (n < 0 && size_t(-n) > m->pos) return -1;
  m->pos = size_t(OPJ_OFF_T(m->pos) + n);
  if (m->out->size() < m->pos) m->out->resize(m->pos);
  return n;
}
OPJ_BOOL seekOut(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemOut*>(user);
  if (n < 0) return OPJ_FALSE;
  m->pos = size_t(n);
  if (m->out->size() < m->pos) m->out->resize(m->pos);
  return OPJ_TRUE;
}

struct Messages {
  std::string error;
};
void onError(const char* msg, void* user) {
  auto* m = static_cast<Messages*>(user);
  if (m && m->error.empty() && msg) {
    m->error = msg;
    while (!m->error.empty() && (m->error.back() == '\n' || m->error.back() == ' ')) m->error.pop_back();
  }
}
void quiet(const char*, void*) {}

struct Codec {
  opj_codec_t* c = nullptr;
  opj_stream_t* s = nullptr;
  opj_image_t* image = nullptr;
  ~Codec() {
    if (image) opj_image_destroy(image);
    if (s) opj_stream_destroy(s);
    if (c) opj_destroy_codec(c);
  }
};

int threadCount() { return int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u)); }

bool isJp2(const uint8_t* d, size_t n) { return n >= 12 && std::memcmp(d, kJp2Signature, 12) == 0; }

// Opens a decoder over the bytes and reads the main header; false with a reason.
bool openDecoder(const uint8_t* d, size_t n, MemIn& in, Codec& k, Messages& msgs) {
  k.c = opj_create_decompress(isJp2(d, n) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  if (!k.c) return false;
  opj_set_error_handler(k.c, onError, &msgs);
  opj_set_warning_handler(k.c, quiet, nullptr);
  opj_set_info_handler(k.c, quiet, nullptr);
  opj_dparameters_t p;
  opj_set_default_decoder_parameters(&p);
  if (!opj_setup_decoder(k.c, &p)) return false;
  // A codestream cut short is an error, not a picture with invented parts.
  opj_decoder_set_strict_mode(k.c, OPJ_TRUE);
  k.s = opj_stream_default_create(OPJ_TRUE);
  if (!k.s) return false;
  opj_stream_set_user_data(k.s, &in, nullptr);
  opj_stream_set_user_data_length(k.s, n);
  opj_stream_set_read_function(k.s, readMem);
  opj_stream_set_skip_function(k.s, skipIn);
  opj_stream_set_seek_function(k.s, seekIn);
  return opj_read_header(k.s, k.c, &k.image) && k.image;
}

// The facts of a decoded or header-only image; false when it is not one we turn into a bitmap.
bool describe(const opj_image_t& img, ImageInfo& info, std::string* why) {
  if (img.numcomps < 1 || img.numcomps > 4 || !img.comps) {
    *why = "unsupported number of components";
    return false;
  }
  const opj_image_comp_t& c0 = img.comps[0];
  for (OPJ_UINT32 i = 0; i < img.numcomps; ++i) {
    const opj_image_comp_t& c = img.comps[i];
    if (c.dx != c0.dx || c.dy != c0.dy || c.w != c0.w || c.h != c0.h) {
      *why = "subsampled components";
      return false;
    }
    if (c.prec < 1 || c.prec > 16) {
      *why = "component depth out of range";
      return false;
    }
  }
  const uint32_t w = img.x1 - img.x0, h = img.y1 - img.y0;
  if (!isAcceptableImageSize(int64_t(w), int64_t(h))) {
    *why = "image size out of range";
    return false;
  }
  info.format = Format::JPEG2000;
  info.size = {int(w), int(h)};
  info.bitsPerSample = c0.prec > 8 ? 16 : 8;
  info.channels = int(img.numcomps);
  info.hasAlpha = img.numcomps == 2 || img.numcomps == 4;
  info.isFloat = false;
  info.orientation = 1;
  if (img.icc_profile_buf && img.icc_profile_len)
    info.icc.assign(img.icc_profile_buf, img.icc_profile_buf + img.icc_profile_len);
  return true;
}

uint32_t readBE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void putBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Finds the box of a type among the boxes in [begin, end); false when absent or malformed.
bool findBox(const std::vector<uint8_t>& f, size_t begin, size_t end, const char* type, size_t& at, size_t& length) {
  for (size_t p = begin; p + 8 <= end;) {
    const size_t len = readBE32(&f[p]);
    if (len < 8 || p + len > end) return false;
    if (std::memcmp(&f[p + 4], type, 4) == 0) {
      at = p;
      length = len;
      return true;
    }
    p += len;
  }
  return false;
}

// Replaces the enumerated colour box of the header by one that holds the ICC profile (method 2).
// OpenJPEG's encoder writes only enumerated colour spaces; the boxes after the header hold no
// offsets, so growing the header moves nothing that refers to a position.
bool embedProfile(std::vector<uint8_t>& f, const std::vector<uint8_t>& icc) {
  size_t header = 0, headerLength = 0, colr = 0, colrLength = 0;
  if (!findBox(f, 0, f.size(), "jp2h", header, headerLength) ||
      !findBox(f, header + 8, header + headerLength, "colr", colr, colrLength))
    return false;
  std::vector<uint8_t> box(11 + icc.size());
  putBE32(box.data(), uint32_t(box.size()));
  std::memcpy(box.data() + 4, "colr", 4);
  box[8] = 2;   // method: restricted ICC profile
  box[9] = 0;   // precedence
  box[10] = 0;  // approximation
  std::memcpy(box.data() + 11, icc.data(), icc.size());
  f.erase(f.begin() + long(colr), f.begin() + long(colr + colrLength));
  f.insert(f.begin() + long(colr), box.begin(), box.end());
  putBE32(&f[header], uint32_t(headerLength - colrLength + box.size()));
  return true;
}

// The ICC profile of a JP2 file's colour box (methods 2 and 3); empty when there is none. OpenJPEG
// hands the profile over only with the decoded image, not with the header.
std::vector<uint8_t> profileOf(const uint8_t* d, size_t n) {
  if (!isJp2(d, n)) return {};
  const std::vector<uint8_t> head(d, d + std::min<size_t>(n, 1u << 20));
  size_t header = 0, headerLength = 0, colr = 0, colrLength = 0;
  if (!findBox(head, 0, head.size(), "jp2h", header, headerLength) ||
      !findBox(head, header + 8, header + headerLength, "colr", colr, colrLength) || colrLength <= 11 ||
      (head[colr + 8] != 2 && head[colr + 8] != 3))
    return {};
  return {head.begin() + long(colr + 11), head.begin() + long(colr + colrLength)};
}

}  // namespace

bool isJPEG2000(const uint8_t* d, size_t n) { return isJp2(d, n) || (n >= 4 && std::memcmp(d, kJ2kSignature, 4) == 0); }

bool readInfoJPEG2000(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  MemIn in{d, n};
  Codec k;
  Messages msgs;
  std::string why;
  if (!openDecoder(d, n, in, k, msgs)) {
    if (error) *error = "JPEG 2000: " + (msgs.error.empty() ? std::string("unreadable header") : msgs.error);
    return false;
  }
  if (!describe(*k.image, info, &why)) {
    if (error) *error = "JPEG 2000: " + why;
    return false;
  }
  if (info.icc.empty()) info.icc = profileOf(d, n);
  return true;
}

bool decodeJPEG2000(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "JPEG 2000: " + why;
    res.bitmap = {};
    return false;
  };
  MemIn in{d, n};
  Codec k;
  Messages msgs;
  std::string why;
  if (!openDecoder(d, n, in, k, msgs)) return fail(msgs.error.empty() ? "unreadable header" : msgs.error);
  if (!describe(*k.image, res.info, &why)) return fail(why);
  const Size stored = res.info.size;
  opj_codec_set_threads(k.c, threadCount());
  // The wavelet's resolution levels are the picture at halved sizes: decode the smallest that
  // still covers the box.
  int levels = 0;
  if (opj_codestream_info_v2_t* cs = opj_get_cstr_info(k.c)) {
    if (cs->m_default_tile_info.tccp_info) levels = int(cs->m_default_tile_info.tccp_info[0].numresolutions) - 1;
    opj_destroy_cstr_info(&cs);
  }
  static const int kReductions[] = {2, 4, 8, 16, 32};
  const int reduction = detail::chooseReduction(res.info.size, 1, req.fitSize, kReductions, std::clamp(levels, 0, 5));
  int factor = 0;
  while ((1 << factor) < reduction) ++factor;
  if (factor > 0 && !opj_set_decoded_resolution_factor(k.c, OPJ_UINT32(factor))) factor = 0;
  if (isCancelled(req.cancel)) return fail("cancelled");
  if (!opj_decode(k.c, k.s, k.image) || !opj_end_decompress(k.c, k.s))
    return fail(msgs.error.empty() ? "corrupt data" : msgs.error);
  if (!describe(*k.image, res.info, &why)) return fail(why);
  res.info.size = stored;
  if (res.info.icc.empty()) res.info.icc = profileOf(d, n);
  const opj_image_t& img = *k.image;
  // Components hold the decoded (possibly reduced) size; the info keeps the stored one.
  const int w = int(img.comps[0].w), h = int(img.comps[0].h), ch = res.info.channels, depth = res.info.bitsPerSample;
  if (!res.bitmap.allocate(w, h, ch, depth)) return fail("image size out of range");
  for (int c = 0; c < ch; ++c) {
    const opj_image_comp_t& comp = img.comps[c];
    if (!comp.data || comp.w != OPJ_UINT32(w) || comp.h != OPJ_UINT32(h)) return fail("missing component data");
    const int64_t lo = comp.sgnd ? -(int64_t(1) << (comp.prec - 1)) : 0;
    const int64_t hi = comp.sgnd ? (int64_t(1) << (comp.prec - 1)) - 1 : (int64_t(1) << comp.prec) - 1;
    const int64_t outMax = depth == 16 ? 65535 : 255, range = hi - lo;
    for (int y = 0; y < h; ++y) {
      const OPJ_INT32* s = comp.data + size_t(y) * size_t(w);
      uint8_t* row = res.bitmap.row(y);
      for (int x = 0; x < w; ++x) {
        const int64_t v = std::clamp<int64_t>(s[x], lo, hi) - lo;
        const int64_t o = range == outMax ? v : (v * outMax + range / 2) / range;
        if (depth == 16) {
          const uint16_t u = uint16_t(o);
          std::memcpy(row + (size_t(x) * ch + c) * 2, &u, 2);
        } else {
          row[size_t(x) * ch + c] = uint8_t(o);
        }
      }
    }
  }
  res.scale = double(w) / res.info.size.width;
  res.linear = false;
  return true;
}

double jpeg2000CompressionRatio(double quality) { return std::exp2(2.0 + 6.0 * (1.0 - std::clamp(quality, 0.0, 1.0))); }

std::vector<uint8_t> encodeJPEG2000(const Bitmap& b, const EncodeOptions& o, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "JPEG 2000: " + why;
    return std::vector<uint8_t>{};
  };
  const int depth = o.depth >= 16 && b.depth == 16 ? 16 : 8;
  Bitmap b8 = depth == 8 && b.depth != 8 ? to8Bit(b) : Bitmap{};
  const Bitmap& src = b8.empty() ? b : b8;
  const int ch = src.channels;
  std::vector<opj_image_cmptparm_t> parms(static_cast<size_t>(ch));
  for (auto& p : parms) {
    std::memset(&p, 0, sizeof p);
    p.dx = p.dy = 1;
    p.w = OPJ_UINT32(src.width);
    p.h = OPJ_UINT32(src.height);
    p.prec = OPJ_UINT32(depth);
    p.sgnd = 0;
  }
  Codec k;
  k.image = opj_image_create(OPJ_UINT32(ch), parms.data(), ch >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
  if (!k.image) return fail("out of memory");
  opj_image_t& img = *k.image;
  img.x0 = img.y0 = 0;
  img.x1 = OPJ_UINT32(src.width);
  img.y1 = OPJ_UINT32(src.height);
  if (ch == 2 || ch == 4) img.comps[ch - 1].alpha = 1;
  for (int c = 0; c < ch; ++c) {
    OPJ_INT32* dst = img.comps[c].data;
    for (int y = 0; y < src.height; ++y) {
      const uint8_t* row = src.row(y);
      OPJ_INT32* d = dst + size_t(y) * size_t(src.width);
      if (depth == 16)
        for (int x = 0; x < src.width; ++x) {
          uint16_t u;
          std::memcpy(&u, row + (size_t(x) * ch + c) * 2, 2);
          d[x] = u;
        }
      else
        for (int x = 0; x < src.width; ++x) d[x] = row[size_t(x) * ch + c];
    }
  }

  opj_cparameters_t p;
  opj_set_default_encoder_parameters(&p);
  p.tcp_numlayers = 1;
  p.cp_disto_alloc = 1;
  const bool reversible = o.quality >= 1.0;
  p.irreversible = reversible ? 0 : 1;
  p.tcp_rates[0] = reversible ? 0.f : float(jpeg2000CompressionRatio(o.quality));
  p.tcp_mct = ch >= 3 ? 1 : 0;
  // Tiles of 1024 pixels keep the encoder's working memory bounded on large pictures.
  if (src.width > 2048 || src.height > 2048) {
    p.tile_size_on = OPJ_TRUE;
    p.cp_tdx = p.cp_tdy = 1024;
  }
  int levels = 0;
  for (int s = std::min(src.width, src.height); s >= 64 && levels < 6; s /= 2) ++levels;
  p.numresolution = std::max(1, levels);

  Messages msgs;
  k.c = opj_create_compress(OPJ_CODEC_JP2);
  if (!k.c) return fail("cannot create the encoder");
  opj_set_error_handler(k.c, onError, &msgs);
  opj_set_warning_handler(k.c, quiet, nullptr);
  opj_set_info_handler(k.c, quiet, nullptr);
  if (!opj_setup_encoder(k.c, &p, k.image)) return fail(msgs.error.empty() ? "bad parameters" : msgs.error);
  opj_codec_set_threads(k.c, threadCount());

  std::vector<uint8_t> out;
  out.reserve(src.rowBytes() * size_t(src.height) / (reversible ? 2 : 4) + 4096);
  MemOut sink{&out};
  k.s = opj_stream_default_create(OPJ_FALSE);
  if (!k.s) return fail("out of memory");
  opj_stream_set_user_data(k.s, &sink, nullptr);
  opj_stream_set_write_function(k.s, writeMem);
  opj_stream_set_skip_function(k.s, skipOut);
  opj_stream_set_seek_function(k.s, seekOut);
  if (!opj_start_compress(k.c, k.image, k.s) || !opj_encode(k.c, k.s) || !opj_end_compress(k.c, k.s))
    return fail(msgs.error.empty() ? "encoding failed" : msgs.error);
  out.resize(sink.pos);
  if (!o.icc.empty() && !embedProfile(out, o.icc)) return fail("cannot embed the profile");
  return out;
}

}  // namespace rova::codecs::detail
