// bench_extension_edit [--runs N] [WIDTH HEIGHT]
// One edit in the photo-library extension as the host drives it, on a photograph-like JPEG made at
// run time (6000 x 4000, 24 megapixels, by default): the controller over the real application
// core, its screen in the runner's window (1280 x 860) on Qt's offscreen platform.
// Prints per run and as the median of N runs (3 by default):
//   - preview: from handing the input over to the enhanced preview on screen (state "processed");
//   - done → TIFF: from the host's Done to the output handed back with the TIFF written, and its
//     parts: the full-size render with the strength, the progress bar running to its end, the
//     TIFF written through the export writer.
// Each run edits its own copy of the photo, so no cache answers for an earlier run.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "../BenchPictures.h"
#include "../BenchSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "SifaneExtension/PhotoEditing/PhotoEditingViewController.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingAppFacade.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingContainerView.h"
#include "SifaneExtension/Runner/QVExtensionHostWindow.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The container view, with the moments the controller reaches it noted.
class TimingView : public QVPhotoEditingView {
 public:
  explicit TimingView(QVPhotoEditingContainerView& view) : view_(view) {}
  Clock::time_point rendered, barEnded;
  void setContainerHidden(bool hidden) override { view_.setContainerHidden(hidden); }
  void showImageController(const std::string& path) override { view_.showImageController(path); }
  void updateWithExportState(uint64_t state) override { view_.updateWithExportState(state); }
  double boostAmount() override { return view_.boostAmount(); }
  void setPreviewFailureHandler(std::function<void()> handler) override {
    view_.setPreviewFailureHandler(std::move(handler));
  }
  void completeExportAnimation(std::function<void()> completion) override {
    rendered = Clock::now();
    view_.completeExportAnimation([this, completion] {
      barEnded = Clock::now();
      completion();
    });
  }

 private:
  QVPhotoEditingContainerView& view_;
};

void writeJPEG(const fs::path& path, int w, int h) {
  rova::codecs::Bitmap b = bench::makePicture(w, h);
  auto data = std::make_shared<std::vector<uint8_t>>(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y) std::memcpy(data->data() + size_t(y) * w * 3, b.row(y), size_t(w) * 3);
  auto image = CGImageCreate(size_t(w), size_t(h), 8, 24, size_t(w) * 3, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                             kCGImageAlphaNone, data);
  auto destination = CGImageDestinationCreateWithURL(path.string(), kUTTypeJPEG, 1);
  CGImageDestinationAddImage(destination, image,
                             qv::Value(qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 0.9}}));
  CGImageDestinationFinalize(destination);
}

bool waitUntil(const std::function<bool()>& condition, double limit = 300) {
  const auto start = Clock::now();
  while (!condition()) {
    if (since(start) > limit) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int runs = 3, width = 6000, height = 4000;
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (argv[i][0] != '-') {
      sizes.push_back(std::atoi(argv[i]));
    }
  }
  if (sizes.size() == 2) width = sizes[0], height = sizes[1];
  // Every file of the run lives in a folder of its own.
  const fs::path home = fs::temp_directory_path() / ("bench-extension-" + std::to_string(::getpid()));
  fs::create_directories(home / "out");
  ::setenv("SOLVANE_HOME", home.c_str(), 0);
  ::setenv("SOLVANE_WEB_SERVICE", "http://127.0.0.1:9", 0);

  QApplication app(argc, argv);
  QVFonts::loadOnce();
  QVMainExecutorBridge::install();
  std::printf("making the %d x %d photo (%.1f megapixels)...\n", width, height, width * height / 1e6);
  const fs::path photo = home / "photo.jpg";
  writeJPEG(photo, width, height);

  auto facade = QVMakePhotoEditingAppFacade();
  PhotoEditingViewController::load(*facade);

  std::vector<double> previews, dones, renders, bars, writes;
  std::printf("%-4s %10s %12s %10s %10s %10s\n", "run", "preview s", "done->tiff s", "render s", "bar s", "write s");
  for (int run = 1; run <= runs; ++run) {
    const fs::path copy = home / ("photo-" + std::to_string(run) + ".jpg");
    fs::copy_file(photo, copy, fs::copy_options::overwrite_existing);
    auto controller = std::make_shared<PhotoEditingViewController>(facade);
    auto containerView = std::make_unique<QVPhotoEditingContainerView>();
    TimingView view(*containerView);
    controller->setView(&view);
    auto* window = QVMake<QVExtensionHostWindow>(containerView->containerView(), copy.filename().string());
    window->resize(1280, 860);
    controller->viewDidLoad();
    bool processed = false;
    auto token = qv::NotificationCenter::defaultCenter().addObserver(
        kQVExportViewStateDidChangeNotification, nullptr, [&processed](const qv::Notification& n) {
          processed |= QVSingleImageNotifications::objectValue<uint64_t>(n) == uint64_t(1);
        });
    window->show();
    const auto start = Clock::now();
    controller->startContentEditingWithInput(
        QVContentEditingInput(copy.string(), std::nullopt, (home / "out").string()), "");
    controller->viewWillAppear();
    if (!waitUntil([&] { return processed; })) {
      std::fprintf(stderr, "the preview never came\n");
      return 1;
    }
    const double preview = since(start);

    bool finished = false;
    std::optional<std::string> failure;
    const auto done = Clock::now();
    controller->finishContentEditingWithCompletionHandler([&](auto output, auto why) {
      failure = output ? output->commit() : why;  // as a host does: both files into place
      finished = true;
    });
    if (!waitUntil([&] { return finished; }) || failure) {
      std::fprintf(stderr, "the edit did not finish: %s\n", failure.value_or("time out").c_str());
      return 1;
    }
    const double total = since(done);
    const double render = std::chrono::duration<double>(view.rendered - done).count();
    const double bar = std::chrono::duration<double>(view.barEnded - view.rendered).count();
    const double write = total - render - bar;
    std::printf("%-4d %10.2f %12.2f %10.2f %10.2f %10.2f\n", run, preview, total, render, bar, write);
    previews.push_back(preview), dones.push_back(total), renders.push_back(render), bars.push_back(bar),
        writes.push_back(write);
    token.reset();
    controller.reset();
    containerView.reset();
    delete window;
  }
  std::printf("%-4s %10.2f %12.2f %10.2f %10.2f %10.2f   (median of %d)\n", "all", median(previews), median(dones),
              median(renders), median(bars), median(writes), runs);
  std::printf("TIFF: %s (%.1f MB)\n", (home / "out").c_str(),
              double(fs::file_size(home / "out" / ("photo-" + std::to_string(runs) + ".tiff"))) / 1e6);
  QVMainExecutorBridge::uninstall();
  std::error_code ec;
  fs::remove_all(home, ec);
  std::fflush(nullptr);
  std::_Exit(0);
}
