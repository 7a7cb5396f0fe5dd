#include "QVAppKit/QVLoadingAnimationView.h"
#include "QVAppKit/QVViewController.h"

#include <QCursor>
#include <QEvent>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <random>

#include "QVAppKit/QVRepeatingTimer.h"
#include "QVPlatform/MainExecutor.h"

namespace {

std::function<uint32_t()>& dotRandomSource() {
  static std::function<uint32_t()> source;
  return source;
}

std::function<QPoint()>& pointerSource() {
  static std::function<QPoint()> source;
  return source;
}

// Where the pointer is on the screen: the installed source (tests) or the cursor.
QPoint currentPointer() { return pointerSource() ? pointerSource()() : QCursor::pos(); }

constexpr double kTimerInterval = 0.05;

}  // namespace

// ---- QVADot ----

void QVADot::setRandomSource(std::function<uint32_t()> source) { dotRandomSource() = std::move(source); }

uint32_t QVADot::random32() {
  if (dotRandomSource()) return dotRandomSource()();
  static std::mt19937 engine{std::random_device{}()};
  return uint32_t(engine());
}

float QVADot::randomAccelaration() {
  for (;;) {
    const float step = float(random32() & 7) / 10.0f - 0.4f;
    if (step != 0) return step;
  }
}

std::shared_ptr<QVADot> QVADot::dotWithSpeedRate(double rate, double radius) {
  auto dot = std::make_shared<QVADot>();
  dot->radius_ = radius;
  dot->dx_ = double(randomAccelaration()) * rate;
  dot->dy_ = double(randomAccelaration()) * rate;
  return dot;
}

CGRect QVADot::frame() const {
  return CGRectMake(position_.x - radius_, position_.y - radius_, 2 * radius_, 2 * radius_);
}

void QVADot::updatePosition() {
  auto bounce = [](double value, double& step, double range) {
    double next = value + step;
    if (next < 0) {
      step = -step;
      next = 0;
    } else if (next > range) {
      next = range;
      step = -step;
    }
    return next;
  };
  position_ = CGPointMake(bounce(position_.x, dx_, rangeSize_.width), bounce(position_.y, dy_, rangeSize_.height));
}

std::string QVADot::description() const {
  char text[96];
  std::snprintf(text, sizeof text, "radius: %f; opacity: %f", radius_, opacity_);
  return text;
}

// ---- QVLoadingAnimationView ----

void QVLoadingAnimationView::setPointerSource(std::function<QPoint()> source) { pointerSource() = std::move(source); }

QVLoadingAnimationView::~QVLoadingAnimationView() {
  *alive_ = false;
  cancelDelayed(pendingAutoDot_);
  cancelDelayed(pendingLines_);
  for (auto* timer : {&positionTimer_, &linesTimer_}) {
    if (*timer != 0) QVAnimationDriver::shared().cancel(*timer);
  }
}

void QVLoadingAnimationView::initialize() {
  QVBasicView::initialize();
  setAttribute(Qt::WA_TranslucentBackground);
  setMouseTracking(true);
  autoDot_.reset();
  canDrawLines_ = false;
  initialized_ = true;
  createDots();
}

void QVLoadingAnimationView::setFrame(CGRect frame) {
  QVBasicView::setFrame(frame);
  if (!initialized_) return;
  strongLines_.reset();
  weakLines_.reset();
  createDots();
  validateLinesDrawing();
}

void QVLoadingAnimationView::setDotsCount(uint64_t count) {
  if (count == dotsCount_) return;
  dotsCount_ = count;
  createDots();
}

void QVLoadingAnimationView::setDotsRadius(double radius) {
  if (radius == dotsRadius_) return;
  dotsRadius_ = radius;
  createDots();
}

void QVLoadingAnimationView::setDotsAlpha(double alpha) {
  if (alpha == dotsAlpha_) return;
  dotsAlpha_ = alpha;
  createDots();
}

void QVLoadingAnimationView::setDotsColor(std::optional<QColor> color) {
  if (color == dotsColor_) return;
  dotsColor_ = color;
  createDots();
}

bool QVLoadingAnimationView::checkIfTimerIsValid(QVAnimationDriver::AnimationId& timer) {
  if (!needsStopAnimation_) return true;
  if (timer != 0) {
    // Cancelled from the next pass: the driver is inside this timer's step right now.
    const auto id = timer;
    timer = 0;
    qv::MainExecutor::shared().async([id] { QVAnimationDriver::shared().cancel(id); });
  }
  return false;
}

void QVLoadingAnimationView::startAnimation() {
  std::weak_ptr<bool> alive = alive_;
  if (positionTimer_ == 0) {
    positionTimer_ = QVAddRepeatingTimer(kTimerInterval, [this, alive] {
      if (alive.expired() || positionTimer_ == 0) return;
      if (checkIfTimerIsValid(positionTimer_)) updateDotsPositions();
    });
  }
  if (linesTimer_ == 0) {
    linesTimer_ = QVAddRepeatingTimer(kTimerInterval, [this, alive] {
      if (alive.expired() || linesTimer_ == 0) return;
      if (checkIfTimerIsValid(linesTimer_)) updateLines();
      update();
    });
  }
}

void QVLoadingAnimationView::updateDotsPositions() {
  for (auto& dot : dots()) dot->updatePosition();
  if (autoDot_) autoDot_->updatePosition();
}

void QVLoadingAnimationView::createDots() {
  strongLines_.reset();
  weakLines_.reset();
  dots_.clear();
  dotsBuilt_ = false;
  update();
}

const std::vector<std::shared_ptr<QVADot>>& QVLoadingAnimationView::dots() {
  if (dotsBuilt_) return dots_;
  dotsBuilt_ = true;
  ++builds_;
  const CGSize size = bounds().size;
  for (uint64_t i = 0; i < dotsCount_; ++i) {
    auto dot = QVADot::dotWithSpeedRate(1.0, dotsRadius_);
    dot->setColor(color());
    dot->setPosition(randomPointInView());
    dot->setRangeSize(size);
    dot->setOpacity(double(float(dotsAlpha_)));
    dots_.push_back(std::move(dot));
  }
  validateLinesDrawing();
  return dots_;
}

CGPoint QVLoadingAnimationView::randomPointInView() const {
  const CGSize size = bounds().size;
  auto extent = [](double v) { return v > 0 ? uint32_t(v) : 1u; };
  const uint32_t x = QVADot::random32() % extent(size.width);
  const uint32_t y = QVADot::random32() % extent(size.height);
  return CGPointMake(x, y);
}

void QVLoadingAnimationView::cancelDelayed(uint64_t& id) {
  if (id != 0) qv::MainExecutor::shared().cancel(id);
  id = 0;
}

void QVLoadingAnimationView::validateLinesDrawing() {
  canDrawLines_ = false;
  cancelDelayed(pendingLines_);
  std::weak_ptr<bool> alive = alive_;
  pendingLines_ = qv::MainExecutor::shared().asyncAfter(0.4, [this, alive] {
    if (alive.expired()) return;
    pendingLines_ = 0;
    canDrawLines_ = true;
  });
  destroyAutoAnimationDot();
}

CGPoint QVLoadingAnimationView::mouseLocationInView() const {
  return pointFromQtPoint(QPointF(mapFromGlobal(currentPointer())));
}

std::vector<std::shared_ptr<QVADot>> QVLoadingAnimationView::dotsAroundPoint(CGPoint point) {
  const CGSize size = bounds().size;
  const double w = size.width * mouseRadiusRate_;
  const double h = size.height * mouseRadiusRate_;
  const CGRect focus = CGRectMake(point.x - w / 2, point.y - h / 2, w, h);
  std::vector<std::shared_ptr<QVADot>> around;
  for (auto& dot : dots()) {
    if (CGRectContainsPoint(focus, dot->position())) around.push_back(dot);
  }
  return around;
}

double QVLoadingAnimationView::distanceBetweenPoints(CGPoint a, CGPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

void QVLoadingAnimationView::updateLines() {
  strongLines_ = QVDotLines();
  weakLines_ = QVDotLines();
  strongWidth_ = dotsAlpha_ * double(0.4f);
  weakWidth_ = dotsAlpha_ * double(0.2f);
  const CGPoint focus = autoDot_ ? autoDot_->position() : mouseLocationInView();
  const auto selected = dotsAroundPoint(focus);
  const double width = bounds().size.width;
  const double weakDistance = width * weakRate_;
  const double strongDistance = width * strongRate_;
  for (const auto& a : selected) {
    for (const auto& b : selected) {
      const double d = distanceBetweenPoints(a->position(), b->position());
      if (d >= weakDistance) continue;
      (d < strongDistance ? *strongLines_ : *weakLines_).push_back({a->position(), b->position()});
    }
  }
}

void QVLoadingAnimationView::handleMouseEnetered() { stopAutoAnimation(); }

void QVLoadingAnimationView::handleMouseExited() { startAutoAnimation(); }

void QVLoadingAnimationView::startAutoAnimation() {
  cancelDelayed(pendingAutoDot_);
  std::weak_ptr<bool> alive = alive_;
  pendingAutoDot_ = qv::MainExecutor::shared().asyncAfter(1.0, [this, alive] {
    if (alive.expired()) return;
    pendingAutoDot_ = 0;
    createAutoAnimationDot();
  });
}

void QVLoadingAnimationView::stopAutoAnimation() {
  cancelDelayed(pendingAutoDot_);
  destroyAutoAnimationDot();
}

void QVLoadingAnimationView::createAutoAnimationDot() {
  autoDot_ = QVADot::dotWithSpeedRate(25.0);
  autoDot_->setPosition(randomPointInView());
  autoDot_->setRangeSize(bounds().size);
  autoDot_->updatePosition();
}

QVLoadingAnimationView* QVLoadingAnimationView::copy() const {
  auto* view = QVMake<QVLoadingAnimationView>(bounds());
  view->dotsCount_ = dotsCount_;
  view->dotsRadius_ = dotsRadius_;
  view->dotsAlpha_ = dotsAlpha_;
  view->dotsColor_ = dotsColor_;
  view->mouseRadiusRate_ = mouseRadiusRate_;
  view->strongRate_ = strongRate_;
  view->weakRate_ = weakRate_;
  return view;
}

bool QVLoadingAnimationView::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
      needsStopAnimation_ = false;
      startAnimation();
      if (rect().contains(mapFromGlobal(currentPointer()))) {
        handleMouseEnetered();
      } else {
        handleMouseExited();
      }
      break;
    case QEvent::Hide:
      needsStopAnimation_ = true;
      break;
    case QEvent::Enter:
      handleMouseEnetered();
      break;
    case QEvent::Leave:
      handleMouseExited();
      break;
    default:
      break;
  }
  return QVBasicView::event(event);
}

void QVLoadingAnimationView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double height = bounds().size.height;
  // Bottom-left space of the view → Qt's top-left space.
  painter.translate(0, height);
  painter.scale(1, -1);
  const QColor lineColor = color();
  if (canDrawLines_) {
    auto stroke = [&](const std::optional<QVDotLines>& lines, double width) {
      if (!lines) return;
      painter.setPen(QPen(lineColor, width));
      for (const auto& line : *lines) {
        if (line.from == line.to) continue;
        painter.drawLine(QPointF(line.from.x, line.from.y), QPointF(line.to.x, line.to.y));
      }
    };
    stroke(strongLines_, strongWidth_);
    stroke(weakLines_, weakWidth_);
  }
  painter.setPen(Qt::NoPen);
  for (const auto& dot : dots()) {
    QColor c = dot->color();
    c.setAlphaF(float(c.alphaF() * dot->opacity()));
    painter.setBrush(c);
    const CGRect f = dot->frame();
    const double r = std::min(dot->cornerRadius(), dot->radius());
    painter.drawRoundedRect(QRectF(f.origin.x, f.origin.y, f.size.width, f.size.height), r, r);
  }
}

QVLoadingAnimationView* QVLoadingAnimationView::processingDotsView(CGRect frame) {
  auto* dots = QVMake<QVLoadingAnimationView>(frame);
  dots->setDotsCount(104);
  dots->setDotsRadius(1.44);
  dots->setDotsAlpha(1.0);
  dots->setDotsColor(QColor(Qt::white));
  dots->setMouseRadiusRate(0.534);
  dots->setStrongDotConnectionDinstanceRate(0.027);
  dots->setWeakDotConnectionDinstanceRate(0.126);
  QVLoadingAnimationView* grey = dots->copy();
  grey->setDotsColor(QColor::fromRgbF(0.71f, 0.71f, 0.71f));
  QVEmbedInContainer(grey, dots);
  return dots;
}
