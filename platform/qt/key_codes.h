// Windows virtual-key codes and their X keysyms, both ways. Pure tables: no X11 or Qt
// headers, so tests and Qt code can include this.
#pragma once

#include <cstdint>
#include <vector>

namespace kwellor::qt {

// The X keysyms that a virtual key stands for (Shift: both Shift keys, and so on); empty for
// a code this platform does not map. Mouse-button codes are not keys and give none.
std::vector<uint32_t> KeysymsOfVirtualKey(int32_t virtualKey);

// The virtual key of an X keysym (letters of either case give the same key); 0 when none.
int32_t VirtualKeyOfKeysym(uint32_t keysym);

// The virtual key of a Qt key code (Qt::Key), for key events that carry no X keycode.
int32_t VirtualKeyOfQtKey(int qtKey);

// The shift argument of key and mouse events: 1 Shift, 2 Ctrl, 4 Alt.
int16_t ShiftState(bool shift, bool control, bool alt);

}  // namespace kwellor::qt
