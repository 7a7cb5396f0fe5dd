// Shows the batch settings editors and the export dialog's options view, for looking at them and
// for screenshots:
//   solvane-export-options --editors FILE.png     the four editors for a JPEG and a TIFF preset
//   solvane-export-options --dialog FILE.png [--type public.tiff]
//                                                 the export dialog carrying the options view
//   solvane-export-options --window FILE.png [--naming] [PHOTO...]
//                                                 the export options window over the main window
//                                                 (with --naming: a user preset being named;
//                                                 --refused: a name refused)
// Without a file the window stays open. Run under QT_SCALE_FACTOR=2 for 2x pictures.
#include <QApplication>
#include <QFileDialog>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/ExportOptions/QVBatchFormatViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchNamingViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchPresetUISamples.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchResizeViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSavingViewController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVBatchSettingsWindowController.h"
#include "Ombrel/Classes/Application/ExportOptions/QVExportOptionsView.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Business/Batch/QVBatchNamingUIDatasource.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/UserDefaults.h"
#include "tools/common/ToolMainWindow.h"

namespace {

// A settings pane: a dark card holding the four editors under their section titles.
class Pane : public QWidget {
 public:
  explicit Pane(const std::string& title, QWidget* parent) : QWidget(parent), title_(title) {}
  void addSection(const std::string& title, QVBatchPresetSectionViewController* editor) {
    sections_.push_back({title, editor});
    editor->view()->setParent(this);
    editor->view()->show();
  }
  void layoutSections() {
    // The height first: toolkit views keep their place from the bottom of their superview.
    int y = 48;
    for (auto& section : sections_) {
      section.top = y;
      y += 22 + section.editor->preferredSize().height() + 22;
    }
    setFixedHeight(y + 4);
    for (auto& section : sections_)
      QVBatchPresetSectionViewController::place(
          section.editor->view(), QRectF(24, section.top + 22, width() - 48, section.editor->preferredSize().height()));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(card, QVUIStyle::darkColor());
    painter.setPen(QPen(QColor(255, 255, 255, 20), 1));
    painter.drawPath(card);
    const auto style = QVUIStyle::batchSettingsStyle();
    QFont heading = QVFonts::fontWithName("SFProDisplay-Semibold", 14);
    painter.setFont(heading);
    painter.setPen(QColor(236, 237, 240));
    painter.drawText(QRectF(24, 14, width() - 48, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(title_));
    painter.setFont(QVFonts::fontWithName("SF Pro Display", 10));
    painter.setPen(style->labelColor);
    for (const auto& section : sections_) {
      painter.drawText(QRectF(24, section.top, width() - 48, 16), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(QVBatchLocalizedUpper(section.title)));
      if (&section != &sections_.front()) {
        painter.setPen(QColor(255, 255, 255, 14));
        painter.drawLine(QPointF(24, section.top - 10.5), QPointF(width() - 24, section.top - 10.5));
        painter.setPen(style->labelColor);
      }
    }
  }

 private:
  struct Section {
    std::string title;
    QVBatchPresetSectionViewController* editor;
    int top = 0;
  };
  std::string title_;
  std::vector<Section> sections_;
};

struct Editors {
  QVBatchSavingViewController saving;
  QVBatchNamingViewController naming;
  QVBatchFormatViewController format;
  QVBatchResizeViewController resize;
};

std::shared_ptr<QVBatchPreset> shippedPreset(const std::string& name) {
  const std::string path = qv::Bundle::mainBundle().pathForResource(name, "plist", "BatchPresets");
  auto preset = QVBatchPresetManager::loadBatchPresetAtPath(path);
  if (!preset) std::fprintf(stderr, "no preset \"%s\" in the resources\n", name.c_str());
  return preset;
}

void show(Editors& editors, Pane* pane, const std::shared_ptr<QVBatchPreset>& preset, int segment) {
  pane->addSection("Saving", &editors.saving);
  pane->addSection("Naming", &editors.naming);
  pane->addSection("Format", &editors.format);
  pane->addSection("Resize", &editors.resize);
  if (!preset) return;
  editors.saving.setPresetSetting(preset->saving());
  editors.naming.namingSegmentedControl()->setSelectedSegment(segment);
  editors.naming.setPresetSetting(preset->naming());
  editors.format.setPresetSetting(preset->format());
  editors.resize.setPresetSetting(preset->resizing());
}

bool save(QWidget* widget, const char* file) {
  QApplication::processEvents();
  const QPixmap picture = widget->grab();
  if (!picture.save(QString::fromUtf8(file))) {
    std::fprintf(stderr, "could not write %s\n", file);
    return false;
  }
  std::printf("%s: %dx%d px (ratio %.0f)\n", file, picture.width(), picture.height(), picture.devicePixelRatio());
  return true;
}

int runEditors(QApplication& app, const char* file) {
  auto* window = new QWidget();
  window->setWindowTitle("Batch settings");
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, QVUIStyle::themeBGColor());
  window->setPalette(palette);
  window->setAutoFillBackground(true);

  auto jpeg = shippedPreset("JPEG Long Edge 2048");
  if (jpeg) {
    // A naming that shows a value editor and the sample at work.
    jpeg->naming()->setPrefix(std::make_shared<QVBatchName>(kQVBatchNameTypeCustomText, "trip"));
    jpeg->naming()->setSuffix(std::make_shared<QVBatchName>(kQVBatchNameTypeCounter, "1"));
    jpeg->naming()->setCapitalization(std::make_shared<QVBatchName>(kQVBatchCapitalizationUpper, ""));
    jpeg->saving()->setPath(std::string("/home/me/Pictures/Exports"));
  }
  auto tiff = shippedPreset("TIFF 16-bit LZW");
  if (tiff) {
    tiff->naming()->setSuffix(std::make_shared<QVBatchName>(kQVBatchNameTypeTimestamp, "dd_MM_yyyy"));
    tiff->resizing()->setType(3);
    tiff->resizing()->setValue(std::string("1920x1080"));
  }
  Editors left, right;  // they take their views along when this returns
  auto* leftPane = new Pane("JPEG Long Edge 2048", window);
  auto* rightPane = new Pane("TIFF 16-bit LZW", window);
  leftPane->setGeometry(24, 24, 408, 100);
  rightPane->setGeometry(24 + 408 + 24, 24, 408, 100);
  show(left, leftPane, jpeg, 0);
  show(right, rightPane, tiff, 2);
  leftPane->layoutSections();
  rightPane->layoutSections();
  window->resize(24 + 408 + 24 + 408 + 24, std::max(leftPane->height(), rightPane->height()) + 48);
  window->show();
  const int status = file ? (save(window, file) ? 0 : 1) : app.exec();
  delete window;
  return status;
}

int runDialog(QApplication& app, const char* file, const std::string& type) {
  if (!type.empty()) qv::UserDefaults::standardUserDefaults().setObject(qv::Value(type), kQVPreviousExportImageTypeKey);
  static QVAppSettings settings;
  auto options = QVExportOptionsView::exportOptionsViewWithMetadata(qv::Value(), 2, 8, &settings);
  QVPanelSpec spec;
  spec.kind = QVPanelSpec::Kind::Save;
  spec.canCreateDirectories = true;
  spec.nameFieldStringValue = "Lake at dawn";
  spec.accessoryView = options->view();
  QVFileDialogPanelPresenter presenter;
  presenter.beginSheet(spec, nullptr, [&app](const QVPanelResult&) {
    if (!QApplication::activeModalWidget()) app.quit();
  });
  QFileDialog* dialog = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<QFileDialog*>(top)) dialog = found;
  if (!dialog) return 1;
  dialog->resize(860, 620);
  if (!file) return app.exec();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  return save(dialog, file) ? 0 : 1;
}

int runWindow(QApplication& app, const char* file, bool naming, bool refused, const std::vector<std::string>& photos) {
  auto main = solvane_tools::showMainWindow(photos);
  // A user preset of the user's own beside the shipped ones.
  auto store = QVAppLink::batchPresetManager();
  if (store && store->presetsWithType(kQVBatchPresetTypeUser).empty()) {
    if (auto jpeg = shippedPreset("JPEG Long Edge 2048")) {
      auto web = jpeg->copy();
      web->setName("Web Gallery");
      store->savePreset(web);
    }
  }
  if (store) {
    store->setSelectedPresetUUID(std::nullopt);
    store->setInterimPreset(nullptr);
  }
  std::shared_ptr<QVBatchSettingsWindowController> window;
  QTimer::singleShot(1200, [&] {
    window = QVBatchSettingsWindowController::make();
    window->showWithCompletion([&app](std::shared_ptr<QVBatchPreset>) {
      if (!QApplication::activeModalWidget()) app.quit();
    });
  });
  if (naming) {
    QTimer::singleShot(1800, [&] {
      auto* selector = window->selectorViewController();
      selector->saveClicked();
      if (auto* editor = selector->nameEditor()) {
        editor->setText(refused ? "Web Gallery" : "Holiday prints");
        // A name another user preset has: refused, the reason below the lists.
        if (refused) selector->endNaming();
      }
    });
  }
  int status = 0;
  if (file) {
    QTimer::singleShot(2800, [&] {
      status = solvane_tools::saveScreenAround({main->window(), window->window()}, file) ? 0 : 1;
      app.exit(status);
    });
  }
  app.exec();
  window.reset();
  main.reset();
  QVMainExecutorBridge::uninstall();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QVFonts::loadOnce();
  QVUIStyle::applyToApplication(app);
  const char* editors = nullptr;
  const char* dialog = nullptr;
  const char* windowFile = nullptr;
  bool showEditors = false, showDialog = false, showWindow = false, naming = false, refused = false;
  std::string type;
  std::vector<std::string> photos;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--editors")) {
      showEditors = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') editors = argv[++i];
    } else if (!std::strcmp(argv[i], "--dialog")) {
      showDialog = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') dialog = argv[++i];
    } else if (!std::strcmp(argv[i], "--type") && i + 1 < argc) {
      type = argv[++i];
    } else if (!std::strcmp(argv[i], "--window")) {
      showWindow = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') windowFile = argv[++i];
    } else if (!std::strcmp(argv[i], "--naming")) {
      naming = true;
    } else if (!std::strcmp(argv[i], "--refused")) {
      naming = refused = true;
    } else if (argv[i][0] != '-') {
      photos.push_back(argv[i]);
    }
  }
  if (showWindow) return runWindow(app, windowFile, naming, refused, photos);
  if (showDialog) return runDialog(app, dialog, type);
  if (showEditors || argc == 1) return runEditors(app, editors);
  std::fprintf(stderr,
               "usage: %s [--editors [FILE.png]] [--dialog [FILE.png] [--type UTI]] [--window [FILE.png] [--naming] "
               "[PHOTO...]]\n",
               argv[0]);
  return 2;
}
