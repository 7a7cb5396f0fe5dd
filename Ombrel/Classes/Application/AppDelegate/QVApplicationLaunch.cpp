#include "Ombrel/Classes/Application/AppDelegate/QVApplicationLaunch.h"

#include <QIcon>
#include <QScreen>
#include <algorithm>

#include "Ombrel/Classes/Application/Alerts/QVModalAlerts.h"
#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/AppDelegate/QVSingleInstance.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"

std::shared_ptr<QVAppDelegate> QVLaunchApplication(QVApplication& app, const std::vector<std::string>& arguments,
                                                   std::vector<std::string> paths, QVSingleInstance& instance) {
  // A plug-in run is its own instance: it takes no other invocation's photos.
  const bool pluginRun = QVAppLink::isPluginRunArguments(arguments);
  QGuiApplication::setWindowIcon(QIcon::fromTheme(
      QStringLiteral("app.solvane.Solvane"),
      QIcon(QString::fromStdString(qv::Bundle::mainBundle().resourcePath() + "/Desktop/app.solvane.Solvane.svg"))));
  // Thumbnails are made for the sharpest screen the window may be shown on.
  double scale = 1;
  for (const QScreen* screen : QGuiApplication::screens()) scale = std::max(scale, screen->devicePixelRatio());
  QVSolvaneHelpers::setDisplayScale(scale);
  QVFonts::loadOnce();
  app.setFont(QVFonts::systemFontOfSize(13));
  QVUIStyle::applyToApplication(app);
  QVMainExecutorBridge::install();
  QVAppLink::configureWithArguments(arguments);
  // The host's images, not every argument that looks like a path (save paths need not exist).
  if (pluginRun) paths = QVAppLink::pluginPhotoCollection();
  QVSolvaneTopBarView::setPluginModeQuery([] { return QVAppLink::isPluginMode(); });
  if (!QVAppLink::startEngine()) QVLogError("the image engine did not start");

  // The application core's alerts appear as the application's message boxes.
  QVSolvaneAlerts::setPresenter(std::make_shared<QVModalAlerts>());
  auto delegate = QVAppDelegate::make();
  app.setShortcutValidator([weak = std::weak_ptr(delegate)] {
    if (auto d = weak.lock()) d->validateAllMenus();
  });
  if (!pluginRun) {
    instance.setWaitQuery([weak = std::weak_ptr(delegate)] {
      auto d = weak.lock();
      return d && d->handedFilesWaitForExport();
    });
    instance.listen([weak = std::weak_ptr(delegate)](const std::vector<std::string>& handed) {
      if (auto d = weak.lock()) d->applicationOpenFiles(handed);
    });
  }
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [weak = std::weak_ptr(delegate)] {
    if (auto d = weak.lock()) d->applicationWillTerminate();
  });

  delegate->applicationWillFinishLaunching();
  if (paths.empty()) {
    delegate->applicationOpenUntitledFile();
  } else {
    delegate->applicationOpenFiles(paths);
  }
  delegate->applicationDidFinishLaunching();
  return delegate;
}
