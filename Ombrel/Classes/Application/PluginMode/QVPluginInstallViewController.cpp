#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallViewController.h"

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVLoadingSpinnerView.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVPlatform/Localization.h"

namespace {

std::string L(const std::string& key) { return qv::QVSLocalization::localizedStringForKey(key); }

constexpr double kMargin = 30;
constexpr double kRowHeight = 36;
constexpr double kButtonWidth = 110;
constexpr double kIconSize = 16;
constexpr double kSpinnerSize = 26;

// Places a view by its rectangle from the top left inside a parent of height `height`.
void place(QVBasicView* view, double x, double yFromTop, double width, double height, double parentHeight) {
  view->setFrame(CGRectMake(x, parentHeight - yFromTop - height, width, height));
}

}  // namespace

QVPluginInstallViewController::QVPluginInstallViewController(std::shared_ptr<QVSolvanePluginsInstaller> installer)
    : installer_(installer ? std::move(installer) : QVSolvanePluginsInstaller::sharedInstaller()) {}

QVPluginInstallViewController::~QVPluginInstallViewController() {
  *alive_ = false;
  if (observerToken_) installer_->removeObserver(observerToken_);
}

void QVPluginInstallViewController::viewDidLoad() {
  QVViewControllerWithoutNib::viewDidLoad();
  QVView* root = mainView();
  const QFont buttonFont = QVFonts::fontWithName("SF Pro Display Medium", 14);

  headingLabel_ = QVMake<QVLabel>();
  headingLabel_->setFont(QVFonts::fontWithName("SFProDisplay-Semibold", 18));
  headingLabel_->setTitleColor(Qt::white);
  headingLabel_->setTitle(L("Plug-ins for your photo applications"));
  headingLabel_->setAlignment(0);
  root->addSubview(headingLabel_);

  auto makeName = [&](const char* name) {
    auto* label = QVMake<QVLabel>();
    label->setFont(QVFonts::fontWithName("SF Pro Display", 15));
    label->setTitleColor(Qt::white);
    label->setTitle(L(name));
    label->setAlignment(0);
    root->addSubview(label);
    return label;
  };
  psNameLabel_ = makeName("Adobe Photoshop");
  lrNameLabel_ = makeName("Adobe Lightroom");

  auto makePack = [&](int64_t type) {
    QVPluginInstallUIPack pack;
    pack.statusTitle = QVMake<QVLabel>();
    pack.statusTitle->setFont(QVFonts::fontWithName("SF Pro Display", 14));
    pack.statusTitle->setAlignment(0);
    root->addSubview(pack.statusTitle);
    pack.icon = QVMake<QVImageViewInteractable>();
    pack.icon->setImage(
        QVArtwork::imageNamed("plugin_installed_icon", CGSizeMake(kIconSize, kIconSize), QVUIStyle::themeColor()));
    root->addSubview(pack.icon);
    pack.spinnerView = QVMake<QVLoadingSpinnerView>();
    root->addSubview(pack.spinnerView);
    pack.installButton = QVCommonUISamples::roundedSpringButtonWithTitle(
        L("Install"), buttonFont, Qt::white, QVUIStyle::themeColor(), root,
        [this, type](QObject*, QVTitledButton*) { pluginButtonClicked(type); });
    root->addSubview(pack.installButton);
    return pack;
  };
  psUIPack_ = makePack(kQVPluginTypePhotoshop);
  lrUIPack_ = makePack(kQVPluginTypeLightroom);

  cancelButton_ =
      QVCommonUISamples::roundedSpringButtonWithTitle(L("Done"), buttonFont, Qt::white, QColor(59, 59, 59), root,
                                                      [this](QObject*, QVTitledButton*) { onCancelButton(); });
  root->addSubview(cancelButton_);
  root->addConstraint([this] { layoutContent(); });
  initUI();
}

void QVPluginInstallViewController::layoutContent() {
  QVView* root = mainView();
  const double width = root->width(), height = root->height();
  const double buttonX = width - kMargin - kButtonWidth;
  place(headingLabel_, kMargin, 22, width - 2 * kMargin, 28, height);
  const double rows[2] = {66, 112};
  QVLabel* names[2] = {psNameLabel_, lrNameLabel_};
  const QVPluginInstallUIPack* packs[2] = {&psUIPack_, &lrUIPack_};
  for (int i = 0; i < 2; ++i) {
    const double y = rows[i];
    place(names[i], kMargin, y, 190, kRowHeight, height);
    place(packs[i]->icon, 230, y + (kRowHeight - kIconSize) / 2, kIconSize, kIconSize, height);
    place(packs[i]->statusTitle, 230 + kIconSize + 8, y, 130, kRowHeight, height);
    place(packs[i]->spinnerView, buttonX - kSpinnerSize - 12, y + (kRowHeight - kSpinnerSize) / 2, kSpinnerSize,
          kSpinnerSize, height);
    place(packs[i]->installButton, buttonX, y, kButtonWidth, kRowHeight, height);
  }
  place(cancelButton_, buttonX, height - 20 - 34, kButtonWidth, 34, height);
}

void QVPluginInstallViewController::initUI() {
  updateUIForPluginType(kQVPluginTypePhotoshop, kQVPluginStatusUnknown, psUIPack_);
  updateUIForPluginType(kQVPluginTypeLightroom, kQVPluginStatusUnknown, lrUIPack_);
}

void QVPluginInstallViewController::setLaunchInfo(const QVPluginLaunchInfo& info) {
  if (info == launchInfo_) return;
  launchInfo_ = info;
  installer_->setLaunchInfo(info);
}

void QVPluginInstallViewController::viewWillAppear() {
  view();
  if (!observerToken_) {
    std::weak_ptr<bool> alive = alive_;
    observerToken_ = installer_->addObserver([this, alive](const std::string& keyPath) {
      if (alive.lock()) observeValueForKeyPath(keyPath);
    });
  }
  installer_->checkAndUpdatePluginsAsync();
  installer_->validateLightroomInstallStatusAsync();
  installer_->validatePhotoshopInstallStatusAsync();
}

void QVPluginInstallViewController::observeValueForKeyPath(const std::string& keyPath) {
  const int64_t type = keyPath.find("photoshop") != std::string::npos   ? kQVPluginTypePhotoshop
                       : keyPath.find("lightroom") != std::string::npos ? kQVPluginTypeLightroom
                                                                        : 0;
  std::weak_ptr<bool> alive = alive_;
  QVDispatchOnMainThread([this, alive, type] {
    if (!alive.lock()) return;
    // Read on the main thread, so the controls show the installer's latest state.
    if (auto pack = uiPackForPluginType(type)) updateUIForPluginType(type, pluginStatusForType(type), *pack);
  });
}

int64_t QVPluginInstallViewController::pluginStatusForType(int64_t type) const {
  if (type == kQVPluginTypePhotoshop) {
    if (installer_->isPhotoshopInstallationExecuting()) return kQVPluginStatusInstalling;
    return installer_->isPhotoshopPluginInstalled() ? kQVPluginStatusInstalled : kQVPluginStatusNotInstalled;
  }
  if (type == kQVPluginTypeLightroom) {
    if (installer_->isLightroomInstallationExecuting()) return kQVPluginStatusInstalling;
    return installer_->isLightroomPluginInstalled() ? kQVPluginStatusInstalled : kQVPluginStatusNotInstalled;
  }
  return kQVPluginStatusNotInstalled;
}

std::optional<QVPluginInstallUIPack> QVPluginInstallViewController::uiPackForPluginType(int64_t type) const {
  if (type == kQVPluginTypePhotoshop) return psUIPack_;
  if (type == kQVPluginTypeLightroom) return lrUIPack_;
  return std::nullopt;
}

void QVPluginInstallViewController::updateUIForPluginType(int64_t, int64_t status, const QVPluginInstallUIPack& pack) {
  const bool installed = status == kQVPluginStatusInstalled;
  const bool installing = status == kQVPluginStatusInstalling;
  const bool enabled = status == kQVPluginStatusInstalled || status == kQVPluginStatusNotInstalled;
  pack.installButton->setTitle(L(installed ? "Uninstall" : "Install"));
  pack.installButton->setEnabled(enabled);
  pack.installButton->setAlpha(enabled ? 1.0 : 0.3);
  pack.statusTitle->setTitle(L(installed ? "Installed" : "Not Installed"));
  pack.statusTitle->setTitleColor(installed ? QVUIStyle::themeColor() : QColor(Qt::white));
  pack.icon->setHidden(!installed);
  pack.spinnerView->setHidden(!installing);
  if (installing) {
    pack.spinnerView->startAnimating();
  } else {
    pack.spinnerView->stopAnimating();
  }
}

void QVPluginInstallViewController::pluginButtonClicked(int64_t type) {
  if (type == kQVPluginTypePhotoshop) installer_->installPhotoshopPlugin();
  if (type == kQVPluginTypeLightroom) installer_->installLightroomPlugin();
}

void QVPluginInstallViewController::onCancelButton() {
  if (delegate_) delegate_->pluginInstallViewControllerDidClickFinish(this);
}
