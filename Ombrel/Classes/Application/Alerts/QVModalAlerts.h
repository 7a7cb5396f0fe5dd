#pragma once
// Every modal alert of the application with its fixed texts (localisation keys), its buttons in
// order and the code each button answers: 0 cancel, 1 OK, 3 quit, 4 start over, 5 save first,
// 7 send more, 8 overwrite, 9 create new. Alerts that need the user's attention play the attention
// cue first. The alerts run through the installed runner (Qt's message box unless one was set).
//
// Main thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Alerts/QVAlert.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Error.h"

// The presenter the program installs for the application core's alerts (`QVSolvaneAlerts`).
class QVModalAlerts : public QVSolvaneAlertsPresenter {
 public:
  static void setRunner(std::shared_ptr<QVAlertRunner> runner);
  static std::shared_ptr<QVAlertRunner> runner();

  void showAllertNotSupportExtension(const std::string& extension) override;
  // "This file format is not supported", then each file by name with why it cannot be opened (the
  // first eight; how many more after them), then which files the program works with.
  void showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files) override;
  // One file's line of that alert: its name (a name that is not UTF-8 read as Latin-1) and reason.
  static std::string unopenableFileLine(const QVUnopenableFile& file);
  // The lines of the first eight files, how many more after them, and a blank line; nothing for none.
  static std::string unopenableFileLines(const std::vector<QVUnopenableFile>& files);
  // "Oh my, this picture is too small…", then each photo by name with its size (as above), then
  // the size the photos need.
  void showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files) override;
  void showAlertCompleteFields() override;
  void showAlertInvalidEmail() override;
  void showAlertNetworkError(const qv::Error& error) override;
  // NO only for "Cancel".
  bool showAlertOkCancelWithTitle(const std::string& title, const std::string& message) override;
  bool showAlertDeleteBatchPresetWithName(const std::string& name) override;
  void showAlertBatchPresetNotSavedWithName(const std::string& name) override;
  int64_t showAlertWantStartOver(bool quitButton, bool saveButton, bool cancelButton, size_t photoCount) override;
  // The save question's text: of the one photo, or of the photos when several are open.
  static std::string startOverSaveQuestion(size_t photoCount);
  int64_t showAlertFeedbackSent() override;
  // 8 "Overwrite" or 9 "Create New"; the "Apply to all" check box goes through `applyToAll`.
  int64_t showAlertRenameExportImage(const std::string& fileName, bool* applyToAll) override;
  // After the attention cue: "“a.jpg” could not be exported." or "N photos could not be
  // exported.", then one line per photo, "a.jpg: <reason>", and how many were written.
  void showAlertExportFailed(const std::vector<QVExportFailure>& failures, uint64_t exported) override;
  // After the attention cue: which program is missing and what to use instead.
  void showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what) override;

  // "Image cannot be saved" with "OK", after the attention cue (a plug-in result not written).
  // `reason`, when given, says why under the message.
  static void showAlertImageCannotBeSaved(const std::string& reason = {});

  // The support address named in the unsupported-format alert.
  static constexpr const char* kSupportEmail = "support@solvane.app";
};
