#include "Ombrel/Classes/Application/Export/QVExportEndView.h"

#include <QPointer>
#include <QString>

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "QVPlatform/Localization.h"

namespace {
std::string localized(const char* key) { return qv::QVSLocalization::localizedStringForKey(key); }
std::string upper(const std::string& text) { return QString::fromStdString(text).toUpper().toStdString(); }
}  // namespace

void QVExportEndView::initialize() {
  QPointer<QVExportEndView> weak(this);
  revealButton_ = makeButton(this, localized("REVEAL IN FINDER"), [weak] {
    if (weak) weak->revealButtonDidClick();
  });
  revealButton_->hoverParams()->setScale(1.0);
  QVExportLabeledView::initialize();
  actionButton()->hoverParams()->setScale(1.0);
  actionButton()->setTitle(upper(localized("Done")));
  titleLabel()->setTitle(localized("EXPORT COMPLETE"));
  revealButton_->setHidden(!isShowRevealInFinderButton());
}

void QVExportEndView::addSubviews() {
  QVExportLabeledView::addSubviews();
  addSubview(revealButton_);
}

void QVExportEndView::setDelegate(QVExportEndViewDelegate* delegate) {
  delegate_ = delegate;
  setActionDelegate(delegate);
}

bool QVExportEndView::isShowRevealInFinderButton() const {
  return delegate_ && delegate_->shouldShowRevealInFinderForExportEndView(const_cast<QVExportEndView*>(this));
}

void QVExportEndView::setupLayoutConstraints() {
  QVExportLabeledView::setupLayoutConstraints();
  revealButton_->setHidden(!isShowRevealInFinderButton());
}

void QVExportEndView::layout() {
  QVExportLabeledView::layout();
  const CGRect title = titleLabel()->frame();
  revealButton_->setFrame(CGRectMake(std::round((bounds().size.width - kRevealWidth) / 2),
                                     title.origin.y - kRevealGap - kRevealHeight, kRevealWidth, kRevealHeight));
}

void QVExportEndView::setExportedCount(uint64_t written, uint64_t total) {
  titleLabel()->setTitle(written >= total ? localized("EXPORT COMPLETE")
                                          : QVLocalizedFormat("%lu OF %lu EXPORTED",
                                                              {std::to_string(written), std::to_string(total)}));
  setNeedsLayout();
}

void QVExportEndView::revealButtonDidClick() {
  if (delegate_) delegate_->exportEndViewDidClickReveal(this);
}
