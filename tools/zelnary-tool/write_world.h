// Writing a scene as a world file (docs/world-format.md) with its textures as PNG files in a
// bitmaps folder beside it: what `zelnary-tool import` leaves for a user to edit by hand.
#pragma once

#include <string>

#include "zelnary/scene/scene.h"

namespace znr::tool {

// Writes dir/NAME.wld and dir/bitmaps/*.png, creating the folders. All of it is written into
// a staging folder first and moved into place only when complete, the world last. A file
// already there is replaced only with force; otherwise nothing is written. false: error says
// why (with the system's reason: "No space left on device"), and no file of the user's changed.
bool write_world(const Scene& scene, const std::string& dir, const std::string& name, bool force,
                 std::string& error);

}  // namespace znr::tool
