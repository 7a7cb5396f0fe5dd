#pragma once
// The extension's progress panel is the export panel's in-progress view (`QVExportProcessView`) for
// one photo exported to disk, in one part, with its cancel button hidden: the host's own Cancel is
// the way out of an edit.
//
// Main thread only.
#include <QPointer>

#include "Ombrel/Classes/Application/Export/QVExportProcessView.h"
#include "SifaneExtension/SingleImageViewController/QVExtensionProgressPanel.h"

class QVExtensionExportProgressPanel : public QVExtensionProgressPanel {
 public:
  QVExtensionExportProgressPanel();
  ~QVExtensionExportProgressPanel() override;

  QVExportProcessView* processView() const { return view_.data(); }

  QVView* panelView() override { return view_.data(); }
  void startExportOfImage(const std::string& imagePath) override;
  uint64_t partsCount() const override;
  uint64_t currentPart() const override;
  void setCurrentPart(uint64_t part) override;
  void waitEndAnimationWithCompletion(std::function<void()> completion) override;
  std::string titleText() const override;
  bool showsCancelButton() const override;

 private:
  QPointer<QVExportProcessView> view_;
};
