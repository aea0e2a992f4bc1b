// libFuzzer harness for the world parser: any text gives a scene or an error naming a line,
// never a crash, and a failed parse leaves the scene empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zelnary/world/load_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  znr::Scene scene;
  std::string error;
  const bool ok = znr::parse_world(text, "fuzz.wld", scene, error);
  if (ok) {
    for (const znr::Polygon& p : scene.polygons) {
      if (p.vertex_count < 3 || p.first_vertex + p.vertex_count > scene.vertices.size()) {
        std::abort();
      }
      if (p.texture >= static_cast<int32_t>(scene.textures.size())) std::abort();
      if (p.object >= static_cast<int32_t>(scene.objects.size())) std::abort();
    }
    for (const znr::Placement& p : scene.placements) {
      if (p.object < 0 || p.object >= static_cast<int32_t>(scene.objects.size()) ||
          !scene.objects[static_cast<size_t>(p.object)].shared) {
        std::abort();
      }
    }
  } else if (error.empty() || !scene.polygons.empty() || !scene.vertices.empty()) {
    std::abort();
  }
  return 0;
}
