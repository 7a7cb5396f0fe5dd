// JPEG through libjpeg-turbo: DCT-scaled decoding for previews, ICC profiles, EXIF orientation.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "rova/ImageData.h"

#include "rova/codecs/Codecs.h"

// No variable is changed between a setjmp and the jumps back to it, so none can be clobbered.
#pragma GCC diagnostic ignored "-Wclobbered"

namespace rova::codecs::detail {

namespace {

// Progressive files can hold any number of scans; a few hundred is already far beyond real ones.
constexpr int kMaxScans = 500;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void onError(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  longjmp(e->jump, 1);
}

void onMessage(j_common_ptr c, int level) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) e->truncated = true;
}

struct Progress {
  jpeg_progress_mgr pub;
  const CancelFlag* cancel;
};

void onProgress(j_common_ptr c) {
  auto* p = reinterpret_cast<Progress*>(c->progress);
  if (isCancelled(*p->cancel)) {
    std::snprintf(reinterpret_cast<ErrorManager*>(c->err)->message, JMSG_LENGTH_MAX, "cancelled");
    longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 2);
  }
  if (c->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->input_scan_number > kMaxScans) {
      std::snprintf(reinterpret_cast<ErrorManager*>(c->err)->message, JMSG_LENGTH_MAX, "too many scans");
      longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 3);
    }
  }
}

void setupErrors(jpeg_decompress_struct& cinfo, ErrorManager& err) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = onMessage;
  err.pub.output_message = [](j_common_ptr) {};
  err.truncated = false;
  err.message[0] = 0;
}

void collectMarkers(jpeg_decompress_struct& cinfo, ImageInfo& info) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      info.orientation = exifOrientation(m->data, m->data_length);
      break;
    }
  JOCTET* icc = nullptr;
  unsigned int iccLen = 0;
  if (jpeg_read_icc_profile(&cinfo, &icc, &iccLen) && icc) {
    info.icc.assign(icc, icc + iccLen);
    free(icc);
  }
}

void fillInfo(jpeg_decompress_struct& cinfo, ImageInfo& info) {
  info.format = Format::JPEG;
  info.size = {int(cinfo.image_width), int(cinfo.image_height)};
  info.bitsPerSample = 8;
  info.channels = cinfo.num_components == 1 ? 1 : 3;
  info.hasAlpha = false;
  info.isFloat = false;
  collectMarkers(cinfo, info);
}

}  // namespace

bool readInfoJPEG(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  setupErrors(cinfo, err);
  jpeg_create_decompress(&cinfo);
  if (setjmp(err.jump)) {
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_mem_src(&cinfo, d, static_cast<unsigned long>(n));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  fillInfo(cinfo, info);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool decodeJPEG(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Progress progress;
  std::vector<uint8_t> cmykRow;  // made before setjmp so a jump back never skips its destructor
  setupErrors(cinfo, err);
  jpeg_create_decompress(&cinfo);
  progress.pub.progress_monitor = onProgress;
  progress.cancel = &req.cancel;
  cinfo.progress = &progress.pub;
  if (setjmp(err.jump)) {
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_decompress(&cinfo);
    res.bitmap = {};
    return false;
  }
  jpeg_mem_src(&cinfo, d, static_cast<unsigned long>(n));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  fillInfo(cinfo, res.info);
  if (!isAcceptableImageSize(cinfo.image_width, cinfo.image_height)) {
    std::snprintf(err.message, sizeof err.message, "image size %ux%u out of range", cinfo.image_width,
                  cinfo.image_height);
    longjmp(err.jump, 4);
  }
  // libjpeg-turbo scales by M/8 inside the inverse DCT; take the smallest M that still covers the box.
  const int m = chooseEighths(res.info.size, res.info.orientation, req.fitSize);
  cinfo.scale_num = unsigned(m);
  cinfo.scale_denom = 8;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_RGB);
  jpeg_start_decompress(&cinfo);
  const int outChannels = cmyk ? 3 : int(cinfo.output_components);
  if (!res.bitmap.allocate(int(cinfo.output_width), int(cinfo.output_height), outChannels, 8)) {
    std::snprintf(err.message, sizeof err.message, "out of memory");
    longjmp(err.jump, 4);
  }
  cmykRow.resize(cmyk ? size_t(cinfo.output_width) * 4 : 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* row = res.bitmap.row(int(cinfo.output_scanline));
    JSAMPROW rows[1] = {cmyk ? cmykRow.data() : row};
    jpeg_read_scanlines(&cinfo, rows, 1);
    if (cmyk) {
      // Adobe writes CMYK JPEGs inverted; that is what nearly every CMYK JPEG is.
      for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
        const uint8_t* p = &cmykRow[x * 4];
        for (int c = 0; c < 3; ++c) row[x * 3 + c] = uint8_t((p[c] * p[3] + 127) / 255);
      }
    }
    if ((cinfo.output_scanline & 63) == 0 && isCancelled(req.cancel)) {
      std::snprintf(err.message, sizeof err.message, "cancelled");
      longjmp(err.jump, 2);
    }
  }
  if (err.truncated) {
    std::snprintf(err.message, sizeof err.message, "premature end of data");
    longjmp(err.jump, 5);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  res.scale = double(cinfo.output_width) / cinfo.image_width;
  res.linear = false;
  return true;
}

std::vector<uint8_t> encodeJPEG(const Bitmap& src, const EncodeOptions& o, std::string* error) {
  Bitmap b8 = src.depth == 8 ? Bitmap{} : to8Bit(src);
  const Bitmap& b = src.depth == 8 ? src : b8;
  const bool grey = b.channels <= 2;
  const int outComponents = grey ? 1 : 3;
  std::vector<uint8_t> row(size_t(b.width) * outComponents);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  jpeg_compress_struct cinfo;
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.output_message = [](j_common_ptr) {};
  jpeg_create_compress(&cinfo);
  if (setjmp(err.jump)) {
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return {};
  }
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = JDIMENSION(b.width);
  cinfo.image_height = JDIMENSION(b.height);
  cinfo.input_components = outComponents;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  int q = int(o.quality * 100 + 0.5);
  jpeg_set_quality(&cinfo, q < 1 ? 1 : (q > 100 ? 100 : q), TRUE);
  cinfo.optimize_coding = TRUE;
  if (q >= 90 && !grey) {  // keep full colour resolution at high quality
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (!o.icc.empty()) jpeg_write_icc_profile(&cinfo, o.icc.data(), unsigned(o.icc.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* s = b.row(int(cinfo.next_scanline));
    if (b.channels == outComponents) {
      std::memcpy(row.data(), s, row.size());
    } else {
      for (int x = 0; x < b.width; ++x)
        for (int c = 0; c < outComponents; ++c) row[size_t(x) * outComponents + c] = s[size_t(x) * b.channels + c];
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(mem, mem + memSize);
  jpeg_destroy_compress(&cinfo);
  free(mem);
  return out;
}

}  // namespace rova::codecs::detail
