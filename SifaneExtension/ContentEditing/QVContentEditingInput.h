#pragma once
// What a host hands an editor to start one edit: the full-size photo to edit, the record of the
// photo's last edit when there is one (the editor may refuse it, and then edits the original), and
// the folder where the host collects what the edit returns.
//
// A value type; any thread.
#include <optional>
#include <string>

#include "SifaneExtension/ContentEditing/QVAdjustmentData.h"

class QVContentEditingInput {
 public:
  QVContentEditingInput(std::string fullSizeImagePath, std::optional<QVAdjustmentData> adjustmentData,
                        std::string outputDirectory)
      : fullSizeImagePath_(std::move(fullSizeImagePath)),
        adjustmentData_(std::move(adjustmentData)),
        outputDirectory_(std::move(outputDirectory)) {}

  const std::string& fullSizeImagePath() const { return fullSizeImagePath_; }
  const std::optional<QVAdjustmentData>& adjustmentData() const { return adjustmentData_; }
  const std::string& outputDirectory() const { return outputDirectory_; }

  bool operator==(const QVContentEditingInput&) const = default;

 private:
  std::string fullSizeImagePath_;
  std::optional<QVAdjustmentData> adjustmentData_;
  std::string outputDirectory_;
};
