// Opening a file of another format (glTF, OBJ, FBX, COLLADA, ...) as a world: zelnary-import
// reads it in a child process, the stream is checked and decoded, and the scene is fitted and
// given cameras (build_scene.h).
#pragma once

#include <string>

#include "zelnary/import/build_scene.h"
#include "zelnary/import/run_importer.h"
#include "zelnary/scene/scene.h"

namespace znr {

// True when the file is to be read as a world: its first line starts with the word
// "zelnary-world", or its name ends in .wld, .vindle or .zelnary. Everything else is imported.
bool is_world_file(const std::string& path);

// Where the engine's time in an import went, for the benchmark: CPU seconds of the calling
// thread, which stay meaningful on a busy machine.
struct ImportTimings {
  double read_seconds = 0.0;    // starting the importer and taking in its stream
  double decode_seconds = 0.0;  // checking the stream and building polygons and textures
  double build_seconds = 0.0;   // fitting the scale and making the cameras
};

// false: the one line "FILE: import failed: reason" is printed on standard error and held in
// error, and out is empty. On success a scaled scene's note and any texture warnings are
// printed on standard error.
bool import_model(const std::string& path, const std::string& importer,
                  const ImporterLimits& limits, Scene& out, std::string& error,
                  ImportTimings* timings = nullptr);
bool import_model(const std::string& path, Scene& out, std::string& error);

}  // namespace znr
