#pragma once
// The progress window and the continue-scanning ("transport") window of "DialogBox", and the
// data source's side that drives them.
//
// TezFRLDialogBox is the window controller: both windows built on the widget layer from their
// descriptions, touched on the host's thread only (the thread that owns the data source's main
// queue). DSProgress is the data source's part (TezFRLDS derives from it): it shows the progress
// window at the batch's first image, keeps the elapsed time, updates the image number and the
// bar, and at a batch's end asks through the transport window whether to go on, with the
// countdown thread watching the feeder.
//
//   ds.showIndicatorWindow();        // transfer ready: the window, "0:01", bar at 0
//   ds.startIndicatorTimer();        // the elapsed time once a second
//   ds.setPercentage(40);            // "Image 3 transferring", bar 40
//   if (ds.dialogBox->scanCancelled()) ...
//   bool more = ds.toBeContinued();  // end of batch: countdown, modal loop; joins the thread
//   ds.closeIndicatorWindow();
//
// Threads: the countdown thread (a std::thread started by transportCountDown, joined by
// endTransport) reads the feeder and posts every window call to the main queue, which the
// transport window's modal loop drains on the host's thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "ds/twain/DSPorts.h"
#include "platform/ui/Application.h"
#include "platform/ui/Layout.h"

namespace ui {
class Button;
class Label;
class ProgressIndicator;
}  // namespace ui

namespace ferrolite {

class TezFRLDS;

// ---- ticks and texts ----

// The tick count of the platform: a steady clock in 1/60 s.
inline constexpr uint32_t kTicksPerSecond = 60;
uint32_t currentTick();
// Whole seconds since `startTick` with the first second counted as 1: (now - start) / 60 + 1.
uint32_t elapsedSeconds(uint32_t startTick, uint32_t nowTick);
// "%d:%02d" (minutes, seconds) below an hour, "%d:%02d:%02d" from an hour on.
std::string elapsedTimeText(uint32_t seconds);
// `text` with every "%d" (any case) replaced by `number`.
std::string replaceNumber(std::string_view text, int number);
// How far the transport window's two buttons move right to stand centred as a pair:
// (int)((window width - Continue width - Cancel width) / 2) - (int)Continue x.
int buttonCentringOffset(double windowWidth, double continueWidth, double cancelWidth,
                         double continueX);
// The put-paper text (its key, which is also its English text) for a scan source and a
// manual-feeder model.
std::string_view putPaperText(int scanSource, bool manualFeeder);

// ---- the windows ----

inline constexpr std::string_view kDialogBoxName = "DialogBox";
inline constexpr std::string_view kIndicatorWindowOutlet = "indicatorWindow";
inline constexpr std::string_view kTransportWindowOutlet = "transportWindow";
inline constexpr std::string_view kTextTransferringOutlet = "textTransferring";
inline constexpr std::string_view kTextElapsedOutlet = "textElapsed";
inline constexpr std::string_view kProgressBarOutlet = "progressBar";
inline constexpr std::string_view kCancelButtonOutlet = "cancelButton";
inline constexpr std::string_view kTextPutPaperOutlet = "textPutPaper";
inline constexpr std::string_view kTextTimeRemainOutlet = "textTimeRemain";
inline constexpr std::string_view kContinueButtonOutlet = "continueButton";
inline constexpr std::string_view kCancelNextPageOutlet = "cancelNextPage";

const ui::WindowSpec& indicatorWindowSpec();
const ui::WindowSpec& transportWindowSpec();

// What the windows live in: an application with its ports (whose run loop runs the transport
// window's modal session) and the texts of the descriptions.
class DialogBoxContext {
 public:
  virtual ~DialogBoxContext() = default;
  virtual ui::Application& application() = 0;
  virtual const ui::Strings& strings() const = 0;
  // The window the progress window is a sheet on when asked to be one; null: its own window.
  virtual ui::Window* sheetParent() { return nullptr; }
};

// The texts of the source's selected language.
std::unique_ptr<ui::Strings> makeSourceStrings(const TezFRLDS& source);

// The data source's windows without a toolkit: the context's run loop drains the source's main
// queue (and fires the timers) on the host's thread; every change of the windows goes into the
// headless journal, whose script plays the user (Cancel at image n, the transport buttons).
std::unique_ptr<ProgressController> makeHeadlessDialogBox(TezFRLDS& source);

class TezFRLDialogBox final : public ProgressController {
 public:
  // Builds both windows in the context's application. `init` and `awakeFromNib` of the Part.
  explicit TezFRLDialogBox(std::unique_ptr<DialogBoxContext> context);
  ~TezFRLDialogBox() override;

  void makeKeyAndOrderFront() override;  // the progress window to the front
  void closeIndicatorWindow() override;  // the progress window closes

  void initialize() override;
  void cancel() override;  // the progress window's Cancel button
  bool scanCancelled() const override;
  void enableCancelButton(bool enabled) override;
  void textCancelButton(const std::string& title) override;
  void textTransferring(const std::string& text) override;
  void textElapsed(const std::string& text) override;
  void indicatorValue(int percent) override;
  void startIndicator() override;
  void setIndicatorTitle(const std::string& title) override;
  // Shows the progress window (centred), the dialog-box window of a run without the interface
  // or a sheet on the settings window.
  void showIndicator(bool asSheet) override;
  void orderOutIndicator() override;
  void startIndicatorTimer(std::chrono::milliseconds interval, std::function<void()> fire) override;
  void stopIndicatorTimer() override;
  void runLoopOnce() override;

  void textPutPaper(const std::string& text) override;
  void textTimeRemain(const std::string& text) override;
  void textCancel(const std::string& title) override;
  void textContinue(const std::string& title) override;
  void setTransportTitle(const std::string& title) override;
  void continueScan() override;  // the transport window's Continue button
  void cancelNext() override;    // its Cancel button
  bool beContinued() const override;
  void showContinueButton(bool show) override;
  void setPhotoshopFamily(bool on) override { photoshopFamily_ = on; }
  // Centres the transport window and runs it modally until closeTransportWindow.
  void runTransportWindow() override;
  void closeTransportWindow() override;

  // For tests and tools.
  ui::Window& indicatorWindow() const { return *indicatorWindow_; }
  ui::Window& transportWindow() const { return *transportWindow_; }
  int offsetButton() const { return offsetButton_; }
  bool photoshopFamily() const { return photoshopFamily_; }

 private:
  // Ends the progress window's sheet, if it is one.
  void detachIndicator();

  std::unique_ptr<DialogBoxContext> context_;  // outlives the windows
  ui::Application& application_;
  std::unique_ptr<ui::Window> indicatorWindow_, transportWindow_;
  bool photoshopFamily_ = false;
  ui::Label* textTransferring_ = nullptr;
  ui::Label* textElapsed_ = nullptr;
  ui::ProgressIndicator* progressBar_ = nullptr;
  ui::Button* cancelButton_ = nullptr;
  ui::Button* continueButton_ = nullptr;
  ui::Label* textPutPaper_ = nullptr;
  ui::Label* textTimeRemain_ = nullptr;
  ui::Button* cancelNextPage_ = nullptr;
  std::atomic<bool> cancelled_{false};
  bool beContinued_ = false, reLayouted_ = false;
  int offsetButton_ = 0;
  uint64_t timer_ = 0;  // the timers port's id, 0 when none runs
  std::chrono::milliseconds interval_{0};
  std::function<void()> fire_;
};

// ---- the data source's side ----

class DSProgress {
 public:
  DSProgress() = default;
  ~DSProgress();  // ends a countdown still running
  DSProgress(const DSProgress&) = delete;
  DSProgress& operator=(const DSProgress&) = delete;

  void showIndicatorWindow();
  void startIndicatorTimer();
  // The timer's call: the elapsed time since `tickCount` at tick `nowTick`.
  void elapsedTime(uint32_t nowTick);
  void elapsedTime() { elapsedTime(ticks()); }
  // "Image %d transferring" with the image number (`timeOut` when above 0), the bar at
  // `percent`; turns the run loop once while a scan thread runs.
  void setPercentage(int percent);
  // Stops the timer, closes the progress window; see TezFRLDS::closeIndicatorWindow.
  void closeIndicatorWindowAndTimer();
  // The scan layer's feeder sensor reports paper.
  bool feederLoaded();

  // At the end of a batch with no page pending: waits for the scan thread to leave (up to the
  // alive limit), shows the transport window with the countdown and answers whether the batch
  // goes on (then the scan layer has been told to feed again). Host's thread.
  bool toBeContinued();
  void transportCountDown();
  void textTimeRemaining(int seconds);
  // Stops the countdown thread and joins it.
  void endTransport();

  // The start tick of the batch (1/60 s) and the texts kept at its first image.
  uint32_t tickCount = 0;
  std::string textTransferring, textElapsedTime, textRemaining;
  // Shared with the scan thread: the image being transferred (from 1), and whether the scan
  // thread runs its loop.
  std::atomic<int> currentImageNumber{0};
  std::atomic<bool> scanGoEvent{false};
  // Written by the countdown thread, read by the host's thread after the modal loop.
  std::atomic<bool> continueScan{false};
  // Tests replace the tick source to feed the elapsed time.
  std::function<uint32_t()> ticks = currentTick;

 private:
  TezFRLDS& ds();
  // Waits on the host's thread while what other threads post to the main queue runs.
  void waitTurningRunLoop(std::chrono::milliseconds span);
  void nextJob(int timeout, int scanSource, uint64_t generation);
  // Runs `call` on the dialog box on the host's thread: at once there, else through the main
  // queue, and only while the countdown of `generation` is the current one.
  void onHostThread(uint64_t generation, std::function<void(ProgressController&)> call);

  std::thread countdownThread_;
  std::atomic<bool> countdownRunning_{false};  // cleared by endTransport
  std::atomic<uint64_t> generation_{0};        // one a countdown: late calls of an old one drop
  std::mutex countdownMutex_;
  std::condition_variable countdownWake_;
};

}  // namespace ferrolite
