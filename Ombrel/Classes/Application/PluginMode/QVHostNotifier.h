#pragma once
// Tells the host application what became of the plug-in run (docs/PLUGIN.md):
//   "app_result_saved"       per result written: source, the path the host asked for, the path written
//                            (they differ when the result could not go where asked: a camera RAW is
//                            never overwritten, two results never share a file)
//   "app_result_failed"      per image that has no result: source, the path asked for, the reason
//   "app_termination_cancel" posted first when the run was cancelled
//   "app_termination_failed" at least one image has no result: the reason (the exit status is then 1)
//   "app_termination_ok"     the application ends: always the last post of a run, after every result
//                            was written, after "app_termination_failed" and after a cancel
//
// The application's notifier broadcasts them as D-Bus signals on the session bus: interface
// "app.solvane.Solvane.Plugin", path "/app/solvane/Solvane/Plugin", member the name, arguments: this
// process's id (uint32), then the texts above as strings, then the paths among them again as byte
// arrays. A file name is any bytes and a D-Bus string is UTF-8: the string of a name that is not
// UTF-8 has U+FFFD in it, the byte array is the name exactly. Without a session bus each post is one
// log line. Tests install a recording notifier.
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
  // Posts at once (no queueing beyond the bus's own); any thread. `texts` follow the process id, then
  // `paths`, each exactly its bytes.
  virtual void post(const std::string& name, const std::vector<std::string>& texts,
                    const std::vector<std::string>& paths) = 0;
  void post(const std::string& name, const std::vector<std::string>& texts) { post(name, texts, {}); }
  void post(const std::string& name) { post(name, {}, {}); }

  // The session-bus notifier.
  static std::shared_ptr<QVHostNotifier> makeDefault();
};
