#pragma once
// One running Solvane per user. The first instance listens on a local socket; a later invocation
// connects, hands over the paths it was given (made absolute against its own working folder) and
// exits once the running instance has acknowledged them. The running instance treats them exactly
// like paths of its own command line: an open request that joins the file collector's 0.25 s burst.
//
// A lock file decides who becomes the first instance when two start at the same moment; a lock or
// socket left by a crashed instance is taken over.
//
// Wire format: a QDataStream (Qt 6.4) QStringList; the answer is the single byte '1'.
#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QVSingleInstance {
 public:
  using PathsHandler = std::function<void(const std::vector<std::string>& paths)>;

  // The socket name: "solvane-<user id>" (placed in the temporary folder by Qt).
  static std::string defaultServerName();

  explicit QVSingleInstance(std::string serverName = defaultServerName());
  ~QVSingleInstance();

  // Hands the paths to a running instance; true when one took them (this process should then
  // exit). False when no instance runs: this process then holds the lock and should `listen`.
  bool handOverToRunningInstance(const std::vector<std::string>& paths, int timeoutMs = 5000);
  // Listens for later invocations (needs the event loop); each batch goes to the handler on the
  // main thread. False when the socket cannot be made.
  bool listen(PathsHandler handler);
  bool isListening() const { return server_ && server_->isListening(); }
  const std::string& serverName() const { return serverName_; }

  static QByteArray encodePaths(const QStringList& paths);
  // Nullopt-like: false when the bytes are not (yet) a whole list.
  static bool decodePaths(const QByteArray& bytes, QStringList* paths);
  // Absolute, cleaned paths against a folder.
  static std::vector<std::string> absolutePaths(const std::vector<std::string>& paths, const std::string& folder);

 private:
  bool sendTo(const QStringList& paths, int timeoutMs);

  std::string serverName_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};
