// Builds import streams byte by byte for the decoder tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zelnary/import/stream_format.h"

namespace znr::test {

struct Bytes {
  std::vector<uint8_t> data;
  template <typename T>
  Bytes& put(T v) {
    // Grown, then copied into: GCC 12 at -O3 takes an insert of a few bytes here for an
    // overflow (a false -Wstringop-overflow that breaks the release build of the tests).
    const size_t at = data.size();
    data.resize(at + sizeof v);
    std::memcpy(data.data() + at, &v, sizeof v);
    return *this;
  }
  Bytes& str(const std::string& s) {
    put(static_cast<uint32_t>(s.size()));
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& vertex(float x, float y, float z, float u = 0, float v = 0) {
    return put(x).put(y).put(z).put(u).put(v);
  }
};

struct StreamBuilder {
  Bytes out;
  StreamBuilder() { out.put(import_stream::kStreamMagic).put(import_stream::kStreamVersion); }
  StreamBuilder& record(import_stream::Tag tag, const Bytes& payload) {
    out.put(static_cast<uint32_t>(tag)).put(static_cast<uint64_t>(payload.data.size()));
    out.data.insert(out.data.end(), payload.data.begin(), payload.data.end());
    return *this;
  }
  std::vector<uint8_t> end() {
    record(import_stream::Tag::End, {});
    return out.data;
  }
};

// A material record's surface beyond its colour: no highlight, opaque.
struct Surface {
  float specular[3] = {0, 0, 0};
  float shininess = 32;
  float emissive[3] = {0, 0, 0};
  float alpha = 1;
  uint8_t alpha_mode = 0;
  float cutoff = 0.5f;
};

// A material record: texture index, colour, sidedness, surface.
inline Bytes material(int32_t texture, float r, float g, float b, bool two_sided,
                      const Surface& f = {}) {
  Bytes m;
  m.put(texture).put(r).put(g).put(b).put(static_cast<uint8_t>(two_sided));
  for (float v : f.specular) m.put(v);
  m.put(f.shininess);
  for (float v : f.emissive) m.put(v);
  m.put(f.alpha).put(f.alpha_mode).put(f.cutoff);
  return m;
}

// A mesh of one triangle (0, 1, 2) on the given vertices, with the normals and colours (r g b
// a) given, each one per vertex (or more or fewer, for the tests of bad streams).
inline Bytes triangle_mesh(int32_t object, int32_t material, float scale = 1.0f,
                           const std::vector<float>& normals = {},
                           const std::vector<float>& colours = {}) {
  Bytes m;
  m.put(object).put(material).put(uint32_t{3}).put(uint32_t{1});
  m.put(static_cast<uint32_t>(normals.size() / 3)).put(static_cast<uint32_t>(colours.size() / 4));
  m.vertex(0, 0, 0, 0, 0).vertex(scale, 0, 0, 1, 0).vertex(0, scale, 0, 0, 1);
  for (float v : normals) m.put(v);
  for (float v : colours) m.put(v);
  m.put(uint32_t{0}).put(uint32_t{1}).put(uint32_t{2});
  return m;
}

}  // namespace znr::test
