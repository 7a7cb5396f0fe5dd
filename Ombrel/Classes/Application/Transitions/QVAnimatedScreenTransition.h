#pragma once
// A change of screen of the main window that animates: the window controller's transition
// (QVScreenTransition) run by the driver of the screen transitions (QVExportAnimationHelper). It
// owns the end screen until the window controller takes it, answers the driver's questions from
// what the window controller hands in (the start screen, the content container, the open paths,
// the first photo's size) and loads the flying cells' thumbnails through the gallery's services.
//
// Dropping it while its driver reports (the window controller does so in the completion) is safe:
// the driver then goes on the main executor. A cancel keeps running while the transition lives.
//
// Main thread only.
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVMainScreen.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationHelper.h"

class QVAnimatedScreenTransition : public QVScreenTransition {
 public:
  struct Context {
    QVMainScreen* start = nullptr;
    QWidget* container = nullptr;
    std::vector<std::string> paths;
    std::optional<CGSize> imageSize;
  };
  QVAnimatedScreenTransition(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end, Context context);
  ~QVAnimatedScreenTransition() override;

  int64_t from() const override { return from_; }
  int64_t to() const override { return to_; }
  QVMainScreen* endScreen() override { return state_->endRaw; }
  std::unique_ptr<QVMainScreen> takeEndScreen() override { return std::move(state_->end); }
  // Either screen without a part in the transitions completes at once.
  void animateTransition(std::function<void(QVMainScreen* end)> completion) override;
  void cancelTransition() override;
  void finishTransition() override;
  // Out of and back to the open screen the window takes its new shape during the motion.
  bool shapesWindow() const override { return state_->helper && (from_ == 0 || to_ == 0); }

  QVExportAnimationHelper* helper() const { return state_->helper.get(); }

 private:
  struct State : QVExportWindowControllable {
    Context context;
    std::unique_ptr<QVMainScreen> end;
    QVMainScreen* endRaw = nullptr;
    QPointer<QWidget> container;
    // Declared last: it goes before the end screen it animates.
    std::unique_ptr<QVExportAnimationHelper> helper;

    QVExportContainerAnimatable* currentVC() override;
    QVExportContainerAnimatable* viewControllerForMode(int64_t) override;
    QWidget* contentContainer() override { return container; }
    std::optional<CGSize> firstImageSize() override { return context.imageSize; }
    std::vector<std::string> tempAnimationPaths() override { return context.paths; }
    void loadThumbnail(const std::string& path, std::function<void(QImage)> done) override;
    // The shell's image cell showing the picture of the path one of the two screens holds (the
    // gallery's thumbnail first, else the single image's); none when neither has one.
    std::unique_ptr<QWidget> createImageCell(const std::string& path) override;
  };

  int64_t from_, to_;
  std::shared_ptr<State> state_;
};
