#include "fake_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <vector>

namespace kwellor::testing {

struct FakeInput::Impl {
  Display* display = nullptr;
  void key(uint32_t sym, bool down) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0) return;
    XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
    XSync(display, False);
  }
};

FakeInput::FakeInput() : impl_(std::make_unique<Impl>()) {
  impl_->display = XOpenDisplay(nullptr);
}

FakeInput::~FakeInput() {
  if (impl_->display) XCloseDisplay(impl_->display);
}

bool FakeInput::connected() const {
  return impl_->display != nullptr;
}

void FakeInput::press(uint32_t sym) {
  impl_->key(sym, true);
}

void FakeInput::release(uint32_t sym) {
  impl_->key(sym, false);
}

void FakeInput::tap(uint32_t sym, std::initializer_list<uint32_t> modifiers) {
  for (uint32_t m : modifiers) press(m);
  press(sym);
  release(sym);
  std::vector<uint32_t> reversed(modifiers);
  for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) release(*it);
}

void FakeInput::movePointer(int x, int y) {
  XTestFakeMotionEvent(impl_->display, -1, x, y, CurrentTime);
  XSync(impl_->display, False);
}

void FakeInput::pressButton(int button) {
  XTestFakeButtonEvent(impl_->display, static_cast<unsigned>(button), True, CurrentTime);
  XSync(impl_->display, False);
}

void FakeInput::releaseButton(int button) {
  XTestFakeButtonEvent(impl_->display, static_cast<unsigned>(button), False, CurrentTime);
  XSync(impl_->display, False);
}

void FakeInput::click(int button) {
  pressButton(button);
  releaseButton(button);
}

void FakeInput::pointer(int& x, int& y) {
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(impl_->display, DefaultRootWindow(impl_->display), &root, &child, &x, &y, &wx, &wy,
                &mask);
}

}  // namespace kwellor::testing
