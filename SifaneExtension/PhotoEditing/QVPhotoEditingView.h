#pragma once
// What the photo-editing controller asks of its view: the container that receives the
// single-image screen, and the screen's part of finishing an edit. The widget side
// (QVPhotoEditingContainerView) implements it; tests record the calls.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <string>

class QVPhotoEditingView {
 public:
  virtual ~QVPhotoEditingView() = default;
  virtual void setContainerHidden(bool hidden) = 0;
  // Embeds the single-image screen in the container, filling it, and shows the photo there (its
  // preview is processed).
  virtual void showImageController(const std::string& path) = 0;
  // 2 (exporting): the preview processing stops and the progress panel shows.
  virtual void updateWithExportState(uint64_t state) = 0;
  // The strength the user set on the screen's slider (0 the source, 1 the full enhancement).
  virtual double boostAmount() = 0;
  // Called when the shown photo's preview could not be made (the photo cannot be decoded or
  // enhanced); the screen says so and stays in its processing state.
  virtual void setPreviewFailureHandler(std::function<void()> handler) = 0;
  // The progress bar runs to its end; the completion follows once it has stopped.
  virtual void completeExportAnimation(std::function<void()> completion) = 0;
};
