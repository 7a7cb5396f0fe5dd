#include "QVAppKit/QVProgressView.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVRepeatingTimer.h"
#include "QVPlatform/MainExecutor.h"

namespace {

double mainScreenWidth() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().width() : 0;
}

}  // namespace

// ---- QVProgressAnimatedBackgroundLayer ----

QVProgressAnimatedBackgroundLayer::QVProgressAnimatedBackgroundLayer(double width) : outlineWidth_(width) {
  frame_ = CGRectMake(0, 0, width, kHeight);
}

QVProgressAnimatedBackgroundLayer::~QVProgressAnimatedBackgroundLayer() { stopAnimation(); }

void QVProgressAnimatedBackgroundLayer::layoutWithFrame(CGRect rect) {
  const double h = rect.size.height;
  frame_ = CGRectMake(0, (h - kHeight) * 0.5, rect.size.width + 100, kHeight);
  maskFrame_ = CGRectMake(rect.origin.x, (kHeight - h) * 0.5 + 1, rect.size.width, h);
}

void QVProgressAnimatedBackgroundLayer::startAnimation() {
  if (timer_ != 0) return;
  timer_ = QVAddRepeatingTimer(1.0 / kStepsPerSecond, [this] { updateLineBar(); });
}

void QVProgressAnimatedBackgroundLayer::stopAnimation() {
  if (timer_ == 0) return;
  auto id = timer_;
  timer_ = 0;
  QVAnimationDriver::shared().cancel(id);
}

void QVProgressAnimatedBackgroundLayer::updateLineBar() {
  const double x = sawtoothX_;
  sawtoothX_ = std::fabs(x) >= kToothWidth * 10 ? 0 : x - kToothWidth / kStepsPerSecond;
  if (moved_) moved_();
}

std::vector<CGPoint> QVProgressAnimatedBackgroundLayer::sawtoothOutline() const {
  std::vector<CGPoint> points{CGPointMake(0, 0)};
  for (int64_t i = 0; double(i) <= outlineWidth_ / kToothWidth; ++i) {
    points.push_back(CGPointMake(kToothWidth * i, kHeight));
    points.push_back(CGPointMake(kToothWidth * i + kToothWidth, 0));
  }
  points.push_back(CGPointMake(0, 0));
  return points;
}

void QVProgressAnimatedBackgroundLayer::paint(QPainter& painter, double viewHeight) const {
  if (CGRectIsEmpty(maskFrame_)) return;
  // Layer space → view space (bottom left) → Qt space (top left).
  auto toQt = [&](double x, double y) { return QPointF(frame_.origin.x + x, viewHeight - (frame_.origin.y + y)); };
  painter.save();
  const QPointF maskTopLeft = toQt(maskFrame_.origin.x, maskFrame_.origin.y + maskFrame_.size.height);
  const QRectF mask(maskTopLeft, QSizeF(maskFrame_.size.width, maskFrame_.size.height));
  QPainterPath clip;
  clip.addRoundedRect(mask, mask.height() * 0.5, mask.height() * 0.5);
  painter.setClipPath(clip);
  QPainterPath outline;
  const auto points = sawtoothOutline();
  for (size_t i = 0; i < points.size(); ++i) {
    const QPointF p = toQt(points[i].x + sawtoothX_, points[i].y);
    i == 0 ? outline.moveTo(p) : outline.lineTo(p);
  }
  QLinearGradient gradient(toQt(0, kHeight), toQt(0, 0));
  gradient.setColorAt(0, Qt::white);
  gradient.setColorAt(1, Qt::black);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QBrush(gradient), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(outline);
  painter.restore();
}

// ---- QVProgressView ----

QVProgressView::~QVProgressView() {
  *alive_ = false;
  if (barAnimation_ != 0) QVAnimationDriver::shared().cancel(barAnimation_);
}

void QVProgressView::initialize() {
  QVView::initialize();
  progressLayer_.backgroundColor = QColor(Qt::white);
  background_ = std::make_unique<QVProgressAnimatedBackgroundLayer>(mainScreenWidth());
  // Through the toolkit, not QWidget::update(): a fading panel keeps a picture of its subtree and
  // draws it again only when told its content changed; the bar and the stripes would stand still
  // all through the panel's fade-in.
  background_->setMovedHandler([this] { setNeedsDisplay(); });
}

void QVProgressView::setCurrentPart(uint64_t part) {
  if (part == currentPart_) return;
  isUpdating_ = true;
  currentPart_ = part;
  setNeedsLayout();
}

void QVProgressView::setProgressColor(std::optional<QColor> color) {
  progressLayer_.backgroundColor = color;
  setNeedsDisplay();
}

void QVProgressView::layout() {
  QVView::layout();
  const CGRect r = CGRectInset(bounds(), 1, 1);
  background_->layoutWithFrame(r);
  const uint64_t parts = partsCount_;
  const uint64_t done = std::min(partsCount_, currentPart_);
  progressLayer_.cornerRadius = r.size.height * 0.5;
  setNeedsDisplay();
  if (parts == 0 || !progressStarted_) {
    if (barAnimation_ != 0) {
      auto id = barAnimation_;
      barAnimation_ = 0;
      QVAnimationDriver::shared().cancel(id);
    }
    progressLayer_.frame = CGRectMake(r.origin.x, r.origin.y, 0, r.size.height);
    return;
  }
  const double partWidth = r.size.width / double(parts);
  const double target = std::min(std::round((double(done) + 0.6) * partWidth), r.size.width);
  const double duration = done == parts ? 1.0 : 3.0;
  progressLayer_.hidden = false;
  ++animationCount_;
  lastDuration_ = duration;
  lastTarget_ = target;
  // A new step takes over from the one running: the bar moves on from where it is shown now, and
  // the interrupted step still reports its end, as every started step does exactly once.
  if (barAnimation_ != 0) {
    auto id = barAnimation_;
    barAnimation_ = 0;
    QVAnimationDriver::shared().cancel(id);
  }
  const CGRect from = progressLayer_.frame;
  const CGRect to = CGRectMake(r.origin.x, r.origin.y, target, r.size.height);
  // Steps may come faster than one animation lasts: each one starting from rest would keep the bar
  // in its slow first moments and show nothing until the last. So the motion starts at speed (ease
  // out), and the parts already done are caught up first, at once; the rest of the step then
  // creeps on into the running part.
  const double doneWidth = std::min(std::round(double(done) * partWidth), r.size.width);
  const double catchUp = done < parts && from.size.width < doneWidth ? kCatchUpDuration : 0;
  std::weak_ptr<bool> alive = alive_;
  barAnimation_ = QVAnimationDriver::shared().animate(
      duration, QVTimingFunction::Linear,
      [this, alive, from, to, doneWidth, catchUp, duration](double t) {
        if (alive.expired()) return;
        const double elapsed = t * duration;
        auto ease = [](double p) { return QVApplyTimingFunction(QVTimingFunction::EaseOut, std::clamp(p, 0.0, 1.0)); };
        double width;
        if (elapsed < catchUp)
          width = from.size.width + (doneWidth - from.size.width) * ease(elapsed / catchUp);
        else if (catchUp > 0)
          width = doneWidth + (to.size.width - doneWidth) * ease((elapsed - catchUp) / (duration - catchUp));
        else
          width = from.size.width + (to.size.width - from.size.width) * ease(t);
        progressLayer_.frame = CGRectMake(to.origin.x, to.origin.y, width, to.size.height);
        setNeedsDisplay();
      },
      [this, alive, generation = generation_](bool) {
        if (alive.expired() || generation != generation_) return;
        animationDone();
      });
}

void QVProgressView::animationDone() {
  --animationCount_;
  setIsUpdating(false);
  if (animationCount_ == 0 && completion_) {
    auto completion = std::move(completion_);
    completion_ = nullptr;
    completion();
  }
}

void QVProgressView::setIsUpdating(bool updating) {
  if (updating == isUpdating_) return;
  isUpdating_ = updating ? true : animationCount_ != 0;
}

void QVProgressView::startAnimation() {
  background_->startAnimation();
  std::weak_ptr<bool> alive = alive_;
  qv::MainExecutor::shared().async([this, alive] {
    if (alive.expired()) return;
    progressStarted_ = true;
    layout();
  });
}

void QVProgressView::stopAnimation() {
  progressStarted_ = false;
  setIsUpdating(false);
  background_->stopAnimation();
}

void QVProgressView::waitEndAnimationWithCompletion(std::function<void()> completion) {
  completion_ = std::move(completion);
  std::weak_ptr<bool> alive = alive_;
  qv::MainExecutor::shared().asyncAfter(0.1, [this, alive] {
    if (alive.expired() || isUpdating_ || !completion_) return;
    auto block = std::move(completion_);
    completion_ = nullptr;
    block();
  });
}

void QVProgressView::prepareForReuse() {
  // A step still running belongs to the previous use: it must not count down the fresh count.
  ++generation_;
  progressLayer_.hidden = true;
  progressStarted_ = false;
  partsCount_ = 0;
  currentPart_ = 0;
  animationCount_ = 0;
  layout();
}

void QVProgressView::drawContent(QPainter& painter) {
  const double height = bounds().size.height;
  background_->paint(painter, height);
  const auto& bar = progressLayer_;
  if (bar.hidden || !bar.backgroundColor || bar.frame.size.width <= 0) return;
  const QRectF rect(bar.frame.origin.x, height - bar.frame.origin.y - bar.frame.size.height, bar.frame.size.width,
                    bar.frame.size.height);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(*bar.backgroundColor);
  const double radius = std::min(bar.cornerRadius, rect.width() * 0.5);
  QPainterPath fill;
  fill.addRoundedRect(rect, radius, radius);
  // Narrower than the bar is high (the first steps), the fill is cut to the bar's rounded end, so it
  // fills that end instead of standing out of it as a square sliver.
  QPainterPath body;
  const QRectF inner(rect.x(), rect.y(), bounds().size.width - 2 * rect.x(), rect.height());
  body.addRoundedRect(inner, bar.cornerRadius, bar.cornerRadius);
  painter.drawPath(fill.intersected(body));
  painter.restore();
}
