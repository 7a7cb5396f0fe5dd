#include "Ombrel/Classes/Business/NetworkManager/QVURLSession.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct Transfer {
  QVURLRequest request;
  std::function<void(QVURLResponse)> completion;
  QVURLResponse response;
  curl_slist* headerList = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
  bool tooLarge = false;
};

// Keeps the answer's bytes up to the request's maximum; past it the transfer is stopped.
size_t appendData(char* bytes, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  qv::Bytes& data = transfer->response.data;
  const size_t n = size * count;
  if (n > transfer->request.maximumResponseBytes -
              std::min<uint64_t>(data.size(), transfer->request.maximumResponseBytes)) {
    transfer->tooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  data.insert(data.end(), reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + n);
  return n;
}

// The URL loading system's codes for the failures callers tell apart.
int64_t urlErrorCode(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return -1001;  // timed out
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return -1000;  // bad URL
    case CURLE_COULDNT_RESOLVE_HOST:
      return -1003;  // cannot find host
    case CURLE_COULDNT_CONNECT:
      return -1004;  // cannot connect to host
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return -1005;  // connection lost
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
      return -1200;  // secure connection failed
    default:
      return -1;  // unknown
  }
}

}  // namespace

void QVURLRequest::setValueForHTTPHeaderField(const std::string& value, const std::string& field) {
  for (auto& [name, v] : headers) {
    if (strcasecmp(name.c_str(), field.c_str()) == 0) {
      v = value;
      return;
    }
  }
  headers.emplace_back(field, value);
}

std::optional<std::string> QVURLRequest::valueForHTTPHeaderField(const std::string& field) const {
  for (const auto& [name, v] : headers) {
    if (strcasecmp(name.c_str(), field.c_str()) == 0) return v;
  }
  return std::nullopt;
}

struct QVURLSession::State {
  std::mutex mutex;
  std::deque<std::unique_ptr<Transfer>> incoming;
  CURLM* multi = nullptr;
  std::map<CURL*, std::unique_ptr<Transfer>> running;

  void start(std::unique_ptr<Transfer> transfer) {
    CURL* easy = curl_easy_init();
    if (!easy) {
      QVURLResponse failed;
      failed.error = qv::Error("NSURLErrorDomain", -1, "The transfer could not be made.");
      transfer->completion(std::move(failed));
      return;
    }
    const QVURLRequest& r = transfer->request;
    curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    // An answer announced larger than the maximum is refused before its body comes.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     curl_off_t(std::min<uint64_t>(r.maximumResponseBytes, INT64_MAX)));
    // The time-out is an idle limit, as the system's is: connecting, or moving no byte at all
    // for that long, fails; a long upload that keeps moving does not.
    const long timeoutMs = long(r.timeoutInterval * 1000);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, long(r.timeoutInterval)));
    if (r.httpMethod == "GET") {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
      if (r.httpMethod == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
      } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.httpMethod.c_str());
      }
      static const uint8_t kNothing = 0;
      const uint8_t* body = r.httpBody && !r.httpBody->empty() ? r.httpBody->data() : &kNothing;
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.httpBody ? r.httpBody->size() : 0));
    }
    // Without this, curl holds back bodies over 1 MB waiting for a "100 Continue" answer.
    transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    for (const auto& [name, value] : r.headers) {
      std::string line = name + ": " + value;
      // A header line must stay one line.
      if (line.find_first_of("\r\n") != std::string::npos) continue;
      transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);
    curl_multi_add_handle(multi, easy);
    running.emplace(easy, std::move(transfer));
  }

  void finish(CURL* easy, CURLcode result) {
    auto it = running.find(easy);
    if (it == running.end()) return;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    running.erase(it);
    curl_multi_remove_handle(multi, easy);
    if (transfer->tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
      transfer->response.error =
          qv::Error("NSURLErrorDomain", -1103,
                    "The answer is larger than " + std::to_string(transfer->request.maximumResponseBytes) + " bytes.");
      transfer->response.data = {};
    } else if (result != CURLE_OK) {
      std::string text = transfer->errorText[0] ? transfer->errorText : curl_easy_strerror(result);
      transfer->response.error = qv::Error("NSURLErrorDomain", urlErrorCode(result), text);
      transfer->response.data.clear();
    } else {
      long status = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      transfer->response.isHTTP = true;
      transfer->response.statusCode = status;
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(transfer->headerList);
    transfer->headerList = nullptr;
    transfer->completion(std::move(transfer->response));
  }

  void loop() {
    for (;;) {
      std::deque<std::unique_ptr<Transfer>> starting;
      {
        std::lock_guard lock(mutex);
        starting.swap(incoming);
      }
      for (auto& t : starting) start(std::move(t));
      int stillRunning = 0;
      curl_multi_perform(multi, &stillRunning);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE) finish(message->easy_handle, message->data.result);
      }
      curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
  }
};

QVURLSession& QVURLSession::shared() {
  // Made once and never destroyed: its thread serves transfers until the process ends.
  static QVURLSession* session = new QVURLSession();
  return *session;
}

QVURLSession::QVURLSession() : state_(std::make_shared<State>()) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  state_->multi = curl_multi_init();
  std::thread([state = state_] { state->loop(); }).detach();
}

void QVURLSession::dataTask(QVURLRequest request, std::function<void(QVURLResponse)> completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  {
    std::lock_guard lock(state_->mutex);
    state_->incoming.push_back(std::move(transfer));
  }
  curl_multi_wakeup(state_->multi);
}
