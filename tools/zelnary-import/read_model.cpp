#include "read_model.h"

#include <assimp/GltfMaterial.h>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "morph_targets.h"
#include "regular_files_only.h"
#include "scene_frame.h"
#include "shared_meshes.h"
#include "vertex_normals.h"
#include "zelnary/world/limits.h"

namespace znr::importer {
namespace {

using import_stream::Tag;
using import_stream::TextureKind;

constexpr uint64_t kMaxTextureFileBytes = 256ull << 20;
constexpr double kDefaultTicksPerSecond = 25.0;
constexpr float kSmoothingAngle = 60.0f;  // degrees, as a world's "smooth" polygons

std::string clip(std::string s) {
  if (s.size() > world_limits::kMaxNameBytes) s.resize(world_limits::kMaxNameBytes);
  return s;
}

std::vector<uint8_t> read_file(const std::string& path) {
  if (!is_regular_file(path.c_str())) return {};  // a FIFO would block the open below
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const auto size = static_cast<uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
  if (size > kMaxTextureFileBytes) return {};
  std::vector<uint8_t> bytes(size);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  return in ? bytes : std::vector<uint8_t>{};
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool is_file(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// The names in folder (a path ending in '/', or empty for the current one), sorted.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
       !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// path under folder (or absolute), each part of it as it is or else in another case: models
// made on systems that ignore case name "Tex.PNG" for tex.png. Empty when there is none.
std::string in_any_case(const std::string& folder, const std::string& path) {
  std::string at = path.starts_with('/') ? "/" : folder;
  size_t begin = path.starts_with('/') ? 1 : 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(begin, end - begin);
    const bool last = end == path.size();
    begin = end + 1;
    if (part.empty() || part == ".") continue;
    std::error_code ec;
    if (part != ".." && !std::filesystem::exists(at + part, ec)) {
      const std::vector<std::string> names = names_in(at);
      const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
        return same_ignoring_case(n, part);
      });
      if (it == names.end()) return {};
      part = *it;
    }
    at += part;
    if (!last) at += '/';
  }
  return is_file(at) ? at : std::string();
}

float unit_clamp(float v) {
  return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 1.0f;
}

// The user's up axis, inherited from the engine's environment; the engine has refused a value
// that does not parse.
std::optional<UpAxis> chosen_up() {
  const char* v = std::getenv(kUpAxisVariable);
  return v && *v ? parse_up_axis(v) : std::nullopt;
}

float determinant3(const aiMatrix4x4& m) {
  return aiMatrix3x3(m).Determinant();
}

class ModelWriter {
 public:
  ModelWriter(const aiScene& scene, const std::string& path, StreamWriter& out)
      : scene_(scene), out_(out), axes_(world_axes(scene, chosen_up(), is_z_up_format(path))) {
    const size_t slash = path.rfind('/');
    folder_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string file = path.substr(slash == std::string::npos ? 0 : slash + 1);
    model_stem_ = file.substr(0, file.rfind('.'));
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
      const aiAnimation* animation = scene.mAnimations[a];
      for (unsigned i = 0; animation && i < animation->mNumChannels; ++i)
        animated_.insert(animation->mChannels[i]->mNodeName.C_Str());
    }
    // Every bone is a node of its own, so that its skin can follow its frame.
    for (unsigned i = 0; i < scene.mNumMeshes; ++i)
      for (unsigned b = 0; b < scene.mMeshes[i]->mNumBones; ++b)
        animated_.insert(scene.mMeshes[i]->mBones[b]->mName.C_Str());
    // A morphed mesh changes shape on a node of its own, which its weights channels name.
    add_morphed_nodes(scene, animated_);
    shared_.emplace(scene, axes_, animated_);
  }

  void write() {
    materials();
    if (scene_.mRootNode) nodes(scene_.mRootNode, axes_, -1);
    skins();
    animations();
    dropped();
    cameras();
    out_.record(Tag::End, 0);
  }

 private:
  // The picture file a texture name means: the path as written (under the model's folder when
  // relative), else the same path in another case, else its base name beside the model or in
  // the model's textures/ folder (paths from the author's disk, Windows ones included). Empty
  // when none is found.
  std::string texture_file(std::string file) const {
    std::replace(file.begin(), file.end(), '\\', '/');
    if (file.starts_with("file://")) file.erase(0, 7);
    const std::string exact = file.starts_with('/') ? file : folder_ + file;
    if (is_file(exact)) return exact;
    const std::string base = file.substr(file.rfind('/') + 1);
    for (const std::string& candidate : {file, base, "textures/" + base}) {
      const std::string found = in_any_case(folder_, candidate);
      if (!found.empty()) return found;
    }
    return {};
  }

  // assimp names a skin "$texture_dummy.bmp" where the file names none (MD2): its skin is
  // then the picture beside the model named after it (sydney.bmp), or whose name begins with
  // the model's (faerie2.bmp).
  std::string skin_beside_model() const {
    std::string starting;
    for (const std::string& n : names_in(folder_)) {
      const size_t dot = n.rfind('.');
      if (dot == std::string::npos) continue;
      std::string ext = n.substr(dot + 1);
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext != "bmp" && ext != "png" && ext != "jpg" && ext != "jpeg" && ext != "tga" &&
          ext != "pcx")
        continue;
      const std::string stem = n.substr(0, dot);
      if (same_ignoring_case(stem, model_stem_)) return folder_ + n;
      if (starting.empty() && stem.size() > model_stem_.size() &&
          same_ignoring_case(stem.substr(0, model_stem_.size()), model_stem_))
        starting = folder_ + n;
    }
    return starting;
  }

  int32_t texture(const aiString& name) {
    const std::string key = name.C_Str();
    if (const auto it = textures_.find(key); it != textures_.end()) return it->second;
    // Blender marks a path relative to the .blend file with a leading "//".
    const std::string written = key.starts_with("//") ? key.substr(2) : key;
    std::string skin;
    if (written == "$texture_dummy.bmp") skin = skin_beside_model();
    // An empty name, or assimp's stand-in with no skin to find, is no texture: the plain
    // colour is drawn.
    if (written.empty() || (written == "$texture_dummy.bmp" && skin.empty())) {
      textures_[key] = -1;
      return -1;
    }
    const int32_t index = next_texture_++;
    textures_[key] = index;
    std::string label = clip(skin.empty() ? written : skin.substr(folder_.size()));
    if (const aiTexture* embedded = scene_.GetEmbeddedTexture(name.C_Str())) {
      if (embedded->mHeight == 0) {  // the bytes of an image file
        out_.record(Tag::Texture, StreamWriter::string_bytes(label) + 12 + embedded->mWidth);
        out_.string(label);
        out_.put(static_cast<uint32_t>(TextureKind::Encoded));
        out_.put(uint32_t{0}), out_.put(uint32_t{0});
        out_.bytes(embedded->pcData, embedded->mWidth);
      } else {  // aiTexel is b, g, r, a in memory: 0xAARRGGBB as a little-endian word
        const uint64_t w = embedded->mWidth, h = embedded->mHeight;
        const bool fits = w <= 16384 && h <= 16384 && w * h <= (64u << 20);  // the engine's caps
        const uint64_t n = fits ? w * h * 4 : 0;
        out_.record(Tag::Texture, StreamWriter::string_bytes(label) + 12 + n);
        out_.string(label);
        out_.put(static_cast<uint32_t>(TextureKind::Texels));
        out_.put(static_cast<uint32_t>(w)), out_.put(static_cast<uint32_t>(h));
        out_.bytes(embedded->pcData, n);
      }
      return index;
    }
    const std::string file = skin.empty() ? texture_file(written) : skin;
    const std::vector<uint8_t> bytes = file.empty() ? std::vector<uint8_t>{} : read_file(file);
    out_.record(Tag::Texture, StreamWriter::string_bytes(label) + 12 + bytes.size());
    out_.string(label);
    out_.put(static_cast<uint32_t>(TextureKind::Encoded));
    out_.put(uint32_t{0}), out_.put(uint32_t{0});
    out_.bytes(bytes.data(), bytes.size());
    return index;
  }

  void materials() {
    for (unsigned i = 0; i < scene_.mNumMaterials; ++i) {
      const aiMaterial& m = *scene_.mMaterials[i];
      aiColor4D colour(1, 1, 1, 1);
      if (m.Get(AI_MATKEY_BASE_COLOR, colour) != AI_SUCCESS) m.Get(AI_MATKEY_COLOR_DIFFUSE, colour);
      aiString file;
      int32_t tex = -1;
      if (m.GetTexture(aiTextureType_BASE_COLOR, 0, &file) == AI_SUCCESS ||
          m.GetTexture(aiTextureType_DIFFUSE, 0, &file) == AI_SUCCESS)
        tex = texture(file);
      int two_sided = 0;
      m.Get(AI_MATKEY_TWOSIDED, two_sided);
      const Surface f = surface(m, colour);
      out_.record(Tag::Material, import_stream::kMaterialBytes);
      out_.put(tex);
      out_.put(unit_clamp(colour.r)), out_.put(unit_clamp(colour.g)),
          out_.put(unit_clamp(colour.b));
      out_.put(static_cast<uint8_t>(two_sided != 0));
      for (float v : {f.specular.r, f.specular.g, f.specular.b, f.shininess, f.emissive.r,
                      f.emissive.g, f.emissive.b, f.alpha})
        out_.put(v);
      out_.put(f.alpha_mode);
      out_.put(f.cutoff);
    }
  }

  // A material's highlight, glow and alpha as the stream carries them (the engine mends what
  // is out of range). See docs/importing.md for the mapping.
  struct Surface {
    aiColor3D specular{0, 0, 0};
    float shininess = 32.0f;
    aiColor3D emissive{0, 0, 0};
    float alpha = 1.0f;
    uint8_t alpha_mode = 0;  // AlphaMode: 0 opaque, 1 mask, 2 blend
    float cutoff = 0.5f;
  };

  static Surface surface(const aiMaterial& m, const aiColor4D& base) {
    Surface f;
    aiString gltf_mode;
    const bool gltf = m.Get(AI_MATKEY_GLTF_ALPHAMODE, gltf_mode) == AI_SUCCESS;
    float metal = 0.0f, rough = 1.0f;
    if (gltf && m.Get(AI_MATKEY_METALLIC_FACTOR, metal) == AI_SUCCESS &&
        m.Get(AI_MATKEY_ROUGHNESS_FACTOR, rough) == AI_SUCCESS) {
      // Metallic-roughness: a dielectric reflects 4% white, a metal its base colour; a rough
      // surface spreads its highlight wide and dim, a smooth one keeps it tight and bright.
      metal = std::clamp(std::isfinite(metal) ? metal : 0.0f, 0.0f, 1.0f);
      rough = std::clamp(std::isfinite(rough) ? rough : 1.0f, 0.05f, 1.0f);
      const float dim = (1.0f - rough) * (1.0f - rough);
      auto reflect = [&](float c) { return (0.04f + (unit_clamp(c) - 0.04f) * metal) * dim; };
      f.specular = {reflect(base.r), reflect(base.g), reflect(base.b)};
      f.shininess = std::clamp(2.0f / (rough * rough * rough * rough) - 2.0f, 1.0f, 1024.0f);
    } else if (!gltf) {
      // Phong (OBJ Ks and Ns, COLLADA specular and shininess, ...): a highlight only where the
      // file gives an exponent.
      aiColor3D specular(0, 0, 0);
      float shininess = 0.0f, strength = 1.0f;
      if (m.Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS && shininess > 0.0f &&
          m.Get(AI_MATKEY_COLOR_SPECULAR, specular) == AI_SUCCESS) {
        m.Get(AI_MATKEY_SHININESS_STRENGTH, strength);
        if (!(strength >= 0.0f)) strength = 1.0f;
        f.specular = specular * strength;
        // Exponents below 1 are common (some exporters write a 0..1 gloss here) and are
        // simply the widest highlight, not a fault to warn about.
        f.shininess = std::clamp(shininess, 1.0f, 1024.0f);
      }
    }
    aiColor3D emissive(0, 0, 0);
    float intensity = 1.0f;
    m.Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
    if (m.Get(AI_MATKEY_EMISSIVE_INTENSITY, intensity) == AI_SUCCESS && intensity >= 0.0f)
      emissive = emissive * intensity;
    f.emissive = emissive;

    if (gltf) {
      const std::string mode = gltf_mode.C_Str();
      f.alpha = base.a;
      f.alpha_mode = mode == "MASK" ? 1 : mode == "BLEND" ? 2 : 0;
      m.Get(AI_MATKEY_GLTF_ALPHACUTOFF, f.cutoff);
    } else {
      // An opacity of 0 is taken as opaque: the two conventions for a transparency value in
      // some formats disagree, and exporters that write 0 for a solid surface would otherwise
      // make the whole model vanish; nobody makes a material that cannot be seen at all.
      float opacity = 1.0f;
      if (m.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < 1.0f && opacity > 0.0f) {
        f.alpha = opacity;
        f.alpha_mode = 2;
      }
    }
    return f;
  }

  // Each animated node (one that a channel of any animation drives) becomes a keyframed
  // object, its parent the nearest animated node above it; nodes that no channel drives stay
  // part of the object above them (or of the static world), their transforms folded into
  // their meshes and into the bases of the animated nodes below them. above: from the node's
  // parent's space to its object's frame (world axes for the static world).
  void nodes(const aiNode* node, const aiMatrix4x4& above, int32_t object) {
    aiMatrix4x4 here = above * node->mTransformation;
    if (animated_.count(node->mName.C_Str()) &&
        static_cast<size_t>(object_count_) < world_limits::kMaxObjects) {
      const int32_t k = object_count_++;
      objects_.emplace(node->mName.C_Str(), k);  // the first node of a name takes its channels
      parents_.push_back(object);
      morph_targets_.push_back(0);
      for (unsigned i = 0; i < node->mNumMeshes; ++i)
        if (node->mMeshes[i] < scene_.mNumMeshes &&
            scene_.mMeshes[node->mMeshes[i]]->mNumBones == 0)
          morph_targets_.back() =
              std::max(morph_targets_.back(), morph_targets(*scene_.mMeshes[node->mMeshes[i]]));
      node_record(*node, above, object);
      object = k;
      here = aiMatrix4x4();
    }
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
      if (node->mMeshes[i] >= scene_.mNumMeshes) continue;
      const aiMesh& m = *scene_.mMeshes[node->mMeshes[i]];
      if (m.mNumBones > 0) {
        skinned_.insert(node->mMeshes[i]);  // its place is its bones' (skins())
        skin_holders_.emplace(node->mMeshes[i], node->mName.C_Str());
      } else if (object < 0 &&
                 shared_->place(node->mMeshes[i], here, out_, object_count_, [&](int32_t shared) {
                   parents_.push_back(-1);
                   morph_targets_.push_back(0);
                   mesh(m, aiMatrix4x4(), shared);
                 })) {
        // written once, placed here
      } else if (mesh(m, here, object)) {
        morph(m, here, object);
      }
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) nodes(node->mChildren[i], here, object);
  }

  void node_record(const aiNode& node, const aiMatrix4x4& base, int32_t parent) {
    aiVector3D scaling, position;
    aiQuaternion rotation;
    node.mTransformation.Decompose(scaling, rotation, position);
    // A chase camera takes the model's front (a file's front faces our -y) for the node's.
    const aiMatrix3x3 linear(axes_ * global_transform(&node));
    aiVector3D front(1, 0, 0);
    if (std::isfinite(linear.Determinant()) && linear.Determinant() != 0.0f)
      front = aiMatrix3x3(linear).Inverse() * aiVector3D(0, -1, 0);
    const std::string name = clip(node.mName.C_Str());
    out_.record(Tag::Node, StreamWriter::string_bytes(name) + import_stream::kNodeBytes);
    out_.string(name);
    out_.put(parent);
    for (unsigned r = 0; r < 3; ++r)
      for (unsigned c = 0; c < 4; ++c) out_.put(double{base[r][c]});
    for (float v : {position.x, position.y, position.z, rotation.x, rotation.y, rotation.z,
                    rotation.w, scaling.x, scaling.y, scaling.z, front.x, front.y, front.z})
      out_.put(double{v});
  }

  // Each skinned mesh (once, however many nodes hold it) as a node of its own under the root of
  // its bones' hierarchy, which its chase camera follows; its vertices in the mesh's own space,
  // which each bone's offset matrix takes into the bone's frame; then the Skin record.
  void skins() {
    for (const unsigned i : skinned_) {
      const aiMesh& m = *scene_.mMeshes[i];
      std::vector<const aiBone*> bones;
      std::vector<int32_t> bone_objects;
      std::vector<int32_t> slot(m.mNumBones, -1);  // the file's bone: its place in the record
      for (unsigned b = 0; b < m.mNumBones && bones.size() < world_limits::kMaxSkinBones; ++b) {
        const auto it = objects_.find(m.mBones[b]->mName.C_Str());
        if (it == objects_.end()) continue;  // no node of that name: its weights are left out
        slot[b] = static_cast<int32_t>(bones.size());
        bones.push_back(m.mBones[b]);
        bone_objects.push_back(it->second);
      }
      if (bones.empty() || static_cast<size_t>(object_count_) >= world_limits::kMaxObjects) {
        mesh(m, axes_, -1);  // nothing to follow: drawn where the file has it at rest
        continue;
      }
      int32_t root = bone_objects[0];
      while (parents_[static_cast<size_t>(root)] >= 0) root = parents_[static_cast<size_t>(root)];
      const int32_t owner = object_count_++;
      parents_.push_back(root);
      const std::string name = clip(m.mName.length ? m.mName.C_Str() : "skin");
      out_.record(Tag::Node, StreamWriter::string_bytes(name) + import_stream::kNodeBytes);
      out_.string(name);
      out_.put(root);
      for (double v : {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0})
        out_.put(v);
      // Where the bind pose mirrors the mesh (into world axes), its faces turn round as any
      // mirrored mesh's do.
      const aiNode* first = scene_.mRootNode->FindNode(bones[0]->mName);
      const bool mirror =
          first && determinant3(axes_ * global_transform(first) * bones[0]->mOffsetMatrix) < 0.0f;
      morph_targets_.push_back(morph_targets(m));
      if (!mesh(m, aiMatrix4x4(), owner, mirror)) continue;
      morph(m, aiMatrix4x4(), owner);
      if (morph_targets_.back() > 0) morph_owners_.emplace(skin_holders_[i], owner);

      // Each vertex's weights, the largest kMaxVertexWeights of them.
      std::vector<std::vector<std::pair<float, uint32_t>>> weights(m.mNumVertices);
      for (unsigned b = 0; b < m.mNumBones; ++b) {
        if (slot[b] < 0) continue;
        const aiBone& bone = *m.mBones[b];
        for (unsigned w = 0; w < bone.mNumWeights; ++w)
          if (bone.mWeights[w].mVertexId < m.mNumVertices)
            weights[bone.mWeights[w].mVertexId].emplace_back(bone.mWeights[w].mWeight,
                                                             static_cast<uint32_t>(slot[b]));
      }
      size_t per_vertex = 1;
      for (auto& w : weights) {
        std::sort(w.begin(), w.end(), std::greater<>());
        if (w.size() > world_limits::kMaxVertexWeights) w.resize(world_limits::kMaxVertexWeights);
        per_vertex = std::max(per_vertex, w.size());
      }
      out_.record(Tag::Skin,
                  import_stream::kSkinHeaderBytes + bones.size() * import_stream::kBoneBytes +
                      uint64_t{m.mNumVertices} * per_vertex * import_stream::kWeightBytes);
      out_.put(static_cast<uint32_t>(bones.size()));
      out_.put(static_cast<uint32_t>(per_vertex));
      out_.put(m.mNumVertices);
      for (size_t b = 0; b < bones.size(); ++b) {
        out_.put(bone_objects[b]);
        for (unsigned r = 0; r < 3; ++r)
          for (unsigned c = 0; c < 4; ++c) out_.put(double{bones[b]->mOffsetMatrix[r][c]});
      }
      for (const auto& w : weights)
        for (size_t k = 0; k < per_vertex; ++k) {
          out_.put(k < w.size() ? w[k].second : uint32_t{0});
          out_.put(k < w.size() ? w[k].first : 0.0f);
        }
    }
  }

  // Every animation, its channels on the nodes that became objects, times in seconds. The
  // file's keys are interpolated linearly (rotations by slerp), as assimp hands them over.
  void animations() {
    for (unsigned a = 0; a < scene_.mNumAnimations; ++a) {
      const aiAnimation& anim = *scene_.mAnimations[a];
      const double tps = anim.mTicksPerSecond > 0.0 ? anim.mTicksPerSecond : kDefaultTicksPerSecond;
      const double length =
          std::isfinite(anim.mDuration) && anim.mDuration > 0.0 ? anim.mDuration / tps : 0.0;
      struct Out {
        int32_t object;
        uint8_t path;
        const aiVectorKey* vectors;
        const aiQuatKey* quats;
        unsigned count;
      };
      std::vector<Out> channels;
      for (unsigned i = 0; i < anim.mNumChannels; ++i) {
        const aiNodeAnim& c = *anim.mChannels[i];
        const auto it = objects_.find(c.mNodeName.C_Str());
        if (it == objects_.end()) continue;
        if (c.mNumPositionKeys)
          channels.push_back({it->second, 0, c.mPositionKeys, nullptr, c.mNumPositionKeys});
        if (c.mNumRotationKeys)
          channels.push_back({it->second, 1, nullptr, c.mRotationKeys, c.mNumRotationKeys});
        if (c.mNumScalingKeys)
          channels.push_back({it->second, 2, c.mScalingKeys, nullptr, c.mNumScalingKeys});
      }
      const std::vector<WeightsChannel> weights = weights_channels(anim, tps);
      const std::string name = clip(anim.mName.C_Str());
      uint64_t bytes = StreamWriter::string_bytes(name) + 8 + 4;
      for (const Out& c : channels)
        bytes += import_stream::kChannelHeaderBytes + uint64_t{c.count} * (c.quats ? 5 : 4) * 8;
      for (const WeightsChannel& w : weights) bytes += channel_bytes(w);
      out_.record(Tag::Animation, bytes);
      out_.string(name);
      out_.put(std::min(length, world_limits::kMaxKeyTime));
      out_.put(static_cast<uint32_t>(channels.size() + weights.size()));
      for (const Out& c : channels) {
        out_.put(c.object);
        out_.put(c.path);
        out_.put(uint8_t{1});  // linear
        out_.put(c.count);
        for (unsigned k = 0; k < c.count; ++k)
          out_.put((c.quats ? c.quats[k].mTime : c.vectors[k].mTime) / tps);
        for (unsigned k = 0; k < c.count; ++k) {
          if (c.quats) {
            const aiQuaternion& q = c.quats[k].mValue;
            for (float v : {q.x, q.y, q.z, q.w}) out_.put(double{v});
          } else {
            const aiVector3D& v = c.vectors[k].mValue;
            for (float x : {v.x, v.y, v.z}) out_.put(double{x});
          }
        }
      }
      for (const WeightsChannel& w : weights) write_channel(w, out_);
    }
  }

  // The animation's morph weights on the objects whose morphs they drive: a skinned mesh's own
  // node for the file's node that holds it, else the node itself.
  std::vector<WeightsChannel> weights_channels(const aiAnimation& anim, double tps) const {
    std::vector<WeightsChannel> out;
    for (unsigned i = 0; i < anim.mNumMorphMeshChannels && anim.mMorphMeshChannels; ++i) {
      const aiMeshMorphAnim* c = anim.mMorphMeshChannels[i];
      if (!c || c->mNumKeys == 0 || !c->mKeys) continue;
      const std::string name = c->mName.C_Str();
      const auto owner = morph_owners_.find(name);
      const auto node = objects_.find(name);
      const int32_t object = owner != morph_owners_.end() ? owner->second
                             : node != objects_.end()     ? node->second
                                                          : -1;
      const uint32_t targets = object < 0 ? 0 : morph_targets_[static_cast<size_t>(object)];
      if (targets > 0) out.push_back(weights_channel(*c, tps, object, targets));
    }
    return out;
  }

  // After a mesh written on an object: its Morph record when the object's meshes change shape,
  // with no targets for one that keeps its shape or whose count is not the object's.
  void morph(const aiMesh& m, const aiMatrix4x4& to_world, int32_t object) {
    if (object < 0 || morph_targets_[static_cast<size_t>(object)] == 0) return;
    const uint32_t targets = morph_targets(m);
    write_morph(m, to_world, targets == morph_targets_[static_cast<size_t>(object)] ? targets : 0,
                out_);
  }

  // What the engine does not draw, said once.
  void dropped() {
    bool beyond = false;
    for (unsigned i = 0; i < scene_.mNumMeshes; ++i)
      beyond = beyond || scene_.mMeshes[i]->mNumAnimMeshes > world_limits::kMaxMorphTargets;
    if (!beyond) return;
    const std::string what = "morph targets beyond the " +
                             std::to_string(world_limits::kMaxMorphTargets) +
                             "th of a mesh were left out";
    out_.record(Tag::Warning, what.size());
    out_.bytes(what.data(), what.size());
  }

  // false when the mesh has nothing to draw (and no record was written). mirror: turn the faces
  // round (besides where to_world mirrors them).
  bool mesh(const aiMesh& m, const aiMatrix4x4& to_world, int32_t object, bool mirror = false) {
    uint32_t triangles = 0;
    for (unsigned f = 0; f < m.mNumFaces; ++f) triangles += m.mFaces[f].mNumIndices == 3 ? 1 : 0;
    if (triangles == 0 || !m.mVertices) return false;
    const float determinant = determinant3(to_world);
    const bool mirrored = (determinant < 0.0f) != mirror;
    const aiVector3D* uv = m.mTextureCoords[0];
    // Normals turn with the inverse transpose, so that they stay square to a surface that
    // was scaled unevenly; a flattening transform leaves them out.
    const bool normals = m.mNormals && determinant != 0.0f && std::isfinite(determinant);
    const aiColor4D* colours = m.mColors[0];
    const uint32_t normal_count = normals ? m.mNumVertices : 0;
    const uint32_t colour_count = colours ? m.mNumVertices : 0;
    out_.record(Tag::Mesh, import_stream::kMeshHeaderBytes +
                               m.mNumVertices * import_stream::kVertexBytes +
                               uint64_t{normal_count} * import_stream::kNormalBytes +
                               uint64_t{colour_count} * import_stream::kColourBytes +
                               uint64_t{triangles} * import_stream::kTriangleBytes);
    out_.put(object);
    out_.put(static_cast<int32_t>(m.mMaterialIndex < scene_.mNumMaterials ? m.mMaterialIndex : -1));
    out_.put(m.mNumVertices);
    out_.put(triangles);
    out_.put(normal_count);
    out_.put(colour_count);
    for (unsigned v = 0; v < m.mNumVertices; ++v) {
      const aiVector3D p = to_world * m.mVertices[v];
      const float vertex[5] = {p.x, p.y, p.z, uv ? uv[v].x : 0.0f, uv ? uv[v].y : 0.0f};
      out_.bytes(vertex, sizeof vertex);
    }
    if (normals) {
      const aiMatrix3x3 turn = aiMatrix3x3(to_world).Inverse().Transpose();
      for (unsigned v = 0; v < m.mNumVertices; ++v) {
        const aiVector3D n = turn * m.mNormals[v];
        const float xyz[3] = {n.x, n.y, n.z};  // the engine makes them unit length
        out_.bytes(xyz, sizeof xyz);
      }
    }
    for (unsigned v = 0; v < colour_count; ++v) {
      const float rgba[4] = {colours[v].r, colours[v].g, colours[v].b, colours[v].a};
      out_.bytes(rgba, sizeof rgba);
    }
    for (unsigned f = 0; f < m.mNumFaces; ++f) {
      const aiFace& face = m.mFaces[f];
      if (face.mNumIndices != 3) continue;
      const uint32_t abc[3] = {face.mIndices[0], face.mIndices[mirrored ? 2 : 1],
                               face.mIndices[mirrored ? 1 : 2]};
      out_.bytes(abc, sizeof abc);
    }
    return true;
  }

  void cameras() {
    for (unsigned i = 0; i < scene_.mNumCameras; ++i) {
      const aiCamera& c = *scene_.mCameras[i];
      const aiNode* node = scene_.mRootNode ? scene_.mRootNode->FindNode(c.mName) : nullptr;
      const aiMatrix4x4 to_world = axes_ * (node ? global_transform(node) : aiMatrix4x4());
      const aiVector3D at = to_world * c.mPosition;
      aiVector3D dir = aiMatrix3x3(to_world) * c.mLookAt;
      if (dir.Length() == 0.0f || !std::isfinite(dir.Length())) dir = aiVector3D(-1, 0, 0);
      double zoom = 2.0 * c.mHorizontalFOV * 180.0 / 3.14159265358979323846;
      zoom = std::isfinite(zoom) && zoom > 0.0 ? std::clamp(zoom, 1.0, 170.0) : 55.0;
      const std::string name = clip(c.mName.C_Str());
      out_.record(Tag::Camera, StreamWriter::string_bytes(name) + 7 * 8);
      out_.string(name);
      for (double v : {double{at.x}, double{at.y}, double{at.z}, double{dir.x}, double{dir.y},
                       double{dir.z}, zoom})
        out_.put(v);
    }
  }

  const aiScene& scene_;
  StreamWriter& out_;
  aiMatrix4x4 axes_;
  std::string folder_;
  std::unordered_set<std::string> animated_;          // nodes some channel drives
  std::unordered_map<std::string, int32_t> objects_;  // animated node name: its object
  int32_t object_count_ = 0;
  std::vector<int32_t> parents_;                  // per object: its parent object, or -1
  std::vector<uint32_t> morph_targets_;           // per object: its morphs' target count, or 0
  std::map<unsigned, std::string> skin_holders_;  // skinned mesh: the first node that holds it
  std::unordered_map<std::string, int32_t> morph_owners_;  // that node: the skin's own node
  std::set<unsigned> skinned_;                             // meshes with bones, written by skins()
  std::optional<SharedMeshes> shared_;       // meshes written once, placed at each use
  std::map<std::string, int32_t> textures_;  // -1: no texture
  int32_t next_texture_ = 0;
  std::string model_stem_;  // the model's file name without its extension
};

void error_record(StreamWriter& out, const std::string& reason) {
  out.record(Tag::Error, reason.size());
  out.bytes(reason.data(), reason.size());
}

// CPU seconds of this process: the reader is single-threaded, and CPU time stays meaningful on
// a busy machine where the wall clock does not.
double cpu_now() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// assimp's PLY reader never returns from a header without its end (a file cut short there).
bool ply_header_is_cut_short(const std::string& path) {
  std::string ext = path.substr(std::min(path.size(), path.rfind('.') + 1));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != "ply" || !is_regular_file(path.c_str())) return false;
  std::ifstream in(path, std::ios::binary);
  std::string head(1 << 20, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return head.find("end_header") == std::string::npos;
}

// assimp's own words where they would puzzle a user.
std::string plain_reason(const std::string& why) {
  if (why.empty()) return "the file could not be read";
  if (why.find("bad_alloc") != std::string::npos)
    return "out of memory: the model is larger than the importer may hold";
  if (why.find("mNumMeshes is 0") != std::string::npos)
    return "the file holds no meshes: it is empty, or not a model";
  return why;
}

}  // namespace

std::string model_patterns() {
  aiString list;
  Assimp::Importer().GetExtensionList(list);
  std::vector<std::string> patterns;
  std::string all = list.C_Str();
  for (char& c : all) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (size_t begin = 0; begin < all.size();) {
    const size_t end = std::min(all.find(';', begin), all.size());
    if (end > begin) patterns.push_back(all.substr(begin, end - begin));
    begin = end + 1;
  }
  std::sort(patterns.begin(), patterns.end());
  patterns.erase(std::unique(patterns.begin(), patterns.end()), patterns.end());
  std::string text;
  for (const std::string& p : patterns) text += (text.empty() ? "" : ";") + p;
  return text;
}

int read_model(const std::string& path, StreamWriter& out, ReadTimings* timings) {
  double t = cpu_now();
  Assimp::Importer importer;
  importer.SetIOHandler(new RegularFilesOnly);  // the importer owns it
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                              aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  if (ply_header_is_cut_short(path)) {
    error_record(out, "not a whole PLY file: its header has no end_header");
    return out.flush() ? 1 : 2;
  }
  const aiScene* scene =
      importer.ReadFile(path, aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_FlipUVs |
                                  aiProcess_ValidateDataStructure);
  if (timings) timings->assimp_seconds = cpu_now() - t;
  t = cpu_now();
  if (!scene || !scene->mRootNode) {
    error_record(out, plain_reason(importer.GetErrorString()));
    return out.flush() ? 1 : 2;
  }
  // Meshes without normals get smooth ones, kept apart across edges sharper than the angle.
  const float cos_crease = std::cos(kSmoothingAngle * 3.14159265358979323846f / 180.0f);
  for (unsigned i = 0; i < scene->mNumMeshes; ++i)
    if (scene->mMeshes[i]) add_smooth_normals(*scene->mMeshes[i], cos_crease);
  ModelWriter(*scene, path, out).write();
  const bool ok = out.flush();
  if (timings) timings->convert_seconds = cpu_now() - t;
  return ok ? 0 : 2;
}

}  // namespace znr::importer
