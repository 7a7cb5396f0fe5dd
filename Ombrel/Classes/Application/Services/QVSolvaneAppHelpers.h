#pragma once
// The application's small services that reach the desktop: web pages and the "tell a friend" mail
// through the desktop's opener, the internet-connection test, and the export manager chosen for a
// platform. The opener sits behind `QVDesktopOpener`, so tests script it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"

// What opens URLs and composes mail on the desktop.
class QVDesktopOpener {
 public:
  virtual ~QVDesktopOpener() = default;
  virtual bool openURL(const std::string& url) = 0;
  virtual bool composeMail(const QVMailMessage& message) = 0;
  // As above; `failed` runs on the main thread, at once or later, when no program of the desktop
  // took the URL or the message (no browser or mail program). These defaults only know the answer.
  virtual void openURLWatched(const std::string& url, std::function<void()> failed) {
    if (!openURL(url) && failed) failed();
  }
  virtual void composeMailWatched(const QVMailMessage& message, std::function<void()> failed) {
    if (!composeMail(message) && failed) failed();
  }
};

// The desktop's own: URLs through `xdg-open`; mail through `xdg-email` when it is installed, else
// a "mailto:" URL (which cannot carry attachments). Both watched through the sharing services'
// launcher.
class QVSystemDesktopOpener : public QVDesktopOpener {
 public:
  bool openURL(const std::string& url) override;
  bool composeMail(const QVMailMessage& message) override;
  void openURLWatched(const std::string& url, std::function<void()> failed) override;
  void composeMailWatched(const QVMailMessage& message, std::function<void()> failed) override;
  // The `xdg-email` arguments for a message.
  static std::vector<std::string> xdgEmailArguments(const QVMailMessage& message);
  // "mailto:a@b?subject=...&body=..." with every reserved character percent-escaped.
  static std::string mailtoURL(const QVMailMessage& message);
};

class QVSolvaneAppHelpers {
 public:
  // The opener in use (the system's unless one was set; nullptr restores it).
  static void setDesktopOpener(std::shared_ptr<QVDesktopOpener> opener);
  static std::shared_ptr<QVDesktopOpener> desktopOpener();

  // Opens the web page; when no browser takes it, an alert says so and gives the address.
  static bool openURLString(const std::string& url);
  // The localised "tell a friend" mail; sent to the opener only when it has a body to send. When
  // no mail program takes it, an alert says so and gives the web site to pass on.
  static bool tellFriendAction();
  static QVMailMessage tellFriendMessage();
  // Whether the public web service looks reachable. Reads the routing table, resolves no name and
  // never waits on the network, so the main thread may ask.
  static bool internetConnection();
  // "QVPluginController" in plug-in mode, else "QVExportManagerBusiness" for platform 3 and
  // "QVExportManager" for any other.
  static std::string exportManagerClassForPlatform(uint64_t platform, bool pluginMode);
};
