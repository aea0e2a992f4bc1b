#include "app/form1.h"

#include <cstdlib>
#include <exception>
#include <string>

#include "app/menu_design.h"
#include "platform/error_modes.h"

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

Form1::Form1(Engine& engine, Platform& platform)
    : engine_(engine),
      platform_(platform),
      cameras_(engine),
      scheme_(platform),
      renderOptions_(engine, platform) {}

int Form1::Load() {
  try {
    platform_.loadMainWindow(MainMenuDesign(), *this);
  } catch (const std::exception& e) {
    // No window to unload and no world loaded yet: report and end.
    try {
      platform_.messageBox(std::string("Start-up failed while creating the main window: ") +
                           e.what());
    } catch (const std::exception&) {
    }
    platform_.endProgram(1);
  }
  Form_Load();
  return loadFailed_ ? 1 : 0;
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

void Form1::EndAfterFailure(const std::string& message) {
  try {
    platform_.messageBox(message);
  } catch (const std::exception&) {
  }
  // Close the engine through the unload handler unless the window is gone already.
  if (!quitRequested_) {
    try {
      platform_.unload();
    } catch (const std::exception&) {
    }
  }
  platform_.endProgram(1);
  std::abort();  // endProgram does not return
}

// --- The commands, each under its own error mode ---

void Form1::mnuExit_Click() {
  platform_.unload();
}

void Form1::mnuAbout_Click() {
  platform_.showAboutBox();
}

void Form1::mnu3Dcard_Click() {
  SilentTrap([&] { renderOptions_.ToggleCard(); });
}

void Form1::Form_KeyDown(int16_t /*keyCode*/, int16_t /*shift*/) {
  SilentTrap([&] { renderOptions_.KeyDown(); });
}

void Form1::mnuLow_Click() {
  SilentTrap([&] { renderOptions_.Select(QualityLevel::kLow); });
}

void Form1::mnuMedium_Click() {
  SilentTrap([&] { renderOptions_.Select(QualityLevel::kMedium); });
}

void Form1::mnuHigh_Click() {
  SilentTrap([&] { renderOptions_.Select(QualityLevel::kHigh); });
}

void Form1::mnuNextCam_Click() {
  SilentTrap([&] { cameras_.Next(); });
}

void Form1::mnuPrevCam_Click() {
  SilentTrap([&] { cameras_.Previous(); });
}

void Form1::mnuViewAutoMode_Click() {
  SilentTrap([&] { cameras_.ShowCurrent(); });
}

void Form1::mnuResetLoc_Click() {
  cameras_.ResetViewerLocation();
}

void Form1::mnuResetDir_Click() {
  cameras_.ResetViewerDirection();
}

void Form1::mnuResetBoth_Click() {
  mnuResetDir_Click();
  mnuResetLoc_Click();
}

void Form1::mnuControlType1_Click() {
  scheme_.SwitchToKeyboard();
}

void Form1::mnuControlType2_Click() {
  scheme_.SwitchToMouseLook();
}

void Form1::Picture1_MouseUp(int16_t button, int16_t /*shift*/, float /*x*/, float /*y*/) {
  try {
    scheme_.MouseUp(button);
  } catch (const std::exception& e) {
    EndAfterFailure(std::string("Switching to keyboard control failed: ") + e.what());
  }
}

void Form1::mnuControl_Click() {
  scheme_.ShowHelp();
}

void Form1::mnuMiscAbvGnd_Click() {
  platform_.setMenuChecked("mnuMiscAbvGnd", !platform_.menuChecked("mnuMiscAbvGnd"));
}

}  // namespace kwellor
