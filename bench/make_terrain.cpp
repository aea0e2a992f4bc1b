// Writes a generated terrain of about N triangles to a file, for the scripts that time whole
// processes on it: a glTF file (bench/gltf_terrain.h), or with "world" first a world file
// (bench/big_world.h).
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fstream>

#include "bench/big_world.h"
#include "bench/gltf_terrain.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "world") {
    std::ofstream(argv[3], std::ios::binary)
        << znr::bench::big_world_text(std::strtoull(argv[2], nullptr, 10));
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_terrain [world] TRIANGLES OUT\n");
    return 2;
  }
  znr::bench::write_gltf_terrain(argv[2], std::strtoull(argv[1], nullptr, 10));
  return 0;
}
