#pragma once
// A named group of an effect's parameters (a tab or an entry of a pop-up menu of the editor). The
// group lists the same parameter objects as the effect.
#include <memory>
#include <string>

#include "QVCore/ImageProcessing/Base/QVEffectParameterProtocol.h"

class QVIPEffectParametersGroup {
 public:
  static std::shared_ptr<QVIPEffectParametersGroup> make() { return std::make_shared<QVIPEffectParametersGroup>(); }

  const std::string& name() const { return name_; }
  void setName(const std::string& name) { name_ = name; }
  const QVParameterList& parameters() const { return parameters_; }
  void setParameters(QVParameterList parameters) { parameters_ = std::move(parameters); }
  bool selectedByDefault() const { return selectedByDefault_; }
  void setSelectedByDefault(bool selected) { selectedByDefault_ = selected; }

  // Copies parameter i of the other group onto parameter i of this one, paired by position.
  void copyParamsFromTabGroup(const QVIPEffectParametersGroup& group, bool overrideNonDefault);

 private:
  std::string name_;
  QVParameterList parameters_;
  bool selectedByDefault_ = false;
};

using QVParametersGroupList = std::vector<std::shared_ptr<QVIPEffectParametersGroup>>;
