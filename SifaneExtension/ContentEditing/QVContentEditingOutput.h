#pragma once
// What an editor hands back when an edit is finished, made from the edit's input: the adjustment
// record the editor sets, and where the editor writes the rendered photo. The host chose the
// folder (the input's output directory); the names follow the photo's: "<name>.tiff" for the
// rendering and "<name>.json" for the record, which the host writes from the output once the
// editor has handed it back.
//
// Neither name ever replaces a file: the rendering and the record go into place only while their
// names are free (the photo itself may lie in the output folder under the rendering's name). When
// the record cannot be written, the host removes the rendering this edit wrote, and nothing else:
// a file that was under either name before the edit stays as it was.
//
// Main thread (it travels with the edit); the paths are fixed at construction.
#include <sys/types.h>

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

  // Which file a name held at one moment (a regular file, never followed through a link).
  struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
    // None when nothing, or something other than a regular file, is at the path.
    static std::optional<FileIdentity> of(const std::string& path);
  };

  // Whether the edit's two files can be written: the folder is a writable folder and both names
  // are free. None when they can, else the reason (a taken name says whether it is the photo).
  std::optional<std::string> checkWritable() const;

  // The host's half of finishing: the record written under its name, never over anything there.
  // When it cannot be, the rendering is removed again, but only while its name still holds
  // `rendering`, the file the editor wrote. None once both files are in place, else the reason.
  std::optional<std::string> commitAdjustmentData(const FileIdentity& rendering) const;

 private:
  std::optional<QVAdjustmentData> adjustmentData_;
  std::string photoPath_;
  std::string renderedContentPath_;
  std::string adjustmentDataPath_;
};
