// Writing an image (texels 0xAARRGGBB) as an RGB PNG file through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zelnary/scene/image.h"

namespace znr {

// false: error says why (cannot create the file, empty image, libpng failure).
bool write_png(const std::string& path, const Image& image, std::string& error);

// The same PNG in memory, for callers that write the file themselves.
bool encode_png(const Image& image, std::vector<uint8_t>& out, std::string& error);

}  // namespace znr
