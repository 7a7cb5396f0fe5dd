#pragma once
// Ordering a set of bracket files by exposure value through the engine, remembered for the process
// per set of paths (the same files in any order give the same answer, even when a file has been
// replaced since).
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace NSArraySortByEvs {

using Paths = std::vector<std::string>;
using EVs = std::vector<double>;
// Paths and EVs in EV order; both nullopt when the files do not all exist.
using Completion = std::function<void(std::optional<Paths> urls, std::optional<EVs> evs)>;

// Runs the completion before returning: nullopt twice for an empty array or a missing file, else
// the cached or freshly sorted order (and caches it).
void sortUrlsByEvsWithCompletion(const Paths& urls, const Completion& completion);
// The engine's order without the cache; an EV that is not a number becomes 0.
void sortPathsByEvsWithCompletion(const Paths& paths, const std::function<void(Paths, EVs)>& completion);
// Not empty, and every path exists (stops at the first missing one).
bool validateFilesExists(const Paths& paths);
// "" followed by the paths sorted ascending, with no separator.
std::string pathsKey(const Paths& paths);
// Pointers into `paths`, in order; they live as long as `paths` is unchanged.
std::vector<const char*> cPaths(const Paths& paths);
void getCachedSortedUrlsAndEvs(const Paths& paths, const std::function<void(const Paths&, const EVs&)>& block);
void cacheSortedURLs(const Paths& paths, const Paths& sortedUrls, const EVs& evs);

}  // namespace NSArraySortByEvs
