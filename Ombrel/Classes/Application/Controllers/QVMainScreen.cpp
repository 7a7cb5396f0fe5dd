#include "Ombrel/Classes/Application/Controllers/QVMainScreen.h"

#include <map>
#include <utility>

namespace {
std::map<std::pair<int64_t, int64_t>, QVScreenTransitions::Maker>& makers() {
  static std::map<std::pair<int64_t, int64_t>, QVScreenTransitions::Maker> table;
  return table;
}
}  // namespace

void QVScreenTransitions::setMaker(int64_t from, int64_t to, Maker maker) { makers()[{from, to}] = std::move(maker); }

void QVScreenTransitions::resetMakers() { makers().clear(); }

std::unique_ptr<QVScreenTransition> QVScreenTransitions::make(int64_t from, int64_t to,
                                                              std::unique_ptr<QVMainScreen> end,
                                                              const QVMainScreenMaker& screens) {
  if (!end && screens) end = screens(to);
  auto it = makers().find({from, to});
  if (it != makers().end() && it->second) return it->second(from, to, std::move(end));
  return std::make_unique<QVImmediateScreenTransition>(from, to, std::move(end));
}
