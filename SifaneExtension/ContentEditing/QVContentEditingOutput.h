#pragma once
// What an editor hands back when an edit is finished, made from the edit's input: the adjustment
// record the editor sets, and where the editor writes the rendered photo. The host chose the
// folder (the input's output directory); the names follow the photo's: "<name>.tiff" for the
// rendering and "<name>.json" for the record.
//
// An edit is one commit. The editor writes the rendering whole to a temporary file
// (`renderingTemporaryPath`, a hidden name in the output folder); the host then `commit`s: the
// record is written whole to its own temporary, and only then are both renamed to their names,
// the record first and the rendering last (its appearance marks a finished edit). Neither rename
// ever replaces anything (the photo itself may lie in the output folder under the rendering's
// name). Any failure removes what this edit created, and nothing else: a file that was under
// either name before the edit stays as it was. A host that does not commit calls `discard`.
//
// The temporary names are fixed per process and input ("." + name + ".tiff." + a random token of
// the process + ".part"), so a host can clean them up when it is killed before the commit.
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
  // Where the editor writes the rendering (only while the name is free) before the commit.
  const std::string& renderingTemporaryPath() const { return renderingTemporaryPath_; }
  // Where the record is written before the commit renames it.
  const std::string& recordTemporaryPath() const { return recordTemporaryPath_; }

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

  // The host's half of finishing: the record to its temporary, then both renames, never over
  // anything. None once both files are in place under their names, else the reason (and nothing
  // of this edit is left).
  std::optional<std::string> commit() const;
  // Removes this edit's temporary files (those that are regular files).
  void discard() const;

 private:
  std::optional<QVAdjustmentData> adjustmentData_;
  std::string photoPath_;
  std::string renderedContentPath_;
  std::string adjustmentDataPath_;
  std::string renderingTemporaryPath_;
  std::string recordTemporaryPath_;
};
