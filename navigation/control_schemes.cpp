#include "navigation/control_schemes.h"

#include <string>

#include "navigation/motion.h"
#include "navigation/screen_center.h"
#include "platform/virtual_keys.h"

namespace kwellor {

// The runs of blanks after each colon are part of the text.
std::string_view HelpText(int32_t type) {
  if (type == kKeyboardScheme) {
    return "Arrows:             Forward, backward, turn left & turn right.\n"
           "Key A:              Turn Up.\n"
           "Key Z:               Turn Down.\n"
           "Arrow + Shift:  Pan left & right.\n";
  }
  if (type == kMouseLookScheme) {
    return "Mouse Move:                 Look around.\n"
           "Arrow Up/Down:           Accelerate/Decelerate.\n"
           "Arrow Left/Right:          Strafe.\n"
           "Shift:                             Hold speed.\n"
           "R Mouse Button:            Switch to type1 control.\n";
  }
  return {};
}

void ControlScheme::SwitchToKeyboard() {
  if (platform_.menuChecked("mnuControlType1")) return;
  platform_.setMenuChecked("mnuControlType1", true);
  platform_.setMenuChecked("mnuControlType2", false);
  type_ = kKeyboardScheme;
  platform_.ShowCursor(true);
}

void ControlScheme::SwitchToMouseLook() {
  if (platform_.menuChecked("mnuControlType2")) return;
  // Worked out afresh for this switch; the frame loop keeps the centre it found at its start.
  const int32_t centerX = ScreenCenter(platform_.screenWidthTwips(), platform_.twipsPerPixelX());
  const int32_t centerY = ScreenCenter(platform_.screenHeightTwips(), platform_.twipsPerPixelY());
  // The first mouse-look frame measures movement from here, so the view does not jump.
  platform_.SetCursorPos(centerX, centerY);
  platform_.GetAsyncKeyState(kVkUp);
  platform_.setMenuChecked("mnuControlType2", true);
  platform_.setMenuChecked("mnuControlType1", false);
  type_ = kMouseLookScheme;
  platform_.ShowCursor(false);
}

void ControlScheme::MouseUp(int16_t button) {
  if (button != kRightButton) return;
  type_ = kKeyboardScheme;
  SwitchToKeyboard();
}

void ControlScheme::ShowHelp() {
  const std::string_view text = HelpText(type_);
  if (!text.empty()) platform_.messageBox(std::string(text));
}

}  // namespace kwellor
