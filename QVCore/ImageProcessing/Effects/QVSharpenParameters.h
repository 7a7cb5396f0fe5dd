#pragma once
// Sharpen settings by level, for ordinary and raw images.
#include <cstdint>
#include <memory>

class QVSharpenParameters {
 public:
  // nullptr for level 0; otherwise the raw or the ordinary row of the level, and the default
  // settings for a level without a row.
  static std::shared_ptr<QVSharpenParameters> sharpenParametersForLevel(uint64_t level, bool isRAW);
  static std::shared_ptr<QVSharpenParameters> parametersForLevel(uint64_t level);
  static std::shared_ptr<QVSharpenParameters> rawParametersForLevel(uint64_t level);
  static std::shared_ptr<QVSharpenParameters> defaultParameters();
  static std::shared_ptr<QVSharpenParameters> sharpenParametersWithAmount(double amount, double radius, double masking,
                                                                          double dehalo);

  double amount() const { return amount_; }
  void setAmount(double v) { amount_ = v; }
  double radius() const { return radius_; }
  void setRadius(double v) { radius_ = v; }
  double masking() const { return masking_; }
  void setMasking(double v) { masking_ = v; }
  double dehalo() const { return dehalo_; }
  void setDehalo(double v) { dehalo_ = v; }

 private:
  double amount_ = 0, radius_ = 0, masking_ = 0, dehalo_ = 0;
};
