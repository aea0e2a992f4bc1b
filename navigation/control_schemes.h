// The control scheme in use (keyboard or mouse look), the switches between the two with the
// cursor requests they make, and the help text of each.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace kwellor {

class ControlScheme {
 public:
  explicit ControlScheme(Platform& platform) : platform_(platform) {}

  // 1 (keyboard), 2 (mouse look); 0 until start-up sets it.
  int32_t type() const { return type_; }
  void set(int32_t type) { type_ = type; }

  // Each switch tests its own item's check mark, not the type: when the item is marked already
  // it makes no call at all. Keyboard shows the cursor once; mouse look centres the pointer and
  // hides the cursor once.
  void SwitchToKeyboard();
  void SwitchToMouseLook();
  // A released mouse button over the picture area: the right one returns to the keyboard.
  void MouseUp(int16_t button);
  // Shows the help text of the scheme in use; nothing for any other type.
  void ShowHelp();

 private:
  Platform& platform_;
  int32_t type_ = 0;
};

// The help text of a scheme, each line ended by a line feed; empty for any other type.
std::string_view HelpText(int32_t type);

}  // namespace kwellor
