// Reading a world file into a Scene. The format is described in docs/world-format.md.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "zelnary/core/load_progress.h"
#include "zelnary/scene/scene.h"

namespace znr {

// What went wrong with a world file, for callers and tests that act on the kind of failure.
enum class WorldError {
  None,
  Io,                // the file cannot be opened or read
  Limit,             // a cap is exceeded: file size, line length, counts, polygon size
  Version,           // the first line is not "zelnary-world 1"
  UnknownKeyword,    // a line starts with a word the format does not know
  Syntax,            // missing or extra words, a bad option, a statement out of place
  BadNumber,         // a word that should be a number is not one
  OutOfRange,        // a number that is not finite, or outside what its field allows
  UnknownReference,  // a texture or object name that the file does not declare
  Duplicate,         // a name declared twice, or a setting given twice
  BadPolygon,        // a polygon with fewer than three vertices
  Unterminated,      // the file ends inside an object block
  Cancelled,         // the caller asked the load to stop (LoadProgress::cancel)
};

struct WorldLoadError {
  WorldError kind = WorldError::None;
  size_t line = 0;      // 1-based; 0 when the error concerns the file as a whole
  std::string message;  // "FILE:LINE: what" (or "FILE: what")
};

// Parses the text of a world file. false: error holds "FILE:LINE: message". Textures are
// named but not loaded (their images stay empty).
bool parse_world(std::string_view text, const std::string& file_name, Scene& out,
                 std::string& error);
bool parse_world(std::string_view text, const std::string& file_name, Scene& out,
                 WorldLoadError& error);

// Reads and parses the world file, then loads its textures from bitmaps_dir (from the folder
// "bitmaps" beside the world file when bitmaps_dir is empty). A missing or broken texture is a
// warning on standard error and a fallback pattern; the load goes on. false: the error is
// printed on standard error, error holds "FILE:LINE: message" (or "FILE: message") and out is
// left empty. progress, when given, hears of the reading and of each texture, and its cancel
// stops the load after the parse or between two textures.
bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                std::string& error, LoadProgress* progress = nullptr);
bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                WorldLoadError& error, LoadProgress* progress = nullptr);

}  // namespace znr
