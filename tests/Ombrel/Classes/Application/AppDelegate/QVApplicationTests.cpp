#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "common/TestSupport.h"

namespace {

TEST(QVApplication, EditingShortcutTable) {
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
  struct Row {
    Qt::KeyboardModifiers modifiers;
    const char* character;
    QVEditingAction action;
  };
  const Row rows[] = {
      {ctrl, "x", QVEditingAction::Cut},
      {ctrl, "c", QVEditingAction::Copy},
      {ctrl, "v", QVEditingAction::Paste},
      {ctrl, "z", QVEditingAction::Undo},
      {ctrl, "a", QVEditingAction::SelectAll},
      {ctrl | shift, "Z", QVEditingAction::Redo},
      {ctrl | Qt::KeypadModifier, "c", QVEditingAction::Copy},  // only modifier keys count
      {ctrl | shift, "z", QVEditingAction::None},               // lower case with Shift is no redo
      {ctrl, "Z", QVEditingAction::None},
      {ctrl | alt, "c", QVEditingAction::None},
      {ctrl | shift, "c", QVEditingAction::None},
      {Qt::MetaModifier, "c", QVEditingAction::None},
      {Qt::NoModifier, "c", QVEditingAction::None},
      {ctrl, "b", QVEditingAction::None},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(QVApplication::editingActionForKey(r.modifiers, QString::fromLatin1(r.character)), r.action)
        << r.character << " " << int(r.modifiers);
  }
}

TEST(QVApplication, CharacterOfAControlKeyComesFromTheKey) {
  // With Control down the platform reports a control character as text.
  QKeyEvent redo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, QString(QChar(0x1a)));
  EXPECT_EQ(QVApplication::characterOfKeyEvent(redo), QStringLiteral("Z"));
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QString(QChar(0x03)));
  EXPECT_EQ(QVApplication::characterOfKeyEvent(copy), QStringLiteral("c"));
}

TEST(QVApplication, ActionGoesToTheFocusedResponderOrItsParents) {
  QWidget window;
  auto* field = new QLineEdit(QStringLiteral("hello"), &window);
  auto* inner = new QWidget(field);
  EXPECT_TRUE(QVApplication::sendEditingAction(QVEditingAction::SelectAll, inner));
  EXPECT_EQ(field->selectedText(), QStringLiteral("hello"));
  EXPECT_FALSE(QVApplication::sendEditingAction(QVEditingAction::Copy, &window));
  EXPECT_FALSE(QVApplication::sendEditingAction(QVEditingAction::None, field));
}

TEST(QVApplication, KeyPressIsConsumedOnlyWhenTaken) {
  auto* app = dynamic_cast<QVApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  int validations = 0;
  app->setShortcutValidator([&] { ++validations; });
  QLineEdit field(QStringLiteral("some text"));
  QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QString(QChar(0x01)));
  EXPECT_TRUE(app->notify(&field, &selectAll));
  EXPECT_EQ(field.selectedText(), QStringLiteral("some text"));
  QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier);
  app->notify(&field, &override);
  EXPECT_EQ(validations, 1);
  app->setShortcutValidator(nullptr);
}

#if defined(SOLVANE_BUILT_PROGRAM)
// The program started with only the given environment (`env -i`), stdout and stderr together.
std::pair<int, std::string> runProgram(const std::string& environment, const std::string& arguments = "") {
  const std::string command =
      "env -i " + environment + " '" + std::string(SOLVANE_BUILT_PROGRAM) + "' " + arguments + " 2>&1 < /dev/null";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, output};
  std::array<char, 4096> buffer;
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), output};
}

// As from a login over SSH: Qt would abort (134) with its advice to reinstall. The program says in one
// line why it cannot show a window and ends with 1; a platform named explicitly is still used.
TEST(QVApplicationStart, WithoutADisplayTheProgramSaysSoInOneLineAndEndsWithOne) {
  const auto dir = solvane::test::makeTempDir("no-display");
  const std::string home = "SOLVANE_HOME='" + (dir / "home").string() + "' TMPDIR='" + dir.string() + "' ";
  struct Case {
    const char* name;
    std::string environment;
    std::string line;
  } cases[] = {
      {"no display at all", home,
       "Solvane: no display to show windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"},
      {"a display nobody serves", home + "DISPLAY=:9999", "Solvane: no display could be reached (DISPLAY=:9999)\n"},
      {"X11 asked for without a display", home + "QT_QPA_PLATFORM=xcb",
       "Solvane: no display could be reached (QT_QPA_PLATFORM=xcb)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [status, output] = runProgram(c.environment, "photo.jpg");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, c.line);
  }
  // The offscreen platform, named explicitly, needs no display: the program runs and quits.
  const std::string picture = (dir / "window.png").string();
  const auto [status, output] = runProgram(home + "QT_QPA_PLATFORM=offscreen", "--screenshot '" + picture + "'");
  EXPECT_EQ(status, 0) << output;
  EXPECT_TRUE(std::filesystem::exists(picture)) << output;
}
#endif

}  // namespace
