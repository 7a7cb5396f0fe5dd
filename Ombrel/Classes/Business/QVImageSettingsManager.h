#pragma once
// Per-image settings for one run (nothing is written to disk): the enhancement strength of each
// source image (the strength slider's amount, 0 to 1, where 1 is the full enhancement), whether it
// was exported since it last changed, and two run-wide counters of tracked image loads and exports.
//
// A photo counts as exported from the end of an export that wrote it until its strength changes
// (or a setting every photo follows does, `forgetExports`): closing asks to save first while an
// open photo is not exported.
//
// An image's key is the MD5 of its path lower-cased, so paths that differ only in letter case
// share one setting. A setting is made with amount 1.0 on first use. Inside the photo-library
// extension amounts are never stored.
//
// Thread-safe: the main thread (slider, screens) and the blending queue both read and write the
// amounts, so every access to the table holds one lock, and a setting's amount is atomic.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QVImageSetting {
 public:
  double amount() const { return amount_.load(); }
  // A different strength makes an earlier export of the photo out of date.
  void setAmount(double amount) {
    if (amount_.exchange(amount) != amount) exported_.store(false);
  }
  bool exported() const { return exported_.load(); }
  void setExported(bool exported) { exported_.store(exported); }

 private:
  std::atomic<double> amount_{1.0};
  std::atomic<bool> exported_{false};
};

class QVImageSettingsManager {
 public:
  using SettingPtr = std::shared_ptr<QVImageSetting>;

  // The key of an image path: the MD5 of the lower-cased path.
  static std::string keyForImagePath(const std::string& path);

  // The setting of the path, made (amount 1.0) and stored when there is none.
  SettingPtr settingAtPath(const std::string& path);
  double amountAtImagePath(const std::string& path) { return settingAtPath(path)->amount(); }
  // Nothing inside the photo-library extension.
  void updateAmount(double amount, const std::string& path);
  // Whether the photo was exported since it last changed (false for a photo without a setting).
  bool isExportedAtImagePath(const std::string& path) const;
  void setExportedAtImagePaths(const std::vector<std::string>& paths, bool exported);
  // Every photo's export is out of date (a setting that changes every rendering changed).
  void forgetExports();
  // Removes every setting; the counters keep their values.
  void clean();

  // The setting under a key; nullptr for no key or none stored.
  SettingPtr objectForKeyedSubscript(const std::optional<std::string>& key) const;
  // A null setting removes the key; no key does nothing.
  void setObject(SettingPtr setting, const std::optional<std::string>& key);
  size_t count() const;

  uint64_t imageLoadsCount() const { return imageLoadsCount_.load(); }
  void setImageLoadsCount(uint64_t count) { imageLoadsCount_.store(count); }
  uint64_t imageExportsCount() const { return imageExportsCount_.load(); }
  void setImageExportsCount(uint64_t count) { imageExportsCount_.store(count); }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, SettingPtr> settingsDic_;
  std::atomic<uint64_t> imageLoadsCount_{0};
  std::atomic<uint64_t> imageExportsCount_{0};
};
