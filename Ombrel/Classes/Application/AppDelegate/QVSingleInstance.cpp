#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "QVAppKit/QVFileNames.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"

namespace {

constexpr char kAcknowledge = '1';
// Taken, but the paths wait for the export the running instance is making.
constexpr char kAcknowledgeWaiting = 'w';
constexpr int kLengthBytes = 4;

// The user at the other end of a connected local socket.
bool peerIs(qintptr descriptor, uid_t owner) {
  struct ucred peer {};
  socklen_t size = sizeof peer;
  if (descriptor < 0 || ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  return peer.uid == owner;
}

// The messages for a list: as many as it takes to keep each under the maximum.
std::vector<QByteArray> messagesFor(const std::vector<std::string>& paths) {
  std::vector<QByteArray> out;
  std::vector<std::string> batch;
  qint64 bytes = 0;
  for (const std::string& path : paths) {
    const qint64 size = 4 + qint64(path.size());
    if (!batch.empty() && bytes + size > QVSingleInstance::kMaximumMessageBytes - 64) {
      out.push_back(QVSingleInstance::encodePaths(batch));
      batch.clear();
      bytes = 0;
    }
    batch.push_back(path);
    bytes += size;
  }
  out.push_back(QVSingleInstance::encodePaths(batch));
  return out;
}

}  // namespace

std::string QVSingleInstance::defaultServerName() { return "solvane-" + std::to_string(::geteuid()); }

bool QVSingleInstance::preparePrivateFolder(const std::string& folder, std::string* reason) {
  auto refuse = [&](std::string why) {
    if (reason) *reason = folder + ": " + why;
    return false;
  };
  if (folder.empty() || folder[0] != '/') return refuse("not an absolute path");
  // The folders above it are made when missing (the user's caches folder may not exist yet).
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ignored);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return refuse(std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return refuse("not a folder");
  if (st.st_uid != ::geteuid()) return refuse("owned by user " + std::to_string(st.st_uid));
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", unsigned(st.st_mode & 0777));
    return refuse(std::string("other users may use it (mode ") + mode + ")");
  }
  return true;
}

std::string QVSingleInstance::defaultFolder() {
  std::vector<std::string> candidates;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    candidates.push_back(std::string(runtime) + "/solvane");
  candidates.push_back(QVPathFromQt(QDir::tempPath()) + "/solvane-" + std::to_string(::geteuid()));
  // Someone else may have taken that name in the shared folder: the user's own caches then.
  candidates.push_back(qv::places::cachesDirectory() + "/run");
  for (const auto& candidate : candidates) {
    // A socket's path must fit sockaddr_un (108 bytes with its end).
    if (candidate.size() + 1 + defaultServerName().size() >= 100) continue;
    std::string reason;
    if (preparePrivateFolder(candidate, &reason)) return candidate;
    QVLogWarning("not using %s for the single instance", reason.c_str());
  }
  return {};
}

QVSingleInstance::QVSingleInstance(std::string serverName, std::string folder)
    : serverName_(std::move(serverName)), folder_(std::move(folder)), owner_(::geteuid()) {
  std::string reason;
  if (!folder_.empty() && preparePrivateFolder(folder_, &reason))
    socketPath_ = folder_ + "/" + serverName_;
  else if (!folder_.empty())
    QVLogError("no single instance: %s", reason.c_str());
}

QVSingleInstance::~QVSingleInstance() {
  if (server_) server_->close();
}

QByteArray QVSingleInstance::encodePaths(const std::vector<std::string>& paths) {
  QByteArray message(kLengthBytes, '\0');
  auto number = [&message](quint32 value) {
    char bytes[4];
    qToBigEndian<quint32>(value, bytes);
    message.append(bytes, 4);
  };
  number(quint32(paths.size()));
  for (const std::string& path : paths) {
    number(quint32(path.size()));
    message.append(path.data(), qsizetype(path.size()));
  }
  qToBigEndian<quint32>(quint32(message.size() - kLengthBytes), message.data());
  return message;
}

// Every count and length in the message is checked against the bytes that are really there
// before anything is allocated.
bool QVSingleInstance::decodePaths(const QByteArray& body, std::vector<std::string>* paths) {
  const auto* bytes = reinterpret_cast<const uchar*>(body.constData());
  const qsizetype size = body.size();
  qsizetype at = 0;
  auto number = [&](quint32* out) {
    if (size - at < 4) return false;
    *out = qFromBigEndian<quint32>(bytes + at);
    at += 4;
    return true;
  };
  quint32 count = 0;
  if (!number(&count) || count > quint32((size - at) / 4)) return false;
  std::vector<std::string> list;
  list.reserve(count);
  for (quint32 i = 0; i < count; ++i) {
    quint32 length = 0;
    if (!number(&length) || qint64(length) > qint64(size - at)) return false;
    list.emplace_back(body.constData() + at, size_t(length));
    at += length;
  }
  if (at != size) return false;
  if (paths) *paths = std::move(list);
  return true;
}

std::vector<std::string> QVSingleInstance::absolutePaths(const std::vector<std::string>& paths,
                                                         const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& path : paths) {
    const std::string whole = !path.empty() && path[0] == '/' ? path : folder + "/" + path;
    std::vector<std::string_view> parts;
    const std::string_view view(whole);
    for (size_t begin = 0; begin <= view.size();) {
      const size_t end = std::min(view.find('/', begin), view.size());
      const std::string_view part = view.substr(begin, end - begin);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      begin = end + 1;
    }
    std::string cleaned;
    for (const auto& part : parts) (cleaned += '/') += part;
    out.push_back(cleaned.empty() ? "/" : cleaned);
  }
  return out;
}

std::string QVSingleInstance::currentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string("/") : folder.native();
}

char QVSingleInstance::sendTo(const QByteArray& message, int timeoutMs) {
  // The paths go only to this user's own socket, answered by this user's own process.
  struct stat st {};
  if (::lstat(socketPath_.c_str(), &st) != 0) return 0;
  if (!S_ISSOCK(st.st_mode) || st.st_uid != owner_) {
    QVLogWarning("refusing to hand paths to %s: not a socket of user %u", socketPath_.c_str(), unsigned(owner_));
    return 0;
  }
  QLocalSocket socket;
  socket.connectToServer(QVQtPath(socketPath_));
  if (!socket.waitForConnected(timeoutMs)) return 0;
  if (!peerIs(socket.socketDescriptor(), owner_)) {
    QVLogWarning("refusing to hand paths to %s: its peer is another user", socketPath_.c_str());
    return 0;
  }
  socket.write(message);
  if (!socket.waitForBytesWritten(timeoutMs)) return 0;
  // The instance answers once it has the paths; without the answer they may be lost.
  if (!socket.waitForReadyRead(timeoutMs)) return 0;
  const QByteArray answer = socket.read(1);
  if (answer == QByteArray(1, kAcknowledge) || answer == QByteArray(1, kAcknowledgeWaiting)) return answer[0];
  return 0;
}

QVSingleInstance::HandOver QVSingleInstance::handOverToRunningInstance(const std::vector<std::string>& paths,
                                                                       int timeoutMs) {
  if (socketPath_.empty()) return HandOver::NotRunning;  // no private folder: this process runs alone
  const std::vector<QByteArray> messages = messagesFor(paths);
  // What the running instance made of the paths: none delivered, all taken, or some waiting.
  auto sendAll = [&](int eachMs) -> std::optional<HandOver> {
    bool waits = false;
    for (const auto& message : messages) {
      const char answer = sendTo(message, eachMs);
      if (!answer) return std::nullopt;
      waits = waits || answer == kAcknowledgeWaiting;
    }
    return waits ? HandOver::Queued : HandOver::Delivered;
  };
  if (auto delivered = sendAll(500)) return *delivered;
  lock_ = std::make_unique<QLockFile>(QVQtPath(socketPath_ + ".lock"));
  // A lock whose owner died is taken over at once (QLockFile checks the process); a live owner's
  // lock never goes stale however long it is held.
  lock_->setStaleLockTime(0);
  QElapsedTimer clock;
  clock.start();
  while (!lock_->tryLock(50)) {
    // Another instance holds the lock: it is running or starting up, so wait for its answer.
    if (auto delivered = sendAll(250)) {
      lock_.reset();
      return *delivered;
    }
    if (clock.elapsed() > timeoutMs) {
      QVLogWarning("another instance holds %s.lock but does not answer", socketPath_.c_str());
      lock_.reset();
      return HandOver::Unanswered;
    }
  }
  return HandOver::NotRunning;
}

bool QVSingleInstance::listen(PathsHandler handler) {
  if (socketPath_.empty()) return false;
  if (!lock_ || !lock_->isLocked()) {
    lock_ = std::make_unique<QLockFile>(QVQtPath(socketPath_ + ".lock"));
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
      QVLogError("not listening on %s: another instance holds its lock", socketPath_.c_str());
      lock_.reset();
      return false;
    }
  }
  handler_ = std::move(handler);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->setMaxPendingConnections(kMaximumConnections);
  const QString name = QVQtPath(socketPath_);
  // This process holds the lock: a socket file here was left by an instance that is gone.
  QLocalServer::removeServer(name);
  if (!server_->listen(name)) {
    QVLogError("cannot listen on %s: %s", socketPath_.c_str(), server_->errorString().toUtf8().constData());
    return false;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) serve(socket);
  });
  return true;
}

// One message a connection: its length first, then the whole list, decoded once. A connection
// that exceeds the limits, sends what does not decode or is too slow is closed.
void QVSingleInstance::serve(QLocalSocket* socket) {
  QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  if (connections_ >= kMaximumConnections || !peerIs(socket->socketDescriptor(), owner_)) {
    socket->abort();
    socket->deleteLater();
    return;
  }
  ++connections_;
  QObject::connect(socket, &QObject::destroyed, server_.get(), [this] { --connections_; });
  QTimer::singleShot(deadlineMs_, socket, [socket] {
    QVLogWarning("closing a hand-over connection that did not complete its message in time");
    socket->abort();
    socket->deleteLater();
  });
  auto buffer = std::make_shared<QByteArray>();
  auto length = std::make_shared<qint64>(-1);
  QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer, length] {
    while (socket->bytesAvailable() > 0) {
      if (*length < 0) {
        buffer->append(socket->read(kLengthBytes - buffer->size()));
        if (buffer->size() < kLengthBytes) return;
        *length = qFromBigEndian<quint32>(buffer->constData());
        buffer->clear();
        if (*length > kMaximumMessageBytes) {
          QVLogWarning("closing a hand-over connection: a message of %lld bytes", (long long)*length);
          socket->abort();
          socket->deleteLater();
          return;
        }
        buffer->reserve(*length);
      }
      buffer->append(socket->read(*length - buffer->size()));
      if (buffer->size() < *length) continue;
      std::vector<std::string> list;
      if (!decodePaths(*buffer, &list)) {
        QVLogWarning("closing a hand-over connection: its message is not a list of paths");
        socket->abort();
        socket->deleteLater();
        return;
      }
      QVLog(1, "another invocation handed over %zu paths", list.size());
      // Asked before the handler takes them: the answer is what becomes of these paths.
      const bool waits = waitQuery_ && waitQuery_();
      if (handler_) handler_(list);
      socket->write(QByteArray(1, waits ? kAcknowledgeWaiting : kAcknowledge));
      socket->flush();
      socket->disconnectFromServer();
      return;
    }
  });
}
