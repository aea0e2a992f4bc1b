// Light per vertex through the whole CPU path: smooth normals, highlights, vertex colours,
// cut-outs and blending, in pictures whose expected colours can be worked out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "surface_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/surface_light.h"

namespace znr {
namespace {

constexpr int32_t kW = 200, kH = 150;

Image render(const test::TestView& v, double accuracy = 1000.0) {
  Renderer r(engine_backends(), "cpu");
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  Image out;
  r.render_to_image(v.scene, {}, v.camera, settings, kW, kH, out);
  return out;
}

int channel(uint32_t c, int shift) {
  return static_cast<int>((c >> shift) & 0xFFu);
}

// Runs of three pixels on the model whose red bends by more than a few levels: the steps
// between flat facets (a smooth shade changes steadily, and bends only a little).
int steps(const Image& img) {
  int n = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    for (int32_t x = 0; x + 2 < img.width; ++x) {
      const uint32_t a = img.at(x, y), b = img.at(x + 1, y), c = img.at(x + 2, y);
      if ((a & 0xFFFFFFu) == 0 || (b & 0xFFFFFFu) == 0 || (c & 0xFFFFFFu) == 0) continue;
      n += std::abs(channel(a, 16) - 2 * channel(b, 16) + channel(c, 16)) > 4 ? 1 : 0;
    }
  }
  return n;
}

TEST(SurfaceLight, VertexNormalsDrawASphereWithoutFacets) {
  const int flat = steps(render(test::sphere_view(false, false)));
  const int smooth = steps(render(test::sphere_view(true, false)));
  EXPECT_GT(flat, 300);
  EXPECT_LT(smooth * 20, flat);
  // At Low the shade steps linearly across the screen, and is as smooth.
  EXPECT_LT(steps(render(test::sphere_view(true, false), 0.0)) * 20, flat);
}

// A flat wall behind the sphere keeps its flat light whether or not the scene's other
// polygons carry normals (those are lit per vertex, the wall by its plane).
TEST(SurfaceLight, APolygonWithoutNormalsBesideOnesWithNormalsIsLitFlat) {
  Image pictures[2];
  for (const bool normals : {false, true}) {
    test::TestView v = test::sphere_view(normals, false);
    test::QuadOptions grey;
    grey.color = {0.6f, 0.6f, 0.6f};
    test::add_quad(v.scene, {Vec3{80, 60, -60}, {80, -60, -60}, {80, -60, 60}, {80, 60, 60}}, grey);
    pictures[normals ? 1 : 0] = render(v);
  }
  EXPECT_NE(pictures[1].at(5, 5) & 0xFFFFFFu, 0u);
  EXPECT_EQ(pictures[1].at(5, 5), pictures[0].at(5, 5));
}

// Where the sphere's normal is half-way between the sun and the eye, on screen.
void highlight_pixel(const test::TestView& v, int32_t& px, int32_t& py) {
  const Vec3 centre{40, 0, 0};
  const Vec3 to_eye = normalized(v.camera.location - centre);
  const Vec3 n = normalized(normalized(v.scene.lighting.sun_direction) + to_eye);
  const Vec3 p = centre + n * 10.0 - v.camera.location;
  const Vec3 right = cross(v.camera.forward, v.camera.up);
  const double focal = kW * 0.5 / std::tan(v.camera.zoom * 0.5 * std::numbers::pi / 180.0);
  const double depth = dot(p, v.camera.forward);
  px = static_cast<int32_t>(kW * 0.5 + focal * dot(p, right) / depth);
  py = static_cast<int32_t>(kH * 0.5 - focal * dot(p, v.camera.up) / depth);
}

TEST(SurfaceLight, HighlightLiesWhereTheSunReflectsIntoTheEye) {
  const test::TestView shiny = test::sphere_view(true, true);
  int32_t x = 0, y = 0;
  highlight_pixel(shiny, x, y);
  const Image with = render(shiny), without = render(test::sphere_view(true, false));
  // The surface's blue is 0.3: only the white highlight lifts it near full.
  EXPECT_GT(channel(with.at(x, y), 0), 220) << x << "," << y;
  EXPECT_LT(channel(without.at(x, y), 0), 90);
  // Across the sphere from it, no highlight.
  const int32_t ox = 2 * (kW / 2) - x, oy = 2 * (kH / 2) - y;
  EXPECT_EQ(with.at(ox, oy), without.at(ox, oy));
}

TEST(SurfaceLight, VertexColoursMixAcrossThePolygon) {
  for (const double accuracy : {0.0, 1000.0}) {
    const Image img = render(test::vertex_color_view(), accuracy);
    auto near = [](uint32_t c, int r, int g, int b) {
      return std::abs(channel(c, 16) - r) <= 24 && std::abs(channel(c, 8) - g) <= 24 &&
             std::abs(channel(c, 0) - b) <= 24;
    };
    // The square reaches about 69 pixels from the centre; look just inside its corners.
    const int32_t cx = kW / 2, cy = kH / 2, d = 64;
    EXPECT_TRUE(near(img.at(cx - d, cy - d), 255, 0, 0)) << std::hex << img.at(cx - d, cy - d);
    EXPECT_TRUE(near(img.at(cx + d, cy - d), 0, 255, 0)) << std::hex << img.at(cx + d, cy - d);
    EXPECT_TRUE(near(img.at(cx + d, cy + d), 0, 0, 255)) << std::hex << img.at(cx + d, cy + d);
    EXPECT_TRUE(near(img.at(cx - d, cy + d), 255, 255, 255)) << std::hex << img.at(cx - d, cy + d);
    // The middle lies on the fan's diagonal from white to green.
    EXPECT_TRUE(near(img.at(cx, cy), 128, 255, 128)) << std::hex << img.at(cx, cy);
  }
}

TEST(SurfaceLight, MaskCutsHolesThatShowWhatIsBehind) {
  for (const double accuracy : {0.0, 3.0, 1000.0}) {
    const Image img = render(test::mask_view(), accuracy);
    const int32_t cx = kW / 2, cy = kH / 2, d = 34;
    EXPECT_EQ(img.at(cx - d, cy - d), 0xFFFFFFFFu) << accuracy;  // opaque texel
    EXPECT_EQ(img.at(cx + d, cy - d), 0xFFFF0000u) << accuracy;  // clear: the red behind
    EXPECT_EQ(img.at(cx - d, cy + d), 0xFFFF0000u) << accuracy;
    EXPECT_EQ(img.at(cx + d, cy + d), 0xFFFFFFFFu) << accuracy;
  }
}

TEST(SurfaceLight, BlendMixesFarToNearInWhateverOrderTheSceneListsThem) {
  const Image near_first = render(test::blend_view(true));
  const Image far_first = render(test::blend_view(false));
  EXPECT_EQ(near_first.texels, far_first.texels);
  // Blue, half green over it, then half red over that.
  const uint32_t c = near_first.at(kW / 2, kH / 2);
  EXPECT_NEAR(channel(c, 16), 128, 1);
  EXPECT_NEAR(channel(c, 8), 64, 1);
  EXPECT_NEAR(channel(c, 0), 64, 1);
  EXPECT_EQ(near_first.at(20, kH / 2), 0xFF0000FFu);  // the blue square alone
}

TEST(SurfaceLight, ATwoSidedPolygonSeenFromBehindIsLitFromTheSideSeen) {
  // A square with its own normals towards -x, lit by a sun behind the eye: from the front,
  // and again from behind with the sun moved behind the eye there.
  auto view = [](bool from_behind) {
    test::TestView v = test::vertex_color_view();
    v.scene.vertex_colors.clear();
    v.scene.normals.assign(4, Normal{-1.0f, 0.0f, 0.0f});
    v.scene.lighting = {{0.2f, 0.2f, 0.2f}, {from_behind ? 1.0 : -1.0, 0, 0}, {0.7f, 0.7f, 0.7f}};
    if (from_behind) v.camera = test::look_at({20, 0, 0}, {10, 0, 0}, 60.0);
    return render(v);
  };
  const uint32_t front = view(false).at(kW / 2, kH / 2);
  EXPECT_EQ(channel(front, 16), 229);  // (0.2 + 0.7) x 255, rounded down
  EXPECT_EQ(view(true).at(kW / 2, kH / 2), front);
}

TEST(SurfaceLight, ShadeAddsEmissiveAndHighlightToTheLitColourTimesTheVertexColour) {
  Scene s;
  s.lighting.ambient = {0.25f, 0.25f, 0.25f};
  s.lighting.sun = {0.5f, 0.5f, 0.5f};
  s.lighting.sun_direction = {0, 0, 2};
  Material m;
  m.emissive = {0.0f, 0.0f, 0.5f};
  m.specular = {1.0f, 0.0f, 0.0f};
  m.alpha = 0.5f;
  m.alpha_mode = AlphaMode::Blend;
  s.materials = {Material{}, m};
  s.vertices.resize(1);
  s.vertex_colors = {0x80FF8000u};  // half alpha, red, half green, no blue
  Polygon p;
  p.color = {0.8f, 1.0f, 1.0f};
  p.material = 1;
  // Facing the sun, the eye straight above: the highlight is full.
  VertexShade v = shade_vertex(s, p, 0, {0, 0, 1}, {0, 0, 1});
  EXPECT_FLOAT_EQ(v.mul[0], 0.8f * 0.75f);
  EXPECT_NEAR(v.mul[1], 128.0 / 255.0 * 0.75, 1e-6);
  EXPECT_FLOAT_EQ(v.mul[2], 0.0f);
  EXPECT_FLOAT_EQ(v.add[0], 0.5f);  // highlight: specular times the sun
  EXPECT_FLOAT_EQ(v.add[2], 0.5f);  // emissive
  EXPECT_NEAR(v.alpha, 0.5 * 128.0 / 255.0, 1e-6);
  // Seen from the back side: ambient only, no highlight.
  v = shade_vertex(s, p, 0, {0, 0, -1}, {0, 0, 1});
  EXPECT_FLOAT_EQ(v.mul[0], 0.8f * 0.25f);
  EXPECT_FLOAT_EQ(v.add[0], 0.0f);
}

// Under a sun from behind the sphere the highlight's peak lies where the sun barely lights the
// surface (its cosine there is about 0.2): it must show all the same.
TEST(SurfaceLight, AHighlightShowsUnderALowSun) {
  test::TestView shiny = test::sphere_view(true, true), matte = test::sphere_view(true, false);
  for (test::TestView* v : {&shiny, &matte}) v->scene.lighting.sun_direction = {1.0, 0.0, 0.5};
  const Image a = render(shiny), b = render(matte);
  int most = 0;
  for (size_t i = 0; i < a.texels.size(); ++i)
    most = std::max(most, channel(a.texels[i], 0) - channel(b.texels[i], 0));
  EXPECT_GT(most, 120);
}

// A highlight on one corner of a triangle only (whichever it is) still spreads into the
// triangle from that corner.
TEST(SurfaceLight, AHighlightOnOneCornerOnlyShows) {
  const Vec3 half = normalized(Vec3{-0.924, 0.0, 0.383});  // between the eye and the sun
  for (int corner = 0; corner < 3; ++corner) {
    test::TestView v[2];
    for (int shiny = 0; shiny < 2; ++shiny) {
      Scene& s = v[shiny].scene;
      s.lighting.ambient = {0.2f, 0.2f, 0.2f};
      s.lighting.sun = {0.5f, 0.5f, 0.5f};
      s.lighting.sun_direction = {-1.0, 0.0, 1.0};
      Material m;
      m.specular = {1.0f, 1.0f, 1.0f};
      m.shininess = 40.0f;
      s.materials = {shiny != 0 ? m : Material{}};
      s.vertices = {{{40, 12, -10}}, {{40, -12, -10}}, {{40, 0, 12}}};
      for (int i = 0; i < 3; ++i) {
        const Vec3 n = i == corner ? half : normalized(Vec3{-1.0, 0.0, -0.5});
        s.normals.push_back(
            {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
      }
      Polygon p;
      p.vertex_count = 3;
      p.two_sided = true;
      s.polygons = {p};
      v[shiny].camera = test::look_at({0, 0, 0}, {40, 0, 0});
    }
    const Image a = render(v[1]), b = render(v[0]);
    int most = 0;
    for (size_t i = 0; i < a.texels.size(); ++i)
      most = std::max(most, channel(a.texels[i], 0) - channel(b.texels[i], 0));
    EXPECT_GT(most, 30) << "corner " << corner;
  }
}

// The highlight is (n . h)^s up to where it falls below a thousandth; the vertices well past
// that are turned away without working out h, and none near it may be.
// Neighbouring polygons carry copies of the corners they share, and a copy is lit once for all
// of them: neighbours that differ only in their colour, their corners' colours, their normals or
// the side seen must still each get their own light. Each quad's middle pixel is compared with
// the same quad drawn alone.
TEST(SurfaceLight, NeighboursSharingCornersKeepTheirOwnLight) {
  constexpr int kQuads = 6;
  for (int differ = 0; differ < 4; ++differ) {
    test::TestView v{Scene{}, test::look_at({0, 0, 0}, {1, 0, 0}, 60.0)};
    Scene& s = v.scene;
    s.background = {0.0f, 0.0f, 0.0f};
    s.lighting = {{0.3f, 0.3f, 0.3f}, {-1.0, 0.0, 0.0}, {0.6f, 0.6f, 0.6f}};  // sun at the eye
    for (int k = 0; k < kQuads; ++k) {
      const bool odd = k % 2 == 1;
      const double left = 12.0 - 4.0 * k, right = left - 4.0;
      // Counter-clockwise seen from the eye, unless this one is to be seen from behind.
      std::array<Vec3, 4> corners = {Vec3{40, left, -2}, Vec3{40, right, -2}, Vec3{40, right, 2},
                                     Vec3{40, left, 2}};
      if (differ == 3 && odd) std::reverse(corners.begin(), corners.end());
      Polygon p;
      p.first_vertex = static_cast<uint32_t>(s.vertices.size());
      p.vertex_count = 4;
      p.color = differ == 0 && odd ? Color{0.2f, 1.0f, 0.4f} : Color{1.0f, 0.6f, 0.2f};
      s.polygons.push_back(p);
      for (const Vec3& c : corners) {
        s.vertices.push_back({c, 0.0f, 0.0f});
        s.normals.push_back(differ == 2 && odd ? Normal{0, 0, 1} : Normal{-1, 0, 0});
        s.vertex_colors.push_back(differ == 1 && odd ? 0xFF4080FFu : 0xFFFFFFFFu);
      }
    }
    const Image all = render(v);
    uint32_t last = 0;
    for (int k = 0; k < kQuads; ++k) {
      test::TestView alone = v;
      alone.scene.polygons = {v.scene.polygons[static_cast<size_t>(k)]};
      const Image one = render(alone);
      int64_t sx = 0, sy = 0, n = 0;
      for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
          if ((one.at(x, y) & 0xFFFFFFu) == 0) continue;
          sx += x;
          sy += y;
          ++n;
        }
      }
      ASSERT_GT(n, 100) << differ << " " << k;
      const auto cx = static_cast<int32_t>(sx / n), cy = static_cast<int32_t>(sy / n);
      EXPECT_EQ(all.at(cx, cy), one.at(cx, cy)) << "differing " << differ << ", quad " << k;
      if (k > 0) {
        EXPECT_NE(one.at(cx, cy), last) << "differing " << differ << ", quad " << k;
      }
      last = one.at(cx, cy);
    }
  }
}

// The vertices lit in one frame are not taken for the next one's: the sun moved from one side
// of the sphere to the other between two frames of one renderer, the other side is lit.
TEST(SurfaceLight, TheNextFrameLightsItsVerticesAfresh) {
  test::TestView v = test::sphere_view(true, false);  // outlives the renderer, which reads it
  Renderer r(engine_backends(), "cpu");
  auto sides = [&](double sun_y) {
    v.scene.lighting.sun_direction = {-1.0, sun_y, 0.0};
    Image img;
    r.render_to_image(v.scene, {}, v.camera, RenderSettings{}, kW, kH, img);
    int32_t first = kW, last = -1;
    for (int32_t x = 0; x < kW; ++x) {
      if ((img.at(x, kH / 2) & 0xFFFFFFu) == 0) continue;
      first = std::min(first, x);
      last = x;
    }
    const int32_t quarter = (last - first) / 4;
    return std::pair{channel(img.at(first + quarter, kH / 2), 16),
                     channel(img.at(last - quarter, kH / 2), 16)};
  };
  for (int frame = 0; frame < 3; ++frame) {
    const double sun_y = frame % 2 == 0 ? 2.0 : -2.0;
    const auto [left, right] = sides(sun_y);
    EXPECT_GT(sun_y > 0 ? left : right, (sun_y > 0 ? right : left) + 40) << "frame " << frame;
  }
}

// A normal that is not of unit length (a caller's mistake, or a scene built by hand) must not
// make a shade that is not finite: one nearly at right angles to the sun, a hundred long
// towards the eye, under a sharp highlight in red only.
TEST(SurfaceLight, ShadesStayFiniteForANormalThatIsNotUnit) {
  Scene scene;
  scene.materials.assign(1, Material{});
  scene.materials[0].specular = {1.0f, 0.0f, 0.0f};
  scene.materials[0].shininess = 4096.0f;
  const Vec3 to_light{1.0, 0.0, 0.0};
  const PolygonShader shader(scene, Polygon{}, to_light);
  const Vec3 normal{0.5, 0.0, 100.0};
  const VertexShade v = shader.at(kNoVertexColor, normal, shader.lambert(normal), {0, 0, 1});
  for (int c = 0; c < 3; ++c) {
    EXPECT_TRUE(std::isfinite(v.mul[c]) && std::isfinite(v.add[c])) << c;
    EXPECT_LE(v.add[c], 1.0f) << c;
  }
}

TEST(SurfaceLight, HighlightIsThePowerOfTheHalfwayCosineUpToItsCutOff) {
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  };
  const Vec3 to_light = normalized(Vec3{0.3, -0.2, 1.0});
  Scene scene;
  scene.lighting.sun = {1.0f, 1.0f, 1.0f};
  auto polygon_of = [&scene](double shininess) {
    scene.materials.assign(1, Material{});
    scene.materials[0].specular = {1.0f, 1.0f, 1.0f};
    scene.materials[0].shininess = static_cast<float>(shininess);
    return Polygon{};
  };
  int lit = 0;
  for (const double s : {1.0, 6.0, 7.5, 20.0, 128.0}) {
    for (int k = 0; k < 20000; ++k) {
      // Eyes spread round the mirror direction, some within the highlight, most past it.
      const Vec3 normal = normalized(Vec3{next() * 0.3, next() * 0.3, 1.0});
      const Vec3 mirror = normal * (2.0 * dot(normal, to_light)) - to_light;
      const double spread = k % 2 == 0 ? 0.1 : 1.0;
      const Vec3 to_eye = normalized(mirror + Vec3{next(), next(), next()} * spread);
      const double c = dot(normal, normalized(to_light + to_eye));
      const double expected = c > 0.0 && s * (1.0 - c) <= 7.0 ? std::pow(c, s) : 0.0;
      ASSERT_NEAR(highlight(normal, to_light, to_eye, s), expected, 1e-9)
          << "shininess " << s << ", c " << c;
      // A polygon's vertices share the material's cut-off, worked out once for them.
      const PolygonShader shader(scene, polygon_of(s), to_light);
      ASSERT_NEAR(shader.at(kNoVertexColor, normal, shader.lambert(normal), to_eye).add[0],
                  std::min(expected, 1.0), 1e-6);
      lit += expected > 0.0 ? 1 : 0;
    }
  }
  EXPECT_GT(lit, 20000);
}

// Vertices lit together in vector lanes must get the shades they get one by one, to the bit,
// in every lane and in the rest past the last whole group: over highlights of whole and other
// exponents, transparency, terms that are not finite, both sides, and the vertices that leave
// the lanes' path (no normal, at the eye, far beyond any sense).
TEST(SurfaceLight, VerticesLitInLanesMatchThoseLitOneByOne) {
  uint32_t seed = 7;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  };
  Scene scene;
  scene.lighting.sun = {0.9f, 0.8f, 0.7f};
  scene.materials.assign(5, Material{});
  scene.materials[0].specular = {0.5f, 0.6f, 0.7f};
  scene.materials[0].shininess = 20.0f;
  scene.materials[1].specular = {1.0f, 1.0f, 1.0f};
  scene.materials[1].shininess = 7.5f;
  scene.materials[1].alpha = 0.6f;
  scene.materials[1].alpha_mode = AlphaMode::Blend;
  scene.materials[2].specular = {1.0f, 0.5f, 0.0f};
  scene.materials[2].shininess = 3.0f;  // no cut-off
  scene.materials[3].emissive = {0.1f, 0.0f, 0.2f};
  scene.materials[4].emissive = {NAN, 0.0f, 0.0f};
  const Vec3 eye{3.0, -2.0, 5.0};
  std::vector<StoredVertex> in(203);
  for (size_t i = 0; i < in.size(); ++i) {
    StoredVertex& v = in[i];
    v.normal = {static_cast<float>(next()), static_cast<float>(next()),
                static_cast<float>(next() + 0.5)};
    v.position = eye + Vec3{next() * 9.0, next() * 9.0, next() * 9.0 - 6.0};
    v.color = seed ^ static_cast<uint32_t>(i * 2654435761u);
    if (i % 17 == 3) v.normal = {};
    if (i % 19 == 4) v.position = eye;
    if (i % 23 == 5) v.position = {1e200, 0.0, 0.0};
  }
  int highlights = 0;
  // The second time under a light that darkens below black, which the shades clamp.
  for (const Color ambient : {Color{0.2f, 0.3f, 0.25f}, Color{-0.4f, 0.1f, -0.1f}}) {
    scene.lighting.ambient = ambient;
    for (size_t m = 0; m < scene.materials.size(); ++m) {
      Polygon p;
      p.material = static_cast<uint16_t>(m);
      p.color = {0.9f, 0.7f, 0.5f};
      const PolygonShader shader(scene, p, normalized(Vec3{0.3, -0.4, 0.8}));
      for (const double side : {1.0, -1.0}) {
        for (const auto lanes : {PolygonShader::Lanes::widest, PolygonShader::Lanes::narrow}) {
          std::vector<VertexShade> out(in.size());
          shader.stored_many(in, side, eye, out.data(), lanes);
          for (size_t i = 0; i < in.size(); ++i) {
            const VertexShade one = shader.stored(in[i], side, eye);
            ASSERT_EQ(std::memcmp(&one, &out[i], sizeof one), 0)
                << "material " << m << ", side " << side << ", vertex " << i;
            highlights += m < 3 && one.add[0] > 0.0f ? 1 : 0;
          }
        }
      }
    }
  }
  EXPECT_GT(highlights, 100);
}

}  // namespace
}  // namespace znr
