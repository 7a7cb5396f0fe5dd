#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/ExportOptions/QVExportOptionsView.h"
#include "Ombrel/Classes/Business/Batch/QVExportSettingsDatasourceManager.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/UserDefaults.h"
#include "tests/Ombrel/Classes/Application/ExportOptions/ExportOptionsTestSupport.h"

namespace {

class QVExportOptionsViewTest : public ::testing::Test {
 protected:
  void SetUp() override { forget(); }
  void TearDown() override {
    QVSolvanePanels::setPresenter(nullptr);
    QVSolvanePanels::setAccessoryMaker(nullptr);
    forget();
  }
  // No remembered type and no quality of any type.
  static void forget() {
    auto& defaults = qv::UserDefaults::standardUserDefaults();
    defaults.removeObjectForKey(kQVPreviousExportImageTypeKey);
    for (const auto& type : QVExportSettingsDatasourceManager::shared().saveTypes())
      defaults.removeObjectForKey(type.identifier);
  }
  static std::optional<std::string> storedType() {
    return qv::UserDefaults::standardUserDefaults().stringForKey(kQVPreviousExportImageTypeKey);
  }
  std::shared_ptr<QVExportOptionsView> make(const qv::Value& metadata = qv::Value(), int64_t colorSpace = 1,
                                            int64_t depth = 8) {
    return QVExportOptionsView::exportOptionsViewWithMetadata(metadata, colorSpace, depth, &settings);
  }
  // The export dialog held open by a script, its options views made here (the last one in `made`).
  std::shared_ptr<app_test::ScriptedPanelPresenter> installDialog() {
    auto presenter = std::make_shared<app_test::ScriptedPanelPresenter>();
    presenter->holdOpen = true;
    QVSolvanePanels::setPresenter(presenter);
    QVSolvanePanels::setAccessoryMaker([this](bool, int64_t colorSpace, int64_t depth) {
      auto view = make(qv::Value(), colorSpace, depth);
      made = view;
      return std::static_pointer_cast<QVExportOptionsAccessory>(view);
    });
    return presenter;
  }
  std::weak_ptr<QVExportOptionsView> made;
  static int indexOfType(const std::string& type) {
    return int(QVExportSettingsDatasourceManager::shared().indexOfSaveTypeWithIdentifier(type));
  }
  QVAppSettings settings;
};

double quality(const qv::Dictionary& properties) {
  return properties.at(kCGImageDestinationLossyCompressionQuality).asDouble(-1);
}
int64_t compression(const qv::Dictionary& properties) {
  return properties.at(kCGImagePropertyTIFFDictionary)[kCGImagePropertyTIFFCompression].asInt(-1);
}

TEST_F(QVExportOptionsViewTest, FirstExportOffersJpegWithItsQualityTab) {
  auto view = make();
  EXPECT_EQ(view->type(), kUTTypeJPEG);
  EXPECT_EQ(storedType(), kUTTypeJPEG);
  EXPECT_EQ(view->tabIndex(), 1);
  EXPECT_EQ(view->exportOptionsViewHeight(), 160);
  EXPECT_EQ(view->settingsBtnTopOffset(), -10);
  EXPECT_EQ(view->popUpButton()->indexOfSelectedItem(), indexOfType(kUTTypeJPEG));
  EXPECT_DOUBLE_EQ(view->imageCompressionQuality(), 0.85);
  EXPECT_EQ(std::round(view->qualitySlider()->value()), 85);
  const auto properties = view->imageProperties();
  EXPECT_DOUBLE_EQ(quality(properties), 0.85);
  EXPECT_EQ(compression(properties), 5);  // the compression pop-up's first choice, LZW
  EXPECT_EQ(properties.at(kCGImagePropertyDepth).asInt(), 8);
  EXPECT_EQ(view->colorSpace(), 1);
}

TEST_F(QVExportOptionsViewTest, TypeIsStoredAtOnceAndLaysOutItsTab) {
  auto view = make();
  struct Case {
    const char* type;
    int tab;
    double height, offset;
  } cases[] = {{kUTTypeTIFF, 2, 135, -34}, {kUTTypePNG, 0, 100, -70}, {kUTTypeJPEG2000, 1, 160, -10}};
  for (const auto& c : cases) {
    view->popUpButton()->chooseItemAtIndex(indexOfType(c.type));
    // Before the dialog closes: a cancelled dialog still changes the next default.
    EXPECT_EQ(storedType(), c.type);
    EXPECT_EQ(view->type(), c.type);
    EXPECT_EQ(view->tabIndex(), c.tab) << c.type;
    EXPECT_EQ(view->exportOptionsViewHeight(), c.height) << c.type;
    EXPECT_EQ(view->settingsBtnTopOffset(), c.offset) << c.type;
  }
  auto next = make();
  EXPECT_EQ(next->type(), kUTTypeJPEG2000);
}

TEST_F(QVExportOptionsViewTest, QualityIsStoredPerTypeAndWritten) {
  auto view = make();
  export_options_test::dragSliderTo(view->qualitySlider(), 60);
  EXPECT_DOUBLE_EQ(quality(view->imageProperties()), 0.6);
  EXPECT_DOUBLE_EQ(settings.exportCompressionQualityForImageType(kUTTypeJPEG).asDouble(), 0.6);
  // Another type has its own (here none: 0.85), shown and written.
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypeJPEG2000));
  EXPECT_EQ(std::round(view->qualitySlider()->value()), 85);
  EXPECT_DOUBLE_EQ(quality(view->imageProperties()), 0.85);
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypeJPEG));
  EXPECT_EQ(std::round(view->qualitySlider()->value()), 60);
  EXPECT_DOUBLE_EQ(make()->imageCompressionQuality(), 0.6);
}

TEST_F(QVExportOptionsViewTest, MetadataKeepsItsOwnCompressionUntilTheUserChooses) {
  qv::Dictionary tiff{{kCGImagePropertyTIFFCompression, qv::Value(32773)}, {"Make", qv::Value("Cam")}};
  qv::Dictionary metadata{{kCGImagePropertyTIFFDictionary, qv::Value(tiff)}, {"DPIWidth", qv::Value(300)}};
  auto view = make(qv::Value(metadata));
  auto properties = view->imageProperties();
  EXPECT_EQ(compression(properties), 32773);
  EXPECT_EQ(properties.at(kCGImagePropertyTIFFDictionary)["Make"].asString(), "Cam");
  EXPECT_EQ(properties.at("DPIWidth").asInt(), 300);
  view->compressionPopUpButton()->chooseItemAtIndex(0);
  EXPECT_EQ(compression(view->imageProperties()), 1);
}

TEST_F(QVExportOptionsViewTest, DepthAndColourSpaceAreReadOnEveryCall) {
  struct Case {
    int64_t colorSpaceIn, depthIn;
    int colorIndex;
    int64_t depth;
  } cases[] = {{3, 16, 2, 16}, {2, 8, 1, 8}, {7, 0, 0, 16}};
  // A type that holds 16 bits shows the depth given.
  qv::UserDefaults::standardUserDefaults().setObject(qv::Value(kUTTypeTIFF), kQVPreviousExportImageTypeKey);
  for (const auto& c : cases) {
    auto view = make(qv::Value(), c.colorSpaceIn, c.depthIn);
    EXPECT_EQ(view->colorSpacePopUpButton()->indexOfSelectedItem(), c.colorIndex);
    EXPECT_EQ(view->colorSpaceIndex(), c.colorIndex);
    EXPECT_EQ(view->depth(), c.depth);
    EXPECT_EQ(view->imageProperties().at(kCGImagePropertyDepth).asInt(), c.depth);
  }
  auto view = make();
  EXPECT_EQ(view->imageProperties().at(kCGImagePropertyDepth).asInt(), 8);
  view->depthPopUpButton()->chooseItemAtIndex(1);
  EXPECT_EQ(view->imageProperties().at(kCGImagePropertyDepth).asInt(), 16);
  view->colorSpacePopUpButton()->chooseItemAtIndex(2);
  EXPECT_EQ(view->colorSpace(), 3);
}

TEST_F(QVExportOptionsViewTest, AJPEGIsEightBitsAndTheSixteenBitChoiceWaitsForATypeThatHoldsIt) {
  auto view = make(qv::Value(), 1, 16);  // no remembered type: JPEG
  EXPECT_FALSE(view->depthPopUpButton()->isEnabled());
  EXPECT_EQ(view->depthPopUpButton()->indexOfSelectedItem(), 0);
  EXPECT_EQ(view->depth(), 8);
  EXPECT_EQ(view->imageProperties().at(kCGImagePropertyDepth).asInt(), 8);
  struct Case {
    const char* type;
    bool enabled;
    int64_t depth;
  } cases[] = {{kUTTypeTIFF, true, 16}, {kUTTypePNG, true, 16}, {kUTTypeJPEG, false, 8}, {kUTTypeTIFF, true, 16}};
  for (const auto& c : cases) {
    view->popUpButton()->chooseItemAtIndex(indexOfType(c.type));
    EXPECT_EQ(view->depthPopUpButton()->isEnabled(), c.enabled) << c.type;
    EXPECT_EQ(view->depthPopUpButton()->indexOfSelectedItem(), c.depth == 16 ? 1 : 0) << c.type;
    EXPECT_EQ(view->depth(), c.depth) << c.type;
  }
}

TEST_F(QVExportOptionsViewTest, AdvancedSettingsCallsTheDelegateThenCancelsTheDialog) {
  struct Delegate : QVExportOptionsViewDelegate {
    int calls = 0;
    bool dialogOpenAtCall = false;
    QDialog* dialog = nullptr;
    void advancedSettingsOptionDidSelect() override {
      ++calls;
      dialogOpenAtCall = dialog->isVisible();
    }
  } delegate;
  auto view = make();
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(view->view());
  delegate.dialog = &dialog;
  view->setDelegate(&delegate);
  int result = -1;
  QObject::connect(&dialog, &QDialog::finished, [&](int code) { result = code; });
  dialog.open();
  view->advancedSettingsBtnDidClick();
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_TRUE(delegate.dialogOpenAtCall);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
  view->setDelegate(nullptr);
}

// In Qt's own save dialog the view limits the dialog to the chosen type and renames the file
// typed so far, keeping dots of its own.
TEST_F(QVExportOptionsViewTest, TheSaveDialogOffersOnlyTheChosenType) {
  auto view = make();
  QVPanelSpec spec;
  spec.kind = QVPanelSpec::Kind::Save;
  spec.nameFieldStringValue = "beach.day";
  spec.accessoryView = view->view();
  QVFileDialogPanelPresenter presenter;
  int closed = 0;
  presenter.beginSheet(spec, nullptr, [&](const QVPanelResult& result) {
    ++closed;
    EXPECT_EQ(result.response, QVModalResponseCancel);
  });
  QFileDialog* dialog = view->panel();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("JPEG (*.jpeg)")});
  ASSERT_FALSE(dialog->selectedFiles().isEmpty());
  EXPECT_TRUE(dialog->selectedFiles().front().endsWith(QStringLiteral("/beach.day.jpeg")));
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypeTIFF));
  EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("TIFF (*.tiff)")});
  EXPECT_TRUE(dialog->selectedFiles().front().endsWith(QStringLiteral("/beach.day.tiff")));
  view->advancedSettingsBtnDidClick();
  EXPECT_EQ(closed, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(view->view(), nullptr);  // gone with the dialog; the choices stay readable
  EXPECT_EQ(view->type(), kUTTypeTIFF);
}

// A name typed with an extension a writer knows selects that type as it is typed, so the controls
// show what will be written (TIFF's compression and 16 bits; JPEG's 8); the name keeps the
// extension as typed, and a type chosen afterwards replaces it in any spelling.
TEST_F(QVExportOptionsViewTest, ATypedExtensionSelectsItsTypeAsItIsTyped) {
  auto view = make(qv::Value(), 1, 0);
  QVPanelSpec spec;
  spec.kind = QVPanelSpec::Kind::Save;
  spec.nameFieldStringValue = "beach";
  spec.accessoryView = view->view();
  QVFileDialogPanelPresenter presenter;
  presenter.beginSheet(spec, nullptr, [](const QVPanelResult&) {});
  QFileDialog* dialog = view->panel();
  ASSERT_NE(dialog, nullptr);
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  auto typeName = [&](const QString& name) {
    edit->clear();
    QTest::keyClicks(edit, name);
  };
  struct Case {
    const char* typed;
    const char* type;
    int64_t depth;
    int tab;
    const char* filter;
  } cases[] = {
      {"beach.tif", kUTTypeTIFF, 16, 2, "TIFF (*.tif *.tiff)"},
      {"beach.JPG", kUTTypeJPEG, 8, 1, "JPEG (*.JPG *.jpeg)"},
      {"beach.png", kUTTypePNG, 16, 0, "PNG (*.png)"},
      {"beach.jp2", kUTTypeJPEG2000, 16, 1, "JPEG 2000 (*.jp2)"},
      // An extension no writer knows changes nothing.
      {"beach.foo", kUTTypeJPEG2000, 16, 1, "JPEG 2000 (*.jp2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    typeName(QString::fromLatin1(c.typed));
    EXPECT_EQ(view->type(), c.type);
    EXPECT_EQ(view->popUpButton()->indexOfSelectedItem(), indexOfType(c.type));
    EXPECT_EQ(view->depth(), c.depth);
    EXPECT_EQ(view->depthPopUpButton()->isEnabled(), c.depth == 16);
    EXPECT_EQ(view->tabIndex(), c.tab);
    EXPECT_EQ(dialog->nameFilters(), QStringList{QString::fromLatin1(c.filter)});
    EXPECT_EQ(edit->text(), QString::fromLatin1(c.typed));
    EXPECT_EQ(storedType(), c.type);
  }
  // Chosen in the pop-up, a type replaces a known extension of another spelling.
  typeName(QStringLiteral("beach.tif"));
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypePNG));
  EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("PNG (*.png)")});
  EXPECT_TRUE(dialog->selectedFiles().front().endsWith(QStringLiteral("/beach.png")));
  dialog->reject();
}

// The dialog's answer with a name of another type (pasted past the field, or a type it does not
// follow live): the export reads that type, with its depth and quality.
TEST_F(QVExportOptionsViewTest, TheAnsweredNameDecidesTheType) {
  auto presenter = installDialog();
  settings.saveExportImageCompressionQuality(qv::Value(0.6), kUTTypeJPEG);
  std::string type;
  int64_t depth = 0;
  qv::Dictionary properties;
  auto shown = QVSolvanePanels::showExportDialogWithPaths(
      {"/photos/a.jpg"}, [&](int64_t, const std::string&, const std::string&, const std::string& t, int64_t d,
                             const qv::Dictionary& p, int64_t) {
        type = t;
        depth = d;
        properties = p;
      });
  auto view = made.lock();
  ASSERT_TRUE(view);
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypeTIFF));
  view->depthPopUpButton()->chooseItemAtIndex(1);
  QVPanelResult ok;
  ok.response = QVModalResponseOK;
  ok.url = "/exports/answer.jpg";
  presenter->finish(ok);
  EXPECT_EQ(type, kUTTypeJPEG);
  EXPECT_EQ(depth, 8);
  EXPECT_EQ(properties.at(kCGImagePropertyDepth).asInt(), 8);
  EXPECT_EQ(quality(properties), 0.6);
}

TEST_F(QVExportOptionsViewTest, TheExportDialogHandsTheChoicesOn) {
  auto presenter = installDialog();
  std::string type;
  int64_t depth = 0, colorSpace = 0;
  qv::Dictionary properties;
  auto shown = QVSolvanePanels::showExportDialogWithPaths(
      {"/photos/a.jpg"}, [&](int64_t, const std::string&, const std::string&, const std::string& t, int64_t d,
                             const qv::Dictionary& p, int64_t c) {
        type = t;
        depth = d;
        properties = p;
        colorSpace = c;
      });
  auto view = made.lock();
  ASSERT_TRUE(view);
  EXPECT_EQ(shown, view);
  EXPECT_EQ(presenter->shown.at(0).accessoryView, view->view());
  view->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypeTIFF));
  view->depthPopUpButton()->chooseItemAtIndex(1);
  view->colorSpacePopUpButton()->chooseItemAtIndex(1);
  QVPanelResult ok;
  ok.response = QVModalResponseOK;
  presenter->finish(ok);
  EXPECT_EQ(type, kUTTypeTIFF);
  EXPECT_EQ(depth, 16);
  EXPECT_EQ(colorSpace, 2);
  EXPECT_EQ(properties.at(kCGImagePropertyDepth).asInt(), 16);
}

// The export managers' dialog keeps the options view until the dialog answers, then lets it go.
TEST_F(QVExportOptionsViewTest, TheExportManagersDialogKeepsTheOptionsUntilItAnswers) {
  auto presenter = installDialog();
  std::string type;
  QVSolvanePanels::exportDialogPresenter()->showExportDialogWithPaths(
      {"/photos/a.jpg"}, [&](int64_t, const std::string&, const std::string&, const std::string& t, int64_t,
                             const qv::Dictionary&, int64_t) { type = t; });
  ASSERT_FALSE(made.expired());
  made.lock()->popUpButton()->chooseItemAtIndex(indexOfType(kUTTypePNG));
  presenter->finish(QVPanelResult{});
  EXPECT_EQ(type, kUTTypePNG);
  EXPECT_TRUE(made.expired());
}

}  // namespace
