#include "Ombrel/Classes/Business/Batch/QVBatchTitleParams.h"

#include "Ombrel/Classes/Business/Batch/QVBatchTextHelpers.h"
#include "QVPlatform/Localization.h"

std::vector<std::string> QVBatchTitleParams::localizedUppercaseTitles(const std::vector<QVBatchTitleParams>& params) {
  std::vector<std::string> titles;
  titles.reserve(params.size());
  for (const auto& p : params)
    titles.push_back(QVBatchTextHelpers::uppercaseString(qv::QVSLocalization::localizedStringForKey(p.title)));
  return titles;
}
