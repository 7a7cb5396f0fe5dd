#pragma once
// An image request: which file, which rendition (image type: 0 thumbnail, 1 preview, 2 full size)
// and how urgent (processing priority 1 to 4), with the effect presets whose layers are rendered,
// an optional lens-correction preset rendered first, and an optional export preset whose resizing
// and colour space apply.
//
// Its cache key is "<md5 of the path>_<type>" (plus "_<resizing value>" when the export preset's
// resizing has a value), computed when the record is made; changing path, type or export preset
// afterwards keeps the old key until `createCacheKey`. Two records are equal when their keys are
// equal and not empty; priority and presets take no part.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QVPreset;
class QVBatchPreset;

// The requestable image types, in order: thumbnail, preview, full size. Type 3 names the
// lens-corrected preview in the cache only.
inline constexpr int64_t QVImageTypesAll[] = {0, 1, 2};

class QVImageTaskParams {
 public:
  static std::shared_ptr<QVImageTaskParams> imageTaskParamsWithImagePath(std::string path, int64_t type,
                                                                         int64_t priority,
                                                                         std::shared_ptr<QVBatchPreset> batchPreset);
  static std::shared_ptr<QVImageTaskParams> imageTaskParamsWithImagePath(std::string path, int64_t type,
                                                                         int64_t priority) {
    return imageTaskParamsWithImagePath(std::move(path), type, priority, nullptr);
  }
  // A new record from path, type, priority and export preset (with its own fresh key), carrying
  // this record's effect presets and lens-correction preset.
  std::shared_ptr<QVImageTaskParams> copy() const;

  const std::string& cacheKey() const { return cacheKey_; }
  void createCacheKey();
  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  int64_t type() const { return type_; }
  void setType(int64_t type) { type_ = type; }
  int64_t priority() const { return priority_; }
  void setPriority(int64_t priority) { priority_ = priority; }
  const std::shared_ptr<QVPreset>& lensCorrectionPreset() const { return lensCorrectionPreset_; }
  void setLensCorrectionPreset(std::shared_ptr<QVPreset> preset) { lensCorrectionPreset_ = std::move(preset); }
  const std::shared_ptr<QVBatchPreset>& batchPreset() const { return batchPreset_; }
  void setBatchPreset(std::shared_ptr<QVBatchPreset> preset) { batchPreset_ = std::move(preset); }
  // Whether the task hands back the source picture beside the processed one (the default). An
  // export at full strength never blends the source in and goes without it: its bitmap is a pass
  // over every pixel. Such a task never joins one that keeps it (its key differs).
  bool keepsOriginal() const { return keepsOriginal_; }
  void setKeepsOriginal(bool keeps) {
    keepsOriginal_ = keeps;
    createCacheKey();
  }
  // The bits a sample the export's file is written at (8 or 16); 0, the default, takes the export
  // preset's (16 only for a TIFF preset of 16 bits). The render is made at that depth, so a 16-bit
  // file holds the rendering's own 16-bit samples. A 16-bit task never joins an 8-bit one.
  int renderDepth() const { return renderDepth_; }
  void setRenderDepth(int depth) {
    renderDepth_ = depth;
    createCacheKey();
  }
  std::vector<std::shared_ptr<QVPreset>>& effectsPresets() { return effectsPresets_; }
  const std::vector<std::shared_ptr<QVPreset>>& effectsPresets() const { return effectsPresets_; }

  bool isEqual(const QVImageTaskParams& other) const;

 private:
  std::string cacheKey_;
  std::string path_;
  int64_t type_ = 0;
  int64_t priority_ = 0;
  bool keepsOriginal_ = true;
  int renderDepth_ = 0;
  std::shared_ptr<QVPreset> lensCorrectionPreset_;
  std::shared_ptr<QVBatchPreset> batchPreset_;
  std::vector<std::shared_ptr<QVPreset>> effectsPresets_;
};
