#include <gtest/gtest.h>

#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <thread>

#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

namespace {

std::string uniqueName(const char* what) { return "solvane-test-" + std::to_string(::getpid()) + "-" + what; }

TEST(QVSingleInstance, PathsSurviveTheWireAndPartialDataWaits) {
  const QStringList paths = {QStringLiteral("/a/b.jpg"), QStringLiteral("/ü/ß é.png"), QString()};
  const QByteArray bytes = QVSingleInstance::encodePaths(paths);
  QStringList back;
  ASSERT_TRUE(QVSingleInstance::decodePaths(bytes, &back));
  EXPECT_EQ(back, paths);
  EXPECT_FALSE(QVSingleInstance::decodePaths(bytes.left(bytes.size() - 3), &back));
  EXPECT_EQ(QVSingleInstance::absolutePaths({"a.jpg", "../b/c.jpg", "/abs/./d.jpg"}, "/home/u/pics"),
            (std::vector<std::string>{"/home/u/pics/a.jpg", "/home/u/b/c.jpg", "/abs/d.jpg"}));
}

TEST(QVSingleInstance, ASecondInvocationHandsItsPathsToTheFirst) {
  const std::string name = uniqueName("handover");
  QVSingleInstance first(name);
  ASSERT_FALSE(first.handOverToRunningInstance({"/x.jpg"}, 500));  // nobody runs yet
  std::vector<std::vector<std::string>> received;
  ASSERT_TRUE(first.listen([&](const std::vector<std::string>& paths) { received.push_back(paths); }));

  std::atomic<int> result{-1};
  std::thread second([&] {
    QVSingleInstance other(name);
    result = other.handOverToRunningInstance({"/p/a.jpg", "/p/b.jpg"}, 3000) ? 1 : 0;
  });
  QElapsedTimer clock;
  clock.start();
  while (result < 0 && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  second.join();
  EXPECT_EQ(result, 1);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg"}));
}

TEST(QVSingleInstance, ALeftoverSocketFileIsTakenOver) {
  const std::string name = uniqueName("stale");
  // What an instance that died leaves: a file where the socket lives, nobody answering on it.
  QFile leftover(QDir::temp().filePath(QString::fromStdString(name)));
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.close();
  QVSingleInstance next(name);
  EXPECT_FALSE(next.handOverToRunningInstance({}, 500));
  EXPECT_TRUE(next.listen(nullptr));
  EXPECT_TRUE(next.isListening());
}

}  // namespace
