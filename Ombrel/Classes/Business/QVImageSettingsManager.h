#pragma once
// Per-image settings for one run (nothing is written to disk): the enhancement strength of each
// source image (the strength slider's amount, 0 to 1, where 1 is the full enhancement) and two
// run-wide counters of tracked image loads and exports.
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

class QVImageSetting {
 public:
  double amount() const { return amount_.load(); }
  void setAmount(double amount) { amount_.store(amount); }

 private:
  std::atomic<double> amount_{1.0};
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
