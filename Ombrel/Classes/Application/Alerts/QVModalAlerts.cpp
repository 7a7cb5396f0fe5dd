#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"

#include <initializer_list>

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "QVPlatform/Localization.h"

namespace {

std::shared_ptr<QVAlertRunner>& installedRunner() {
  static std::shared_ptr<QVAlertRunner> runner;
  return runner;
}

std::string L(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

QVAlertResponse run(QVAlertSpec spec, bool attention) {
  if (attention) QVSoundManager::playAttentionSounds();
  return QVModalAlerts::runner()->runModal(spec);
}

void runOK(const std::string& message, const std::string& informative, bool attention) {
  run({message, informative, {L("OK")}, std::nullopt, std::nullopt}, attention);
}

}  // namespace

void QVModalAlerts::setRunner(std::shared_ptr<QVAlertRunner> runner) { installedRunner() = std::move(runner); }

std::shared_ptr<QVAlertRunner> QVModalAlerts::runner() {
  if (!installedRunner()) installedRunner() = std::make_shared<QVMessageBoxAlertRunner>();
  return installedRunner();
}

void QVModalAlerts::showAllertNotSupportExtension(const std::string& extension) {
  runOK(QVLocalizedFormat("This %@ is not supported", {extension}),
        QVLocalizedFormat(
            "We will add more %@ formats in the future, but in the meantime, you can export to multiple JPGs or "
            "TIFFs and import those into <AppName>.",
            {extension}),
        true);
}

void QVModalAlerts::showAlertSourceNotAvailable() {
  runOK(L("This file format is not supported"),
        L("<AppName> only works with the image files: JPG, PNG, Raw and similar. If you have questions, please email "
          "at ") +
            kSupportEmail + ".",
        true);
}

void QVModalAlerts::showAlertLessThanMinimumSize() {
  runOK(L("Oh my, this picture is too small to apply my algorithms to."),
        QVLocalizedFormat(
            "Please make sure your photos are at least %lu by %lu pixels, so that I can work with them properly.",
            {"800", "600"}),
        true);
}

void QVModalAlerts::showAlertCompleteFields() {
  runOK(L("Error"), L("Please, complete all fields of the feedback sheet"), false);
}

void QVModalAlerts::showAlertImageCannotBeSaved(const std::string& reason) {
  runOK(L("Image cannot be saved"), reason, true);
}

void QVModalAlerts::showAlertInvalidEmail() { runOK(L("Error"), L("Please, enter a correct email"), false); }

void QVModalAlerts::showAlertNetworkError(const qv::Error& error) {
  runOK(L("Network error occurred"), error.description, false);
}

bool QVModalAlerts::showAlertOkCancelWithTitle(const std::string& title, const std::string& message) {
  const auto response = run({L(title), L(message), {L("Ok"), L("Cancel")}, std::nullopt, size_t(1)}, false);
  return response.buttonIndex != 1;
}

bool QVModalAlerts::showAlertDeleteBatchPresetWithName(const std::string& name) {
  const auto response = run({L("Batch preset deletion"),
                             QVLocalizedFormat("Are you sure you want to delete %@?", {name}),
                             {L("Ok"), L("Cancel")},
                             std::nullopt,
                             size_t(1)},
                            false);
  return response.buttonIndex == 0;
}

void QVModalAlerts::showAlertBatchPresetNotSavedWithName(const std::string& name) {
  runOK(L("Error"), QVLocalizedFormat("The preset %@ could not be saved.", {name}), false);
}

int64_t QVModalAlerts::showAlertWantStartOver(bool quitButton, bool saveButton, bool cancelButton) {
  QVAlertSpec spec;
  spec.messageText = L("Are you sure you want to quit?");
  if (saveButton) {
    spec.informativeText = L("The photo was not saved and may be lost. Would you like to save or share it first?");
  }
  std::vector<int64_t> codes;
  auto add = [&](const std::string& title, int64_t code) {
    spec.buttons.push_back(QVCapitalizedString(title));
    codes.push_back(code);
  };
  if (quitButton) add(saveButton ? L("Quit anyway") : QVLocalizedFormat("%@ Solvane", {L("Quit")}), 3);
  add(L("Start Over"), 4);
  if (cancelButton) {
    spec.cancelButtonIndex = spec.buttons.size();
    add(L("Cancel"), 0);
  }
  if (saveButton) add(L("Save first"), 5);
  const auto response = run(spec, false);
  if (response.buttonIndex < 0 || size_t(response.buttonIndex) >= codes.size()) return 0;
  return codes[size_t(response.buttonIndex)];
}

int64_t QVModalAlerts::showAlertFeedbackSent() {
  const auto response = run(
      {L("Success"), L("Your feedback has been sent."), {L("OK"), L("Send more")}, std::nullopt, std::nullopt}, false);
  return response.buttonIndex == 1 ? 7 : 1;
}

int64_t QVModalAlerts::showAlertRenameExportImage(const std::string& fileName, bool* applyToAll) {
  const auto response = run({QVLocalizedFormat("%@ already exists.", {fileName}),
                             L("Would you like to overwrite it or create a new one using an available name?"),
                             {L("Overwrite"), L("Create New")},
                             L("Apply to all"),
                             std::nullopt},
                            false);
  if (applyToAll) *applyToAll = response.suppressionChecked;
  return response.buttonIndex == 0 ? 8 : 9;
}
