#include "Ombrel/Classes/Business/QVImageTaskOperation.h"

#include <cstdio>

#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Services/QVCoreInjectorService.h"

QVImageTaskOperation::QVImageTaskOperation(std::shared_ptr<QVImageTaskParams> params) : params_(std::move(params)) {
  if (params_) setProcessingPriority(params_->priority());
}

std::shared_ptr<QVRovaProcessor> QVImageTaskOperation::processor() {
  std::lock_guard guard(processorMutex_);
  if (!processor_) {
    processor_ = QVCoreInjectorService::makeInstance<QVCoreProtocol::QVImageProcessorProtocol>();
    if (processor_) {
      processor_->setNotify(false);
      // The operation's thread drives this processor's model (it installs the task's layers right
      // after the load): the engine's update must not reach that model from the main thread.
      processor_->setUpdatesModelOnMainThread(false);
      processor_->setLocalCacheDisabled(true);
      processor_->setProcessorCacheEnabled(false);
      // A task's processor serves one size: a preview or a resized export decodes the file no
      // larger than that size needs.
      processor_->setReducedReadForFitSize(true);
    }
  }
  return processor_;
}

void QVImageTaskOperation::cancel() {
  // Marked cancelled before the processor's work stops: a load or render stopped here answers with
  // nothing and wakes `main()`, which must then see the cancel, not a picture that failed; else the
  // task would end as done with no image and run its callbacks.
  QVSyncOperation::cancel();
  // An operation that never started has no processor to stop, and is not given one.
  std::shared_ptr<QVRovaProcessor> running;
  {
    std::lock_guard guard(processorMutex_);
    running = processor_;
  }
  if (running) running->cancelProcessingQueue();
}

void QVImageTaskOperation::main() {
  {
    std::lock_guard guard(processorMutex_);
    processor_.reset();
  }
  QVSyncOperation::main();
}

std::string QVImageTaskOperation::description() const {
  char address[64];
  std::snprintf(address, sizeof address, "<QVImageTaskOperation: %p>", static_cast<const void*>(this));
  std::string text = address;
  text += " name: " + (params_ ? params_->path() : std::string("(null)"));
  text += ", type: " + std::to_string(params_ ? uint64_t(params_->type()) : 0);
  return text;
}
