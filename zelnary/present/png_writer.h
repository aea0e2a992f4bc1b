// Writing an image (texels 0xAARRGGBB) as an RGB PNG file through libpng.
#pragma once

#include <string>

#include "zelnary/scene/image.h"

namespace znr {

// false: error says why (cannot create the file, empty image, libpng failure).
bool write_png(const std::string& path, const Image& image, std::string& error);

}  // namespace znr
