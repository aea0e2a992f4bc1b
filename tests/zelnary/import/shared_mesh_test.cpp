// A mesh used by several nodes: stored once and placed, it makes the same world as copies; and
// the stream's placements are checked before they are believed.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "base64.h"
#include "stream_builder.h"
#include "zelnary/import/import_model.h"
#include "zelnary/import/stream_decode.h"

namespace znr {
namespace {

using import_stream::Tag;
using test::Bytes;

Bytes name(const std::string& s) {
  return Bytes().str(s);
}

// A placement: the rows of its linear part, then its move along y.
Bytes placement(int32_t object, const std::vector<double>& linear, double y = 0) {
  Bytes b;
  b.put(object);
  for (int r = 0; r < 3; ++r)
    b.put(linear[r * 3]).put(linear[r * 3 + 1]).put(linear[r * 3 + 2]).put(r == 1 ? y : 0.0);
  return b;
}

TEST(SharedMeshStream, RefusesPlacementsItCannotBelieve) {
  const std::vector<double> same = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<double> mirror = {-1, 0, 0, 0, 1, 0, 0, 0, 1};
  Bytes path_object;
  path_object.str("o").put(1.0).put(uint32_t{1}).put(0.0).put(0.0).put(0.0);
  const struct {
    std::vector<std::pair<Tag, Bytes>> records;
    const char* error;
  } cases[] = {
      {{{Tag::Placement, placement(0, same)}, {Tag::Shared, name("m")}},
       "malformed stream: placement names object 0, not a shared mesh"},
      {{{Tag::Object, path_object}, {Tag::Placement, placement(0, same)}},
       "malformed stream: placement names object 0, not a shared mesh"},
      {{{Tag::Shared, name("m")},
        {Tag::Placement, placement(0, same, std::numeric_limits<double>::quiet_NaN())}},
       "the model holds a coordinate that is not finite or beyond 1e8 in size"},
      {{{Tag::Shared, name("m")},
        {Tag::Placement, placement(0, same)},
        {Tag::Placement, placement(0, mirror)}},
       "malformed stream: placement 1 mirrors or flattens its mesh"},
      {{{Tag::Shared, name("a")},
        {Tag::Shared, name("b")},
        {Tag::Mesh, test::triangle_mesh(1, -1)},
        {Tag::Placement, placement(0, same)}},
       "malformed stream: shared mesh 1 is placed nowhere"},
  };
  for (const auto& c : cases) {
    test::StreamBuilder s;
    for (const auto& [tag, payload] : c.records) s.record(tag, payload);
    DecodedImport d;
    std::string error;
    EXPECT_FALSE(decode_import_stream(s.end(), d, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

// A pyramid (its normals made by the importer) that nodes use five times: plainly, turned and
// scaled, stretched under a turned parent, mirrored, and animated; and a mesh used once. flat:
// each node has a mesh of its own with the same triangles. All turns are quarter turns, so that
// the box of the mesh's box placed is the box of its vertices placed, as for the copies.
void write_pyramids(const std::string& path, bool flat) {
  std::vector<uint8_t> bytes(172);
  const float floats[] = {-50, 0, -50, 50, 0, -50, 50, 0, 50, -50, 0, 50, 20, 120, -10};
  const uint32_t indices[] = {0, 1, 2, 0, 2, 3, 0, 4, 1, 1, 4, 2, 2, 4, 3, 3, 4, 0};
  const float keys[] = {0, 1, 0, 0, 0, 1, 0, 0.70710678f, 0, 0.70710678f};
  std::memcpy(bytes.data(), floats, 60);
  std::memcpy(bytes.data() + 60, indices, 72);
  std::memcpy(bytes.data() + 132, keys, 40);
  const auto use = [flat](int own) { return std::to_string(flat ? own : 0); };
  const std::string q = "0.70710678",
                    pyramid = R"({"primitives":[{"attributes":{"POSITION":0},"indices":1}]})";
  std::ofstream out(path);
  out << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1,2,4,5,6]}],"nodes":[)"
      << R"({"mesh":0},{"mesh":)" << use(2) << R"(,"translation":[300,0,0],"rotation":[0,)" << q
      << ",0," << q << R"(],"scale":[2,2,2]},)"
      << R"({"translation":[0,0,-300],"rotation":[)" << q << ",0,0," << q << R"(],"children":[3]},)"
      << R"({"mesh":)" << use(3) << R"(,"translation":[100,0,0],"scale":[1,3,1]},)"
      << R"({"mesh":)" << use(4) << R"(,"translation":[0,200,0],"scale":[-1,1,1]},)"
      << R"({"mesh":)" << use(5) << R"(,"translation":[-200,0,0]},)"
      << R"({"mesh":1,"translation":[0,0,200]}],"meshes":[)" << pyramid;
  for (int i = 0; i < (flat ? 5 : 1); ++i) out << ',' << pyramid;
  out << R"(],"animations":[{"samplers":[{"input":2,"output":3}],)"
      << R"("channels":[{"sampler":0,"target":{"node":5,"path":"rotation"}}]}],)"
      << R"("buffers":[{"byteLength":172,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[)"
      << R"({"buffer":0,"byteLength":60},{"buffer":0,"byteOffset":60,"byteLength":72},)"
      << R"({"buffer":0,"byteOffset":132,"byteLength":8},{"buffer":0,"byteOffset":140,"byteLength":32}],)"
      << R"("accessors":[{"bufferView":0,"componentType":5126,"count":5,"type":"VEC3",)"
      << R"("min":[-50,0,-50],"max":[50,120,50]},)"
      << R"({"bufferView":1,"componentType":5125,"count":18,"type":"SCALAR"},)"
      << R"({"bufferView":2,"componentType":5126,"count":2,"type":"SCALAR","min":[0],"max":[1]},)"
      << R"({"bufferView":3,"componentType":5126,"count":2,"type":"VEC4"}]})";
}

Scene import_pyramids(bool flat) {
  const std::filesystem::path dir = std::filesystem::path(ZELNARY_TEST_OUTPUT_DIR) / "pyramids";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / (flat ? "flat.gltf" : "shared.gltf")).string();
  write_pyramids(file, flat);
  Scene scene;
  std::string error;
  EXPECT_TRUE(import_model(file, scene, error)) << error;
  return scene;
}

Vec3 unit(const Normal& n) {
  return normalized(Vec3{n.x, n.y, n.z});
}

// Both are fitted to the viewer's size by the same scale, framed by the same overview, and
// have one chase camera: spin's.
TEST(SharedMeshImport, AMeshUsedByStaticNodesIsPlacedWhereItsCopiesWouldBe) {
  const Scene s = import_pyramids(false), flat = import_pyramids(true);
  ASSERT_EQ(s.objects.size(), 2u);  // the pyramid, shared, and spin
  ASSERT_TRUE(s.objects[0].shared);
  ASSERT_EQ(s.placements.size(), 3u);
  ASSERT_EQ(s.cameras.size(), 2u);
  ASSERT_EQ(flat.cameras.size(), 2u);
  EXPECT_LT(length(s.cameras[0].location - flat.cameras[0].location), 1e-2);
  std::vector<const Polygon*> own, fixed, flat_fixed;  // the last: a, b, c, mirror, single
  for (const Polygon& p : s.polygons)
    if (p.object <= 0) (p.object == 0 ? own : fixed).push_back(&p);
  for (const Polygon& p : flat.polygons)
    if (p.object < 0) flat_fixed.push_back(&p);
  ASSERT_EQ(own.size(), 6u);
  ASSERT_EQ(fixed.size(), 12u);  // the mirrored use and the single mesh stay copies
  ASSERT_EQ(flat_fixed.size(), 30u);
  ASSERT_EQ(s.normals.size(), s.vertices.size());
  ASSERT_EQ(flat.normals.size(), flat.vertices.size());
  // Placement k puts the corners, in their order (which face is in front), with their normals,
  // where node k's copy has them.
  for (size_t k = 0; k < 3; ++k) {
    const ObjectPose pose = pose_from(s.placements[k].frame);
    for (size_t t = 0; t < 6; ++t)
      for (uint32_t c = 0; c < 3; ++c) {
        const uint32_t i = own[t]->first_vertex + c, j = flat_fixed[k * 6 + t]->first_vertex + c;
        EXPECT_LT(length(to_world(pose, s.vertices[i].position) - flat.vertices[j].position), 1e-2);
        EXPECT_LT(length(normalized(turn_normal(pose, unit(s.normals[i]))) - unit(flat.normals[j])),
                  1e-5);
      }
  }
  for (size_t t = 0; t < 12; ++t)
    EXPECT_EQ(s.vertices[fixed[t]->first_vertex].position,
              flat.vertices[flat_fixed[18 + t]->first_vertex].position);
}

}  // namespace
}  // namespace znr
