#pragma once
// The controls of one host on the plug-in installer screen.
class QVLoadingSpinnerView;
class QVRoundedSpringButton;
class QVImageViewInteractable;
class QVLabel;

struct QVPluginInstallUIPack {
  QVLoadingSpinnerView* spinnerView = nullptr;
  QVRoundedSpringButton* installButton = nullptr;
  QVImageViewInteractable* icon = nullptr;
  QVLabel* statusTitle = nullptr;
};
