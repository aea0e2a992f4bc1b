// FormEvents that writes down every event it gets, in order, as short texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kwellor::testing {

class RecordingEvents : public FormEvents {
 public:
  void Form_Resize() override { log.push_back("Resize"); }
  void Form_Unload(int16_t&) override { log.push_back("Unload"); }
  void Form_KeyDown(int16_t keyCode, int16_t shift) override {
    log.push_back("KeyDown " + std::to_string(keyCode) + " " + std::to_string(shift));
  }
  void Picture1_MouseUp(int16_t button, int16_t shift, float, float) override {
    log.push_back("MouseUp " + std::to_string(button) + " " + std::to_string(shift));
  }
  void MenuClick(std::string_view name) override {
    log.push_back("Menu " + std::string(name));
    if (onMenu) onMenu(name);
  }

  int count(const std::string& entry) const {
    int n = 0;
    for (const auto& e : log) n += e == entry;
    return n;
  }

  std::vector<std::string> log;
  std::function<void(std::string_view)> onMenu;
};

}  // namespace kwellor::testing
