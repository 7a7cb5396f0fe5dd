#include "ChromePage.h"

#include <QMenu>
#include <cmath>
#include <memory>

#include "GalleryParts.h"
#include "QVAppKit/QVBackgroundView.h"
#include "QVAppKit/QVFramelessWindow.h"
#include "QVAppKit/QVLoadingAnimationView.h"
#include "QVAppKit/QVPhaseLabelView.h"
#include "QVAppKit/QVProgressView.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVWindowButton.h"

namespace gallery {

namespace {

const QColor kBar(29, 30, 32);  // the dark colour of the interface style
const QColor kTrack(38, 40, 46);
const QColor kTheme(29, 181, 101);  // the green accent
const QColor kPanel(16, 17, 20);

// The top bar's menu lives as long as the gallery.
std::shared_ptr<QMenu> titleMenu() {
  static auto menu = [] {
    auto m = std::make_shared<QMenu>();
    m->addAction("About Solvane");
    m->addAction("Preferences…");
    m->addSeparator();
    m->addAction("Quit Solvane");
    return m;
  }();
  return menu;
}

QVSolvaneTopBarView* topBar(QVBasicView* parent, CGRect frame, const std::string& title, uint64_t importKind) {
  auto* bar = QVSolvaneTopBarView::topBarWithMenu(titleMenu());
  bar->setBackgroundColor(kBar);
  parent->addSubview(bar);
  bar->setFrame(frame);
  bar->setTitle(title);
  bar->setImportButtonType(importKind);
  bar->layoutSubtreeIfNeeded();
  return bar;
}

// One row of the state sheet: the five images of a kind of window button.
void stateRow(QVBasicView* card, double y, const std::string& kind, const std::string& name) {
  text(card, CGRectMake(22, y - 2, 90, 18), name, "SFProText-Regular", 13, kMuted);
  const char* states[] = {"Active", "Rollover", "Pressed", "NotKey", "Inactive"};
  for (int i = 0; i < 5; ++i) {
    auto* image = QVMake<QVChromeImageView>(CGRectMake(140 + i * 74, y, 14, 14));
    image->setImage(QVChromeImageNamed("WindowButton" + kind + states[i]));
    image->setShadow(QVShadow{QColor(0, 0, 0, 64), CGSizeMake(0, 1), 2});
    card->addSubview(image);
  }
}

struct ExportSource : QVExportingLabelDataSource {
  std::vector<std::string> phaseDescriptinosForExportingLabel(QVExportingLabelView*) override {
    return {"Preprocessing",      "Enhancing Colors", "Defining Shadows", "Reducing Noise",
            "Adjusting Contrast", "Doing Magic",      "Detailing",        "Saving"};
  }
  CGSize processingImageSizeForExportingLabel(QVExportingLabelView*) override { return CGSizeMake(6000, 4000); }
};

void progressRow(QVBasicView* card, double y, const std::string& caption, uint64_t parts, uint64_t done,
                 std::optional<QColor> color, int64_t phase) {
  static auto source = std::make_shared<ExportSource>();
  text(card, CGRectMake(22, y + 22, 300, 18), caption, "SFProText-Semibold", 13, kText);
  auto* bar = QVMake<QVProgressView>(CGRectMake(22, y, card->frame().size.width - 44, 10));
  bar->setBackgroundColor(kTrack);
  bar->setRoundsCornersToFitHeight(true);
  bar->setProgressColor(color);
  card->addSubview(bar);
  bar->setPartsCount(parts);
  bar->setCurrentPart(done);
  bar->startAnimation();
  auto* label = QVExportingLabelView::exportingLabelView();
  label->setExportingDataSource(source);
  label->setFontSize(12);
  label->setTitleColor(kMuted);
  label->setSizeOffset(CGPointMake(0, 0));  // flush with the caption above the bar
  card->addSubview(label);
  label->restart();
  if (phase < 0) {
    label->showLastPhase();
  } else {
    label->updatePhaseWithIdx(phase);
  }
  label->setFrameOrigin(CGPointMake(22, y - 26));
}

}  // namespace

void buildChromePage(QVView* window, double W, double H) {
  QVFramelessWindow::install(window);
  // The gallery's window is the key window, so the buttons show their active images.
  QVWindowButton::setKeyWindowQuery([window](const QWidget* w) { return w == window || w->isActiveWindow(); });
  window->setBackgroundColor(QColor(20, 21, 24));

  auto* bar =
      topBar(window, CGRectMake(0, H - QVSolvaneTopBarView::kHeight, W, QVSolvaneTopBarView::kHeight), "Solvane", 1);
  bar->setDelegate({});
  auto* hairline = QVMake<QVView>(CGRectMake(0, H - QVSolvaneTopBarView::kHeight - 1, W, 1));
  hairline->setBackgroundColor(QColor(255, 255, 255, 18));
  window->addSubview(hairline);

  const double top = H - QVSolvaneTopBarView::kHeight - 24;
  const double colW = (W - 72) / 2;

  // Window buttons in every state.
  const double buttonsW = 500, barsW = W - 72 - buttonsW;
  auto* buttons = card(window, CGRectMake(24, top - 236, buttonsW, 236), "Window buttons",
                       "Active, rollover (the whole set lights up), pressed, window not key, disabled");
  const char* columns[] = {"Active", "Rollover", "Pressed", "Not key", "Disabled"};
  for (int i = 0; i < 5; ++i) {
    text(buttons, CGRectMake(110 + i * 74, 128, 74, 16), columns[i], "SFProText-Regular", 11, kMuted,
         QVTextAlignmentCenter);
  }
  stateRow(buttons, 96, "Close", "Close");
  stateRow(buttons, 62, "Minimize", "Minimise");
  stateRow(buttons, 28, "Zoom", "Zoom");

  // Top bars as the other windows use them.
  auto* bars = card(window, CGRectMake(48 + buttonsW, top - 236, barsW, 236), "Top bar",
                    "Main window with the spring import button; quick preview without title and zoom");
  auto* mainBar = topBar(bars, CGRectMake(16, 96, barsW - 32, 38), "Solvane", 2);
  mainBar->setCornerRadius(10);
  auto* previewBar = topBar(bars, CGRectMake(16, 34, barsW - 32, 38), "", 0);
  previewBar->setCornerRadius(10);
  previewBar->setShowTitle(false);
  previewBar->setShowMinimizeButton(false);
  previewBar->setShowResizeButton(false);
  previewBar->setNeedsLayout();

  // Export progress with phase labels.
  const double lowerH = top - 236 - 24 - 24;
  auto* progress = card(window, CGRectMake(24, 24, colW, lowerH), "Export progress",
                        "One part per image; the running part shows 60 % done over drifting stripes");
  progressRow(progress, lowerH - 130, "Exporting 2 of 5", 5, 1, kTheme, 1);
  progressRow(progress, lowerH - 220, "Exporting 4 of 6", 6, 3, QColor(Qt::white), 4);
  progressRow(progress, lowerH - 310, "Finishing", 4, 4, kTheme, -1);

  // Loading dots.
  auto* dotsCard = card(window, CGRectMake(48 + colW, 24, colW, lowerH), "Loading dots",
                        "Dots drift and bounce; lines join the dots around a wandering focus");
  const CGRect panelFrame = CGRectMake(16, 16, colW - 32, lowerH - 96);
  auto* panel = QVMake<QVBackgroundView>(panelFrame);
  panel->setBackgroundColor(kPanel);
  dotsCard->addSubview(panel);
  auto* vignette = QVMake<QVBackgroundGradientView>(CGRectMake(0, 0, panelFrame.size.width, panelFrame.size.height));
  panel->addSubview(vignette);
  auto* dots =
      QVLoadingAnimationView::processingDotsView(CGRectMake(0, 0, panelFrame.size.width, panelFrame.size.height));
  panel->addSubview(dots);
  auto* loading = QVLoadingLabelView::loadingLabelView();
  loading->setPhasesDescriptions({"Analyzing Image...", "Looking for Faces...", "Improving Exposure..."});
  loading->setProcessingImageSize(CGSizeMake(6000, 4000));
  panel->addSubview(loading);
  loading->updatePhaseWithIdx(0);
  const CGSize labelSize = loading->frame().size;
  loading->setFrameOrigin(CGPointMake(std::round((panelFrame.size.width - labelSize.width) / 2),
                                      std::round((panelFrame.size.height - labelSize.height) / 2)));
}

}  // namespace gallery
