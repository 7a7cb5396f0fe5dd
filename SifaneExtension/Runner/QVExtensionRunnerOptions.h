#pragma once
// The runner's command line:
//
//   SifaneExtension --input PHOTO --output-dir DIR [--adjustment FILE] [--auto-finish]
//                   [--input-before-show] [--screenshot FILE] [--screenshot-exporting FILE]
//
// --input            the full-size photo the host hands over
// --output-dir       the host's folder for the rendering ("<name>.tiff") and its record ("<name>.json")
// --adjustment       the record of the photo's last edit (JSON); the extension may refuse it
// --auto-finish      presses Done once the enhanced preview is shown; alerts are printed, not shown
// --input-before-show  hands the input before the window appears (by default just after)
// --screenshot       once the preview is shown opens the slider, writes the window to FILE, cancels
// --screenshot-exporting  once the preview is shown presses Done and writes the window to FILE
//                    while the full-size photo is rendered (then finishes as Done does)
#include <optional>
#include <string>
#include <vector>

struct QVExtensionRunnerOptions {
  std::string input;
  std::string outputDirectory;
  std::string adjustment;
  bool autoFinish = false;
  bool inputBeforeShow = false;
  std::string screenshot;
  std::string screenshotExporting;

  // Exit statuses besides 0 (done or cancelled) and 134 (a photo below 800 x 600).
  static constexpr int kNotWrittenStatus = 1;   // the edit could not be written
  static constexpr int kUsageStatus = 2;        // a command line that cannot run, a missing photo
  static constexpr int kUndecodableStatus = 3;  // a photo that cannot be decoded
  static const char* usage();
  // None, with the reason in `error`, for a command line the runner cannot run.
  static std::optional<QVExtensionRunnerOptions> parse(const std::vector<std::string>& arguments, std::string* error);
};
