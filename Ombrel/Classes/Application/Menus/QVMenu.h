#pragma once
// Menus and menu items whose titles are localisation keys. A `QVMenuItem` is a Qt action with the
// pieces the application's menus rely on: an integer tag that names it, a key equivalent (one
// character that gets the Control modifier, the platform's command key), a represented object, a
// check mark (`state`) and a target/action pair. An item without a target sends its action to
// the first responder (QVMenuController::firstResponder, the application delegate).
//
// Actions are member functions of `QVMenuResponder`, the one interface every object that answers
// menu items implements (each method does nothing unless overridden).
//
// Main thread only.
#include <QAction>
#include <QMenu>
#include <any>
#include <cstdint>
#include <string>

class QVMenuItem;

class QVMenuResponder {
 public:
  virtual ~QVMenuResponder() = default;
  // Application actions (the application delegate).
  virtual void hide(QVMenuItem*) {}
  virtual void exitApp(QVMenuItem*) {}
  virtual void addImages(QVMenuItem*) {}
  virtual void showAbout(QVMenuItem*) {}
  virtual void onTellFriendItem(QVMenuItem*) {}
  virtual void onEnableDisableSoundItem(QVMenuItem*) {}
  virtual void installPlugins(QVMenuItem*) {}
  virtual void menuSettingSwitched(QVMenuItem*) {}
  // Main window actions (the main window controller).
  virtual void onOpenFilesMenuItem(QVMenuItem*) {}
  virtual void onStartOverMenuItem(QVMenuItem*) {}
  virtual void onHelpMenuItem(QVMenuItem*) {}
  virtual void applyPlugin(QVMenuItem*) {}
  virtual void cancelPlugin(QVMenuItem*) {}
  virtual void onExportMenuItemSelected(QVMenuItem*) {}
  // Whether an item is enabled (and, by side effect, hidden); YES unless overridden.
  virtual bool validateMenuItem(QVMenuItem*) { return true; }
};

using QVMenuAction = void (QVMenuResponder::*)(QVMenuItem*);

class QVMenuItem : public QAction {
 public:
  // The title is a localisation key ("LocalizedMenuItem").
  QVMenuItem(const std::string& title, QVMenuAction action, const std::string& keyEquivalent,
             QObject* parent = nullptr);
  explicit QVMenuItem(const std::string& title = {}) : QVMenuItem(title, nullptr, {}) {}

  void setTitle(const std::string& titleKey);
  std::string title() const { return text().toStdString(); }
  const std::string& titleKey() const { return titleKey_; }

  int64_t tag() const { return tag_; }
  void setTag(int64_t tag) { tag_ = tag; }

  // One character; a non-empty one becomes Control+character.
  const std::string& keyEquivalent() const { return keyEquivalent_; }
  void setKeyEquivalent(const std::string& key);

  QVMenuAction action() const { return action_; }
  void setAction(QVMenuAction action) { action_ = action; }
  QVMenuResponder* target() const { return target_; }
  // Not owned: a target outlives its items or clears them.
  void setTarget(QVMenuResponder* target) { target_ = target; }

  const std::any& representedObject() const { return representedObject_; }
  void setRepresentedObject(std::any object) { representedObject_ = std::move(object); }

  // The check mark: 1 on, 0 off.
  int64_t state() const { return isChecked() ? 1 : 0; }
  void setState(int64_t state);
  bool isHidden() const { return !isVisible(); }
  void setHidden(bool hidden) { setVisible(!hidden); }

  // The responder the action goes to: the target, else the first responder.
  QVMenuResponder* effectiveTarget() const;
  // Sends the action (what a click or the shortcut does); false when nobody answered.
  bool performAction();

 private:
  std::string titleKey_;
  int64_t tag_ = 0;
  std::string keyEquivalent_;
  QVMenuAction action_ = nullptr;
  QVMenuResponder* target_ = nullptr;
  std::any representedObject_;
};

class QVMenu : public QMenu {
 public:
  // The title is a localisation key ("LocalizedMenuTitle").
  explicit QVMenu(const std::string& title = {}, QWidget* parent = nullptr);
  void setTitle(const std::string& titleKey);
  const std::string& titleKey() const { return titleKey_; }

  // The menu's items in order (separators included as plain actions are skipped).
  std::vector<QVMenuItem*> items() const;
  // The first item with the tag, or nullptr.
  QVMenuItem* itemWithTag(int64_t tag) const;
  int64_t indexOfItemWithTag(int64_t tag) const;
  // Adds an item that carries a submenu.
  QVMenuItem* addSubmenuItem(const std::string& title, int64_t tag, QVMenu* submenu);
  QVMenuItem* addItem(const std::string& title, int64_t tag, QVMenuAction action, const std::string& key = {});
  // Inserts at an index of the action list; an index past the end (or negative) appends.
  void insertItemAtIndex(QAction* item, int64_t index);

 private:
  std::string titleKey_;
};
