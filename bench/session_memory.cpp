// A browsing session of many photos as the application runs it, for its resident memory and the
// entity store's disk use.
//
//   bench_session_memory [PATHS] [WIDTH HEIGHT] [--same | --distinct N] [--screen CELLS] [--scroll SECONDS]
//                        [--seconds LIMIT]
//       Makes PATHS photograph-like JPEGs (500 of 1000 x 700 by default), each a little different so
//       no two decode alike, or with --same one photo under PATHS names (hard links), or with
//       --distinct N that many different photos, path i a hard link to photo i modulo N (quicker to
//       make for thousands of paths; a photo comes back only N paths later). Then does what
//       opening them does: the facade's source list takes them and every photo is enhanced as a
//       preview (image type 1, priority 2), while a gallery screen of CELLS cells (24 by default)
//       asks for the thumbnail and the enhanced thumbnail of the photos it shows (priority 3) and
//       moves on by one screen every SECONDS (3 by default), keeping the pictures of the paths it
//       showed last within the gallery's own bound (320 MB) and letting the older ones go. It stops
//       when every preview is made, or after LIMIT seconds (600 by default).
//       Every 5 s it prints the resident memory, the entity store's data file and live records, and
//       the memory cache's bytes; at the end the peaks and the machine's load. SOLVANE_HOME is set
//       to a temporary folder unless given; the folder is removed at the end.
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "BenchSupport.h"
#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/Cache/QVEntitiesCache.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"
#include "Ombrel/Classes/Model/Entities/QVFilesManager.h"
#include "QVPlatform/MainExecutor.h"

namespace {

namespace fs = std::filesystem;

// The gallery model's bound on the thumbnails and pictures it keeps (QVGalleryModel::kHeldBytesLimit).
constexpr uint64_t kGalleryHeldBytes = 320'000'000;

double megabytes(uint64_t bytes) { return double(bytes) / 1e6; }

uint64_t fileBytesOnDisk(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? uint64_t(info.st_blocks) * 512 : 0;
}

// The gallery's screen: the paths it shows ask for their thumbnails; the images of paths shown
// before are kept, least recently shown let go first, within the gallery's bound.
class Screen {
 public:
  Screen(std::vector<std::string> paths, size_t cells) : paths_(std::move(paths)), cells_(cells) {}

  // Shows the screen starting at `first`; false when it starts past the last path.
  bool show(size_t first) {
    if (first >= paths_.size()) return false;
    for (size_t i = first; i < std::min(paths_.size(), first + cells_); ++i) {
      const std::string& path = paths_[i];
      std::lock_guard guard(mutex_);
      auto found = held_.find(path);
      if (found != held_.end()) {
        order_.splice(order_.end(), order_, found->second.position);
        continue;
      }
      order_.push_back(path);
      held_[path].position = std::prev(order_.end());
      QVApp::loadImageAtPath(path, 0, [this](const std::string& p, NSImageRef image) { keep(p, image, false); });
      QVApp::processImageAtPath(path, 0, 3, [this](const std::string& p, NSImageRef, NSImageRef processed) {
        keep(p, processed, true);
      });
    }
    return true;
  }

  uint64_t heldBytes() {
    std::lock_guard guard(mutex_);
    return bytes_;
  }

 private:
  struct Held {
    NSImageRef original, processed;
    std::list<std::string>::iterator position;
  };

  void keep(const std::string& path, NSImageRef image, bool processed) {
    std::lock_guard guard(mutex_);
    auto found = held_.find(path);
    if (found == held_.end() || !image) return;
    NSImageRef& slot = processed ? found->second.processed : found->second.original;
    if (slot) bytes_ -= slot->heldBytes();
    slot = std::move(image);
    bytes_ += slot->heldBytes();
    while (bytes_ > kGalleryHeldBytes && order_.size() > cells_) {
      const std::string oldest = order_.front();
      order_.pop_front();
      auto gone = held_.find(oldest);
      for (const auto* held : {&gone->second.original, &gone->second.processed})
        if (*held) bytes_ -= (*held)->heldBytes();
      held_.erase(gone);
      QVApp::cancelLoadingImageAtPath(oldest, 0);
      QVApp::cancelProcessingImageAtPath(oldest, 0);
    }
  }

  const std::vector<std::string> paths_;
  const size_t cells_;
  std::mutex mutex_;
  std::list<std::string> order_;
  std::map<std::string, Held> held_;
  uint64_t bytes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> numbers;
  bool same = false;
  int distinct = 0;
  size_t cells = 24;
  double scrollSeconds = 3, limitSeconds = 600;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--same")
      same = true;
    else if (arg == "--distinct" && i + 1 < argc)
      distinct = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--screen" && i + 1 < argc)
      cells = size_t(std::max(1, std::atoi(argv[++i])));
    else if (arg == "--scroll" && i + 1 < argc)
      scrollSeconds = std::max(0.1, std::atof(argv[++i]));
    else if (arg == "--seconds" && i + 1 < argc)
      limitSeconds = std::max(1.0, std::atof(argv[++i]));
    else
      numbers.push_back(arg);
  }
  const int count = numbers.size() > 0 ? std::atoi(numbers[0].c_str()) : 500;
  const int width = numbers.size() > 2 ? std::atoi(numbers[1].c_str()) : 1000,
            height = numbers.size() > 2 ? std::atoi(numbers[2].c_str()) : 700;
  if (count <= 0 || width <= 0 || height <= 0) {
    std::fprintf(stderr,
                 "usage: bench_session_memory [PATHS] [WIDTH HEIGHT] [--same] [--screen CELLS] [--scroll SECONDS] "
                 "[--seconds LIMIT]\n");
    return 2;
  }
  char pattern[] = "/tmp/bench-session-memory-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  if (!std::getenv("SOLVANE_HOME")) setenv("SOLVANE_HOME", (root / "home").c_str(), 1);
  if (!std::getenv("SOLVANE_RESOURCES")) setenv("SOLVANE_RESOURCES", bench::resourcesDir().c_str(), 1);
  const fs::path sources = root / "sources";
  fs::create_directories(sources);

  // The photos: one picture, each copy with its own number stamped into a corner band.
  std::vector<std::string> paths(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) paths[size_t(i)] = (sources / ("photo-" + std::to_string(i + 1) + ".jpg")).string();
  {
    const rova::codecs::Bitmap picture = bench::makePicture(width, height);
    rova::codecs::EncodeOptions jpeg;
    jpeg.format = rova::codecs::Format::JPEG;
    jpeg.quality = 0.9;
    auto write = [&](int i) {
      rova::codecs::Bitmap stamped = picture;
      if (!same && distinct != 1)
        for (int y = 0; y < std::min(height, 64); ++y) {
          uint8_t* row = stamped.row(y);
          for (int x = 0; x < std::min(width, 256) * 3; ++x)
            row[x] = uint8_t(row[x] ^ ((i >> ((x / 3) % 16)) & 1 ? 0x5a : 0));
        }
      const auto bytes = rova::codecs::encode(stamped, jpeg, nullptr);
      std::ofstream(paths[size_t(i)], std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    if (same) distinct = 1;
    if (distinct > 0 && distinct < count) {
      bench::forEachRow(distinct, write);
      for (int i = distinct; i < count; ++i) fs::create_hard_link(paths[size_t(i % distinct)], paths[size_t(i)]);
    } else {
      bench::forEachRow(count, write);
    }
  }

  double load0[3] = {0, 0, 0};
  getloadavg(load0, 3);
  bench::resetPeakMemory();
  const double startMB = bench::residentMB();
  QVApp::start();
  const std::string dataFile =
      (fs::path(QVFilesManager::sharedManager().entitiesDirectoryPath()) / "EntitiesStorage.data").string();

  // Opening: the source list takes the paths and every photo is enhanced as a preview.
  QVApp::sourceManager()->setImagesPaths(paths, false);
  std::atomic<int> previews{0};
  for (const auto& path : paths)
    QVApp::processImageAtPath(path, 1, 2, [&previews](const std::string&, NSImageRef, NSImageRef) { ++previews; });

  Screen screen(paths, cells);
  size_t first = 0;
  screen.show(first);
  const auto t0 = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
  double peakStoreMB = 0, peakRSS = 0, nextScroll = scrollSeconds, nextPrint = 0;
  std::printf("session of %d paths of %d different %dx%d photos, a screen of %zu cells moving every %.1f s\n", count,
              distinct > 0 ? std::min(distinct, count) : count, width, height, cells, scrollSeconds);
  std::printf("%7s %9s %11s %11s %11s %11s %11s %11s %7s\n", "time s", "previews", "resident MB", "heap MB",
              "store MB", "live MB", "cache MB", "gallery MB", "stores");
  auto& executor = qv::MainExecutor::shared();
  std::function<void()> sample = [&] {
    const double now = elapsed();
    const double rss = bench::residentMB(), store = megabytes(fileBytesOnDisk(dataFile));
    peakRSS = std::max(peakRSS, rss);
    peakStoreMB = std::max(peakStoreMB, store);
    const bool done = previews.load() >= count || now >= limitSeconds;
    if (now >= nextPrint || done) {
      const struct mallinfo2 heap = mallinfo2();
      std::printf("%7.0f %9d %11.0f %11.0f %11.0f %11.0f %11.0f %11.0f %7zu\n", now, previews.load(), rss,
                  megabytes(heap.uordblks + heap.hblkhd), store,
                  megabytes(QVEntitiesStorage::shared().liveBytes()), megabytes(QVEntitiesCache::shared().totalCost()),
                  megabytes(screen.heldBytes()), QVQueueManager::shared().cacheInternalQueue()->operationCount());
      std::fflush(stdout);
      nextPrint += 5;
    }
    if (now >= nextScroll) {
      nextScroll += scrollSeconds;
      if (screen.show(first + cells)) first += cells;
    }
    if (done) return executor.stop();
    executor.asyncAfter(0.5, sample);
  };
  executor.asyncAfter(0.5, sample);
  executor.run();
  const double wall = elapsed();
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("%d of %d previews in %.0f s; resident memory: before the session %.0f MB, peak %.0f MB (kernel's "
              "high-water mark %.0f MB), at the end %.0f MB\n",
              previews.load(), count, wall, startMB, peakRSS, bench::peakMemorySinceResetMB(), bench::residentMB());
  std::printf("entity store data file: peak %.0f MB, at the end %.0f MB; machine load %.1f before, %.1f after (%u "
              "cores)\n",
              peakStoreMB, megabytes(fileBytesOnDisk(dataFile)), load0[0], load[0],
              std::max(1u, std::thread::hardware_concurrency()));
  // What stays once the caches are emptied: what the session holds per photo beyond them.
  QVApp::cancelImageOperationsAndWaitUntilDone();
  QVEntitiesCache::shared().count();
  malloc_trim(0);
  const struct mallinfo2 heap = mallinfo2();
  std::printf("after emptying the caches: resident %.0f MB, heap in use %.0f MB\n", bench::residentMB(),
              megabytes(heap.uordblks + heap.hblkhd));
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
