// The progress and transport windows: their descriptions, the controller over the widget layer,
// and the small text helpers they share with the data source's side.
#include "ds/twain/TezFRLDialogBox.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <utility>

#include "ds/scan/scanner/TezFRLScan.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Window.h"

namespace ferrolite {

// ---- ticks and texts ----

uint32_t currentTick() {
  using Tick = std::chrono::duration<int64_t, std::ratio<1, kTicksPerSecond>>;
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<Tick>(since).count());
}

uint32_t elapsedSeconds(uint32_t startTick, uint32_t nowTick) {
  // Unsigned difference: the 32-bit tick count may wrap between the two.
  return (nowTick - startTick) / kTicksPerSecond + 1;
}

std::string elapsedTimeText(uint32_t seconds) {
  constexpr uint32_t kMinute = 60, kHour = 3600;
  char text[32];
  if (seconds < kHour) {
    std::snprintf(text, sizeof text, "%u:%02u", seconds / kMinute, seconds % kMinute);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / kHour, seconds % kHour / kMinute,
                  seconds % kMinute);
  }
  return text;
}

std::string replaceNumber(std::string_view text, int number) {
  const std::string value = std::to_string(number);
  std::string out;
  out.reserve(text.size() + value.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 'd' || text[i + 1] == 'D')) {
      out += value;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

int buttonCentringOffset(double windowWidth, double continueWidth, double cancelWidth,
                         double continueX) {
  return static_cast<int>((windowWidth - continueWidth - cancelWidth) / 2) -
         static_cast<int>(continueX);
}

std::string_view putPaperText(int scanSource, bool manualFeeder) {
  if (scanSource == kScanSourceFlatbed) return "Place paper on the scanner.";
  if (manualFeeder) return "Insert paper to the feeder.";
  return "Insert paper to the auto document feeder.";
}

// ---- the windows ----

namespace {

// The transport window lays its buttons out by frame, so that the pair can be centred when the
// Continue button shows.
constexpr double kTransportWidth = 360;
constexpr double kButtonWidth = 100;
constexpr double kButtonHeight = 28;
constexpr double kMargin = 20;
// Frames count from the window's lower left corner: the texts above, the buttons below.
constexpr double kButtonsY = 24;
constexpr double kTimeRemainY = 66;
constexpr double kPutPaperY = 100;

}  // namespace

const ui::WindowSpec& indicatorWindowSpec() {
  static const ui::WindowSpec spec{.outlet = kIndicatorWindowOutlet,
                                   .kind = ui::WindowKind::panel,
                                   .title = "",
                                   .titleFallback = ui::Fallback::literal,
                                   .size = {360, 120},
                                   .elements = {
                                       {.outlet = kTextTransferringOutlet,
                                        .kind = ui::ControlKind::label,
                                        .cell = {0, 0, 1, 2},
                                        .fallback = ui::Fallback::literal},
                                       {.outlet = kTextElapsedOutlet,
                                        .kind = ui::ControlKind::label,
                                        .cell = {1, 0, 1, 2},
                                        .fallback = ui::Fallback::literal},
                                       {.outlet = kProgressBarOutlet,
                                        .kind = ui::ControlKind::progressIndicator,
                                        .cell = {2, 0, 1, 2},
                                        .maximum = 100},
                                       {.outlet = kCancelButtonOutlet,
                                        .kind = ui::ControlKind::pushButton,
                                        .cell = {3, 1},
                                        .text = "Cancel",
                                        .fallback = ui::Fallback::key},
                                   }};
  return spec;
}

const ui::WindowSpec& transportWindowSpec() {
  static const ui::WindowSpec spec{.outlet = kTransportWindowOutlet,
                                   .kind = ui::WindowKind::panel,
                                   .title = "Paper detection",
                                   .titleFallback = ui::Fallback::key,
                                   .size = {kTransportWidth, 144},
                                   .freeLayout = true,
                                   .elements = {
                                       {.outlet = kTextPutPaperOutlet,
                                        .kind = ui::ControlKind::label,
                                        .fallback = ui::Fallback::literal,
                                        .size = {kTransportWidth - 2 * kMargin, 22},
                                        .origin = {kMargin, kPutPaperY}},
                                       {.outlet = kTextTimeRemainOutlet,
                                        .kind = ui::ControlKind::label,
                                        .fallback = ui::Fallback::literal,
                                        .size = {kTransportWidth - 2 * kMargin, 22},
                                        .origin = {kMargin, kTimeRemainY}},
                                       {.outlet = kContinueButtonOutlet,
                                        .kind = ui::ControlKind::pushButton,
                                        .text = "Continue",
                                        .fallback = ui::Fallback::key,
                                        .size = {kButtonWidth, kButtonHeight},
                                        .origin = {kMargin, kButtonsY}},
                                       {.outlet = kCancelNextPageOutlet,
                                        .kind = ui::ControlKind::pushButton,
                                        .text = "Cancel",
                                        .fallback = ui::Fallback::key,
                                        .size = {kButtonWidth, kButtonHeight},
                                        .origin = {kMargin + kButtonWidth, kButtonsY}},
                                   }};
  return spec;
}

TezFRLDialogBox::TezFRLDialogBox(std::unique_ptr<DialogBoxContext> context)
    : context_(std::move(context)), application_(context_->application()) {
  indicatorWindow_ = ui::buildWindow(application_, indicatorWindowSpec(), context_->strings());
  transportWindow_ = ui::buildWindow(application_, transportWindowSpec(), context_->strings());
  textTransferring_ = &indicatorWindow_->get<ui::Label>(kTextTransferringOutlet);
  textElapsed_ = &indicatorWindow_->get<ui::Label>(kTextElapsedOutlet);
  progressBar_ = &indicatorWindow_->get<ui::ProgressIndicator>(kProgressBarOutlet);
  cancelButton_ = &indicatorWindow_->get<ui::Button>(kCancelButtonOutlet);
  textPutPaper_ = &transportWindow_->get<ui::Label>(kTextPutPaperOutlet);
  textTimeRemain_ = &transportWindow_->get<ui::Label>(kTextTimeRemainOutlet);
  continueButton_ = &transportWindow_->get<ui::Button>(kContinueButtonOutlet);
  cancelNextPage_ = &transportWindow_->get<ui::Button>(kCancelNextPageOutlet);
  cancelButton_->setAction([this](ui::Control&) { cancel(); });
  continueButton_->setAction([this](ui::Control&) { continueScan(); });
  cancelNextPage_->setAction([this](ui::Control&) { cancelNext(); });
  // init, awakeFromNib
  photoshopFamily_ = false;
  offsetButton_ = 0;
  cancelled_ = false;
  reLayouted_ = false;
}

TezFRLDialogBox::~TezFRLDialogBox() {
  stopIndicatorTimer();
  detachIndicator();
  // A session still running on the transport window ends before the window goes.
  if (application_.modalWindow() == transportWindow_.get()) application_.abortModal();
  transportWindow_.reset();
  indicatorWindow_.reset();
}

void TezFRLDialogBox::makeKeyAndOrderFront() {
  if (indicatorWindow_->isVisible()) indicatorWindow_->makeKeyAndOrderFront();
}

void TezFRLDialogBox::closeIndicatorWindow() {
  detachIndicator();
  indicatorWindow_->close();
}

void TezFRLDialogBox::detachIndicator() {
  if (ui::Window* parent = indicatorWindow_->sheetParent()) parent->endSheet(*indicatorWindow_);
}

void TezFRLDialogBox::initialize() {
  cancelled_ = false;
  beContinued_ = false;
}

void TezFRLDialogBox::cancel() {
  cancelled_ = true;
  cancelButton_->setEnabled(false);
  closeTransportWindow();
}

bool TezFRLDialogBox::scanCancelled() const { return cancelled_.load(); }

void TezFRLDialogBox::enableCancelButton(bool enabled) { cancelButton_->setEnabled(enabled); }

void TezFRLDialogBox::textCancelButton(const std::string& title) { cancelButton_->setTitle(title); }

void TezFRLDialogBox::textTransferring(const std::string& text) {
  textTransferring_->setText(text);
}

void TezFRLDialogBox::textElapsed(const std::string& text) { textElapsed_->setText(text); }

void TezFRLDialogBox::indicatorValue(int percent) {
  progressBar_->setIndeterminate(false);
  progressBar_->setDoubleValue(percent);
}

void TezFRLDialogBox::startIndicator() {
  progressBar_->setIndeterminate(true);
  progressBar_->startAnimation();
}

void TezFRLDialogBox::setIndicatorTitle(const std::string& title) {
  indicatorWindow_->setTitle(title);
}

void TezFRLDialogBox::showIndicator(bool asSheet) {
  // A sheet on the settings window while it is up and free; otherwise a window of its own.
  ui::Window* parent = asSheet ? context_->sheetParent() : nullptr;
  if (indicatorWindow_->sheetParent()) return indicatorWindow_->makeKeyAndOrderFront();
  if (parent && parent->isVisible() && !parent->attachedSheet()) {
    parent->beginSheet(*indicatorWindow_);
    return;
  }
  indicatorWindow_->center();
  indicatorWindow_->makeKeyAndOrderFront();
}

void TezFRLDialogBox::orderOutIndicator() {
  detachIndicator();
  indicatorWindow_->orderOut();
}

void TezFRLDialogBox::startIndicatorTimer(std::chrono::milliseconds interval,
                                          std::function<void()> fire) {
  stopIndicatorTimer();
  interval_ = interval;
  fire_ = std::move(fire);
  // One-shot timers of the port, scheduled again at each firing.
  struct Repeat {
    TezFRLDialogBox* box;
    void operator()() const {
      box->timer_ = box->application_.services().timers->scheduleOnce(
          std::chrono::duration_cast<ui::Seconds>(box->interval_), Repeat{box});
      // A copy: the call may stop the timer, which drops fire_.
      if (const std::function<void()> fire = box->fire_) fire();
    }
  };
  timer_ = application_.services().timers->scheduleOnce(
      std::chrono::duration_cast<ui::Seconds>(interval_), Repeat{this});
}

void TezFRLDialogBox::stopIndicatorTimer() {
  if (timer_ != 0) application_.services().timers->cancel(timer_);
  timer_ = 0;
  fire_ = nullptr;
}

void TezFRLDialogBox::runLoopOnce() { application_.runShortPass(ui::Seconds(0)); }

void TezFRLDialogBox::textPutPaper(const std::string& text) { textPutPaper_->setText(text); }

void TezFRLDialogBox::textTimeRemain(const std::string& text) { textTimeRemain_->setText(text); }

void TezFRLDialogBox::textCancel(const std::string& title) { cancelNextPage_->setTitle(title); }

void TezFRLDialogBox::textContinue(const std::string& title) { continueButton_->setTitle(title); }

void TezFRLDialogBox::setTransportTitle(const std::string& title) {
  transportWindow_->setTitle(title);
}

void TezFRLDialogBox::continueScan() {
  beContinued_ = true;
  closeTransportWindow();
}

void TezFRLDialogBox::cancelNext() {
  beContinued_ = false;
  closeTransportWindow();
}

bool TezFRLDialogBox::beContinued() const { return beContinued_; }

void TezFRLDialogBox::showContinueButton(bool show) {
  auto move = [this](int by) {
    for (ui::Button* button : {continueButton_, cancelNextPage_}) {
      ui::Point origin = button->frame().origin;
      origin.x += by;
      button->setFrameOrigin(origin);
    }
  };
  if (show && !reLayouted_) {
    const ui::Rect& cont = continueButton_->frame();
    const int offset = buttonCentringOffset(transportWindow_->contentSize().width, cont.size.width,
                                            cancelNextPage_->frame().size.width, cont.origin.x);
    move(offset);
    reLayouted_ = true;
    offsetButton_ = offset;
  } else if (!show && offsetButton_ != 0 && reLayouted_) {
    // Only a layout that was moved goes back; the offset stays for the next time.
    move(-offsetButton_);
    reLayouted_ = false;
  }
  continueButton_->setHidden(!show);
  beContinued_ = false;
}

void TezFRLDialogBox::runTransportWindow() {
  transportWindow_->center();
  application_.runModal(*transportWindow_);
}

void TezFRLDialogBox::closeTransportWindow() {
  transportWindow_->close();
  if (application_.modalWindow() == transportWindow_.get()) application_.abortModal();
}

}  // namespace ferrolite
