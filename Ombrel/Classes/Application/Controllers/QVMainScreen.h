#pragma once
// What the main window controller asks of each of its screens (the open screen, the single image,
// the gallery), and what a screen may ask of the controller back. The controller switches modes
// only through this interface; mode-specific drag and drop rules live in the screens.
//
// Main thread only.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"

class QVMainScreen;
class QVOverlayedViewController;
class QVExportContainerAnimatable;
class QVExportImageDatasource;

// The controller as a screen sees it.
class QVMainScreenHost {
 public:
  virtual ~QVMainScreenHost() = default;
  // Validates the paths and adds the valid ones to the open list; returns the valid ones.
  virtual std::vector<std::string> updatePaths(const std::vector<std::string>& paths) = 0;
  // Drops the open list and makes a new one of the valid paths; returns those.
  virtual std::vector<std::string> replacePaths(const std::vector<std::string>& paths) = 0;
  virtual std::vector<std::string> imagePaths() const = 0;
  virtual bool isPluginMode() const = 0;
  // The files leave the open screen: validated, then the transition to the mode of the new count.
  virtual void handleTransitionFromOpenViewWithPaths(const std::vector<std::string>& paths) = 0;
  // Starts the transition from the current mode to `to` unless one runs; `done` gets its end screen.
  virtual void beginTransition(int64_t to, std::function<void(QVMainScreen* end)> done) = 0;
  // The running transition's end becomes the current screen in mode `to`.
  virtual void finishTransition(int64_t to, std::function<void(QVMainScreen* end)> prepare) = 0;
  virtual void cancelTransition() = 0;
  // The path list (it keeps the photo a transition animates).
  virtual QVExportImageDatasource* exportPathStorage() const = 0;
  virtual void startOver() = 0;
  // The close and start-over alert; true when the window may close.
  virtual bool closeSessionsWithAlert(bool showQuitButton, bool showCancelButton) = 0;
  // The gallery leaves for its one photo; `animationCompletion` runs once it shows.
  virtual void galleryDidLeaveASingleImageWithPath(const std::string& path,
                                                   std::function<void()> animationCompletion) = 0;
};

class QVMainScreen {
 public:
  virtual ~QVMainScreen() = default;
  // 0 open screen, 1 single image, 2 gallery.
  virtual int64_t mode() const = 0;
  virtual QWidget* view() = 0;
  // Put into the window, and about to leave it.
  virtual void enter() {}
  virtual void leave() {}
  // The window changed its size or shape.
  virtual void layOut() {}

  // A drag over the window: `ready` runs when the screen shows what a drop would do.
  virtual void dragEntered(const std::vector<std::string>& paths, bool replaceKey, std::function<void()> ready) {
    if (ready) ready();
  }
  virtual void dragMoved(CGPoint) {}
  virtual void dragExited(const std::vector<std::string>&) {}
  virtual void acceptDrop(const std::vector<std::string>& paths) = 0;
  // Still busy with what was dragged or dropped on it (the open screen while it puts the photo up
  // blurred): a drop the program makes itself waits until this is false.
  virtual bool isTakingDrop() { return false; }

  // What export may do now: non-zero while the screen exports.
  virtual uint64_t exportState() { return 0; }
  // Asks the screen's export panel to export every open photo; false when the screen has none.
  virtual bool exportWithExportType(uint64_t) { return false; }
  // The window is about to close or start over.
  virtual void willPrepareToHideWindow() {}
  // The Start Over command while a window of the screen's own is in front (the gallery's quick
  // preview): the screen answers it its own way and says true; false leaves it to the controller.
  virtual bool startOverFromOwnWindow() { return false; }
  // The screen's overlay for the open panel, when it has one.
  virtual QVOverlayedViewController* overlayed() { return nullptr; }
  // The top inset sheets are moved down by (beyond the title bar).
  virtual double sheetTopInset() { return 0; }
  // The screen as the animated transitions see it; none takes no part in them.
  virtual QVExportContainerAnimatable* animatable() { return nullptr; }
};

// Makes the screen of a mode (none for other modes).
using QVMainScreenMaker = std::function<std::unique_ptr<QVMainScreen>(int64_t mode)>;

// One animated change of screen. The end screen is made when the transition starts (or handed in).
class QVScreenTransition {
 public:
  virtual ~QVScreenTransition() = default;
  virtual int64_t from() const = 0;
  virtual int64_t to() const = 0;
  virtual QVMainScreen* endScreen() = 0;
  // Hands the end screen over (to become the current one).
  virtual std::unique_ptr<QVMainScreen> takeEndScreen() = 0;
  virtual void animateTransition(std::function<void(QVMainScreen* end)> completion) = 0;
  // Back to the start screen as it was.
  virtual void cancelTransition() = 0;
  virtual void finishTransition() = 0;
  // Whether the transition gave the window the end mode's shape itself.
  virtual bool shapesWindow() const { return false; }
};

// The transitions by (from, to); a pair with no entry changes at once.
class QVScreenTransitions {
 public:
  using Maker =
      std::function<std::unique_ptr<QVScreenTransition>(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end)>;
  static void setMaker(int64_t from, int64_t to, Maker maker);
  static void resetMakers();
  // `end` is made with `screens` when not handed in.
  static std::unique_ptr<QVScreenTransition> make(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                                                  const QVMainScreenMaker& screens);
};

// Completes at once: the end screen is ready as soon as it is made.
class QVImmediateScreenTransition : public QVScreenTransition {
 public:
  QVImmediateScreenTransition(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end)
      : from_(from), to_(to), end_(std::move(end)) {}
  int64_t from() const override { return from_; }
  int64_t to() const override { return to_; }
  QVMainScreen* endScreen() override { return end_.get(); }
  std::unique_ptr<QVMainScreen> takeEndScreen() override { return std::move(end_); }
  void animateTransition(std::function<void(QVMainScreen* end)> completion) override {
    if (completion) completion(end_.get());
  }
  void cancelTransition() override {}
  void finishTransition() override {}

 private:
  int64_t from_, to_;
  std::unique_ptr<QVMainScreen> end_;
};
