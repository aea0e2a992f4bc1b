// Writing the generated textures: PNG through libpng, BMP (24-bit, uncompressed) by hand.
#pragma once

#include <string>

#include "pixmap.h"

namespace worldgen {

// false: error says why.
bool write_png(const std::string& path, const Pixmap& image, std::string& error);
bool write_bmp(const std::string& path, const Pixmap& image, std::string& error);

}  // namespace worldgen
