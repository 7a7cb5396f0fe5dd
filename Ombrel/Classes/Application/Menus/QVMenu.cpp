#include "Ombrel/Classes/Application/Menus/QVMenu.h"

#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "QVPlatform/Localization.h"

QVMenuItem::QVMenuItem(const std::string& title, QVMenuAction action, const std::string& keyEquivalent, QObject* parent)
    : QAction(parent), action_(action) {
  setTitle(title);
  setKeyEquivalent(keyEquivalent);
  connect(this, &QAction::triggered, this, [this](bool checked) {
    // Qt flips a check mark before it reports the click; the responder decides the state instead.
    if (isCheckable()) setChecked(!checked);
    performAction();
  });
}

void QVMenuItem::setTitle(const std::string& titleKey) {
  titleKey_ = titleKey;
  setText(QString::fromStdString(qv::QVSLocalization::localizedStringForKey(titleKey, "LocalizedMenuItem")));
}

void QVMenuItem::setKeyEquivalent(const std::string& key) {
  keyEquivalent_ = key;
  setShortcut(key.empty() ? QKeySequence() : QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(key)));
}

void QVMenuItem::setState(int64_t state) {
  setCheckable(true);
  setChecked(state != 0);
}

QVMenuResponder* QVMenuItem::effectiveTarget() const { return target_ ? target_ : QVMenuController::firstResponder(); }

bool QVMenuItem::performAction() {
  QVMenuResponder* responder = effectiveTarget();
  if (!responder || !action_) return false;
  (responder->*action_)(this);
  return true;
}

QVMenu::QVMenu(const std::string& title, QWidget* parent) : QMenu(parent) { setTitle(title); }

void QVMenu::setTitle(const std::string& titleKey) {
  titleKey_ = titleKey;
  QMenu::setTitle(QString::fromStdString(qv::QVSLocalization::localizedStringForKey(titleKey, "LocalizedMenuTitle")));
}

std::vector<QVMenuItem*> QVMenu::items() const {
  std::vector<QVMenuItem*> out;
  for (QAction* action : actions()) {
    if (auto* item = dynamic_cast<QVMenuItem*>(action)) out.push_back(item);
  }
  return out;
}

QVMenuItem* QVMenu::itemWithTag(int64_t tag) const {
  for (QVMenuItem* item : items()) {
    if (item->tag() == tag) return item;
  }
  return nullptr;
}

int64_t QVMenu::indexOfItemWithTag(int64_t tag) const {
  const auto list = actions();
  for (qsizetype i = 0; i < list.size(); ++i) {
    if (auto* item = dynamic_cast<QVMenuItem*>(list[i]); item && item->tag() == tag) return i;
  }
  return -1;
}

QVMenuItem* QVMenu::addSubmenuItem(const std::string& title, int64_t tag, QVMenu* submenu) {
  auto* item = new QVMenuItem(title, nullptr, {}, this);
  item->setTag(tag);
  item->setMenu(submenu);
  addAction(item);
  return item;
}

QVMenuItem* QVMenu::addItem(const std::string& title, int64_t tag, QVMenuAction action, const std::string& key) {
  auto* item = new QVMenuItem(title, action, key, this);
  item->setTag(tag);
  addAction(item);
  return item;
}

void QVMenu::insertItemAtIndex(QAction* item, int64_t index) {
  const auto list = actions();
  if (index < 0 || index >= list.size()) {
    addAction(item);
  } else {
    insertAction(list[index], item);
  }
}
