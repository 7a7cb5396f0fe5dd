#include "QVCore/Services/QVWorkspaceService.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRProcessor.h"
#include "QVCore/Services/QVWorkspaceMigrator.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"  // createDirectory
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kBundleWorkspacesFolder = "BundleWorkspaces";
constexpr const char* kWorkspacesFolder = "Workspaces";
constexpr const char* kDefaultWorkspaceFileName = "defaultWorkspace";

using NSFileManagerContainerDirectory::containerDirectory;

// Entry names of a folder, sorted so that loading does not depend on the file system's order.
std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The file as a dictionary, or a null value (logged) when it is unreadable or no dictionary.
qv::Value readDictionary(const std::string& path) {
  qv::Error error;
  qv::Value value = qv::PropertyList::readFile(path, &error);
  if (!value.isDictionary()) {
    QV_LOG_FAILURE("[NSDictionary dictionaryWithContentsOfFile:" + path + "] == nil " + error.description);
    return {};
  }
  return value;
}

bool writeDictionary(const std::string& path, const qv::Value& dictionary) {
  qv::Error error;
  if (qv::PropertyList::writeFile(path, dictionary, qv::PropertyListFormat::XML, &error)) return true;
  QV_LOG_FAILURE("[NSDictionary writeToFile:" + path + " atomically:YES] == NO " + error.description);
  return false;
}

// A non-empty text under the key, else an empty string.
std::string stringValue(const qv::Value& dictionary, const char* key) {
  const qv::Value* v = dictionary.find(key);
  return v && v->isString() ? *v->string() : std::string();
}

bool ensureFolder(const std::string& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  qv::Error error;
  if (qv::createDirectory(folder, &error)) return true;
  QV_LOG_FAILURE("[NSFileManager createDirectoryAtPath:" + folder + "] " + error.description);
  return false;
}

}  // namespace

std::shared_ptr<QVWorkspace> QVWorkspaceService::createWithName(const std::string& name,
                                                                std::vector<std::shared_ptr<QVIPLayer>> layers) {
  return QVWorkspace::workspaceWithName(name, std::move(layers));
}

std::string QVWorkspaceService::fileNameForWorkspaceName(const std::string& name) {
  return QVWorkspaceMigrator::fileNameForWorkspaceName(name);
}

std::string QVWorkspaceService::bundleWorkspacesPath() {
  return qv::Bundle::mainBundle().resourcePath() + "/" + kBundleWorkspacesFolder;
}

std::string QVWorkspaceService::workspacesPath() {
  const std::string container = containerDirectory();
  return container.empty() ? std::string() : container + "/" + kWorkspacesFolder;
}

std::string QVWorkspaceService::defaultWorkspacePlistPath() {
  const std::string container = containerDirectory();
  if (container.empty()) return {};
  return container + "/" + kDefaultWorkspaceFileName + "." + kQVWorkspaceFileExtension;
}

bool QVWorkspaceService::save(QVWorkspace& workspace) {
  if (workspace.name().empty()) {
    QVLogWarning("A workspace without a name is not saved (identifier %s)", workspace.identifier().c_str());
    return false;
  }
  const std::string folder = workspacesPath();
  if (folder.empty() || !ensureFolder(folder)) return false;
  const std::string base = fileNameForWorkspaceName(workspace.name());
  // A taken name belongs to another workspace unless its file carries this identifier.
  auto isFree = [&](const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec) && !fs::is_symlink(path, ec)) return true;
    const qv::Value existing = qv::PropertyList::readFile(path, nullptr);
    return !workspace.identifier().empty() &&
           stringValue(existing, kQVWorkspaceIdentifierKey) == workspace.identifier();
  };
  long number = 0;
  while (!isFree(QVWorkspaceMigrator::workspaceFilePath(folder, base, number))) ++number;
  if (number > 0) {
    QVLogInfo("Workspace name \"%s\" is taken; saved as \"%s %ld\"", workspace.name().c_str(), workspace.name().c_str(),
              number);
    workspace.setName(workspace.name() + " " + std::to_string(number));
  }
  return writeDictionary(QVWorkspaceMigrator::workspaceFilePath(folder, base, number), workspace.serialize());
}

bool QVWorkspaceService::deleteWorkspace(const QVWorkspace& workspace) {
  const std::string folder = workspacesPath();
  if (folder.empty() || workspace.name().empty()) return false;
  const std::string path = QVWorkspaceMigrator::workspaceFilePath(folder, fileNameForWorkspaceName(workspace.name()));
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  const qv::Value existing = qv::PropertyList::readFile(path, nullptr);
  if (stringValue(existing, kQVWorkspaceIdentifierKey) != workspace.identifier()) {
    QVLogWarning("Not deleting %s: it holds another workspace", path.c_str());
    return false;
  }
  if (fs::remove(path, ec)) return true;
  QV_LOG_FAILURE("[NSFileManager removeItemAtPath:" + path + "] " + ec.message());
  return false;
}

namespace {
// Workspaces tell shipped from user-made ones through this reader.
// The HDR processor finds its workspaces through here.
[[maybe_unused]] const bool kHDRWorkspaceSourceInstalled = [] {
  QVHDRProcessor::setWorkspaceSource({[](const std::string& identifier, const std::shared_ptr<QVIPLayer>& superlayer) {
                                        for (const auto& workspace : QVWorkspaceService::loadFromBundleForProcessor(
                                                 QVWorkspaceService::layerMakerForSuperlayer(superlayer)))
                                          if (workspace && workspace->identifier() == identifier) return workspace;
                                        return std::shared_ptr<QVWorkspace>();
                                      },
                                      [](const std::shared_ptr<QVIPLayer>& superlayer) {
                                        return QVWorkspaceService::loadDefaultWorkspaceForProcessor(
                                            QVWorkspaceService::layerMakerForSuperlayer(superlayer));
                                      }});
  return true;
}();
[[maybe_unused]] const bool kBundleReaderInstalled =
    (QVWorkspace::setBundleWorkspaceReader(&QVWorkspaceService::readBundleWorkspaceDictionaries), true);
}  // namespace

std::vector<qv::Value> QVWorkspaceService::readBundleWorkspaceDictionaries() {
  std::vector<qv::Value> dictionaries;
  const std::string folder = bundleWorkspacesPath();
  for (const std::string& entry : folderEntries(folder)) {
    qv::Value d = readDictionary(folder + "/" + entry);
    if (d.isDictionary()) dictionaries.push_back(std::move(d));
  }
  return dictionaries;
}

const std::vector<qv::Value>& QVWorkspaceService::loadedBundleWorkspaces() {
  static const std::vector<qv::Value> dictionaries = readBundleWorkspaceDictionaries();
  return dictionaries;
}

std::vector<std::shared_ptr<QVWorkspace>> QVWorkspaceService::workspacesByOrder(
    const std::vector<qv::Value>& dictionaries, const QVWorkspaceLayerMaker& processor) {
  std::vector<std::shared_ptr<QVWorkspace>> workspaces;
  for (const qv::Value& d : dictionaries) workspaces.push_back(map(d, processor));
  std::stable_sort(workspaces.begin(), workspaces.end(),
                   [](const auto& a, const auto& b) { return a->order() > b->order(); });
  return workspaces;
}

std::vector<std::shared_ptr<QVWorkspace>> QVWorkspaceService::loadFromBundleForProcessor(
    const QVWorkspaceLayerMaker& processor) {
  return workspacesByOrder(loadedBundleWorkspaces(), processor);
}

std::vector<std::shared_ptr<QVWorkspace>> QVWorkspaceService::loadFromLocaleForProcessor(
    const QVWorkspaceLayerMaker& processor) {
  std::vector<std::shared_ptr<QVWorkspace>> result;
  const std::string folder = workspacesPath();
  if (folder.empty()) return result;
  QVWorkspaceMigrator::migrateWithPath(folder);
  std::set<std::string> seen;
  for (const std::string& entry : folderEntries(folder)) {
    if (!QVWorkspaceMigrator::hasExtension(entry, kQVWorkspaceFileExtension)) continue;
    const std::string path = folder + "/" + entry;
    qv::Value dictionary = readDictionary(path);
    if (!dictionary.isDictionary()) continue;
    const std::string fileName = qv::deletingPathExtension(entry);
    const std::string identifier = stringValue(dictionary, kQVWorkspaceIdentifierKey);
    const std::string name = stringValue(dictionary, kQVWorkspaceNameKey);
    const bool goodIdentifier = !identifier.empty() && !seen.count(identifier);
    const bool goodName = !name.empty() && fileNameForWorkspaceName(name) == fileName;
    if (!goodIdentifier || !goodName) {
      // A copied file repeats another's identifier, a renamed file no longer matches its name:
      // the file is mended so that identifiers stay unique and names match their files.
      if (!goodIdentifier) dictionary.set(kQVWorkspaceIdentifierKey, qv::uuidString());
      if (!goodName) dictionary.set(kQVWorkspaceNameKey, fileName);
      if (!writeDictionary(path, dictionary)) continue;
    }
    seen.insert(stringValue(dictionary, kQVWorkspaceIdentifierKey));
    result.push_back(map(dictionary, processor));
  }
  return result;
}

QVWorkspaceLayerMaker QVWorkspaceService::layerMakerForSuperlayer(const std::shared_ptr<QVIPLayer>& superlayer) {
  std::weak_ptr<QVIPLayer> weakSuperlayer = superlayer;
  const bool hasSuperlayer = superlayer != nullptr;
  return [weakSuperlayer, hasSuperlayer](const std::string& identifier) -> std::shared_ptr<QVIPLayer> {
    auto superlayer = weakSuperlayer.lock();
    if (hasSuperlayer && !superlayer) return nullptr;  // the processor's layer is gone
    auto layer = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(
        identifier, std::nullopt, superlayer);
    if (!layer || layer->identifier().empty()) {
      QVLogWarning("The effects catalogue has no adjustment layer \"%s\"; left out of the workspace",
                   identifier.c_str());
      return nullptr;
    }
    return layer;
  };
}

std::shared_ptr<QVWorkspace> QVWorkspaceService::findWorkspace(
    const std::string& identifier, const std::vector<std::shared_ptr<QVWorkspace>>& workspaces) {
  for (const auto& w : workspaces)
    if (w && w->identifier() == identifier) return w;
  return nullptr;
}

std::shared_ptr<QVWorkspace> QVWorkspaceService::loadBundleWorkspaceWithIdentifier(
    const std::string& identifier, const QVWorkspaceLayerMaker& processor) {
  return findWorkspace(identifier, loadFromBundleForProcessor(processor));
}

std::shared_ptr<QVWorkspace> QVWorkspaceService::loadEmptyWorkspace() {
  return loadBundleWorkspaceWithIdentifier(kQVEmptyWorkspaceIdentifier, nullptr);
}

bool QVWorkspaceService::saveDefaultWorkspaceByIdentifier(const std::string& identifier) {
  const std::string path = defaultWorkspacePlistPath();
  if (path.empty() || !ensureFolder(containerDirectory())) return false;
  qv::Value d;
  d.set(kQVDefaultWorkspaceKey, identifier);
  return writeDictionary(path, d);
}

std::shared_ptr<QVWorkspace> QVWorkspaceService::loadDefaultWorkspaceForProcessor(
    const QVWorkspaceLayerMaker& processor) {
  moveLegacyDefaultWorkspaceSetting();
  std::string identifier;
  const std::string path = defaultWorkspacePlistPath();
  std::error_code ec;
  if (!path.empty() && fs::exists(path, ec)) identifier = stringValue(readDictionary(path), kQVDefaultWorkspaceKey);
  if (identifier.empty()) identifier = kQVEmptyWorkspaceIdentifier;
  if (auto w = findWorkspace(identifier, loadFromBundleForProcessor(processor))) return w;
  if (auto w = findWorkspace(identifier, loadFromLocaleForProcessor(processor))) return w;
  return findWorkspace(kQVEmptyWorkspaceIdentifier, loadFromBundleForProcessor(processor));
}

// Older versions kept the default in the standard user defaults; their placeholder values ("empty"
// under the newer key, "default" under the oldest) meant "no choice" and are not carried over.
void QVWorkspaceService::moveLegacyDefaultWorkspaceSetting() {
  qv::UserDefaults& defaults = qv::UserDefaults::standardUserDefaults();
  struct Legacy {
    const char* key;
    const char* placeholder;
  };
  for (const Legacy& legacy : {Legacy{kQVLegacyDefaultWorkspaceKey1_1_4, kQVEmptyWorkspaceIdentifier},
                               Legacy{kQVLegacyDefaultWorkspaceKey, "default"}}) {
    const std::optional<std::string> value = defaults.stringForKey(legacy.key);
    if (!value || value->empty()) continue;
    if (*value != legacy.placeholder) saveDefaultWorkspaceByIdentifier(*value);
    defaults.removeObjectForKey(legacy.key);
    return;
  }
}

std::string QVWorkspaceService::showFolder() {
  const std::string folder = workspacesPath();
  if (folder.empty() || !ensureFolder(folder)) return {};
  return folder;
}
