#include "rova/effects/DcpProfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "rova/codecs/SafeFile.h"

namespace rova {
namespace {

enum : uint16_t {
  kTagProfileName = 50936,
  kTagHueSatDims = 50937,
  kTagHueSatData1 = 50938,
  kTagToneCurve = 50940,
  kTagLookDims = 50981,
  kTagLookData = 50982,
};

class Reader {
 public:
  Reader(const unsigned char* d, size_t n, bool little) : d_(d), n_(n), little_(little) {}
  bool ok(size_t off, size_t len) const { return off <= n_ && len <= n_ - off; }
  uint16_t u16(size_t o) const { return little_ ? uint16_t(d_[o] | d_[o + 1] << 8) : uint16_t(d_[o] << 8 | d_[o + 1]); }
  uint32_t u32(size_t o) const {
    return little_ ? uint32_t(d_[o]) | uint32_t(d_[o + 1]) << 8 | uint32_t(d_[o + 2]) << 16 | uint32_t(d_[o + 3]) << 24
                   : uint32_t(d_[o]) << 24 | uint32_t(d_[o + 1]) << 16 | uint32_t(d_[o + 2]) << 8 | uint32_t(d_[o + 3]);
  }
  float f32(size_t o) const {
    uint32_t b = u32(o);
    float f;
    std::memcpy(&f, &b, 4);
    return f;
  }
  const unsigned char* at(size_t o) const { return d_ + o; }

 private:
  const unsigned char* d_;
  size_t n_;
  bool little_;
};

const float kToProPhoto[9] = {0.5293f, 0.3300f, 0.1407f, 0.0984f, 0.8734f, 0.0282f, 0.0169f, 0.1177f, 0.8654f};
const float kFromProPhoto[9] = {2.0341f, -0.7276f, -0.3065f, -0.2288f, 1.2317f, -0.0029f, -0.0086f, -0.1533f, 1.1620f};

void mul(const float* m, const float* in, float* out) {
  for (int r = 0; r < 3; ++r) out[r] = m[3 * r] * in[0] + m[3 * r + 1] * in[1] + m[3 * r + 2] * in[2];
}

}  // namespace

std::shared_ptr<const DcpProfile> DcpProfile::parse(const unsigned char* data, size_t size) {
  if (!data || size < 8) return nullptr;
  bool little;
  if (data[0] == 'I' && data[1] == 'I')
    little = true;
  else if (data[0] == 'M' && data[1] == 'M')
    little = false;
  else
    return nullptr;
  Reader r(data, size, little);
  const uint16_t magic = r.u16(2);
  if (magic != 0x4352 && magic != 42) return nullptr;  // "RC" marks a camera profile
  const size_t ifd = r.u32(4);
  if (!r.ok(ifd, 2)) return nullptr;
  const unsigned count = r.u16(ifd);
  if (!r.ok(ifd + 2, size_t(count) * 12)) return nullptr;

  auto profile = std::make_shared<DcpProfile>();
  unsigned dims[2][3] = {{0, 0, 0}, {0, 0, 0}};
  for (unsigned i = 0; i < count; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    const uint16_t tag = r.u16(e), type = r.u16(e + 2);
    const uint32_t n = r.u32(e + 4);
    const size_t unit = type == 2 ? 1 : type == 4 || type == 11 ? 4 : 0;
    if (!unit || n > (1u << 26)) continue;
    const size_t bytes = unit * n;
    const size_t off = bytes <= 4 ? e + 8 : r.u32(e + 8);
    if (!r.ok(off, bytes)) continue;
    auto floats = [&] {
      std::vector<float> v(n);
      for (uint32_t k = 0; k < n; ++k) v[k] = r.f32(off + 4 * k);
      return v;
    };
    switch (tag) {
      case kTagProfileName:
        profile->name_.assign(reinterpret_cast<const char*>(r.at(off)),
                              strnlen(reinterpret_cast<const char*>(r.at(off)), n));
        break;
      case kTagHueSatDims:
      case kTagLookDims:
        if (type == 4 && n == 3)
          for (int k = 0; k < 3; ++k) dims[tag == kTagLookDims][k] = r.u32(off + 4 * k);
        break;
      case kTagHueSatData1:
        if (type == 11) profile->hueSat_.data = floats();
        break;
      case kTagLookData:
        if (type == 11) profile->look_.data = floats();
        break;
      case kTagToneCurve:
        if (type == 11 && n % 2 == 0) profile->curve_ = floats();
        break;
    }
  }
  for (int t = 0; t < 2; ++t) {
    Table& table = t ? profile->look_ : profile->hueSat_;
    table.hues = dims[t][0], table.sats = dims[t][1], table.vals = std::max(1u, dims[t][2]);
    if (table.hues < 1 || table.sats < 2 || table.data.size() != size_t(table.hues) * table.sats * table.vals * 3)
      table = Table{};
  }
  if (profile->name_.empty() && !profile->hasHueSatMap() && !profile->hasLookTable() && !profile->hasToneCurve())
    return nullptr;
  return profile;
}

std::shared_ptr<const DcpProfile> DcpProfile::load(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const DcpProfile>> cache;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(path);
    if (it != cache.end()) return it->second;
  }
  // Camera profiles are a few megabytes at most.
  std::vector<unsigned char> bytes;
  if (!codecs::readFileSafely(path, uint64_t(64) << 20, bytes, nullptr)) return nullptr;
  auto profile = parse(bytes.data(), bytes.size());
  std::lock_guard<std::mutex> lock(mutex);
  cache[path] = profile;
  return profile;
}

void DcpProfile::Table::apply(float& h, float& s, float& v) const {
  // Hue wraps around; saturation and value are clamped to the grid.
  const float hf = h * hues / 6.f;
  int h0 = int(std::floor(hf));
  const float th = hf - h0;
  h0 = ((h0 % int(hues)) + int(hues)) % int(hues);
  const int h1 = (h0 + 1) % int(hues);
  const float sf = std::clamp(s, 0.f, 1.f) * (sats - 1);
  const int s0 = std::min(int(sf), int(sats) - 2);
  const float ts = sf - s0;
  float vf = 0, tv = 0;
  int v0 = 0, v1 = 0;
  if (vals > 1) {
    vf = std::clamp(v, 0.f, 1.f) * (vals - 1);
    v0 = std::min(int(vf), int(vals) - 2);
    v1 = v0 + 1;
    tv = vf - v0;
  }
  float out[3] = {0, 0, 0};
  for (int dv = 0; dv < 2; ++dv)
    for (int dh = 0; dh < 2; ++dh)
      for (int ds = 0; ds < 2; ++ds) {
        const float w = (dv ? tv : 1 - tv) * (dh ? th : 1 - th) * (ds ? ts : 1 - ts);
        if (w == 0) continue;
        const size_t idx = ((size_t(dv ? v1 : v0) * hues + (dh ? h1 : h0)) * sats + (s0 + ds)) * 3;
        for (int k = 0; k < 3; ++k) out[k] += w * data[idx + k];
      }
  h += out[0] / 60.f;
  h = std::fmod(h + 6.f, 6.f);
  s = std::clamp(s * out[1], 0.f, 1.f);
  v *= out[2];
}

float DcpProfile::toneCurve(float x) const {
  if (x <= 0) return x;
  const size_t n = curve_.size() / 2;
  if (x >= curve_[2 * (n - 1)]) return curve_[2 * (n - 1) + 1] + (x - curve_[2 * (n - 1)]);
  for (size_t i = 1; i < n; ++i)
    if (x <= curve_[2 * i]) {
      const float x0 = curve_[2 * i - 2], y0 = curve_[2 * i - 1], x1 = curve_[2 * i], y1 = curve_[2 * i + 1];
      return x1 > x0 ? y0 + (y1 - y0) * (x - x0) / (x1 - x0) : y1;
    }
  return x;
}

void DcpProfile::applyLook(float rgb[3]) const {
  float p[3];
  mul(kToProPhoto, rgb, p);
  if (hasHueSatMap() || hasLookTable()) {
    const float mx = std::max({p[0], p[1], p[2]}), mn = std::min({p[0], p[1], p[2]});
    if (mx > 0) {
      float v = mx, s = (mx - mn) / mx, h = 0;
      const float d = mx - mn;
      if (d > 0) {
        if (mx == p[0])
          h = (p[1] - p[2]) / d;
        else if (mx == p[1])
          h = 2 + (p[2] - p[0]) / d;
        else
          h = 4 + (p[0] - p[1]) / d;
        if (h < 0) h += 6;
      }
      if (hasHueSatMap()) hueSat_.apply(h, s, v);
      if (hasLookTable()) look_.apply(h, s, v);
      // HSV back to RGB.
      const int i = int(h) % 6;
      const float f = h - std::floor(h), a = v * (1 - s), b = v * (1 - s * f), c = v * (1 - s * (1 - f));
      const float table[6][3] = {{v, c, a}, {b, v, a}, {a, v, c}, {a, b, v}, {c, a, v}, {v, a, b}};
      for (int k = 0; k < 3; ++k) p[k] = table[i][k];
    }
  }
  if (hasToneCurve())
    for (float& x : p) x = toneCurve(x);
  mul(kFromProPhoto, p, rgb);
}

}  // namespace rova
