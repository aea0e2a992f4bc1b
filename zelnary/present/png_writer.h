// Writing an image (texels 0xAARRGGBB) as an RGB PNG file through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zelnary/scene/image.h"

namespace znr {

// zlib's compression levels: the default, and the fastest (for a rendered 1920x1080 picture,
// a third of the time in a file about twice as large).
constexpr int kPngSmall = 6, kPngFast = 1;

// Writes the file whole or not at all: beside it first, then moved over whatever was there.
// false: error says why (cannot create the file, empty image, libpng failure).
bool write_png(const std::string& path, const Image& image, std::string& error,
               int level = kPngSmall);

// The same PNG in memory, for callers that write the file themselves.
bool encode_png(const Image& image, std::vector<uint8_t>& out, std::string& error,
                int level = kPngSmall);

}  // namespace znr
