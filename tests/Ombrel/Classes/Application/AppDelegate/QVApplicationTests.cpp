#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"

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

}  // namespace
