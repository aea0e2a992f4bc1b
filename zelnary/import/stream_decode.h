// Reading the importer's stream (stream_format.h) into a Scene. Nothing in the stream is
// trusted: every count and size is checked against the world format's caps and against the
// bytes actually present before memory is taken, so a lying or broken importer gives an error,
// never a crash or an unbounded allocation.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zelnary/scene/scene.h"

namespace znr {

struct DecodedImport {
  Scene scene;  // world axes and the file's units; cameras are the file's own, chase None
  std::vector<std::string> warnings;  // textures that fell back to the pattern, one line each
};

// false: error says what is wrong. An Error record from the importer gives its reason as is;
// anything else wrong starts "malformed stream: ".
bool decode_import_stream(std::span<const uint8_t> bytes, DecodedImport& out, std::string& error);

}  // namespace znr
