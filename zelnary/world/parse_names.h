// The parser's entry point for load_world, which also wants the texture names the file uses
// (for its warnings); the Scene keeps only the file names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelnary/world/load_world.h"

namespace znr::world_detail {

bool parse_world_named(std::string_view text, const std::string& file_name, Scene& out,
                       std::vector<std::string>& texture_names, WorldLoadError& error);

}  // namespace znr::world_detail
