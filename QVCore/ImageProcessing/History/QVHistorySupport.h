#pragma once
// The few services the edit history needs from its surroundings, in one place: the main
// thread, notifications, localisation, and the file helpers shared by its source files.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

namespace qvhistory {

bool isMainThread();
// Runs `work` on the main thread in a later pass of its loop.
void runOnNextMainPass(std::function<void()> work);
// Runs `work` on the global queue of default priority.
void runInBackground(std::function<void()> work);
// Posts on the default centre; with a shared object it travels with the notification, else only
// the sender's address does.
void postNotification(const std::string& name, std::shared_ptr<void> object, const void* sender,
                      qv::Dictionary userInfo);
std::string localized(const std::string& key);

// A file or folder name that stays inside the folder it is joined to: not empty, no "/", "\"
// or "..", no NUL.
bool isSafeFileName(const std::string& name);
// "<folder>/<name>".
std::string joinPath(const std::string& folder, const std::string& name);
// True when `path` is `folder` or lies below it (a plain prefix test on whole components).
bool isPathInside(const std::string& path, const std::string& folder);
// The names of the entries of a folder; nullopt (and the system's message in *error) when it
// cannot be listed.
std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& folder, std::string* error);
bool copyFile(const std::string& from, const std::string& to);
bool fileExists(const std::string& path);
// The summed size of every regular file below `folder`.
double sizeOfFolder(const std::string& folder);
// True when the bytes are valid UTF-8.
bool isValidUTF8(const std::string& text);
// Every occurrence of `from` replaced by `to`, scanning left to right (an empty `from` changes nothing).
std::string replacingOccurrences(const std::string& text, const std::string& from, const std::string& to);
std::vector<std::string> componentsSeparatedBy(const std::string& text, const std::string& separator);
std::string trimmed(const std::string& text);

}  // namespace qvhistory
