#include "app/command_line.h"

namespace kwellor {

ProgramRequest RequestOf(const std::string& commandLine, bool fileExists) {
  if (fileExists) return ProgramRequest::kRun;
  if (commandLine == "--help") return ProgramRequest::kHelp;
  if (commandLine == "--version") return ProgramRequest::kVersion;
  return ProgramRequest::kRun;
}

std::string UsageText() {
  return "Usage: kwellor [WORLD]\n"
         "Flies through a 3D world: a *.wld, *.vindle or *.zelnary file, with its textures in a\n"
         "folder 'bitmaps' beside it. Without WORLD an Open dialog asks for one. The whole\n"
         "command line is the world's path, spaces included.\n"
         "\n"
         "  --help     this text (when no file of that name exists)\n"
         "  --version  the version (likewise)\n"
         "\n"
         "Keys: Up/Down throttle, Left/Right turn (with Shift: pan), A/Z pitch, Escape leaves;\n"
         "Control > Type2 for mouse look. KWELLOR_ENGINE names the engine library to bind.\n";
}

std::string VersionText() {
  return "kwellor " KWELLOR_VERSION "\n";
}

}  // namespace kwellor
