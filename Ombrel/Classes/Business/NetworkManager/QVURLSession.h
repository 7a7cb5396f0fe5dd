#pragma once
// The HTTP transport under the network client: one background thread drives every transfer
// through libcurl's multi interface, so any number of requests run side by side without taking
// a worker of the shared pool for the length of a transfer. Completions run on that thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

// A prepared request (the URL, the method text, the headers in the order they are sent, the body).
struct QVURLRequest {
  // The system's default: a transfer that neither connects nor moves a byte for this long fails.
  static constexpr double kDefaultTimeoutInterval = 60;
  // The largest answer kept: every call of the network client gets a small JSON answer. A larger
  // one (announced, or growing without end) fails as a transport error ("NSURLErrorDomain" -1103).
  static constexpr uint64_t kDefaultMaximumResponseBytes = uint64_t(16) << 20;

  std::string url;
  std::string httpMethod = "GET";
  double timeoutInterval = kDefaultTimeoutInterval;
  uint64_t maximumResponseBytes = kDefaultMaximumResponseBytes;
  std::vector<std::pair<std::string, std::string>> headers;
  std::optional<qv::Bytes> httpBody;

  // Sets (or replaces) one header field.
  void setValueForHTTPHeaderField(const std::string& value, const std::string& field);
  // The value of a header field (case ignored), or nullopt.
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
};

// What a transfer ended with: either a transport error, or a response with its status and data.
struct QVURLResponse {
  std::optional<qv::Error> error;  // domain "NSURLErrorDomain"
  bool isHTTP = false;
  int64_t statusCode = 0;
  qv::Bytes data;
};

class QVURLSession {
 public:
  static QVURLSession& shared();

  // Starts the transfer; `completion` runs once on the session's thread when it ends.
  void dataTask(QVURLRequest request, std::function<void(QVURLResponse)> completion);

  struct State;

 private:
  QVURLSession();
  std::shared_ptr<State> state_;
};
