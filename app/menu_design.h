// The main window's menu bar as designed: names, captions with access keys, shortcuts and the
// check marks at load, in menu order.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace kwellor {

std::vector<MenuItem> MainMenuDesign();

}  // namespace kwellor
