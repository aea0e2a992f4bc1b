// Morph records and Weights channels in the import stream: what a good one makes, and the
// lies and bad values that are refused before anything is made for them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "stream_builder.h"
#include "zelnary/import/stream_decode.h"

namespace znr {
namespace {

using import_stream::Tag;
using test::Bytes;
using test::StreamBuilder;

Bytes node(const std::string& name) {
  Bytes n;
  n.str(name).put(int32_t{-1});
  for (double v : {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0})
    n.put(v);
  return n;
}

// A triangle on `object` whose corners are its vertices 2, 0, 1.
Bytes turned_triangle(int32_t object) {
  Bytes m;
  m.put(object).put(int32_t{-1}).put(uint32_t{3}).put(uint32_t{1}).put(0u).put(0u);
  m.vertex(0, 0, 0).vertex(1, 0, 0).vertex(0, 1, 0);
  return m.put(2u).put(0u).put(1u);
}

// `targets` targets of three vertices each, target t moving vertex v by (t + 1) * v along z.
Bytes morph(uint32_t targets, std::vector<float> defaults = {}, uint32_t vertices = 3,
            uint32_t normals = 0) {
  Bytes k;
  k.put(targets).put(vertices).put(normals);
  defaults.resize(targets, 0.0f);
  for (float w : defaults) k.put(w);
  for (uint32_t t = 0; t < targets * (1 + normals); ++t)
    for (uint32_t v = 0; v < vertices; ++v) k.put(0.0f).put(0.0f).put(float((t + 1) * v));
  return k;
}

// An animation of one linear Weights channel of `width` weights, keys at 0 s and 1 s.
Bytes weights(int32_t object, uint32_t width) {
  Bytes a;
  a.str("w").put(1.0).put(1u).put(object).put(uint8_t{3}).put(uint8_t{1}).put(2u).put(width);
  a.put(0.0).put(1.0);
  for (uint32_t i = 0; i < 2 * width; ++i) a.put(0.5);
  return a;
}

StreamBuilder morphed(const Bytes& k) {
  StreamBuilder s;
  s.record(Tag::Node, node("body"));
  s.record(Tag::Mesh, turned_triangle(0));
  s.record(Tag::Morph, k);
  return s;
}

std::string error_of(StreamBuilder s) {
  DecodedImport out;
  std::string error;
  EXPECT_FALSE(decode_import_stream(s.end(), out, error));
  return error;
}

TEST(MorphDecode, AMorphKeepsItsDeltasPerMeshVertexAndItsWeightsFollowEachOther) {
  StreamBuilder s = morphed(morph(2, {0.5f, std::nanf("")}));
  s.record(Tag::Node, node("second"));
  s.record(Tag::Mesh, turned_triangle(1));
  s.record(Tag::Morph, morph(1));
  s.record(Tag::Animation, weights(0, 2));
  DecodedImport out;
  std::string error;
  ASSERT_TRUE(decode_import_stream(s.end(), out, error)) << error;
  ASSERT_EQ(out.scene.morphs.size(), 2u);
  const Morph& m = out.scene.morphs[0];
  EXPECT_EQ(m.corner_vertex, (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_EQ(m.positions.at(3 + 2).z, 4.0f);  // target 1, vertex 2
  EXPECT_EQ(m.reach, (std::vector<double>{2.0, 4.0}));
  EXPECT_EQ(m.default_weights, (std::vector<float>{0.5f, 0.0f}));  // the NaN mended
  ASSERT_EQ(out.warnings.size(), 1u);
  EXPECT_NE(out.warnings[0].find("morph weights"), std::string::npos);
  EXPECT_EQ(out.scene.morphs[1].first_vertex, 3u);
  EXPECT_EQ(out.scene.morphs[1].first_weight, 2u);  // after the first morph's two
  const Channel& c = out.scene.animations.at(0).channels.at(0);
  EXPECT_EQ(c.path, ChannelPath::Weights);
  EXPECT_EQ(c.weights, 2u);
}

TEST(MorphDecode, MorphsThatLieOrDoNotFitAreRefused) {
  // Counts: beyond the cap, not the mesh's, not the bytes sent, a flag that is not one.
  EXPECT_NE(error_of(morphed(morph(65))).find("more than 64 morph targets"), std::string::npos);
  EXPECT_NE(error_of(morphed(morph(1, {}, 4))).find("differs from its mesh"), std::string::npos);
  Bytes short_one = morph(2);
  short_one.data.resize(short_one.data.size() - 4);
  EXPECT_NE(error_of(morphed(short_one)).find("do not match"), std::string::npos);
  EXPECT_NE(error_of(morphed(morph(1, {}, 3, 2))).find("neither 0 nor 1"), std::string::npos);
  Bytes bad_delta = morph(1);
  const float nan = std::nanf("");
  std::memcpy(bad_delta.data.data() + bad_delta.data.size() - 4, &nan, 4);
  EXPECT_NE(error_of(morphed(bad_delta)).find("morph delta"), std::string::npos);

  // Where it stands: after no mesh, twice for one mesh, on the static world.
  StreamBuilder after_node;
  after_node.record(Tag::Node, node("body"));
  after_node.record(Tag::Morph, morph(1));
  EXPECT_NE(error_of(after_node).find("not right after a mesh"), std::string::npos);
  StreamBuilder twice = morphed(morph(1));
  twice.record(Tag::Morph, morph(1));
  EXPECT_NE(error_of(twice).find("not right after a mesh"), std::string::npos);
  StreamBuilder on_static;
  on_static.record(Tag::Mesh, turned_triangle(-1));
  on_static.record(Tag::Morph, morph(1));
  EXPECT_NE(error_of(on_static).find("not on a node"), std::string::npos);

  // The node as a whole: a mesh of it without a morph, meshes of different target counts, a
  // Weights channel of another width.
  StreamBuilder mixed = morphed(morph(1));
  mixed.record(Tag::Mesh, turned_triangle(0));
  EXPECT_NE(error_of(mixed).find("outside its morphs"), std::string::npos);
  StreamBuilder uneven = morphed(morph(1));
  uneven.record(Tag::Mesh, turned_triangle(0));
  uneven.record(Tag::Morph, morph(2));
  EXPECT_NE(error_of(uneven).find("different target counts"), std::string::npos);
  StreamBuilder wide = morphed(morph(2));
  wide.record(Tag::Animation, weights(0, 3));
  EXPECT_NE(error_of(wide).find("does not match its node's morph targets"), std::string::npos);
}

}  // namespace
}  // namespace znr
