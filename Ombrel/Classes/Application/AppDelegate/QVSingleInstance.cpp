#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"

#include <unistd.h>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include "QVPlatform/Log.h"

namespace {
constexpr char kAcknowledge = '1';
}

std::string QVSingleInstance::defaultServerName() { return "solvane-" + std::to_string(::getuid()); }

QVSingleInstance::QVSingleInstance(std::string serverName) : serverName_(std::move(serverName)) {}

QVSingleInstance::~QVSingleInstance() {
  if (server_) server_->close();
}

QByteArray QVSingleInstance::encodePaths(const QStringList& paths) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_4);
  out << paths;
  return bytes;
}

bool QVSingleInstance::decodePaths(const QByteArray& bytes, QStringList* paths) {
  QDataStream in(bytes);
  in.setVersion(QDataStream::Qt_6_4);
  QStringList list;
  in >> list;
  if (in.status() != QDataStream::Ok) return false;
  if (paths) *paths = list;
  return true;
}

std::vector<std::string> QVSingleInstance::absolutePaths(const std::vector<std::string>& paths,
                                                         const std::string& folder) {
  std::vector<std::string> out;
  const QDir base(QString::fromStdString(folder));
  for (const auto& path : paths) {
    out.push_back(QDir::cleanPath(base.absoluteFilePath(QString::fromStdString(path))).toStdString());
  }
  return out;
}

bool QVSingleInstance::sendTo(const QStringList& paths, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(serverName_));
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(encodePaths(paths));
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The instance answers once it has the paths; without the answer they may be lost, so the
  // caller goes on as if no instance ran.
  if (!socket.waitForReadyRead(timeoutMs)) return false;
  return socket.read(1) == QByteArray(1, kAcknowledge);
}

bool QVSingleInstance::handOverToRunningInstance(const std::vector<std::string>& paths, int timeoutMs) {
  QStringList list;
  for (const auto& p : paths) list << QString::fromStdString(p);
  if (sendTo(list, 500)) return true;
  lock_ = std::make_unique<QLockFile>(QDir::temp().filePath(QString::fromStdString(serverName_) + ".lock"));
  // A lock whose owner died is taken over at once (QLockFile checks the process).
  lock_->setStaleLockTime(0);
  QElapsedTimer clock;
  clock.start();
  while (!lock_->tryLock(50)) {
    // Another instance holds the lock: it is running or starting up, so wait for its socket.
    if (sendTo(list, 250)) {
      lock_.reset();
      return true;
    }
    if (clock.elapsed() > timeoutMs) {
      QVLogWarning("another instance holds the lock but does not answer; starting anyway");
      lock_.reset();
      return false;
    }
  }
  return false;
}

bool QVSingleInstance::listen(PathsHandler handler) {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = QString::fromStdString(serverName_);
  if (!server_->listen(name)) {
    // A socket file left by an instance that died: nobody answers on it (we hold the lock).
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
      QVLogError("cannot listen on %s: %s", serverName_.c_str(), server_->errorString().toUtf8().constData());
      return false;
    }
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this, handler] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      auto buffer = std::make_shared<QByteArray>();
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer, handler] {
        buffer->append(socket->readAll());
        QStringList paths;
        if (!decodePaths(*buffer, &paths)) return;  // more bytes to come
        buffer->clear();
        std::vector<std::string> list;
        for (const auto& p : paths) list.push_back(p.toStdString());
        QVLog(1, "another invocation handed over %zu paths", list.size());
        if (handler) handler(list);
        socket->write(QByteArray(1, kAcknowledge));
        socket->flush();
        socket->disconnectFromServer();
      });
    }
  });
  return true;
}
