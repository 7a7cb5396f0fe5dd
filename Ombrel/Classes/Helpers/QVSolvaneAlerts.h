#pragma once
// Every modal alert of the application, with fixed texts and buttons, answering what the user
// chose. The application core only calls them; the interface layer installs the presenter that
// shows them (`setPresenter`), and tests install one that records the calls and scripts answers.
// Without a presenter an alert is logged and answers its default (OK, or "Overwrite" for a name
// collision).
//
// Alerts run on the main thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Helpers/QVImageHelpers.h"
#include "QVPlatform/Error.h"

// The code of each choice, shared by the alerts.
enum QVAlertResult : int64_t {
  QVAlertResultCancel = 0,
  QVAlertResultOK = 1,
  QVAlertResultQuit = 3,
  QVAlertResultStartOver = 4,
  QVAlertResultSaveFirst = 5,
  QVAlertResultSendMore = 7,
  QVAlertResultOverwrite = 8,
  QVAlertResultCreateNew = 9,
};

// The desktop programs the application hands things to.
enum class QVDesktopProgram { WebBrowser, MailProgram, FileManager };

// A photo an export could not write, and why.
struct QVExportFailure {
  std::string sourcePath;
  std::string reason;
  bool operator==(const QVExportFailure&) const = default;
};

// What shows the alerts. Each method has the alert's arguments and answers its result.
class QVSolvaneAlertsPresenter {
 public:
  virtual ~QVSolvaneAlertsPresenter() = default;
  virtual void showAllertNotSupportExtension(const std::string& extension) = 0;
  // Files the engine's reader cannot open, each with its reason, in the order they were given.
  virtual void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files) = 0;
  // Photos smaller than the enhancement needs, each with its size, in the order they were given.
  virtual void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files) = 0;
  virtual void showAlertCompleteFields() {}
  virtual void showAlertInvalidEmail() {}
  virtual void showAlertNetworkError(const qv::Error&) {}
  virtual bool showAlertOkCancelWithTitle(const std::string&, const std::string&) { return true; }
  virtual bool showAlertDeleteBatchPresetWithName(const std::string&) { return true; }
  virtual void showAlertBatchPresetNotSavedWithName(const std::string&) {}
  // `photoCount`: how many photos are open (the save question speaks of one photo or of several).
  virtual int64_t showAlertWantStartOver(bool /*quitButton*/, bool /*saveButton*/, bool /*cancelButton*/,
                                         size_t /*photoCount*/) {
    return QVAlertResultStartOver;
  }
  virtual int64_t showAlertFeedbackSent() { return QVAlertResultOK; }
  virtual int64_t showAlertRenameExportImage(const std::string& /*fileName*/, bool* /*applyToAll*/) {
    return QVAlertResultOverwrite;
  }
  virtual void showAlertExportFailed(const std::vector<QVExportFailure>& /*failures*/, uint64_t /*exported*/) {}
  virtual void showAlertNoProgramToOpen(QVDesktopProgram /*program*/, const std::string& /*what*/) {}
};

class QVSolvaneAlerts {
 public:
  // Installs the presenter for the whole process (nullptr: log only). Kept alive while installed.
  static void setPresenter(std::shared_ptr<QVSolvaneAlertsPresenter> presenter);
  static std::shared_ptr<QVSolvaneAlertsPresenter> presenter();

  static void showAllertNotSupportExtension(const std::string& extension);
  static void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files);
  static void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files);
  static void showAlertCompleteFields();
  static void showAlertInvalidEmail();
  static void showAlertNetworkError(const qv::Error& error);
  static bool showAlertOkCancelWithTitle(const std::string& title, const std::string& message);
  static bool showAlertDeleteBatchPresetWithName(const std::string& name);
  // A batch preset could not be written to its file.
  static void showAlertBatchPresetNotSavedWithName(const std::string& name);
  static int64_t showAlertWantStartOverWithQuitButton(bool quitButton, bool saveButton, bool cancelButton,
                                                      size_t photoCount = 1);
  static int64_t showAlertFeedbackSent();
  static int64_t showAlertRenameExportImage(const std::string& fileName, bool* applyToAll);
  // Names every photo of an export that could not be written, with its reason; `exported` photos
  // were written.
  static void showAlertExportFailed(const std::vector<QVExportFailure>& failures, uint64_t exported);
  // No program of the desktop took what was handed to it: `what` is what the user can use instead
  // (the web address for a browser, the message for a mail program, the folder for a file manager).
  static void showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what);
};
