#pragma once
// A tracked user action: one thing the user did (a screen, a category, an action and a label) for
// the analytics service. Actions are named by key; the texts reported come from the resource
// "AnalyticsProperties" (key → {"qv_screen", "qv_category", "qv_action", "qv_label"}), read once,
// and may be overridden per key through the appearance registry.
#include <memory>
#include <optional>
#include <string>

#include "QVPlatform/Value.h"

class QVTrackUserAction {
 public:
  QVTrackUserAction() = default;
  QVTrackUserAction(std::string displayName, std::string screen, std::string category, std::string action,
                    std::string label);
  static std::shared_ptr<QVTrackUserAction> initWithDisplayName(std::string displayName, std::string screen,
                                                                std::string category, std::string action,
                                                                std::string label);
  virtual ~QVTrackUserAction() = default;

  // The action of a key, nullptr when the properties have no entry for it.
  static std::shared_ptr<QVTrackUserAction> eventKeyed(const std::string& key);
  // A label given here wins over the registry's and the properties' label.
  static std::shared_ptr<QVTrackUserAction> eventKeyed(const std::string& key, const std::optional<std::string>& label);
  // The registry's entry of a key (made empty on first request); nullptr for an empty key. Its
  // non-empty fields override the properties' texts. Thread-safe; set fields before firing.
  static std::shared_ptr<QVTrackUserAction> appearanceForEventKeyed(const std::string& key);

  // The properties in use, and (tests, other applications) another file to read them from.
  static const qv::Value& analyticsProperties();
  static void setAnalyticsPropertiesPath(const std::string& path);

  // Hands the action to the analytics service.
  void fire() const;

  const std::string& displayName() const { return displayName_; }
  const std::string& screen() const { return screen_; }
  const std::string& category() const { return category_; }
  const std::string& action() const { return action_; }
  const std::string& label() const { return label_; }
  void setDisplayName(std::string v) { displayName_ = std::move(v); }
  void setScreen(std::string v) { screen_ = std::move(v); }
  void setCategory(std::string v) { category_ = std::move(v); }
  void setAction(std::string v) { action_ = std::move(v); }
  void setLabel(std::string v) { label_ = std::move(v); }

 private:
  std::string displayName_, screen_, category_, action_, label_;
};

// The action fired once at launch ("Launch App").
class QVAppLaunchAction : public QVTrackUserAction {
 public:
  static std::shared_ptr<QVTrackUserAction> appLaunched();
};
