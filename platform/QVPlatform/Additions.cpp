#include "QVPlatform/Additions.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <uuid/uuid.h>

#include <cctype>
#include <cmath>

namespace qv {

std::string stringWithUUID() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return text;
}

namespace {

// OpenSSL tears itself down in an exit handler, while work still queued on the worker pool may be
// computing a digest: that work would then crash inside the library. Keep it alive to the end (the
// system frees everything at exit anyway). Done when the library loads, before anything else uses
// OpenSSL (libcurl included).
const bool kCryptoKeptUntilExit = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

std::string md5Hex(const void* data, size_t length) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data, length, digest, &size, EVP_md5(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (unsigned i = 0; i < size; ++i) {
    out.push_back(hex[digest[i] >> 4]);
    out.push_back(hex[digest[i] & 15]);
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Strips trailing slashes (but keeps a lone "/").
std::string trimmedPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// Position of the dot that starts the extension of the last component, or npos.
size_t extensionDot(const std::string& p) {
  size_t slash = p.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = p.rfind('.');
  if (dot == std::string::npos || dot <= start || dot + 1 >= p.size()) return std::string::npos;
  return dot;
}

}  // namespace

std::string md5(std::string_view text) { return md5Hex(text.data(), text.size()); }
std::string md5(const Bytes& bytes) { return md5Hex(bytes.data(), bytes.size()); }

std::string trim(const std::string& s) {
  auto space = [](unsigned char c) { return std::isspace(c) != 0; };
  size_t b = 0, e = s.size();
  while (b < e && space(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && space(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lastPathComponent(const std::string& path) {
  std::string p = trimmedPath(path);
  if (p == "/") return p;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string deletingLastPathComponent(const std::string& path) {
  std::string p = trimmedPath(path);
  if (p == "/") return p;
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

std::string pathExtension(const std::string& path) {
  std::string p = trimmedPath(path);
  size_t dot = extensionDot(p);
  return dot == std::string::npos ? std::string() : p.substr(dot + 1);
}

std::string deletingPathExtension(const std::string& path) {
  std::string p = trimmedPath(path);
  size_t dot = extensionDot(p);
  return dot == std::string::npos ? p : p.substr(0, dot);
}

std::string appendingPathComponent(const std::string& path, const std::string& component) {
  if (path.empty()) return component;
  if (component.empty()) return path;
  std::string c = component;
  while (!c.empty() && c.front() == '/') c.erase(c.begin());
  return path.back() == '/' ? path + c : path + "/" + c;
}

std::string appendingPathExtension(const std::string& path, const std::string& extension) {
  if (extension.empty()) return path;
  return trimmedPath(path) + "." + extension;
}

bool isWinPath(const std::string& path) {
  if (path.find('\\') != std::string::npos) return true;
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string lastWinPathComponent(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::vector<std::string> pathsArray(const std::vector<std::string>& urlsOrPaths) {
  std::vector<std::string> out;
  out.reserve(urlsOrPaths.size());
  for (const auto& u : urlsOrPaths) {
    if (u.rfind("file://", 0) == 0)
      out.push_back(u.substr(7));
    else
      out.push_back(u);
  }
  return out;
}

std::vector<std::string> URLsArray(const std::vector<std::string>& paths) { return pathsArray(paths); }

std::optional<RGBAColor> qvColorWithCalibratedHEXString(const std::string& text) {
  std::string h = text;
  if (!h.empty() && h[0] == '#')
    h.erase(0, 1);
  else if (h.size() > 2 && h[0] == '0' && (h[1] == 'x' || h[1] == 'X'))
    h.erase(0, 2);
  if (h.size() == 3) h = std::string{h[0], h[0], h[1], h[1], h[2], h[2]};
  if (h.size() != 6 && h.size() != 8) return std::nullopt;
  int values[4] = {0, 0, 0, 255};
  for (size_t i = 0; i < h.size() / 2; ++i) {
    int hi = hexDigit(h[2 * i]), lo = hexDigit(h[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    values[i] = hi * 16 + lo;
  }
  return RGBAColor{values[0] / 255.0, values[1] / 255.0, values[2] / 255.0, values[3] / 255.0};
}

bool QVMathUtils::isFloat(double a, double b, double epsilon) { return std::fabs(a - b) <= epsilon; }

std::string QVServiceUtils::applicationName() { return "Solvane"; }
std::string QVServiceUtils::containerIdentifier() { return "group"; }

std::string QVAssistant::qvAppContainerFolderName() { return QVServiceUtils::applicationName(); }

}  // namespace qv
