#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"

#include <initializer_list>
#include <string_view>

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/Localization.h"
#include "rova/ImageData.h"

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

std::string QVModalAlerts::unopenableFileLine(const QVUnopenableFile& file) {
  // The name as the user knows it: file names are bytes, most of them UTF-8; an older one in
  // Latin-1 ("caf\xe9.jpg") reads right that way.
  const std::string_view path(file.path);
  const std::string_view bytes = path.substr(path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/') + 1);
  const std::string shown = QVDisplayText(bytes).toStdString();
  switch (file.reason) {
    case QVUnopenableReason::Missing:
      return QVLocalizedFormat("“%@”: missing (there is no such file)", {shown});
    case QVUnopenableReason::NotRegularFile:
      return QVLocalizedFormat("“%@”: not a regular file (a %@)", {shown, L(file.kind)});
    case QVUnopenableReason::Empty:
      return QVLocalizedFormat("“%@”: empty (0 bytes)", {shown});
    case QVUnopenableReason::Unreadable:
      return QVLocalizedFormat("“%@”: unreadable (%@)", {shown, file.systemError});
    case QVUnopenableReason::NotAnImage:
      return QVLocalizedFormat("“%@”: not an image", {shown});
    case QVUnopenableReason::TooLarge: {
      const bool sideTooLong = file.width > rova::kMaxImageSide || file.height > rova::kMaxImageSide;
      const std::string limit =
          sideTooLong ? QVLocalizedFormat("more than %lu pixels on a side", {std::to_string(rova::kMaxImageSide)})
                      : QVLocalizedFormat("more than %lu megapixels", {std::to_string(rova::maxPixelCount() / 1000000)});
      return QVLocalizedFormat("“%@”: too large (%lu × %lu pixels, %@)",
                               {shown, std::to_string(file.width), std::to_string(file.height), limit});
    }
    case QVUnopenableReason::TooSmall:
      return QVLocalizedFormat("“%@”: too small (%lu × %lu pixels)",
                               {shown, std::to_string(file.width), std::to_string(file.height)});
    case QVUnopenableReason::Damaged:
      return file.systemError.empty() ? QVLocalizedFormat("“%@”: damaged", {shown})
                                      : QVLocalizedFormat("“%@”: damaged (%@)", {shown, file.systemError});
  }
  return shown;
}

std::string QVModalAlerts::unopenableFileLines(const std::vector<QVUnopenableFile>& files) {
  constexpr size_t kNamed = 8;
  std::string named;
  for (size_t i = 0; i < files.size() && i < kNamed; ++i) named += unopenableFileLine(files[i]) + "\n";
  if (files.size() > kNamed)
    named += QVLocalizedFormat("and %lu more", {std::to_string(files.size() - kNamed)}) + "\n";
  return named + (named.empty() ? "" : "\n");
}

void QVModalAlerts::showAlertSourceNotAvailable(const std::vector<QVUnopenableFile>& files) {
  runOK(L("This file format is not supported"),
        unopenableFileLines(files) +
            L("<AppName> only works with the image files: JPG, PNG, Raw and similar. If you have questions, please "
              "email at ") +
            kSupportEmail + ".",
        true);
}

void QVModalAlerts::showAlertLessThanMinimumSize(const std::vector<QVUnopenableFile>& files) {
  runOK(L("Oh my, this picture is too small to apply my algorithms to."),
        unopenableFileLines(files) +
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

std::string QVModalAlerts::startOverSaveQuestion(size_t photoCount) {
  return photoCount > 1
             ? L("The photos were not saved and may be lost. Would you like to save or share them first?")
             : L("The photo was not saved and may be lost. Would you like to save or share it first?");
}

int64_t QVModalAlerts::showAlertWantStartOver(bool quitButton, bool saveButton, bool cancelButton, size_t photoCount) {
  QVAlertSpec spec;
  spec.messageText = L("Are you sure you want to quit?");
  if (saveButton) spec.informativeText = startOverSaveQuestion(photoCount);
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

void QVModalAlerts::showAlertExportFailed(const std::vector<QVExportFailure>& failures, uint64_t exported) {
  if (failures.empty()) return;
  auto fileName = [](const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  };
  const std::string message =
      failures.size() == 1
          ? QVLocalizedFormat("\u201c%@\u201d could not be exported.", {fileName(failures[0].sourcePath)})
          : QVLocalizedFormat("%lu photos could not be exported.", {std::to_string(failures.size())});
  std::string lines;
  for (const auto& failure : failures) {
    if (!lines.empty()) lines += "\n";
    lines += fileName(failure.sourcePath) + ": " + (failure.reason.empty() ? L("unknown error") : failure.reason);
  }
  if (exported > 0)
    lines += "\n\n" + (exported == 1 ? L("The other photo was exported.")
                                       : QVLocalizedFormat("The other %lu photos were exported.",
                                                           {std::to_string(exported)}));
  runOK(message, lines, true);
}

void QVModalAlerts::showAlertNoProgramToOpen(QVDesktopProgram program, const std::string& what) {
  switch (program) {
    case QVDesktopProgram::WebBrowser:
      runOK(L("No web browser could open the page."),
            QVLocalizedFormat("Please open this address in a web browser:\n%@", {what}), true);
      break;
    case QVDesktopProgram::MailProgram:
      runOK(L("No mail program is set up to write the message."),
            QVLocalizedFormat("You can send it from your own mail:\n\n%@", {what}), true);
      break;
    case QVDesktopProgram::FileManager:
      runOK(L("No file manager could show the folder."), QVLocalizedFormat("The photos are in:\n%@", {what}), true);
      break;
  }
}
