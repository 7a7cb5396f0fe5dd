#pragma once
// An effect as layers and the application see it: one engine image operation whose parameters
// are mirrored as parameter objects. It is the parent of its parameters and a child of its layer.
#include <memory>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVEffectParameterProtocol.h"
#include "QVCore/ImageProcessing/Base/QVEffectPreset.h"
#include "QVCore/ImageProcessing/Base/QVModelObject.h"
#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"

// Parameter groups are made by the effects (QVIPEffectParametersGroup.h); the interface only hands
// them out, so the base layer does not depend on the effects folder.
class QVIPEffectParametersGroup;
using QVParametersGroupList = std::vector<std::shared_ptr<QVIPEffectParametersGroup>>;

class QVImageEffectProtocol : public QVModelObject, public QVParentProtocol, public QVProcessorChildProtocol {
 public:
  virtual const QVParameterList& parameters() const = 0;
  virtual void resetParams() = 0;
  virtual void resetParamsWithIdentifiers(const std::vector<std::string>& identifiers) = 0;
  void copyParamsFromEffect(const QVImageEffectProtocol& effect) { copyParamsFromEffect(effect, true); }
  virtual void copyParamsFromEffect(const QVImageEffectProtocol& effect, bool overrideNonDefault) = 0;
  virtual void activatePreset(const std::shared_ptr<QVEffectPreset>& preset) = 0;
  virtual bool syncWithEffect(const std::shared_ptr<QVImageEffectProtocol>& effect) = 0;
  virtual std::string idForPreset() = 0;
  virtual uint64_t hash() const = 0;
  virtual bool hasChanges() const = 0;

  virtual std::shared_ptr<QVParentProtocol> parent() const = 0;
  virtual void setParent(std::weak_ptr<QVParentProtocol> parent) = 0;
  virtual bool separatable() const = 0;
  virtual const QVParametersGroupList& tabGroups() const = 0;
  virtual const QVParametersGroupList& popupMenuGroups() const = 0;
  virtual std::string groupsPopupMenuName() const = 0;
  virtual const QVParameterList& ungrouppedParameters() const = 0;
  virtual const std::vector<std::shared_ptr<QVEffectPreset>>& presets() const = 0;
  virtual std::string selectedPresetId() const = 0;
  virtual void setSelectedPresetId(const std::string& identifier) = 0;
  virtual const QVParametersGroupList& groups() const = 0;
  virtual const qv::Value& effectInfo() const = 0;
  virtual std::shared_ptr<QVImageEffectProtocol> syncEffect() const = 0;
};
