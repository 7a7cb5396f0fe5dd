#pragma once
// Fakes the open screen's tests share: the services (image checks, blurred images, the panel) and
// the source list's validation, with small files made in a temporary folder.
#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

namespace openscreen_test {

using Paths = std::vector<std::string>;

// Moves both manual clocks (the main queue's and the animation driver's) so springs, fades and
// delayed blocks end.
inline void settle(double seconds = 4) {
  for (int i = 0; i < int(seconds * 10); ++i) {
    qv::MainExecutor::shared().advance(0.1);
    QVAnimationDriver::shared().advance(0.1);
  }
  qv::MainExecutor::shared().runUntilIdle();
}

inline NSImageRef smallImage() {
  QImage image(24, 16, QImage::Format_RGB32);
  image.fill(QColor(40, 60, 90));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return NSImage::imageWithData(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

class FakeServices : public QVOpenScreenServices {
 public:
  bool validateImageAtPath(const std::string& path) override { return path.find("broken") == std::string::npos; }
  // Answers at once unless `holdBlurs` keeps the answers for the test to release.
  void loadBlurredImageAtPath(const std::string& path, std::function<void(NSImageRef)> completion) override {
    requested.push_back(path);
    if (holdBlurs) {
      held.push_back([completion] { completion(smallImage()); });
    } else {
      completion(smallImage());
    }
  }
  void showChooseFilesPanel(std::function<void(const std::optional<Paths>&)> handler) override {
    ++panels;
    panelHandler = std::move(handler);
  }
  void setAppLaunched() override { ++launched; }

  bool holdBlurs = false;
  std::vector<std::function<void()>> held;
  Paths requested;
  int panels = 0;
  int launched = 0;
  std::function<void(const std::optional<Paths>&)> panelHandler;
};

class FakeSourceList : public QVExportImageSourceList {
 public:
  Paths imagesPaths() const override { return remaining; }
  void setImagesPaths(const Paths&, bool) override {}
  void addImageWithPaths(const Paths&) override {}
  Paths validatedFilenames(const Paths& paths) const override {
    ++validations;
    Paths valid;
    if (rejectAll) return valid;
    for (const auto& p : paths) {
      if (p.find("small") == std::string::npos) valid.push_back(p);
    }
    return valid;
  }
  mutable int validations = 0;
  bool rejectAll = false;
  // What the source list holds after a deletion.
  Paths remaining;
};

}  // namespace openscreen_test
