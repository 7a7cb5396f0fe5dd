#include "QVCore/ImageProcessing/Effects/QVSharpenParameters.h"

std::shared_ptr<QVSharpenParameters> QVSharpenParameters::sharpenParametersForLevel(uint64_t level, bool isRAW) {
  if (level == 0) return nullptr;
  return isRAW ? rawParametersForLevel(level) : parametersForLevel(level);
}

std::shared_ptr<QVSharpenParameters> QVSharpenParameters::parametersForLevel(uint64_t level) {
  switch (level) {
    case 1:
      return sharpenParametersWithAmount(15, 25, 60, 20);
    case 2:
    case 3:
      return sharpenParametersWithAmount(25, 30, 40, 35);
    default:
      return defaultParameters();
  }
}

std::shared_ptr<QVSharpenParameters> QVSharpenParameters::rawParametersForLevel(uint64_t level) {
  switch (level) {
    case 1:
      return sharpenParametersWithAmount(25, 28, 60, 29);
    case 2:
      return sharpenParametersWithAmount(40, 34, 40, 35);
    case 3:
      return sharpenParametersWithAmount(70, 45, 30, 45);
    default:
      return defaultParameters();
  }
}

std::shared_ptr<QVSharpenParameters> QVSharpenParameters::defaultParameters() {
  return sharpenParametersWithAmount(0, 50, 35, 50);
}

std::shared_ptr<QVSharpenParameters> QVSharpenParameters::sharpenParametersWithAmount(double amount, double radius,
                                                                                      double masking, double dehalo) {
  auto p = std::make_shared<QVSharpenParameters>();
  p->amount_ = amount;
  p->radius_ = radius;
  p->masking_ = masking;
  p->dehalo_ = dehalo;
  return p;
}
