// Writes a canvas as a 24-bit PNG or a colour JPEG.
#pragma once

#include <string>

#include "canvas.h"

namespace artgen {

// false, with the reason in error, when the file cannot be written.
bool WritePng(const Canvas& canvas, const std::string& path, std::string& error);
bool WriteJpeg(const Canvas& canvas, const std::string& path, int quality, std::string& error);

}  // namespace artgen
