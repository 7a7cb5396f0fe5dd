#include "Ombrel/Classes/Business/NetworkManager/QVNetworkManager.h"

#include "Ombrel/Classes/Business/NetworkManager/QVURLSerializer.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Ombrel/Classes/Common/Reachability/Reachability.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"

namespace {

constexpr const char* kReasonKey = "Reason";

// A localised text with its one placeholder ("%lu", "%d") filled in.
std::string localizedWithNumber(const std::string& key, const char* placeholder, int64_t number) {
  std::string text = qv::QVSLocalization::localizedStringForKey(key, "");
  const size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, std::string(placeholder).size(), std::to_string(number));
  return text;
}

// A form value as text: data as its bytes, everything else as the query strings print it.
std::string formText(const qv::Value& value) {
  if (value.isData()) return std::string(value.data()->begin(), value.data()->end());
  return AFPlainDescription(value);
}

// A name inside a quoted header parameter. A quote or a line break would end the parameter or
// the header and let the rest of the text pose as headers of its own, so they are escaped the
// way browsers escape them in form uploads.
std::string quotedParameter(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"') {
      out += "%22";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out += c;
    }
  }
  return out;
}

void append(qv::Bytes& body, const std::string& text) { body.insert(body.end(), text.begin(), text.end()); }

qv::Error attachmentError(std::string description) {
  return qv::Error(kQVNetworkErrorDomain, 103, std::move(description));
}

qv::Error attachmentTooBigError() {
  return attachmentError(
      localizedWithNumber("Unfortunately, the file you’re attaching is too big. The maximum file size is %d MB.", "%d",
                          QVNetworkManager::kMaxAttachmentMegabytes));
}

}  // namespace

QVNetworkManager::QVNetworkManager(std::weak_ptr<void> delegate) : delegate_(std::move(delegate)) {}

std::optional<std::string> QVNetworkManager::requestMethodStringFromType(int64_t method) {
  switch (method) {
    case QVRequestMethodGET:
      return "GET";
    case QVRequestMethodPOST:
      return "POST";
    default:
      return std::nullopt;
  }
}

QVNetworkDeserializer QVNetworkManager::jsonDeserializer() {
  return [](const qv::Bytes& data, qv::Error* error) {
    return qv::PropertyList::fromJSON(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), error);
  };
}

void QVNetworkManager::setConnectionProbe(std::function<bool()> probe) { connectionProbe_ = std::move(probe); }

bool QVNetworkManager::internetConnection() const {
  if (connectionProbe_) return connectionProbe_();
  static const std::shared_ptr<Reachability> monitor = Reachability::reachabilityForInternetConnection();
  return monitor && monitor->isReachable();
}

void QVNetworkManager::performRequestWithURL(const std::string& url, int64_t method,
                                             const std::optional<QVHTTPHeaders>& headers,
                                             const std::optional<qv::Bytes>& bodyData, QVNetworkCompletion completion,
                                             QVNetworkDeserializer deserializer) const {
  if (!internetConnection()) {
    if (completion) {
      completion(qv::Error(kQVErrorDomainNetwork, 1000, {}, {{kReasonKey, "No internet connection available"}}),
                 qv::Value());
    }
    return;
  }
  const std::optional<std::string> methodText = requestMethodStringFromType(method);
  if (!methodText) {
    if (completion) {
      completion(qv::Error(kQVErrorDomainNetwork, 1001, {}, {{kReasonKey, "HTTP method is wrong"}}), qv::Value());
    }
    return;
  }
  QVURLRequest request;
  request.url = url;
  request.timeoutInterval = 60;
  request.httpMethod = *methodText;
  if (bodyData) request.httpBody = *bodyData;
  if (headers) {
    for (const auto& [field, value] : *headers) request.setValueForHTTPHeaderField(value, field);
  }
  performRequest(request, std::move(completion), std::move(deserializer));
}

void QVNetworkManager::performRequestWithURL(const std::string& url, int64_t method,
                                             const std::optional<QVHTTPHeaders>& headers,
                                             const std::optional<qv::Bytes>& bodyData,
                                             QVNetworkCompletion completion) const {
  performRequestWithURL(url, method, headers, bodyData, std::move(completion), jsonDeserializer());
}

void QVNetworkManager::performRequestWithURL(const std::string& url, int64_t method,
                                             const std::optional<qv::Bytes>& bodyData,
                                             QVNetworkCompletion completion) const {
  performRequestWithURL(url, method, std::nullopt, bodyData, std::move(completion), jsonDeserializer());
}

void QVNetworkManager::performRequestWithURLBody(const std::string& url, int64_t method,
                                                 const std::optional<QVHTTPHeaders>& headers, const std::string& body,
                                                 QVNetworkCompletion completion,
                                                 QVNetworkDeserializer deserializer) const {
  performRequestWithURL(url, method, headers, qv::Bytes(body.begin(), body.end()), std::move(completion),
                        std::move(deserializer));
}

void QVNetworkManager::performRequestWithURLBody(const std::string& url, int64_t method, const std::string& body,
                                                 QVNetworkCompletion completion,
                                                 QVNetworkDeserializer deserializer) const {
  performRequestWithURLBody(url, method, std::nullopt, body, std::move(completion), std::move(deserializer));
}

void QVNetworkManager::performRequest(const QVURLRequest& request, QVNetworkCompletion completion,
                                      QVNetworkDeserializer deserializer) const {
  QVLogInfo("Loading %s", request.url.c_str());
  const std::string url = request.url;
  QVURLSession::shared().dataTask(request, [url, completion = std::move(completion),
                                            deserializer = std::move(deserializer)](QVURLResponse response) {
    if (!completion) return;
    std::optional<qv::Error> error;
    qv::Value answer;
    if (response.error) {
      error = response.error;
    } else if (response.isHTTP && response.statusCode != 200) {
      // One code for every refused answer; the status itself is in the text.
      error = qv::Error(kQVNetworkErrorDomain, 404,
                        localizedWithNumber("Server error, status code = %lu", "%lu", response.statusCode));
    } else if (deserializer) {
      qv::Error parseError;
      answer = deserializer(response.data, &parseError);
      if (!parseError.domain.empty()) {
        error = parseError;
        answer = qv::Value();
      }
    }
    if (error) {
      QVLogInfo("Error loading %s, error: %s (%s %" PRId64 ")", url.c_str(), error->description.c_str(),
                error->domain.c_str(), error->code);
    } else {
      QVLogInfo("Successfully loaded %s", url.c_str());
    }
    QVNetworkRequestResult result{completion, std::move(answer), std::move(error)};
    qv::MainExecutor::shared().async([result = std::move(result)] { completeNetworkRequest(result); });
  });
}

void QVNetworkManager::completeNetworkRequest(const QVNetworkRequestResult& result) {
  if (result.completion) result.completion(result.error, result.error ? qv::Value() : result.data);
}

void QVNetworkManager::sendMutlipartFormWithURL(const std::string& url, const qv::Dictionary& params,
                                                QVNetworkCompletion completion) const {
  const std::string boundary = "Boundary-" + qv::stringWithUUID();
  QVURLRequest request;
  request.url = url;
  request.httpMethod = "POST";
  request.setValueForHTTPHeaderField("multipart/form-data; boundary=" + boundary, "Content-Type");
  qv::Error error;
  std::optional<qv::Bytes> body = prepareMutlipartBodyWithParams(params, boundary, &error);
  if (!body) {
    if (completion) completion(error, qv::Value());
    return;
  }
  request.setValueForHTTPHeaderField(std::to_string(body->size()), "Content-Length");
  request.httpBody = std::move(*body);
  // The answer alone decides: without a true "success" (also without any answer) the upload failed.
  performRequest(
      request,
      [completion = std::move(completion)](const std::optional<qv::Error>&, const qv::Value& answer) {
        if (!completion) return;
        if (!answer["success"].asBool(false)) {
          std::string message;
          if (const qv::Value* m = answer.find("message"); m && m->isString()) message = *m->string();
          completion(qv::Error(kQVNetworkErrorDomain, 102, message), answer);
        } else {
          completion(std::nullopt, answer);
        }
      },
      jsonDeserializer());
}

// Layout, all text UTF-8 with CR LF line ends:
//   for every field but "image", in key order:
//     --<boundary>\r\n
//     Content-Disposition: form-data; name="<key>"\r\n\r\n
//     <value>\r\n
//   then for the attachment, when there is one:
//     --<boundary>\r\n
//     Content-Disposition: form-data; name="<field>"; filename="<file name>"\r\n
//     Content-Type: image/*\r\n\r\n
//     <the file's bytes>\r\n
//   and at the end: --<boundary>--\r\n
std::optional<qv::Bytes> QVNetworkManager::prepareMutlipartBodyWithParams(const qv::Dictionary& params,
                                                                          const std::string& boundary,
                                                                          qv::Error* error) {
  qv::Bytes body;
  for (const auto& [key, value] : params) {
    if (key == "image") continue;
    append(body, "--" + boundary + "\r\n");
    append(body, "Content-Disposition: form-data; name=\"" + quotedParameter(key) + "\"\r\n\r\n");
    append(body, formText(value) + "\r\n");
  }
  auto image = params.find("image");
  if (image != params.end()) {
    const std::string path = image->second["imagePath"].asString();
    const std::string field = image->second["name"].asString();
    // The size is known before reading, so an oversized file is refused without loading it.
    const std::optional<uint64_t> size = path.empty() ? std::nullopt : qv::sizeForContentsAtPath(path);
    if (size && *size > kMaxAttachmentSize) {
      qv::setError(error, attachmentTooBigError());
      return std::nullopt;
    }
    // Only a regular file is an attachment: a folder has a size too, and reading it fails.
    std::error_code ec;
    const bool regular = size && std::filesystem::is_regular_file(path, ec);
    std::optional<qv::Bytes> file = regular ? qv::readFileBytes(path) : std::nullopt;
    if (!file) {
      qv::setError(error, attachmentError(qv::QVSLocalization::localizedStringForKey("Failed to read an image", "")));
      return std::nullopt;
    }
    if (file->size() > kMaxAttachmentSize) {  // grew while it was read
      qv::setError(error, attachmentTooBigError());
      return std::nullopt;
    }
    append(body, "--" + boundary + "\r\n");
    append(body, "Content-Disposition: form-data; name=\"" + quotedParameter(field) + "\"; filename=\"" +
                     quotedParameter(qv::lastPathComponent(path)) + "\"\r\n");
    append(body, "Content-Type: image/*\r\n\r\n");
    body.insert(body.end(), file->begin(), file->end());
    append(body, "\r\n");
  }
  append(body, "--" + boundary + "--\r\n");
  return body;
}
