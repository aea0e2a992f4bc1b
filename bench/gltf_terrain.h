// A generator of large glTF files for the import benchmark: a hilly terrain grid of about N
// triangles as one binary .glb (positions, texture coordinates, 32-bit indices, one material).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace znr::bench {

inline void write_gltf_terrain(const std::string& path, size_t triangles) {
  const auto n =
      static_cast<uint32_t>(std::max(1.0, std::sqrt(static_cast<double>(triangles) / 2)));
  const uint32_t side = n + 1, vertices = side * side;
  const float size = 200.0f;  // metres, as glTF has it
  std::vector<float> pos, uv;
  pos.reserve(size_t{vertices} * 3);
  uv.reserve(size_t{vertices} * 2);
  for (uint32_t j = 0; j < side; ++j)
    for (uint32_t i = 0; i < side; ++i) {
      const float x = size * static_cast<float>(i) / static_cast<float>(n) - size / 2;
      const float z = size * static_cast<float>(j) / static_cast<float>(n) - size / 2;
      pos.insert(pos.end(), {x, 4.0f * std::sin(x * 0.07f) * std::cos(z * 0.05f), z});
      uv.insert(uv.end(), {x * 0.05f, z * 0.05f});
    }
  std::vector<uint32_t> idx;
  idx.reserve(size_t{n} * n * 6);
  for (uint32_t j = 0; j < n; ++j)
    for (uint32_t i = 0; i < n; ++i) {  // counter-clockwise seen from above (+y)
      const uint32_t a = j * side + i, b = a + 1, c = a + side, d = c + 1;
      idx.insert(idx.end(), {a, c, b, b, c, d});
    }
  const size_t p = pos.size() * 4, u = uv.size() * 4, k = idx.size() * 4;
  std::string json =
      R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
      R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,)"
      R"("material":0}]}],"materials":[{"pbrMetallicRoughness":{"baseColorFactor":)"
      R"([0.4,0.6,0.3,1]}}],"buffers":[{"byteLength":)" +
      std::to_string(p + u + k) + R"(}],"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":)" +
      std::to_string(p) + R"(},{"buffer":0,"byteOffset":)" + std::to_string(p) +
      R"(,"byteLength":)" + std::to_string(u) + R"(},{"buffer":0,"byteOffset":)" +
      std::to_string(p + u) + R"(,"byteLength":)" + std::to_string(k) +
      R"(}],"accessors":[{"bufferView":0,"componentType":5126,"count":)" +
      std::to_string(vertices) + R"(,"type":"VEC3","min":[-100,-4,-100],"max":[100,4,100]},)" +
      R"({"bufferView":1,"componentType":5126,"count":)" + std::to_string(vertices) +
      R"(,"type":"VEC2"},{"bufferView":2,"componentType":5125,"count":)" +
      std::to_string(idx.size()) + R"(,"type":"SCALAR"}]})";
  while (json.size() % 4) json += ' ';
  const size_t bin = p + u + k;  // a multiple of 4 already
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  u32(0x46546C67u);  // "glTF"
  u32(2);
  u32(static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin));
  u32(static_cast<uint32_t>(json.size()));
  u32(0x4E4F534Au);  // "JSON"
  out.write(json.data(), static_cast<std::streamsize>(json.size()));
  u32(static_cast<uint32_t>(bin));
  u32(0x004E4942u);  // "BIN\0"
  out.write(reinterpret_cast<const char*>(pos.data()), static_cast<std::streamsize>(p));
  out.write(reinterpret_cast<const char*>(uv.data()), static_cast<std::streamsize>(u));
  out.write(reinterpret_cast<const char*>(idx.data()), static_cast<std::streamsize>(k));
}

}  // namespace znr::bench
