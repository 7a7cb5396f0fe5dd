#pragma once
// The feedback window: 557 x 577, the application's top bar without a title over the feedback
// form. The main window makes it when the feedback command is chosen, keeps it and shows it.
//
// Main thread only.
#include <memory>

#include "Ombrel/Classes/Application/Controllers/QVWindowController.h"
#include "Ombrel/Classes/Application/Feedback/QVFeedbackViewController.h"
#include "QVAppKit/QVSolvaneTopBarView.h"

class QVFeedbackWindowController : public QVWindowController {
 public:
  // Without a sender the form goes through the facade.
  explicit QVFeedbackWindowController(std::shared_ptr<QVFeedbackSender> sender = nullptr);

  std::string className() const override { return "QVFeedbackWindowController"; }
  std::string viewControllerClassName() const override { return "QVFeedbackViewController"; }
  ViewControllerMaker viewControllerClass() const override;
  CGSize fixedSize() const override { return CGSizeMake(557, 577); }

  QVFeedbackViewController* feedbackViewController() const {
    return static_cast<QVFeedbackViewController*>(currentVC());
  }
  QVSolvaneTopBarView* topBar() const { return topBar_; }

  void windowWillClose() override;

 private:
  std::shared_ptr<QVFeedbackSender> sender_;
  QVSolvaneTopBarView* topBar_ = nullptr;
};
