#include "zelnary/import/stream_decode.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <thread>

#include "zelnary/import/stream_format.h"
#include "zelnary/simulation/morphing.h"
#include "zelnary/simulation/skinning.h"
#include "zelnary/textures/decode.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/material_table.h"

namespace znr {
namespace {

namespace lim = world_limits;
using namespace import_stream;

constexpr size_t kMaxMaterials = 65536;
static_assert(lim::kMaxMorphTargets == kMorphTargets);

// A bounds-checked cursor over one payload.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t left() const { return bytes_.size() - pos_; }
  bool take(void* out, size_t n) {
    if (n > left()) return false;
    std::memcpy(out, bytes_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  template <typename T>
  bool get(T& out) {
    return take(&out, sizeof(T));
  }
  bool string(std::string& out) {
    uint32_t n = 0;
    if (!get(n) || n > lim::kMaxNameBytes || n > left()) return false;
    out.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return true;
  }
  std::span<const uint8_t> span(size_t n) {
    auto r = bytes_.subspan(pos_, n);
    pos_ += n;
    return r;
  }
  std::span<const uint8_t> rest() { return span(left()); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// Large scene arrays are filled once, front to back: on huge pages that costs a few hundred
// page faults instead of tens of thousands (a large share of a big import's time).
// The pages of [begin, end) made ready (zero-filled and mapped) without writing anything: run
// beside a thread that fills the same array from the front, it takes first touches, slow on a
// virtual machine, off that thread's way.
void populate(const void* begin, const void* end) {
#if defined(MADV_POPULATE_WRITE)
  constexpr uintptr_t kPage = 4096;
  const auto from = (reinterpret_cast<uintptr_t>(begin) + kPage - 1) & ~(kPage - 1);
  const auto to = reinterpret_cast<uintptr_t>(end) & ~(kPage - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)end;
#endif
}

template <typename T>
void advise_huge_pages(const std::vector<T>& v) {
  constexpr uintptr_t kPage = 4096;
  const auto begin = (reinterpret_cast<uintptr_t>(v.data()) + kPage - 1) & ~(kPage - 1);
  const auto end = reinterpret_cast<uintptr_t>(v.data() + v.capacity());
  if (end > begin + (2u << 20))
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

struct StreamMaterial {
  int32_t texture = -1;
  Color color;
  bool two_sided = false;
  uint16_t surface = 0;  // into Scene::materials
};

// What the decoder mended in a model's values rather than refuse it: reported once per import.
enum Repair : uint32_t {
  kBadNormals = 1,
  kBadColours = 2,
  kCountMismatch = 4,
  kBadMaterial = 8,
  kBadKeys = 16,
  kBadWeights = 32,
  kBadMorphWeights = 64,
};

// v within lo..hi; a NaN becomes fallback. Notes a change in repaired.
float mend(float v, float lo, float hi, float fallback, bool& repaired) {
  const float r = std::isnan(v) ? fallback : std::clamp(v, lo, hi);
  repaired |= !(r == v);
  return r;
}

bool finite_within(double v, double bound) {
  return std::isfinite(v) && std::fabs(v) <= bound;
}

class Decoder {
 public:
  Decoder(DecodedImport& out, std::string& error) : out_(out), error_(error) {}
  ~Decoder() {
    if (populating_.joinable()) populating_.join();
  }

  bool run(std::span<const uint8_t> bytes) {
    Reader stream(bytes);
    uint32_t magic = 0, version = 0;
    if (!stream.get(magic) || !stream.get(version) || magic != kStreamMagic)
      return fail("not an import stream");
    if (version != kStreamVersion) return fail("version " + std::to_string(version));
    if (!reserve_triangles(stream)) return false;
    for (;;) {
      uint32_t tag = 0;
      uint64_t size = 0;
      if (!stream.get(tag) || !stream.get(size)) return fail("ends without its End record");
      if (size > stream.left()) return fail("record longer than the bytes sent");
      Reader payload(stream.span(static_cast<size_t>(size)));
      if (!record(static_cast<Tag>(tag), payload)) return false;
      const Tag t = static_cast<Tag>(tag);
      mesh_.open = t == Tag::Mesh || (mesh_.open && (t == Tag::Skin || t == Tag::Morph));
      if (t == Tag::End) {
        if (stream.left() != 0) return fail("bytes after the End record");
        if (!ranges_hold_their_objects(out_.scene.skins, "skinned", "skins") ||
            !ranges_hold_their_objects(out_.scene.morphs, "morphed", "morphs") ||
            !shared_meshes_are_placed())
          return false;
        finish_attributes();
        return true;
      }
      if (payload.left() != 0) return fail("record with trailing bytes");
    }
  }

 private:
  // One pass over the record headers sums the triangles the meshes claim, so the scene's arrays
  // are checked against the caps and allocated once instead of growing mesh by mesh. Claims the
  // payloads do not back are caught when each mesh is read.
  bool reserve_triangles(Reader stream) {
    uint64_t triangles = 0;
    uint32_t tag = 0;
    uint64_t size = 0;
    while (stream.get(tag) && stream.get(size) && size <= stream.left()) {
      Reader payload(stream.span(static_cast<size_t>(size)));
      uint32_t header[4];
      if (static_cast<Tag>(tag) == Tag::Mesh && payload.take(header, sizeof header))
        triangles += std::min<uint64_t>(header[3], payload.left() / kTriangleBytes);
    }
    if (triangles > lim::kMaxPolygons)
      return limit("more than " + std::to_string(lim::kMaxPolygons) + " polygons");
    if (triangles * 3 > lim::kMaxVertices)
      return limit("more than " + std::to_string(lim::kMaxVertices) + " vertices");
    out_.scene.polygons.reserve(triangles);
    out_.scene.vertices.reserve(triangles * 3);
    advise_huge_pages(out_.scene.polygons);
    advise_huge_pages(out_.scene.vertices);
    if (triangles >= kPopulatedTriangles) {
      // The back halves of the arrays, which this thread reaches last.
      const Vertex* v = out_.scene.vertices.data();
      const Polygon* p = out_.scene.polygons.data();
      const size_t nv = out_.scene.vertices.capacity(), np = out_.scene.polygons.capacity();
      populating_ = std::thread([=] {
        populate(v + nv / 2, v + nv);
        populate(p + np / 2, p + np);
      });
    }
    return true;
  }

  bool fail(const std::string& what) {
    error_ = "malformed stream: " + what;
    return false;
  }

  bool record(Tag tag, Reader& r) {
    switch (tag) {
      case Tag::Texture:
        return texture(r);
      case Tag::Material:
        return material(r);
      case Tag::Object:
        return object(r);
      case Tag::Mesh:
        return mesh(r);
      case Tag::Node:
        return node(r);
      case Tag::Animation:
        return animation(r);
      case Tag::Camera:
        return camera(r);
      case Tag::Skin:
        return skin(r);
      case Tag::Shared:
        return shared(r);
      case Tag::Placement:
        return placement(r);
      case Tag::Morph:
        return morph(r);
      case Tag::Error: {
        const auto rest = r.rest();
        std::string reason(reinterpret_cast<const char*>(rest.data()),
                           std::min<size_t>(rest.size(), 1024));
        for (char& c : reason)
          if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        error_ = reason.empty() ? std::string("the importer gave no reason") : reason;
        return false;
      }
      case Tag::Warning: {
        const auto rest = r.rest();
        std::string line(reinterpret_cast<const char*>(rest.data()),
                         std::min<size_t>(rest.size(), 1024));
        for (char& c : line)
          if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        if (out_.warnings.size() < 16) out_.warnings.push_back(std::move(line));
        return true;
      }
      case Tag::End:
        return true;
    }
    return fail("unknown record " + std::to_string(static_cast<uint32_t>(tag)));
  }

  bool texture(Reader& r) {
    Scene& s = out_.scene;
    if (s.textures.size() >= lim::kMaxTextures)
      return limit("more than " + std::to_string(lim::kMaxTextures) + " textures");
    Texture t;
    uint32_t kind = 0, width = 0, height = 0;
    if (!r.string(t.file) || !r.get(kind) || !r.get(width) || !r.get(height))
      return fail("texture record cut short");
    const auto bytes = r.rest();
    std::string reason;
    bool ok = false;
    if (kind == static_cast<uint32_t>(TextureKind::Encoded)) {
      ok = !bytes.empty() && decode_image(bytes, t.image, reason, budget_);
      if (bytes.empty()) reason = "missing, unreadable or too large";
    } else if (kind == static_cast<uint32_t>(TextureKind::Texels)) {
      const uint64_t pixels = uint64_t{width} * height;
      if (width == 0 || height == 0 || width > kMaxTextureSide || height > kMaxTextureSide ||
          pixels > kMaxTexturePixels || pixels > budget_.pixels_left) {
        reason = "too large";
      } else if (bytes.size() != pixels * 4) {
        return fail("texture texels do not match its size");
      } else {
        t.image.width = static_cast<int32_t>(width);
        t.image.height = static_cast<int32_t>(height);
        t.image.texels.resize(pixels);
        std::memcpy(t.image.texels.data(), bytes.data(), bytes.size());
        budget_.pixels_left -= pixels;
        ok = true;
      }
    } else {
      return fail("unknown texture kind");
    }
    if (!ok) {
      out_.warnings.push_back("texture " + t.file + ": " + reason);
      t.image = fallback_image();
      t.fallback = true;
    }
    s.textures.push_back(std::move(t));
    return true;
  }

  bool material(Reader& r) {
    if (materials_.size() >= kMaxMaterials)
      return limit("more than " + std::to_string(kMaxMaterials) + " materials");
    StreamMaterial m;
    Material surface;
    uint8_t two_sided = 0, mode = 0;
    if (!r.get(m.texture) || !r.get(m.color.r) || !r.get(m.color.g) || !r.get(m.color.b) ||
        !r.get(two_sided) || !r.get(surface.specular) || !r.get(surface.shininess) ||
        !r.get(surface.emissive) || !r.get(surface.alpha) || !r.get(mode) || !r.get(surface.cutoff))
      return fail("material record cut short");
    if (m.texture < -1 || m.texture >= static_cast<int32_t>(out_.scene.textures.size()))
      return fail("material names texture " + std::to_string(m.texture));
    for (float c : {m.color.r, m.color.g, m.color.b})
      if (!(c >= 0.0f && c <= 1.0f)) return fail("material colour outside 0..1");
    m.two_sided = two_sided != 0;

    // The surface is the model's own values, passed through: mended, not refused.
    bool bad = mode > static_cast<uint8_t>(AlphaMode::Blend);
    surface.alpha_mode = bad ? AlphaMode::Opaque : static_cast<AlphaMode>(mode);
    for (Color* c : {&surface.specular, &surface.emissive})
      for (float* v : {&c->r, &c->g, &c->b}) *v = mend(*v, 0.0f, 1.0f, 0.0f, bad);
    surface.shininess = mend(surface.shininess, 1.0f, 1024.0f, Material{}.shininess, bad);
    surface.alpha = mend(surface.alpha, 0.0f, 1.0f, 1.0f, bad);
    surface.cutoff = mend(surface.cutoff, 0.0f, 1.0f, Material{}.cutoff, bad);
    if (bad) repairs_ |= kBadMaterial;
    // Values the mode does not use take their defaults, so that equal-looking materials are
    // one material.
    if (surface.alpha_mode == AlphaMode::Opaque) surface.alpha = 1.0f;
    if (surface.alpha_mode != AlphaMode::Mask) surface.cutoff = Material{}.cutoff;
    if (surface.specular == Color{0.0f, 0.0f, 0.0f}) surface.shininess = Material{}.shininess;
    if (!table_.index(surface, m.surface))
      return limit("more than " + std::to_string(MaterialTable::kMaxMaterials) + " materials");
    materials_.push_back(m);
    return true;
  }

  // The mesh's normals and colours, mended where they are not usable, into normals_ and
  // colours_ (each empty or one per vertex).
  void attributes(Reader& r, uint32_t vertices, uint32_t normals, uint32_t colours) {
    normals_.clear();
    colours_.clear();
    if ((normals != 0 && normals != vertices) || (colours != 0 && colours != vertices))
      repairs_ |= kCountMismatch;  // which vertex an attribute belongs to is unknown: dropped
    const std::span<const uint8_t> n = r.span(size_t{normals} * kNormalBytes);
    if (normals == vertices) {
      normals_.resize(vertices);
      for (uint32_t i = 0; i < vertices; ++i) {
        float f[3];
        std::memcpy(f, n.data() + size_t{i} * kNormalBytes, sizeof f);
        const Vec3 unit = normalized(Vec3{f[0], f[1], f[2]});
        if (unit == Vec3{}) repairs_ |= kBadNormals;  // zero or not finite: lit by its plane
        normals_[i] = {static_cast<float>(unit.x), static_cast<float>(unit.y),
                       static_cast<float>(unit.z)};
      }
    }
    const std::span<const uint8_t> c = r.span(size_t{colours} * kColourBytes);
    if (colours == vertices) {
      colours_.resize(vertices);
      bool bad = false;
      for (uint32_t i = 0; i < vertices; ++i) {
        float f[4];
        std::memcpy(f, c.data() + size_t{i} * kColourBytes, sizeof f);
        uint32_t argb = 0;
        for (const int k : {3, 0, 1, 2})
          argb = argb << 8 |
                 static_cast<uint32_t>(std::lround(mend(f[k], 0.0f, 1.0f, 1.0f, bad) * 255.0f));
        colours_[i] = argb;
      }
      if (bad) repairs_ |= kBadColours;
    }
  }

  // The vertex just appended takes the mesh's normal and colour i, when it has them; the
  // scene's arrays start (parallel to the vertices) at the first mesh that does.
  void append_attributes(uint32_t i) {
    Scene& s = out_.scene;
    const size_t at = s.vertices.size() - 1;
    if (!normals_.empty()) {
      if (s.normals.empty()) s.normals.reserve(s.vertices.capacity());
      s.normals.resize(at);
      s.normals.push_back(normals_[i]);
    }
    if (!colours_.empty()) {
      if (s.vertex_colors.empty()) s.vertex_colors.reserve(s.vertices.capacity());
      s.vertex_colors.resize(at, 0xFFFFFFFFu);
      s.vertex_colors.push_back(colours_[i]);
    }
  }

  // Parallel to the vertices, or empty where no vertex has a normal (or a colour but white),
  // as a world file with the same content would load; and the one warning for what was mended.
  void finish_attributes() {
    Scene& s = out_.scene;
    if (std::all_of(s.normals.begin(), s.normals.end(), [](Normal n) { return n.none(); }))
      s.normals = {};
    else
      s.normals.resize(s.vertices.size());
    if (std::all_of(s.vertex_colors.begin(), s.vertex_colors.end(),
                    [](uint32_t c) { return c == 0xFFFFFFFFu; }))
      s.vertex_colors = {};
    else
      s.vertex_colors.resize(s.vertices.size(), 0xFFFFFFFFu);
    if (repairs_ == 0) return;
    std::string what;
    auto add = [&](uint32_t bit, const char* text) {
      if (repairs_ & bit) what += (what.empty() ? "" : "; ") + std::string(text);
    };
    add(kBadNormals, "normals of zero length or not finite were left out");
    add(kBadColours, "vertex colours outside 0..1 were clamped");
    add(kCountMismatch, "normals or colours not one per vertex were left out");
    add(kBadMaterial, "material values out of range were clamped");
    add(kBadKeys,
        "animation keys out of time order were left out, and rotations of zero length "
        "made no turn");
    add(kBadWeights,
        "skin weights that were negative, not finite or on no bone were left out (a vertex "
        "left with none follows its skin's first bone)");
    add(kBadMorphWeights, "morph weights that were not finite were set to 0");
    out_.warnings.push_back("the model's values were mended: " + what);
  }

  bool object(Reader& r) {
    Scene& s = out_.scene;
    if (s.objects.size() >= lim::kMaxObjects)
      return limit("more than " + std::to_string(lim::kMaxObjects) + " objects");
    MovingObject o;
    uint32_t count = 0;
    if (!r.string(o.name) || !r.get(o.speed) || !r.get(count))
      return fail("object record cut short");
    if (!finite_within(o.speed, lim::kMaxSpeed))
      return unusable("an animation faster than 1e6 units per second");
    if (count == 0 || count > lim::kMaxWaypoints) return fail("object waypoint count out of range");
    if (uint64_t{count} * 24 != r.left()) return fail("object waypoints do not match their count");
    o.path.resize(count);
    for (Vec3& p : o.path) {
      r.get(p.x), r.get(p.y), r.get(p.z);
      if (!finite_within(p.x, lim::kMaxCoordinate) || !finite_within(p.y, lim::kMaxCoordinate) ||
          !finite_within(p.z, lim::kMaxCoordinate))
        return unusable(kBeyondCoordinates);
    }
    s.objects.push_back(std::move(o));
    return true;
  }

  bool node(Reader& r) {
    Scene& s = out_.scene;
    if (s.objects.size() >= lim::kMaxObjects)
      return limit("more than " + std::to_string(lim::kMaxObjects) + " objects");
    MovingObject o;
    o.keyed = true;
    double v[12 + 10 + 3];
    if (!r.string(o.name) || !r.get(o.parent) || !r.take(v, sizeof v))
      return fail("node record cut short");
    if (o.parent != -1 && (o.parent < 0 || static_cast<size_t>(o.parent) >= s.objects.size() ||
                           !s.objects[static_cast<size_t>(o.parent)].keyed))
      return fail("node parent " + std::to_string(o.parent) + " is not a node before it");
    for (double x : v)
      if (!finite_within(x, lim::kMaxCoordinate)) return unusable(kBeyondCoordinates);
    for (int i = 0; i < 12; ++i) o.base.m[i / 4][i % 4] = v[i];
    o.rest = {{v[12], v[13], v[14]}, {v[15], v[16], v[17], v[18]}, {v[19], v[20], v[21]}};
    if (o.rest.rotation == Quat{0, 0, 0, 0}) {
      o.rest.rotation = Quat{};
      repairs_ |= kBadKeys;
    }
    o.front = {v[22], v[23], v[24]};
    if (length(o.front) == 0.0) o.front = {1.0, 0.0, 0.0};
    s.objects.push_back(std::move(o));
    return true;
  }

  bool shared(Reader& r) {
    Scene& s = out_.scene;
    if (s.objects.size() >= lim::kMaxObjects)
      return limit("more than " + std::to_string(lim::kMaxObjects) + " objects");
    MovingObject o;
    o.shared = true;
    if (!r.string(o.name)) return fail("shared mesh record cut short");
    s.objects.push_back(std::move(o));
    return true;
  }

  bool placement(Reader& r) {
    Scene& s = out_.scene;
    if (s.placements.size() >= lim::kMaxPlacements)
      return limit("more than " + std::to_string(lim::kMaxPlacements) + " placements");
    Placement p;
    double v[12];
    if (!r.get(p.object) || !r.take(v, sizeof v)) return fail("placement record cut short");
    if (p.object < 0 || static_cast<size_t>(p.object) >= s.objects.size() ||
        !s.objects[static_cast<size_t>(p.object)].shared)
      return fail("placement names object " + std::to_string(p.object) + ", not a shared mesh");
    for (int i = 0; i < 12; ++i) {
      if (!finite_within(v[i], lim::kMaxCoordinate)) return unusable(kBeyondCoordinates);
      p.frame.m[i / 4][i % 4] = v[i];
    }
    // A mirrored placement would turn the mesh's faces inside out, a flat one leave its normals
    // undefined: the importer writes such uses as copies.
    const auto& m = p.frame.m;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(det > 0.0) || !std::isfinite(det))
      return fail("placement " + std::to_string(s.placements.size()) +
                  " mirrors or flattens its mesh");
    s.placements.push_back(p);
    return true;
  }

  // A shared mesh is drawn only where placed: one placed nowhere is a broken stream.
  bool shared_meshes_are_placed() {
    const Scene& s = out_.scene;
    std::vector<bool> placed(s.objects.size(), false);
    for (const Placement& p : s.placements) placed[static_cast<size_t>(p.object)] = true;
    for (size_t k = 0; k < s.objects.size(); ++k)
      if (s.objects[k].shared && !placed[k])
        return fail("shared mesh " + std::to_string(k) + " is placed nowhere");
    return true;
  }

  bool animation(Reader& r) {
    Scene& s = out_.scene;
    if (s.animations.size() >= lim::kMaxAnimations)
      return limit("more than " + std::to_string(lim::kMaxAnimations) + " animations");
    Animation a;
    uint32_t channels = 0;
    if (!r.string(a.name) || !r.get(a.length) || !r.get(channels))
      return fail("animation record cut short");
    if (!(a.length >= 0.0 && a.length <= lim::kMaxKeyTime))
      return fail("animation length out of range");
    if (channels > lim::kMaxChannels) return limit("more than 65536 channels in one animation");
    if (uint64_t{channels} * kChannelHeaderBytes > r.left())
      return fail("animation channels do not match their count");
    a.channels.reserve(channels);
    for (uint32_t i = 0; i < channels; ++i) {
      Channel c;
      uint8_t path = 0, how = 0;
      uint32_t keys = 0;
      if (!r.get(c.object) || !r.get(path) || !r.get(how) || !r.get(keys))
        return fail("animation channel cut short");
      if (c.object < 0 || static_cast<size_t>(c.object) >= s.objects.size() ||
          !s.objects[static_cast<size_t>(c.object)].keyed)
        return fail("channel names object " + std::to_string(c.object) + ", not a node");
      if (path > 3 || how > 2) return fail("unknown channel path or interpolation");
      c.path = static_cast<ChannelPath>(path);
      c.interpolation = static_cast<Interpolation>(how);
      if (c.path == ChannelPath::Weights) {
        if (!r.get(c.weights)) return fail("animation channel cut short");
        const size_t o = static_cast<size_t>(c.object);
        if (c.weights == 0 || o >= targets_.size() || c.weights != targets_[o])
          return fail("weights channel does not match its node's morph targets");
      }
      const size_t n = values_per_key(c);
      if (keys == 0 || keys > lim::kMaxKeys) return fail("channel key count out of range");
      if (uint64_t{keys} * (1 + n) * 8 > r.left()) return fail("channel keys cut short");
      c.times.resize(keys);
      c.values.resize(keys * n);
      r.take(c.times.data(), keys * 8);
      r.take(c.values.data(), keys * n * 8);
      if (!mend_keys(c)) return unusable("an animation key beyond the world's limits");
      a.channels.push_back(std::move(c));
    }
    s.animations.push_back(std::move(a));
    return true;
  }

  // Keys whose time is not after the last kept one are left out; a rotation of zero length
  // makes no turn. false for a value that is not finite or beyond the caps.
  bool mend_keys(Channel& c) {
    const size_t n = values_per_key(c);
    size_t kept = 0;
    for (size_t k = 0; k < c.times.size(); ++k) {
      const double t = c.times[k];
      if (!(t >= 0.0 && t <= lim::kMaxKeyTime) || (kept > 0 && !(t > c.times[kept - 1]))) {
        repairs_ |= kBadKeys;
        continue;
      }
      c.times[kept] = t;
      std::copy_n(c.values.begin() + static_cast<ptrdiff_t>(k * n), n,
                  c.values.begin() + static_cast<ptrdiff_t>(kept * n));
      ++kept;
    }
    if (kept == 0) return false;
    c.times.resize(kept);
    c.values.resize(kept * n);
    for (double v : c.values)
      if (!finite_within(v, lim::kMaxCoordinate)) return false;
    if (c.path == ChannelPath::Rotation) {
      const size_t at = n == 4 ? 0 : 4;
      for (size_t k = 0; k < kept; ++k) {
        double* q = c.values.data() + k * n + at;
        if (q[0] == 0.0 && q[1] == 0.0 && q[2] == 0.0 && q[3] == 0.0) {
          q[3] = 1.0;
          repairs_ |= kBadKeys;
        }
      }
    }
    return channel_fault(c) == nullptr;
  }

  bool mesh(Reader& r) {
    Scene& s = out_.scene;
    int32_t object = -1, material = -1;
    uint32_t vertex_count = 0, triangle_count = 0, normal_count = 0, colour_count = 0;
    if (!r.get(object) || !r.get(material) || !r.get(vertex_count) || !r.get(triangle_count) ||
        !r.get(normal_count) || !r.get(colour_count))
      return fail("mesh record cut short");
    if (object < -1 || object >= static_cast<int32_t>(s.objects.size()))
      return fail("mesh names object " + std::to_string(object));
    if (material < -1 || material >= static_cast<int32_t>(materials_.size()))
      return fail("mesh names material " + std::to_string(material));
    if (uint64_t{vertex_count} * kVertexBytes + uint64_t{normal_count} * kNormalBytes +
            uint64_t{colour_count} * kColourBytes + uint64_t{triangle_count} * kTriangleBytes !=
        r.left())
      return fail("mesh arrays do not match their counts");
    if (s.polygons.size() + triangle_count > lim::kMaxPolygons)
      return limit("more than " + std::to_string(lim::kMaxPolygons) + " polygons");
    if (s.vertices.size() + uint64_t{triangle_count} * 3 > lim::kMaxVertices)
      return limit("more than " + std::to_string(lim::kMaxVertices) + " vertices");

    local_.resize(vertex_count);
    for (Vertex& v : local_) {
      float f[5];
      r.take(f, sizeof f);
      for (int i = 0; i < 3; ++i)
        if (!finite_within(f[i], lim::kMaxCoordinate)) return unusable(kBeyondCoordinates);
      for (int i = 3; i < 5; ++i)
        if (!finite_within(f[i], lim::kMaxTextureCoordinate))
          return unusable("a texture coordinate that is not finite or beyond 1e6");
      v.position = {f[0], f[1], f[2]};
      v.u = f[3];
      v.v = f[4];
    }
    attributes(r, vertex_count, normal_count, colour_count);
    const StreamMaterial m =
        material >= 0 ? materials_[static_cast<size_t>(material)] : StreamMaterial{};
    Polygon p;
    p.vertex_count = 3;
    p.texture = m.texture;
    p.color = m.color;
    p.two_sided = m.two_sided;
    p.material = m.surface;
    p.object = object;
    // The arrays were reserved for every mesh at once (reserve_triangles): appending neither
    // moves them nor writes them twice.
    const std::span<const uint8_t> indices = r.span(size_t{triangle_count} * kTriangleBytes);
    mesh_ = {object, static_cast<uint32_t>(s.vertices.size()), vertex_count, indices, true, false,
             false};
    const bool has_attributes = !normals_.empty() || !colours_.empty();
    for (uint32_t t = 0; t < triangle_count; ++t) {
      uint32_t abc[3];
      std::memcpy(abc, indices.data() + size_t{t} * kTriangleBytes, sizeof abc);
      if (abc[0] >= vertex_count || abc[1] >= vertex_count || abc[2] >= vertex_count)
        return fail("triangle index beyond the mesh's vertices");
      p.first_vertex = static_cast<uint32_t>(s.vertices.size());
      for (uint32_t i : abc) {
        s.vertices.push_back(local_[i]);
        if (has_attributes) append_attributes(i);
      }
      s.polygons.push_back(p);
    }
    return true;
  }

  // A skin for the mesh just read: each vertex's weights made into its influence (repaired
  // where they need it), then repeated for every corner that repeats the vertex.
  bool skin(Reader& r) {
    Scene& s = out_.scene;
    if (!mesh_.open || mesh_.skinned) return fail("skin record not right after a mesh");
    mesh_.skinned = true;
    uint32_t bones = 0, per_vertex = 0, vertices = 0;
    if (!r.get(bones) || !r.get(per_vertex) || !r.get(vertices))
      return fail("skin record cut short");
    if (bones == 0 || bones > lim::kMaxSkinBones) return fail("skin bone count out of range");
    if (per_vertex == 0 || per_vertex > lim::kMaxVertexWeights)
      return fail("skin weights per vertex out of range");
    if (vertices != mesh_.vertices) return fail("skin vertex count differs from its mesh's");
    if (uint64_t{bones} * kBoneBytes + uint64_t{vertices} * per_vertex * kWeightBytes != r.left())
      return fail("skin arrays do not match their counts");
    const auto keyed = [&](int32_t o) {
      return o >= 0 && static_cast<size_t>(o) < s.objects.size() &&
             s.objects[static_cast<size_t>(o)].keyed;
    };
    if (!keyed(mesh_.object)) return fail("skinned mesh not on a node");
    Skin k;
    k.object = mesh_.object;
    k.first_vertex = mesh_.first_vertex;
    k.vertex_count = static_cast<uint32_t>(s.vertices.size() - mesh_.first_vertex);
    k.bones.resize(bones);
    for (Bone& b : k.bones) {
      double m[12];
      r.get(b.object);
      r.take(m, sizeof m);
      if (!keyed(b.object)) return fail("bone names object " + std::to_string(b.object));
      for (int i = 0; i < 12; ++i) {
        if (!finite_within(m[i], lim::kMaxCoordinate)) return unusable(kBeyondCoordinates);
        b.inverse_bind.m[i / 4][i % 4] = m[i];
      }
    }
    std::vector<SkinInfluence> local(vertices);
    std::vector<uint32_t> which(per_vertex);
    std::vector<float> weight(per_vertex);
    for (SkinInfluence& f : local) {
      for (uint32_t i = 0; i < per_vertex; ++i) r.get(which[i]), r.get(weight[i]);
      if (!make_influence(which, weight, bones, f)) repairs_ |= kBadWeights;
    }
    k.influences.resize(k.vertex_count);
    for (uint32_t c = 0; c < k.vertex_count; ++c) {
      uint32_t at = 0;
      std::memcpy(&at, mesh_.indices.data() + size_t{c} * 4, 4);
      k.influences[c] = local[at];  // checked below the vertex count when the mesh was read
    }
    bind_bounds(s.vertices, k);
    s.skins.push_back(std::move(k));
    return true;
  }

  // Morph targets for the mesh just read: deltas per vertex of the mesh as sent, and which of
  // them each corner of its triangles repeats.
  bool morph(Reader& r) {
    Scene& s = out_.scene;
    if (!mesh_.open || mesh_.morphed) return fail("morph record not right after a mesh");
    mesh_.morphed = true;
    uint32_t targets = 0, vertices = 0, with_normals = 0;
    if (!r.get(targets) || !r.get(vertices) || !r.get(with_normals))
      return fail("morph record cut short");
    if (targets > lim::kMaxMorphTargets)
      return limit("more than " + std::to_string(lim::kMaxMorphTargets) + " morph targets");
    if (with_normals > 1) return fail("morph normal deltas neither 0 nor 1");
    if (vertices != mesh_.vertices) return fail("morph vertex count differs from its mesh's");
    if (uint64_t{targets} * 4 + uint64_t{targets} * vertices * kDeltaBytes * (1 + with_normals) !=
        r.left())
      return fail("morph arrays do not match their counts");
    const auto o = static_cast<size_t>(mesh_.object);
    if (mesh_.object < 0 || o >= s.objects.size() || !s.objects[o].keyed)
      return fail("morphed mesh not on a node");
    if (targets_.size() < s.objects.size()) targets_.resize(s.objects.size(), 0);
    if (targets > 0 && targets_[o] != 0 && targets_[o] != targets)
      return fail("morphs of one node with different target counts");
    Morph m;
    m.object = mesh_.object;
    m.first_vertex = mesh_.first_vertex;
    m.vertex_count = static_cast<uint32_t>(s.vertices.size() - mesh_.first_vertex);
    m.targets = targets;
    m.first_weight = weights_;
    m.mesh_vertices = vertices;
    m.default_weights.resize(targets);
    for (float& w : m.default_weights) {
      r.get(w);
      if (!std::isfinite(w)) {
        w = 0.0f;
        repairs_ |= kBadMorphWeights;
      }
    }
    m.positions.resize(size_t{targets} * vertices);
    if (with_normals) m.normals.resize(m.positions.size());
    for (std::vector<MorphDelta>* deltas : {&m.positions, &m.normals}) {
      for (MorphDelta& d : *deltas) {
        r.get(d.x), r.get(d.y), r.get(d.z);
        if (!finite_within(d.x, lim::kMaxCoordinate) || !finite_within(d.y, lim::kMaxCoordinate) ||
            !finite_within(d.z, lim::kMaxCoordinate))
          return unusable("a morph delta that is not finite or beyond 1e8 in size");
      }
    }
    m.corner_vertex.resize(m.vertex_count);
    for (uint32_t c = 0; c < m.vertex_count; ++c)  // indices checked when the mesh was read
      std::memcpy(&m.corner_vertex[c], mesh_.indices.data() + size_t{c} * 4, 4);
    rest_bounds(s.vertices, m);
    if (targets > 0) targets_[o] = targets;
    weights_ += targets;
    s.morphs.push_back(std::move(m));
    return true;
  }

  // A skinned or morphed node is drawn from its posed ranges alone: any other polygon on it is
  // refused. ranges: the scene's skins or morphs, in vertex order.
  template <typename Range>
  bool ranges_hold_their_objects(const std::vector<Range>& ranges, const char* node,
                                 const char* parts) {
    const Scene& s = out_.scene;
    if (ranges.empty()) return true;
    std::vector<bool> held(s.objects.size(), false);
    for (const Range& k : ranges) held[static_cast<size_t>(k.object)] = true;
    for (const Polygon& p : s.polygons) {
      if (p.object < 0 || !held[static_cast<size_t>(p.object)]) continue;
      // The last range starting at or before the polygon.
      const auto after =
          std::upper_bound(ranges.begin(), ranges.end(), p.first_vertex,
                           [](uint32_t v, const Range& k) { return v < k.first_vertex; });
      const bool inside = after != ranges.begin() && std::prev(after)->object == p.object &&
                          p.first_vertex + p.vertex_count <=
                              std::prev(after)->first_vertex + std::prev(after)->vertex_count;
      if (!inside)
        return fail(std::string("a ") + node + " node holds polygons outside its " + parts);
    }
    return true;
  }

  bool camera(Reader& r) {
    Scene& s = out_.scene;
    if (s.cameras.size() >= lim::kMaxCameras)
      return limit("more than " + std::to_string(lim::kMaxCameras) + " cameras");
    CameraDef c;
    double v[7];
    if (!r.string(c.name) || !r.take(v, sizeof v)) return fail("camera record cut short");
    for (int i = 0; i < 6; ++i)
      if (!finite_within(v[i], lim::kMaxCoordinate)) return unusable(kBeyondCoordinates);
    c.location = {v[0], v[1], v[2]};
    c.direction = normalized(Vec3{v[3], v[4], v[5]});
    if (length(c.direction) == 0.0) return fail("camera direction is zero");
    if (!(v[6] >= lim::kMinZoom && v[6] <= lim::kMaxZoom)) return fail("camera zoom out of range");
    c.zoom = v[6];
    s.cameras.push_back(std::move(c));
    return true;
  }

  // A well-formed stream of a model the engine cannot use: coordinates beyond the caps.
  static constexpr const char* kBeyondCoordinates =
      "a coordinate that is not finite or beyond 1e8 in size";
  bool unusable(const std::string& what) {
    error_ = "the model holds " + what;
    return false;
  }

  // A cap of the world format: the scene is too big rather than the stream broken.
  bool limit(const std::string& what) {
    error_ = "scene too large: " + what;
    return false;
  }

  // Scenes of at least this many triangles have half their arrays' pages made ready by a
  // second thread while this one decodes (smaller ones fill faster than a thread starts).
  static constexpr uint64_t kPopulatedTriangles = 1 << 18;

  DecodedImport& out_;
  std::string& error_;
  TextureBudget budget_;
  std::thread populating_;
  std::vector<StreamMaterial> materials_;
  MaterialTable table_{out_.scene.materials};
  uint32_t repairs_ = 0;
  std::vector<Vertex> local_;
  // The Mesh record just read, for a Skin record after it: its object, where its triangles'
  // vertices start among the scene's, its own vertex count and its triangles' indices.
  struct MeshRead {
    int32_t object = -1;
    uint32_t first_vertex = 0;
    uint32_t vertices = 0;
    std::span<const uint8_t> indices;
    // Only its own Skin and Morph records came after it (one of each at most).
    bool open = false, skinned = false, morphed = false;
  } mesh_;
  std::vector<uint32_t> targets_;  // per object: the target count of its morphs (0: none)
  uint32_t weights_ = 0;           // all morphs' weights so far
  std::vector<Normal> normals_;
  std::vector<uint32_t> colours_;
};

}  // namespace

bool decode_import_stream(std::span<const uint8_t> bytes, DecodedImport& out, std::string& error) {
  out = DecodedImport{};
  error.clear();
  bool ok = false;
  try {
    Decoder decoder(out, error);
    ok = decoder.run(bytes);
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  }
  if (!ok) out = DecodedImport{};
  return ok;
}

}  // namespace znr
