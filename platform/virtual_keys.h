// Windows virtual-key codes, as the Platform's GetAsyncKeyState takes them.
#pragma once

#include <cstdint>

namespace kwellor {

constexpr int32_t kVkShift = 0x10;
constexpr int32_t kVkControl = 0x11;
constexpr int32_t kVkAlt = 0x12;
constexpr int32_t kVkEscape = 0x1B;
constexpr int32_t kVkLeft = 0x25;
constexpr int32_t kVkUp = 0x26;
constexpr int32_t kVkRight = 0x27;
constexpr int32_t kVkDown = 0x28;
constexpr int32_t kVkA = 0x41;
constexpr int32_t kVkV = 86;
constexpr int32_t kVkZ = 0x5A;

}  // namespace kwellor
