#include "Ombrel/Classes/Application/PluginMode/QVPluginExportViewController.h"

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

QVPluginExportViewController::QVPluginExportViewController(QVPluginExportLayoutDelegate* layoutDelegate)
    : layoutDelegate_(layoutDelegate) {}

QVPluginExportViewController::~QVPluginExportViewController() = default;

void QVPluginExportViewController::viewDidLoad() {
  QVExportViewController::viewDidLoad();
  auto& center = qv::NotificationCenter::defaultCenter();
  applyToken_ =
      center.addObserver(kQVApplyPluginNotificationName, nullptr, [this](const qv::Notification&) { onApply(); });
  cancelToken_ =
      center.addObserver(kQVCancelPluginNotificationName, nullptr, [this](const qv::Notification&) { onCancel(); });
  updateHostTitle();
}

std::shared_ptr<QVPluginController> QVPluginExportViewController::pluginController() {
  return std::dynamic_pointer_cast<QVPluginController>(exportManager());
}

void QVPluginExportViewController::updateHostTitle() {
  const int32_t owner = pluginController() ? pluginController()->modeManager().pluginOwner() : kQVPluginOwnerUnknown;
  QVLabel* title = exportInProgressView()->titleLabel();
  title->setTitle(qv::QVSLocalization::localizedStringForKey(QVPluginScreenRules::hostTitle(owner)));
  title->setSpacing(2.0);
}

QVExportBeginView* QVPluginExportViewController::makeBeginView(uint64_t, bool) {
  auto manager = exportManager();
  const uint64_t elements =
      layoutDelegate_ ? layoutDelegate_->overlayElementsLayoutWithPathsCount(manager ? manager->paths().size() : 0)
                      : (kQVPluginElementButton | kQVPluginElementSlider);
  auto* view = QVMake<QVPluginSingleExportView>(elements);
  view->setActionHandler([this] { onApply(); });
  return view;
}

void QVPluginExportViewController::onApply() {
  QVLogInfo("plug-in: apply");
  if (!QVPluginScreenRules::shouldStartExport(currentState(), QVApp::exporting())) return;
  auto manager = exportManager();
  if (!manager || manager->paths().empty()) {
    QVLogInfo("plug-in: no host images, nothing to export");
    return;
  }
  beginExport(manager->paths(), 0, manager);
}

void QVPluginExportViewController::onCancel() {
  QVLogInfo("plug-in: cancel");
  cancelExport();
}

void QVPluginExportViewController::prepareViewsForExport(uint64_t type, uint64_t filesCount) {
  QVExportViewController::prepareViewsForExport(type, filesCount);
  updateHostTitle();
}

void QVPluginExportViewController::finishExport() {
  if (auto controller = pluginController()) controller->cancelPlugin();
}
