// Switching between the keyboard and mouse-look schemes, and the help text of each.
#include <exception>
#include <string>

#include "app/form1.h"
#include "app/virtual_keys.h"
#include "navigation/screen_center.h"

namespace kwellor {

// The runs of blanks after each colon are part of the text.
const char* const kKeyboardHelp =
    "Arrows:             Forward, backward, turn left & turn right.\n"
    "Key A:              Turn Up.\n"
    "Key Z:               Turn Down.\n"
    "Arrow + Shift:  Pan left & right.\n";

const char* const kMouseLookHelp =
    "Mouse Move:                 Look around.\n"
    "Arrow Up/Down:           Accelerate/Decelerate.\n"
    "Arrow Left/Right:          Strafe.\n"
    "Shift:                             Hold speed.\n"
    "R Mouse Button:            Switch to type1 control.\n";

void Form1::mnuControlType1_Click() {
  if (platform_.menuChecked("mnuControlType1")) return;
  platform_.setMenuChecked("mnuControlType1", true);
  platform_.setMenuChecked("mnuControlType2", false);
  controlType = 1;
  platform_.ShowCursor(true);
}

void Form1::mnuControlType2_Click() {
  if (platform_.menuChecked("mnuControlType2")) return;
  // Worked out afresh for this switch; the frame loop keeps the centre it found at its start.
  const int32_t centerX = ScreenCenter(platform_.screenWidthTwips(), platform_.twipsPerPixelX());
  const int32_t centerY = ScreenCenter(platform_.screenHeightTwips(), platform_.twipsPerPixelY());
  // The first mouse-look frame measures movement from here, so the view does not jump.
  platform_.SetCursorPos(centerX, centerY);
  platform_.GetAsyncKeyState(kVkUp);
  platform_.setMenuChecked("mnuControlType2", true);
  platform_.setMenuChecked("mnuControlType1", false);
  controlType = 2;
  platform_.ShowCursor(false);
}

void Form1::Picture1_MouseUp(int16_t button, int16_t /*shift*/, float /*x*/, float /*y*/) {
  if (button != kRightButton) return;
  try {
    controlType = 1;
    mnuControlType1_Click();
  } catch (const std::exception& e) {
    EndAfterFailure(std::string("Switching to keyboard control failed: ") + e.what());
  }
}

void Form1::mnuControl_Click() {
  if (controlType == 1) {
    platform_.messageBox(kKeyboardHelp);
  } else if (controlType == 2) {
    platform_.messageBox(kMouseLookHelp);
  }
}

}  // namespace kwellor
