#include "QVCore/Services/QVWorkspaceMigrator.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

std::string QVWorkspaceMigrator::workspaceFilePath(const std::string& folder, const std::string& base, long number) {
  std::string name = number > 0 ? base + " " + std::to_string(number) : base;
  return folder + "/" + name + "." + kQVWorkspaceFileExtension;
}

std::string QVWorkspaceMigrator::fileNameForWorkspaceName(const std::string& name) {
  std::string file = name;
  std::replace(file.begin(), file.end(), '/', '_');
  return file;
}

bool QVWorkspaceMigrator::hasExtension(const std::string& fileName, const std::string& extension) {
  std::string own = qv::pathExtension(fileName);
  std::transform(own.begin(), own.end(), own.begin(), [](unsigned char c) { return std::tolower(c); });
  return own == extension;
}

void QVWorkspaceMigrator::migrate() const {
  std::error_code ec;
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(path_, ec)) entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    if (!hasExtension(entry, "plist")) continue;
    const std::string source = path_ + "/" + entry;
    const qv::Value dictionary = qv::PropertyList::readFile(source, nullptr);
    const qv::Value* name = dictionary.find(kQVWorkspaceNameKey);
    const std::string base = name && name->isString() && !name->string()->empty()
                                 ? fileNameForWorkspaceName(*name->string())
                                 : qv::deletingPathExtension(entry);
    std::string target = workspaceFilePath(path_, base);
    for (long n = 1; fs::exists(target, ec) || fs::is_symlink(target, ec); ++n)
      target = workspaceFilePath(path_, base, n);
    fs::rename(source, target, ec);
    if (ec) QV_LOG_FAILURE("[NSFileManager moveItemAtPath:" + source + " toPath:" + target + "] " + ec.message());
  }
}
