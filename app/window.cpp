// The main window's own handlers: resize and unload.
#include "app/form1.h"
#include "platform/error_modes.h"

namespace kwellor {

void Form1::Form_Resize() {
  SilentTrap([&] {
    // Outer size less the frame, title and menu bars; a refused height keeps the width too.
    const float height = platform_.windowHeightTwips() - 730.0f;
    if (!(height >= 0.0f) || !platform_.setPictureHeight(height)) return;
    const float width = platform_.windowWidthTwips() - 150.0f;
    if (!(width >= 0.0f) || !platform_.setPictureWidth(width)) return;
  });
}

void Form1::Form_Unload(int16_t& /*cancel: an unload always goes through*/) {
  SilentTrap([&] {
    if (engine_.ZNR_engine_is_engine_empty() == 0) engine_.ZNR_engine_close();
    quitRequested_ = true;
    platform_.ShowCursor(true);
  });
}

}  // namespace kwellor
