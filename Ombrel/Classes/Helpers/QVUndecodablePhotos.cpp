#include "Ombrel/Classes/Helpers/QVUndecodablePhotos.h"

#include <algorithm>
#include <set>
#include <utility>

#include "Ombrel/Classes/Helpers/QVSolvaneAlerts.h"
#include "QVPlatform/Dispatch.h"

namespace {

// Main thread only.
struct Pending {
  std::set<std::string> paths;  // probed or waiting for the alert
  std::vector<QVUnopenableFile> files;
  int probing = 0;
  uint64_t generation = 0;  // a newer answer moves the alert on
};

Pending& pending() {
  static Pending state;
  return state;
}

void showWhenSettled() {
  Pending& state = pending();
  if (state.probing > 0) return;
  const uint64_t generation = ++state.generation;
  qv::MainExecutor::shared().asyncAfter(QVUndecodablePhotos::kGatherSeconds, [generation] {
    Pending& now = pending();
    if (now.generation != generation || now.probing > 0) return;
    const std::vector<QVUnopenableFile> files = std::exchange(now.files, {});
    now.paths.clear();
    if (!files.empty()) QVSolvaneAlerts::showAlertSourceNotAvailable(files);
  });
}

}  // namespace

int QVUndecodablePhotos::probesInFlight() { return pending().probing; }

void QVUndecodablePhotos::report(const std::string& path) {
  Pending& state = pending();
  if (!state.paths.insert(path).second) return;
  ++state.probing;
  qv::DispatchQueue::global(qv::QualityOfService::Utility)->async([path] {
    auto why = probe(path);
    qv::MainExecutor::shared().async([why = std::move(why)] {
      Pending& state = pending();
      --state.probing;
      if (why) state.files.push_back(*why);
      showWhenSettled();
    });
  });
}
