// Reading a model file with assimp and writing it as an import stream: textures (the files'
// bytes, decoded later by the engine), materials, moving objects for animated nodes, triangles
// in world axes, and the file's cameras.
#pragma once

#include <string>

#include "stream_writer.h"

namespace znr::importer {

// CPU seconds (the benchmark's split between assimp and our side).
struct ReadTimings {
  double assimp_seconds = 0.0;   // assimp reading and post-processing the file
  double convert_seconds = 0.0;  // our walk over its scene, writing the stream
};

// 0: the stream is complete. 1: the file could not be read; an Error record says why. 2: the
// reader went away.
int read_model(const std::string& path, StreamWriter& out, ReadTimings* timings = nullptr);

// Every file pattern assimp reads, lower case, sorted, ';' between: "*.3d;*.3ds;...".
std::string model_patterns();

}  // namespace znr::importer
