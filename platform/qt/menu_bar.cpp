#include "platform/qt/menu_bar.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <array>

namespace kwellor::qt {

bool CanCarryMark(std::string_view name) {
  static constexpr std::array<std::string_view, 7> kMarked{
      "mnu3Dcard",       "mnuLow",          "mnuMedium",    "mnuHigh",
      "mnuControlType1", "mnuControlType2", "mnuMiscAbvGnd"};
  for (std::string_view m : kMarked)
    if (m == name) return true;
  return false;
}

MenuBarModel::MenuBarModel(QMenuBar& bar, const std::vector<MenuItem>& design,
                           ClickHandler onClick) {
  QMenu* menu = nullptr;     // the current menu on the bar
  QMenu* submenu = nullptr;  // the current submenu of it
  for (size_t i = 0; i < design.size(); ++i) {
    const MenuItem& item = design[i];
    const QString caption = QString::fromStdString(item.caption);
    const bool hasChildren = i + 1 < design.size() && design[i + 1].level > item.level;
    QAction* action = nullptr;
    if (item.level <= 0) {
      menu = bar.addMenu(caption);
      submenu = nullptr;
      action = menu->menuAction();
    } else if (item.level == 1 || !submenu) {
      // A level-2 item without a submenu above it joins the nearest menu instead.
      if (!menu) menu = bar.addMenu(QString());
      if (hasChildren && item.level == 1) {
        submenu = menu->addMenu(caption);
        action = submenu->menuAction();
      } else {
        if (item.level == 1) submenu = nullptr;
        action = menu->addAction(caption);
      }
    } else {
      action = submenu->addAction(caption);
    }
    action->setObjectName(QString::fromStdString(item.name));
    if (!item.shortcut.empty())
      action->setShortcut(QKeySequence::fromString(QString::fromStdString(item.shortcut),
                                                   QKeySequence::PortableText));
    if (item.level >= 1 && (CanCarryMark(item.name) || item.checked)) action->setCheckable(true);
    action->setChecked(item.checked);
    entries_[item.name] = Entry{action, item.checked};
    if (action->menu()) continue;  // menus and submenus have no command
    const std::string name = item.name;
    QObject::connect(action, &QAction::triggered, action, [this, name, onClick] {
      // Qt has already toggled a checkable action; put the logic's mark back.
      auto it = entries_.find(name);
      if (it != entries_.end()) it->second.action->setChecked(it->second.checked);
      if (onClick) onClick(name);
    });
  }
}

bool MenuBarModel::checked(std::string_view name) const {
  auto it = entries_.find(name);
  return it != entries_.end() && it->second.checked;
}

void MenuBarModel::setChecked(std::string_view name, bool checked) {
  auto it = entries_.find(name);
  if (it == entries_.end()) return;
  it->second.checked = checked;
  if (checked) it->second.action->setCheckable(true);
  it->second.action->setChecked(checked);
}

QAction* MenuBarModel::action(std::string_view name) const {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : it->second.action;
}

}  // namespace kwellor::qt
