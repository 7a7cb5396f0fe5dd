#pragma once
// The operation of one image task: it owns the engine processor the task renders with and waits
// (as a sync operation) for the processor's asynchronous completions.
//
// The processor is made on first use through the core framework's factory, posts no change
// notifications and keeps no result caches of its own. It is let go once the task's work is done
// (before the callbacks run), so a finished operation someone still holds keeps only its results,
// not the decoded picture and the render buffers of its processor. Cancelling first marks the operation
// cancelled, which unlocks a `main()` that waits for a completion (quitting never hangs on a
// completion that does not come), then stops the processor's engine work: the empty answers of the
// stopped loads and renders always find the operation cancelled.
#include <memory>
#include <mutex>
#include <string>

#include "Ombrel/Classes/Basic/QVSyncOperation.h"
#include "Ombrel/Classes/Business/QVImageTaskParams.h"

class QVRovaProcessor;

// What the task managers ask of an operation they accept: the processor it renders with.
class QVImageProcessable {
 public:
  virtual ~QVImageProcessable() = default;
  virtual std::shared_ptr<QVRovaProcessor> processor() = 0;
};

class QVImageTaskOperation : public QVSyncOperation, public QVImageProcessable {
 public:
  explicit QVImageTaskOperation(std::shared_ptr<QVImageTaskParams> params);
  static std::shared_ptr<QVImageTaskOperation> initWithTaskParams(std::shared_ptr<QVImageTaskParams> params) {
    return std::make_shared<QVImageTaskOperation>(std::move(params));
  }

  const std::shared_ptr<QVImageTaskParams>& params() const { return params_; }
  std::shared_ptr<QVRovaProcessor> processor() override;
  void cancel() override;
  // Lets the processor go, then runs the callbacks.
  void main() override;
  // "<QVImageTaskOperation: address> name: <path>, type: <type>".
  std::string description() const;

 private:
  const std::shared_ptr<QVImageTaskParams> params_;
  std::mutex processorMutex_;
  std::shared_ptr<QVRovaProcessor> processor_;
};
