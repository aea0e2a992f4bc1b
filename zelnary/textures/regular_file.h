// Reading a whole file that must be a regular one (world files, texture files). A FIFO, a
// device or a socket would block a plain open or read for ever, so the file is opened without
// blocking and the descriptor itself is checked before anything is read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace znr {

struct FileBytes {
  std::unique_ptr<char[]> bytes;  // size + 1 bytes, the last one free for the caller
  size_t size = 0;
};

enum class FileStatus { Ok, Failed, TooLarge };

// Failed: error says why ("cannot open: ...", "not a regular file", "cannot read: ...").
// TooLarge: the file holds more than max_bytes; nothing was read.
FileStatus read_regular_file(const std::string& path, uint64_t max_bytes, FileBytes& out,
                             std::string& error);

// The first max_bytes of a regular file (fewer if it is shorter), for a look at its kind.
// false: error says why, as above.
bool read_regular_head(const std::string& path, size_t max_bytes, std::string& head,
                       std::string& error);

}  // namespace znr
