#pragma once
// Tells the host application what became of the plug-in run (docs/PLUGIN.md):
//   "app_result_saved"       per result written: source, the path the host asked for, the path written
//                            (they differ when the result could not go where asked: a camera RAW is
//                            never overwritten, two results never share a file)
//   "app_result_failed"      per image that has no result: source, the path asked for, the reason
//   "app_termination_ok"     the application ends after every result was written, and also after a
//                            cancel
//   "app_termination_cancel" posted first when the run was cancelled
//   "app_termination_failed" the application ends and at least one image has no result: the reason
//                            (never followed by "app_termination_ok"; the exit status is then 1)
//
// The application's notifier broadcasts them as D-Bus signals on the session bus: interface
// "app.solvane.Solvane.Plugin", path "/app/solvane/Solvane/Plugin", member the name, arguments: this
// process's id (uint32), then the strings above. Without a session bus each post is one log line.
// Tests install a recording notifier.
#include <memory>
#include <string>
#include <vector>

inline constexpr const char* kQVHostTerminationOK = "app_termination_ok";
inline constexpr const char* kQVHostTerminationCancel = "app_termination_cancel";
inline constexpr const char* kQVHostTerminationFailed = "app_termination_failed";
inline constexpr const char* kQVHostResultSaved = "app_result_saved";
inline constexpr const char* kQVHostResultFailed = "app_result_failed";
inline constexpr const char* kQVHostNotifierInterface = "app.solvane.Solvane.Plugin";
inline constexpr const char* kQVHostNotifierPath = "/app/solvane/Solvane/Plugin";

class QVHostNotifier {
 public:
  virtual ~QVHostNotifier() = default;
  // Posts at once (no queueing beyond the bus's own); any thread. `details` follow the process id.
  virtual void post(const std::string& name, const std::vector<std::string>& details) = 0;
  void post(const std::string& name) { post(name, {}); }

  // The session-bus notifier.
  static std::shared_ptr<QVHostNotifier> makeDefault();
};
