#pragma once
// What an editor hands back when an edit is finished, made from the edit's input: the adjustment
// record the editor sets, and where the editor writes the rendered photo. The host chose the
// folder (the input's output directory); the names follow the photo's: "<name>.tiff" for the
// rendering and "<name>.json" for the record, which the host writes from the output once the
// editor has handed it back.
//
// Main thread (it travels with the edit); the paths are fixed at construction.
#include <optional>
#include <string>

#include "SifaneExtension/ContentEditing/QVContentEditingInput.h"

class QVContentEditingOutput {
 public:
  explicit QVContentEditingOutput(const QVContentEditingInput& input);

  const std::optional<QVAdjustmentData>& adjustmentData() const { return adjustmentData_; }
  void setAdjustmentData(QVAdjustmentData data) { adjustmentData_ = std::move(data); }

  // "<output directory>/<photo's name without extension>.tiff".
  const std::string& renderedContentPath() const { return renderedContentPath_; }
  // The same with ".json": where the host keeps the record beside the rendering.
  const std::string& adjustmentDataPath() const { return adjustmentDataPath_; }

 private:
  std::optional<QVAdjustmentData> adjustmentData_;
  std::string renderedContentPath_;
  std::string adjustmentDataPath_;
};
