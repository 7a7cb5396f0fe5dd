#include "QVPlatform/Pasteboard.h"

#include <map>

namespace qv {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Pasteboard>> boards;
};

Registry& registry() {
  static Registry* r = new Registry;  // outlives static destructors that may still copy or paste
  return *r;
}

}  // namespace

std::shared_ptr<Pasteboard> Pasteboard::pasteboardWithName(const std::string& name) {
  if (name.empty()) return nullptr;
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto& board = r.boards[name];
  if (!board) board = std::make_shared<Pasteboard>(name);
  return board;
}

void Pasteboard::releaseGlobally(const std::string& name) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.boards.erase(name);
}

int64_t Pasteboard::clearContents() {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.clear();
  return ++changeCount_;
}

bool Pasteboard::setData(Data data, const std::string& type) {
  if (type.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  items_[type] = std::move(data);
  return true;
}

std::optional<Pasteboard::Data> Pasteboard::dataForType(const std::string& type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = items_.find(type);
  if (it == items_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> Pasteboard::types() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [type, data] : items_) out.push_back(type);
  return out;
}

int64_t Pasteboard::changeCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return changeCount_;
}

}  // namespace qv
