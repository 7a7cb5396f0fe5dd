#include "SifaneExtension/ContentEditing/QVContentEditingOutput.h"

#include <filesystem>

QVContentEditingOutput::QVContentEditingOutput(const QVContentEditingInput& input) {
  std::filesystem::path stem = std::filesystem::path(input.fullSizeImagePath()).stem();
  if (stem.empty()) stem = "Photo";
  const std::filesystem::path folder(input.outputDirectory());
  renderedContentPath_ = (folder / stem).string() + ".tiff";
  adjustmentDataPath_ = (folder / stem).string() + ".json";
}
