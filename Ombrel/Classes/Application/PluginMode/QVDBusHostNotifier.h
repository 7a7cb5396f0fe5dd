#pragma once
// The host notifier over the session bus: one broadcast signal per post (see QVHostNotifier.h).
// Without a session bus the post is logged instead, so a run outside a desktop session still ends.
#include <QDBusMessage>

#include "Ombrel/Classes/Application/PluginMode/QVHostNotifier.h"

class QVDBusHostNotifier : public QVHostNotifier {
 public:
  using QVHostNotifier::post;
  void post(const std::string& name, const std::vector<std::string>& texts,
            const std::vector<std::string>& paths) override;
  // The signal of one post: this process's id (uint32), the texts (strings), the paths (byte arrays).
  static QDBusMessage message(const std::string& name, const std::vector<std::string>& texts,
                              const std::vector<std::string>& paths);
};
