#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"

#include <mutex>

#include "QVPlatform/Log.h"

namespace {
std::mutex gMutex;
std::shared_ptr<QVSolvaneAlertsPresenter> gPresenter;

// The presenter, or nullptr after logging which alert had nobody to show it.
std::shared_ptr<QVSolvaneAlertsPresenter> presenterFor(const char* alert) {
  auto presenter = QVSolvaneAlerts::presenter();
  if (!presenter) QVLogInfo("alert without presenter: %s", alert);
  return presenter;
}
}  // namespace

void QVSolvaneAlerts::setPresenter(std::shared_ptr<QVSolvaneAlertsPresenter> presenter) {
  std::lock_guard guard(gMutex);
  gPresenter = std::move(presenter);
}

std::shared_ptr<QVSolvaneAlertsPresenter> QVSolvaneAlerts::presenter() {
  std::lock_guard guard(gMutex);
  return gPresenter;
}

void QVSolvaneAlerts::showAllertNotSupportExtension(const std::string& extension) {
  if (auto p = presenterFor("not supported extension")) p->showAllertNotSupportExtension(extension);
}

namespace {
void logUnopenable(const std::vector<QVUnopenableFile>& files) {
  for (const auto& file : files)
    QVLogInfo("cannot open %s (reason %d%s%s)", file.path.c_str(), static_cast<int>(file.reason),
              file.systemError.empty() ? "" : ": ", file.systemError.c_str());
}
}  // namespace

void QVSolvaneAlerts::showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files) {
  logUnopenable(files);
  if (auto p = presenterFor("source not available")) p->showAlertSourceNotAvailable(files);
}

void QVSolvaneAlerts::showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files) {
  logUnopenable(files);
  if (auto p = presenterFor("less than minimum size")) p->showAlertLessThanMinimumSize(files);
}

void QVSolvaneAlerts::showAlertCompleteFields() {
  if (auto p = presenterFor("complete fields")) p->showAlertCompleteFields();
}

void QVSolvaneAlerts::showAlertInvalidEmail() {
  if (auto p = presenterFor("invalid email")) p->showAlertInvalidEmail();
}

void QVSolvaneAlerts::showAlertNetworkError(const qv::Error& error) {
  if (auto p = presenterFor("network error")) p->showAlertNetworkError(error);
}

bool QVSolvaneAlerts::showAlertOkCancelWithTitle(const std::string& title, const std::string& message) {
  auto p = presenterFor("ok/cancel");
  return p ? p->showAlertOkCancelWithTitle(title, message) : true;
}

bool QVSolvaneAlerts::showAlertDeleteBatchPresetWithName(const std::string& name) {
  auto p = presenterFor("delete batch preset");
  return p ? p->showAlertDeleteBatchPresetWithName(name) : true;
}

void QVSolvaneAlerts::showAlertBatchPresetNotSavedWithName(const std::string& name) {
  if (auto p = presenterFor("batch preset not saved")) p->showAlertBatchPresetNotSavedWithName(name);
}

int64_t QVSolvaneAlerts::showAlertWantStartOverWithQuitButton(bool quitButton, bool saveButton, bool cancelButton,
                                                              size_t photoCount) {
  auto p = presenterFor("start over");
  return p ? p->showAlertWantStartOver(quitButton, saveButton, cancelButton, photoCount) : QVAlertResultStartOver;
}

int64_t QVSolvaneAlerts::showAlertFeedbackSent() {
  auto p = presenterFor("feedback sent");
  return p ? p->showAlertFeedbackSent() : QVAlertResultOK;
}

int64_t QVSolvaneAlerts::showAlertRenameExportImage(const std::string& fileName, bool* applyToAll) {
  auto p = presenterFor("rename export image");
  return p ? p->showAlertRenameExportImage(fileName, applyToAll) : QVAlertResultOverwrite;
}

void QVSolvaneAlerts::showAlertExportFailed(const std::vector<QVExportFailure>& failures, uint64_t exported) {
  if (failures.empty()) return;
  for (const auto& failure : failures)
    QVLogError("not exported: %s: %s", failure.sourcePath.c_str(), failure.reason.c_str());
  if (auto p = presenterFor("export failed")) p->showAlertExportFailed(failures, exported);
}

void QVSolvaneAlerts::showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what) {
  if (auto p = presenterFor("no program to open")) p->showAlertNoProgramToOpen(program, what);
}
