// Perspective-correction quality and the 3D accelerator card. The menu check marks are the
// only record of either setting: the levels' marks are only written, the card's is read back.
#pragma once

#include <string_view>

#include "engine/engine.h"
#include "platform/platform.h"

namespace kwellor {

enum class QualityLevel { kLow, kMedium, kHigh };

class RenderOptions {
 public:
  RenderOptions(Engine& engine, Platform& platform) : engine_(engine), platform_(platform) {}

  // Marks the level's item alone among the three and passes its accuracy to the engine, even
  // when the level is already in force.
  void Select(QualityLevel level);
  // Clears the marks of Low, High and Medium, in that order.
  void UncheckQualityMenus();
  // Flips the card's mark, then passes the new state to the engine.
  void ToggleCard();
  // Ctrl+Alt+V by the live key state, whatever key the event brought: toggles the card. The
  // queries stop at the first key that is up.
  void KeyDown();

 private:
  Engine& engine_;
  Platform& platform_;
};

}  // namespace kwellor
