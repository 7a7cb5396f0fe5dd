#pragma once
// The application's HTTP client: JSON requests and multipart form uploads to the application's
// web service. Every answer comes back through a completion as (error, answer): exactly one of
// them is set. Completions of sent requests run on the main thread; failures found before
// anything is sent (no connection, a wrong method, an attachment that cannot be sent) call the
// completion at once on the calling thread.
//
// Errors:
//   "QVErrorDomainNetwork" 1000  user info "Reason": "No internet connection available"
//   "QVErrorDomainNetwork" 1001  user info "Reason": "HTTP method is wrong"
//   "QVNetworkErrorDomain" 404   "Server error, status code = <status>" for any status but 200
//   "QVNetworkErrorDomain" 102   a multipart answer without a true "success" (its "message")
//   "QVNetworkErrorDomain" 103   an attachment that cannot be read or is over 50 MB
// The client keeps no state between requests; it is safe to call from any thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Business/NetworkManager/QVURLSession.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVErrorDomainNetwork = "QVErrorDomainNetwork";
inline constexpr const char* kQVNetworkErrorDomain = "QVNetworkErrorDomain";

// Method codes.
enum : int64_t { QVRequestMethodGET = 1, QVRequestMethodPOST = 2 };

// The error (nullopt on success) and the deserialised answer (null on failure).
using QVNetworkCompletion = std::function<void(const std::optional<qv::Error>& error, const qv::Value& answer)>;
// Turns an answer's bytes into an object, or fills the error.
using QVNetworkDeserializer = std::function<qv::Value(const qv::Bytes& data, qv::Error* error)>;
using QVHTTPHeaders = std::map<std::string, std::string>;

// What completeNetworkRequest hands to the completion.
struct QVNetworkRequestResult {
  QVNetworkCompletion completion;
  qv::Value data;
  std::optional<qv::Error> error;
};

class QVNetworkManager {
 public:
  // The attachment limit of multipart uploads: 50 MB, that many bytes still accepted.
  static constexpr int64_t kMaxAttachmentMegabytes = 50;
  static constexpr uint64_t kMaxAttachmentSize = uint64_t(kMaxAttachmentMegabytes) * 1024 * 1024;

  // The delegate is only kept (weakly); the client calls nothing on it.
  explicit QVNetworkManager(std::weak_ptr<void> delegate = {});
  std::shared_ptr<void> delegate() const { return delegate_.lock(); }

  // "GET" for 1, "POST" for 2, nullopt for any other code.
  static std::optional<std::string> requestMethodStringFromType(int64_t method);
  // Parses JSON (containers come back as values the caller owns and may change).
  static QVNetworkDeserializer jsonDeserializer();

  // Whether the network can be reached, asked before every plain request. By default the
  // internet-connection monitor's answer; tests and the facade may install their own.
  void setConnectionProbe(std::function<bool()> probe);
  bool internetConnection() const;

  void performRequestWithURL(const std::string& url, int64_t method, const std::optional<QVHTTPHeaders>& headers,
                             const std::optional<qv::Bytes>& bodyData, QVNetworkCompletion completion,
                             QVNetworkDeserializer deserializer) const;
  // With the JSON deserialiser.
  void performRequestWithURL(const std::string& url, int64_t method, const std::optional<QVHTTPHeaders>& headers,
                             const std::optional<qv::Bytes>& bodyData, QVNetworkCompletion completion) const;
  // Without headers, with the JSON deserialiser.
  void performRequestWithURL(const std::string& url, int64_t method, const std::optional<qv::Bytes>& bodyData,
                             QVNetworkCompletion completion) const;
  // A text body, sent as its UTF-8 bytes.
  void performRequestWithURLBody(const std::string& url, int64_t method, const std::optional<QVHTTPHeaders>& headers,
                                 const std::string& body, QVNetworkCompletion completion,
                                 QVNetworkDeserializer deserializer) const;
  void performRequestWithURLBody(const std::string& url, int64_t method, const std::string& body,
                                 QVNetworkCompletion completion, QVNetworkDeserializer deserializer) const;

  // A multipart form upload: every entry of `params` is a text field, except "image", a
  // dictionary with "imagePath" (the file) and "name" (the form field) that is attached.
  void sendMutlipartFormWithURL(const std::string& url, const qv::Dictionary& params,
                                QVNetworkCompletion completion) const;

  // Runs one prepared request; the outcome goes to the completion on the main thread.
  void performRequest(const QVURLRequest& request, QVNetworkCompletion completion,
                      QVNetworkDeserializer deserializer) const;
  // Calls the completion with the error and the answer (main thread).
  static void completeNetworkRequest(const QVNetworkRequestResult& result);

  // The multipart body (see the .cpp for its layout); nullopt and *error when the attachment
  // cannot be sent.
  static std::optional<qv::Bytes> prepareMutlipartBodyWithParams(const qv::Dictionary& params,
                                                                 const std::string& boundary, qv::Error* error);

 private:
  std::weak_ptr<void> delegate_;
  std::function<bool()> connectionProbe_;
};
