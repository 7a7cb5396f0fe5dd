#pragma once
// Shows the application core's alerts (QVSolvaneAlerts) as the application's modal alerts.
// Installed at start-up; main thread only.
#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"

class QVModalAlertsPresenter : public QVSolvaneAlertsPresenter {
 public:
  void showAllertNotSupportExtension(const std::string& extension) override {
    QVModalAlerts::showAllertNotSupportExtension(extension);
  }
  void showAlertSourceNotAvailable() override { QVModalAlerts::showAlertSourceNotAvailable(); }
  void showAlertLessThanMinimumSize() override { QVModalAlerts::showAlertLessThanMinimumSize(); }
  void showAlertCompleteFields() override { QVModalAlerts::showAlertCompleteFields(); }
  void showAlertInvalidEmail() override { QVModalAlerts::showAlertInvalidEmail(); }
  void showAlertNetworkError(const qv::Error& error) override { QVModalAlerts::showAlertNetworkError(error); }
  bool showAlertOkCancelWithTitle(const std::string& title, const std::string& message) override {
    return QVModalAlerts::showAlertOkCancelWithTitle(title, message);
  }
  bool showAlertDeleteBatchPresetWithName(const std::string& name) override {
    return QVModalAlerts::showAlertDeleteBatchPresetWithName(name);
  }
  int64_t showAlertWantStartOver(bool quitButton, bool saveButton, bool cancelButton) override {
    return QVModalAlerts::showAlertWantStartOverWithQuitButton(quitButton, saveButton, cancelButton);
  }
  int64_t showAlertFeedbackSent() override { return QVModalAlerts::showAlertFeedbackSent(); }
  int64_t showAlertRenameExportImage(const std::string& fileName, bool* applyToAll) override {
    return QVModalAlerts::showAlertRenameExportImage(fileName, applyToAll);
  }
};
