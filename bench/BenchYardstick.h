#pragma once
// The yardstick the whole-path figures are compared with: libjpeg-turbo alone, on one thread,
// decoding a JPEG file and encoding the pixels again at quality 90 into a file, row by row.
#include <cstdio>
#include <string>
#include <vector>

// After <cstdio>: the library's header expects FILE and size_t declared.
#include <jpeglib.h>

#include "BenchSupport.h"

namespace bench {

struct YardstickTimes {
  double decode = 0, encode = 0;  // seconds
};

inline YardstickTimes jpegYardstick(const std::string& in, const std::string& out) {
  YardstickTimes t;
  std::vector<uint8_t> pixels;
  int w = 0, h = 0;
  t.decode = seconds([&] {
    FILE* f = std::fopen(in.c_str(), "rb");
    if (!f) return;
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    w = int(d.output_width), h = int(d.output_height);
    pixels.resize(size_t(w) * size_t(h) * 3);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = pixels.data() + size_t(d.output_scanline) * size_t(w) * 3;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
  });
  t.encode = seconds([&] {
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f || w == 0) {
      if (f) std::fclose(f);
      return;
    }
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h);
    c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = pixels.data() + size_t(c.next_scanline) * size_t(w) * 3;
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
  });
  return t;
}

}  // namespace bench
