#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "QVPlatform/UserDefaults.h"

namespace {

class QVSolvanePanelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    presenter = std::make_shared<app_test::ScriptedPanelPresenter>();
    QVSolvanePanels::setPresenter(presenter);
  }
  void TearDown() override {
    QVSolvanePanels::setPresenter(nullptr);
    QVSolvanePanels::setAccessoryMaker(nullptr);
  }
  std::shared_ptr<app_test::ScriptedPanelPresenter> presenter;
};

struct Options : QVExportOptionsAccessory {
  QWidget widget;
  QWidget* view() override { return &widget; }
  std::string type() const override { return "public.png"; }
  int64_t depth() const override { return 16; }
  qv::Dictionary imageProperties() const override { return {{"Quality", qv::Value(0.9)}}; }
};

TEST_F(QVSolvanePanelsTest, ExportDialogForOnePhotoIsASavePanelNamedAfterIt) {
  auto options = std::make_shared<Options>();
  QVSolvanePanels::setAccessoryMaker([options](bool metadata, int64_t colorSpace, int64_t depth) {
    EXPECT_FALSE(metadata);
    EXPECT_EQ(colorSpace, 1);
    EXPECT_EQ(depth, 0);
    return options;
  });
  presenter->holdOpen = true;
  int64_t response = -1;
  std::string url, type;
  int64_t depth = 0;
  auto view = QVSolvanePanels::showExportDialogWithPaths(
      {"/photos/beach.day.jpg"},
      [&](int64_t r, const std::string& u, const std::string&, const std::string& t, int64_t d, const qv::Dictionary&,
          int64_t) {
        response = r;
        url = u;
        type = t;
        depth = d;
      });
  EXPECT_EQ(view, options);
  ASSERT_EQ(presenter->shown.size(), 1u);
  const QVPanelSpec& spec = presenter->shown[0];
  EXPECT_EQ(spec.kind, QVPanelSpec::Kind::Save);
  EXPECT_EQ(spec.nameFieldStringValue, "beach.day");
  EXPECT_TRUE(spec.canCreateDirectories);
  EXPECT_EQ(spec.accessoryView, &options->widget);
  EXPECT_TRUE(QVSolvanePanels::isSavePanelShowed());
  QVPanelResult ok;
  ok.response = QVModalResponseOK;
  ok.url = "/out/beach.day.png";
  presenter->finish(ok);
  EXPECT_FALSE(QVSolvanePanels::isSavePanelShowed());
  EXPECT_EQ(response, QVModalResponseOK);
  EXPECT_EQ(url, "/out/beach.day.png");
  EXPECT_EQ(type, "public.png");
  EXPECT_EQ(depth, 16);
}

TEST_F(QVSolvanePanelsTest, ExportDialogForSeveralPhotosChoosesAFolder) {
  QVSolvanePanels::showExportDialogWithPaths({"/a.jpg", "/b.jpg"}, nullptr);
  ASSERT_EQ(presenter->shown.size(), 1u);
  const QVPanelSpec& spec = presenter->shown[0];
  EXPECT_EQ(spec.kind, QVPanelSpec::Kind::Open);
  EXPECT_EQ(spec.prompt, "Save");
  EXPECT_TRUE(spec.canChooseDirectories);
  EXPECT_FALSE(spec.canChooseFiles);
  EXPECT_FALSE(spec.allowsMultipleSelection);
  EXPECT_FALSE(spec.canSelectHiddenExtension);
  QVSolvanePanels::showExportDialogWithPaths({}, nullptr);
  EXPECT_EQ(presenter->shown[1].nameFieldStringValue, "Untitled");
  EXPECT_FALSE(QVSolvanePanels::isSavePanelShowed());
}

TEST_F(QVSolvanePanelsTest, ChoosePanelAnswersPathsOnOKAndNothingOtherwise) {
  QVPanelResult ok;
  ok.response = QVModalResponseOK;
  ok.paths = {"/p/1.jpg", "/p/2.dng"};
  presenter->script = {ok, QVPanelResult{}};
  std::vector<std::optional<std::vector<std::string>>> answers;
  auto collect = [&](const std::optional<std::vector<std::string>>& paths) { answers.push_back(paths); };
  QVSolvanePanels::showAndHandleChooseFilesPanelHandler(collect);
  QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(false, collect);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], ok.paths);
  EXPECT_FALSE(answers[1].has_value());
  EXPECT_TRUE(presenter->shown[0].allowsMultipleSelection);
  EXPECT_FALSE(presenter->shown[1].allowsMultipleSelection);
  EXPECT_FALSE(presenter->shown[0].canChooseDirectories);
  EXPECT_EQ(presenter->shown[0].allowedFileTypes, QVSolvanePanels::allowedFileTypes());
  EXPECT_FALSE(QVSolvanePanels::isOpenPanelShowed());
}

TEST_F(QVSolvanePanelsTest, OpenPanelFlagHoldsWhileThePanelShows) {
  presenter->holdOpen = true;
  QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(true, nullptr);
  EXPECT_TRUE(QVSolvanePanels::isOpenPanelShowed());
  presenter->finish({});
  EXPECT_FALSE(QVSolvanePanels::isOpenPanelShowed());
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// The folder chooser of a several-photo export answers the folder chosen in it (selected in the
// list or typed, as the dialog's selection), not the folder it was showing around it; with
// nothing selected, the folder shown is the one chosen.
TEST_F(QVSolvanePanelsTest, ExportFolderChooserAnswersTheChosenFolder) {
  const fs::path shown = fs::path(std::getenv("SOLVANE_HOME")) / "export folders";
  fs::create_directories(shown / "chosen");
  const struct {
    const char* what;
    std::string url;
    std::string expected;
  } cases[] = {
      {"a subfolder selected or typed", (shown / "chosen").string(), (shown / "chosen").string()},
      {"nothing selected", "", shown.string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QVPanelResult ok;
    ok.response = QVModalResponseOK;
    ok.url = c.url;
    if (!c.url.empty()) ok.paths = {c.url};
    ok.directoryURL = shown.string();
    presenter->script = {ok};
    std::string directory;
    QVSolvanePanels::showExportDialogWithPaths(
        {"/a.jpg", "/b.jpg"}, [&](int64_t, const std::string&, const std::string& d, const std::string&, int64_t,
                                  const qv::Dictionary&, int64_t) { directory = d; });
    EXPECT_EQ(directory, c.expected);
  }
}

// Every panel opens in the folder used last (the chosen folder, or the folder of the chosen file),
// else the Pictures folder, else the home folder: never in the folder the program started from.
TEST_F(QVSolvanePanelsTest, PanelsOpenInTheLastFolderElsePicturesElseHome) {
  const fs::path home = std::getenv("SOLVANE_HOME");
  const fs::path pictures = home / "Pictures";
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  defaults.removeObjectForKey(QVSolvanePanels::kLastDirectoryKey);
  fs::remove_all(pictures);
  auto shownIn = [&] {
    presenter->script = {QVPanelResult{}};
    QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(true, [](const auto&) {});
    return presenter->shown.back().directory;
  };
  EXPECT_EQ(shownIn(), home.string()) << "no Pictures folder: home";
  fs::create_directories(pictures);
  EXPECT_EQ(shownIn(), pictures.string());

  // A photo opened from a folder: the next panel, an export dialog too, starts there.
  const fs::path trip = home / "trip";
  fs::create_directories(trip / "out");
  QVPanelResult opened;
  opened.response = QVModalResponseOK;
  opened.paths = {(trip / "a.jpg").string()};
  opened.url = opened.paths[0];
  presenter->script = {opened};
  QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(true, [](const auto&) {});
  QVSolvanePanels::showExportDialogWithPaths({"/a.jpg", "/b.jpg"}, nullptr);
  EXPECT_EQ(presenter->shown.back().directory, trip.string());
  // The folder chosen for an export is the next start.
  QVPanelResult exported;
  exported.response = QVModalResponseOK;
  exported.url = (trip / "out").string();
  exported.directoryURL = trip.string();
  presenter->script = {exported};
  QVSolvanePanels::showExportDialogWithPaths({"/a.jpg", "/b.jpg"}, nullptr);
  EXPECT_EQ(shownIn(), (trip / "out").string());
  // A cancelled panel changes nothing; a last folder that is gone falls back to Pictures.
  EXPECT_EQ(shownIn(), (trip / "out").string());
  fs::remove_all(trip);
  EXPECT_EQ(shownIn(), pictures.string());
  defaults.removeObjectForKey(QVSolvanePanels::kLastDirectoryKey);
}

}  // namespace
