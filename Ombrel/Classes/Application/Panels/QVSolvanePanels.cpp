#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "QVAppKit/QVDialogParent.h"
#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/FileAdditions.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/UserDefaults.h"

namespace {

struct Globals {
  std::shared_ptr<QVPanelPresenter> presenter;
  QVSolvanePanels::AccessoryMaker accessoryMaker;
  std::function<QWidget*()> mainWindow;
  std::function<void(QWidget*)> sheetPlacer;
  bool openPanelShowed = false;
  bool savePanelShowed = false;
};

Globals& globals() {
  static Globals g;
  return g;
}

// The window a panel comes over: the main window unless the user is in one that would cover it.
QWidget* mainWindow() { return QVWindowForDialog(globals().mainWindow ? globals().mainWindow() : nullptr); }

std::string L(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

}  // namespace

// ---- QVFileDialogPanelPresenter ----

void QVFileDialogPanelPresenter::beginSheet(const QVPanelSpec& spec, QWidget* window,
                                            std::function<void(const QVPanelResult&)> completion) {
  auto* dialog = new QFileDialog(window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
  // Qt's own dialog: it can carry the accessory view and looks the same on every desktop.
  dialog->setOption(QFileDialog::DontUseNativeDialog, spec.accessoryView != nullptr);
  if (spec.kind == QVPanelSpec::Kind::Save) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
  } else {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (spec.canChooseDirectories && !spec.canChooseFiles) {
      dialog->setFileMode(QFileDialog::Directory);
      dialog->setOption(QFileDialog::ShowDirsOnly, true);
    } else {
      dialog->setFileMode(spec.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
  }
  dialog->setOption(QFileDialog::ReadOnly, !spec.canCreateDirectories);
  if (!spec.directory.empty()) dialog->setDirectory(QString::fromStdString(spec.directory));
  if (spec.kind == QVPanelSpec::Kind::Save) dialog->selectFile(QString::fromStdString(spec.nameFieldStringValue));
  if (!spec.prompt.empty()) dialog->setLabelText(QFileDialog::Accept, QString::fromStdString(spec.prompt));
  if (!spec.allowedFileTypes.empty()) {
    QStringList patterns;
    for (const auto& type : spec.allowedFileTypes) patterns << QStringLiteral("*.") + QString::fromStdString(type);
    dialog->setNameFilters({QString::fromStdString(L("Images")) + QStringLiteral(" (") + patterns.join(' ') + ')',
                            QString::fromStdString(L("All Files")) + QStringLiteral(" (*)")});
  }
  if (spec.accessoryView) {
    if (auto* grid = dynamic_cast<QGridLayout*>(dialog->layout())) {
      grid->addWidget(spec.accessoryView, grid->rowCount(), 0, 1, grid->columnCount());
    }
  }
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog, completion](int code) {
    QVPanelResult result;
    result.response = code == QDialog::Accepted ? QVModalResponseOK : QVModalResponseCancel;
    // As URLs: a portal's dialog hands the names over byte for byte that way.
    for (const QUrl& file : dialog->selectedUrls()) {
      if (file.isLocalFile()) result.paths.push_back(QVPathFromFileURL(file));
    }
    if (!result.paths.empty()) result.url = result.paths.front();
    result.directoryURL = QVPathFromQt(dialog->directory().absolutePath());
    if (completion) completion(result);
  });
  if (window) {
    dialog->adjustSize();
    QVSolvanePanels::placeSheet(dialog);
  }
  dialog->open();
}

// ---- QVSolvanePanels ----

void QVSolvanePanels::setPresenter(std::shared_ptr<QVPanelPresenter> presenter) {
  globals().presenter = std::move(presenter);
}

std::shared_ptr<QVPanelPresenter> QVSolvanePanels::presenter() {
  if (!globals().presenter) globals().presenter = std::make_shared<QVFileDialogPanelPresenter>();
  return globals().presenter;
}

void QVSolvanePanels::setAccessoryMaker(AccessoryMaker maker) { globals().accessoryMaker = std::move(maker); }
void QVSolvanePanels::setMainWindowProvider(std::function<QWidget*()> provider) {
  globals().mainWindow = std::move(provider);
}
void QVSolvanePanels::setSheetPlacer(std::function<void(QWidget*)> placer) {
  globals().sheetPlacer = std::move(placer);
}
void QVSolvanePanels::placeSheet(QWidget* panel) {
  if (globals().sheetPlacer && panel) globals().sheetPlacer(panel);
}
bool QVSolvanePanels::isOpenPanelShowed() { return globals().openPanelShowed; }
bool QVSolvanePanels::isSavePanelShowed() { return globals().savePanelShowed; }

std::vector<std::string> QVSolvanePanels::allowedFileTypes() {
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (std::string type : qv::allBundleTypes()) {
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (seen.insert(type).second) out.push_back(type);
  }
  return out;
}

std::string QVSolvanePanels::startDirectory() {
  auto isFolder = [](const std::string& path) {
    return !path.empty() && QFileInfo(QString::fromStdString(path)).isDir();
  };
  if (auto last = qv::UserDefaults::standardUserDefaults().stringForKey(kLastDirectoryKey); last && isFolder(*last))
    return *last;
  // SOLVANE_HOME stands for the home folder (tests, a moved profile).
  if (const char* home = std::getenv("SOLVANE_HOME"); home && *home) {
    const std::string pictures = std::string(home) + "/Pictures";
    return isFolder(pictures) ? pictures : std::string(home);
  }
  // XDG_PICTURES_DIR of the user's folders (~/Pictures unless set otherwise).
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (isFolder(pictures.toStdString())) return pictures.toStdString();
  return QDir::homePath().toStdString();
}

void QVSolvanePanels::rememberDirectory(const QVPanelResult& result, bool choseFolder) {
  if (result.response != QVModalResponseOK) return;
  std::string folder;
  if (!result.url.empty()) {
    const QFileInfo chosen(QString::fromStdString(result.url));
    folder = (choseFolder && chosen.isDir() ? chosen.absoluteFilePath() : chosen.absolutePath()).toStdString();
  } else {
    folder = result.directoryURL;
  }
  if (!folder.empty()) qv::UserDefaults::standardUserDefaults().setObject(qv::Value(folder), kLastDirectoryKey);
}

std::shared_ptr<QVExportOptionsAccessory> QVSolvanePanels::showExportDialogWithPaths(
    const std::vector<std::string>& paths, ExportCompletion completion) {
  QVPanelSpec spec;
  spec.canCreateDirectories = true;
  if (paths.size() <= 1) {
    spec.kind = QVPanelSpec::Kind::Save;
    spec.nameFieldStringValue = paths.empty()
                                    ? L("Untitled")
                                    : QFileInfo(QString::fromStdString(paths.back())).completeBaseName().toStdString();
  } else {
    spec.kind = QVPanelSpec::Kind::Open;
    spec.canChooseFiles = false;
    spec.canChooseDirectories = true;
    spec.allowsMultipleSelection = false;
    spec.prompt = L("Save");
  }
  std::shared_ptr<QVExportOptionsAccessory> options;
  if (globals().accessoryMaker) options = globals().accessoryMaker(false, 1, 0);
  if (options) spec.accessoryView = options->view();
  if (paths.size() > 1) spec.canSelectHiddenExtension = false;
  spec.directory = startDirectory();
  globals().savePanelShowed = true;
  std::weak_ptr<QVExportOptionsAccessory> weakOptions = options;
  const bool choosesFolder = spec.kind == QVPanelSpec::Kind::Open;
  presenter()->beginSheet(spec, mainWindow(), [completion, weakOptions, choosesFolder](const QVPanelResult& result) {
    globals().savePanelShowed = false;
    rememberDirectory(result, choosesFolder);
    if (!completion) return;
    // The folder chooser's answer is the folder chosen in it (selected or typed); the folder it
    // was showing is only its parent then.
    std::string directory = result.directoryURL;
    if (choosesFolder && !result.url.empty() && QFileInfo(QString::fromStdString(result.url)).isDir())
      directory = QFileInfo(QString::fromStdString(result.url)).absoluteFilePath().toStdString();
    auto view = weakOptions.lock();
    if (view && !choosesFolder && result.response == QVModalResponseOK) view->followTypeOfFileName(result.url);
    completion(result.response, result.url, directory, view ? view->type() : std::string(), view ? view->depth() : 0,
               view ? view->imageProperties() : qv::Dictionary{}, view ? view->colorSpace() : 0);
  });
  return options;
}

std::shared_ptr<QVExportDialogPresenter> QVSolvanePanels::exportDialogPresenter() {
  // Passes the options view's request on while the delegate lives.
  struct Forwarder : QVExportOptionsViewDelegate {
    std::weak_ptr<QVExportOptionsViewDelegate> target;
    void advancedSettingsOptionDidSelect() override {
      if (auto delegate = target.lock()) delegate->advancedSettingsOptionDidSelect();
    }
  };
  struct Presenter : QVExportDialogPresenter {
    void showExportDialogWithPaths(const std::vector<std::string>& paths, Completion completion) override {
      // The options view and its forwarder live until the dialog answers (the dialog only shows
      // the view's widget).
      auto options = std::make_shared<std::shared_ptr<QVExportOptionsAccessory>>();
      auto forwarder = std::make_shared<Forwarder>();
      forwarder->target = optionsDelegate();
      *options = QVSolvanePanels::showExportDialogWithPaths(
          paths,
          [options, forwarder, completion](int64_t response, const std::string& url, const std::string& directoryURL,
                                           const std::string& fileType, int64_t depth,
                                           const qv::Dictionary& imageProperties, int64_t colorSpace) {
            if (completion) completion(response, url, directoryURL, fileType, depth, imageProperties, colorSpace);
            options->reset();
          });
      if (*options) (*options)->setOptionsDelegate(forwarder.get());
    }
  };
  return std::make_shared<Presenter>();
}

void QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(bool multiple, ChooseCompletion completion) {
  showChooseFilesPanelWithMultipleFiles(multiple, false, true, std::move(completion));
}

void QVSolvanePanels::showChooseFilesPanelWithMultipleFiles(bool multiple, bool chooseDirectories, bool chooseFiles,
                                                            ChooseCompletion completion) {
  QVPanelSpec spec;
  spec.kind = QVPanelSpec::Kind::Open;
  spec.allowsMultipleSelection = multiple;
  spec.canChooseDirectories = chooseDirectories;
  spec.canChooseFiles = chooseFiles;
  spec.allowedFileTypes = allowedFileTypes();
  spec.directory = startDirectory();
  globals().openPanelShowed = true;
  const bool choosesFolder = chooseDirectories && !chooseFiles;
  presenter()->beginSheet(spec, mainWindow(), [completion, choosesFolder](const QVPanelResult& result) {
    globals().openPanelShowed = false;
    rememberDirectory(result, choosesFolder);
    if (!completion) return;
    if (result.response == QVModalResponseOK) {
      completion(result.paths);
    } else {
      completion(std::nullopt);
    }
  });
}

void QVSolvanePanels::showAndHandleChooseFilesPanelHandler(ChooseCompletion completion) {
  showChooseFilesPanelWithMultipleFiles(true, std::move(completion));
}
