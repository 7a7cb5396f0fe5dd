#pragma once
// The photo-library editing extension's principal controller: the editor side of the
// content-editing protocol. It shows the photo on the extension's single-image screen, where it is
// enhanced at once and its strength can be set; when the host finishes the edit it renders the
// photo at full size, writes the TIFF to the output's rendering path and hands back the output
// with the record {extension identifier, "1.0", "SolvaneExtentionAdjustData"}. Every edit starts
// from the original photo: no earlier record is taken up.
//
// Presentation happens once, when both the input is set and the view has appeared, whichever
// comes last; a second equal input changes nothing.
//
// A photo below 800 x 600 is never presented: the size alert, the event "Load image of wrong size"
// (type 0, code 1) and the end of the process with status 134 are scheduled on the main queue.
// A photo that cannot be decoded at all (not an image, empty, damaged) is not presented either,
// and its preview failing later ends the edit the same way: the failure handler gets the reason
// on the main queue, once. Neither is taken for a photo that is too small.
//
// The rendering carries the strength set on the screen's slider. The extension stores no strength
// per photo, so the strength is taken from the screen when the edit is finished.
//
// The TIFF is written whole to the output's temporary name; the host commits the edit (both
// files renamed into place, never over anything). A failed TIFF write hands back no output, with
// the reason: the host never gets "done" with a missing or partial file.
//
// Rules only: the widgets are reached through QVPhotoEditingView, the application core through
// QVPhotoEditingFacade. Main thread only; facade completions are brought to the main thread and
// dropped once the controller is gone.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "SifaneExtension/ContentEditing/QVContentEditingController.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingFacade.h"
#include "SifaneExtension/PhotoEditing/QVPhotoEditingView.h"

inline constexpr const char* kQVExtensionAdjustmentFormatVersion = "1.0";
inline constexpr const char* kQVExtensionAdjustmentData = "SolvaneExtentionAdjustData";
inline constexpr int kQVExtensionSmallPhotoStatus = 134;

class PhotoEditingViewController : public QVContentEditingController {
 public:
  static constexpr int64_t kFullSizeImageType = 2;
  static constexpr uint64_t kExportingState = 2;
  static constexpr uint64_t kDiskExportType = 0;

  // The extension's identifier: the application's bundle identifier + ".photoextension".
  static std::string extensionIdentifier();
  // The record every finished edit carries.
  static QVAdjustmentData adjustmentData();

  explicit PhotoEditingViewController(std::shared_ptr<QVPhotoEditingFacade> facade);
  ~PhotoEditingViewController() override;

  // When the extension is loaded: the engine starts before any view exists.
  static void load(QVPhotoEditingFacade& facade);

  // Not owned: the view outlives the controller or clears itself.
  void setView(QVPhotoEditingView* view) { view_ = view; }

  // Told, once, on the main thread, when the edit cannot go on: the photo cannot be decoded or its
  // preview could not be enhanced. The host ends the edit and reports the reason.
  using FailureHandler = std::function<void(const std::string& reason)>;
  void setFailureHandler(FailureHandler handler) { failureHandler_ = std::move(handler); }
  QVPhotoEditingView* view() const { return view_; }

  // Services, the two launch events, the container hidden, the launch action.
  void viewDidLoad();
  void viewWillAppear();

  const std::optional<QVContentEditingInput>& input() const { return input_; }
  void setInput(const QVContentEditingInput& input);
  bool isViewAppeared() const { return isViewAppeared_; }
  void setIsViewAppeared(bool appeared);
  bool isContentPresented() const { return isContentPresented_; }
  const std::unique_ptr<QVExportImageDatasource>& exportPathStorage() const { return exportPathStorage_; }

  // ---- Content-editing protocol ----
  bool canHandleAdjustmentData(const QVAdjustmentData&) override { return false; }
  void startContentEditingWithInput(const QVContentEditingInput& input, const std::string&) override {
    setInput(input);
  }
  void finishContentEditingWithCompletionHandler(CompletionHandler handler) override;
  bool shouldShowCancelConfirmation() override { return false; }
  void cancelContentEditing() override { finishEditing(); }

  void performPresentationCheck();
  void presentContent();
  void finishEditing();

 private:
  void finishWithImage(const std::string& path, NSImageRef image, CompletionHandler handler);
  void writeOutput(const std::string& path, NSImageRef image, CompletionHandler handler);
  // Hands the reason to the failure handler on the main queue, once per edit.
  void reportFailure(const std::string& reason);

  std::shared_ptr<QVPhotoEditingFacade> facade_;
  QVPhotoEditingView* view_ = nullptr;
  std::optional<QVContentEditingInput> input_;
  std::unique_ptr<QVExportImageDatasource> exportPathStorage_;
  bool isViewAppeared_ = false;
  bool isContentPresented_ = false;
  FailureHandler failureHandler_;
  bool failureReported_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
