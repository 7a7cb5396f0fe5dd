#pragma once
// A DNG camera profile (".dcp" file): its name, hue/saturation map, look table and tone curve. Our
// decoded RAW pixels already carry the camera's colour matrix, so the profile's look is what is
// applied: the two tables in HSV over linear ProPhoto RGB, then its tone curve.
#include <memory>
#include <string>
#include <vector>

namespace rova {

class DcpProfile {
 public:
  // Parsed once per path and kept; nullptr for a missing or malformed file.
  static std::shared_ptr<const DcpProfile> load(const std::string& path);
  // From file bytes; nullptr when they are not a camera profile.
  static std::shared_ptr<const DcpProfile> parse(const unsigned char* data, size_t size);

  const std::string& name() const { return name_; }
  bool hasHueSatMap() const { return !hueSat_.data.empty(); }
  bool hasLookTable() const { return !look_.data.empty(); }
  bool hasToneCurve() const { return curve_.size() >= 4; }

  // One pixel, linear Rec. 709 RGB, in place.
  void applyLook(float rgb[3]) const;

 private:
  struct Table {
    unsigned hues = 0, sats = 0, vals = 0;
    std::vector<float> data;  // hue shift (degrees), saturation scale, value scale per entry
    void apply(float& h, float& s, float& v) const;
  };
  std::string name_;
  Table hueSat_, look_;
  std::vector<float> curve_;  // x, y pairs in 0..1
  float toneCurve(float x) const;
};

}  // namespace rova
