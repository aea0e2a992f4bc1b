// Perspective-correction quality and the 3D accelerator card. The menu check marks are the
// only record of either setting.
#include "app/error_modes.h"
#include "app/form1.h"
#include "app/virtual_keys.h"

namespace kwellor {
namespace {

constexpr double kLowAccuracy = 0.0;
constexpr double kMediumAccuracy = 3.0;
constexpr double kHighAccuracy = 1000.0;

}  // namespace

void Form1::UncheckQualityMenus() {
  platform_.setMenuChecked("mnuLow", false);
  platform_.setMenuChecked("mnuHigh", false);
  platform_.setMenuChecked("mnuMedium", false);
}

void Form1::mnuLow_Click() {
  SelectQualityLevel("mnuLow", kLowAccuracy);
}

void Form1::mnuMedium_Click() {
  SelectQualityLevel("mnuMedium", kMediumAccuracy);
}

void Form1::mnuHigh_Click() {
  SelectQualityLevel("mnuHigh", kHighAccuracy);
}

// No test whether the level is already in force: choosing it again repeats every step.
void Form1::SelectQualityLevel(std::string_view item, double accuracy) {
  SilentTrap([&] {
    UncheckQualityMenus();
    platform_.setMenuChecked(item, true);
    engine_.ZNR_engine_set_perspective_correction_accuracy(accuracy);
  });
}

void Form1::mnu3Dcard_Click() {
  SilentTrap([&] {
    // The mark flips before the engine hears of it, whatever the engine then does.
    if (platform_.menuChecked("mnu3Dcard")) {
      platform_.setMenuChecked("mnu3Dcard", false);
      engine_.ZNR_engine_use_3D_accelerator_card(0);
    } else {
      platform_.setMenuChecked("mnu3Dcard", true);
      engine_.ZNR_engine_use_3D_accelerator_card(1);
    }
  });
}

void Form1::Form_KeyDown(int16_t /*keyCode*/, int16_t /*shift*/) {
  // The live key state decides, not the event's key; the queries stop at the first key up.
  SilentTrap([&] {
    if (!IsKeyDown(kVkControl)) return;
    if (!IsKeyDown(kVkAlt)) return;
    if (!IsKeyDown(kVkV)) return;
    mnu3Dcard_Click();
  });
}

}  // namespace kwellor
