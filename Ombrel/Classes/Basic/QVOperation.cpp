#include "Ombrel/Classes/Basic/QVOperation.h"

namespace {

struct PriorityRow {
  qv::QueuePriority queuePriority;
  qv::QualityOfService qualityOfService;
};

// Processing priorities 1 to 4.
constexpr PriorityRow kPriorityTable[] = {
    {qv::QueuePriority::VeryLow, qv::QualityOfService::Background},
    {qv::QueuePriority::Normal, qv::QualityOfService::Utility},
    {qv::QueuePriority::High, qv::QualityOfService::UserInitiated},
    {qv::QueuePriority::VeryHigh, qv::QualityOfService::UserInitiated},
};

}  // namespace

void QVOperation::setProcessingPriority(int64_t priority) {
  if (processingPriority_.exchange(priority) == priority) return;
  if (priority < 1 || priority > 4) return;
  const auto& row = kPriorityTable[priority - 1];
  setQueuePriority(row.queuePriority);
  setQualityOfService(row.qualityOfService);
}
