// A batch export as the application runs it: the preset-driven export manager over the facade,
// processor and image writer.
//
//   bench_export_batch [COUNT] [WIDTH HEIGHT] [--iso N] [--photos DIR | --real] [--against RENDERER]
//       Makes COUNT photograph-like JPEGs (20 of 4000 x 3000, 12 MP, by default) in a folder of its
//       own (with a camera sensor's grain at ISO N when asked: what noise reduction works on in real
//       photographs), or takes the first COUNT JPEGs of DIR (in name order), or with --real the first
//       COUNT of 20 real photographs of 12 to 16 MP with little grain (copies of three of the desktop
//       wallpapers Debian installs in /usr/share/backgrounds, package lomiri-wallpapers-16.04, which
//       scripts/deps.sh --bench installs; it says so and stops when they are missing), in three sizes
//       one after the other as a camera and two crops would give them; then exports them with the shipped preset
//       "JPEG Full Size" (full size, sRGB, quality 0.9, the source names) into another, and prints the wall time, the
//       time per photo, the cores kept busy on average (CPU time of all threads / wall time, out of the machine's), and
//       the process's peak resident memory, and how many large buffers one photo freed the next ones took
//       again. SOLVANE_HOME is set to a temporary folder unless given.
//       With --against, the same photos then go through as many RENDERER processes (solvane-render,
//       "--size" of each photo's longer side) side by side as the machine has cores, in the same run:
//       their wall time, photos a second and CPU time (user + system of the children) print below.
//       SOLVANE_BENCH_KEEP=1 keeps the folder (sources/, out/, rendered/) and prints where it is.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchPictures.h"
#include "BenchSupport.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVExportManagerBusiness.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVPlatform/MainExecutor.h"
#include "rova/LargeBufferReuse.h"

namespace {

namespace fs = std::filesystem;

double childrenCPUSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// Runs `renderer INPUT OUTPUT --size LONGER` for every photo, `slots` processes at a time; false when one failed.
bool renderSideBySide(const std::string& renderer, const std::vector<std::string>& paths,
                      const std::vector<int>& longer, const fs::path& out, unsigned slots) {
  size_t next = 0, running = 0;
  bool ok = true;
  // A child that reopens stdout flushes what it inherited: the batch's figures would print once per process.
  std::fflush(stdout);
  while (next < paths.size() || running > 0) {
    while (running < slots && next < paths.size()) {
      const std::string target = (out / ("render-" + std::to_string(next + 1) + ".jpg")).string();
      const std::string size = std::to_string(longer[next]);
      const pid_t pid = fork();
      if (pid == 0) {
        // Their own reports would drown the figures.
        if (FILE* quiet = std::freopen("/dev/null", "w", stdout)) (void)quiet;
        execl(renderer.c_str(), renderer.c_str(), paths[next].c_str(), target.c_str(), "--size", size.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid < 0) return false;
      ++next, ++running;
    }
    int status = 0;
    if (wait(&status) < 0) break;
    --running;
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

// The real photographs of --real: each wallpaper copied that many times, named <prefix><n>.jpg.
struct RealPhoto {
  const char* wallpaper;
  const char* prefix;
  int copies;
};
constexpr RealPhoto kRealPhotos[] = {
    {"Dragonfly_by_Bolly.jpg", "a", 7},              // 4224 x 3168
    {"sunset_by_Aitzol_Berasategi.jpg", "b", 7},     // 4272 x 2848
    {"seeding_by_Clements_Engelhardt.jpg", "c", 6},  // 5312 x 2988
};
constexpr const char* kWallpapers = "/usr/share/backgrounds";

// Copies the real photographs into `folder`; false (having said what is missing) when they are not installed.
bool makeRealPhotos(const fs::path& folder) {
  for (const auto& photo : kRealPhotos) {
    const fs::path source = fs::path(kWallpapers) / photo.wallpaper;
    if (!fs::exists(source)) {
      std::fprintf(
          stderr,
          "--real: %s is not installed (package lomiri-wallpapers-16.04: scripts/deps.sh --bench installs it)\n",
          source.c_str());
      return false;
    }
    for (int i = 1; i <= photo.copies; ++i) {
      std::error_code ec;
      fs::copy_file(source, folder / (photo.prefix + std::to_string(i) + ".jpg"), ec);
      if (ec) {
        std::fprintf(stderr, "--real: cannot copy %s: %s\n", source.c_str(), ec.message().c_str());
        return false;
      }
    }
  }
  return true;
}

constexpr const char* kJPEGFullSizeUUID = "5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D01";

class Updater : public QVExportProgressUpdatable {
 public:
  bool finished = false, ended = false;
  int failures = 0;
  void onExportFinished(QVExportManagable&) override { finished = ended = true, qv::MainExecutor::shared().stop(); }
  void onExportCanceled(QVExportManagable&) override { ended = true, qv::MainExecutor::shared().stop(); }
  void onExportFailed(QVExportManagable&, const std::string& path, const qv::Error& error) override {
    ++failures;
    std::fprintf(stderr, "failed: %s: %s\n", path.c_str(), error.description.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  int iso = 0;
  bool real = false;
  std::string photos, renderer;
  std::vector<std::string> numbers;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--iso") && i + 1 < argc)
      iso = std::max(0, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--photos") && i + 1 < argc)
      photos = argv[++i];
    else if (!std::strcmp(argv[i], "--real"))
      real = true;
    else if (!std::strcmp(argv[i], "--against") && i + 1 < argc)
      renderer = argv[++i];
    else
      numbers.push_back(argv[i]);
  }
  int count = numbers.size() > 0 ? std::atoi(numbers[0].c_str()) : 20;
  int width = numbers.size() > 2 ? std::atoi(numbers[1].c_str()) : 4000,
      height = numbers.size() > 2 ? std::atoi(numbers[2].c_str()) : 3000;
  if (count <= 0 || width <= 0 || height <= 0) {
    std::fprintf(
        stderr,
        "usage: bench_export_batch [COUNT] [WIDTH HEIGHT] [--iso N] [--photos DIR | --real] [--against RENDERER]\n");
    return 2;
  }
  char pattern[] = "/tmp/bench-export-batch-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  if (!std::getenv("SOLVANE_HOME")) setenv("SOLVANE_HOME", (root / "home").c_str(), 1);
  if (!std::getenv("SOLVANE_RESOURCES")) setenv("SOLVANE_RESOURCES", bench::resourcesDir().c_str(), 1);

  const fs::path sources = root / "sources", out = root / "out";
  fs::create_directories(sources);
  fs::create_directories(out);
  if (real) {
    if (!makeRealPhotos(sources)) {
      std::error_code ec;
      fs::remove_all(root, ec);
      return 1;
    }
    photos = sources.string();
  }
  std::vector<std::string> paths;
  std::vector<int> longer;
  double pixels = 0;
  if (!photos.empty()) {
    // The photographs given, in name order; their pixels counted from their headers.
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(photos))
      if (rova::codecs::lowerExtension(entry.path().string()) == "jpg" ||
          rova::codecs::lowerExtension(entry.path().string()) == "jpeg")
        found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    for (const auto& path : found) {
      if (int(paths.size()) == count) break;
      std::ifstream file(path, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      rova::codecs::ImageInfo info;
      if (!rova::codecs::readInfo(bytes.data(), bytes.size(), "jpg", info, nullptr)) continue;
      pixels += double(info.size.width) * info.size.height;
      longer.push_back(int(std::max(info.size.width, info.size.height)));
      paths.push_back(path.string());
    }
    if (paths.empty()) {
      std::fprintf(stderr, "no JPEG in %s\n", photos.c_str());
      return 1;
    }
    count = int(paths.size());
  } else {
    // The photos: one picture encoded once, written COUNT times under different names.
    rova::codecs::EncodeOptions jpeg;
    jpeg.format = rova::codecs::Format::JPEG;
    jpeg.quality = 0.92;
    const auto bytes = rova::codecs::encode(
        iso > 0 ? bench::makeGrainyPicture(width, height, iso) : bench::makePicture(width, height), jpeg, nullptr);
    for (int i = 0; i < count; ++i) {
      const fs::path path = sources / ("photo-" + std::to_string(i + 1) + ".jpg");
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
      paths.push_back(path.string());
      longer.push_back(std::max(width, height));
    }
    pixels = double(count) * width * height;
  }

  QVApp::start();
  auto store = QVApp::batchPresetManager();
  auto shipped = store ? store->presetWithUUID(kJPEGFullSizeUUID) : nullptr;
  if (!shipped) {
    std::fprintf(stderr, "the preset \"JPEG Full Size\" is missing from the resources\n");
    return 1;
  }
  auto preset = shipped->copy();
  preset->saving()->setPath(out.string());
  preset->saving()->setShouldOverwriteWithoutWarning(true);

  auto updater = std::make_shared<Updater>();
  auto manager = QVExportManagerBusiness::make();
  manager->setProgressUpdater(updater);
  manager->setPreset(preset);
  manager->prepareExportPaths(paths);

  const uint64_t reused0 = rova::LargeBufferReuse::reusedBuffers();
  const double cpu0 = bench::cpuSeconds();
  const double wall = bench::seconds([&] {
    manager->exportWithType(kQVExportTypeDisk);
    if (!updater->ended) qv::MainExecutor::shared().run();
  });
  const double cpu = bench::cpuSeconds() - cpu0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("batch export: %d photos of %s%.1f MP%s as JPEG with \"JPEG Full Size\" (load %.1f)\n", count,
              photos.empty() ? "" : "about ", pixels / count / 1e6,
              photos.empty() ? (iso > 0 ? (", grain of ISO " + std::to_string(iso)).c_str() : "")
              : real         ? " (real photographs)"
                             : (" from " + photos).c_str(),
              load[0]);
  std::printf("  %s: %zu written, %d failed\n", updater->finished ? "finished" : "ended without finishing",
              manager->exportedPaths().size(), updater->failures);
  std::printf("  wall %.2f s   per photo %.0f ms   %.2f photos/s   %.1f MP/s\n", wall, wall * 1e3 / count, count / wall,
              pixels / 1e6 / wall);
  std::printf("  cores kept busy %.2f of %u (CPU %.1f s)   peak memory %.0f MB   large buffers reused %llu\n",
              cpu / wall, cores, cpu, bench::peakMB(),
              static_cast<unsigned long long>(rova::LargeBufferReuse::reusedBuffers() - reused0));
  QVApp::cancelImageOperationsAndWaitUntilDone();
  if (!renderer.empty()) {
    const fs::path rendered = root / "rendered";
    fs::create_directories(rendered);
    const double children0 = childrenCPUSeconds();
    bool ok = true;
    const double renderWall = bench::seconds([&] { ok = renderSideBySide(renderer, paths, longer, rendered, cores); });
    const double renderCPU = childrenCPUSeconds() - children0;
    getloadavg(load, 3);
    std::printf("%u %s side by side (load %.1f): %s\n", cores, fs::path(renderer).filename().c_str(), load[0],
                ok ? "all written" : "some failed");
    std::printf("  wall %.2f s   %.2f photos/s (batch %.2f)   cores busy %.2f (CPU %.1f s)\n", renderWall,
                count / renderWall, count / wall, renderCPU / renderWall, renderCPU);
  }
  if (std::getenv("SOLVANE_BENCH_KEEP")) {
    std::printf("kept %s\n", root.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  return updater->finished ? 0 : 1;
}
