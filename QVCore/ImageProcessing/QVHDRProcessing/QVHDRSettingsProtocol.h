#pragma once
// The merge options of an HDR bracket, as the application sees them (the protocol factory makes a
// QVHDRSettings for it).
#include <cstdint>

#include "QVPlatform/Value.h"

class QVHDRSettingsProtocol {
 public:
  virtual ~QVHDRSettingsProtocol() = default;

  virtual bool alignment() const = 0;
  virtual void setAlignment(bool v) = 0;
  virtual bool ghostReduction() const = 0;
  virtual void setGhostReduction(bool v) = 0;
  virtual int64_t ghostRefImageIdx() const = 0;
  virtual void setGhostRefImageIdx(int64_t v) = 0;
  virtual int64_t ghostAmount() const = 0;
  virtual void setGhostAmount(int64_t v) = 0;
  virtual bool colorDenoise() const = 0;
  virtual void setColorDenoise(bool v) = 0;
  virtual bool chromaticAbberationReduction() const = 0;
  virtual void setChromaticAbberationReduction(bool v) = 0;
  virtual bool singleImageToneMapping() const = 0;
  virtual void setSingleImageToneMapping(bool v) = 0;

  virtual qv::Value dictionaryRepresentation() const = 0;
  virtual void setupWithDictionaryRepresentation(const qv::Value& dictionary) = 0;
  virtual void store() const = 0;
};
