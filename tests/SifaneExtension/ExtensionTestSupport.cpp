#include "tests/SifaneExtension/ExtensionTestSupport.h"

#include "QVAppKit/QVAnimationDriver.h"

namespace extension_test {

NSImageRef flatImage(size_t width, size_t height, uint8_t r, uint8_t g, uint8_t b) {
  auto pixels = std::make_shared<std::vector<uint8_t>>(width * height * 3);
  for (size_t i = 0; i < width * height; ++i) {
    (*pixels)[3 * i] = r;
    (*pixels)[3 * i + 1] = g;
    (*pixels)[3 * i + 2] = b;
  }
  auto image = CGImageCreate(width, height, 8, 24, width * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, pixels);
  return NSImage::imageWithCGImage(image, CGSizeMake(double(width), double(height)));
}

std::vector<int> pixel(const NSImageRef& image, size_t x, size_t y) {
  auto bitmap = image->CGImage();
  const size_t index = x * bitmap->componentsPerPixel();
  const uint8_t* row = bitmap->row(y);
  if (bitmap->bitsPerComponent == 16) {
    auto at = [&](size_t k) { return int((row[2 * (index + k)] | row[2 * (index + k) + 1] << 8) / 257); };
    return {at(0), at(1), at(2)};
  }
  return {row[index], row[index + 1], row[index + 2]};
}

void pumpMain(double seconds) {
  auto& main = qv::MainExecutor::shared();
  for (double t = 0; t <= seconds; t += 0.05) {
    main.runUntilIdle();
    main.advance(0.05);
  }
  main.runUntilIdle();
}

void runFrames(double seconds) {
  const double step = 1.0 / 60;
  for (double t = 0; t < seconds; t += step) {
    QVAnimationDriver::shared().advance(step);
    qv::MainExecutor::shared().advance(step);
  }
  qv::MainExecutor::shared().advance(0);
}

}  // namespace extension_test
