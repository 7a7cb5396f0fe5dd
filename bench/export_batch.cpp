// A batch export as the application runs it: the preset-driven export manager over the facade,
// processor and image writer.
//
//   bench_export_batch [COUNT] [WIDTH HEIGHT]
//       Makes COUNT photograph-like JPEGs (20 of 4000 x 3000, 12 MP, by default) in a folder of its
//       own, then exports them with the shipped preset "JPEG Full Size" (full size, sRGB, quality
//       0.9, the source names) into another, and prints the wall time, the time per photo, the
//       cores kept busy on average (CPU time of all threads / wall time, out of the machine's), and
//       the process's peak resident memory. SOLVANE_HOME is set to a temporary folder unless given.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

namespace {

namespace fs = std::filesystem;

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
  const int count = argc > 1 ? std::atoi(argv[1]) : 20;
  const int width = argc > 3 ? std::atoi(argv[2]) : 4000, height = argc > 3 ? std::atoi(argv[3]) : 3000;
  if (count <= 0 || width <= 0 || height <= 0) {
    std::fprintf(stderr, "usage: bench_export_batch [COUNT] [WIDTH HEIGHT]\n");
    return 2;
  }
  char pattern[] = "/tmp/bench-export-batch-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  if (!std::getenv("SOLVANE_HOME")) setenv("SOLVANE_HOME", (root / "home").c_str(), 1);
  if (!std::getenv("SOLVANE_RESOURCES")) setenv("SOLVANE_RESOURCES", bench::resourcesDir().c_str(), 1);

  // The photos: one picture encoded once, written COUNT times under different names.
  const fs::path sources = root / "sources", out = root / "out";
  fs::create_directories(sources);
  fs::create_directories(out);
  rova::codecs::EncodeOptions jpeg;
  jpeg.format = rova::codecs::Format::JPEG;
  jpeg.quality = 0.92;
  const auto bytes = rova::codecs::encode(bench::makePicture(width, height), jpeg, nullptr);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const fs::path path = sources / ("photo-" + std::to_string(i + 1) + ".jpg");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    paths.push_back(path.string());
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

  const double cpu0 = bench::cpuSeconds();
  const double wall = bench::seconds([&] {
    manager->exportWithType(kQVExportTypeDisk);
    if (!updater->ended) qv::MainExecutor::shared().run();
  });
  const double cpu = bench::cpuSeconds() - cpu0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

  std::printf("batch export: %d photos of %dx%d (%.1f MP) as JPEG with \"JPEG Full Size\"\n", count, width, height,
              width * double(height) / 1e6);
  std::printf("  %s: %zu written, %d failed\n", updater->finished ? "finished" : "ended without finishing",
              manager->exportedPaths().size(), updater->failures);
  std::printf("  wall %.2f s   per photo %.0f ms   %.1f MP/s\n", wall, wall * 1e3 / count,
              count * width * double(height) / 1e6 / wall);
  std::printf("  cores kept busy %.2f of %u (CPU %.1f s)   peak memory %.0f MB\n", cpu / wall, cores, cpu,
              bench::peakMB());
  QVApp::cancelImageOperationsAndWaitUntilDone();
  std::error_code ec;
  fs::remove_all(root, ec);
  return updater->finished ? 0 : 1;
}
