#pragma once
// The merge options of an HDR bracket: a small record with a property-list dictionary form, a
// stored copy in the shared container ("hdrSettings") and the engine's settings record.
//
// The stored file is a property list whose root holds the dictionary representation under
// "kQVHDRSettingsDictionaryRepresentationKey". Only the single-image tone mapping switch is
// remembered there: `store` writes the defaults for every other option.
#include <memory>
#include <string>

#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRSettingsProtocol.h"
#include "rova/hdr/HDRMerge.h"

inline constexpr const char* kQVHDRSettingsDictionaryRepresentationKey = "kQVHDRSettingsDictionaryRepresentationKey";
inline constexpr const char* kQVHDRSettingsFileName = "hdrSettings";

class QVHDRSettings : public QVHDRSettingsProtocol {
 public:
  using Ptr = std::shared_ptr<QVHDRSettings>;

  // Alignment, ghost reduction and chromatic aberration reduction off, ghost index and amount 0,
  // colour denoise and single-image tone mapping on.
  static Ptr defaultSettings();
  // The stored settings; the defaults when there is no file or it cannot be read.
  static Ptr storedSettings();
  // The defaults, then `setupWithDictionaryRepresentation`.
  static Ptr hdrSettingsFromDictionaryRepresentation(const qv::Value& dictionary);
  // "<container>/hdrSettings"; empty while there is no container.
  static std::string filePath();

  QVHDRSettings() { setupDefaultSettings(); }

  bool alignment() const override { return alignment_; }
  void setAlignment(bool v) override { alignment_ = v; }
  bool ghostReduction() const override { return ghostReduction_; }
  void setGhostReduction(bool v) override { ghostReduction_ = v; }
  int64_t ghostRefImageIdx() const override { return ghostRefImageIdx_; }
  void setGhostRefImageIdx(int64_t v) override { ghostRefImageIdx_ = v; }
  int64_t ghostAmount() const override { return ghostAmount_; }
  void setGhostAmount(int64_t v) override { ghostAmount_ = v; }
  bool colorDenoise() const override { return colorDenoise_; }
  void setColorDenoise(bool v) override { colorDenoise_ = v; }
  bool chromaticAbberationReduction() const override { return chromaticAbberationReduction_; }
  void setChromaticAbberationReduction(bool v) override { chromaticAbberationReduction_ = v; }
  bool singleImageToneMapping() const override { return singleImageToneMapping_; }
  void setSingleImageToneMapping(bool v) override { singleImageToneMapping_ = v; }

  // Writes the stored file (defaults plus this object's single-image tone mapping); failures are
  // silent.
  void store() const override;
  // The seven keys "_alignment", ... (booleans and integers).
  qv::Value dictionaryRepresentation() const override;
  // A null value: the defaults. Otherwise every option from its key; a missing key (or one of
  // another type) gives NO or 0, not the default.
  void setupWithDictionaryRepresentation(const qv::Value& dictionary) override;
  void setupDefaultSettings();

  // Keyed coding: the archive's root dictionary and back.
  qv::Value encode() const;
  static Ptr decode(const qv::Value& archive);

  // The engine's settings record (indices and amount truncated to 32 bits).
  rova::HDRSettings rovaHDRSettings() const;

 private:
  bool alignment_ = false;
  bool ghostReduction_ = false;
  int64_t ghostRefImageIdx_ = 0;
  int64_t ghostAmount_ = 0;
  bool colorDenoise_ = true;
  bool chromaticAbberationReduction_ = false;
  bool singleImageToneMapping_ = true;
};
