#include "Ombrel/Classes/Business/QVImageTaskParams.h"

#include "QVPlatform/Additions.h"

std::shared_ptr<QVImageTaskParams> QVImageTaskParams::imageTaskParamsWithImagePath(std::string path, int64_t type,
                                                                                   int64_t priority) {
  auto params = std::make_shared<QVImageTaskParams>();
  params->path_ = std::move(path);
  params->type_ = type;
  params->priority_ = priority;
  params->createCacheKey();
  return params;
}

void QVImageTaskParams::createCacheKey() { cacheKey_ = qv::md5(path_) + "_" + std::to_string(uint64_t(type_)); }
