#include "zelnary/simulation/keyframes.h"

#include <algorithm>
#include <cmath>

namespace znr {

Quat unit(const Quat& q) {
  const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!(n > 1e-300) || !std::isfinite(n)) return Quat{};
  return {q.x / n, q.y / n, q.z / n, q.w / n};
}

Quat slerp(const Quat& a, Quat b, double f) {
  double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (d < 0.0) {
    b = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  double wa = 1.0 - f, wb = f;
  if (d < 0.9995) {  // else nearly the same turn: a straight mix, made unit, is as good
    const double angle = std::acos(std::min(d, 1.0));
    const double s = std::sin(angle);
    wa = std::sin((1.0 - f) * angle) / s;
    wb = std::sin(f * angle) / s;
  }
  return unit({a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb, a.w * wa + b.w * wb});
}

Affine to_affine(const Transform& t) {
  const Quat q = unit(t.rotation);
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                          {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                          {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  const double s[3] = {t.scale.x, t.scale.y, t.scale.z};
  const double m[3] = {t.translation.x, t.translation.y, t.translation.z};
  Affine a;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a.m[i][j] = r[i][j] * s[j];
    a.m[i][3] = m[i];
  }
  return a;
}

Affine operator*(const Affine& a, const Affine& b) {
  Affine c;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double v = j == 3 ? a.m[i][3] : 0.0;
      for (int k = 0; k < 3; ++k) v += a.m[i][k] * b.m[k][j];
      c.m[i][j] = v;
    }
  }
  return c;
}

namespace {

// The channel's n values at `seconds`; see sample().
bool sample_values(const Channel& c, double seconds, double* out, size_t n) {
  const size_t keys = c.times.size(), stride = values_per_key(c);
  if (keys == 0 || n == 0 || c.values.size() != keys * stride) return false;
  const bool cubic = c.interpolation == Interpolation::CubicSpline;
  const size_t at = cubic ? n : 0;  // where a key's value starts among its numbers
  auto value = [&](size_t key) { return c.values.data() + key * stride + at; };
  // The last key at or before the time (the first before it starts).
  const auto hi = std::upper_bound(c.times.begin(), c.times.end(), seconds);
  const size_t b = static_cast<size_t>(hi - c.times.begin());
  if (b == 0 || b == keys || c.interpolation == Interpolation::Step) {
    std::copy_n(value(b == 0 ? 0 : b - 1), n, out);
  } else {
    const size_t a = b - 1;
    const double span = c.times[b] - c.times[a];
    const double f = span > 0.0 ? std::clamp((seconds - c.times[a]) / span, 0.0, 1.0) : 0.0;
    const double* va = value(a);
    const double* vb = value(b);
    if (cubic) {
      const double* out_tangent = va + n;  // after a's value
      const double* in_tangent = vb - n;   // before b's value
      const double f2 = f * f, f3 = f2 * f;
      const double h00 = 2 * f3 - 3 * f2 + 1, h10 = f3 - 2 * f2 + f, h01 = -2 * f3 + 3 * f2,
                   h11 = f3 - f2;
      for (size_t i = 0; i < n; ++i)
        out[i] =
            h00 * va[i] + h10 * span * out_tangent[i] + h01 * vb[i] + h11 * span * in_tangent[i];
    } else if (c.path == ChannelPath::Rotation) {
      const Quat q =
          slerp(unit({va[0], va[1], va[2], va[3]}), unit({vb[0], vb[1], vb[2], vb[3]}), f);
      out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
    } else {
      for (size_t i = 0; i < n; ++i) out[i] = va[i] + (vb[i] - va[i]) * f;
    }
  }
  if (c.path == ChannelPath::Rotation) {
    const Quat q = unit({out[0], out[1], out[2], out[3]});
    out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
  }
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(out[i])) return false;
  return true;
}

}  // namespace

bool sample(const Channel& c, double seconds, double out[4]) {
  if (c.path == ChannelPath::Weights) return false;
  return sample_values(c, seconds, out, c.path == ChannelPath::Rotation ? 4 : 3);
}

bool sample_weights(const Channel& c, double seconds, std::span<float> out) {
  if (c.path != ChannelPath::Weights || c.weights != out.size() || out.size() > kMorphTargets)
    return false;
  double v[kMorphTargets];
  if (!sample_values(c, seconds, v, out.size())) return false;
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(v[i]);
  return true;
}

NodeAnimator::NodeAnimator(const Scene& scene, size_t animation)
    : scene_(scene),
      animation_(animation < scene.animations.size() ? &scene.animations[animation] : nullptr) {
  const size_t count = scene.objects.size();
  driven_.resize(count);
  world_.resize(count);
  for (size_t k = 0; k < count; ++k)
    if (scene.objects[k].keyed) keyed_.push_back(k);
  if (!animation_) return;
  // Weights channels drive the morphs of their object instead of its transform.
  std::vector<int32_t> weights_of(count, -1);
  for (size_t i = 0; i < animation_->channels.size(); ++i) {
    const Channel& c = animation_->channels[i];
    const int32_t o = c.object;
    if (o < 0 || static_cast<size_t>(o) >= count || !scene.objects[static_cast<size_t>(o)].keyed)
      continue;
    if (c.path == ChannelPath::Weights) {
      weights_of[static_cast<size_t>(o)] = static_cast<int32_t>(i);
    } else {
      driven_[static_cast<size_t>(o)].push_back(i);
    }
  }
  for (size_t m = 0; m < scene.morphs.size(); ++m) {
    const int32_t o = scene.morphs[m].object;
    if (o >= 0 && static_cast<size_t>(o) < count && weights_of[static_cast<size_t>(o)] >= 0)
      morph_channels_.push_back({m, static_cast<size_t>(weights_of[static_cast<size_t>(o)])});
  }
}

double NodeAnimator::loop_time(double seconds) const {
  double t = 0.0;
  if (animation_ && animation_->length > 0.0 && std::isfinite(seconds)) {
    t = std::fmod(seconds, animation_->length);
    if (t < 0.0) t += animation_->length;
  }
  return t;
}

void NodeAnimator::weights(double seconds, std::span<float> out) const {
  const double t = loop_time(seconds);
  for (const auto& [m, channel] : morph_channels_) {
    const Morph& morph = scene_.morphs[m];
    if (size_t{morph.first_weight} + morph.targets > out.size()) continue;
    sample_weights(animation_->channels[channel], t,
                   out.subspan(morph.first_weight, morph.targets));
  }
}

void NodeAnimator::pose(double seconds, std::span<ObjectPose> poses) {
  const double t = loop_time(seconds);
  for (const size_t k : keyed_) {
    const MovingObject& o = scene_.objects[k];
    Transform local = o.rest;
    for (const size_t i : driven_[k]) {
      const Channel& c = animation_->channels[i];
      double v[4];
      if (!sample(c, t, v)) continue;
      if (c.path == ChannelPath::Translation) local.translation = {v[0], v[1], v[2]};
      if (c.path == ChannelPath::Rotation) local.rotation = {v[0], v[1], v[2], v[3]};
      if (c.path == ChannelPath::Scale) local.scale = {v[0], v[1], v[2]};
    }
    // Parents come first (the loader sees to it); a parent that does not is taken as none.
    const bool parented = o.parent >= 0 && static_cast<size_t>(o.parent) < k &&
                          scene_.objects[static_cast<size_t>(o.parent)].keyed;
    Affine frame = o.base * to_affine(local);
    if (parented) frame = world_[static_cast<size_t>(o.parent)] * frame;
    bool finite = true;
    for (const auto& row : frame.m)
      for (double x : row) finite = finite && std::isfinite(x) && std::fabs(x) < 1e30;
    if (!finite) frame = parented ? world_[static_cast<size_t>(o.parent)] : Affine{};
    world_[k] = frame;
    if (k < poses.size()) poses[k] = pose_from(frame, o.front);
  }
}

}  // namespace znr
