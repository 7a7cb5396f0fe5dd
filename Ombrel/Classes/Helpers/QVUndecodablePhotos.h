#pragma once
// Photos that passed the checks on opening (their header reads) but whose picture failed to load
// on a screen that shows them: a cut-off or damaged file. Each reported photo is decoded again on a
// background queue to learn why; those that really do not decode are named, each with the
// decoder's words, in one source-not-available alert once every probe in flight has answered and
// a moment has passed without another (the failures of a screenful of photos come together).
//
// `report` on the main thread; the alert comes on the main executor.
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Helpers/QVImageHelpers.h"

class QVUndecodablePhotos {
 public:
  // How long the alert waits for more failures after the last probe answered.
  static constexpr double kGatherSeconds = 0.3;

  // A photo whose picture failed to load. A photo already waiting for its alert is not probed again.
  static void report(const std::string& path);
  // Photos being decoded again now.
  static int probesInFlight();
  // The probe, for tests and for screens that want the reason at once: none when the picture
  // decodes. Not for the main thread.
  static std::optional<QVUnopenableFile> probe(const std::string& path) {
    return QVImageHelpers::whyImageCannotDecode(path);
  }
};
