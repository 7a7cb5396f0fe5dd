#pragma once
// The base of the application core's operations: an operation with a processing priority (1 to 4)
// that sets its queue priority and quality of service:
//   1 very low / background, 2 normal / utility, 3 high / user-initiated, 4 very high /
//   user-initiated. Any other number is kept and changes nothing else; setting the number the
//   operation already has does nothing.
#include <atomic>
#include <cstdint>
#include <memory>

#include "QVPlatform/OperationQueue.h"

class QVOperation : public qv::Operation {
 public:
  int64_t processingPriority() const { return processingPriority_.load(); }
  void setProcessingPriority(int64_t priority);

 private:
  std::atomic<int64_t> processingPriority_{0};
};
