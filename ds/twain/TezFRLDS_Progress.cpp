// The data source's side of the progress window and of the continue-scanning window: the first
// image's texts, the elapsed time, the image number and bar, and at a batch's end the countdown
// that watches the feeder while the transport window runs modally on the host's thread.
#include <chrono>
#include <thread>

#include "ds/scan/scanner/ScanTiming.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/TezFRLDS.h"
#include "ds/twain/TezFRLDialogBox.h"

namespace ferrolite {

namespace {

constexpr const char* kSeriesName = "Trailkeeper 3 Series";
constexpr const char* kSeriesKey = "strTK3Series";
constexpr const char* kTransferringText = "Image %d transferring";
constexpr const char* kElapsedText = "Time elapsed";
constexpr const char* kRemainingText = "Time remaining %d";
constexpr const char* kWarmUpText = "Warm up scanner";
constexpr std::chrono::seconds kTwainSharpPause{3};

}  // namespace

TezFRLDS& DSProgress::ds() { return static_cast<TezFRLDS&>(*this); }

void DSProgress::waitTurningRunLoop(std::chrono::milliseconds span) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + span;
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    ds().mainQueue.drainFor(std::chrono::ceil<std::chrono::milliseconds>(end - now));
  }
}

DSProgress::~DSProgress() { endTransport(); }

void DSProgress::showIndicatorWindow() {
  TezFRLDS& s = ds();
  dsLog("showIndicatorWindow", kLogIn, 1, kLogNoData);
  // 1.
  s.showIndicator = true;
  ProgressController* box = s.dialogBox.get();
  if (box) {
    // 2., 3. Without the interface the dialog-box window shows alone; with it, beside the
    // settings window.
    box->textCancelButton(s.localized("Cancel", "Cancel"));
    box->startIndicator();
    box->showIndicator(!s.noneUI);
    // 4.
    if (currentImageNumber == 1) {
      textTransferring = s.localized(kTransferringText, kTransferringText);
      textElapsedTime = s.localized(kElapsedText, kElapsedText);
      box->textElapsed(textElapsedTime + " " + elapsedTimeText(1));
      if (s.scanObject) {
        s.scanObject->setIndicatorInfo(tickCount, s.localized(kWarmUpText, kWarmUpText),
                                       textElapsedTime);
      }
      setPercentage(0);
    }
    // 5.
    box->setIndicatorTitle(s.vidpid == s.models.productLineModel
                               ? s.localized(kSeriesKey, kSeriesName)
                               : s.scannerName);
  }
  dsLog("showIndicatorWindow", kLogOut, 1, kLogNoData);
}

void DSProgress::startIndicatorTimer() {
  TezFRLDS& s = ds();
  if (!s.showIndicator || !s.dialogBox) return;
  s.dialogBox->startIndicatorTimer(scanTiming().second, [this] { elapsedTime(); });
}

void DSProgress::elapsedTime(uint32_t nowTick) {
  TezFRLDS& s = ds();
  if (!s.dialogBox) return;
  s.dialogBox->textElapsed(textElapsedTime + " " +
                           elapsedTimeText(elapsedSeconds(tickCount, nowTick)));
}

void DSProgress::setPercentage(int percent) {
  TezFRLDS& s = ds();
  if (!s.showIndicator || !s.dialogBox) return;
  const int image = s.timeOut > 0 ? s.timeOut : currentImageNumber.load();
  s.dialogBox->textTransferring(replaceNumber(textTransferring, image));
  s.dialogBox->indicatorValue(percent);
  // The window redraws, and what other threads posted runs, while the host's thread transfers.
  s.dialogBox->runLoopOnce();
}

void DSProgress::closeIndicatorWindowAndTimer() {
  TezFRLDS& s = ds();
  if (!s.showIndicator) return;
  if (s.dialogBox) {
    s.dialogBox->stopIndicatorTimer();
    s.dialogBox->orderOutIndicator();
    s.dialogBox->closeIndicatorWindow();
  }
  // A host of that family on that system version needs the window gone before it goes on.
  if (s.noneUI && s.mCurrentState == TWAIN_STATE_ENABLED && s.appTWAINSharp && s.osYosemite) {
    std::this_thread::sleep_for(kTwainSharpPause);
  }
  s.showIndicator = false;
}

bool DSProgress::feederLoaded() {
  TezFRLDS& s = ds();
  if (!s.scanObject) return false;
  uint8_t paper = 0;
  return s.scanObject->getADFStatus(&paper, false) && paper != 0;
}

bool DSProgress::toBeContinued() {
  TezFRLDS& s = ds();
  dsLog("toBeContinued", kLogIn, 1, kLogNoData);
  const ScanTiming timing = scanTiming();
  // 1. The scan thread has a last page to finish; it gets a minute.
  if (scanGoEvent) {
    dsLog("Scan thread is going", kLogBlank, 1, kLogNoData);
    for (int alive = 1; scanGoEvent; ++alive) {
      waitTurningRunLoop(timing.second);
      dsLog("Scanning is alive " + std::to_string(alive) + "s", kLogBlank, 1, kLogNoData);
      if (alive > timing.aliveSeconds) {
        dsLog("toBeContinued", kLogOut, 0, kLogNoData);
        return false;
      }
    }
  }
  ProgressController* box = s.dialogBox.get();
  if (!box || !s.scanObject) {
    dsLog("toBeContinued", kLogOut, 0, kLogNoData);
    return false;
  }
  const int source = s.scanObject->scanSource();
  // 2.
  if (!s.initXferTimeout) {
    s.initXferTimeout = true;
    box->setPhotoshopFamily(s.photoshopFamily);
    const std::string_view put = putPaperText(source, s.sdUsbScanner);
    box->textPutPaper(s.localized(put, put));
    textRemaining = s.localized(kRemainingText, kRemainingText);
    box->setTransportTitle(s.localized("Paper detection", "Paper detection"));
    box->textCancel(s.localized("Cancel", "Cancel"));
    box->textContinue(s.localized("Continue", "Continue"));
  }
  // 3.
  transportCountDown();
  // 4.
  box->showContinueButton(source == kScanSourceFlatbed);
  box->runTransportWindow();
  // 5.
  endTransport();
  if (source == kScanSourceFlatbed && !continueScan) continueScan = box->beContinued();
  // 6.
  if (continueScan) {
    if (s.showIndicator) {
      box->textTransferring(replaceNumber(textTransferring, currentImageNumber + 1));
      box->startIndicator();
      box->makeKeyAndOrderFront();
    }
    scanGoEvent = true;
    if (s.scanObject->xferGo()) waitTurningRunLoop(timing.xferGoPause);
  } else {
    // 7.
    s.initXferTimeout = false;
  }
  dsLog("toBeContinued", kLogOut, continueScan ? 1 : 0, kLogNoData);
  return continueScan;
}

void DSProgress::transportCountDown() {
  TezFRLDS& s = ds();
  endTransport();
  continueScan = false;
  countdownRunning_ = true;
  countdownThread_ = std::thread(&DSProgress::nextJob, this, int{s.jobSetting.wTransportTimeout},
                                 s.scanObject ? s.scanObject->scanSource() : kScanSourceFlatbed,
                                 generation_.load());
}

void DSProgress::onHostThread(uint64_t generation, std::function<void(ProgressController&)> call) {
  auto run = [this, generation, call = std::move(call)] {
    if (generation != generation_.load()) return;
    if (ProgressController* box = ds().dialogBox.get()) call(*box);
  };
  if (ds().mainQueue.onOwnerThread()) {
    run();
  } else {
    ds().mainQueue.post(std::move(run));
  }
}

void DSProgress::textTimeRemaining(int seconds) {
  const std::string text = replaceNumber(textRemaining, seconds);
  onHostThread(generation_.load(), [text](ProgressController& box) { box.textTimeRemain(text); });
}

void DSProgress::nextJob(int timeout, int scanSource, uint64_t generation) {
  dsLog("nextJob", kLogIn, 1, kLogNoData);
  const ScanTiming timing = scanTiming();
  for (int n = 0;;) {
    // 1.
    if (!countdownRunning_) {
      dsLog("nextJob", kLogOut, 0, kLogNoData);
      return;
    }
    // 2.
    textTimeRemaining(timeout - n);
    // 3.
    if (scanSource != kScanSourceFlatbed && feederLoaded()) {
      continueScan = true;
      break;
    }
    // 4. A second, or less when the countdown is ended.
    {
      std::unique_lock<std::mutex> lock(countdownMutex_);
      countdownWake_.wait_for(lock, timing.second, [this] { return !countdownRunning_; });
    }
    if (!countdownRunning_) {
      dsLog("nextJob", kLogOut, 0, kLogNoData);
      return;
    }
    if (++n > timeout) {
      if (scanSource == kScanSourceFlatbed) continueScan = true;
      break;
    }
  }
  // 5.
  onHostThread(generation, [](ProgressController& box) { box.closeTransportWindow(); });
  dsLog("nextJob", kLogOut, 1, kLogNoData);
}

void DSProgress::endTransport() {
  if (!countdownThread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(countdownMutex_);
    countdownRunning_ = false;
  }
  countdownWake_.notify_all();
  countdownThread_.join();
  // What the countdown posted and the queue has not run yet is stale now.
  ++generation_;
}

}  // namespace ferrolite
