#pragma once
// Tells the host application how the plug-in run ended. The host listens for two names:
// "app_termination_ok" (the application ends: after applying, and also after cancelling) and
// "app_termination_cancel" (posted first when the run was cancelled).
//
// The application's notifier broadcasts them as D-Bus signals on the session bus (docs/PLUGIN.md):
// interface "app.solvane.Solvane.Plugin", path "/app/solvane/Solvane/Plugin", member the name, one
// argument: this process's id (uint32). Without a session bus each post is one log line. Tests
// install a recording notifier.
#include <memory>
#include <string>

inline constexpr const char* kQVHostTerminationOK = "app_termination_ok";
inline constexpr const char* kQVHostTerminationCancel = "app_termination_cancel";
inline constexpr const char* kQVHostNotifierInterface = "app.solvane.Solvane.Plugin";
inline constexpr const char* kQVHostNotifierPath = "/app/solvane/Solvane/Plugin";

class QVHostNotifier {
 public:
  virtual ~QVHostNotifier() = default;
  // Posts at once (no queueing beyond the bus's own); any thread.
  virtual void post(const std::string& name) = 0;

  // The session-bus notifier.
  static std::shared_ptr<QVHostNotifier> makeDefault();
};
