#include <gtest/gtest.h>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"

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
