#include "QVCore/ImageProcessing/History/QVHistorySupport.h"

#include <cctype>
#include <filesystem>

#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

namespace fs = std::filesystem;

namespace qvhistory {

bool isMainThread() { return qv::MainExecutor::shared().isMainThread(); }

void runOnNextMainPass(std::function<void()> work) { qv::MainExecutor::shared().async(std::move(work)); }

void runInBackground(std::function<void()> work) { qv::DispatchQueue::global()->async(std::move(work)); }

void postNotification(const std::string& name, std::shared_ptr<void> object, const void* sender,
                      qv::Dictionary userInfo) {
  if (object)
    qv::NotificationCenter::defaultCenter().post(name, std::move(object), std::move(userInfo));
  else
    qv::NotificationCenter::defaultCenter().postWithSender(name, sender, std::move(userInfo));
}

std::string localized(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

bool isSafeFileName(const std::string& name) {
  return !name.empty() && name != "." && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool isPathInside(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '/' || folder.back() == '/';
}

std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) {
    if (error) *error = ec.message();
    return std::nullopt;
  }
  return names;
}

bool copyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

double sizeOfFolder(const std::string& folder) {
  std::error_code ec;
  double size = 0;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileError;
    if (it->is_regular_file(fileError)) {
      auto bytes = it->file_size(fileError);
      if (!fileError) size += double(bytes);
    }
  }
  return size;
}

bool isValidUTF8(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= n) return false;
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values above the last code point are not UTF-8.
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += extra + 1;
  }
  return true;
}

std::string replacingOccurrences(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t start = 0;
  for (size_t pos; (pos = text.find(from, start)) != std::string::npos; start = pos + from.size()) {
    out.append(text, start, pos - start);
    out += to;
  }
  out.append(text, start, std::string::npos);
  return out;
}

std::vector<std::string> componentsSeparatedBy(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  if (separator.empty()) return {text};
  size_t start = 0;
  for (size_t pos; (pos = text.find(separator, start)) != std::string::npos; start = pos + separator.size())
    parts.push_back(text.substr(start, pos - start));
  parts.push_back(text.substr(start));
  return parts;
}

std::string trimmed(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

}  // namespace qvhistory
