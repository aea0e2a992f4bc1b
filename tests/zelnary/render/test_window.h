// A plain X window on the test's own connection, kept behind functions so that no X11 header
// meets GoogleTest (None and Bool are macros there).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace znr::test {

class TestWindow {
 public:
  TestWindow();
  ~TestWindow();
  // false: no X display.
  bool open(int width, int height);
  uint32_t id() const;
  // The window's pixels as 0xRRGGBB, row by row; empty when they cannot be read.
  std::vector<uint32_t> read_back(int width, int height);
  void resize(int width, int height);
  void set_mapped(bool mapped);  // waits until the server has done it
  void destroy();                // the id stays known, the window is gone
  // The windows inside this one, as the server sees them now.
  struct Child {
    uint32_t id;
    int width, height;
    bool mapped;
  };
  std::vector<Child> children();
  // Installs a handler on the test's connection that counts errors, then asks for the
  // attributes of window id; returns how many errors that handler has seen.
  static void count_errors_in_own_handler();
  int query_window_and_count_errors(uint32_t id);
  static void restore_default_handler();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr::test
