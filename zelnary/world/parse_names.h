// The parser's entry point for load_world, which also wants the texture names the file uses
// (for its warnings); the Scene keeps only the file names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zelnary/world/load_world.h"

namespace znr::world_detail {

// The parse behind parse_world, which also names the textures. A text of at least two parts of
// part_bytes is parsed in parts on every usable core, with the same result as on one thread
// (and the same first error); progress, when given, counts the parts done.
constexpr size_t kWorldPartBytes = size_t{4} << 20;
bool parse_world_named(std::string_view text, const std::string& file_name, Scene& out,
                       std::vector<std::string>& texture_names, WorldLoadError& error,
                       LoadProgress* progress = nullptr, size_t part_bytes = kWorldPartBytes);

// The parallel parse on its own: the text cut at line ends into parts of about part_bytes.
// false: anything but a clean parse (an error, a limit, counts that do not hold), which the
// serial parse then reports as it always does; out is then partly filled.
bool parse_in_parts(std::string_view text, const std::string& file, Scene& out,
                    std::vector<std::string>& texture_names, WorldLoadError& error,
                    size_t part_bytes, LoadProgress* progress = nullptr);

}  // namespace znr::world_detail
