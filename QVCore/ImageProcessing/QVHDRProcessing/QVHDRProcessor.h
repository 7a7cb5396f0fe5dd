#pragma once
// The processor of documents whose source is an HDR bracket: loading merges the bracket files
// (`makeHDRImageWithURLs`) into the initial layer, keeps the middle exposure's pixels for the
// before/after comparison, and caches both in the edit history's resources so a document reopens
// without merging again. Every layer it makes is tied to the "default" workspace.
//
// Middle exposure: the file at index count / 2 of the paths as handed in (the second of 2 or 3,
// the third of 4 or 5). Its pixels live in `middleBracketDataPtr`; a change posts
// "kQVImageProcessorMiddleBracketDataUpdated" (object: the processor, on the calling thread) and
// writes "cachedMiddleBracketData.rovacompressedimagedata" into the history's resources folder.
//
// First use of the class turns the catalogue's RAW identifiers off and the reader's RAW
// development on, for the whole process.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/QVHDRImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Processor/QVProcessorClassSwitches.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRSettings.h"
#include "rova/hdr/HDRMerge.h"

class QVWorkspace;

inline constexpr const char* kQVImageProcessorMiddleBracketDataUpdated = "kQVImageProcessorMiddleBracketDataUpdated";
inline constexpr const char* kQVHDRCachedMiddleBracketFileName = "cachedMiddleBracketData";
inline constexpr const char* kQVHDRNewBracketLayerActionFormat = "New HDR Bracket Layer: %@";

// The class the HDR processor builds on.
using QVHDRProcessorSuperclass = QVProject18Processor;

class QVHDRProcessor : public QVHDRProcessorSuperclass, public QVHDRImageProcessorProtocol {
 public:
  using Ptr = std::shared_ptr<QVHDRProcessor>;
  using LayerCompletion = std::function<void(LayerPtr)>;

  static Ptr init() { return create<QVHDRProcessor>(); }
  QVHDRProcessor();
  static QVProcessorClassSwitches& classSwitches();

  // ---- Fields ----
  std::shared_ptr<QVHDRSettingsProtocol> hdrSettings() const;
  void setHdrSettings(std::shared_ptr<QVHDRSettingsProtocol> settings);
  std::vector<std::string> paths() const;
  void setPaths(std::vector<std::string> paths);
  // The EV of each bracket file in EV order; nullopt with fewer than 2 paths. Computed once (a later
  // change of the paths does not refresh it).
  std::optional<std::vector<double>> hdrEVValues();
  void setHdrEVValues(std::optional<std::vector<double>> values);
  rova::ImageDataRGBfPtr middleBracketDataPtr() const;
  // Nothing for the same object; else stores it, posts the update and writes the cache file.
  void setMiddleBracketDataPtr(const rova::ImageDataRGBfPtr& data);
  // "<history resources>/cachedMiddleBracketData.rovacompressedimagedata"; empty without a history.
  std::string cachedMiddleBracketPath();
  void cacheMiddleBracket();

  // ---- Merge ----
  // Merges the files (full size) with the settings (the defaults put in place when there are none);
  // blocks the calling thread. The paths become `paths()`.
  rova::HDRMergeResult makeHDRImageWithURLs(const std::vector<std::string>& urls);
  // Called for every merge phase; does nothing here.
  virtual void handleProgressWithPhaseName(rova::HDRMergingPhaseName phase) { (void)phase; }
  std::vector<const char*> cPaths() const { return cPathsFromPaths(paths_); }
  // Pointers into `paths`, which must outlive them.
  static std::vector<const char*> cPathsFromPaths(const std::vector<std::string>& paths);

  // ---- Loading ----
  bool useInitialLayerAsFirst() const override { return false; }
  bool configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls,
                             bool fastRawPreview) override;
  // The restore from the history's cached merged texture, else the merge.
  bool configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls);
  // The restore alone: false for no path or a file that is not engine compressed image data.
  bool configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& urls,
                             const std::optional<std::string>& cashedTexturePath);

  // ---- Layers ----
  // Registers "New HDR Bracket Layer: <name>", reads the file into an image layer in the
  // background, then on the main thread names it, inserts it at the index, ties it to the
  // workspace and hands it to the completion.
  void createBracketImageLayerAtIndex(uint64_t index, const std::string& layerName, const std::string& imageURL,
                                      LayerCompletion completion);
  // New layers are tied to the workspace of their index.
  LayerPtr createLayerAtIndex(uint64_t index) override;
  LayerPtr createImageLayerAtIndex(uint64_t index) override;
  // Not one of the active layer's sublayers.
  bool canEditLayer(const LayerPtr& layer) const override;
  LayerPtr createLayerAtIndex(uint64_t index, uint64_t layerType) override;
  LayerPtr createOriginalImageLayerAtIndex(uint64_t index, const std::string& imageName) override;
  // Not the first layer of the stack.
  bool canDuplicateLayer(const LayerPtr& layer) const override;
  // The preset's layers' parameters onto the target's sublayers (the active layer for nullptr),
  // the develop layer kept in step: matched by position when the counts agree, else by identifier.
  void applyPresetWithLayers(const std::vector<LayerPtr>& presetLayers, const std::optional<std::string>& presetUUID,
                             const LayerPtr& onLayer) override;

  // ---- Workspaces ----
  std::string workspaceIdentifierForLayerIdx(uint64_t index) const;
  std::shared_ptr<QVWorkspace> workspaceForLayerIdx(uint64_t index);
  std::shared_ptr<QVWorkspace> workspaceForIdentifier(const std::string& identifier);
  // Where the workspaces come from: the shipped workspace of an identifier (nullptr when none) and
  // the default workspace, their layers made under the given superlayer. The workspace service
  // installs both when the library loads (this folder must not call up into the services);
  // without them there are no workspaces.
  struct WorkspaceSource {
    std::function<std::shared_ptr<QVWorkspace>(const std::string& identifier, const LayerPtr& superlayer)> shipped;
    std::function<std::shared_ptr<QVWorkspace>(const LayerPtr& superlayer)> defaultWorkspace;
  };
  static void setWorkspaceSource(WorkspaceSource source);

  // ---- Compare images ----
  // With middle-exposure data: that data under the active layer's transform; else the superclass's.
  QVIPImagePtr originalCroppedImageForCompare();
  QVIPImagePtr obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer, bool forQuickPreviewMode) override;

  // ---- Copies and history ----
  // Copies are HDR processors sharing the paths, the EV list and the middle-exposure data.
  QVRovaProcessor::Ptr allocSameClass() const override;
  // The superclass's texture names plus every bracket file's and the middle-exposure cache's.
  std::optional<std::vector<std::string>> historyManagerAllTexturesFromStateUUID(QVHistoryManagerProtocol& manager,
                                                                                 const std::string& uuid) override;

 private:
  std::weak_ptr<QVHDRProcessor> weakHDR() { return weakAs<QVHDRProcessor>(); }
  mutable std::mutex hdrMutex_;
  std::shared_ptr<QVHDRSettingsProtocol> hdrSettings_;
  std::vector<std::string> paths_;
  std::optional<std::vector<double>> hdrEVValues_;
  rova::ImageDataRGBfPtr middleBracketData_;
};
