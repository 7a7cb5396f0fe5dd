#include "QVCore/ImageProcessing/Processor/QVIPProcessOperation.h"

QVIPProcessOperation::QVIPProcessOperation() : interrupted_(std::make_shared<std::atomic<bool>>(false)) {}
