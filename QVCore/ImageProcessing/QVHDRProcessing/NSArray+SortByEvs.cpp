#include "QVCore/ImageProcessing/QVHDRProcessing/NSArray+SortByEvs.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "rova/hdr/HDRMerge.h"

namespace NSArraySortByEvs {
namespace {
struct Entry {
  Paths urls;
  EVs evs;
};
std::mutex& cacheMutex() {
  static std::mutex m;
  return m;
}
// Keyed by the sorted paths themselves rather than by their joined text: joined without a
// separator, two different sets can give the same text ("/a" + "/b/c" and "/a/b" + "/c").
std::map<Paths, Entry>& sortedCache() {
  static std::map<Paths, Entry> cache;
  return cache;
}
Paths cacheKey(const Paths& paths) {
  Paths sorted = paths;
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}
}  // namespace

bool validateFilesExists(const Paths& paths) {
  if (paths.empty()) return false;
  std::error_code ec;
  for (const auto& p : paths)
    if (!std::filesystem::exists(p, ec)) return false;
  return true;
}

std::string pathsKey(const Paths& paths) {
  Paths sorted = paths;
  std::sort(sorted.begin(), sorted.end());
  std::string key;
  for (const auto& p : sorted) key += p;
  return key;
}

std::vector<const char*> cPaths(const Paths& paths) {
  std::vector<const char*> out;
  out.reserve(paths.size());
  for (const auto& p : paths) out.push_back(p.c_str());
  return out;
}

void getCachedSortedUrlsAndEvs(const Paths& paths, const std::function<void(const Paths&, const EVs&)>& block) {
  Entry entry;
  {
    std::lock_guard<std::mutex> lock(cacheMutex());
    auto it = sortedCache().find(cacheKey(paths));
    if (it == sortedCache().end()) return;
    entry = it->second;
  }
  if (block) block(entry.urls, entry.evs);
}

void cacheSortedURLs(const Paths& paths, const Paths& sortedUrls, const EVs& evs) {
  std::lock_guard<std::mutex> lock(cacheMutex());
  sortedCache()[cacheKey(paths)] = Entry{sortedUrls, evs};
}

void sortPathsByEvsWithCompletion(const Paths& paths, const std::function<void(Paths, EVs)>& completion) {
  Paths sorted;
  std::vector<float> evs;
  rova::getSortedPathsAndEVsFromPaths(cPaths(paths), sorted, evs);
  Paths resultPaths;
  EVs resultEVs;
  for (size_t i = 0; i < sorted.size() && i < evs.size(); ++i) {
    resultPaths.push_back(sorted[i]);
    resultEVs.push_back(std::isnan(evs[i]) ? 0.0 : double(evs[i]));
  }
  if (completion) completion(std::move(resultPaths), std::move(resultEVs));
}

void sortUrlsByEvsWithCompletion(const Paths& urls, const Completion& completion) {
  if (!validateFilesExists(urls)) {
    if (completion) completion(std::nullopt, std::nullopt);
    return;
  }
  std::optional<Paths> sortedUrls;
  std::optional<EVs> evs;
  getCachedSortedUrlsAndEvs(urls, [&](const Paths& u, const EVs& e) {
    sortedUrls = u;
    evs = e;
  });
  if (!sortedUrls || !evs) {
    sortPathsByEvsWithCompletion(urls, [&](Paths p, EVs e) {
      sortedUrls = std::move(p);
      evs = std::move(e);
    });
  }
  if (!sortedUrls || !evs) return;
  cacheSortedURLs(urls, *sortedUrls, *evs);
  if (completion) completion(sortedUrls, evs);
}

}  // namespace NSArraySortByEvs
