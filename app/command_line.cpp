#include "app/command_line.h"

namespace kwellor {

ProgramRequest RequestOf(const std::string& commandLine, bool fileExists) {
  if (fileExists) return ProgramRequest::kRun;
  if (commandLine == "--help") return ProgramRequest::kHelp;
  if (commandLine == "--version") return ProgramRequest::kVersion;
  return ProgramRequest::kRun;
}

std::string UsageText() {
  return "Usage: kwellor [WORLD | MODEL]\n"
         "Flies through a 3D world: a *.wld, *.vindle or *.zelnary file, with its textures in a\n"
         "folder 'bitmaps' beside it, or a 3D model (glTF, GLB, OBJ, FBX, COLLADA, 3DS, PLY, STL\n"
         "and the other formats assimp reads) opened as a world. Without a file an Open dialog\n"
         "asks for one. The whole command line is the file's path, spaces included.\n"
         "\n"
         "  --help     this text (when no file of that name exists)\n"
         "  --version  the version (likewise)\n"
         "\n"
         "Keys: Up/Down throttle, Left/Right turn (with Shift: pan), A/Z pitch, Ctrl+S/Ctrl+X\n"
         "next/previous camera, F8 automatic cameras, Ctrl+Alt+V the 3D card (OpenGL), Escape\n"
         "leaves; Control > Type2 for mouse look. KWELLOR_ENGINE names the engine library to\n"
         "bind; ZELNARY_IMPORT_UP=x|y|z|-x|-y|-z the model file's axis that points up.\n";
}

std::string VersionText() {
  return "kwellor " KWELLOR_VERSION "\n";
}

}  // namespace kwellor
