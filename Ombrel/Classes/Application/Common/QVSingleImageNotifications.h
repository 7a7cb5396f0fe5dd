#pragma once
// Notifications of the single-image screens and the strength slider, on the default centre.
//
// "QVBoostSliderDidChangeAmount": the strength slider's new amount while the user drags, object a
//   std::shared_ptr<double> (value / maxScaleValue, 0.0 to 1.0), posted once per whole step.
// "QVBoostSliderDidChangeShowState": posted by the view that hosts the slider when it starts
//   opening (object std::shared_ptr<bool> true) or closing (false).
// "QVExportViewStateDidChange": a single-image screen entered a new state, object a
//   std::shared_ptr<uint64_t> (0 processing, 1 processed, 2 exporting).
#include <cstdint>
#include <memory>
#include <optional>

#include "QVPlatform/NotificationCenter.h"

inline constexpr const char* kQVBoostSliderDidChangeAmountNotification = "QVBoostSliderDidChangeAmount";
inline constexpr const char* kQVBoostSliderDidChangeShowStateNotification = "QVBoostSliderDidChangeShowState";
inline constexpr const char* kQVExportViewStateDidChangeNotification = "QVExportViewStateDidChange";

namespace QVSingleImageNotifications {
template <class T>
std::optional<T> objectValue(const qv::Notification& notification) {
  if (auto value = notification.objectAs<T>()) return *value;
  return std::nullopt;
}
}  // namespace QVSingleImageNotifications
