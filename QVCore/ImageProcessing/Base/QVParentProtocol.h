#pragma once
// The upward link of the model: what a child (parameter, effect, layer, mask) expects of its
// parent (effect, layer, processor). Changes travel up as will-change, did-change and invalidated
// reports; each level adds to the change info and passes it on. A child finds the edit history,
// the serial processing queue of its processor and the name used in history action names through
// this link. Parents are held weakly.
#include <memory>
#include <optional>
#include <string>

#include "QVCore/ImageProcessing/Base/QVModelObject.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVPlatform/OperationQueue.h"

class QVParentProtocol {
 public:
  virtual ~QVParentProtocol() = default;

  virtual void childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) = 0;
  virtual void childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) = 0;
  virtual void childInvalidated(const std::shared_ptr<QVModelObject>& child) = 0;

  // The processor's serial queue for engine work; nullptr when the chain reaches no processor.
  virtual std::shared_ptr<qv::OperationQueue> parentProcessingQueue() = 0;
  // The processor's edit history; nullptr when there is none.
  virtual std::shared_ptr<QVHistoryManagerProtocol> historyManager() = 0;
  // The name that history action names of the children start with; nullopt when there is none.
  virtual std::optional<std::string> fullName() = 0;
};

// What a processor needs of its direct children (effects, layers): identifier and name.
class QVProcessorChildProtocol {
 public:
  virtual ~QVProcessorChildProtocol() = default;
  virtual std::string identifier() const = 0;
  virtual void setIdentifier(const std::string& identifier) = 0;
  virtual std::string name() const = 0;
  virtual void setName(const std::string& name) = 0;
};

// Runs engine work for a child: at once when there is no queue or the caller already runs on it,
// otherwise as an operation on the queue, after the work queued before it.
void QVPerformOnProcessingQueue(const std::shared_ptr<qv::OperationQueue>& queue, qv::Block block);
