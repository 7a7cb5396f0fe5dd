#pragma once
// Plug-in mode: a host photo application (through its plug-in and the launcher SolvaneBriskoBridge)
// starts the application with its images and where it expects the results. This manager reads the
// command line once at start and answers what the application asks of the run: whether it is in
// plug-in mode, which host started it, the host's images and their save paths. The arguments are
// our contract with the launcher and the hosts' plug-ins (docs/PLUGIN.md):
//
//   -QVPluginMode                    plug-in mode (the launcher appends it last, without a value)
//   -QVLightroomPluginOwner          host 0 (appended by the launcher, without a value)
//   -QVPhotoshopPluginOwner          host 1; wins over -QVLightroomPluginOwner, which the launcher
//                                    always appends
//   -QVImagePath <path>              the host's single image
//   -QVSavePath <path>               where the host expects the single result
//   -QVSavePair <source> <target>    one image of several and its result (repeatable, kept in order;
//                                    a source given twice keeps its first place and its last target)
//   -QVExtrasPath <path>             extra resources of the host (results are then written as TIFF)
//   <file>                           a plain existing file is a host image too (the launcher's
//                                    file-list mode): the first one is the image when -QVImagePath
//                                    is not given; further ones are logged and left out
//
// A flag that needs a value and has none at the end of the line is ignored. Other arguments
// (Qt's, the program's own) are left alone. `applyPluginMode` and `cancelPluginMode` mark the end
// of the run (logged once); `failPluginMode` marks a run that ended without every result. Thread-safe.
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Host codes of `pluginOwner`.
inline constexpr int32_t kQVPluginOwnerLightroom = 0;
inline constexpr int32_t kQVPluginOwnerPhotoshop = 1;
inline constexpr int32_t kQVPluginOwnerUnknown = -1;

class QVSPluginModeManager {
 public:
  enum class RunState { Running, Applied, Cancelled, Failed };
  using SavePairs = std::vector<std::pair<std::string, std::string>>;

  static QVSPluginModeManager& shared();

  // Reads the whole command line (the program's path first, as `argv`). Replaces what an earlier
  // call read.
  void configureWithArguments(const std::vector<std::string>& arguments);

  bool isPluginMode() const;
  void setPluginMode(bool pluginMode);
  int32_t pluginOwner() const;
  // Source path -> path where the host expects that image, in the order given.
  SavePairs pathsForSave() const;
  std::string imagePath() const;
  std::string savePath() const;
  // Empty when the host passed no extra resources.
  std::string lightroomExtrasResPath() const;
  // The host's images: the sources of `pathsForSave`, else the image alone, else none.
  std::vector<std::string> photoCollection() const;
  void setPhotoCollection(std::vector<std::string> paths);

  // The end of the run: every result written, cancelled, or at least one image without a result
  // (the first call counts).
  void applyPluginMode();
  void cancelPluginMode();
  void failPluginMode(const std::string& reason);
  RunState runState() const;

 private:
  mutable std::mutex mutex_;
  bool pluginMode_ = false;
  int32_t owner_ = kQVPluginOwnerUnknown;
  SavePairs pathsForSave_;
  std::string imagePath_, savePath_, extrasPath_;
  std::vector<std::string> photoCollection_;
  RunState runState_ = RunState::Running;
};
