// Camera RAW and DNG through LibRaw: half-size decoding for previews, full demosaicing for export,
// camera white balance, embedded previews.
#include <cstring>
#include <memory>

#include <libraw/libraw.h>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs::detail {

namespace {

int orientationFromFlip(int flip) {
  static const int kMap[8] = {1, 2, 4, 3, 5, 8, 6, 7};
  return flip >= 0 && flip < 8 ? kMap[flip] : 1;
}

int onProgress(void* data, LibRaw_progress, int, int) {
  return isCancelled(*static_cast<const CancelFlag*>(data)) ? 1 : 0;
}

// Opens the buffer and checks every size LibRaw read from the file against the pixel ceiling.
std::unique_ptr<LibRaw> openRaw(const uint8_t* d, size_t n, std::string* error) {
  auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  int rc = raw->open_buffer(const_cast<uint8_t*>(d), n);
  if (rc != LIBRAW_SUCCESS) {
    if (error) *error = std::string("RAW: ") + libraw_strerror(rc);
    return nullptr;
  }
  const auto& s = raw->imgdata.sizes;
  if (!isAcceptableImageSize(s.width, s.height) || !isAcceptableImageSize(s.raw_width, s.raw_height)) {
    if (error) *error = "RAW: image size out of range";
    return nullptr;
  }
  return raw;
}

void fillInfo(LibRaw& raw, ImageInfo& info, bool dng) {
  info.format = dng ? Format::DNG : Format::RAW;
  info.size = {raw.imgdata.sizes.width, raw.imgdata.sizes.height};
  info.bitsPerSample = 16;
  info.channels = 3;
  info.hasAlpha = false;
  info.isFloat = false;
  info.orientation = orientationFromFlip(raw.imgdata.sizes.flip);
}

}  // namespace

bool isRawLibRaw(const uint8_t* d, size_t n) { return openRaw(d, n, nullptr) != nullptr; }

bool readInfoRAW(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  fillInfo(*raw, info, raw->imgdata.idata.dng_version != 0);
  return true;
}

bool decodeRAW(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "RAW: " + why;
    res.bitmap = {};
    return false;
  };
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  fillInfo(*raw, res.info, raw->imgdata.idata.dng_version != 0);
  static const int kHalf[] = {1, 2};
  const bool half = req.rawHalfSize || chooseReduction(res.info.size, res.info.orientation, req.fitSize, kHalf, 2) == 2;
  auto& p = raw->imgdata.params;
  p.half_size = half ? 1 : 0;
  p.use_camera_wb = 1;
  p.output_color = 1;  // sRGB primaries ...
  p.gamm[0] = 1.0;     // ... with a linear tone curve: the engine's working space
  p.gamm[1] = 1.0;
  p.output_bps = 16;
  p.no_auto_bright = req.rawAutoBright ? 0 : 1;
  p.user_flip = 0;  // stored orientation; the reader turns every format the same way
  p.user_qual = 3;  // AHD demosaicing
  if (req.rawDenoise) p.threshold = 100.f;
  raw->set_progress_handler(onProgress, const_cast<CancelFlag*>(&req.cancel));
  int rc = raw->unpack();
  if (rc != LIBRAW_SUCCESS) return fail(libraw_strerror(rc));
  rc = raw->dcraw_process();
  if (rc != LIBRAW_SUCCESS) return fail(isCancelled(req.cancel) ? "cancelled" : libraw_strerror(rc));
  int err = 0;
  libraw_processed_image_t* img = raw->dcraw_make_mem_image(&err);
  if (!img) return fail(libraw_strerror(err));
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> guard(img, LibRaw::dcraw_clear_mem);
  raw->recycle();  // LibRaw's working buffers are no longer needed: free them before the copy
  if (img->type != LIBRAW_IMAGE_BITMAP || img->colors != 3 || img->bits != 16) return fail("unexpected output");
  if (!res.bitmap.allocate(img->width, img->height, 3, 16)) return fail("out of memory");
  if (size_t(img->data_size) < res.bitmap.pixels.size()) return fail("short output");
  std::memcpy(res.bitmap.pixels.data(), img->data, res.bitmap.pixels.size());
  res.scale = double(img->width) / res.info.size.width;
  res.linear = true;
  return true;
}

bool rawEmbeddedPreview(const uint8_t* d, size_t n, Bitmap& out, std::string* error) {
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  if (raw->unpack_thumb() != LIBRAW_SUCCESS) {
    if (error) *error = "RAW: no embedded preview";
    return false;
  }
  int err = 0;
  libraw_processed_image_t* img = raw->dcraw_make_mem_thumb(&err);
  if (!img) {
    if (error) *error = "RAW: no embedded preview";
    return false;
  }
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> guard(img, LibRaw::dcraw_clear_mem);
  if (img->type == LIBRAW_IMAGE_JPEG) {
    DecodeRequest req;
    DecodeResult res;
    if (!decodeJPEG(img->data, img->data_size, req, res, error)) return false;
    out = std::move(res.bitmap);
    return true;
  }
  if (img->type == LIBRAW_IMAGE_BITMAP && (img->colors == 3 || img->colors == 1) && img->bits == 8) {
    if (!out.allocate(img->width, img->height, img->colors, 8) || size_t(img->data_size) < out.pixels.size())
      return false;
    std::memcpy(out.pixels.data(), img->data, out.pixels.size());
    return true;
  }
  if (error) *error = "RAW: unsupported preview";
  return false;
}

bool rawMetadata(const uint8_t* d, size_t n, OrvantaExifData& exif) {
  auto raw = openRaw(d, n, nullptr);
  if (!raw) return false;
  const auto& o = raw->imgdata.other;
  const auto& id = raw->imgdata.idata;
  if (exif.isoSpeed < 0 && o.iso_speed > 0) exif.isoSpeed = o.iso_speed;
  if (exif.shutterSpeed < 0 && o.shutter > 0) exif.shutterSpeed = o.shutter;
  if (exif.fNumber < 0 && o.aperture > 0) exif.fNumber = o.aperture;
  if (exif.focalLength == 0 && o.focal_len > 0) exif.focalLength = o.focal_len;
  if (exif.cameraName.empty()) exif.cameraName = id.make;
  if (exif.cameraModel.empty()) exif.cameraModel = id.model;
  const auto& lens = raw->imgdata.lens;
  if (exif.minFocalLen == 0 && lens.MinFocal > 0) exif.minFocalLen = lens.MinFocal;
  if (exif.maxFocalLen == 0 && lens.MaxFocal > 0) exif.maxFocalLen = lens.MaxFocal;
  if (exif.lensModel.empty() && lens.Lens[0]) exif.lensModel = lens.Lens;
  if (exif.orientation == 1) exif.orientation = orientationFromFlip(raw->imgdata.sizes.flip);
  exif.isRaw = true;
  return true;
}

}  // namespace rova::codecs::detail
