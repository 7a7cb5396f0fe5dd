#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"

void QVPerformOnProcessingQueue(const std::shared_ptr<qv::OperationQueue>& queue, qv::Block block) {
  if (!block) return;
  if (!queue || qv::OperationQueue::currentQueue() == queue) {
    block();
    return;
  }
  queue->addOperationWithBlock(std::move(block));
}
