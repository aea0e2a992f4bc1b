// The file system the importer gives assimp: files are opened for reading only, and only when
// they are regular files. A FIFO, a device or a socket named by the model (or as the model)
// would otherwise block the child or feed it without end.
#pragma once

#include <assimp/DefaultIOSystem.h>

namespace znr::importer {

class RegularFilesOnly : public Assimp::DefaultIOSystem {
 public:
  bool Exists(const char* path) const override;
  Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;
};

// True when path names a regular file, checked without blocking.
bool is_regular_file(const char* path);

}  // namespace znr::importer
