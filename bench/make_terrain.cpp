// Writes a generated glTF terrain of about N triangles (bench/gltf_terrain.h) to a file, for
// the scripts that time whole processes on it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/gltf_terrain.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_terrain TRIANGLES OUT.glb\n");
    return 2;
  }
  znr::bench::write_gltf_terrain(argv[2], std::strtoull(argv[1], nullptr, 10));
  return 0;
}
