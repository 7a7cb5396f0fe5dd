// WebP through libwebp: scaled decoding for previews, ICC and EXIF chunks.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs::detail {

namespace {
void readChunks(const uint8_t* d, size_t n, ImageInfo& info) {
  WebPData data{d, n};
  WebPDemuxer* demux = WebPDemux(&data);
  if (!demux) return;
  WebPChunkIterator it;
  if (WebPDemuxGetChunk(demux, "ICCP", 1, &it)) {
    info.icc.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
  }
  if (WebPDemuxGetChunk(demux, "EXIF", 1, &it)) {
    info.orientation = exifOrientation(it.chunk.bytes, it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
  }
  WebPDemuxDelete(demux);
}
// The first frame of an animation as shown: libwebp's animation decoder composes it onto the
// canvas (a frame may cover only part of it). Full size; the canvas is the picture's size.
bool decodeFirstFrame(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = std::string("WebP: ") + why;
    res.bitmap = {};
    return false;
  };
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return fail("library mismatch");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData data{d, n};
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  if (!decoder) return fail("cannot read the animation");
  WebPAnimInfo anim;
  uint8_t* frame = nullptr;
  int timestamp = 0;
  const bool ok = WebPAnimDecoderGetInfo(decoder, &anim) && int(anim.canvas_width) == res.info.size.width &&
                  int(anim.canvas_height) == res.info.size.height &&
                  WebPAnimDecoderGetNext(decoder, &frame, &timestamp) && frame;
  const int ch = res.info.hasAlpha ? 4 : 3;
  if (!ok || !res.bitmap.allocate(res.info.size.width, res.info.size.height, ch, 8)) {
    WebPAnimDecoderDelete(decoder);
    return fail(ok ? "out of memory" : "corrupt data");
  }
  const size_t width = size_t(res.info.size.width);
  for (int y = 0; y < res.info.size.height; ++y) {
    const uint8_t* src = frame + size_t(y) * width * 4;
    uint8_t* dst = res.bitmap.row(y);
    if (ch == 4) {
      std::memcpy(dst, src, width * 4);
    } else {
      for (size_t x = 0; x < width; ++x) std::memcpy(dst + x * 3, src + x * 4, 3);
    }
  }
  WebPAnimDecoderDelete(decoder);
  if (isCancelled(req.cancel)) return fail("cancelled");
  res.scale = 1.0;
  res.linear = false;
  return true;
}

}  // namespace

bool readInfoWebP(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  WebPBitstreamFeatures f;
  if (WebPGetFeatures(d, n, &f) != VP8_STATUS_OK) {
    if (error) *error = "WebP: cannot read header";
    return false;
  }
  info.format = Format::WebP;
  info.size = {f.width, f.height};
  info.bitsPerSample = 8;
  info.hasAlpha = f.has_alpha;
  info.channels = f.has_alpha ? 4 : 3;
  info.isFloat = false;
  readChunks(d, n, info);
  return true;
}

bool decodeWebP(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = std::string("WebP: ") + why;
    res.bitmap = {};
    return false;
  };
  if (!readInfoWebP(d, n, res.info, error)) return false;
  if (!isAcceptableImageSize(res.info.size.width, res.info.size.height)) return fail("image size out of range");
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(d, n, &features) == VP8_STATUS_OK && features.has_animation)
    return decodeFirstFrame(d, n, req, res, error);
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return fail("library mismatch");
  // WebP scales while decoding; ask for the smallest power-of-two reduction that still covers the box.
  static const int kScales[] = {1, 2, 4, 8};
  const int k = chooseReduction(res.info.size, res.info.orientation, req.fitSize, kScales, 4);
  Size out = res.info.size;
  if (k > 1) {
    out = {(out.width + k - 1) / k, (out.height + k - 1) / k};
    config.options.use_scaling = 1;
    config.options.scaled_width = out.width;
    config.options.scaled_height = out.height;
  }
  const int ch = res.info.hasAlpha ? 4 : 3;
  if (!res.bitmap.allocate(out.width, out.height, ch, 8)) return fail("out of memory");
  config.output.colorspace = ch == 4 ? MODE_RGBA : MODE_RGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = res.bitmap.pixels.data();
  config.output.u.RGBA.stride = int(res.bitmap.rowBytes());
  config.output.u.RGBA.size = res.bitmap.pixels.size();
  VP8StatusCode st = WebPDecode(d, n, &config);
  WebPFreeDecBuffer(&config.output);
  if (st != VP8_STATUS_OK) return fail(st == VP8_STATUS_NOT_ENOUGH_DATA ? "premature end of data" : "corrupt data");
  if (isCancelled(req.cancel)) return fail("cancelled");
  res.scale = double(out.width) / res.info.size.width;
  res.linear = false;
  return true;
}

std::vector<uint8_t> encodeWebP(const Bitmap& src, const EncodeOptions& o, std::string* error) {
  Bitmap b8 = src.depth != 8 ? to8Bit(src) : Bitmap{};
  const Bitmap& b = b8.empty() ? src : b8;
  // libwebp takes RGB or RGBA: expand grey.
  Bitmap rgb;
  const Bitmap* in = &b;
  if (b.channels <= 2) {
    if (!rgb.allocate(b.width, b.height, b.channels == 2 ? 4 : 3, 8)) return {};
    for (int y = 0; y < b.height; ++y) {
      const uint8_t* s = b.row(y);
      uint8_t* dd = rgb.row(y);
      for (int x = 0; x < b.width; ++x) {
        uint8_t v = s[x * b.channels];
        dd[x * rgb.channels] = dd[x * rgb.channels + 1] = dd[x * rgb.channels + 2] = v;
        if (rgb.channels == 4) dd[x * 4 + 3] = s[x * 2 + 1];
      }
    }
    in = &rgb;
  }
  uint8_t* encoded = nullptr;
  size_t size = 0;
  const int stride = int(in->rowBytes());
  const float q = float(std::clamp(o.quality, 0.0, 1.0) * 100.0);
  if (in->channels == 4)
    size = o.lossless ? WebPEncodeLosslessRGBA(in->row(0), in->width, in->height, stride, &encoded)
                      : WebPEncodeRGBA(in->row(0), in->width, in->height, stride, q, &encoded);
  else
    size = o.lossless ? WebPEncodeLosslessRGB(in->row(0), in->width, in->height, stride, &encoded)
                      : WebPEncodeRGB(in->row(0), in->width, in->height, stride, q, &encoded);
  if (!size || !encoded) {
    if (error) *error = "WebP: encoding failed";
    return {};
  }
  std::vector<uint8_t> out(encoded, encoded + size);
  WebPFree(encoded);
  if (o.icc.empty()) return out;
  WebPMux* mux = WebPMuxNew();
  WebPData image{out.data(), out.size()}, icc{o.icc.data(), o.icc.size()}, assembled{nullptr, 0};
  bool ok = mux && WebPMuxSetImage(mux, &image, 1) == WEBP_MUX_OK &&
            WebPMuxSetChunk(mux, "ICCP", &icc, 1) == WEBP_MUX_OK && WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
  if (mux) WebPMuxDelete(mux);
  if (!ok) {
    if (error) *error = "WebP: cannot embed the profile";
    return {};
  }
  out.assign(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return out;
}

}  // namespace rova::codecs::detail
