// The world format's surface options: vertex normals and colours, smoothing across polygons,
// and materials (highlights, glow, cut-out and blended alpha), with their errors.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "zelnary/world/load_world.h"

namespace znr {
namespace {

Scene parse_ok(const std::string& body) {
  Scene s;
  WorldLoadError e;
  EXPECT_TRUE(parse_world("zelnary-world 1\n" + body, "w.wld", s, e)) << e.message;
  return s;
}

Vec3 normal_at(const Scene& s, size_t i) {
  return {s.normals.at(i).x, s.normals.at(i).y, s.normals.at(i).z};
}

void expect_near(const Vec3& a, const Vec3& b, const std::string& what) {
  EXPECT_LT(length(a - b), 1e-5) << what << ": (" << a.x << ", " << a.y << ", " << a.z << ") != ("
                                 << b.x << ", " << b.y << ", " << b.z << ")";
}

TEST(SurfaceOptions, VertexNormalsAndColoursArePresentOnlyWhenAVertexUsesThem) {
  const std::string plain = "poly color=1,0,0 : 0 0 0 ; 1 0 0 ; 0 1 0\n";
  const Scene none = parse_ok(plain);
  EXPECT_TRUE(none.normals.empty() && none.vertex_colors.empty() && none.materials.empty());

  const Scene s = parse_ok(plain +
                           "poly : 0 0 0 0.5 0.25 n=0,0,2 c=1,0,0.5 ; 1 0 0 c=0,0,0,0.5 ;"
                           " 0 1 0 n=3,4,0\n" +
                           plain);
  ASSERT_EQ(s.normals.size(), s.vertices.size());
  ASSERT_EQ(s.vertex_colors.size(), s.vertices.size());
  EXPECT_EQ(s.vertices[3].u, 0.5f);  // texture coordinates still read before the extras
  EXPECT_EQ(s.vertices[3].v, 0.25f);
  expect_near(normal_at(s, 3), {0, 0, 1}, "stored unit");
  expect_near(normal_at(s, 5), {0.6, 0.8, 0}, "stored unit");
  for (size_t i : {0, 1, 2, 4, 6, 7, 8}) EXPECT_TRUE(s.normals[i].none()) << i;
  EXPECT_EQ(s.vertex_colors[3], 0xFFFF0080u);
  EXPECT_EQ(s.vertex_colors[4], 0x80000000u);
  for (size_t i : {0, 1, 2, 5, 6, 7, 8}) EXPECT_EQ(s.vertex_colors[i], 0xFFFFFFFFu) << i;
}

TEST(SurfaceOptions, MaterialsAreSharedAndPlainPolygonsStayPlain) {
  const std::string tri = " : 0 0 0 ; 1 0 0 ; 0 1 0\n";
  const Scene s = parse_ok("poly" + tri +                                     // 0: plain
                           "poly specular=0.5,0.5,0.5 shininess=100" + tri +  // 1
                           "poly shininess=100 specular=0.5,0.5,0.5" + tri +  // 2: same as 1
                           "poly cutout emissive=0,0.2,0" + tri +             // 3
                           "poly cutout=0.25 alpha=0.8" + tri +               // 4
                           "poly blend" + tri +                               // 5
                           "poly alpha=0.5 onesided" + tri +                  // 6
                           "poly shininess=32" + tri);                        // 7: the default
  ASSERT_EQ(s.materials.size(), 6u);
  EXPECT_TRUE(s.materials[0].plain());
  for (size_t i : {0, 7}) EXPECT_EQ(s.polygons[i].material, 0) << i;
  EXPECT_EQ(s.polygons[1].material, s.polygons[2].material);
  const Material& shiny = s.material_of(s.polygons[1]);
  EXPECT_EQ(shiny.specular, (Color{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(shiny.shininess, 100.0f);
  EXPECT_EQ(shiny.alpha_mode, AlphaMode::Opaque);

  const Material& cut = s.material_of(s.polygons[3]);
  EXPECT_EQ(cut.alpha_mode, AlphaMode::Mask);
  EXPECT_EQ(cut.cutoff, 0.5f);
  EXPECT_EQ(cut.emissive, (Color{0.0f, 0.2f, 0.0f}));
  const Material& cut_faded = s.material_of(s.polygons[4]);
  EXPECT_EQ(cut_faded.alpha_mode, AlphaMode::Mask);
  EXPECT_EQ(cut_faded.cutoff, 0.25f);
  EXPECT_EQ(cut_faded.alpha, 0.8f);
  const Material& blend = s.material_of(s.polygons[5]);
  EXPECT_EQ(blend.alpha_mode, AlphaMode::Blend);
  EXPECT_EQ(blend.alpha, 1.0f);
  const Material& glass = s.material_of(s.polygons[6]);
  EXPECT_EQ(glass.alpha_mode, AlphaMode::Blend);
  EXPECT_EQ(glass.alpha, 0.5f);
  EXPECT_FALSE(s.polygons[6].two_sided);
}

// Two quads folded along their shared edge (y = 0) by the given angle, both smooth.
Scene folded(double degrees, const std::string& options, const std::string& extra = "") {
  const double a = degrees * std::numbers::pi / 180.0;
  const std::string y = std::to_string(std::cos(a)), z = std::to_string(std::sin(a));
  return parse_ok("poly " + options + " : 0 -1 0 ; 1 -1 0 ; 1 0 0 ; 0 0 0\n" +  // flat, up
                  "poly " + options + " : 0 0 0 ; 1 0 0" + extra + " ; 1 " + y + " " + z + " ; 0 " +
                  y + " " + z + "\n");
}

TEST(SurfaceOptions, SmoothPolygonsShareNormalsWithinTheirCrease) {
  const Vec3 up{0, 0, 1};
  const double a = 20.0 * std::numbers::pi / 180.0;
  const Vec3 tilted{0, -std::sin(a), std::cos(a)};
  const Vec3 between = normalized(up + tilted);

  const Scene gentle = folded(20, "smooth");
  ASSERT_EQ(gentle.normals.size(), 8u);
  for (size_t i : {2, 3, 4, 5}) expect_near(normal_at(gentle, i), between, "shared edge");
  for (size_t i : {0, 1}) expect_near(normal_at(gentle, i), up, "own plane");
  for (size_t i : {6, 7}) expect_near(normal_at(gentle, i), tilted, "own plane");

  // A right angle is beyond the default crease of 60 degrees, not beyond one of 100.
  const Scene sharp = folded(90, "smooth");
  for (size_t i : {0, 1, 2, 3}) expect_near(normal_at(sharp, i), up, "crease kept");
  for (size_t i : {4, 5, 6, 7}) expect_near(normal_at(sharp, i), {0, -1, 0}, "crease kept");
  const Scene wide = folded(90, "smooth=100");
  expect_near(normal_at(wide, 4), normalized(Vec3{0, -1, 1}), "within a wider crease");
  const Scene narrow = folded(20, "smooth=10");
  expect_near(normal_at(narrow, 4), tilted, "beyond a narrower crease");

  // A vertex's own normal wins; polygons without "smooth" neither get nor give normals.
  const Scene own = folded(20, "smooth", " n=1,0,0");
  expect_near(normal_at(own, 5), {1, 0, 0}, "explicit");
  expect_near(normal_at(own, 2), between, "the neighbour still counts the plane");
  EXPECT_TRUE(folded(20, "").normals.empty());

  // The same positions in an object's frame are not the world's.
  const Scene apart = parse_ok(
      "poly smooth : 0 -1 0 ; 1 -1 0 ; 1 0 0 ; 0 0 0\nobject o 0\nwaypoint 0 0 0\n"
      "poly smooth : 0 0 0 ; 1 0 0 ; 1 1 1 ; 0 1 1\nend\n");
  expect_near(normal_at(apart, 2), up, "object apart");
}

TEST(SurfaceOptions, APointSharedByManyPolygonsIsSmoothedToo) {
  // A cone of 200 sides around z, each side 60 degrees from the ground: smoothed across every
  // side, the tip's normal is straight up; each rim vertex's leans out as its two sides do.
  std::string text;
  constexpr int kSides = 200;
  auto rim = [](int k) {
    const double a = 2 * std::numbers::pi * k / kSides;
    return std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0";
  };
  for (int k = 0; k < kSides; ++k)
    text += "poly smooth=180 : " + rim(k) + " ; " + rim(k + 1) + " ; 0 0 1.732050808\n";
  const Scene s = parse_ok(text);
  for (size_t k = 0; k < kSides; ++k) {
    expect_near(normal_at(s, 3 * k + 2), {0, 0, 1}, "tip " + std::to_string(k));
    const Vec3 base = normal_at(s, 3 * k);
    EXPECT_NEAR(base.z, 0.5, 1e-3) << k;
    EXPECT_NEAR(std::hypot(base.x, base.y), std::sqrt(0.75), 1e-3) << k;
  }
}

TEST(SurfaceOptions, BadValuesAreErrorsOnTheirLine) {
  struct Bad {
    std::string poly;
    WorldError kind;
  };
  const Bad cases[] = {
      {"poly : 0 0 0 n=0,0,0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly : 0 0 0 n=nan,0,1 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly : 0 0 0 n=1,0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly : 0 0 0 n=1,0,0 n=1,0,0 ; 1 0 0 ; 0 1 0", WorldError::Duplicate},
      {"poly : 0 0 0 c=1.5,0,0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly : 0 0 0 ; 1 0 0 c=1,1,1,-0.1 ; 0 1 0", WorldError::OutOfRange},
      {"poly : 0 0 0 ; 1 0 0 ; 0 1 0 0 0 q=1", WorldError::Syntax},
      {"poly : 0 0 0 c=1,1,1 0 0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly cutout=1.5 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly alpha=-0.5 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly shininess=0.5 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly shininess=1025 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly specular=1,1 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly emissive=0,2,0 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly specular : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly blend=1 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly smooth=181 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::OutOfRange},
      {"poly cutout blend : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::Syntax},
      {"poly smooth smooth=30 : 0 0 0 ; 1 0 0 ; 0 1 0", WorldError::Duplicate},
  };
  for (const Bad& c : cases) {
    Scene s;
    WorldLoadError e;
    EXPECT_FALSE(parse_world("zelnary-world 1\npoly : 0 0 0 ; 1 0 0 ; 0 1 0\n" + c.poly + "\n",
                             "w.wld", s, e))
        << c.poly;
    EXPECT_EQ(e.kind, c.kind) << c.poly << ": " << e.message;
    EXPECT_TRUE(e.message.starts_with("w.wld:3: ")) << c.poly << ": " << e.message;
    EXPECT_TRUE(s.normals.empty() && s.vertex_colors.empty() && s.materials.empty());
  }
}

TEST(SurfaceOptions, AtMostSixtyFiveThousandFiveHundredAndThirtySixMaterials) {
  // The plain material takes index 0, so 65,535 others fit and one more does not.
  std::string text;
  auto poly = [](int k) {
    return "poly emissive=0,0," + std::to_string((k + 1) / 65536.0) + " : 0 0 0 ; 1 0 0 ; 0 1 0\n";
  };
  for (int k = 0; k < 65535; ++k) text += poly(k);
  const Scene s = parse_ok("poly : 0 0 0 ; 1 0 0 ; 0 1 0\n" + text);
  ASSERT_EQ(s.materials.size(), 65536u);
  EXPECT_EQ(s.polygons.back().material, 65535);
  Scene t;
  WorldLoadError e;
  EXPECT_FALSE(parse_world("zelnary-world 1\n" + text + poly(65535), "w.wld", t, e));
  EXPECT_EQ(e.kind, WorldError::Limit);
  EXPECT_EQ(e.line, 65537u);
}

}  // namespace
}  // namespace znr
