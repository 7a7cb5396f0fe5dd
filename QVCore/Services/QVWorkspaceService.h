#pragma once
// Loads, saves, deletes and finds workspaces and keeps the default one.
//
//   shipped workspaces   every file in the bundle's "BundleWorkspaces" folder (read once per process)
//   user workspaces      "<container>/Workspaces/<name with "/" as "_">.vlws"
//   default workspace    "<container>/defaultWorkspace.vlws" = {"DefaultWorkspaceSince1_1_5": identifier}
//
// The container is NSFileManagerContainerDirectory's: until the app-group identifier is set
// (QVCoreStartup) there are no user workspaces and nothing is written.
// Nothing reports an error: unreadable files are skipped and logged, failed writes are logged.
// Loading makes adjustment layers for one processor (through its layer maker), so it runs where
// that processor's layers may be made.
#include <memory>
#include <string>
#include <vector>

#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVCore/Services/QVWorkspaceMigrator.h"
#include "QVPlatform/Value.h"

inline constexpr const char* kQVDefaultWorkspaceKey = "DefaultWorkspaceSince1_1_5";
// Where older versions kept the default workspace (standard user defaults).
inline constexpr const char* kQVLegacyDefaultWorkspaceKey1_1_4 = "DefaultWorkspaceSince1_1_4";
inline constexpr const char* kQVLegacyDefaultWorkspaceKey = "DefaultWorkspace";

class QVWorkspaceService {
 public:
  // A new user workspace; nothing is written.
  static std::shared_ptr<QVWorkspace> createWithName(const std::string& name,
                                                     std::vector<std::shared_ptr<QVIPLayer>> layers);
  // Writes the workspace's file (atomically), creating the folder. The file of the same
  // workspace is replaced; the file of another workspace (another identifier, or unreadable) never
  // is: the workspace then takes the first free numbered name ("Studio 1", "Studio 2", ...) and
  // is written there. A workspace without a name is refused. True when written.
  static bool save(QVWorkspace& workspace);
  // Removes the workspace's file when it exists and belongs to this workspace (same identifier).
  static bool deleteWorkspace(const QVWorkspace& workspace);

  // The shipped workspaces made for a processor, by "Order" descending.
  static std::vector<std::shared_ptr<QVWorkspace>> loadFromBundleForProcessor(const QVWorkspaceLayerMaker& processor);
  // The user's workspaces after migration and repair, by file name.
  static std::vector<std::shared_ptr<QVWorkspace>> loadFromLocaleForProcessor(const QVWorkspaceLayerMaker& processor);
  // The default workspace: the one the default file names (shipped first, then the user's), else
  // the shipped "empty"; nullptr only when there is none of these.
  static std::shared_ptr<QVWorkspace> loadDefaultWorkspaceForProcessor(const QVWorkspaceLayerMaker& processor);
  // The shipped workspace "empty", made without layers; nullptr when it is not shipped.
  static std::shared_ptr<QVWorkspace> loadEmptyWorkspace();
  static std::shared_ptr<QVWorkspace> loadBundleWorkspaceWithIdentifier(const std::string& identifier,
                                                                        const QVWorkspaceLayerMaker& processor);
  static bool saveDefaultWorkspaceByIdentifier(const std::string& identifier);
  // Creates the user workspaces folder when missing and returns it (empty without a container);
  // revealing it in a file browser is the interface layer's part.
  static std::string showFolder();

  // The shipped workspace dictionaries, read once per process.
  static const std::vector<qv::Value>& loadedBundleWorkspaces();
  // The shipped workspace dictionaries read now (files that are no dictionary are left out).
  static std::vector<qv::Value> readBundleWorkspaceDictionaries();
  // Workspaces made from dictionaries, by "Order" descending (stable).
  static std::vector<std::shared_ptr<QVWorkspace>> workspacesByOrder(const std::vector<qv::Value>& dictionaries,
                                                                     const QVWorkspaceLayerMaker& processor);

  static std::string bundleWorkspacesPath();
  // "<container>/Workspaces"; empty when there is no container.
  static std::string workspacesPath();
  static std::string defaultWorkspacePlistPath();
  // The file name (without extension) of a workspace name: every "/" becomes "_".
  static std::string fileNameForWorkspaceName(const std::string& name);

  // The processor's layer maker: the shared effects catalogue's adjustment layer for an
  // identifier under `superlayer` (the processor's active layer). An identifier the catalogue does
  // not describe gives no layer (the catalogue's bare stand-in would be an empty, nameless layer).
  static QVWorkspaceLayerMaker layerMakerForSuperlayer(const std::shared_ptr<QVIPLayer>& superlayer);

  static std::shared_ptr<QVWorkspace> map(const qv::Value& dictionary, const QVWorkspaceLayerMaker& processor) {
    return QVWorkspace::workspaceWithWithDic(dictionary, processor);
  }
  static std::shared_ptr<QVWorkspace> findWorkspace(const std::string& identifier,
                                                    const std::vector<std::shared_ptr<QVWorkspace>>& workspaces);

 private:
  static void moveLegacyDefaultWorkspaceSetting();
};
