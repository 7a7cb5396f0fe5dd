#include "SifaneExtension/Runner/QVExtensionRunnerOptions.h"

const char* QVExtensionRunnerOptions::usage() {
  return "usage: SifaneExtension --input PHOTO --output-dir DIR [--adjustment FILE] [--auto-finish]\n"
         "                       [--input-before-show] [--screenshot FILE] [--screenshot-exporting FILE]\n";
}

std::optional<QVExtensionRunnerOptions> QVExtensionRunnerOptions::parse(const std::vector<std::string>& arguments,
                                                                        std::string* error) {
  QVExtensionRunnerOptions options;
  auto fail = [error](std::string reason) -> std::optional<QVExtensionRunnerOptions> {
    if (error) *error = std::move(reason);
    return std::nullopt;
  };
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    std::string* value = nullptr;
    if (a == "--input") value = &options.input;
    if (a == "--output-dir") value = &options.outputDirectory;
    if (a == "--adjustment") value = &options.adjustment;
    if (a == "--screenshot") value = &options.screenshot;
    if (a == "--screenshot-exporting") value = &options.screenshotExporting;
    if (value) {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) return fail(a + " needs a value");
      *value = arguments[++i];
    } else if (a == "--auto-finish") {
      options.autoFinish = true;
    } else if (a == "--input-before-show") {
      options.inputBeforeShow = true;
    } else {
      return fail("unknown argument: " + a);
    }
  }
  if (options.input.empty()) return fail("--input is missing");
  if (options.outputDirectory.empty()) return fail("--output-dir is missing");
  return options;
}
