#pragma once
// The application's file panels: the export destination dialog (a save panel for one photo, a
// folder chooser for several) with the export options as its accessory view, and the file chooser.
// Panels run as window-modal sheets on the main window (on the quick preview when the user is in it,
// see QVWindowForDialog) and answer through a completion; what shows
// them is a `QVPanelPresenter` (Qt's file dialog unless one was set), so tests script the answers.
// Two flags tell whether a panel of each kind is on screen.
//
// Every panel opens in the folder last used in one (kept in the user defaults), else the user's
// Pictures folder (XDG), else the home folder; never in the folder the program was started from.
// The export dialog's folder chooser answers the folder the user chose (selected in the list or
// typed), not the folder the dialog was showing around it.
//
// Main thread only.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ExportManager/QVExportManagable.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "QVPlatform/Value.h"

enum QVModalResponse : int64_t { QVModalResponseCancel = 0, QVModalResponseOK = 1 };

struct QVPanelSpec {
  enum class Kind { Save, Open };
  Kind kind = Kind::Open;
  bool canCreateDirectories = false;
  bool canChooseFiles = true;
  bool canChooseDirectories = false;
  bool allowsMultipleSelection = false;
  bool canSelectHiddenExtension = true;
  std::string nameFieldStringValue;           // save panels
  std::string prompt;                         // the OK button's title; empty for the default
  std::vector<std::string> allowedFileTypes;  // lower-case extensions; empty allows all
  std::string directory;                      // the folder shown first; empty: the presenter's choice
  QPointer<QWidget> accessoryView;            // shown below the file list, not owned
};

struct QVPanelResult {
  int64_t response = QVModalResponseCancel;
  std::vector<std::string> paths;  // open panels: the chosen paths in order
  std::string url;                 // save panels: the chosen path; open panels: the first path
  std::string directoryURL;        // the folder the panel showed last
};

class QVPanelPresenter {
 public:
  virtual ~QVPanelPresenter() = default;
  // Shows the panel as a sheet on the window (or free-standing without one) and calls the
  // completion once, on the main thread, when it closes.
  virtual void beginSheet(const QVPanelSpec& spec, QWidget* window,
                          std::function<void(const QVPanelResult&)> completion) = 0;
};

// Qt's own file dialog.
class QVFileDialogPanelPresenter : public QVPanelPresenter {
 public:
  void beginSheet(const QVPanelSpec& spec, QWidget* window,
                  std::function<void(const QVPanelResult&)> completion) override;
};

// The options view the export dialog carries (export options, made by the export screens).
class QVExportOptionsAccessory {
 public:
  virtual ~QVExportOptionsAccessory() = default;
  virtual QWidget* view() = 0;
  virtual std::string type() const = 0;  // the image type string
  virtual int64_t depth() const = 0;
  virtual qv::Dictionary imageProperties() const = 0;
  // The colour space the picture is rendered in: 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB.
  virtual int64_t colorSpace() const { return 1; }
  // Told when the user asks for the advanced (preset) settings; not owned.
  virtual void setOptionsDelegate(QVExportOptionsViewDelegate*) {}
  // The save dialog's answer, before the export reads the choices: a name whose extension asks for
  // another type than the one chosen is written as that type (QVExportFileTypes::saveTargetForName),
  // so the options become that type's (its depth, compression and quality).
  virtual void followTypeOfFileName(const std::string&) {}
};

class QVSolvanePanels {
 public:
  // (response, URL, directory URL, file type, depth, image properties, colour space)
  using ExportCompletion = std::function<void(int64_t response, const std::string& url, const std::string& directoryURL,
                                              const std::string& fileType, int64_t depth,
                                              const qv::Dictionary& imageProperties, int64_t colorSpace)>;
  using ChooseCompletion = std::function<void(const std::optional<std::vector<std::string>>& paths)>;
  // Makes the export options view for (metadata, colour space, depth); nullptr when none.
  using AccessoryMaker =
      std::function<std::shared_ptr<QVExportOptionsAccessory>(bool metadata, int64_t colorSpace, int64_t depth)>;

  static void setPresenter(std::shared_ptr<QVPanelPresenter> presenter);
  static std::shared_ptr<QVPanelPresenter> presenter();
  static void setAccessoryMaker(AccessoryMaker maker);
  // The main window: sheets attach to it unless a window of ours would cover them.
  static void setMainWindowProvider(std::function<QWidget*()> provider);
  // Places a panel shown as a sheet on the main window before it opens (none: Qt's placement).
  static void setSheetPlacer(std::function<void(QWidget* panel)> placer);
  static void placeSheet(QWidget* panel);

  // Returns the options view at once (nullptr without a maker).
  static std::shared_ptr<QVExportOptionsAccessory> showExportDialogWithPaths(const std::vector<std::string>& paths,
                                                                             ExportCompletion completion);
  static void showChooseFilesPanelWithMultipleFiles(bool multiple, ChooseCompletion completion);
  static void showChooseFilesPanelWithMultipleFiles(bool multiple, bool chooseDirectories, bool chooseFiles,
                                                    ChooseCompletion completion);
  static void showAndHandleChooseFilesPanelHandler(ChooseCompletion completion);

  // The export managers' destination dialog: this export dialog.
  static std::shared_ptr<QVExportDialogPresenter> exportDialogPresenter();

  static bool isOpenPanelShowed();
  static bool isSavePanelShowed();
  // The extensions the application opens (the document types of the bundle), lower case.
  static std::vector<std::string> allowedFileTypes();

  // The folder the next panel opens in (see above), and the one to remember after a panel's OK:
  // the chosen folder, or the folder of the chosen file.
  static std::string startDirectory();
  static void rememberDirectory(const QVPanelResult& result, bool choseFolder);
  // The user defaults key of the last folder.
  static constexpr const char* kLastDirectoryKey = "QVLastPanelDirectory";
};
