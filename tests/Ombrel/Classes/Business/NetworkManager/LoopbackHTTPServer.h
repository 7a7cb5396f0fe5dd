#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for network tests: one thread accepts connections one after
// another, reads a request (headers and a Content-Length body), records it and answers with what
// the test's handler returns, then closes the connection. Nothing leaves the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace solvane::test {

struct RecordedRequest {
  std::string method;
  std::string target;                          // path and query
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

struct CannedResponse {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  bool sendLength = true;  // false: no Content-Length, the body ends when the connection closes
};

class LoopbackHTTPServer {
 public:
  using Handler = std::function<CannedResponse(const RecordedRequest&)>;

  explicit LoopbackHTTPServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }

  ~LoopbackHTTPServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

  std::vector<RecordedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd fd{listener_, POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      handle(client);
      ::close(client);
    }
  }

  void handle(int client) {
    std::string data;
    char buffer[65536];
    size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      data.append(buffer, size_t(n));
    }
    RecordedRequest request;
    const std::string head = data.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t space1 = requestLine.find(' '), space2 = requestLine.rfind(' ');
    request.method = requestLine.substr(0, space1);
    request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
      size_t end = head.find("\r\n", at);
      if (end == std::string::npos) end = head.size();
      const std::string line = head.substr(at, end - at);
      const size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        request.headers[name] = value;
      }
      at = end + 2;
    }
    const size_t length = request.headers.count("content-length") ? std::stoul(request.headers["content-length"]) : 0;
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.body.append(buffer, size_t(n));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const CannedResponse response = handler_(request);
    const std::string lengthLine =
        response.sendLength ? "\r\nContent-Length: " + std::to_string(response.body.size()) : std::string();
    std::string out = "HTTP/1.1 " + std::to_string(response.status) +
                      " Status\r\nContent-Type: " + response.contentType + lengthLine +
                      "\r\nConnection: close\r\n\r\n" + response.body;
    size_t sent = 0;
    while (sent < out.size()) {
      const ssize_t n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += size_t(n);
    }
  }

  Handler handler_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace solvane::test
