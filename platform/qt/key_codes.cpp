#include "platform/qt/key_codes.h"

#include <Qt>
#include <array>

namespace kwellor::qt {
namespace {

// Keysym values from the X protocol's keysym table (keysymdef.h), kept here so this file
// needs no X header.
struct KeyPair {
  int32_t vk;
  uint32_t keysym;
};
constexpr std::array<KeyPair, 42> kFixed{{
    {0x08, 0xff08},                  // BackSpace
    {0x09, 0xff09},                  // Tab
    {0x0D, 0xff0d},                  // Return
    {0x0D, 0xff8d},                  // KP_Enter
    {0x10, 0xffe1}, {0x10, 0xffe2},  // Shift_L, Shift_R
    {0x11, 0xffe3}, {0x11, 0xffe4},  // Control_L, Control_R
    {0x12, 0xffe9}, {0x12, 0xffea},  // Alt_L, Alt_R
    {0x12, 0xffe7}, {0x12, 0xffe8},  // Meta_L, Meta_R (Alt on some keymaps)
    {0x13, 0xff13},                  // Pause
    {0x14, 0xffe5},                  // Caps_Lock
    {0x1B, 0xff1b},                  // Escape
    {0x20, 0x0020},                  // space
    {0x21, 0xff55},                  // Prior (Page Up)
    {0x22, 0xff56},                  // Next (Page Down)
    {0x23, 0xff57},                  // End
    {0x24, 0xff50},                  // Home
    {0x25, 0xff51},                  // Left
    {0x26, 0xff52},                  // Up
    {0x27, 0xff53},                  // Right
    {0x28, 0xff54},                  // Down
    {0x2D, 0xff63},                  // Insert
    {0x2E, 0xffff},                  // Delete
    {0x6A, 0xffaa},                  // KP_Multiply
    {0x6B, 0xffab},                  // KP_Add
    {0x6D, 0xffad},                  // KP_Subtract
    {0x6E, 0xffae},                  // KP_Decimal
    {0x6F, 0xffaf},                  // KP_Divide
    {0x90, 0xff7f},                  // Num_Lock
    {0x91, 0xff14},                  // Scroll_Lock
    {0xA0, 0xffe1},                  // left Shift
    {0xA1, 0xffe2},                  // right Shift
    {0xA2, 0xffe3},                  // left Ctrl
    {0xA3, 0xffe4},                  // right Ctrl
    {0xA4, 0xffe9},                  // left Alt
    {0xA5, 0xffea},                  // right Alt
    {0x5B, 0xffeb},                  // Super_L (left Windows key)
    {0x5C, 0xffec},                  // Super_R
    {0x5D, 0xff67},                  // Menu
}};

constexpr uint32_t kKeysymF1 = 0xffbe;
constexpr uint32_t kKeysymKp0 = 0xffb0;

}  // namespace

std::vector<uint32_t> KeysymsOfVirtualKey(int32_t vk) {
  std::vector<uint32_t> out;
  if (vk >= 'A' && vk <= 'Z') {
    out = {static_cast<uint32_t>(vk), static_cast<uint32_t>(vk - 'A' + 'a')};
  } else if (vk >= '0' && vk <= '9') {
    out = {static_cast<uint32_t>(vk)};
  } else if (vk >= 0x70 && vk <= 0x87) {  // F1 .. F24
    out = {kKeysymF1 + static_cast<uint32_t>(vk - 0x70)};
  } else if (vk >= 0x60 && vk <= 0x69) {  // numeric keypad 0 .. 9
    out = {kKeysymKp0 + static_cast<uint32_t>(vk - 0x60)};
  } else {
    for (const KeyPair& p : kFixed)
      if (p.vk == vk) out.push_back(p.keysym);
  }
  return out;
}

int32_t VirtualKeyOfKeysym(uint32_t keysym) {
  if (keysym >= 'a' && keysym <= 'z') return static_cast<int32_t>(keysym - 'a' + 'A');
  if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9'))
    return static_cast<int32_t>(keysym);
  if (keysym >= kKeysymF1 && keysym < kKeysymF1 + 24)
    return 0x70 + static_cast<int32_t>(keysym - kKeysymF1);
  if (keysym >= kKeysymKp0 && keysym < kKeysymKp0 + 10)
    return 0x60 + static_cast<int32_t>(keysym - kKeysymKp0);
  // The first entry wins, so Shift_L gives the generic Shift rather than left Shift.
  for (const KeyPair& p : kFixed)
    if (p.keysym == keysym) return p.vk;
  return 0;
}

int32_t VirtualKeyOfQtKey(int k) {
  if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 0x70 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Shift:
      return 0x10;
    case Qt::Key_Control:
      return 0x11;
    case Qt::Key_Alt:
    case Qt::Key_Meta:
      return 0x12;
    case Qt::Key_Pause:
      return 0x13;
    case Qt::Key_CapsLock:
      return 0x14;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    case Qt::Key_NumLock:
      return 0x90;
    case Qt::Key_ScrollLock:
      return 0x91;
    default:
      return 0;
  }
}

int16_t ShiftState(bool shift, bool control, bool alt) {
  return static_cast<int16_t>((shift ? 1 : 0) | (control ? 2 : 0) | (alt ? 4 : 0));
}

}  // namespace kwellor::qt
