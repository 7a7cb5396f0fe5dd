#pragma once
// The plug-in installer screen: per host (Photoshop, Lightroom) its name, whether its plug-in is
// installed, installing or missing, and one button (Install / Uninstall); "Done" closes the window.
// It follows the installer's four properties; the installer may announce changes on any thread,
// the controls change only on the main thread (the change hops there first).
//
// Status per host: 0 before the first answer, 1 not installed, 2 installing, 3 installed.
//
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>

#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallUIPack.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginLaunchInfo.h"
#include "Ombrel/Classes/Application/PluginMode/QVSolvanePluginsInstaller.h"
#include "QVAppKit/QVViewController.h"

class QVPluginInstallViewController;
class QVLabel;

class QVPluginInstallViewControllerDelegate {
 public:
  virtual ~QVPluginInstallViewControllerDelegate() = default;
  virtual void pluginInstallViewControllerDidClickFinish(QVPluginInstallViewController*) {}
};

inline constexpr int64_t kQVPluginStatusUnknown = 0;
inline constexpr int64_t kQVPluginStatusNotInstalled = 1;
inline constexpr int64_t kQVPluginStatusInstalling = 2;
inline constexpr int64_t kQVPluginStatusInstalled = 3;

class QVPluginInstallViewController : public QVViewControllerWithoutNib {
 public:
  // Without an installer the application's shared one.
  explicit QVPluginInstallViewController(std::shared_ptr<QVSolvanePluginsInstaller> installer = nullptr);
  ~QVPluginInstallViewController() override;

  void viewDidLoad() override;
  // Starts following the installer and asks it for the hosts' status.
  void viewWillAppear();

  QVPluginInstallViewControllerDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(QVPluginInstallViewControllerDelegate* delegate) { delegate_ = delegate; }
  const QVPluginLaunchInfo& launchInfo() const { return launchInfo_; }
  void setLaunchInfo(const QVPluginLaunchInfo& info);
  const std::shared_ptr<QVSolvanePluginsInstaller>& pluginsInstaller() const { return installer_; }

  int64_t pluginStatusForType(int64_t type) const;
  // The controls of type 1 or 2; none for another type.
  std::optional<QVPluginInstallUIPack> uiPackForPluginType(int64_t type) const;
  void updateUIForPluginType(int64_t type, int64_t status, const QVPluginInstallUIPack& pack);
  // The installer's change of `keyPath` (any thread).
  void observeValueForKeyPath(const std::string& keyPath);
  void pluginButtonClicked(int64_t type);
  void onCancelButton();

  QVRoundedSpringButton* cancelButton() const { return cancelButton_; }

 private:
  void initUI();
  void layoutContent();

  std::shared_ptr<QVSolvanePluginsInstaller> installer_;
  QVPluginInstallViewControllerDelegate* delegate_ = nullptr;
  QVPluginLaunchInfo launchInfo_;
  QVPluginInstallUIPack psUIPack_, lrUIPack_;
  QVLabel* headingLabel_ = nullptr;
  QVLabel* psNameLabel_ = nullptr;
  QVLabel* lrNameLabel_ = nullptr;
  QVRoundedSpringButton* cancelButton_ = nullptr;
  uint64_t observerToken_ = 0;
  // Dropped changes after the screen is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
