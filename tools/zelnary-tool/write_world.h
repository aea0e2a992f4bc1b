// Writing a scene as a world file (docs/world-format.md) with its textures as PNG files in a
// bitmaps folder beside it: what `zelnary-tool import` leaves for a user to edit by hand.
#pragma once

#include <string>

#include "zelnary/scene/scene.h"

namespace znr::tool {

// Writes dir/NAME.wld and dir/bitmaps/*.png, creating the folders. false: error says why.
bool write_world(const Scene& scene, const std::string& dir, const std::string& name,
                 std::string& error);

}  // namespace znr::tool
