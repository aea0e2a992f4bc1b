// Meshes used by several nodes: stored once and placed, the same world geometry as copies; and
// the stream's placements checked before they are believed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <vector>

#include "base64.h"
#include "stream_builder.h"
#include "zelnary/import/build_scene.h"
#include "zelnary/import/import_model.h"
#include "zelnary/import/stream_decode.h"
#include "zelnary/world/limits.h"

namespace znr {
namespace {

using import_stream::Tag;
using test::Bytes;
using test::StreamBuilder;

Bytes shared(const std::string& name) {
  Bytes b;
  b.str(name);
  return b;
}

// A placement moving by (x, y, z) with the linear part given by rows.
Bytes placement(int32_t object, std::vector<double> linear, double x = 0, double y = 0,
                double z = 0) {
  Bytes b;
  b.put(object);
  const double move[3] = {x, y, z};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) b.put(linear[static_cast<size_t>(r * 3 + c)]);
    b.put(move[r]);
  }
  return b;
}

const std::vector<double> kSame = {1, 0, 0, 0, 1, 0, 0, 0, 1};

TEST(SharedMeshStream, AMeshPlacedTwiceIsStoredOnceBesideTheOtherObjects) {
  Bytes node;
  node.str("n").put(int32_t{-1});
  for (double v : {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0})
    node.put(v);
  StreamBuilder s;
  s.record(Tag::Node, node);
  s.record(Tag::Shared, shared("tile"));
  s.record(Tag::Mesh, test::triangle_mesh(1, -1));
  s.record(Tag::Placement, placement(1, kSame, 5, 0, 0));
  s.record(Tag::Placement, placement(1, {0, -2, 0, 2, 0, 0, 0, 0, 2}, 0, 7, 0));
  DecodedImport d;
  std::string error;
  ASSERT_TRUE(decode_import_stream(s.end(), d, error)) << error;
  const Scene& scene = d.scene;
  ASSERT_EQ(scene.objects.size(), 2u);
  EXPECT_TRUE(scene.objects[1].shared);
  EXPECT_FALSE(scene.objects[1].keyed);
  EXPECT_TRUE(scene.objects[1].path.empty());
  EXPECT_EQ(scene.objects[1].name, "tile");
  ASSERT_EQ(scene.polygons.size(), 1u);
  EXPECT_EQ(scene.polygons[0].object, 1);
  ASSERT_EQ(scene.placements.size(), 2u);
  EXPECT_EQ(scene.placements[1].object, 1);
  EXPECT_EQ(scene.placements[1].frame.m[0][1], -2.0);
  EXPECT_EQ(scene.placements[1].frame.m[1][3], 7.0);
}

TEST(SharedMeshStream, RefusesPlacementsItCannotBelieve) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<void(StreamBuilder&)> records;
    const char* error;
  };
  const Case cases[] = {
      {"placed before it is declared",
       [](StreamBuilder& s) {
         s.record(Tag::Placement, placement(0, kSame));
         s.record(Tag::Shared, shared("m"));
       },
       "malformed stream: placement names object 0, not a shared mesh"},
      {"placing a moving object",
       [](StreamBuilder& s) {
         Bytes o;
         o.str("o").put(1.0).put(uint32_t{1}).put(0.0).put(0.0).put(0.0);
         s.record(Tag::Object, o);
         s.record(Tag::Placement, placement(0, kSame));
       },
       "malformed stream: placement names object 0, not a shared mesh"},
      {"a map that is not a number",
       [nan](StreamBuilder& s) {
         s.record(Tag::Shared, shared("m"));
         s.record(Tag::Placement, placement(0, kSame, 0, nan, 0));
       },
       "the model holds a coordinate that is not finite or beyond 1e8 in size"},
      {"a move beyond the world",
       [](StreamBuilder& s) {
         s.record(Tag::Shared, shared("m"));
         s.record(Tag::Placement, placement(0, kSame, 0, 0, -2e8));
       },
       "the model holds a coordinate that is not finite or beyond 1e8 in size"},
      {"a mirror",
       [](StreamBuilder& s) {
         s.record(Tag::Shared, shared("m"));
         s.record(Tag::Placement, placement(0, kSame));
         s.record(Tag::Placement, placement(0, {-1, 0, 0, 0, 1, 0, 0, 0, 1}));
       },
       "malformed stream: placement 1 mirrors or flattens its mesh"},
      {"a flattening",
       [](StreamBuilder& s) {
         s.record(Tag::Shared, shared("m"));
         s.record(Tag::Placement, placement(0, {1, 0, 0, 0, 1, 0, 0, 0, 0}));
       },
       "malformed stream: placement 0 mirrors or flattens its mesh"},
      {"a skin on a shared mesh",
       [](StreamBuilder& s) {
         s.record(Tag::Shared, shared("m"));
         s.record(Tag::Mesh, test::triangle_mesh(0, -1));
         Bytes k;
         k.put(uint32_t{1}).put(uint32_t{1}).put(uint32_t{3}).put(int32_t{0});
         for (int i = 0; i < 12; ++i) k.put(0.0);
         for (int i = 0; i < 3; ++i) k.put(uint32_t{0}).put(1.0f);
         s.record(Tag::Skin, k);
       },
       "malformed stream: skinned mesh not on a node"},
      {"a shared mesh placed nowhere",
       [](StreamBuilder& s) {
         s.record(Tag::Shared, shared("a"));
         s.record(Tag::Shared, shared("b"));
         s.record(Tag::Mesh, test::triangle_mesh(1, -1));
         s.record(Tag::Placement, placement(0, kSame));
       },
       "malformed stream: shared mesh 1 is placed nowhere"},
  };
  for (const Case& c : cases) {
    StreamBuilder s;
    c.records(s);
    DecodedImport d;
    std::string error;
    EXPECT_FALSE(decode_import_stream(s.end(), d, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_TRUE(d.scene.placements.empty()) << c.what;
  }
}

TEST(SharedMeshStream, PlacementsBeyondTheCapAreTooMany) {
  StreamBuilder s;
  s.record(Tag::Shared, shared("m"));
  const Bytes one = placement(0, kSame);
  for (size_t i = 0; i <= world_limits::kMaxPlacements; ++i) s.record(Tag::Placement, one);
  s.record(Tag::End, {});
  DecodedImport d;
  std::string error;
  EXPECT_FALSE(decode_import_stream(s.out.data, d, error));
  EXPECT_EQ(error, "scene too large: more than 1048576 placements");
}

// The mesh's box as each placement puts it frames the scene; the fit scales placements' moves
// and the mesh, not their turns; a shared mesh gets no chase camera.
TEST(SharedMeshScene, PlacementsFrameTheOverviewAndScaleWithTheScene) {
  Scene s;
  s.objects.emplace_back().shared = true;
  for (const Vec3& p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}}) s.vertices.push_back({p});
  s.polygons.push_back({0, 3, -1, {}, true, 0, 0});
  s.placements.push_back({0, {}});
  Placement turned{0, {}};  // a quarter turn about z, twice the size, moved 9 along x
  turned.frame.m[0][0] = turned.frame.m[1][1] = 0;
  turned.frame.m[0][1] = -2;
  turned.frame.m[1][0] = 2;
  turned.frame.m[0][3] = 9;
  s.placements.push_back(turned);
  ImportFit fit;
  std::string error;
  ASSERT_TRUE(build_imported_scene(s, fit, error)) << error;

  EXPECT_DOUBLE_EQ(fit.extent, 9.0);  // x from 0 to 9; y to 2 under the turned one
  const double k = kFitTarget / 9.0;
  EXPECT_DOUBLE_EQ(fit.scale, k);
  EXPECT_DOUBLE_EQ(s.vertices[1].position.x, k);
  EXPECT_DOUBLE_EQ(s.placements[1].frame.m[0][3], 9 * k);
  EXPECT_EQ(s.placements[1].frame.m[0][1], -2.0);
  ASSERT_EQ(s.cameras.size(), 1u);  // the overview alone
  const Vec3 centre = Vec3{4.5, 1.0, 0.0} * k;
  EXPECT_GT(dot(normalized(centre - s.cameras[0].location), s.cameras[0].direction), 0.9999);
}

// A pyramid (its normals made by the importer) that nodes use five times: three plainly (one
// turned and scaled, one under a turned parent and stretched), one mirrored and one animated;
// and another mesh used once. flat: each node has a mesh of its own, the same triangles.
void write_pyramids(const std::string& path, bool flat) {
  std::vector<uint8_t> bytes;
  auto add = [&bytes](const auto& values) {
    const size_t at = bytes.size();
    bytes.resize(at + values.size() * sizeof values[0]);
    std::memcpy(bytes.data() + at, values.data(), values.size() * sizeof values[0]);
  };
  add(std::vector<float>{-50, 0, -50, 50, 0, -50, 50, 0, 50, -50, 0, 50, 20, 120, -10});  // 0
  add(std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 4, 1, 1, 4, 2, 2, 4, 3, 3, 4, 0});       // 60
  add(std::vector<float>{0, 1});                                                          // 132
  add(std::vector<float>{0, 0, 0, 1, 0, 0.70710678f, 0, 0.70710678f});                    // 140
  const auto mesh = [flat](int shared_index, int own) {
    return std::to_string(flat ? own : shared_index);
  };
  const std::string pyramid = R"({"primitives":[{"attributes":{"POSITION":0},"indices":1}]})";
  std::ofstream(path)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1,2,4,5,6]}],"nodes":[)"
      << R"({"name":"a","mesh":0},)"
      << R"({"name":"b","mesh":)" << mesh(0, 2)
      << R"(,"translation":[1000,0,0],"rotation":[0,0.70710678,0,0.70710678],"scale":[2,2,2]},)"
      << R"({"name":"parent","translation":[0,0,-1000],"rotation":[0.70710678,0,0,0.70710678],)"
      << R"("children":[3]},)"
      << R"({"name":"c","mesh":)" << mesh(0, 3) << R"(,"translation":[100,0,0],"scale":[1,3,1]},)"
      << R"({"name":"mirror","mesh":)" << mesh(0, 4)
      << R"(,"translation":[0,500,0],"scale":[-1,1,1]},)"
      << R"({"name":"spin","mesh":)" << mesh(0, 5) << R"(,"translation":[-500,0,0]},)"
      << R"({"name":"single","mesh":1,"translation":[0,0,500]}],"meshes":[)" << pyramid << ','
      << pyramid << (flat ? "," + pyramid + "," + pyramid + "," + pyramid + "," + pyramid : "")
      << R"(],"animations":[{"samplers":[{"input":2,"output":3}],)"
      << R"("channels":[{"sampler":0,"target":{"node":5,"path":"rotation"}}]}],)"
      << R"("buffers":[{"byteLength":172,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[)"
      << R"({"buffer":0,"byteOffset":0,"byteLength":60},{"buffer":0,"byteOffset":60,"byteLength":72},)"
      << R"({"buffer":0,"byteOffset":132,"byteLength":8},{"buffer":0,"byteOffset":140,"byteLength":32}],)"
      << R"("accessors":[)"
      << R"({"bufferView":0,"componentType":5126,"count":5,"type":"VEC3","min":[-50,0,-50],)"
      << R"("max":[50,120,50]},{"bufferView":1,"componentType":5125,"count":18,"type":"SCALAR"},)"
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

TEST(SharedMeshImport, AMeshUsedByStaticNodesIsPlacedWhereItsCopiesWouldBe) {
  const Scene s = import_pyramids(false), flat = import_pyramids(true);
  ASSERT_EQ(flat.polygons.size(), 36u);
  ASSERT_EQ(s.polygons.size(), 6u + 12u + 6u);  // shared; the mirrored and single copies; spin's
  ASSERT_EQ(s.objects.size(), 2u);
  const int32_t pyramid = s.objects[0].shared ? 0 : 1;
  EXPECT_TRUE(s.objects[static_cast<size_t>(pyramid)].shared);
  EXPECT_TRUE(s.objects[static_cast<size_t>(1 - pyramid)].keyed);  // spin stays a node
  ASSERT_EQ(s.placements.size(), 3u);
  for (const CameraDef& c : s.cameras) EXPECT_NE(c.target, pyramid) << c.name;
  ASSERT_EQ(s.cameras.size(), flat.cameras.size());  // the overview, and behind spin

  std::vector<const Polygon*> own, copies, fixed;
  for (const Polygon& p : s.polygons)
    (p.object == pyramid ? own : p.object < 0 ? fixed : copies).push_back(&p);
  std::vector<const Polygon*> flat_fixed;
  for (const Polygon& p : flat.polygons)
    if (p.object < 0) flat_fixed.push_back(&p);
  ASSERT_EQ(own.size(), 6u);
  ASSERT_EQ(fixed.size(), 12u);
  ASSERT_EQ(flat_fixed.size(), 30u);  // a, b, c, mirror, single, in the nodes' order
  ASSERT_EQ(s.normals.size(), s.vertices.size());
  ASSERT_EQ(flat.normals.size(), flat.vertices.size());

  // Placement k stands where the copy of node k does: corners, their order (which face is in
  // front) and their normals.
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(s.placements[k].object, pyramid);
    const ObjectPose pose = pose_from(s.placements[k].frame);
    for (size_t t = 0; t < 6; ++t)
      for (uint32_t c = 0; c < 3; ++c) {
        const uint32_t i = own[t]->first_vertex + c, j = flat_fixed[k * 6 + t]->first_vertex + c;
        const Vec3 placed = to_world(pose, s.vertices[i].position);
        EXPECT_LT(length(placed - flat.vertices[j].position), 1e-3) << k << ' ' << t << ' ' << c;
        const Vec3 n = normalized(turn_normal(pose, unit(s.normals[i])));
        EXPECT_LT(length(n - unit(flat.normals[j])), 1e-5) << k << ' ' << t << ' ' << c;
      }
  }
  // The mirrored use and the mesh used once are copies, as before.
  for (size_t t = 0; t < 12; ++t)
    for (uint32_t c = 0; c < 3; ++c)
      EXPECT_EQ(s.vertices[fixed[t]->first_vertex + c].position,
                flat.vertices[flat_fixed[18 + t]->first_vertex + c].position);
}

}  // namespace
}  // namespace znr
