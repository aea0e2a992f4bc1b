// Binds the engine library's 24 operations by name at run time.
#pragma once

#include <memory>
#include <string>

#include "engine/engine.h"

namespace kwellor {

// The library to bind: the file named by KWELLOR_ENGINE when set and non-empty, else
// libzelnary3.so in the executable's folder.
std::string EngineLibraryPath(const std::string& exeDir);

// Loads the library and binds all 24 operations. On failure returns nullptr and sets error to
// a text naming the library (with the loader's reason) or the missing function.
std::unique_ptr<Engine> BindEngine(const std::string& libraryPath, std::string& error);

}  // namespace kwellor
