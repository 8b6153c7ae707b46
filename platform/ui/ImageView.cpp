#include "platform/ui/ImageView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace ui {

std::optional<Color> Picture::colorAt(Point p, bool flipped) const {
  for (auto op = ops.rbegin(); op != ops.rend(); ++op) {
    if (op->kind == OpKind::strokeRect || !op->rect.contains(p)) continue;
    if (op->kind == OpKind::fillRect) return op->color;
    const Image& image = *op->image;
    if (image.width <= 0 || image.height <= 0) continue;
    double fx = (p.x - op->rect.origin.x) / op->rect.size.width;
    double fy = flipped ? (p.y - op->rect.origin.y) / op->rect.size.height
                        : (op->rect.maxY() - p.y) / op->rect.size.height;
    int x = std::clamp(static_cast<int>(std::floor(fx * image.width)), 0, image.width - 1);
    int y = std::clamp(static_cast<int>(std::floor(fy * image.height)), 0, image.height - 1);
    return image.pixel(x, y);
  }
  return std::nullopt;
}

void Canvas::drawImage(std::shared_ptr<const Image> image, Rect destination) {
  if (!image) return;
  picture_.ops.push_back({Picture::OpKind::image, destination, Color(), 1, std::move(image)});
}

void Canvas::fillRect(Rect rect, Color color) {
  picture_.ops.push_back({Picture::OpKind::fillRect, rect, color, 1, nullptr});
}

void Canvas::strokeRect(Rect rect, Color color, double lineWidth) {
  picture_.ops.push_back({Picture::OpKind::strokeRect, rect, color, lineWidth, nullptr});
}

void ImageView::setImage(std::shared_ptr<const Image> image) {
  image_ = std::move(image);
  setNeedsDisplay();
}

void ImageView::drawImageDefault(Canvas& canvas) const {
  if (!image_) return;
  Size size = image_->pointSize();
  Size bounds = frame().size;
  Point origin;
  if (alignment_ == ImageAlignment::center) {
    origin = {(bounds.width - size.width) / 2, (bounds.height - size.height) / 2};
  } else {
    origin = {0, flipped_ ? 0 : bounds.height - size.height};
  }
  canvas.drawImage(image_, {origin, size});
}

void ImageView::setNeedsDisplay() { needsDisplay_ = true; }

void ImageView::display() {
  needsDisplay_ = false;
  Canvas canvas;
  if (draw_) {
    DrawHook hook = draw_;
    hook(*this, canvas);
  } else {
    drawImageDefault(canvas);
  }
  picture_ = canvas.take();
  changed(Aspect::picture);
}

ImageView::TrackingId ImageView::addTrackingArea(TrackingArea area) {
  TrackingId id = nextTracking_++;
  tracking_[id] = area;
  changed(Aspect::tracking);
  return id;
}

void ImageView::removeTrackingArea(TrackingId id) {
  tracking_.erase(id);
  changed(Aspect::tracking);
}

namespace {

using Handler = std::function<void(ImageView&, const MouseEvent&)>;

bool deliver(ImageView& view, const Handler& handler, const MouseEvent& event, bool gate) {
  Application::UserEvent scope(view.application());
  if (!gate || !view.acceptsUserInput()) return false;
  if (handler) {
    Handler copy = handler;  // the handler may replace the view's handlers
    copy(view, event);
  }
  return true;
}

}  // namespace

bool ImageView::userMouseDown(const MouseEvent& e) { return deliver(*this, mouse_.down, e, true); }

bool ImageView::userMouseDragged(const MouseEvent& e) {
  return deliver(*this, mouse_.dragged, e, true);
}

bool ImageView::userMouseUp(const MouseEvent& e) { return deliver(*this, mouse_.up, e, true); }

bool ImageView::userMouseMoved(const MouseEvent& e) {
  return deliver(*this, mouse_.moved, e, tracksMoves());
}

bool ImageView::userMouseEntered(const MouseEvent& e) {
  return deliver(*this, mouse_.entered, e, tracksEnterExit());
}

bool ImageView::userMouseExited(const MouseEvent& e) {
  return deliver(*this, mouse_.exited, e, tracksEnterExit());
}

RulerUnits::RulerUnits() = default;

void RulerUnits::registerUnit(RulerUnit unit) {
  std::string name = unit.name;
  units_.insert_or_assign(name, std::move(unit));
  const RulerUnit& registered = units_.at(name);
  for (RulerView* ruler : rulers_) {
    if (ruler->unitName_ == name) ruler->unitRegistered(registered);
  }
}

RulerView::~RulerView() {
  if (registry_) std::erase(registry_->rulers_, this);
}

bool RulerView::setMeasurementUnits(const std::string& name) {
  RulerUnits& units = scrollView_->application().rulerUnits();
  const RulerUnit* unit = units.find(name);
  if (!unit) return false;
  if (!registry_) {
    registry_ = &units;
    units.rulers_.push_back(this);
  }
  unitName_ = name;
  unit_ = *unit;
  scrollView_->rulersChanged();
  return true;
}

void RulerView::unitRegistered(const RulerUnit& unit) {
  unit_ = unit;
  scrollView_->rulersChanged();
}

void RulerView::setOriginOffset(double offset) {
  originOffset_ = offset;
  scrollView_->rulersChanged();
}

ScrollView::ScrollView(std::string outlet)
    : Control(ControlKind::scrollView, std::move(outlet)),
      horizontal_(std::make_unique<RulerView>(*this, RulerOrientation::horizontal)),
      vertical_(std::make_unique<RulerView>(*this, RulerOrientation::vertical)) {}

ScrollView::~ScrollView() = default;

void ScrollView::setDocumentView(Control& view) {
  document_ = &view;
  changed(Aspect::children);
}

void ScrollView::setHasHorizontalRuler(bool on) {
  hasHorizontal_ = on;
  rulersChanged();
}

void ScrollView::setHasVerticalRuler(bool on) {
  hasVertical_ = on;
  rulersChanged();
}

void ScrollView::setRulersVisible(bool on) {
  rulersVisible_ = on;
  rulersChanged();
}

}  // namespace ui
