#include "app/form1.h"

#include <cstdlib>
#include <exception>
#include <string>

#include "app/menu_design.h"

namespace kwellor {
namespace {

using Handler = void (Form1::*)();

struct MenuCommand {
  std::string_view name;
  Handler handler;
};

// Every menu item with a command of its own; menus and submenus have none.
constexpr MenuCommand kMenuCommands[] = {
    {"mnuExit", &Form1::mnuExit_Click},
    {"mnu3Dcard", &Form1::mnu3Dcard_Click},
    {"mnuPrevCam", &Form1::mnuPrevCam_Click},
    {"mnuNextCam", &Form1::mnuNextCam_Click},
    {"mnuViewAutoMode", &Form1::mnuViewAutoMode_Click},
    {"mnuLow", &Form1::mnuLow_Click},
    {"mnuMedium", &Form1::mnuMedium_Click},
    {"mnuHigh", &Form1::mnuHigh_Click},
    {"mnuResetLoc", &Form1::mnuResetLoc_Click},
    {"mnuResetDir", &Form1::mnuResetDir_Click},
    {"mnuResetBoth", &Form1::mnuResetBoth_Click},
    {"mnuControlType1", &Form1::mnuControlType1_Click},
    {"mnuControlType2", &Form1::mnuControlType2_Click},
    {"mnuMiscAbvGnd", &Form1::mnuMiscAbvGnd_Click},
    {"mnuControl", &Form1::mnuControl_Click},
    {"mnuAbout", &Form1::mnuAbout_Click},
};

}  // namespace

Form1::Form1(Engine& engine, Platform& platform) : engine_(engine), platform_(platform) {}

void Form1::Load() {
  try {
    platform_.loadMainWindow(MainMenuDesign(), *this);
  } catch (const std::exception& e) {
    // No window to unload and no world loaded yet: report and end.
    try {
      platform_.messageBox(std::string("Start-up failed while creating the main window: ") +
                           e.what());
    } catch (const std::exception&) {
    }
    platform_.endProgram();
  }
  Form_Load();
}

void Form1::MenuClick(std::string_view name) {
  for (const MenuCommand& command : kMenuCommands) {
    if (command.name != name) continue;
    // Handlers with a trap of their own never throw; a failure in one without a trap would
    // otherwise escape into the window system.
    try {
      (this->*command.handler)();
    } catch (const std::exception& e) {
      EndAfterFailure("The command " + std::string(name) + " failed: " + e.what());
    }
    return;
  }
}

bool Form1::IsKeyDown(int32_t virtualKey) {
  // A key whose state cannot be read counts as up.
  try {
    return platform_.GetAsyncKeyState(virtualKey) < 0;
  } catch (const std::exception&) {
    return false;
  }
}

void Form1::EndAfterFailure(const std::string& message) {
  try {
    platform_.messageBox(message);
  } catch (const std::exception&) {
  }
  // Close the engine through the unload handler unless the window is gone already.
  if (!quitRequested) {
    try {
      platform_.unload();
    } catch (const std::exception&) {
    }
  }
  platform_.endProgram();
  std::abort();  // endProgram does not return
}

}  // namespace kwellor
