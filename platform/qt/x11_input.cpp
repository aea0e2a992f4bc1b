#include "platform/qt/x11_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <array>

#include "platform/qt/key_codes.h"

namespace kwellor::qt {

bool DisplayReachable() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

struct X11Input::Impl {
  Display* display = nullptr;
  int minKeycode = 0;
  int maxKeycode = 0;
};

X11Input::X11Input() : impl_(std::make_unique<Impl>()) {
  impl_->display = XOpenDisplay(nullptr);
  if (impl_->display) XDisplayKeycodes(impl_->display, &impl_->minKeycode, &impl_->maxKeycode);
}

X11Input::~X11Input() {
  if (impl_->display) XCloseDisplay(impl_->display);
}

bool X11Input::connected() const {
  return impl_->display != nullptr;
}

bool X11Input::isDown(int32_t vk) {
  Display* d = impl_->display;
  if (!d) return false;
  if (vk == 0x01 || vk == 0x02 || vk == 0x04) {  // left, right, middle mouse button
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask);
    const unsigned int button = vk == 0x01 ? Button1Mask : vk == 0x02 ? Button3Mask : Button2Mask;
    return (mask & button) != 0;
  }
  // Every keycode that carries one of the key's keysyms on its unshifted level counts, so
  // both Shift keys answer for Shift and keys mapped twice are seen either way.
  const std::vector<uint32_t> keysyms = KeysymsOfVirtualKey(vk);
  if (keysyms.empty()) return false;
  std::array<char, 32> keys{};
  XQueryKeymap(d, keys.data());
  for (int code = impl_->minKeycode; code <= impl_->maxKeycode && code < 256; ++code) {
    if (!(keys[static_cast<size_t>(code / 8)] & (1 << (code % 8)))) continue;
    const KeySym sym = XkbKeycodeToKeysym(d, static_cast<KeyCode>(code), 0, 0);
    for (uint32_t k : keysyms)
      if (sym == k) return true;
  }
  return false;
}

int32_t X11Input::virtualKeyOfKeycode(uint32_t keycode) {
  if (!impl_->display || keycode > 255) return 0;
  const KeySym sym = XkbKeycodeToKeysym(impl_->display, static_cast<KeyCode>(keycode), 0, 0);
  return VirtualKeyOfKeysym(static_cast<uint32_t>(sym));
}

void X11Input::nameWindow(uint64_t window, const std::string& name) {
  if (!impl_->display || window == 0) return;
  XStoreName(impl_->display, static_cast<Window>(window), name.c_str());
  XFlush(impl_->display);
}

}  // namespace kwellor::qt
