#include "QVPlatform/OperationQueue.h"

#include <algorithm>
#include <thread>

#include "QVPlatform/ThreadPool.h"

namespace qv {

namespace {
thread_local std::vector<OperationQueue*> tlsOperationQueues;
}  // namespace

// ---- Operation ---------------------------------------------------------------------------------

Operation::Operation() = default;
Operation::~Operation() = default;

void Operation::cancel() {
  cancelled_ = true;
  std::shared_ptr<OperationQueue> queue;
  {
    std::lock_guard lock(mutex_);
    queue = queue_.lock();
  }
  if (queue) queue->schedule();  // a cancelled operation is ready at once
}

void Operation::start() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Pending) return;
    state_ = State::Executing;
  }
  if (!isCancelled() || runsMainWhenCancelled()) main();
  finish();
}

void Operation::finish() {
  Block completion;
  std::vector<std::pair<uint64_t, Block>> observers;
  std::vector<std::weak_ptr<Operation>> dependents;
  {
    std::lock_guard lock(mutex_);
    state_ = State::Finished;
    completion = std::move(completion_);
    observers.swap(finishObservers_);
    dependents.swap(dependents_);
    finishedCv_.notify_all();
  }
  if (completion) completion();
  for (auto& [id, observer] : observers) observer();
  for (auto& weak : dependents)
    if (auto dependent = weak.lock()) dependent->dependencyFinished();
}

void Operation::dependencyFinished() {
  std::shared_ptr<OperationQueue> queue;
  {
    std::lock_guard lock(mutex_);
    queue = queue_.lock();
  }
  if (queue) queue->schedule();
}

bool Operation::isExecuting() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Executing;
}

bool Operation::isFinished() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Finished;
}

bool Operation::isReady() const {
  std::vector<std::shared_ptr<Operation>> deps;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Pending) return false;
    deps = dependencies_;
  }
  if (isCancelled()) return true;
  return std::all_of(deps.begin(), deps.end(), [](const auto& d) { return d->isFinished(); });
}

void Operation::addDependency(const std::shared_ptr<Operation>& op) {
  if (!op || op.get() == this) return;
  {
    std::lock_guard lock(mutex_);
    if (std::find(dependencies_.begin(), dependencies_.end(), op) != dependencies_.end()) return;
    dependencies_.push_back(op);
  }
  std::lock_guard lock(op->mutex_);
  if (op->state_ != State::Finished) op->dependents_.push_back(weak_from_this());
}

void Operation::removeDependency(const std::shared_ptr<Operation>& op) {
  {
    std::lock_guard lock(mutex_);
    dependencies_.erase(std::remove(dependencies_.begin(), dependencies_.end(), op), dependencies_.end());
  }
  dependencyFinished();  // may have become ready
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(mutex_);
  return dependencies_;
}

void Operation::setCompletionBlock(Block block) {
  std::lock_guard lock(mutex_);
  completion_ = std::move(block);
}

Block Operation::completionBlock() const {
  std::lock_guard lock(mutex_);
  return completion_;
}

uint64_t Operation::addFinishObserver(Block observer) {
  if (!observer) return 0;
  uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextObserver_++;
    if (state_ != State::Finished) {
      finishObservers_.emplace_back(id, std::move(observer));
      return id;
    }
  }
  observer();
  return id;
}

void Operation::removeFinishObserver(uint64_t id) {
  std::lock_guard lock(mutex_);
  auto& v = finishObservers_;
  v.erase(std::remove_if(v.begin(), v.end(), [id](const auto& e) { return e.first == id; }), v.end());
}

void Operation::waitUntilFinished() {
  BlockingScope waiting;
  std::unique_lock lock(mutex_);
  finishedCv_.wait(lock, [&] { return state_ == State::Finished; });
}

void Operation::setQueuePriority(QueuePriority p) {
  std::lock_guard lock(mutex_);
  priority_ = p;
}

QueuePriority Operation::queuePriority() const {
  std::lock_guard lock(mutex_);
  return priority_;
}

void Operation::setQualityOfService(QualityOfService q) {
  std::lock_guard lock(mutex_);
  qos_ = q;
}

QualityOfService Operation::qualityOfService() const {
  std::lock_guard lock(mutex_);
  return qos_;
}

void Operation::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

std::string Operation::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

std::shared_ptr<BlockOperation> BlockOperation::make(Block block) {
  auto op = std::make_shared<BlockOperation>();
  op->addExecutionBlock(std::move(block));
  return op;
}

void BlockOperation::addExecutionBlock(Block block) {
  if (!block) return;
  std::lock_guard lock(blocksMutex_);
  blocks_.push_back(std::move(block));
}

void BlockOperation::main() {
  std::vector<Block> blocks;
  {
    std::lock_guard lock(blocksMutex_);
    blocks = blocks_;
  }
  for (auto& b : blocks) b();
}

// ---- OperationQueue ----------------------------------------------------------------------------

std::shared_ptr<OperationQueue> OperationQueue::make(std::string name, int64_t maxConcurrentOperationCount) {
  return std::make_shared<OperationQueue>(std::move(name), maxConcurrentOperationCount);
}

std::shared_ptr<OperationQueue> OperationQueue::currentQueue() {
  if (tlsOperationQueues.empty()) return nullptr;
  return tlsOperationQueues.back()->shared_from_this();
}

OperationQueue::OperationQueue(std::string name, int64_t maxConcurrentOperationCount)
    : maxConcurrent_(maxConcurrentOperationCount), name_(std::move(name)) {}

OperationQueue::~OperationQueue() = default;

void OperationQueue::addOperation(const std::shared_ptr<Operation>& op) {
  if (!op) return;
  {
    std::lock_guard lock(op->mutex_);
    if (op->enqueued_ || op->state_ != Operation::State::Pending) return;
    op->enqueued_ = true;
    op->queue_ = weak_from_this();
  }
  {
    std::lock_guard lock(mutex_);
    ops_.push_back(op);
    if (!keepAlive_) keepAlive_ = shared_from_this();
  }
  schedule();
}

std::shared_ptr<BlockOperation> OperationQueue::addOperationWithBlock(Block block) {
  auto op = BlockOperation::make(std::move(block));
  addOperation(op);
  return op;
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& ops, bool waitUntilFinished) {
  for (const auto& op : ops) addOperation(op);
  if (waitUntilFinished)
    for (const auto& op : ops)
      if (op) op->waitUntilFinished();
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  std::lock_guard lock(mutex_);
  return ops_;
}

size_t OperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return ops_.size();
}

void OperationQueue::cancelAllOperations() {
  for (const auto& op : operations()) op->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  BlockingScope waiting;
  std::unique_lock lock(mutex_);
  idleCv_.wait(lock, [&] { return ops_.empty(); });
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(mutex_);
    suspended_ = suspended;
  }
  if (!suspended) schedule();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void OperationQueue::setMaxConcurrentOperationCount(int64_t count) {
  {
    std::lock_guard lock(mutex_);
    maxConcurrent_ = count;
  }
  schedule();
}

int64_t OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(mutex_);
  return maxConcurrent_;
}

void OperationQueue::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

std::string OperationQueue::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void OperationQueue::setQualityOfService(QualityOfService q) {
  std::lock_guard lock(mutex_);
  qos_ = q;
}

QualityOfService OperationQueue::qualityOfService() const {
  std::lock_guard lock(mutex_);
  return qos_;
}

void OperationQueue::schedule() {
  std::vector<std::shared_ptr<Operation>> toStart;
  {
    std::lock_guard lock(mutex_);
    if (suspended_) return;
    size_t limit =
        maxConcurrent_ > 0 ? size_t(maxConcurrent_) : size_t(std::max(2u, std::thread::hardware_concurrency()));
    if (running_ >= limit) return;
    std::vector<std::shared_ptr<Operation>> ready;
    for (const auto& op : ops_) {
      bool dispatched;
      {
        std::lock_guard opLock(op->mutex_);
        dispatched = op->dispatched_;
      }
      if (!dispatched && op->isReady()) ready.push_back(op);
    }
    std::stable_sort(ready.begin(), ready.end(),
                     [](const auto& a, const auto& b) { return int(a->queuePriority()) > int(b->queuePriority()); });
    for (const auto& op : ready) {
      if (running_ >= limit) break;
      {
        std::lock_guard opLock(op->mutex_);
        op->dispatched_ = true;
      }
      ++running_;
      toStart.push_back(op);
    }
  }
  for (auto& op : toStart) ThreadPool::shared().submit([self = shared_from_this(), op] { self->run(op); });
}

void OperationQueue::run(const std::shared_ptr<Operation>& op) {
  tlsOperationQueues.push_back(this);
  op->start();
  tlsOperationQueues.pop_back();
  operationFinished(op);
}

void OperationQueue::operationFinished(const std::shared_ptr<Operation>& op) {
  std::shared_ptr<OperationQueue> release;  // dropped after the lock (the caller holds the queue too)
  {
    std::lock_guard lock(mutex_);
    ops_.erase(std::remove(ops_.begin(), ops_.end(), op), ops_.end());
    --running_;
    if (ops_.empty()) {
      release = std::move(keepAlive_);
      idleCv_.notify_all();
    }
  }
  schedule();
}

}  // namespace qv
