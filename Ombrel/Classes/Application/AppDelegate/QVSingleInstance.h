#pragma once
// One running Solvane per user. The first instance listens on a local socket; a later invocation
// connects, hands over the paths it was given (made absolute against its own working folder) and
// exits once the running instance has acknowledged them. The running instance treats them exactly
// like paths of its own command line: an open request that joins the file collector's 0.25 s burst.
//
// The socket and the lock file beside it live in a folder only this user can enter (the runtime
// folder, else a private folder in the temporary folder), so no other user can plant either. A
// later invocation sends nothing to a socket that is not this user's own, or whose peer is not.
// A lock file decides who becomes the first instance when two start at the same moment; the socket
// of an instance is removed only once the process holding its lock is gone, so a stalled instance
// keeps its socket and a later invocation gives up instead of starting a second instance.
//
// Paths are bytes from end to end, as the file system has them (a Linux file name need not be
// UTF-8): they are never turned into text on the way.
//
// Wire format: a 4-byte big-endian length, then a body of that many bytes (at most
// kMaximumMessageBytes): a 4-byte big-endian count of paths, then for each path a 4-byte
// big-endian length and its bytes (the layout of a QDataStream list of byte arrays). The answer is
// the single byte '1' (or 'w', below). A message that is too long, does not decode, or is not complete within the
// deadline closes its connection. The answer is '1' when the paths open now, 'w' when they wait
// for an export the running instance is making (they open once it has ended), so the later
// invocation can say which.
#include <sys/types.h>

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QVSingleInstance {
 public:
  using PathsHandler = std::function<void(const std::vector<std::string>& paths)>;

  // What a hand-over came to.
  enum class HandOver {
    Delivered,   // a running instance took the paths: this process should exit
    Queued,      // a running instance took the paths, to open once its export under way has ended: exit
    NotRunning,  // no instance runs: this process holds the lock and should `listen`
    Unanswered,  // an instance holds the lock but did not answer: this process must not start
  };

  static constexpr int kMaximumMessageBytes = 1 << 20;
  static constexpr int kMessageDeadlineMs = 5000;
  static constexpr int kMaximumConnections = 16;

  // The socket's name: "solvane-<user id>".
  static std::string defaultServerName();
  // The folder of the socket and its lock, the first that is (or can be made) private: the runtime
  // folder's "solvane" ("$XDG_RUNTIME_DIR/solvane"), "<temporary folder>/solvane-<user id>", then
  // "run" in the user's caches folder (when another user took the name in the temporary folder).
  // Empty when none can (then there is no single instance).
  static std::string defaultFolder();
  // Makes `folder` (mode 0700) or checks the existing one: a real folder (not a link), owned by
  // this user, which nobody else may enter. False with the reason otherwise.
  static bool preparePrivateFolder(const std::string& folder, std::string* reason = nullptr);

  explicit QVSingleInstance(std::string serverName = defaultServerName(), std::string folder = defaultFolder());
  ~QVSingleInstance();

  // Hands the paths to a running instance, waiting at most `timeoutMs` for one that holds the lock.
  HandOver handOverToRunningInstance(const std::vector<std::string>& paths, int timeoutMs = 4000);
  // Listens for later invocations (needs the event loop); each batch goes to the handler on the
  // main thread. False when this process does not hold the lock or the socket cannot be made.
  bool listen(PathsHandler handler);
  // Asked as each batch is taken: true when the paths wait for an export under way (the answer
  // then says so).
  void setWaitQuery(std::function<bool()> query) { waitQuery_ = std::move(query); }
  bool isListening() const { return server_ && server_->isListening(); }
  // The socket's full path (empty without a private folder).
  const std::string& socketPath() const { return socketPath_; }

  // The user whose socket and peer a hand-over accepts (this process's user; tests change it).
  void setExpectedOwner(uid_t uid) { owner_ = uid; }
  void setMessageDeadlineMs(int ms) { deadlineMs_ = ms; }

  // A whole message (length and list).
  static QByteArray encodePaths(const std::vector<std::string>& paths);
  // The list of a message's body (without the length); false when it is not exactly one list.
  static bool decodePaths(const QByteArray& body, std::vector<std::string>* paths);
  // Absolute, cleaned paths against a folder ("." and empty parts dropped, ".." taking the part
  // before it away), byte for byte.
  static std::vector<std::string> absolutePaths(const std::vector<std::string>& paths, const std::string& folder);
  // The process's working folder as the file system names it (bytes).
  static std::string currentFolder();

 private:
  // The running instance's answer to one message: none (not delivered), '1' or 'w'.
  char sendTo(const QByteArray& message, int timeoutMs);
  void serve(class QLocalSocket* socket);

  std::string serverName_;
  std::string folder_;
  std::string socketPath_;
  uid_t owner_;
  int deadlineMs_ = kMessageDeadlineMs;
  int connections_ = 0;
  PathsHandler handler_;
  std::function<bool()> waitQuery_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};
