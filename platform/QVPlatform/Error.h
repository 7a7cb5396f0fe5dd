#pragma once
// Errors as records with a domain, a code, a description and user info. Functions that can
// fail take an `Error* error` out-parameter (may be nullptr) and return false/nullptr.
#include <cstdint>
#include <string>

#include "QVPlatform/Value.h"

namespace qv {

struct Error {
  std::string domain;
  int64_t code = 0;
  std::string description;  // the localized description shown to a user
  Dictionary userInfo;

  Error() = default;
  Error(std::string d, int64_t c, std::string desc = {}, Dictionary info = {})
      : domain(std::move(d)), code(c), description(std::move(desc)), userInfo(std::move(info)) {}
};

// Fills *out when the caller asked for the error.
inline void setError(Error* out, Error e) {
  if (out) *out = std::move(e);
}

}  // namespace qv
