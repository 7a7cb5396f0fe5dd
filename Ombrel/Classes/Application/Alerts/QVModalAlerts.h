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

#include "Ombrel/Classes/Application/Alerts/QVAlert.h"
#include "QVPlatform/Error.h"

class QVModalAlerts {
 public:
  static void setRunner(std::shared_ptr<QVAlertRunner> runner);
  static std::shared_ptr<QVAlertRunner> runner();

  static void showAllertNotSupportExtension(const std::string& extension);
  static void showAlertSourceNotAvailable();
  static void showAlertLessThanMinimumSize();
  static void showAlertCompleteFields();
  static void showAlertInvalidEmail();
  static void showAlertNetworkError(const qv::Error& error);
  // NO only for "Cancel".
  static bool showAlertOkCancelWithTitle(const std::string& title, const std::string& message);
  static bool showAlertDeleteBatchPresetWithName(const std::string& name);
  static int64_t showAlertWantStartOverWithQuitButton(bool quitButton, bool saveButton, bool cancelButton);
  static int64_t showAlertFeedbackSent();
  // 8 "Overwrite" or 9 "Create New"; the "Apply to all" check box goes through `applyToAll`.
  static int64_t showAlertRenameExportImage(const std::string& fileName, bool* applyToAll);

  // The support address named in the unsupported-format alert.
  static constexpr const char* kSupportEmail = "support@solvane.app";
};
