#pragma once
// A callback operation about one source file.
#include <string>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"

class QVPathOperation : public QVCallbackOperation {
 public:
  explicit QVPathOperation(std::string sourcePath = {}) : sourcePath_(std::move(sourcePath)) {}
  static std::shared_ptr<QVPathOperation> initWithSourcePath(std::string sourcePath) {
    return std::make_shared<QVPathOperation>(std::move(sourcePath));
  }
  const std::string& sourcePath() const { return sourcePath_; }

 private:
  const std::string sourcePath_;
};
