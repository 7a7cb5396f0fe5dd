#pragma once
// An image request: which file, which rendition (image type: 0 thumbnail, 1 preview, 2 full size)
// and how urgent (processing priority 1 to 4). Its cache key is "<md5 of the path>_<type>",
// computed when the record is made (`createCacheKey` computes it again).
//
// This is the part of the request the operations read; presets and the batch preset join it with
// the task managers.
#include <cstdint>
#include <memory>
#include <string>

class QVImageTaskParams {
 public:
  static std::shared_ptr<QVImageTaskParams> imageTaskParamsWithImagePath(std::string path, int64_t type,
                                                                         int64_t priority);

  const std::string& cacheKey() const { return cacheKey_; }
  void createCacheKey();
  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  int64_t type() const { return type_; }
  void setType(int64_t type) { type_ = type; }
  int64_t priority() const { return priority_; }
  void setPriority(int64_t priority) { priority_ = priority; }

 private:
  std::string cacheKey_;
  std::string path_;
  int64_t type_ = 0;
  int64_t priority_ = 0;
};
