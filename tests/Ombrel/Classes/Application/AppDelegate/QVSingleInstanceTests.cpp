#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QtEndian>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

namespace fs = std::filesystem;

namespace {

using HandOver = QVSingleInstance::HandOver;

std::string uniqueName(const char* what) { return "solvane-test-" + std::to_string(::getpid()) + "-" + what; }

// A private folder of this test for the socket and its lock.
std::string privateFolder(const char* what) {
  const fs::path folder = fs::temp_directory_path() / (uniqueName(what) + "-run");
  fs::remove_all(folder);
  std::string reason;
  EXPECT_TRUE(QVSingleInstance::preparePrivateFolder(folder.string(), &reason)) << reason;
  return folder.string();
}

// Runs `work` on a thread while the main thread serves events, until it ends.
template <class Work>
void whileServing(Work work) {
  std::atomic<bool> done{false};
  std::thread other([&] {
    work();
    done = true;
  });
  QElapsedTimer clock;
  clock.start();
  while (!done && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  other.join();
}

TEST(QVSingleInstance, PathsSurviveTheWireByteForByteAndAnythingElseIsRefused) {
  // File names are bytes: UTF-8, Latin-1 that is not UTF-8, any byte but '/' and NUL.
  const std::vector<std::string> paths = {"/a/b.jpg", "/\xc3\xbc/\xc3\x9f \xc3\xa9.png", "/p/caf\xe9.jpg",
                                          "/p/\xff\xfe\x80.jpg", ""};
  const QByteArray message = QVSingleInstance::encodePaths(paths);
  ASSERT_GT(message.size(), 4);
  EXPECT_EQ(qFromBigEndian<quint32>(message.constData()), quint32(message.size() - 4));
  const QByteArray body = message.mid(4);
  std::vector<std::string> back;
  ASSERT_TRUE(QVSingleInstance::decodePaths(body, &back));
  EXPECT_EQ(back, paths);
  EXPECT_FALSE(QVSingleInstance::decodePaths(body.left(body.size() - 3), &back)) << "cut short";
  EXPECT_FALSE(QVSingleInstance::decodePaths(body + "x", &back)) << "bytes after the list";
  // Counts and lengths that ask for more than the message holds are refused before anything is
  // made of them.
  EXPECT_FALSE(QVSingleInstance::decodePaths(QByteArray(8, '\xff'), &back)) << "four thousand million paths";
  EXPECT_FALSE(QVSingleInstance::decodePaths(QByteArray::fromHex("000000017ffffffe0041"), &back)) << "a huge path";
  EXPECT_FALSE(QVSingleInstance::decodePaths(QByteArray::fromHex("00000001ffffffff"), &back)) << "no null path";
  ASSERT_TRUE(QVSingleInstance::decodePaths(QByteArray::fromHex("00000002000000000000000141"), &back));
  EXPECT_EQ(back, (std::vector<std::string>{"", "A"}));
  EXPECT_EQ(QVSingleInstance::absolutePaths({"a.jpg", "../b/c.jpg", "/abs/./d.jpg", "caf\xe9.jpg", "x//y/", "/.."},
                                            "/home/u/pics"),
            (std::vector<std::string>{"/home/u/pics/a.jpg", "/home/u/b/c.jpg", "/abs/d.jpg", "/home/u/pics/caf\xe9.jpg",
                                      "/home/u/pics/x/y", "/"}));
  EXPECT_EQ(QVSingleInstance::absolutePaths({"\xe9t\xe9.jpg"}, "/home/\xe9l\xe8ve"),
            std::vector<std::string>{"/home/\xe9l\xe8ve/\xe9t\xe9.jpg"});
}

// The socket's folder: made private, or refused when someone else could use it.
TEST(QVSingleInstance, TheSocketFolderIsThisUsersAlone) {
  const fs::path base = fs::temp_directory_path() / (uniqueName("folders"));
  fs::remove_all(base);
  fs::create_directories(base);
  fs::create_directory(base / "open");
  fs::permissions(base / "open", fs::perms(0755));
  fs::create_directory(base / "target");
  fs::permissions(base / "target", fs::perms(0700));
  fs::create_directory_symlink(base / "target", base / "link");
  std::ofstream(base / "file") << "x";
  const struct {
    std::string folder;
    bool accepted;
  } cases[] = {
      {(base / "fresh").string(), true},                   // made here, mode 0700
      {(base / "target").string(), true},                  // already private
      {(base / "new" / "caches" / "run").string(), true},  // the folders above are made too
      {(base / "open").string(), false},                   // others may enter
      {(base / "link").string(), false},                   // a link, wherever it leads
      {(base / "file").string(), false},                   // not a folder
      {"relative/run", false},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(QVSingleInstance::preparePrivateFolder(c.folder, &reason), c.accepted) << c.folder;
    EXPECT_EQ(reason.empty(), c.accepted) << reason;
  }
  struct stat st {};
  ASSERT_EQ(::stat((base / "fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  if (::geteuid() == 0) {  // another user's folder (only root can make one here)
    fs::create_directory(base / "theirs");
    fs::permissions(base / "theirs", fs::perms(0700));
    ASSERT_EQ(::chown((base / "theirs").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(QVSingleInstance::preparePrivateFolder((base / "theirs").string()));
  }
  // The runtime folder when it is private, under its own name.
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((base / "target").string()));
  EXPECT_EQ(QVSingleInstance::defaultFolder(), (base / "target" / "solvane").string());
  // A runtime folder where "solvane" was planted as a link: the private folder of ours instead.
  fs::create_directory(base / "planted");
  fs::create_directory_symlink(base / "open", base / "planted" / "solvane");
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((base / "planted").string()));
  const std::string fallback = QVSingleInstance::defaultFolder();
  EXPECT_EQ(fs::path(fallback).filename(), "solvane-" + std::to_string(::geteuid()));
  EXPECT_TRUE(QVSingleInstance::preparePrivateFolder(fallback));
  qunsetenv("XDG_RUNTIME_DIR");
}

TEST(QVSingleInstance, ASecondInvocationHandsItsPathsToTheFirst) {
  const std::string folder = privateFolder("handover");
  const std::string name = uniqueName("handover");
  QVSingleInstance first(name, folder);
  EXPECT_EQ(first.socketPath(), folder + "/" + name);
  ASSERT_EQ(first.handOverToRunningInstance({"/x.jpg"}, 500), HandOver::NotRunning);  // nobody runs yet
  std::vector<std::vector<std::string>> received;
  ASSERT_TRUE(first.listen([&](const std::vector<std::string>& paths) { received.push_back(paths); }));

  HandOver result = HandOver::NotRunning;
  whileServing([&] {
    result = QVSingleInstance(name, folder).handOverToRunningInstance({"/p/a.jpg", "/p/caf\xe9.jpg"}, 3000);
  });
  EXPECT_EQ(result, HandOver::Delivered);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (std::vector<std::string>{"/p/a.jpg", "/p/caf\xe9.jpg"})) << "a Latin-1 name arrives as it is";

  // While the running instance makes an export, the paths are taken to wait for it, and the later
  // invocation hears so.
  bool exporting = true;
  first.setWaitQuery([&] { return exporting; });
  whileServing([&] { result = QVSingleInstance(name, folder).handOverToRunningInstance({"/p/b.jpg"}, 3000); });
  EXPECT_EQ(result, HandOver::Queued);
  ASSERT_EQ(received.size(), 2u) << "taken all the same";
  EXPECT_EQ(received[1], std::vector<std::string>{"/p/b.jpg"});
  exporting = false;
  whileServing([&] { result = QVSingleInstance(name, folder).handOverToRunningInstance({"/p/c.jpg"}, 3000); });
  EXPECT_EQ(result, HandOver::Delivered);
  ASSERT_EQ(received.size(), 3u);

  // A socket that is not the expected user's gets nothing, and nobody starts a second instance.
  whileServing([&] {
    QVSingleInstance other(name, folder);
    other.setExpectedOwner(::geteuid() + 1);
    result = other.handOverToRunningInstance({"/secret.jpg"}, 600);
  });
  EXPECT_EQ(result, HandOver::Unanswered);
  EXPECT_EQ(received.size(), 3u);
}

// A running instance that does not answer (its main thread stalls) keeps its socket: the later
// invocation gives up instead of taking the socket over; once the instance answers again, it works.
TEST(QVSingleInstance, AStalledInstanceKeepsItsSocket) {
  const std::string folder = privateFolder("stalled");
  const std::string name = uniqueName("stalled");
  QVSingleInstance first(name, folder);
  ASSERT_EQ(first.handOverToRunningInstance({}, 500), HandOver::NotRunning);
  int batches = 0;
  ASSERT_TRUE(first.listen([&](const std::vector<std::string>&) { ++batches; }));
  QVSingleInstance second(name, folder);
  EXPECT_EQ(second.handOverToRunningInstance({"/a.jpg"}, 600), HandOver::Unanswered);  // no events served
  EXPECT_FALSE(second.listen(nullptr)) << "the lock's holder is alive";
  EXPECT_TRUE(fs::exists(first.socketPath()));
  EXPECT_TRUE(first.isListening());
  HandOver result = HandOver::NotRunning;
  whileServing([&] { result = QVSingleInstance(name, folder).handOverToRunningInstance({"/b.jpg"}, 3000); });
  EXPECT_EQ(result, HandOver::Delivered);
}

// What an instance that died leaves (a socket file and a lock nobody holds) is taken over.
TEST(QVSingleInstance, ALeftoverOfAnInstanceThatIsGoneIsTakenOver) {
  const std::string folder = privateFolder("stale");
  const std::string name = uniqueName("stale");
  QFile leftover(QString::fromStdString(folder + "/" + name));
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.close();
  QVSingleInstance next(name, folder);
  EXPECT_EQ(next.handOverToRunningInstance({}, 500), HandOver::NotRunning);
  EXPECT_TRUE(next.listen(nullptr));
  EXPECT_TRUE(next.isListening());
}

// Hostile messages close their connection without reaching the handler; a good one still works.
TEST(QVSingleInstance, BadMessagesCloseTheirConnection) {
  const std::string folder = privateFolder("messages");
  const std::string name = uniqueName("messages");
  QVSingleInstance first(name, folder);
  ASSERT_EQ(first.handOverToRunningInstance({}, 500), HandOver::NotRunning);
  first.setMessageDeadlineMs(300);
  int batches = 0;
  ASSERT_TRUE(first.listen([&](const std::vector<std::string>&) { ++batches; }));
  auto withLength = [](quint32 length, QByteArray body) {
    QByteArray head(4, '\0');
    qToBigEndian<quint32>(length, head.data());
    return head + body;
  };
  const struct {
    const char* what;
    QByteArray bytes;
    bool acknowledged;
  } cases[] = {
      {"impossible length", withLength(0xFFFFFFFFu, "abc"), false},
      {"just over the limit", withLength(QVSingleInstance::kMaximumMessageBytes + 1, QByteArray(4096, 'a')), false},
      {"not a list", withLength(8, QByteArray(8, '\xff')), false},
      {"cut short, then silence", withLength(100, QByteArray(10, '\0')), false},
      {"half a length, then silence", QByteArray(2, '\0'), false},
      {"a good one", QVSingleInstance::encodePaths({"/ok.jpg"}), true},
  };
  for (const auto& c : cases) {
    bool closed = false;
    QByteArray answer;
    whileServing([&] {
      QLocalSocket socket;
      socket.connectToServer(QString::fromStdString(first.socketPath()));
      if (!socket.waitForConnected(3000)) return;
      socket.write(c.bytes);
      socket.waitForBytesWritten(3000);
      if (socket.waitForReadyRead(5000)) answer = socket.readAll();
      closed = socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(5000);
    });
    EXPECT_TRUE(closed) << c.what;
    EXPECT_EQ(answer == "1", c.acknowledged) << c.what;
  }
  EXPECT_EQ(batches, 1);
}

}  // namespace
