#pragma once
// The application's frameless, translucent top-level window: the main window and the other
// windows built like it (export options, quick preview). Its shape follows a screen mode
// (QVSolvaneWindowShapes.h): size, limits, corner radii, title-bar and import-more visibility and
// whether a drag on the background moves it.
//
// Inside the top-level widget: the window's own painted drop shadow (only where a compositor
// blends translucent windows; elsewhere the window is masked to its rounded shape), the content
// view (filling the window's frame, its corners cut to the mode's radii after it painted) and the
// title-bar container along the content's top edge, above everything else.
//
// Frames are in the screens' coordinates (bottom-left origin, y up across the desktop) and name
// the content's rectangle: the shadow margin around it is not part of the frame. Moving by the
// background and resizing without a kept aspect ratio go through the window system; with an
// aspect ratio the window resizes itself, since window systems take no aspect hint from Qt.
// `setUserInteractionEnabled(false)` freezes the whole content (clicks pass through to nothing).
//
// Main thread only.
#include <QColor>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"
#include "QVAppKit/QVRoundedView.h"
#include "QVAppKit/QVSolvaneTopBarView.h"

class QVSolvaneWindowAnimator;
class QTimer;
class QWindow;

class QVSolvaneWindow : public QWidget {
 public:
  // The shadow's reach around the frame where a compositor runs.
  static constexpr int kShadowMargin = 28;
  // The content's colour, also what the X server fills uncovered parts of the window with.
  static inline const QColor kContentColour{17, 18, 20};
  // A window manager that never answers a frame change holds up the next one this long.
  static constexpr int kGeometryAnswerTimeoutMs = 150;
  // A report differing from the frame answered this soon after it is a late one of an earlier step.
  static constexpr int kLateReportMs = 400;

  QVSolvaneWindow();
  ~QVSolvaneWindow() override;

  // Whether translucent windows are blended (a compositor runs). Replaceable for tests and tools.
  static bool compositingActive();
  static void setCompositingQuery(std::function<bool()> query);
  // Whether a window manager runs (X11: one names itself on the root window). Under one, frame
  // changes are requests it answers later: the window sends one at a time (see `setFrame`).
  // Replaceable for tests and tools.
  static bool windowManagerRuns();
  static void setWindowManagerQuery(std::function<bool()> query);
  // Whether the application runs as a plug-in (the import-more button never shows then).
  static void setPluginModeQuery(std::function<bool()> query);

  // ---- Parts ----
  QVRoundedView* contentView() const { return content_; }
  QVView* titlebarContainer() const { return titlebarContainer_; }
  QVSolvaneTopBarView* titleBarView() const { return titleBarView_; }
  // Removes the old bar, embeds the new one in the container (filling it).
  void setTitleBarView(QVSolvaneTopBarView* view);
  std::map<std::string, QWidget*> animatableViews() const;
  int shadowMargin() const { return shadowMargin_; }
  // The painted shadow (device pixels, the whole window), made once per size; none without a
  // compositor.
  const QPixmap& shadowPicture();

  // ---- Interaction ----
  bool userInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled);
  bool canBecomeKeyWindow() const { return true; }
  bool canBecomeMainWindow() const { return true; }
  bool isMovableByWindowBackground() const;

  // ---- Title bar ----
  void setShowImportMoreButton(bool show);
  bool isShowImportMoreButton() const { return showImportMoreButton_; }
  void setImportMoreButtonEnabled(bool enabled);
  void setTopConstrolsVisible(bool visible);
  void setTitleBarVisible(bool visible);
  bool isTitleBarVisible() const;
  void updateTopControlsVisibility(int64_t mode);
  void updateImportMoreButtonVisibility(int64_t mode);
  void updateTitleBarVisibility(int64_t mode);
  void updateRoundedCorners(int64_t mode);
  QVCornerRadii cornerRadii() const { return radii_; }
  // Corners of a window that follows no screen mode (export options, quick preview).
  void setCornerRadii(const QVCornerRadii& radii);

  // ---- Shape ----
  int64_t sizeMode() const { return sizeMode_; }
  void setSizeMode(int64_t mode) { sizeMode_ = mode; }
  double defaultSizeScale() const { return defaultSizeScale_; }
  void setDefaultSizeScale(double scale) { defaultSizeScale_ = scale; }
  // What the shapes depend on, read from the window's screen and the main screen.
  QVSolvaneScreenMetrics screenMetrics() const;
  // The available area of the window's screen, in the screens' coordinates (zero without one).
  CGRect visibleScreenFrame() const;
  CGRect screenFrame() const;

  void updateScreenSizeWithMode(int64_t mode, std::optional<CGPoint> position, bool animated);
  void updateScreenSizeWithMode(int64_t mode, bool animated) { updateScreenSizeWithMode(mode, std::nullopt, animated); }
  void updateWithCurrentSizeMode(bool animated, std::optional<CGPoint> position = std::nullopt);
  void updateWithCurrentSizeMode() { updateWithCurrentSizeMode(true); }
  void changeSizeMode(int64_t mode, bool animated, std::optional<CGPoint> position = std::nullopt);
  // Shapes the window around an image of that pixel size (mode 1).
  void updateWithContentSize(CGSize imageSize, std::optional<CGPoint> position, bool animated);
  void updateWithContentSize(CGSize imageSize) { updateWithContentSize(imageSize, std::nullopt, true); }
  void updateWindowShapeWithCurrentModeAndPreferredSize(CGSize imageSize, bool animated,
                                                        std::optional<CGPoint> position = std::nullopt);
  void updateWindowShapeWithCurrentModeAndAnimated(bool animated);
  void updateMinMaxSize(CGSize fittedSize, double scale, CGSize imageSize);
  CGSize windowSizeForMode(int64_t mode) const;
  CGSize galleryWindowMinSize() const;
  CGSize galleryWindowMaxSize() const;
  // The centred origin for a window of that size on the window's screen.
  CGPoint centerPointForWindowWithSize(CGSize size) const;

  // ---- Frame ----
  CGRect frame() const;
  // Moves and sizes the frame; animated frames slide over the standard duration.
  //
  // Under a window manager the new geometry is a request the manager answers later, and Qt lays
  // the window out again at every size it reports: reports of earlier steps arriving after later
  // requests drew the window at old sizes. So one request is out at a time: a frame set while one
  // is unanswered waits (the newest wins), and the window paints nothing between a request and its
  // answer, when the step is painted and the waiting frame sent. Without a manager the X server
  // answers at once and frames go straight through.
  void setFrame(CGRect frame, bool display = true, bool animate = false);
  // Whether a frame change waits for the window manager's answer (tests).
  bool awaitsGeometryAnswer() const { return unanswered_.has_value(); }
  // Whether frame changes are answered late by a window manager (set when the window is shown).
  // A frame that goes with a new layout of the content is then best made in one step: every step
  // of a motion would be laid out and painted once more, late, with the window system showing the
  // old picture where the manager has put the window meanwhile.
  bool answersFramesLate() const { return awaitsAnswers_; }
  // Runs the block once no frame change is out or waiting (at once when none is): the last step
  // asked for has been answered and painted.
  void whenFrameAnswered(std::function<void()> block);
  // While set, a change of size drops the window's old picture where the X server fills uncovered
  // parts with the content's colour (no compositor): the window shows that colour until it is
  // painted at its new size. For content laid out anew at every size (the quick preview opening),
  // whose old picture, kept in a corner of the grown window, showed it small and off-centre.
  void setDropsPictureOnResize(bool drops) { dropsPicture_ = drops; }
  bool dropsPictureOnResize() const { return dropsPicture_; }
  // The X11 bit gravity the next change from the window's geometry to `to` is sent with (tests).
  int bitGravityFor(const QRect& to) const;
  void setPosition(CGPoint origin);
  // Limits of the user's resizing (frames set from code may lie outside them).
  CGSize minSize() const { return minSize_; }
  CGSize maxSize() const { return maxSize_; }
  void setMinSize(CGSize size);
  void setMaxSize(CGSize size);
  // width / height kept by edge resizing; zero keeps none.
  double aspectRatio() const { return aspectRatio_; }
  void setAspectRatio(CGSize size);

  // Frame-by-frame animation of the frame, centred on the window's screen; the completion runs once.
  void animateFrame(CGRect frame, double duration, std::function<void(double elapsed, CGRect frame)> progress,
                    std::function<void()> completion = nullptr);
  QVSolvaneWindowAnimator* windowAnimator() const { return windowAnimator_.get(); }

  // The frame in the screens' coordinates for a Qt global rectangle, and back.
  static CGRect screenRectFromQtRect(const QRect& rect);
  static QRect qtRectFromScreenRect(CGRect rect);

  // The X11 bit gravity (1 north-west ... 5 centre ... 9 south-east) that keeps the window's old
  // picture where it stood on the screen when the window goes from `from` to `to`: an edge that
  // stays put on each axis, else the centre when it stays, else the top-left (the default).
  static int bitGravityKeepingPicture(const QRect& from, const QRect& to);
  // Whether frame changes keep the old picture (on by default). Off while the window takes a new
  // screen's shape in one step under a window manager: the old screen's picture fits the new frame
  // nowhere, and the manager moves and resizes the window in steps of its own, so the server showed
  // it offset (Start Over: the photo's picture shifted in the open screen's frame). Forgotten, the
  // window shows its content's colour until the new screen is painted.
  void setKeepsOldPicture(bool keeps) { keepsOldPicture_ = keeps; }
  // The bit gravity last given to the native window (0 forgets the picture).
  int bitGravity() const { return bitGravity_; }

  // Told when the window closes (the close may be refused by `shouldClose`).
  std::function<bool()> shouldClose;
  std::function<void()> willClose;
  std::function<void()> didShow;

  // Resizing that keeps the aspect ratio, as the pointer moves: the frame for a drag of the
  // edges from a start frame (exposed for tests).
  CGRect frameForAspectResize(CGRect startFrame, unsigned edges, CGPoint delta) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void layoutParts();
  // One geometry request out at a time under a window manager (see `setFrame`).
  void requestGeometry(const QRect& geometry);
  void sendGeometry(const QRect& geometry);
  // Request n answered (reported, or given up on): its step painted, the waiting frame sent.
  void geometryAnswered(uint64_t request);
  // Runs the blocks waiting for the frame's answer once nothing is out or waiting.
  void runWhenAnswered();
  // Watches the native window's geometry reports and gives it its background pixel.
  void watchNativeWindow();
  // Qt's size limits for the user's resizing, widened to take in `current` and `also`.
  void applyQtLimits(QSize current, QSize also = {});
  QPixmap blurredShadow(QSize windowSize, qreal dpr) const;
  void updateMask();
  void applyShape(const QVSolvaneWindowShape& shape, std::optional<CGPoint> position, bool animated);
  unsigned resizeEdgesAt(QPoint windowPoint) const;

  QPointer<QVRoundedView> content_;
  QPointer<QWidget> corners_;
  QPointer<QVView> titlebarContainer_;
  QPointer<QVSolvaneTopBarView> titleBarView_;
  bool userInteractionEnabled_ = true;
  bool showImportMoreButton_ = false;
  int64_t sizeMode_ = QVScreenModeOpen;
  double defaultSizeScale_ = QVSolvaneWindowShapes::kDefaultSizeScale;
  QVCornerRadii radii_;
  CGSize minSize_ = CGSizeZero;
  CGSize maxSize_ = CGSizeZero;
  double aspectRatio_ = 0;
  int shadowMargin_ = 0;
  int bitGravity_ = 1;
  bool keepsOldPicture_ = true;
  bool dropsPicture_ = false;
  bool fillsUncovered_ = false;  // the native window's background is the content's colour
  bool awaitsAnswers_ = false;
  std::optional<QRect> unanswered_;
  QSize sizeWhenAsked_;   // the size the manager holds the window at while a request is out
  uint64_t request_ = 0;  // the number of the last request sent while awaiting answers
  std::optional<QRect> waiting_;
  std::vector<std::function<void()>> whenAnswered_;
  bool askedAgain_ = false;
  std::optional<QRect> lastAnswered_;  // the last frame answered as asked, and when
  QElapsedTimer answeredAt_;           // the last frame asked for has been asked for a second time
  QPointer<QWindow> watched_;
  QTimer* answerTimeout_ = nullptr;
  std::shared_ptr<QVSolvaneWindowAnimator> windowAnimator_;
  uint64_t frameAnimation_ = 0;
  QPixmap shadow_;
  QSize shadowFor_;
  // The blurred tiles, one per corner radii and pixel ratio: the modes switch between a few radii,
  // and a mode change must not blur again.
  struct ShadowTile {
    QVCornerRadii radii;
    qreal dpr = 0;
    QPixmap tile;
  };
  std::vector<ShadowTile> shadowTiles_;
  // An aspect-kept resize under way.
  unsigned resizeEdges_ = 0;
  QPointF resizeStartPointer_;
  CGRect resizeStartFrame_ = CGRectZero;
};
