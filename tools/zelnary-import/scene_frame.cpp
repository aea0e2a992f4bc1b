#include "scene_frame.h"

#include <algorithm>
#include <cctype>

namespace znr::importer {
namespace {

template <typename T>
bool meta(const aiScene& scene, const char* key, T& out) {
  return scene.mMetaData && scene.mMetaData->Get(key, out);
}

int meta_int(const aiScene& scene, const char* key, int fallback) {
  int32_t v = 0;
  return meta(scene, key, v) ? v : fallback;
}

aiVector3D unit_axis(int axis, int sign) {
  aiVector3D v(0, 0, 0);
  v[static_cast<unsigned>(std::clamp(axis, 0, 2))] = sign < 0 ? -1.0f : 1.0f;
  return v;
}

}  // namespace

bool is_z_up_format(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* z_up :
       {"blend", "3mf", "amf", "hmp", "smd", "vta", "q3o", "q3s", "cob", "scn", "csm"})
    if (ext == z_up) return true;
  return false;
}

aiMatrix4x4 world_axes(const aiScene& scene, std::optional<UpAxis> chosen, bool z_up_format) {
  int32_t reported = 0;
  const bool from_metadata = !chosen && meta(scene, "UpAxis", reported);
  if (!chosen && !from_metadata) chosen = UpAxis{z_up_format ? 2 : 1, 1};
  aiVector3D up, front, right;
  if (chosen) {
    // The file's right and front for each up axis: x right where x is not up; the front
    // turned along with the up axis from glTF's (+y up, +z front).
    static const struct {
      int right, right_sign, front, front_sign;
    } kFrames[3][2] = {
        {{1, 1, 2, 1}, {1, -1, 2, 1}},  // -x up, +x up
        {{0, 1, 2, -1}, {0, 1, 2, 1}},  // -y up, +y up
        {{0, 1, 1, 1}, {0, 1, 1, -1}},  // -z up, +z up
    };
    const auto& f = kFrames[chosen->axis][chosen->sign > 0 ? 1 : 0];
    up = unit_axis(chosen->axis, chosen->sign);
    right = unit_axis(f.right, f.right_sign);
    front = unit_axis(f.front, f.front_sign);
  } else {
    up = unit_axis(meta_int(scene, "UpAxis", 1), meta_int(scene, "UpAxisSign", 1));
    front = unit_axis(meta_int(scene, "FrontAxis", 2), meta_int(scene, "FrontAxisSign", 1));
    right = unit_axis(meta_int(scene, "CoordAxis", 0), meta_int(scene, "CoordAxisSign", 1));
  }
  // FBX reports centimetres per unit.
  float unit = 1.0f;
  double unit_d = 0.0;
  if (meta(scene, "UnitScaleFactor", unit_d))
    unit = static_cast<float>(unit_d / 100.0);
  else if (meta(scene, "UnitScaleFactor", unit))
    unit /= 100.0f;
  if (!(unit > 0.0f)) unit = 1.0f;
  // Rows: our x, y, z as combinations of the file's axes.
  return aiMatrix4x4(right.x * unit, right.y * unit, right.z * unit, 0,     //
                     -front.x * unit, -front.y * unit, -front.z * unit, 0,  //
                     up.x * unit, up.y * unit, up.z * unit, 0,              //
                     0, 0, 0, 1);
}

aiMatrix4x4 global_transform(const aiNode* node) {
  aiMatrix4x4 m;
  for (; node; node = node->mParent) m = node->mTransformation * m;
  return m;
}

}  // namespace znr::importer
