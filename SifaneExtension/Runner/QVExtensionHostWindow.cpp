#include "SifaneExtension/Runner/QVExtensionHostWindow.h"

#include <QCloseEvent>
#include <cmath>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVCommonUISamples.h"
#include "QVAppKit/QVFonts.h"

QVExtensionHostWindow::QVExtensionHostWindow(QWidget* container, std::string title)
    : container_(container), titleText_(std::move(title)) {}

void QVExtensionHostWindow::addSubviews() {
  QVView::addSubviews();
  const std::string& title = titleText_;
  setBackgroundColor(Qt::black);
  setWindowTitle(QString::fromStdString(title));

  bar_ = QVMake<QVView>();
  bar_->setBackgroundColor(QVUIStyle::themeBGColor());
  addSubview(bar_);
  title_ = QVMake<QVLabel>();
  title_->setTitle(title);
  title_->setTitleColor(QColor(255, 255, 255, 220));
  title_->setFont(QVFonts::fontWithName("SFUIDisplay-Bold", 14));
  title_->setSpacing(0.5);
  bar_->addSubview(title_);

  const QFont buttonFont = QVFonts::fontWithName("SFUIDisplay-Black", 13);
  cancel_ = QVCommonUISamples::roundedSpringButtonWithTitle("CANCEL", buttonFont, Qt::white, QColor(58, 58, 60), this,
                                                            [this](QObject*, QVTitledButton*) {
                                                              if (!finishing_ && onCancel_) onCancel_();
                                                            });
  done_ = QVCommonUISamples::roundedSpringButtonWithTitle("DONE", buttonFont, Qt::black, Qt::white, this,
                                                          [this](QObject*, QVTitledButton*) {
                                                            if (!finishing_ && onDone_) onDone_();
                                                          });
  for (QVRoundedSpringButton* button : {cancel_, done_}) {
    button->setKerning(2.0);
    button->setCornerRadius(kButtonHeight / 2);
    bar_->addSubview(button);
  }
  container_->setParent(this);
  container_->show();

  addConstraint([this] {
    const CGSize size = bounds().size;
    bar_->setFrame(CGRectMake(0, size.height - kBarHeight, size.width, kBarHeight));
    if (auto* view = dynamic_cast<QVBasicView*>(container_)) {
      view->setFrame(CGRectMake(0, 0, size.width, size.height - kBarHeight));
    } else {
      container_->setGeometry(0, int(kBarHeight), int(size.width), int(size.height - kBarHeight));
    }
    const double y = std::round((kBarHeight - kButtonHeight) / 2);
    done_->setFrame(CGRectMake(size.width - kMargin - kButtonWidth, y, kButtonWidth, kButtonHeight));
    cancel_->setFrame(CGRectMake(size.width - 2 * (kMargin + kButtonWidth), y, kButtonWidth, kButtonHeight));
    const CGSize titleSize = title_->intrinsicContentSize();
    title_->setFrame(
        CGRectMake(kMargin + 8, std::round((kBarHeight - titleSize.height) / 2), titleSize.width, titleSize.height));
  });
}

void QVExtensionHostWindow::setButtonsEnabled(bool enabled) {
  finishing_ = !enabled;
  for (QVRoundedSpringButton* button : {cancel_, done_}) button->setAlpha(enabled ? 1.0 : 0.4);
}

void QVExtensionHostWindow::closeEvent(QCloseEvent* event) {
  // Closing the window is the host's Cancel (ignored while an edit is being finished).
  event->ignore();
  if (!finishing_ && onCancel_) onCancel_();
}
