#include "QVCore/Archive/QVZipArchiveHelper.h"

#include <filesystem>

#include "QVCore/Archive/SSZipArchive.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

namespace {

std::string describe(const qv::Error& error) {
  return "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" + error.description + "\"";
}

// Moves a file, copying it when source and target are on different file systems.
bool moveItem(const fs::path& from, const fs::path& to, std::error_code& ec) {
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link) return false;
  ec.clear();
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(to, ignored);
    return false;
  }
  fs::remove(from, ec);
  ec.clear();
  return true;
}

}  // namespace

bool QVZipArchiveHelper::unzipFileAtPath(const std::string& path, const std::string& destination, bool links) {
  qv::Error error;
  if (SSZipArchive::unzipFileAtPath(path, destination, true, std::nullopt, &error, links)) return true;
  QV_LOG_FAILURE("![SSZipArchive unzipFileAtPath:" + path + " toDestination:" + destination +
                 " overwrite:YES password:nil error:" + describe(error) + "]");
  return false;
}

bool QVZipArchiveHelper::zipDocumentAtURL(const std::string& url) {
  fs::path document = fs::path(url).lexically_normal();
  if (document.filename().empty()) document = document.parent_path();  // "…/Doc/" names the folder too
  const fs::path temporary = fs::path(qv::places::temporaryDirectory()) / qv::stringWithUUID();
  if (!SSZipArchive::createZipFileAtPath(temporary.string(), document.string())) {
    QV_LOG_FAILURE("![SSZipArchive createZipFileAtPath:" + temporary.string() +
                   " withContentsOfDirectory:" + document.string() + "]");
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return false;
  }
  // Bring the archive next to the document first, then swap the two by renames inside one
  // folder, so that the document is never gone without the archive in its place.
  const fs::path parent = document.parent_path();
  const std::string tag = "." + document.filename().string() + "." + qv::stringWithUUID();
  const fs::path staged = parent / (tag + ".zip");
  const fs::path backup = parent / (tag + ".folder");
  std::error_code ec;
  if (!moveItem(temporary, staged, ec)) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] moveItemAtURL:" + temporary.string() +
                   " toURL:" + staged.string() + " error:" + ec.message() + "]");
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return false;
  }
  fs::rename(document, backup, ec);
  if (ec) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] removeItemAtURL:" + document.string() + " error:" + ec.message() +
                   "]");
    std::error_code ignored;
    fs::remove(staged, ignored);
    return false;
  }
  fs::rename(staged, document, ec);
  if (ec) {
    QV_LOG_FAILURE("![[NSFileManager defaultManager] moveItemAtURL:" + staged.string() + " toURL:" + document.string() +
                   " error:" + ec.message() + "]");
    std::error_code ignored;
    fs::rename(backup, document, ignored);
    fs::remove(staged, ignored);
    return false;
  }
  fs::remove_all(backup, ec);
  if (ec)
    QV_LOG_FAILURE("![[NSFileManager defaultManager] removeItemAtURL:" + backup.string() + " error:" + ec.message() +
                   "]");
  return true;
}

std::optional<std::string> QVZipArchiveHelper::unzipDocumentAtURL(const std::string& url) {
  const fs::path folder = fs::path(qv::places::temporaryDirectory()) / qv::stringWithUUID();
  if (!unzipFileAtPath(url, folder.string())) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return std::nullopt;
  }
  return folder.string();
}
