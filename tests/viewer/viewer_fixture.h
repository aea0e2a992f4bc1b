// The form wired to the two fakes, with helpers that run whole starts and frames.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "app/menu_design.h"
#include "platform/virtual_keys.h"
#include "tests/viewer/fake_engine.h"
#include "tests/viewer/fake_platform.h"

namespace kwellor::fakes {

class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest() {
    platform.commandLineText = "/w/town.wld";
    platform.fileNames["/w/town.wld"] = "town.wld";
  }

  // Runs the whole program; Escape goes down during pump number `frames`. `between` runs in
  // every pump before that, with the pump's number. Returns true when the program was ended
  // through endProgram rather than by returning.
  bool Run(int frames, const std::function<void(int)>& between = {}) {
    platform.onPump = [this, frames, between](int pump) {
      if (between) between(pump);
      if (pump >= frames) platform.keysDown.insert(kVkEscape);
    };
    try {
      exitStatus = form.Load();
    } catch (const ProgramEnded&) {
      return true;
    }
    return false;
  }

  // The log lines that start with prefix, in order.
  std::vector<std::string> Calls(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : log) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }

  // The log from the first line equal to `line` on (empty when absent).
  std::vector<std::string> LogFrom(std::string_view line) const {
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == line) return {log.begin() + static_cast<std::ptrdiff_t>(i), log.end()};
    }
    return {};
  }

  void AddCamera(CameraHandle handle, int32_t chaseType) {
    FakeCamera camera;
    camera.handle = handle;
    camera.chaseType = chaseType;
    engine.worldCameras.push_back(camera);
  }

  // The index of the first log line equal to `line`; the log's length when absent.
  size_t IndexOf(std::string_view line) const {
    return static_cast<size_t>(std::find(log.begin(), log.end(), line) - log.begin());
  }

  std::vector<std::string> log;
  int exitStatus = -1;  // what Load returned
  FakeEngine engine{log};
  FakePlatform platform{log};
  Form1 form{engine, platform};
};

}  // namespace kwellor::fakes
