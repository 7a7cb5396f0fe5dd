#include "Ombrel/Classes/Helpers/QVFileTimedCollector.h"

std::shared_ptr<QVFileTimedCollector> QVFileTimedCollector::initWithFireTimeInterval(double seconds,
                                                                                     Completion completion) {
  return std::make_shared<QVFileTimedCollector>(seconds, std::move(completion));
}

QVFileTimedCollector::QVFileTimedCollector(double seconds, Completion completion)
    : ti_(seconds), completion_(std::move(completion)) {}

QVFileTimedCollector::~QVFileTimedCollector() {
  if (queueTimer_) qv::MainExecutor::shared().cancel(queueTimer_);
}

void QVFileTimedCollector::queueFiles(const std::vector<std::string>& paths) {
  files_.insert(files_.end(), paths.begin(), paths.end());
  auto& executor = qv::MainExecutor::shared();
  if (queueTimer_) executor.cancel(queueTimer_);
  std::weak_ptr<QVFileTimedCollector> weak = weak_from_this();
  queueTimer_ = executor.asyncAfter(ti_, [weak] {
    if (auto collector = weak.lock()) {
      collector->queueTimer_ = 0;
      collector->endQueue();
    }
  });
}

void QVFileTimedCollector::endQueue() {
  if (auto completion = completion_) completion(files_);
}
