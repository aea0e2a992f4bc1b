// Keyboard and mouse input injected into the X server through XTest, as a user would type.
// X11 headers stay in the .cpp (None and Bool are macros that clash with Qt and GoogleTest).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>

namespace kwellor::testing {

// Keysyms used by the tests (X protocol values).
namespace keysym {
constexpr uint32_t kShiftL = 0xffe1, kShiftR = 0xffe2, kControlL = 0xffe3, kAltL = 0xffe9;
constexpr uint32_t kEscape = 0xff1b, kReturn = 0xff0d, kLeft = 0xff51, kUp = 0xff52, kF8 = 0xffc5;
}  // namespace keysym

class FakeInput {
 public:
  FakeInput();  // opens its own connection to DISPLAY
  ~FakeInput();
  bool connected() const;

  void press(uint32_t keysym);
  void release(uint32_t keysym);
  // Holds the modifiers, taps the key, lets go of the modifiers in reverse order.
  void tap(uint32_t keysym, std::initializer_list<uint32_t> modifiers = {});
  void movePointer(int x, int y);
  void click(int button);  // 1 left, 2 middle, 3 right
  void pressButton(int button);
  void releaseButton(int button);
  // The pointer's place on the screen.
  void pointer(int& x, int& y);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kwellor::testing
