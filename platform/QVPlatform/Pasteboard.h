#pragma once
// Named pasteboards inside this process: a document copies a mask to the pasteboard named after
// it and pastes it back from there. A pasteboard holds one item of typed byte strings at a time;
// writing after `clearContents` replaces the previous item. Pasteboards of one name are one
// object for the life of the process. Thread-safe. Not shared with other programs (no system
// clipboard on this platform layer).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

class Pasteboard {
 public:
  using Data = std::vector<uint8_t>;

  // The pasteboard of the name, made on first use; nullptr for an empty name.
  static std::shared_ptr<Pasteboard> pasteboardWithName(const std::string& name);
  // Forgets the pasteboard of the name (its contents go with it).
  static void releaseGlobally(const std::string& name);

  const std::string& name() const { return name_; }
  // Empties the item; returns the new change count.
  int64_t clearContents();
  // Puts the data under the type; false for an empty type.
  bool setData(Data data, const std::string& type);
  // The data under the type; nullopt when there is none.
  std::optional<Data> dataForType(const std::string& type) const;
  bool canReadType(const std::string& type) const { return dataForType(type).has_value(); }
  std::vector<std::string> types() const;
  // Raised by every clear.
  int64_t changeCount() const;

  explicit Pasteboard(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Data> items_;
  int64_t changeCount_ = 0;
};

}  // namespace qv
