// Reading a world file into a Scene.
#pragma once

#include <string>
#include <string_view>

#include "zelnary/scene/scene.h"

namespace znr {

// Parses the text of a world file. false: error holds "FILE:LINE: message". Textures are
// named but not loaded (their images stay empty).
bool parse_world(std::string_view text, const std::string& file_name, Scene& out,
                 std::string& error);

// Reads and parses the world file, then loads its textures from bitmaps_dir. A missing or
// broken texture is a warning on standard error and a fallback pattern; the load goes on.
// false: error holds "FILE:LINE: message" (or "FILE: message") and out is left empty.
bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                std::string& error);

}  // namespace znr
