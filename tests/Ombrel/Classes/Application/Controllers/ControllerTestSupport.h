#pragma once
// The main window controller's world, faked: the application core (window services and the
// single-image facade), the source list, the open screen's services, the alerts, the panels and
// the screen transitions, with photo files made in a temporary folder.
#include <gtest/gtest.h>

#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <deque>

#include "../SingleImage/SingleImageTestSupport.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Gallery/GalleryTestSupport.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/OpenScreen/OpenScreenTestSupport.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"

namespace controller_test {

using openscreen_test::Paths;

struct PluginRecord {
  int cancels = 0;
  int installs = 0;
};

class FakePluginController : public QVWindowPluginController {
 public:
  explicit FakePluginController(std::shared_ptr<PluginRecord> record) : record_(std::move(record)) {}
  void cancelPlugin() override { ++record_->cancels; }
  void installPlugins() override { ++record_->installs; }

 private:
  std::shared_ptr<PluginRecord> record_;
};

class FakeWindowServices : public QVWindowControllerServices {
 public:
  void processImagesAtPaths(const Paths& paths, int64_t type) override { processed.emplace_back(paths, type); }
  bool exported() override { return exportedFlag; }
  void setPhotosExported(const Paths&, bool exported) override { exportedFlag = exported; }
  bool isExporting() override { return exporting; }
  void cancelProcessingAndClean(bool longTerm) override { cleans.push_back(longTerm); }
  void trackEventImageLoadWithPaths(const Paths& paths) override { loads.push_back(paths); }
  void trackSampleImageOpened() override { ++sampleEvents; }
  bool isPluginMode() override { return plugin; }
  CGSize imageSizeForPath(const std::string&) override { return imageSize; }
  Paths samplePaths() override { return samples; }
  size_t randomIndex(size_t count) override { return count - 1; }
  std::shared_ptr<QVSingleImageFacade> singleImageFacade() override { return facade; }
  std::unique_ptr<QVWindowPluginController> makePluginController() override {
    return std::make_unique<FakePluginController>(pluginRecord);
  }

  std::vector<std::pair<Paths, int64_t>> processed;
  bool exportedFlag = true;
  bool exporting = false;
  std::vector<bool> cleans;
  std::vector<Paths> loads;
  int sampleEvents = 0;
  bool plugin = false;
  CGSize imageSize = CGSizeMake(3000, 2000);
  Paths samples;
  std::shared_ptr<single_image_test::FakeFacade> facade = std::make_shared<single_image_test::FakeFacade>();
  std::shared_ptr<PluginRecord> pluginRecord = std::make_shared<PluginRecord>();
};

// Answers the close and start-over alert from a script and records how it was asked.
class ScriptedAlerts : public QVSolvaneAlertsPresenter {
 public:
  struct Asked {
    bool quit, save, cancel;
    size_t photoCount;
  };
  void showAllertNotSupportExtension(const std::string&) override {}
  void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>&) override {}
  void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>&) override {}
  int64_t showAlertWantStartOver(bool quit, bool save, bool cancel, size_t photoCount) override {
    asked.push_back({quit, save, cancel, photoCount});
    if (answers.empty()) return 0;
    const int64_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<int64_t> answers;
  std::vector<Asked> asked;
};

// Keeps the panel open until the test answers it.
class ScriptedPanels : public QVPanelPresenter {
 public:
  void beginSheet(const QVPanelSpec& spec, QWidget*, std::function<void(const QVPanelResult&)> completion) override {
    specs.push_back(spec);
    pending = std::move(completion);
  }
  void choose(const Paths& paths) {
    QVPanelResult result;
    result.response = paths.empty() ? QVModalResponseCancel : QVModalResponseOK;
    result.paths = paths;
    if (!paths.empty()) result.url = paths.front();
    auto completion = std::move(pending);
    pending = nullptr;
    completion(result);
  }
  std::vector<QVPanelSpec> specs;
  std::function<void(const QVPanelResult&)> pending;
};

// A transition that can hold its end until the test lets it go, and counts cancels and finishes.
struct TransitionRecord {
  bool hold = false;
  std::function<void()> release;
  int made = 0, cancels = 0, finishes = 0;
};

class RecordingTransition : public QVImmediateScreenTransition {
 public:
  RecordingTransition(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                      std::shared_ptr<TransitionRecord> record)
      : QVImmediateScreenTransition(from, to, std::move(end)), record_(std::move(record)) {
    ++record_->made;
  }
  void animateTransition(std::function<void(QVMainScreen*)> completion) override {
    if (!record_->hold) {
      QVImmediateScreenTransition::animateTransition(std::move(completion));
      return;
    }
    QVMainScreen* end = endScreen();
    record_->release = [completion, end] { completion(end); };
  }
  void cancelTransition() override { ++record_->cancels; }
  void finishTransition() override { ++record_->finishes; }

 private:
  std::shared_ptr<TransitionRecord> record_;
};

// The source list as the application core keeps it: what was handed over, less what the gallery
// deleted (then "QVAppDidDeleteSourceItem" is posted).
class KeptSourceList : public openscreen_test::FakeSourceList {
 public:
  void setImagesPaths(const Paths& paths, bool) override { remaining = paths; }
  void addImageWithPaths(const Paths& paths) override { remaining.insert(remaining.end(), paths.begin(), paths.end()); }
  void deleteImagesWithPaths(const Paths& paths) {
    std::erase_if(remaining,
                  [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); });
    qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
  }
};

class CloseRecorder : public QVSolvaneWindowControllerDelegate {
 public:
  void solvaneWindowControllerWillCloseWindow(QVSolvaneWindowController*) override { ++closes; }
  int closes = 0;
};

class ControllerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "broken.jpg", "small.jpg"})
      ASSERT_TRUE(image.save(dir.filePath(name), "JPEG"));
    QVOpenScreenServices::setShared(services);
    QVExportImageSourceList::setShared(sourceList);
    QVWindowControllerServices::setShared(window);
    QVSolvaneAlerts::setPresenter(alerts);
    QVGalleryServices::setShared(gallery);
    gallery->onDelete = [list = sourceList](const Paths& paths) { list->deleteImagesWithPaths(paths); };
    QVSolvanePanels::setPresenter(panels);
    QVSolvaneWindowController::setReplaceKeyQuery([this] { return replaceKey; });
    controller = QVSolvaneWindowController::make();
    // In place of the animated transitions the controller registered.
    for (auto [from, to] : {std::pair{0, 1}, {0, 2}, {1, 2}, {2, 1}, {2, 0}}) {
      if (!recordTransitions) break;
      QVScreenTransitions::setMaker(from, to, [record = transitions](int64_t f, int64_t t, auto end) {
        return std::make_unique<RecordingTransition>(f, t, std::move(end), record);
      });
    }
    controller->setDelegate(&closer);
  }
  void TearDown() override {
    controller.reset();
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
    QVScreenTransitions::resetMakers();
    QVSolvaneWindowController::setReplaceKeyQuery(nullptr);
    QVOpenScreenServices::setShared(nullptr);
    QVExportImageSourceList::setShared(nullptr);
    QVWindowControllerServices::setShared(nullptr);
    QVSolvaneAlerts::setPresenter(nullptr);
    QVSolvanePanels::setPresenter(nullptr);
    QVGalleryServices::setShared(nullptr);
  }
  std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
  Paths paths(const std::vector<const char*>& names) const {
    Paths out;
    for (const char* name : names) out.push_back(path(name));
    return out;
  }
  void drag(const std::vector<const char*>& names) {
    QList<QUrl> urls;
    for (const char* name : names) urls.push_back(QUrl::fromLocalFile(dir.filePath(name)));
    mime.setUrls(urls);
    controller->dragView()->draggingEntered(&mime);
  }
  void drop(const std::vector<const char*>& names) {
    drag(names);
    controller->dragView()->performDragOperation();
    controller->dragView()->draggingEnded();
    openscreen_test::settle();
  }
  // One photo open, on the single-image screen.
  void openOne(const char* name = "a.jpg") {
    drop({name});
    ASSERT_EQ(controller->currentMode(), 1);
  }

  // False: the controller's own animated transitions run.
  bool recordTransitions = true;
  QTemporaryDir dir;
  QMimeData mime;
  bool replaceKey = false;
  std::shared_ptr<openscreen_test::FakeServices> services = std::make_shared<openscreen_test::FakeServices>();
  std::shared_ptr<KeptSourceList> sourceList = std::make_shared<KeptSourceList>();
  std::shared_ptr<gallery_test::FakeServices> gallery = std::make_shared<gallery_test::FakeServices>();
  std::shared_ptr<FakeWindowServices> window = std::make_shared<FakeWindowServices>();
  std::shared_ptr<ScriptedAlerts> alerts = std::make_shared<ScriptedAlerts>();
  std::shared_ptr<ScriptedPanels> panels = std::make_shared<ScriptedPanels>();
  std::shared_ptr<TransitionRecord> transitions = std::make_shared<TransitionRecord>();
  CloseRecorder closer;
  std::shared_ptr<QVSolvaneWindowController> controller;
};

}  // namespace controller_test
