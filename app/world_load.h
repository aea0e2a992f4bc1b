// Loading the world behind the splash, with the GUI kept live while the engine works.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "platform/platform.h"

namespace kwellor {

struct WorldLoad {
  int32_t result = -1;     // what ZNR_engine_load_world returned
  bool cancelled = false;  // Cancel was pressed: the result no longer counts
};

// How often the GUI thread looks at the load's progress and the Cancel button.
constexpr int32_t kLoadPollMs = 40;

// Makes the one ZNR_engine_load_world call of start-up with the splash open. An engine that
// reports its progress loads on a worker thread while this thread runs the window events: the
// splash repaints, shows the step and, when the engine can stop a load, offers Cancel. Any
// other engine loads on this thread, as one blocking call.
WorldLoad LoadBehindSplash(Engine& engine, Platform& platform, const std::string& path,
                           const std::string& texturesFolder);

// The splash's line for a step of ZNR_engine_get_load_progress.
std::string LoadStepText(int32_t step, int32_t done, int32_t total);

}  // namespace kwellor
