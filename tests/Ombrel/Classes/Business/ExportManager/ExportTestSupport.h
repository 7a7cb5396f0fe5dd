#pragma once
// Support for the export managers' tests: the facade started once, scripted ports (collision
// alert, export dialog, desktop launcher), a progress updater that records every call, and
// helpers to wait for an export and to read back what it wrote.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVBasicExportManager.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/MainExecutor.h"
#include "common/TestSupport.h"
#include "tests/Ombrel/Classes/Business/AppTestSupport.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

namespace solvane::test {

// The collision alert answered by script; records the file names it was shown for.
class ScriptedRenameAlerts : public RecordingAlerts {
 public:
  int64_t answer = QVAlertResultCreateNew;
  bool applyToAll = false;
  std::vector<std::string> asked;
  // Runs while the question is open (a modal dialog runs the main loop meanwhile).
  std::function<void()> whileOpen;
  int open = 0, mostOpenAtOnce = 0;
  int64_t showAlertRenameExportImage(const std::string& fileName, bool* apply) override {
    EXPECT_TRUE(qv::MainExecutor::shared().isMainThread()) << "alerts are shown on the main thread";
    asked.push_back(fileName);
    mostOpenAtOnce = std::max(mostOpenAtOnce, ++open);
    if (whileOpen) whileOpen();
    --open;
    if (apply) *apply = applyToAll;
    return answer;
  }
};

// Records every progress call, in order, as text ("started", "progress 1/3", "failed <path>",
// "finished", "canceled", "dialog canceled"); optionally acts on a progress step.
class RecordingUpdater : public QVExportProgressUpdatable {
 public:
  std::vector<std::string> calls;
  std::vector<qv::Error> errors;
  std::function<void(uint64_t part)> onProgress;
  bool offMain = false;
  void onExportStarted(QVExportManagable&) override { record("started"); }
  void updateProgress(uint64_t part, uint64_t count) override {
    record("progress " + std::to_string(part) + "/" + std::to_string(count));
    if (onProgress) onProgress(part);
  }
  void onExportFinished(QVExportManagable&) override { record("finished"); }
  void onExportCanceled(QVExportManagable&) override { record("canceled"); }
  void exportOnDiskDialogDidCancel() override { record("dialog canceled"); }
  void onExportFailed(QVExportManagable&, const std::string& path, const qv::Error& error) override {
    record("failed " + std::filesystem::path(path).filename().string());
    errors.push_back(error);
  }
  bool ended() const {
    for (const auto& c : calls)
      if (c == "finished" || c == "canceled" || c == "dialog canceled") return true;
    return false;
  }
  size_t count(const std::string& call) const { return size_t(std::count(calls.begin(), calls.end(), call)); }

 private:
  void record(std::string call) {
    if (!qv::MainExecutor::shared().isMainThread()) offMain = true;
    calls.push_back(std::move(call));
  }
};

// The launcher of desktop programs, recording what would have been started.
class FakeLauncher : public QVDesktopLauncher {
 public:
  bool succeed = true;
  std::vector<std::vector<std::string>> launched;
  bool launch(const std::vector<std::string>& arguments) override {
    launched.push_back(arguments);
    return succeed;
  }
};

// The export dialog answering one scripted result.
class ScriptedDialog : public QVExportDialogPresenter {
 public:
  int64_t response = 1;
  std::string url, directoryURL, fileType = "public.jpeg";
  int64_t depth = 8;
  int64_t colorSpace = 0;
  qv::Dictionary properties;
  std::vector<std::vector<std::string>> shownFor;
  void showExportDialogWithPaths(const std::vector<std::string>& paths, Completion completion) override {
    shownFor.push_back(paths);
    // Closes on a later turn of the main loop, as a sheet does.
    qv::MainExecutor::shared().async(
        [=, this] { completion(response, url, directoryURL, fileType, depth, properties, colorSpace); });
  }
};

// A fixture with the facade started (offline), the scripted ports installed and removed again.
class ExportFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    offline = std::make_unique<FakeProbeInstaller>(std::make_shared<FakeReachabilityProbe>(0));
    startFacadeOnce();
  }
  static void TearDownTestSuite() { offline.reset(); }
  static inline std::unique_ptr<FakeProbeInstaller> offline;

  void SetUp() override {
    QVSolvaneAlerts::setPresenter(alerts);
    QVSharingServices::setLauncher(launcher);
    QVSharingServices::setDialogPresenter(dialog);
    dir = makeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    QVApp::cancelImageOperationsAndWaitUntilDone();
    qv::MainExecutor::shared().runUntilIdle();
    QVSolvaneAlerts::setPresenter(nullptr);
    QVSharingServices::setLauncher(nullptr);
    QVSharingServices::setDialogPresenter(nullptr);
  }

  // A copy of a photo of tests/data/enhance under `folder` (of this test's folder), as `name`.
  std::string photo(const std::string& source, const std::string& folder = "sources", std::string name = {}) {
    if (name.empty()) name = source;
    std::filesystem::create_directories(dir / folder);
    const auto target = dir / folder / name;
    std::filesystem::copy_file(dataDir() / "enhance" / source, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target.string();
  }
  // Waits (pumping the main loop) until the updater heard the end of the export.
  bool waitForEnd(const RecordingUpdater& updater) {
    return pumpMainUntil([&] { return updater.ended(); });
  }
  // Waits until no image work and no write of the manager is left.
  void drain(const std::shared_ptr<QVBasicExportManager>& manager) {
    pumpMainUntil([] {
      auto& queues = QVQueueManager::shared();
      return !QVApp::isProcessingImages() && queues.imageBlendingQueue()->operationCount() == 0 &&
             queues.appQueue()->operationCount() == 0;
    });
    for (int i = 0; i < 5; ++i) pumpMainUntil([] { return true; }, 0.05);
  }

  std::shared_ptr<ScriptedRenameAlerts> alerts = std::make_shared<ScriptedRenameAlerts>();
  std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();
  std::shared_ptr<ScriptedDialog> dialog = std::make_shared<ScriptedDialog>();
  std::shared_ptr<RecordingUpdater> updater = std::make_shared<RecordingUpdater>();
  std::filesystem::path dir;
};

// The file names in a folder, sorted (hidden and temporary files included).
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The type identifier and bits per channel of an image file ("" and 0 when it cannot be read).
struct WrittenImage {
  std::string type;
  size_t bits = 0, width = 0, height = 0;
  qv::Value properties;
};
inline WrittenImage readBack(const std::filesystem::path& path) {
  WrittenImage out;
  auto source = CGImageSourceCreateWithURL(path.string());
  if (!source) return out;
  out.type = CGImageSourceGetType(source);
  out.properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
  if (auto image = CGImageSourceCreateImageAtIndex(source, 0)) {
    out.bits = image->bitsPerComponent;
    out.width = image->width;
    out.height = image->height;
  }
  return out;
}

}  // namespace solvane::test
