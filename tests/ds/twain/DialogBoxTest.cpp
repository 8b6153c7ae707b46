// The progress and continue-scanning windows: their texts, the elapsed time, the button layout,
// and the data source's side against the simulated scanner: the countdown thread that ends the
// transport window's modal loop, paper that arrives while it waits, and the scan thread's
// minute.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "OpenSupport.h"
#include "ds/scan/scanner/ScanTiming.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Scripted.h"
#include "tests/support/Patience.h"
#include "tests/support/ThreadCount.h"

namespace {

using dstest::gSource;
using ferrolite::ScanTiming;
using ui::headless::Journal;
using ui::headless::TransportAction;

// ---- texts ----

TEST(ProgressTexts, ElapsedTimeFromTheTickCount) {
  constexpr uint32_t kStart = 5000;
  struct Case {
    uint32_t start, now;
    const char* text;
  };
  const std::vector<Case> cases = {
      {kStart, kStart, "0:01"},                       // the first text
      {kStart, kStart + 59, "0:01"},                  // still the first second
      {kStart, kStart + 58 * 60, "0:59"},             // s = 59
      {kStart, kStart + 59 * 60, "1:00"},             // s = 60
      {kStart, kStart + 3598 * 60, "59:59"},          // the last of the short form
      {kStart, kStart + 3599 * 60, "1:00:00"},        // s = 3600
      {kStart, kStart + 3724 * 60, "1:02:05"},        // s = 3725
      {0xFFFFFF00u, 0xFFFFFF00u + 120 * 60, "2:01"},  // the tick count wraps between the two
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ferrolite::elapsedTimeText(ferrolite::elapsedSeconds(c.start, c.now)), c.text)
        << c.now - c.start << " ticks";
  }
}

TEST(ProgressTexts, TheImageNumberReplacesEveryPercentD) {
  EXPECT_EQ(ferrolite::replaceNumber("Image %d transferring", 3), "Image 3 transferring");
  EXPECT_EQ(ferrolite::replaceNumber("Bild %D (%d)", 12), "Bild 12 (12)");
  EXPECT_EQ(ferrolite::replaceNumber("no number", 4), "no number");
  EXPECT_EQ(ferrolite::replaceNumber("ends in %", 4), "ends in %");
}

TEST(ProgressTexts, PutPaperTextBySourceAndFeederKind) {
  struct Case {
    int source;
    bool manualFeeder;
    const char* text;
  };
  const std::vector<Case> cases = {
      {ferrolite::kScanSourceFlatbed, false, "Place paper on the scanner."},
      {ferrolite::kScanSourceFlatbed, true, "Place paper on the scanner."},
      {ferrolite::kScanSourceFeederFront, true, "Insert paper to the feeder."},
      {ferrolite::kScanSourceFeederDuplex, true, "Insert paper to the feeder."},
      {ferrolite::kScanSourceFeederFront, false, "Insert paper to the auto document feeder."},
      {ferrolite::kScanSourceFeederRear, false, "Insert paper to the auto document feeder."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ferrolite::putPaperText(c.source, c.manualFeeder), c.text)
        << c.source << " " << c.manualFeeder;
  }
}

TEST(ProgressTexts, ButtonCentringOffsetTruncatesBothConversions) {
  EXPECT_EQ(ferrolite::buttonCentringOffset(360, 100, 100, 20), 60);
  EXPECT_EQ(ferrolite::buttonCentringOffset(361, 100, 100, 20.9), 60);  // 80.5 → 80, 20.9 → 20
  EXPECT_EQ(ferrolite::buttonCentringOffset(150, 100, 100, 20), -45);   // -25 - 20
}

// ---- the windows alone, on scripted ports ----

class ScriptedContext final : public ferrolite::DialogBoxContext {
 public:
  ScriptedContext() : application_(services.services()) {}
  ui::Application& application() override { return application_; }
  const ui::Strings& strings() const override { return strings_; }

  ui::ScriptedServices services;

 private:
  ui::MapStrings strings_;
  ui::Application application_;
};

class DialogBoxWindows : public ::testing::Test {
 protected:
  DialogBoxWindows() {
    auto owned = std::make_unique<ScriptedContext>();
    context = owned.get();
    box = std::make_unique<ferrolite::TezFRLDialogBox>(std::move(owned));
  }
  ui::Button& button(std::string_view outlet) {
    return box->transportWindow().get<ui::Button>(outlet);
  }
  double x(std::string_view outlet) { return button(outlet).frame().origin.x; }

  ScriptedContext* context = nullptr;
  std::unique_ptr<ferrolite::TezFRLDialogBox> box;
};

TEST_F(DialogBoxWindows, ContinueButtonCentresThePairOnceAndMovesBackOnce) {
  const double continueX = x(ferrolite::kContinueButtonOutlet);
  const double cancelX = x(ferrolite::kCancelNextPageOutlet);
  const int offset = ferrolite::buttonCentringOffset(
      box->transportWindow().contentSize().width,
      button(ferrolite::kContinueButtonOutlet).frame().size.width,
      button(ferrolite::kCancelNextPageOutlet).frame().size.width, continueX);
  ASSERT_NE(offset, 0);

  box->showContinueButton(true);
  EXPECT_EQ(x(ferrolite::kContinueButtonOutlet), continueX + offset);
  EXPECT_EQ(x(ferrolite::kCancelNextPageOutlet), cancelX + offset);
  EXPECT_FALSE(button(ferrolite::kContinueButtonOutlet).isHidden());
  EXPECT_EQ(box->offsetButton(), offset);
  // The pair stands centred in the window.
  const double left = x(ferrolite::kContinueButtonOutlet);
  const double right = button(ferrolite::kCancelNextPageOutlet).frame().maxX();
  EXPECT_NEAR(left, box->transportWindow().contentSize().width - right, 1.0);

  box->showContinueButton(true);  // laid out already
  EXPECT_EQ(x(ferrolite::kContinueButtonOutlet), continueX + offset);

  for (int hide = 0; hide < 2; ++hide) {  // a second hide must not move them further
    box->showContinueButton(false);
    EXPECT_EQ(x(ferrolite::kContinueButtonOutlet), continueX) << hide;
    EXPECT_EQ(x(ferrolite::kCancelNextPageOutlet), cancelX) << hide;
    EXPECT_TRUE(button(ferrolite::kContinueButtonOutlet).isHidden());
    EXPECT_EQ(box->offsetButton(), offset);  // kept for the next time
  }
  box->showContinueButton(true);
  EXPECT_EQ(x(ferrolite::kContinueButtonOutlet), continueX + offset);
}

TEST_F(DialogBoxWindows, ButtonsEndTheTransportSessionAndSayWhetherToContinue) {
  struct Case {
    std::string_view button;
    bool continued;
  };
  for (const Case c : {Case{ferrolite::kContinueButtonOutlet, true},
                       Case{ferrolite::kCancelNextPageOutlet, false}}) {
    box->showContinueButton(true);
    EXPECT_FALSE(box->beContinued());
    context->services.runLoop.script(
        [&](ui::Window& window) { EXPECT_TRUE(window.get<ui::Button>(c.button).userClick()); });
    box->runTransportWindow();
    EXPECT_EQ(box->beContinued(), c.continued) << c.button;
    EXPECT_FALSE(box->transportWindow().isVisible());
    EXPECT_EQ(context->application().modalWindow(), nullptr);
  }
}

TEST_F(DialogBoxWindows, CancelInTheProgressWindowSticksUntilTheNextBatch) {
  ui::Button& cancel = box->indicatorWindow().get<ui::Button>(ferrolite::kCancelButtonOutlet);
  box->showIndicator(false);
  EXPECT_TRUE(box->indicatorWindow().isVisible());
  EXPECT_TRUE(cancel.userClick());
  EXPECT_TRUE(box->scanCancelled());
  EXPECT_FALSE(cancel.isEnabled());
  box->initialize();
  EXPECT_FALSE(box->scanCancelled());
  box->enableCancelButton(true);
  EXPECT_TRUE(cancel.isEnabled());
}

// ---- the data source's side ----

// The journal's last text of a window element ("textElapsed text", ...).
std::string lastText(const std::string& call) {
  std::string text;
  bool found = false;
  for (const auto& e : Journal::shared().entries()) {
    if (e.window == ferrolite::kDialogBoxName && e.call == call) {
      text = e.text;
      found = true;
    }
  }
  return found ? text : "<none>";
}

std::vector<std::string> allTexts(const std::string& call) {
  std::vector<std::string> texts;
  for (const auto& e : Journal::shared().entries()) {
    if (e.window == ferrolite::kDialogBoxName && e.call == call) texts.push_back(e.text);
  }
  return texts;
}

class ProgressSide : public dstest::OpenSourceTest {
 protected:
  void SetUp() override {
    // ThreadSanitizer starts a thread of its own with the process's first thread: let it start
    // before the host counts the threads a session may leave.
    std::thread([] {}).join();
    dstest::OpenSourceTest::SetUp();
    saved_ = ferrolite::scanTiming();
    ScanTiming fast = saved_;
    fast.second = std::chrono::milliseconds(1);
    fast.xferGoPause = std::chrono::milliseconds(0);
    fast.aliveSeconds = 3;
    ferrolite::setScanTiming(fast);
  }
  void TearDown() override {
    if (gSource) gSource->scanGoEvent = false;
    ferrolite::setScanTiming(saved_);
    dstest::OpenSourceTest::TearDown();
    scanner().LoadSheets(3);  // the feeder as the other tests expect it
  }
  // A feeder job started and ended, so that the scan layer's source is the feeder.
  void useFeeder() {
    ferrolite::ScanSetting s = gSource->scanSetting;
    s.wImageType = ferrolite::kImageGrayFront;
    s.bScanSource = ferrolite::kSourceFeeder;
    ASSERT_TRUE(gSource->scanObject->startScanJob(s)) << gSource->scanObject->scannerError();
    gSource->scanObject->endScanJob();
    ASSERT_EQ(gSource->scanObject->scanSource(), ferrolite::kScanSourceFeederFront);
  }

  ScanTiming saved_;
};

TEST_F(ProgressSide, FirstImageShowsItsTextsAndTheElapsedTimeFollowsTheTicks) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  Journal::shared().reset();
  ds.currentImageNumber = 1;
  ds.tickCount = 7000;
  ds.showIndicatorWindow();
  EXPECT_TRUE(ds.showIndicator);
  EXPECT_EQ(lastText("indicatorWindow visible"), "yes");
  EXPECT_EQ(lastText("indicatorWindow title"), ds.scannerName);
  EXPECT_EQ(lastText("textElapsed text"), "Time elapsed 0:01");
  EXPECT_EQ(lastText("textTransferring text"), "Image 1 transferring");
  EXPECT_EQ(lastText("progressBar value"), "0");
  EXPECT_EQ(lastText("cancelButton title"), "Cancel");

  ds.elapsedTime(7000 + 58 * 60);
  EXPECT_EQ(lastText("textElapsed text"), "Time elapsed 0:59");
  ds.elapsedTime(7000 + 3724 * 60);
  EXPECT_EQ(lastText("textElapsed text"), "Time elapsed 1:02:05");

  ds.currentImageNumber = 3;
  ds.setPercentage(40);
  EXPECT_EQ(lastText("textTransferring text"), "Image 3 transferring");
  EXPECT_EQ(lastText("progressBar value"), "40");
  ds.timeOut = 9;  // the number the host asked for wins
  ds.setPercentage(50);
  EXPECT_EQ(lastText("textTransferring text"), "Image 9 transferring");
  ds.timeOut = 0;

  ds.closeIndicatorWindow();
  EXPECT_FALSE(ds.showIndicator);
  EXPECT_EQ(lastText("indicatorWindow visible"), "no");
  const std::size_t entries = Journal::shared().entries().size();
  ds.setPercentage(60);  // the window is closed: nothing changes
  EXPECT_EQ(Journal::shared().entries().size(), entries);
}

TEST_F(ProgressSide, TheWindowsSpeakTheChosenLanguage) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  int count = 0;
  ds.supportedLanguages(&count);
  ASSERT_EQ(count, 2);
  ds.setLanguage(1);  // German
  ds.currentImageNumber = 1;
  ds.showIndicatorWindow();
  EXPECT_EQ(lastText("textTransferring text"), "Bild 1 wird übertragen");
  EXPECT_EQ(lastText("textElapsed text"), "Vergangene Zeit 0:01");
  EXPECT_EQ(lastText("cancelButton title"), "Abbrechen");
  ds.jobSetting.wTransportTimeout = 0;
  EXPECT_TRUE(ds.toBeContinued());  // the flatbed goes on after its time-out
  EXPECT_EQ(lastText("textPutPaper text"), "Legen Sie Papier auf den Scanner.");
  EXPECT_EQ(lastText("transportWindow title"), "Papiererkennung");
  EXPECT_EQ(lastText("continueButton title"), "Weiter");
  EXPECT_EQ(lastText("textTimeRemain text"), "Verbleibende Zeit 0");
  ds.scanGoEvent = false;
  ds.closeIndicatorWindow();
}

TEST_F(ProgressSide, TheTimerShowsTheElapsedTimeWhenTheHostsThreadTurnsItsRunLoop) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.currentImageNumber = 1;
  ds.tickCount = 100;
  ds.showIndicatorWindow();
  ds.ticks = [] { return uint32_t{100 + 125 * 60}; };
  ds.startIndicatorTimer();
  const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
  while (lastText("textElapsed text") != "Time elapsed 2:06" &&
         std::chrono::steady_clock::now() < deadline) {
    ds.dialogBox->runLoopOnce();
  }
  EXPECT_EQ(lastText("textElapsed text"), "Time elapsed 2:06");
  ds.closeIndicatorWindow();
  // The timer stopped with the window.
  Journal::shared().reset();
  for (int i = 0; i < 50; ++i) ds.dialogBox->runLoopOnce();
  EXPECT_EQ(lastText("textElapsed text"), "<none>");
  ds.ticks = ferrolite::currentTick;
}

TEST_F(ProgressSide, TheScriptedUserCancelsAtTheImageItNames) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  Journal::shared().scriptCancelAtImage(2);
  ds.currentImageNumber = 1;
  ds.showIndicatorWindow();
  EXPECT_FALSE(ds.dialogBox->scanCancelled());
  ds.currentImageNumber = 2;
  ds.setPercentage(0);
  EXPECT_TRUE(ds.dialogBox->scanCancelled());
  EXPECT_EQ(lastText("cancelButton enabled"), "no");
  ds.closeIndicatorWindow();
}

TEST_F(ProgressSide, CountdownEndsTheTransportWindowWithoutPaper) {
  Open();
  useFeeder();
  ferrolite::TezFRLDS& ds = *gSource;
  scanner().LoadSheets(0);
  ds.jobSetting.wTransportTimeout = 3;
  const std::size_t threads = testsupport::threadCount();
  Journal::shared().reset();
  EXPECT_FALSE(ds.toBeContinued());
  EXPECT_FALSE(ds.continueScan);
  EXPECT_FALSE(ds.initXferTimeout);
  EXPECT_EQ(lastText("transportWindow title"), "Paper detection");
  EXPECT_EQ(lastText("textPutPaper text"), "Insert paper to the auto document feeder.");
  EXPECT_EQ(lastText("continueButton hidden"), "yes");  // the feeder has no Continue
  EXPECT_EQ(allTexts("textTimeRemain text"),
            (std::vector<std::string>{"Time remaining 3", "Time remaining 2", "Time remaining 1",
                                      "Time remaining 0"}));
  EXPECT_EQ(lastText("transportWindow visible"), "no");
  EXPECT_EQ(testsupport::threadCount(), threads);  // the countdown thread was joined
}

TEST_F(ProgressSide, ATimeOutOfZeroLooksOnceAndEnds) {
  Open();
  useFeeder();
  ferrolite::TezFRLDS& ds = *gSource;
  scanner().LoadSheets(0);
  ds.jobSetting.wTransportTimeout = 0;
  Journal::shared().reset();
  EXPECT_FALSE(ds.toBeContinued());
  EXPECT_EQ(allTexts("textTimeRemain text"), std::vector<std::string>{"Time remaining 0"});
}

TEST_F(ProgressSide, PaperPutIntoTheFeederWhileTheWindowWaitsContinuesTheBatch) {
  Open();
  useFeeder();
  ferrolite::TezFRLDS& ds = *gSource;
  scanner().LoadSheets(0);
  ds.jobSetting.wTransportTimeout = 60000;  // a minute at the shortened second
  ds.sdUsbScanner = true;
  ds.currentImageNumber = 1;
  ds.showIndicatorWindow();
  ds.currentImageNumber = 4;  // the batch's last image so far
  Journal::shared().reset();
  // The user loads paper once the window shows its countdown.
  std::thread user([this] {
    const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
    while (lastText("textTimeRemain text") == "<none>" &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    scanner().LoadSheets(2);
  });
  const bool more = ds.toBeContinued();
  user.join();
  EXPECT_TRUE(more);
  EXPECT_TRUE(ds.scanGoEvent);  // the scan thread is asked for the next page
  EXPECT_TRUE(ds.initXferTimeout);
  EXPECT_EQ(lastText("textPutPaper text"), "Insert paper to the feeder.");
  EXPECT_EQ(lastText("textTransferring text"), "Image 5 transferring");
  EXPECT_EQ(lastText("transportWindow visible"), "no");
  ds.scanGoEvent = false;
  ds.closeIndicatorWindow();
}

TEST_F(ProgressSide, TheFlatbedContinuesOnTimeOutAndAsksWithItsButtons) {
  Open();  // no job yet: the scan layer's source is the flatbed
  ferrolite::TezFRLDS& ds = *gSource;
  ASSERT_EQ(ds.scanObject->scanSource(), ferrolite::kScanSourceFlatbed);
  ds.jobSetting.wTransportTimeout = 2;
  struct Case {
    TransportAction action;
    bool continued;
  };
  for (const Case c : {Case{TransportAction::kWait, true}, Case{TransportAction::kContinue, true},
                       Case{TransportAction::kCancel, false}}) {
    Journal::shared().reset();
    ds.initXferTimeout = false;  // a new batch: the window gets its texts again
    if (c.action != TransportAction::kWait) ds.jobSetting.wTransportTimeout = 60000;
    Journal::shared().scriptTransport(c.action);
    EXPECT_EQ(ds.toBeContinued(), c.continued) << int(c.action);
    EXPECT_EQ(lastText("textPutPaper text"), "Place paper on the scanner.");
    EXPECT_EQ(lastText("continueButton hidden"), "no");
    EXPECT_EQ(lastText("transportWindow visible"), "no");
    ds.scanGoEvent = false;
  }
}

TEST_F(ProgressSide, AScanThreadThatOutlivesItsMinuteEndsTheBatchWithoutTheWindow) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.jobSetting.wTransportTimeout = 5;
  ds.scanGoEvent = true;  // a scan thread that never finishes its page
  Journal::shared().reset();
  EXPECT_FALSE(ds.toBeContinued());
  EXPECT_EQ(lastText("transportWindow visible"), "<none>");
  ds.scanGoEvent = false;
}

}  // namespace
