// The preview view on the widget layer: the drawer's image view drawing the preview (or the
// colour drop-out result) at the view's scale with the scan area as a red rectangle, its rulers,
// and its mouse handling over the gesture model.
#include <string>
#include <system_error>
#include <variant>

#include "ds/dialog/Units.h"
#include "ds/dialog/frame/FieldWiring.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Ports.h"

namespace ferrolite::dialog {

namespace {
constexpr std::string_view kPreviewViewOutlet = "mPreviewView";
constexpr std::string_view kColorDropFileName = "colorDrop.bmp";
constexpr std::string_view kEyeDropperCursorFile = "eyedropperMouse.png";
constexpr ui::Seconds kEyeDropperCursorDelay{0.1};
constexpr ui::Color kAreaColour = ui::Color::rgb(1, 0, 0);
constexpr double kAreaLineWidth = 1;

ui::RulerUnit layerUnit(const RulerUnit& u) {
  return {u.name, u.abbreviation, u.pointsPerUnit, u.stepUp, u.stepDown};
}
}  // namespace

PreviewPane::PreviewPane(DialogShared& s) : s_(s) {}

PreviewPane::~PreviewPane() {
  if (eyeStopperCursorTimer_ || eyeDropperCursorShown_) stopEyeDropperCursor();
}

ui::ImageView& PreviewPane::view() const {
  // The drawer's own view; its events may still arrive while its window is being taken down.
  return view_ ? *view_ : s_.inDrawer<ui::ImageView>(kPreviewViewOutlet);
}

ui::ScrollView* PreviewPane::scrollView() const {
  return dynamic_cast<ui::ScrollView*>(view().parent());
}

void PreviewPane::wire() {
  if (!s_.drawer || wired_ == s_.drawer.get()) return;
  wired_ = s_.drawer.get();
  awakeFromNib();
}

double PreviewPane::scale() const {
  const ScanSetting& r = *s_.bridge.mpScanSettings;
  return previewScale(
      DialogContext{s_.bridge, s_.globals, s_.curExtraParam}.ability().maxWidth(r.bScanSource));
}

std::filesystem::path PreviewPane::colorDropFile() const {
  return s_.paths.bundleFolder / kColorDropFileName;
}

// --- set-up, scale and rulers ---

void PreviewPane::awakeFromNib() {
  wired_ = s_.drawer.get();
  trackingArea_.reset();
  cache_.clear();
  view_ = &s_.inDrawer<ui::ImageView>(kPreviewViewOutlet);
  ui::ImageView& v = *view_;
  // The class's units, registered once for the application.
  ui::RulerUnits& units = s_.application.rulerUnits();
  if (!units.find("Grummets")) {
    for (const RulerUnit& unit : classRulerUnits()) units.registerUnit(layerUnit(unit));
  }
  const ui::Size size = v.bounds().size;
  if (size.width > 0) {
    auto blank = std::make_shared<ui::Image>();
    blank->width = static_cast<int>(size.width);
    blank->height = static_cast<int>(size.height);
    blank->rgb.assign(std::size_t(blank->width) * blank->height * 3, 0xFF);
    mBackgroundImage = blank;
    v.setImage(mBackgroundImage);
  }
  v.setDrawHook([this](ui::ImageView& view, ui::Canvas& canvas) { drawRect(view, canvas); });
  auto handler = [this](void (PreviewPane::*member)(const ui::MouseEvent&)) {
    return [this, member](ui::ImageView&, const ui::MouseEvent& e) { (this->*member)(e); };
  };
  v.setMouseHandlers({.down = handler(&PreviewPane::mouseDown),
                      .dragged = handler(&PreviewPane::mouseDragged),
                      .up = handler(&PreviewPane::mouseUp),
                      .moved = handler(&PreviewPane::mouseMoved),
                      .entered = {},
                      .exited = handler(&PreviewPane::mouseExited)});
  if (ui::ScrollView* scroll = scrollView()) {
    scroll->setHasHorizontalRuler(true);
    scroll->setHasVerticalRuler(true);
    setRulerOffsets();
    scroll->setRulersVisible(true);
    v.setImageAlignment(ui::ImageAlignment::topLeft);
    const float grummets = gesture_.grummets();
    gesture_ = PreviewGesture();
    gesture_.setGrummets(grummets);
    mChangeDropColorImage = false;
    closedHand_ = false;
  }
  // The rulers show the paper page's unit until that page names one itself.
  setMeasurementUnits(rulerUnitOfPaperUnit(s_.bridge.mpScanSettings->bPaperSizeUnit));
}

void PreviewPane::setRulerOffsets() {
  ui::ScrollView* scroll = scrollView();
  if (!scroll) return;
  // The view is the scroll view's document: its top-left corner is the rulers' zero.
  scroll->horizontalRuler().setOriginOffset(0);
  scroll->verticalRuler().setOriginOffset(0);
}

void PreviewPane::initRuler() {
  wire();
  ui::RulerUnits& units = s_.application.rulerUnits();
  for (const RulerUnit& unit : rulerUnitsForScale(scale(), s_.bridge.currentRes)) {
    units.registerUnit(layerUnit(unit));
  }
}

void PreviewPane::setMeasurementUnits(const std::string& unit) {
  wire();
  const uint8_t paperUnit = s_.bridge.mpScanSettings->bPaperSizeUnit;
  if (paperUnit == kUnitPixel) {
    s_.application.rulerUnits().registerUnit(layerUnit(pixelRulerUnit(s_.bridge.currentRes)));
  }
  const std::string name = rulerUnitName(unit, paperUnit);
  if (ui::ScrollView* scroll = scrollView()) {
    scroll->horizontalRuler().setMeasurementUnits(name);
    scroll->verticalRuler().setMeasurementUnits(name);
  }
  gesture_.setGrummets(static_cast<float>(scale()));
}

void PreviewPane::setMaxScanArea(uint32_t width, uint32_t length) {
  wire();
  const double s = scale();
  gesture_.setMaxScanArea(viewMaximum(width, s), viewMaximum(length, s));
  // The view converts at the scale it draws at, also after a source of another width.
  gesture_.setGrummets(static_cast<float>(s));
  initRuler();
  view().setNeedsDisplay();
}

void PreviewPane::setMaxScanAreaFB(uint32_t length) {
  wire();
  mMaxLengthFB = viewMaximum(length, scale());
}

void PreviewPane::setMaxScanAreaADF(uint32_t length) {
  wire();
  mMaxLengthADF = viewMaximum(length, scale());
}

void PreviewPane::setRetangleRect(float x, float y, float width, float length) {
  wire();
  gesture_.setRetangleRect(x, y, width, length);
  view().setNeedsDisplay();
}

// --- the image ---

std::shared_ptr<const ui::Image> PreviewPane::load(bool result) {
  const std::filesystem::path file = result ? colorDropFile() : s_.previewFile();
  std::string why;
  std::shared_ptr<const ui::Image> image = cache_.load(file, why);
  if (!image && std::filesystem::exists(file)) {
    foundation::systemLog(foundation::LogLevel::warning,
                          "preview: " + file.filename().string() + " not shown: " + why + "\n");
  }
  return image;
}

bool PreviewPane::showPreviewFile(const std::filesystem::path& file) {
  wire();
  std::string why;
  if (!cache_.load(file, why)) {
    foundation::systemLog(foundation::LogLevel::warning,
                          "preview: " + file.filename().string() + " not shown: " + why + "\n");
    return false;
  }
  mChangeDropColorImage = false;
  view().setNeedsDisplay();
  return true;
}

void PreviewPane::deletePreviewImageFile() {
  std::error_code ignored;
  std::filesystem::remove(s_.previewFile(), ignored);
  if (s_.drawer) view().setNeedsDisplay();
}

bool PreviewPane::setColorDropResultImage(bool result) {
  wire();
  mChangeDropColorImage = result;
  std::shared_ptr<const ui::Image> image = load(result);
  view().setNeedsDisplay();
  if (!image) return false;
  s_.globals.gPreviewResult = true;
  return true;
}

void PreviewPane::drawRect(ui::ImageView& v, ui::Canvas& canvas) {
  if (!mChangeDropColorImage && s_.globals.gPreviewResult) {
    s_.globals.gPreviewResult = false;
    s_.globals.gShowPreviewImage = true;
  }
  previewImage_ = load(mChangeDropColorImage);
  if (previewImage_ && s_.bridge.mpScanSettings->bScanSource == kSourceAutomatic) {
    // The automatic source: the image's length tells a flatbed page from a feeder one.
    const uint32_t flatbed =
        DialogContext{s_.bridge, s_.globals, s_.curExtraParam}.ability().flatbedMaxLength();
    const bool isFlatbed = previewIsFlatbedLength(previewImage_->pointSize().height, flatbed);
    gesture_.setMaxScanArea(gesture_.getMaxWidth(), isFlatbed ? mMaxLengthFB : mMaxLengthADF);
    initRuler();
  }
  v.drawImageDefault(canvas);
  if (previewImage_) {
    canvas.drawImage(previewImage_, {{0, 0},
                                     {static_cast<double>(gesture_.getMaxWidth()),
                                      static_cast<double>(gesture_.getMaxHeight())}});
  }
  DialogContext ctx = s_.ctx();
  const PreviewDraw draw = gesture_.drawRect(ctx);
  canvas.strokeRect({{draw.rect.x, draw.rect.y}, {draw.rect.width, draw.rect.height}}, kAreaColour,
                    kAreaLineWidth);
  post(draw.posts);
}

// --- the mouse ---

void PreviewPane::post(const Posts& posts) {
  postAll(s_.application.notifications(), posts, &view());
}

void PreviewPane::mouseDown(const ui::MouseEvent& e) {
  DialogContext ctx = s_.ctx();
  const bool eyeDropper = gesture_.eyeDropperEnabled();
  const Posts posts =
      gesture_.mouseDown(ctx, {static_cast<float>(e.location.x), static_cast<float>(e.location.y)});
  if (!eyeDropper && gesture_.movingArea() && s_.application.services().cursors) {
    s_.application.services().cursors->push({.shape = ui::CursorShape::closedHand});
    closedHand_ = true;
  }
  view().setNeedsDisplay();
  post(posts);
}

void PreviewPane::mouseDragged(const ui::MouseEvent& e) {
  DialogContext ctx = s_.ctx();
  gesture_.mouseDragged(ctx, {static_cast<float>(e.location.x), static_cast<float>(e.location.y)});
  view().setNeedsDisplay();
}

void PreviewPane::mouseUp(const ui::MouseEvent& e) {
  if (gesture_.eyeDropperEnabled()) {
    perform(gesture_.eyeDropperUp());
    return;
  }
  if (closedHand_) {
    closedHand_ = false;
    if (s_.application.services().cursors) s_.application.services().cursors->pop();
  }
  DialogContext ctx = s_.ctx();
  const Posts posts =
      gesture_.mouseUp(ctx, {static_cast<float>(e.location.x), static_cast<float>(e.location.y)});
  view().setNeedsDisplay();
  post(posts);
}

void PreviewPane::mouseMoved(const ui::MouseEvent& e) {
  ui::ImageView& v = view();
  const ui::Rect b = v.bounds();
  const ViewRect bounds{static_cast<float>(b.origin.x), static_cast<float>(b.origin.y),
                        static_cast<float>(b.size.width), static_cast<float>(b.size.height)};
  // The colour the view shows at a point: what it drew there.
  auto pixelAt = [&v](float x, float y) -> std::optional<Colour> {
    const std::optional<ui::Color> c = v.picture().colorAt({x, y}, v.isFlipped());
    if (!c) return std::nullopt;
    return Colour{c->red, c->green, c->blue};
  };
  perform(gesture_.mouseMoved({static_cast<float>(e.location.x), static_cast<float>(e.location.y)},
                              bounds, pixelAt));
}

void PreviewPane::mouseExited(const ui::MouseEvent&) { perform(gesture_.mouseExited()); }

void PreviewPane::perform(const EyeDropperStep& step) {
  if (step.stopCursor) stopEyeDropperCursor();
  post(step.posts);
  if (step.showPreviewImage) setColorDropResultImage(false);
  if (step.enableCursor) EnableEyeDropperCursor(true);
  if (step.startCursor) startEyeDropperCursor();
}

// --- the eye dropper ---

void PreviewPane::addMouseTrackingArea() {
  wire();
  if (trackingArea_) return;
  trackingArea_ = view().addTrackingArea({.enterExit = true, .moves = true});
}

void PreviewPane::removeMouseTrackingArea() {
  wire();
  if (!trackingArea_) return;
  view().removeTrackingArea(*trackingArea_);
  trackingArea_.reset();
}

void PreviewPane::EnableEyeDropperCursor(bool on) {
  wire();
  gesture_.EnableEyeDropperCursor(on);
  // Picking ends: the eye dropper does not stay as the pointer elsewhere.
  if (!on && (eyeStopperCursorTimer_ || eyeDropperCursorShown_)) stopEyeDropperCursor();
}

void PreviewPane::startEyeDropperCursor() {
  ui::Timers* timers = s_.application.services().timers;
  if (!timers) return;
  if (eyeStopperCursorTimer_) timers->cancel(*eyeStopperCursorTimer_);
  eyeStopperCursorTimer_ = timers->scheduleOnce(kEyeDropperCursorDelay, [this] {
    eyeStopperCursorTimer_.reset();
    eyeDropperCursor();
  });
}

void PreviewPane::eyeDropperCursor() {
  eyeDropperCursorShown_ = true;
  if (ui::Cursors* cursors = s_.application.services().cursors) {
    cursors->set({.shape = ui::CursorShape::image,
                  .image = s_.paths.resourceFolder / kEyeDropperCursorFile,
                  .hotSpot = {0, 0}});
  }
}

void PreviewPane::stopEyeDropperCursor() {
  if (eyeStopperCursorTimer_) {
    if (ui::Timers* timers = s_.application.services().timers) {
      timers->cancel(*eyeStopperCursorTimer_);
    }
    eyeStopperCursorTimer_.reset();
  }
  if (ui::Cursors* cursors = s_.application.services().cursors) cursors->set({});
  eyeDropperCursorShown_ = false;
  gesture_.cursorStopped();
}

}  // namespace ferrolite::dialog
