#pragma once
// The content-editing protocol between a host that owns photos and an editor that changes one:
// the host asks whether the editor can take up an earlier edit's record, starts the edit with an
// input, and either finishes it (the editor renders and hands back an output) or cancels it.
//
// Every call comes from the host on the main thread; the finish handler is called exactly once,
// on the main thread, with the output, or with none and the reason when the edit could not be
// written (the host then keeps the photo as it was).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "SifaneExtension/ContentEditing/QVContentEditingInput.h"
#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"

class QVContentEditingController {
 public:
  using CompletionHandler =
      std::function<void(std::shared_ptr<QVContentEditingOutput> output, std::optional<std::string> failure)>;

  virtual ~QVContentEditingController() = default;

  // Whether the editor can continue from that record; when it cannot, the host hands the original.
  virtual bool canHandleAdjustmentData(const QVAdjustmentData& adjustmentData) = 0;
  // The edit starts with this input; the placeholder is a picture the host may already have of
  // the photo (a path, empty when none).
  virtual void startContentEditingWithInput(const QVContentEditingInput& input,
                                            const std::string& placeholderImagePath) = 0;
  virtual void finishContentEditingWithCompletionHandler(CompletionHandler handler) = 0;
  // Whether the host asks the user before it cancels.
  virtual bool shouldShowCancelConfirmation() = 0;
  virtual void cancelContentEditing() = 0;
};
