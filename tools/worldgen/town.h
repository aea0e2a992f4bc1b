// The sample world's geometry, objects and cameras as world-file text.
#pragma once

#include <cstddef>
#include <string>

namespace worldgen {

// The text of town.wld; polygon_count receives the number of polygons written.
std::string town_world(size_t& polygon_count);

}  // namespace worldgen
