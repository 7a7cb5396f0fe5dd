// The cost of keeping a 2000 px preview in the entity store: the TIFF encoding an image entity
// makes, the archive, the append, and reading it back, decoding the archive and the image, in ms,
// with the record's size and the process's peak memory. Times are the median of several runs.
//   bench_entity_store [width height]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "BenchSupport.h"
#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"
#include "Ombrel/Classes/Model/Entities/QVEntity.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/Places.h"

namespace {

double medianMs(int runs, const std::function<void()>& f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(bench::seconds(f) * 1000);
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  size_t w = argc > 2 ? size_t(std::atoi(argv[1])) : 2000, h = argc > 2 ? size_t(std::atoi(argv[2])) : 1333;
  auto pixels = std::make_shared<std::vector<uint8_t>>(w * h * 3);
  for (size_t i = 0; i < pixels->size(); ++i) (*pixels)[i] = uint8_t((i * 2654435761u) >> 24);
  NSImageRef image = NSImage::imageWithCGImage(
      CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, pixels));

  std::string directory =
      qv::appendingPathComponent(qv::places::temporaryDirectory(), "bench-store-" + qv::stringWithUUID());
  QVEntitiesStorage storage(directory);
  const int runs = 7;

  QVEntityRef entity;
  double fill = medianMs(runs, [&] {
    auto made = std::make_shared<QVProcessedPreviewEntity>();
    made->setCacheObject({{}, image});
    entity = made;
  });
  qv::Bytes archive;
  double archiveMs = medianMs(runs, [&] { archive = entity->entityData(); });
  int n = 0;
  double write = medianMs(runs, [&] { storage.writeEntityData(archive, "key" + std::to_string(n++)); });
  std::optional<qv::Bytes> read;
  double readMs = medianMs(runs, [&] { read = storage.readEntityDataForKey("key0"); });
  QVEntityRef decoded;
  double decode = medianMs(runs, [&] { decoded = QVEntity::initWithData(&QVProcessedPreviewEntity::cls(), *read); });
  double image2 = medianMs(runs, [&] {
    auto again = QVEntity::initWithData(&QVProcessedPreviewEntity::cls(), *read);
    std::dynamic_pointer_cast<QVImageEntity>(again)->image()->CGImage();
  });

  std::printf("preview %zux%zu, record %.1f MB (cost %llu)\n", w, h, archive.size() / 1e6,
              (unsigned long long)entity->cost());
  std::printf("fill (TIFF encode)   %8.2f ms\n", fill);
  std::printf("archive              %8.2f ms\n", archiveMs);
  std::printf("append               %8.2f ms\n", write);
  std::printf("read back            %8.2f ms\n", readMs);
  std::printf("decode archive       %8.2f ms\n", decode);
  std::printf("decode with image    %8.2f ms\n", image2);
  std::printf("peak memory          %8.1f MB\n", bench::peakMB());
  std::filesystem::remove_all(directory);
  return 0;
}
