// Conditions and cancels in a batch, and the faults of the transfer side: what the next transfer
// answers, what DAT_STATUS and the custom operation say, that the batch ends in state 50 with
// every thread joined, and that the next batch in the same session scans cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TransferSupport.h"
#include "platform/ui/Headless.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;

constexpr uint8_t kReleaseJobEnd = 2;        // the RELEASE UNIT argument the job's end sends
constexpr uint32_t kExtUltrasonic = 0x8;     // the scan parameter's multi-feed detection
constexpr uint8_t kWindowUltrasonic = 0x10;  // and the window's

class XferErrors : public dstest::TransferTest {
 protected:
  // After any condition: a fresh feeder gives a clean batch of two images.
  void ExpectCleanNextBatch() {
    scanner().ClearSheetEvents();
    scanner().LoadSheets(2);
    ui::headless::Journal::shared().scriptCancelAtImage(0);
    DropMessages();
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
    for (const Image& image : images) EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
    EXPECT_EQ(images.back().pendingCount, 0);
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_TRUE(host.DisableDs().ok());
  }
  uint32_t nextSheet() { return scanner().Scanned().sheetsFed + 1; }
};

TEST_F(XferErrors, ConditionsAndCancelsEndTheBatchCleanly) {
  struct Row {
    const char* what;
    bool event;  // a condition on the second sheet's front
    sim::SheetEventKind kind;
    bool multifeedCheck;  // ultrasonic multi-feed detection on
    bool stopAfterMultifeed;
    int cancelAtImage;   // the user's Cancel in the progress window, 0 none
    size_t delivered;    // images transferred before the cancel
    bool cancelled;      // the batch ends in a cancelled transfer
    uint16_t condition;  // DAT_STATUS after the cancelled transfer, 0 not checked
  };
  using K = sim::SheetEventKind;
  const Row rows[] = {
      {"a jam on the second sheet", true, K::Jam, false, false, 0, 1, true, TWCC_PAPERJAM},
      {"cover open on the second sheet", true, K::CoverOpen, false, false, 0, 1, true,
       TWCC_INTERLOCK},
      {"a multi-feed that stops the batch", true, K::MultiFeed, true, true, 0, 1, true,
       TWCC_PAPERDOUBLEFEED},
      {"a multi-feed the batch goes on after", true, K::MultiFeed, true, false, 0, 3, false, 0},
      {"Cancel in the progress window at image 2", false, {}, false, false, 2, 1, true, 0},
  };
  OpenSmall();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scanner().ClearSheetEvents();
    scanner().LoadSheets(3);
    scanner().ClearCommandLog();
    const size_t releasesBefore = scanner().Scanned().releaseArguments.size();
    gSource->scanSetting.bUltrasonic = row.multifeedCheck;
    gSource->scanSetting.bStopAfterMultefeed = row.stopAfterMultifeed;
    const size_t alertsBefore = alerts().size();
    if (row.event) scanner().AddSheetEvent({row.kind, nextSheet() + 1, 0, 2000, 0});
    ui::headless::Journal::shared().scriptCancelAtImage(row.cancelAtImage);
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    ASSERT_EQ(images.size(), row.delivered + row.cancelled) << host.DescribeJournal();
    for (size_t i = 0; i < row.delivered; ++i) EXPECT_EQ(images[i].transferResult, TWRC_XFERDONE);
    if (row.cancelled) {
      EXPECT_EQ(images.back().transferResult, TWRC_CANCEL);
    }
    EXPECT_EQ(images.back().pendingCount, 0);
    if (row.condition != TWCC_SUCCESS) {
      const twainhost::JournalEntry& cancelled =
          *std::find_if(host.journal().rbegin(), host.journal().rend(),
                        [](const twainhost::JournalEntry& e) { return e.rc == TWRC_CANCEL; });
      EXPECT_EQ(cancelled.cc, row.condition);
      EXPECT_GT(alerts().size(), alertsBefore);
      const auto custom = host.Custom(MSG_GET);
      EXPECT_NE(custom.value.error, 0u);
      EXPECT_FALSE(custom.value.message.empty());
    }
    if (row.multifeedCheck && !row.stopAfterMultifeed) {
      // The batch's end names the multi-fed sheet.
      ASSERT_GT(alerts().size(), alertsBefore);
      const std::string text = alerts().back().text + alerts().back().details;
      EXPECT_NE(text.find("Multi-Feed Count: 1"), std::string::npos) << text;
    }
    // The detection reached the scanner's window (this model has no stop style of its own: the
    // source stops the batch).
    const std::vector<dstest::Window> windows = dstest::Windows(scanner());
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ((gSource->scanObject->deviceScanParam().ExtParam0 & kExtUltrasonic) != 0,
              row.multifeedCheck);
    EXPECT_EQ(windows.front().feedChecks & kWindowUltrasonic,
              row.multifeedCheck ? kWindowUltrasonic : 0);
    // The job's end reached the scanner.
    const sim::ScanRecord record = scanner().Scanned();
    ASSERT_GT(record.releaseArguments.size(), releasesBefore);
    EXPECT_EQ(record.releaseArguments.back(), kReleaseJobEnd);
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_FALSE(gSource->scanThread.exists());
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    gSource->scanSetting.bUltrasonic = gSource->scanSetting.bStopAfterMultefeed = 0;
    ExpectCleanNextBatch();
  }
}

TEST_F(XferErrors, AScannerThatStopsItselfAtAMultiFeed) {
  // A model with a multi-feed stop style of its own: the window asks the scanner to stop, and
  // the source ends the batch as when it stops by itself.
  constexpr uint32_t kInquiryMultifeedStyles = 90, kStopStyle = 0x04;
  constexpr uint32_t kExtStopMultifeed = 0x10;
  constexpr uint8_t kWindowStopStyle = 0x0C;
  struct Patched {
    explicit Patched(sim::SimScanner& s) : scanner(s) {
      scanner.SetInquiryPatches({{kInquiryMultifeedStyles, kStopStyle}});
    }
    ~Patched() { scanner.SetInquiryPatches({}); }
    sim::SimScanner& scanner;
  } patched(scanner());
  OpenSmall();
  gSource->scanSetting.bUltrasonic = gSource->scanSetting.bStopAfterMultefeed = 1;
  scanner().ClearSheetEvents();
  scanner().ClearCommandLog();
  scanner().AddSheetEvent({sim::SheetEventKind::MultiFeed, nextSheet() + 1, 0, 2000, 0});
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
  EXPECT_EQ(images[0].transferResult, TWRC_XFERDONE);
  EXPECT_EQ(images[1].transferResult, TWRC_CANCEL);
  EXPECT_EQ(images[1].pendingCount, 0);
  const twainhost::JournalEntry& cancelled =
      *std::find_if(host.journal().rbegin(), host.journal().rend(),
                    [](const twainhost::JournalEntry& e) { return e.rc == TWRC_CANCEL; });
  EXPECT_EQ(cancelled.cc, TWCC_PAPERDOUBLEFEED);
  EXPECT_NE(gSource->scanObject->deviceScanParam().ExtParam0 & kExtStopMultifeed, 0u);
  const std::vector<dstest::Window> windows = dstest::Windows(scanner());
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(windows.front().feedChecks & kWindowStopStyle, kWindowStopStyle);
  EXPECT_EQ(scanner().Scanned().releaseArguments.back(), kReleaseJobEnd);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
  ASSERT_TRUE(host.DisableDs().ok());
  gSource->scanSetting.bUltrasonic = gSource->scanSetting.bStopAfterMultefeed = 0;
  ExpectCleanNextBatch();
}

TEST_F(XferErrors, ACancelInALongDuplexBatch) {
  // Twenty pages ahead of the host, Cancel at the seventh image: the threads meet often.
  scanner().LoadSheets(10);
  OpenSmall(TWPT_RGB, true);
  ui::headless::Journal::shared().scriptCancelAtImage(7);
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 7u) << host.DescribeJournal();
  for (size_t i = 0; i + 1 < images.size(); ++i) {
    EXPECT_EQ(images[i].transferResult, TWRC_XFERDONE);
    EXPECT_EQ(images[i].rows, images[i].prepared);
  }
  EXPECT_EQ(images.back().transferResult, TWRC_CANCEL);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
  ui::headless::Journal::shared().scriptCancelAtImage(0);
  scanner().LoadSheets(3);
}

TEST_F(XferErrors, AScannerThatVanishesCancelsTheNextTransfer) {
  OpenSmall();
  ASSERT_TRUE(host.EnableDs(false).ok());
  ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE);
  unplugAll();
  const auto end = host.PendingXfers(MSG_ENDXFER);
  ASSERT_TRUE(end.ok());
  if (end.value != 0) {
    // The read-ahead page may have come before the scanner went: it is delivered, the next
    // one cancels.
    auto strip = host.MemXfer(1 << 20);
    while (strip.rc == TWRC_XFERDONE && host.PendingXfers(MSG_ENDXFER).value != 0) {
      strip = host.MemXfer(1 << 20);
    }
    if (gSource->mCurrentState == TWAIN_STATE_XFERREADY) {
      EXPECT_EQ(strip.rc, TWRC_CANCEL);
      EXPECT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
    }
  }
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_FALSE(gSource->scanThread.exists());
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
}

TEST_F(XferErrors, ResetThenDisableAndADisableInState60) {
  OpenSmall();
  // MSG_RESET ends the batch in 60; the disable follows.
  ASSERT_TRUE(host.EnableDs(false).ok());
  const auto reset = host.PendingXfers(MSG_RESET);
  ASSERT_TRUE(reset.ok());
  EXPECT_EQ(reset.value, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_FALSE(gSource->scanThread.exists());
  ASSERT_TRUE(host.DisableDs().ok());
  // A disable in 60 finishes the batch and refuses; a transfer then cancels, never touching
  // the freed buffers, and MSG_ENDXFER leads back to 50.
  scanner().LoadSheets(3);  // the scanner may have fed ahead
  ASSERT_TRUE(host.EnableDs(false).ok());
  ASSERT_TRUE(host.GetImageInfo().ok());
  const twainhost::Answer disable = host.DisableDs();
  EXPECT_EQ(disable.rc, TWRC_FAILURE);
  EXPECT_EQ(disable.cc, TWCC_SEQERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
  EXPECT_FALSE(gSource->scanThread.exists());
  EXPECT_EQ(host.MemXfer(100000).rc, TWRC_CANCEL);
  EXPECT_EQ(host.NativeXfer().rc, TWRC_CANCEL);
  EXPECT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
  ASSERT_TRUE(host.DisableDs().ok());
  ExpectCleanNextBatch();
}

TEST_F(XferErrors, RefusedTransfersStayReadyForAnother) {
  OpenSmall();
  ASSERT_TRUE(host.EnableDs(false).ok());
  ASSERT_TRUE(host.GetImageInfo().ok());
  const uint32_t rowBytes = gSource->batch.xferImageInfo.dwBytesPerLine;
  // A buffer below one row, and no buffer at all.
  const twainhost::Answer shortBuffer = host.MemXfer(rowBytes - 1);
  EXPECT_EQ(shortBuffer.rc, TWRC_FAILURE);
  EXPECT_EQ(shortBuffer.cc, TWCC_BADVALUE);
  TW_IMAGEMEMXFER noMemory{};
  noMemory.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
  noMemory.Memory.Length = 100000;
  const twainhost::Answer nullMem = host.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &noMemory);
  EXPECT_EQ(nullMem.rc, TWRC_FAILURE);
  EXPECT_EQ(nullMem.cc, TWCC_BADVALUE);
  // A file that cannot be written: state 60, the image still there.
  const std::filesystem::path notAFolder = root_ / "not-a-folder";
  writeText(notAFolder, "a file where the folder should be");
  ASSERT_TRUE(host.SetupFile(MSG_SET, {(notAFolder / "page.tif").string(), 0, 0}).ok());
  const twainhost::Answer unwritable = host.FileXfer();
  EXPECT_EQ(unwritable.rc, TWRC_FAILURE);
  EXPECT_EQ(unwritable.cc, TWCC_FILEWRITEERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
  // A native block the manager cannot make: state 60, no block handed over.
  const size_t blocksBefore = host.liveBlocks();
  host.FailAllocations(1);
  const auto noBlock = host.NativeXfer();
  host.FailAllocations(0);
  EXPECT_EQ(noBlock.rc, TWRC_FAILURE);
  EXPECT_EQ(noBlock.cc, TWCC_LOWMEMORY);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
  EXPECT_EQ(host.liveBlocks(), blocksBefore);
  // The same image goes by another way.
  const auto strip = host.MemXfer(1 << 20);
  EXPECT_EQ(strip.rc, TWRC_XFERDONE);
  EXPECT_EQ(strip.value.rows, gSource->batch.xferImageInfo.dwLength);
  EXPECT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
}

TEST_F(XferErrors, TheEnableFailsWhenTheBatchCannotStart) {
  OpenSmall();
  // An empty feeder: the job does not start, the alert says why, the source is open again.
  scanner().LoadSheets(0);
  const size_t alertsBefore = alerts().size();
  const twainhost::Answer empty = host.EnableDs(false);
  EXPECT_EQ(empty.rc, TWRC_FAILURE);
  EXPECT_EQ(empty.cc, TWCC_NOMEDIA);  // the condition, not a misordered call
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_GT(alerts().size(), alertsBefore);
  EXPECT_TRUE(NoMessage());
  EXPECT_FALSE(gSource->scanThread.exists());
  ExpectCleanNextBatch();
  // A long page the settings check refuses: BADVALUE, state 40, no message ever.
  ferrolite::ModelTable models = ferrolite::modelTable();
  models.longPageCheckModels.push_back(gSource->vidpid);
  ferrolite::replaceModelTable(&models);
  gSource->models = models;
  gSource->scanSetting.bPaperSize = ferrolite::kPageLong;
  gSource->scanSetting.wImageType = ferrolite::kImageColorFront;
  gSource->scanSetting.wColorRes = 600;
  const twainhost::Answer refused = host.EnableDs(false);
  EXPECT_EQ(refused.rc, TWRC_FAILURE);
  EXPECT_EQ(refused.cc, TWCC_BADVALUE);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_TRUE(NoMessage());

  // No manager to tell: MSG_XFERREADY could never arrive.
  twain::ForgetManagerEntryPoint();
  gSource->scanObject->setScannerError(0);
  TW_USERINTERFACE ui{};
  const TW_UINT16 noManager = gSource->controlUserInterface(nullptr, MSG_ENABLEDS, &ui);
  EXPECT_EQ(noManager, TWRC_FAILURE);
  EXPECT_EQ(ferrolite::gConditionCode.load(), TWCC_BUMMER);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_FALSE(gSource->scanThread.exists());
}

}  // namespace

namespace {

// A scanner slower than the host's wait for a page, but delivering all along: every image read
// of the batch takes a while, the first page's reads together longer than the wait for a silent
// scanner, each one well within it. The pages come in the negotiated format; nothing ends as
// low memory.
TEST_F(XferErrors, ASlowScannerIsWaitedForWhileItDelivers) {
  constexpr uint8_t kOpRead = 0xA8;
  constexpr uint32_t kReadMs = 150;
  ferrolite::ScanTiming timing = ferrolite::scanTiming();
  timing.second = std::chrono::milliseconds(20);
  timing.aliveSeconds = 25;  // gives up after half a second without data
  ferrolite::setScanTiming(timing);
  scanner().LoadSheets(2);
  OpenSmall(TWPT_BW, false, 4.0, 200);
  sim::Fault slow{sim::FaultKind::Slow};
  slow.opcode = kOpRead;
  slow.dataType = 0;
  slow.delayMs = kReadMs;
  slow.count = 0;  // every image read
  scanner().ClearCommandLog();
  scanner().InjectFault(slow);
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  scanner().ClearFaults();
  ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
  for (const Image& image : images) {
    EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
    EXPECT_EQ(image.info.pixelType, TWPT_BW);
    EXPECT_EQ(image.info.bitsPerPixel, 1);
    EXPECT_EQ(image.info.length, 800);
  }
  EXPECT_EQ(images.back().pendingCount, 0);
  // The premise: a page took more reads than the wait allows in silence.
  size_t reads = 0;
  for (const sim::Exchange& e : scanner().CommandLog())
    reads += e.command.rfind("READ 0x0000", 0) == 0;
  EXPECT_GT(reads * kReadMs, 2 * 500u);
  for (const auto& alert : alerts()) EXPECT_EQ(alert.text.find("Low memory"), std::string::npos);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
}

}  // namespace

namespace {

// A duplex batch the application ends as soon as it hears MSG_XFERREADY, by MSG_RESET in state 6
// or by MSG_DISABLEDS after its first image (state 7): the driver's job ends, every call
// returns, every thread is joined, and the next batch scans.
TEST_F(XferErrors, ADuplexBatchEndedAtItsFirstMessage) {
  for (const bool reset : {true, false}) {
    SCOPED_TRACE(reset ? "MSG_RESET in state 6" : "MSG_DISABLEDS in state 7");
    scanner().LoadSheets(3);
    OpenSmall(TWPT_GRAY, true);
    ASSERT_TRUE(host.EnableDs(false).ok());
    Messages(1);
    if (reset) {
      const auto ended = host.PendingXfers(MSG_RESET);
      ASSERT_TRUE(ended.ok());
      EXPECT_EQ(ended.value, 0);
    } else {
      ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE);
      ASSERT_EQ(gSource->mCurrentState, TWAIN_STATE_TRANSFERRING);
      host.DisableDs();  // out of order: it ends the batch whatever it answers
      // Then the batch's end in order: the transfer's end, the reset of the rest.
      for (int step = 0; step < 2 && gSource->mCurrentState > TWAIN_STATE_ENABLED; ++step) {
        const bool inTransfer = gSource->mCurrentState == TWAIN_STATE_TRANSFERRING;
        EXPECT_TRUE(host.PendingXfers(inTransfer ? MSG_ENDXFER : MSG_RESET).ok());
      }
    }
    EXPECT_FALSE(gSource->scanThread.exists());
    if (gSource->mCurrentState == TWAIN_STATE_ENABLED) ASSERT_TRUE(host.DisableDs().ok());
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    // The next batch, both sides of two sheets.
    scanner().LoadSheets(2);
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    ASSERT_EQ(images.size(), 4u) << host.DescribeJournal();
    for (const Image& image : images) EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
    EXPECT_EQ(images.back().pendingCount, 0);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

}  // namespace
