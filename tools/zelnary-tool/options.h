// The command line of zelnary-tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace znr::tool {

struct RenderOptions {
  std::string world;
  int32_t camera = 1;  // engine handle; 0 = a new camera at the origin looking along -x
  int32_t width = 0, height = 0;
  std::string out;
  double time = 0.0;      // world seconds after the load
  double accuracy = 0.0;  // perspective correction
  bool gl = false;        // through OpenGL (EGL, no window system needed)
};

struct Command {
  enum Kind { Check, Render, Import, Help } kind = Check;
  std::string world;           // check
  RenderOptions render;        // render
  std::string model, out_dir;  // import
  bool force = false;          // import: replace a world (and textures) already there
  std::string up;              // --up: a model's up axis (empty: the importer's own choice)
  std::string animation;       // --animation: which animation plays (empty: the first)
};

// nullopt: error says what is wrong with the arguments.
std::optional<Command> parse_command(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace znr::tool
