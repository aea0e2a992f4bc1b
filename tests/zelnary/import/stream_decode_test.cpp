#include "zelnary/import/stream_decode.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "stream_builder.h"

namespace znr {
namespace {

using import_stream::Tag;
using test::Bytes;
using test::StreamBuilder;

Bytes texels_texture(const std::string& name, uint32_t w, uint32_t h, uint32_t texel) {
  Bytes t;
  t.str(name).put(static_cast<uint32_t>(import_stream::TextureKind::Texels)).put(w).put(h);
  for (uint32_t i = 0; i < w * h; ++i) t.put(texel);
  return t;
}

Bytes object(const std::string& name, double speed, std::vector<Vec3> path) {
  Bytes o;
  o.str(name).put(speed).put(static_cast<uint32_t>(path.size()));
  for (const Vec3& p : path) o.put(p.x).put(p.y).put(p.z);
  return o;
}

Bytes camera(const std::string& name, double zoom) {
  Bytes c;
  c.str(name);
  for (double v : {1.0, 2.0, 3.0, 0.0, 2.0, 0.0, zoom}) c.put(v);
  return c;
}

TEST(StreamDecode, BuildsTheSceneTheRecordsDescribe) {
  StreamBuilder s;
  s.record(Tag::Texture, texels_texture("red.png", 2, 1, 0xFFFF0000u));
  s.record(Tag::Material, test::material(0, 0.5f, 0.25f, 1.0f, true));
  s.record(Tag::Material, test::material(-1, 1, 1, 1, false));
  s.record(Tag::Object, object("cart", 3.0, {{0, 0, 0}, {10, 0, 0}}));
  s.record(Tag::Mesh, test::triangle_mesh(-1, 1, 2.0f));
  s.record(Tag::Mesh, test::triangle_mesh(0, 0));
  s.record(Tag::Camera, camera("Cam", 40));
  DecodedImport d;
  std::string error;
  ASSERT_TRUE(decode_import_stream(s.end(), d, error)) << error;

  const Scene& scene = d.scene;
  ASSERT_EQ(scene.textures.size(), 1u);
  EXPECT_EQ(scene.textures[0].file, "red.png");
  EXPECT_EQ(scene.textures[0].image.width, 2);
  EXPECT_EQ(scene.textures[0].image.at(1, 0), 0xFFFF0000u);
  ASSERT_EQ(scene.polygons.size(), 2u);
  ASSERT_EQ(scene.vertices.size(), 6u);
  const Polygon& ground = scene.polygons[0];
  EXPECT_EQ(ground.object, -1);
  EXPECT_EQ(ground.texture, -1);
  EXPECT_FALSE(ground.two_sided);
  EXPECT_EQ(scene.vertices[1].position.x, 2.0);
  EXPECT_EQ(scene.vertices[2].v, 1.0f);
  const Polygon& cart = scene.polygons[1];
  EXPECT_EQ(cart.object, 0);
  EXPECT_EQ(cart.texture, 0);
  EXPECT_TRUE(cart.two_sided);
  EXPECT_EQ(cart.color, (Color{0.5f, 0.25f, 1.0f}));
  EXPECT_EQ(cart.first_vertex, 3u);
  ASSERT_EQ(scene.objects.size(), 1u);
  EXPECT_EQ(scene.objects[0].path[1].x, 10.0);
  EXPECT_EQ(scene.objects[0].speed, 3.0);
  ASSERT_EQ(scene.cameras.size(), 1u);
  EXPECT_EQ(scene.cameras[0].name, "Cam");
  EXPECT_EQ(scene.cameras[0].location.z, 3.0);
  EXPECT_EQ(scene.cameras[0].direction.y, 1.0);  // stored as a unit vector
  EXPECT_EQ(scene.cameras[0].zoom, 40.0);
}

// A scene large enough that a second thread readies its arrays' pages while they are filled:
// every triangle arrives as sent, and a stream that turns out broken at its end is refused.
TEST(StreamDecode, ALargeMeshArrivesWholeWhileItsPagesAreMadeReady) {
  constexpr uint32_t kTriangles = 300'000;
  for (const bool broken : {false, true}) {
    test::Bytes m;
    m.put(int32_t{-1}).put(int32_t{-1}).put(uint32_t{3}).put(kTriangles);
    m.put(uint32_t{0}).put(uint32_t{0});
    m.vertex(0, 0, 0).vertex(1, 0, 0).vertex(0, 1, 0);
    for (uint32_t t = 0; t < kTriangles; ++t)
      m.put(t % 3).put((t + 1) % 3).put(broken && t + 1 == kTriangles ? 3u : (t + 2) % 3);
    StreamBuilder s;
    s.record(Tag::Mesh, m);
    DecodedImport d;
    std::string error;
    ASSERT_EQ(decode_import_stream(s.end(), d, error), !broken) << error;
    if (broken) continue;
    ASSERT_EQ(d.scene.polygons.size(), kTriangles);
    const Polygon& last = d.scene.polygons.back();
    EXPECT_EQ(last.first_vertex, 3 * (kTriangles - 1));
    // The last triangle (t = 299,999) runs 2, 0, 1: from (0, 1, 0) to (1, 0, 0).
    EXPECT_EQ(d.scene.vertices[last.first_vertex].position.y, 1.0);
    EXPECT_EQ(d.scene.vertices[last.first_vertex + 2].position.x, 1.0);
  }
}

// Values a model should not hold are mended, never passed on as NaN, and reported once.
TEST(StreamDecode, BadNormalsColoursAndMaterialValuesAreMendedWithOneWarning) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  test::Surface odd;
  odd.specular[0] = nan;
  odd.shininess = 5000;
  odd.emissive[1] = -1;
  odd.alpha_mode = 7;  // no such mode
  odd.cutoff = 1.5f;
  test::Surface mask;
  mask.alpha_mode = 1;
  mask.cutoff = nan;
  mask.alpha = 2;
  StreamBuilder s;
  s.record(Tag::Material, test::material(-1, 1, 1, 1, false, odd));
  s.record(Tag::Material, test::material(-1, 1, 1, 1, false, mask));
  s.record(Tag::Mesh, test::triangle_mesh(-1, 0));  // neither: the arrays start later
  s.record(Tag::Mesh, test::triangle_mesh(-1, 1, 1, {0, 0, 0, nan, 0, 1, 0, 0, 3},
                                          {2, -1, nan, 0.5f, 0, 0, 0, 1, 1, 1, 1, 1}));
  s.record(Tag::Mesh, test::triangle_mesh(-1, -1, 1, {0, 0, 1, 0, 0, 1}, {}));  // one short
  DecodedImport d;
  std::string error;
  ASSERT_TRUE(decode_import_stream(s.end(), d, error)) << error;
  const Scene& sc = d.scene;
  ASSERT_EQ(d.warnings.size(), 1u);
  EXPECT_NE(d.warnings[0].find("normals of zero length"), std::string::npos) << d.warnings[0];

  ASSERT_EQ(sc.normals.size(), 9u);
  for (size_t i : {0, 1, 2, 3, 4, 6, 7, 8}) EXPECT_TRUE(sc.normals[i].none()) << i;
  EXPECT_EQ(sc.normals[5], (Normal{0, 0, 1}));
  ASSERT_EQ(sc.vertex_colors.size(), 9u);
  EXPECT_EQ(sc.vertex_colors[3], 0x80FF00FFu);  // clamped, NaN white
  EXPECT_EQ(sc.vertex_colors[4], 0xFF000000u);
  for (size_t i : {0, 1, 2, 6, 7, 8}) EXPECT_EQ(sc.vertex_colors[i], 0xFFFFFFFFu) << i;

  const Material& a = sc.material_of(sc.polygons[0]);
  EXPECT_EQ(a.alpha_mode, AlphaMode::Opaque);
  EXPECT_EQ(a.specular, (Color{0, 0, 0}));
  EXPECT_EQ(a.emissive, (Color{0, 0, 0}));
  EXPECT_TRUE(a.plain());  // nothing usable was left
  const Material& b = sc.material_of(sc.polygons[1]);
  EXPECT_EQ(b.alpha_mode, AlphaMode::Mask);
  EXPECT_EQ(b.cutoff, 0.5f);
  EXPECT_EQ(b.alpha, 1.0f);
}

TEST(StreamDecode, ABrokenTextureFallsBackWithAWarning) {
  StreamBuilder s;
  Bytes broken;
  broken.str("x.png").put(uint32_t{0}).put(uint32_t{0}).put(uint32_t{0}).put(uint32_t{0x474E5089});
  s.record(Tag::Texture, broken);
  s.record(Tag::Texture, texels_texture("huge", 20000, 1, 0));  // refused before any copy
  s.record(Tag::Material, test::material(1, 1, 1, 1, false));
  s.record(Tag::Mesh, test::triangle_mesh(-1, 0));
  DecodedImport d;
  std::string error;
  ASSERT_TRUE(decode_import_stream(s.end(), d, error)) << error;
  ASSERT_EQ(d.scene.textures.size(), 2u);
  EXPECT_TRUE(d.scene.textures[0].fallback);
  EXPECT_TRUE(d.scene.textures[1].fallback);
  ASSERT_EQ(d.warnings.size(), 2u);
  EXPECT_NE(d.warnings[0].find("texture x.png: "), std::string::npos);
  EXPECT_NE(d.warnings[1].find("too large"), std::string::npos);
}

TEST(StreamDecode, TheImportersOwnReasonComesBackAsIs) {
  StreamBuilder s;
  Bytes why;
  why.data = {'N', 'o', '\n', 'f', 'i', 'l', 'e'};
  s.record(Tag::Error, why);
  DecodedImport d;
  std::string error;
  EXPECT_FALSE(decode_import_stream(s.end(), d, error));
  EXPECT_EQ(error, "No file");  // one line: control characters become blanks
}

// Every lie a broken importer could tell, and every value beyond the caps, ends in a clear error
// and an empty result.
// Bytes placed so that the last one ends a page and the next page cannot be read: a decoder
// that reads one byte past what it was given crashes here, with or without sanitizers.
class GuardedBytes {
 public:
  explicit GuardedBytes(std::span<const uint8_t> bytes) {
    page_ = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    pages_ = (bytes.size() + page_ - 1) / page_ + 1;
    void* m =
        ::mmap(nullptr, pages_ * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = static_cast<uint8_t*>(m);
    ::mprotect(base_ + (pages_ - 1) * page_, page_, PROT_NONE);
    data_ = base_ + (pages_ - 1) * page_ - bytes.size();
    std::copy(bytes.begin(), bytes.end(), data_);
    size_ = bytes.size();
  }
  ~GuardedBytes() { ::munmap(base_, pages_ * page_); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  std::span<const uint8_t> span() const { return {data_, size_}; }

 private:
  size_t page_ = 0, pages_ = 0, size_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};

std::vector<uint8_t> every_record_stream() {
  StreamBuilder s;
  s.record(Tag::Texture, texels_texture("red.png", 2, 1, 0xFFFF0000u));
  s.record(Tag::Material, test::material(0, 0.5f, 0.25f, 1.0f, true));
  s.record(Tag::Object, object("cart", 3.0, {{0, 0, 0}, {10, 0, 0}}));
  s.record(Tag::Mesh, test::triangle_mesh(0, 0));
  s.record(Tag::Camera, camera("Cam", 40));
  return s.end();
}

// Every strict prefix of a good stream is refused, and so is every record that claims one to
// three bytes more than it holds; none of them reads past the bytes given.
TEST(StreamDecode, EveryTruncationAndOverlongRecordIsRefusedWithinTheBytesGiven) {
  const std::vector<uint8_t> good = every_record_stream();
  {
    DecodedImport d;
    std::string error;
    ASSERT_TRUE(decode_import_stream(GuardedBytes(good).span(), d, error)) << error;
  }
  for (size_t n = 0; n < good.size(); ++n) {
    const GuardedBytes cut(std::span<const uint8_t>(good).first(n));
    DecodedImport d;
    std::string error;
    EXPECT_FALSE(decode_import_stream(cut.span(), d, error)) << "prefix of " << n << " bytes";
  }
  // Records start after the 8-byte header: a 4-byte tag, an 8-byte size, the payload.
  int records = 0;
  for (size_t at = 8; at + 12 <= good.size(); ++records) {
    uint64_t size = 0;
    std::memcpy(&size, good.data() + at + 4, sizeof size);
    for (uint64_t extra = 1; extra <= 3; ++extra) {
      std::vector<uint8_t> longer = good;
      const uint64_t claimed = size + extra;
      std::memcpy(longer.data() + at + 4, &claimed, sizeof claimed);
      const GuardedBytes guarded(longer);
      DecodedImport d;
      std::string error;
      EXPECT_FALSE(decode_import_stream(guarded.span(), d, error))
          << "record " << records << " " << extra << " bytes too long";
    }
    at += 12 + static_cast<size_t>(size);
  }
  EXPECT_EQ(records, 6);
}

TEST(StreamDecode, RefusesStreamsThatLie) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::function<std::vector<uint8_t>()> make;
    const char* error;
  };
  const Case cases[] = {
      {"empty", [] { return std::vector<uint8_t>{}; }, "not an import stream"},
      {"other version",
       [] {
         Bytes b;
         b.put(import_stream::kStreamMagic).put(uint32_t{1});
         return b.data;
       },
       "version 1"},
      {"cut short", [] { return StreamBuilder().out.data; }, "ends without its End record"},
      {"record longer than the stream",
       [] {
         StreamBuilder s;
         s.out.put(static_cast<uint32_t>(Tag::Mesh)).put(uint64_t{1} << 40);
         return s.out.data;
       },
       "record longer than the bytes sent"},
      {"unknown tag", [] { return StreamBuilder().record(static_cast<Tag>(99), {}).end(); },
       "unknown record 99"},
      {"bytes after End",
       [] {
         auto v = StreamBuilder().end();
         v.push_back(0);
         return v;
       },
       "bytes after the End record"},
      {"counts beyond the payload",
       [] {
         Bytes m;
         m.put(int32_t{-1}).put(int32_t{-1}).put(uint32_t{3}).put(uint32_t{2000000000});
         m.put(uint32_t{0}).put(uint32_t{0});
         return StreamBuilder().record(Tag::Mesh, m).end();
       },
       "mesh arrays do not match their counts"},
      {"index beyond the vertices",
       [] {
         Bytes m = test::triangle_mesh(-1, -1);
         m.data[m.data.size() - 4] = 3;
         return StreamBuilder().record(Tag::Mesh, m).end();
       },
       "triangle index beyond the mesh's vertices"},
      {"mesh of an undeclared object",
       [] { return StreamBuilder().record(Tag::Mesh, test::triangle_mesh(0, -1)).end(); },
       "mesh names object 0"},
      {"mesh of an undeclared material",
       [] { return StreamBuilder().record(Tag::Mesh, test::triangle_mesh(-1, 0)).end(); },
       "mesh names material 0"},
      {"material of an undeclared texture",
       [] { return StreamBuilder().record(Tag::Material, test::material(0, 1, 1, 1, 0)).end(); },
       "material names texture 0"},
      {"colour above 1",
       [] { return StreamBuilder().record(Tag::Material, test::material(-1, 2, 1, 1, 0)).end(); },
       "material colour outside 0..1"},
      {"infinite vertex",
       [inf] {
         Bytes m = test::triangle_mesh(-1, -1);
         std::memcpy(&m.data[import_stream::kMeshHeaderBytes], &inf, 4);
         return StreamBuilder().record(Tag::Mesh, m).end();
       },
       "!the model holds a coordinate that is not finite or beyond 1e8 in size"},
      {"waypoints beyond the payload",
       [] {
         Bytes o;
         o.str("o").put(1.0).put(uint32_t{65536});
         return StreamBuilder().record(Tag::Object, o).end();
       },
       "object waypoints do not match their count"},
      {"speed out of range",
       [] {
         return StreamBuilder().record(Tag::Object, object("o", 1e9, {{0, 0, 0}})).end();
       },
       "!the model holds an animation faster than 1e6 units per second"},
      {"name longer than 255 bytes",
       [] {
         return StreamBuilder().record(Tag::Object, object(std::string(256, 'a'), 1, {})).end();
       },
       "object record cut short"},
      {"zoom out of range",
       [] { return StreamBuilder().record(Tag::Camera, camera("c", 0.5)).end(); },
       "camera zoom out of range"},
      {"texels short of the size",
       [] {
         Bytes t = texels_texture("t", 2, 2, 0);
         t.data.resize(t.data.size() - 4);
         return StreamBuilder().record(Tag::Texture, t).end();
       },
       "texture texels do not match its size"},
  };
  for (const Case& c : cases) {
    DecodedImport d;
    d.scene.polygons.resize(1);
    std::string error;
    EXPECT_FALSE(decode_import_stream(c.make(), d, error)) << c.what;
    // "!" marks a well-formed stream of a model out of the engine's range.
    const std::string expected =
        c.error[0] == '!' ? c.error + 1 : std::string("malformed stream: ") + c.error;
    EXPECT_EQ(error, expected) << c.what;
    EXPECT_TRUE(d.scene.polygons.empty()) << c.what;
  }
}

TEST(StreamDecode, ASceneBeyondTheWorldCapsIsTooLarge) {
  StreamBuilder s;
  Bytes empty;
  empty.str("t").put(uint32_t{0}).put(uint32_t{0}).put(uint32_t{0});
  for (int i = 0; i <= 4096; ++i) s.record(Tag::Texture, empty);
  DecodedImport d;
  std::string error;
  EXPECT_FALSE(decode_import_stream(s.end(), d, error));
  EXPECT_EQ(error, "scene too large: more than 4096 textures");
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

using import_stream::Tag;
using test::Bytes;
using test::StreamBuilder;

Bytes node(const std::string& name, int32_t parent) {
  Bytes n;
  n.str(name).put(parent);
  for (double v : {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}) n.put(v);  // base
  for (double v : {0, 0, 0, 0, 0, 0, 1, 1, 1, 1}) n.put(v);        // rest
  for (double v : {1, 0, 0}) n.put(v);                             // front
  return n;
}

// One rotation channel on object 0 with these key times and x y z w values.
Bytes turn(int32_t object, std::vector<double> times, std::vector<double> values,
           uint32_t claimed_keys = 0) {
  Bytes a;
  a.str("spin").put(2.0).put(uint32_t{1});
  a.put(object).put(uint8_t{1}).put(uint8_t{1});
  a.put(claimed_keys ? claimed_keys : static_cast<uint32_t>(times.size()));
  for (double t : times) a.put(t);
  for (double v : values) a.put(v);
  return a;
}

std::string decode_error(StreamBuilder& s) {
  DecodedImport out;
  std::string error;
  EXPECT_FALSE(decode_import_stream(s.end(), out, error));
  return error;
}

std::string decode_error(StreamBuilder&& s) {
  return decode_error(s);
}

TEST(StreamDecode, NodesAndKeysAreMendedOrRefusedNeverTrusted) {
  {  // Keys out of order are left out, a zero rotation makes no turn: one warning says so.
    StreamBuilder s;
    s.record(Tag::Node, node("arm", -1));
    s.record(Tag::Mesh, test::triangle_mesh(0, -1));
    s.record(Tag::Animation,
             turn(0, {0, 2, 1, 3}, {0, 0, 0, 1, 0, 0, 0, 0, 9, 9, 9, 9, 0, 0, 1, 0}));
    DecodedImport out;
    std::string error;
    ASSERT_TRUE(decode_import_stream(s.end(), out, error)) << error;
    const Channel& c = out.scene.animations.at(0).channels.at(0);
    EXPECT_EQ(c.times, (std::vector<double>{0, 2, 3}));
    EXPECT_EQ(c.values, (std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0}));
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_NE(out.warnings[0].find("animation keys"), std::string::npos);
  }
  {  // A parent that is not an earlier node: a loop cannot be written.
    StreamBuilder s;
    s.record(Tag::Node, node("a", 1));
    EXPECT_NE(decode_error(s).find("node parent 1"), std::string::npos);
  }
  {  // A channel on nothing, and one that claims more keys than it brings.
    StreamBuilder s;
    s.record(Tag::Node, node("a", -1));
    s.record(Tag::Animation, turn(3, {0}, {0, 0, 0, 1}));
    EXPECT_NE(decode_error(s).find("not a node"), std::string::npos);
    StreamBuilder lying;
    lying.record(Tag::Node, node("a", -1));
    lying.record(Tag::Animation, turn(0, {0}, {0, 0, 0, 1}, 1u << 19));
    EXPECT_NE(decode_error(lying).find("cut short"), std::string::npos);
  }
  {  // A value that is not finite.
    StreamBuilder s;
    s.record(Tag::Node, node("a", -1));
    s.record(Tag::Animation, turn(0, {0}, {0, 0, std::nan(""), 1}));
    EXPECT_NE(decode_error(s).find("beyond the world's limits"), std::string::npos);
  }
}

// A skin of `bones` bones on nodes 0 and 1 for a mesh of three vertices, `per_vertex` weights
// each: bone i % bones with weight w[v * per_vertex + i].
Bytes skin(uint32_t bones, uint32_t per_vertex, const std::vector<float>& w,
           uint32_t vertices = 3) {
  Bytes k;
  k.put(bones).put(per_vertex).put(vertices);
  for (uint32_t b = 0; b < bones; ++b) {
    k.put(static_cast<int32_t>(b % 2));
    for (double v : {1.0, 0.0, 0.0, -double(b), 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0}) k.put(v);
  }
  for (size_t i = 0; i < w.size(); ++i)
    k.put(bones ? static_cast<uint32_t>(i % per_vertex % bones) : 0u).put(w[i]);
  return k;
}

TEST(StreamDecode, SkinsAreCheckedBeforeTheyAreMadeAndTheirWeightsMended) {
  auto skinned = [](const Bytes& k) {
    StreamBuilder s;
    s.record(Tag::Node, node("root", -1));
    s.record(Tag::Node, node("skin", 0));
    s.record(Tag::Mesh, test::triangle_mesh(1, -1));
    s.record(Tag::Skin, k);
    return s;
  };
  {  // Good weights: each corner takes its vertex's influence; one bad vertex, one warning.
    StreamBuilder s = skinned(skin(2, 2, {0.5f, 1.5f, 1, 0, -1, std::nanf("")}));
    DecodedImport out;
    std::string error;
    ASSERT_TRUE(decode_import_stream(s.end(), out, error)) << error;
    ASSERT_EQ(out.scene.skins.size(), 1u);
    const Skin& k = out.scene.skins[0];
    EXPECT_EQ(k.object, 1);
    EXPECT_EQ(k.first_vertex, 0u);
    EXPECT_EQ(k.vertex_count, 3u);
    ASSERT_EQ(k.bones.size(), 2u);
    EXPECT_EQ(k.bones[1].object, 1);
    EXPECT_EQ(k.bones[1].inverse_bind.m[0][3], -1.0);
    ASSERT_EQ(k.influences.size(), 3u);
    EXPECT_EQ(k.influences[0].bone[0], 1);
    EXPECT_FLOAT_EQ(k.influences[0].weight[0], 0.75f);
    EXPECT_FLOAT_EQ(k.influences[1].weight[0], 1.0f);
    EXPECT_EQ(k.influences[2].bone[0], 0);  // nothing usable: the first bone
    EXPECT_EQ(k.influences[2].weight[0], 1.0f);
    EXPECT_EQ(k.bound_radius.size(), 2u);
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_NE(out.warnings[0].find("skin weights"), std::string::npos);
  }
  const std::vector<float> three(3, 1.0f);
  // Counts beyond the limits, or that differ from the mesh or from the bytes, are refused
  // before anything is made for them.
  EXPECT_NE(decode_error(skinned(skin(0, 1, three))).find("bone count"), std::string::npos);
  Bytes many;
  many.put(uint32_t{1025}).put(uint32_t{1}).put(uint32_t{3});
  EXPECT_NE(decode_error(skinned(many)).find("bone count"), std::string::npos);
  EXPECT_NE(
      decode_error(skinned(skin(1, 17, std::vector<float>(51, 1.0f)))).find("weights per vertex"),
      std::string::npos);
  EXPECT_NE(decode_error(skinned(skin(1, 1, three, 4))).find("differs from its mesh"),
            std::string::npos);
  Bytes lying = skin(1, 1, three);
  lying.data.resize(lying.data.size() - 4);
  EXPECT_NE(decode_error(skinned(lying)).find("do not match"), std::string::npos);
  {  // A bone that is no node; a skin after no mesh; a skinned node with other polygons.
    StreamBuilder s;
    s.record(Tag::Node, node("root", -1));
    s.record(Tag::Mesh, test::triangle_mesh(0, -1));
    Bytes k = skin(1, 1, three);
    const int32_t nothing = 7;
    std::memcpy(k.data.data() + 12, &nothing, 4);
    s.record(Tag::Skin, k);
    EXPECT_NE(decode_error(s).find("bone names object 7"), std::string::npos);
    StreamBuilder after_node;
    after_node.record(Tag::Node, node("root", -1));
    after_node.record(Tag::Skin, skin(1, 1, three));
    EXPECT_NE(decode_error(after_node).find("not right after a mesh"), std::string::npos);
    StreamBuilder mixed = skinned(skin(1, 1, three));
    mixed.record(Tag::Mesh, test::triangle_mesh(1, -1));
    EXPECT_NE(decode_error(mixed).find("outside its skins"), std::string::npos);
    StreamBuilder on_static;
    on_static.record(Tag::Node, node("root", -1));
    on_static.record(Tag::Mesh, test::triangle_mesh(-1, -1));
    on_static.record(Tag::Skin, skin(1, 1, three));
    EXPECT_NE(decode_error(on_static).find("not on a node"), std::string::npos);
  }
}

}  // namespace
}  // namespace znr
