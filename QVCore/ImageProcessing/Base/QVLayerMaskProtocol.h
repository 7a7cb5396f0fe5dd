#pragma once
// A layer's mask object: the strokes that paint the mask, the brush history and the stored mask
// files. The layer makes one on first use through QVLayerMaskFactory and becomes its weak parent,
// through which the mask finds the edit history and the processing queue. The masks subsystem
// registers the implementation.
#include <memory>
#include <optional>
#include <string>

#include "QVCore/ImageProcessing/Base/QVModelObject.h"
#include "QVCore/ImageProcessing/Base/QVParentProtocol.h"
#include "QVCore/ImageProcessing/Base/QVServiceFactory.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVLayerMaskDidChangeNotification = "kQVLayerMaskDidChangeNotification";
inline constexpr const char* kQVLayerMaskDeleted = "kQVLayerMaskDeleted";

class QVLayerMaskProtocol : public QVModelObject {
 public:
  virtual void setParent(std::weak_ptr<QVParentProtocol> layer) = 0;
  // Ends a running stroke and drops the brush controller; nothing without one.
  virtual void finishDrawing() = 0;
  // Makes the engine brush controller on the parent's processing queue and waits for it.
  virtual void createBrushController() = 0;
  // Stores the mask as a compressed mask file in the history's resources folder and records its
  // name; with `force` whether or not it changed.
  virtual void saveMaskForce(bool force) = 0;
  void saveMask() { saveMaskForce(false); }
  // Stores it unconditionally under a new file name.
  virtual void saveMaskForceWithIgnoreHistoryMaskName() = 0;
  // The stored mask's file name in the resources folder; setting one loads that file when it
  // exists, nullopt refers to no file.
  virtual std::optional<std::string> historyMaskName() const = 0;
  virtual void setHistoryMaskName(std::optional<std::string> name) = 0;
  // A copy of the brush-history records (empty when none); nullopt sets an empty history.
  virtual qv::Array brushStack() const = 0;
  virtual void setBrushStack(std::optional<qv::Array> stack) = 0;
  // Registers "%@: Mask Deleted" (true) or "%@: Mask Cleared" (false), clears the engine mask and
  // reports the change.
  virtual void clearMaskWithNextDelete(bool nextDelete) = 0;
  // Reports a mask change to the layer ({"kQVLayerMaskDeleted": deleted}) and to observers.
  virtual void updateMask() = 0;
  virtual void updateMaskDeleted(bool deleted) = 0;
  // Ends a stroke and forgets the stored name, brush history and stored pixels.
  virtual void resetState() = 0;
};

using QVLayerMaskFactory = QVServiceFactory<QVLayerMaskProtocol>;
