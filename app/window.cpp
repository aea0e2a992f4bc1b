// The main window's own handlers: resize, unload, Exit and About.
#include "app/error_modes.h"
#include "app/form1.h"

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
    quitRequested = true;
    platform_.ShowCursor(true);
  });
}

void Form1::mnuExit_Click() {
  platform_.unload();
}

void Form1::mnuAbout_Click() {
  platform_.showAboutBox();
}

}  // namespace kwellor
