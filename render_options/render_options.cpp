#include "render_options/render_options.h"

#include "platform/virtual_keys.h"

namespace kwellor {
namespace {

struct Level {
  std::string_view item;
  double accuracy;
};

Level LevelOf(QualityLevel level) {
  switch (level) {
    case QualityLevel::kMedium:
      return {"mnuMedium", 3.0};
    case QualityLevel::kHigh:
      return {"mnuHigh", 1000.0};
    case QualityLevel::kLow:
      break;
  }
  return {"mnuLow", 0.0};
}

}  // namespace

void RenderOptions::UncheckQualityMenus() {
  platform_.setMenuChecked("mnuLow", false);
  platform_.setMenuChecked("mnuHigh", false);
  platform_.setMenuChecked("mnuMedium", false);
}

void RenderOptions::Select(QualityLevel level) {
  const Level chosen = LevelOf(level);
  UncheckQualityMenus();
  platform_.setMenuChecked(chosen.item, true);
  engine_.ZNR_engine_set_perspective_correction_accuracy(chosen.accuracy);
}

void RenderOptions::ToggleCard() {
  // The mark flips before the engine hears of it, whatever the engine then does.
  const bool use = !platform_.menuChecked("mnu3Dcard");
  platform_.setMenuChecked("mnu3Dcard", use);
  engine_.ZNR_engine_use_3D_accelerator_card(use ? 1 : 0);
}

void RenderOptions::KeyDown() {
  for (int32_t key : {kVkControl, kVkAlt, kVkV}) {
    if (platform_.GetAsyncKeyState(key) >= 0) return;
  }
  ToggleCard();
}

}  // namespace kwellor
