// Builds the main window's menu bar from the menu design and keeps the check marks: the
// marks are state the logic owns, so a click never flips one by itself.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

class QAction;
class QMenuBar;

namespace kwellor::qt {

class MenuBarModel {
 public:
  using ClickHandler = std::function<void(const std::string& name)>;

  // Fills bar with menus, submenus and items; a chosen item calls onClick with its name.
  MenuBarModel(QMenuBar& bar, const std::vector<MenuItem>& design, ClickHandler onClick);

  bool checked(std::string_view name) const;
  void setChecked(std::string_view name, bool checked);  // unknown names are ignored
  QAction* action(std::string_view name) const;          // nullptr when unknown

 private:
  struct Entry {
    QAction* action;
    bool checked;
  };
  std::map<std::string, Entry, std::less<>> entries_;
};

// Items whose role carries a check mark: their actions are checkable.
bool CanCarryMark(std::string_view name);

}  // namespace kwellor::qt
