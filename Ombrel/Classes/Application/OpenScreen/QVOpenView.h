#pragma once
// The open screen's root view: a dark stage with the rounded panel (QVOpenSpringView) in the
// middle, which holds the title bar the window controller hands in, and above the panel the
// controls: the logo, the line inviting the user to drag photos in, the import button, the sample
// link and the formats the application reads.
//
// While a drag hovers, the first photo shows blurred in the panel (`setBlurImageURL`), the panel
// springs up and the import button dims to 0.3; the photo follows the pointer (`setDragLocation`).
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "Ombrel/Classes/Application/OpenScreen/QVOpenSpringView.h"
#include "QVAppKit/QVAbstractButton.h"
#include "QVAppKit/QVFrameChangingView.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVSpringButton.h"

inline constexpr const char* kQVOpenSampleImageClicked = "QVOpenSampleImageClicked";

// The logo, drawn from our SVG artwork at any scale.
class QVOpenLogoView : public QVView {
 public:
  using QVView::QVView;

 protected:
  void drawContent(QPainter& painter) override;

 private:
  QPixmap picture_;
};

class QVOpenView : public QVFrameChangingView {
 public:
  // The panel's inset from the stage's edges, so its pop to 1.1 stays inside the window.
  static constexpr double kPanelInset = 21;

  using QVFrameChangingView::QVFrameChangingView;
  void initialize() override;
  void addSubviews() override;
  void layout() override;
  void onViewFrameChanged() override;

  QVView* titleBarContainer() const { return titleBarContainer_; }
  QVOpenSpringView* springView() const { return springView_; }
  QVRoundedSpringButton* openButton() const { return openButton_; }
  QVView* controlsContainer() const { return controlsContainer_; }
  QVLabel* dragPhotoLabel() const { return dragPhotoLabel_; }
  QVView* imageView() const { return imageView_; }
  QVLabel* orLabel() const { return orLabel_; }
  QVLabel* imageFormatsLabel() const { return imageFormatsLabel_; }
  QVAbstractButton* openSampleButton() const { return openSampleButton_; }
  // The accent ring around the popped panel while a drag hovers.
  QVView* dropRing() const { return dropRing_; }

  QWidget* titleBarView() const { return titleBarView_; }
  // Puts the bar in the title-bar container (none removes the kept one).
  void setTitleBarView(QWidget* view);
  const std::optional<std::string>& blurImageURL() const { return blurImageURL_; }
  void setBlurImageURL(const std::optional<std::string>& url);
  // The completion runs once the photo is shown; nothing runs when the URL is unchanged or none.
  void setBlurImageURL(const std::optional<std::string>& url, std::function<void(bool finished)> completion);
  CGPoint dragLocation() const { return dragLocation_; }
  void setDragLocation(CGPoint location);

  void animateBlurImage() { animateBlurImageWithImageSetCompletion(nullptr); }
  void animateBlurImageWithImageSetCompletion(std::function<void(bool finished)> completion);
  void updateBlurredImagePosition();
  void changeControlsVisibility(bool visible);
  void animateImportButton(bool show);
  void sampleImageDidClick();

  // Called with the import button's click (the controller's `loadDocument`).
  std::function<void()> onImport;

  // "JPEG, PNG, TIFF, WebP and camera RAW": the families of the document types we open.
  static std::string supportedFormatsText();

 protected:
  void drawContent(QPainter& painter) override;

 private:
  void configureOpenButton();
  void configureSampleButton();
  void configureFormatsLabel();
  void paintStage(QPainter& painter);

  QPointer<QVView> titleBarContainer_;
  QPointer<QVOpenSpringView> springView_;
  QPointer<QVRoundedSpringButton> openButton_;
  QPointer<QVView> controlsContainer_;
  QPointer<QVView> dropRing_;
  QPointer<QVLabel> dragPhotoLabel_;
  QPointer<QVOpenLogoView> imageView_;
  QPointer<QVLabel> orLabel_;
  QPointer<QVLabel> imageFormatsLabel_;
  QPointer<QVAbstractButton> openSampleButton_;
  QPointer<QWidget> titleBarView_;
  std::optional<std::string> blurImageURL_;
  CGPoint dragLocation_ = CGPointZero;
  QPixmap stage_;
};
