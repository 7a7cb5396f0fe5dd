#pragma once
// What the plug-in installer writes into each host's template: the application's name, the
// plug-in's name (also the template's file name) and the application's fixed identifier.
#include <string>

struct QVPluginLaunchInfo {
  std::string applicationName;
  std::string pluginAppName;
  std::string applicationUUID;
  bool operator==(const QVPluginLaunchInfo&) const = default;
};
