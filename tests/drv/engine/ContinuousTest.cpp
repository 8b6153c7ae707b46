// Continuous scan: the scanner feeds sheet after sheet in one stream of READs (no RELEASE,
// MEDIA CHECK or RESERVE UNIT between them), the driver cuts the stream into pages at each end
// of page, and the batch ends with the READ that finds the feeder empty, its status reported
// to the client. A cancel ends the page at its next end of page.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ScanJobRunner.h"
#include "drv/engine/ScanJob.h"
#include "drv/engine/Topology.h"

using namespace enginefix;

namespace {

constexpr uint32_t kLines = 400;
constexpr uint32_t kLine = 304;
constexpr uint32_t kCtrlContinuous = 0x4;

using Codes = std::vector<int64_t>;

// The unit commands between the job's first and last image READ: none in one stream of sheets.
std::vector<std::string> BetweenReads(sim::SimScanner& s) {
  const std::vector<sim::Exchange> log = s.CommandLog();
  size_t first = log.size(), last = 0;
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i].command == "READ 0x0000") {
      first = std::min(first, i);
      last = i;
    }
  std::vector<std::string> between;
  for (size_t i = first + 1; i < last; ++i) {
    const std::string& name = log[i].command;
    if (name == "RELEASE UNIT" || name == "RESERVE UNIT" || name == "MEDIA CHECK")
      between.push_back(name);
  }
  return between;
}

class Continuous : public JobTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("engine-continuous"); }

  // After a continuous job: a page job in the same process scans one sheet cleanly.
  void ExpectCleanNextJob(sim::SimScanner& s, const std::string& what) {
    s.ClearFaults();
    s.LoadSheets(1);
    const uint32_t sheet = s.Scanned().sheetsFed + 1;
    SCANPARAMETER_UNION p = RawGreyPage(kLines);
    p.CtrlMode = kCtrlFixed | kCtrlPage;
    const Job next = RunJob(p, 0, 1, true);
    ASSERT_EQ(next.pages.size(), 1u) << what;
    ASSERT_EQ(next.pages[0].calls.size(), 1u) << what;
    EXPECT_EQ(CodesOf(next.pages[0].calls[0]), Codes{-2022}) << what;
    EXPECT_TRUE(next.pages[0].data == sim::SheetSide(sheet, 0, kLines, kLine)) << what;
    EXPECT_EQ(next.stopScan, std::vector<long>{0}) << what;
    EXPECT_EQ(next.stopJob, 0) << what;
    EXPECT_EQ(Item()->bContinuousMode, 0) << what;
  }
};

}  // namespace

// Three sheets, delivered to the end of each page or at the page's fixed length, whole or in
// blocks that end inside a line: every sheet arrives whole as its own page, then the READ that
// finds the feeder empty ends the batch: its status in the fourth page's list and from
// KRStopScan. The scanner is taken once and let go once; the client's page bit makes a page
// job of the same parameters, with the unit let go and taken again between sheets.
TEST_F(Continuous, AJobDeliversItsSheetsToTheEndOfTheBatch) {
  struct Case {
    const char* what;
    uint32_t ctrl;
    long block;
    uint32_t method;
  };
  const Case cases[] = {
      {"to the end of the page, whole", kCtrlContinuous, 0, 1},
      {"to the end of the page, blocks", kCtrlContinuous, 7 * kLine + 100, 1},
      {"fixed length, whole", kCtrlContinuous | kCtrlFixed, 0, 1},
      {"fixed length, blocks", kCtrlContinuous | kCtrlFixed, 7 * kLine + 100, 1},
      // Both sides in step (style 0): the client takes the front of each sheet.
      {"duplex, to the end of the page", kCtrlContinuous, 0, 4},
      {"duplex, fixed length, blocks", kCtrlContinuous | kCtrlFixed, 7 * kLine + 100, 4},
      {"page mode", kCtrlContinuous | kCtrlFixed | kCtrlPage, 0, 1},
  };
  for (const Case& c : cases) {
    const bool continuous = (c.ctrl & kCtrlPage) == 0;
    sim::Config config;
    config.duplexStyle = 0;
    sim::SimScanner& s = OpenRaw(3, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(kLines);
    p.CtrlMode = c.ctrl;
    p.ScanMethod = c.method;
    const Job out = RunJob(p, c.block, 8, true);
    ASSERT_EQ(out.pages.size(), continuous ? 4u : 3u) << c.what;
    for (uint32_t i = 0; i < 3; ++i) {
      const Receiver::Page& page = out.pages[i];
      EXPECT_TRUE(page.data == sim::SheetSide(i + 1, 0, kLines, kLine)) << c.what << ", page " << i;
      ASSERT_FALSE(page.calls.empty()) << c.what;
      EXPECT_EQ(CodesOf(page.calls.back()), Codes{-2022}) << c.what << ", page " << i;
      for (size_t k = 0; k + 1 < page.calls.size(); ++k)
        EXPECT_EQ(CodesOf(page.calls[k]), Codes{}) << c.what << ", page " << i;
      EXPECT_EQ(out.stopScan[i], 0) << c.what << ", page " << i;
    }
    const std::vector<std::string> between = BetweenReads(s);
    if (continuous) {
      ASSERT_FALSE(out.pages[3].calls.empty()) << c.what;
      EXPECT_EQ(CodesOf(out.pages[3].calls.back()).at(0), -2015) << c.what;
      // No image byte: a fixed-length block comes padded.
      EXPECT_EQ(std::count(out.pages[3].data.begin(), out.pages[3].data.end(), 0),
                long(out.pages[3].data.size()))
          << c.what;
      EXPECT_EQ(out.stopScan[3], -2015) << c.what;
      EXPECT_TRUE(between.empty()) << c.what;
    } else {
      EXPECT_EQ(between.size(), 6u) << c.what;
    }
    // Let go at the batch's end (0) and by the job's end (2), nothing between sheets.
    EXPECT_EQ(s.Scanned().releaseArguments,
              continuous ? (std::vector<uint8_t>{0, 2}) : (std::vector<uint8_t>{0, 0, 0, 2}))
        << c.what;
    EXPECT_EQ(s.Scanned().sheetsFed, 3u) << c.what;
    EXPECT_EQ(out.stopJob, 0) << c.what;
    EXPECT_EQ(Item()->bJobRunning, 0) << c.what;
    EXPECT_EQ(Item()->bContinuousDuplex, c.method == 4 ? 1 : 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    ExpectCleanNextJob(s, c.what);
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}

namespace {

size_t ImageReads(sim::SimScanner& s) {
  const std::vector<sim::Exchange> log = s.CommandLog();
  return size_t(std::count_if(log.begin(), log.end(),
                              [](const sim::Exchange& e) { return e.command == "READ 0x0000"; }));
}

}  // namespace

// The client cancels a continuous job: its callback answers 2 at the end of the first page
// while the scanner is held at the second sheet (the cancel ends that sheet at its end of page,
// read whole but delivered to nobody), or KRStopScan with 1 breaks off a held READ inside the
// second page. Either way the scanner is let go as cancelled (RELEASE UNIT 1) with no MEDIA CHECK
// after it, the third sheet stays in the feeder, every thread is joined and the next job scans
// cleanly. A continuous page end reads no packet: KRStopScan reports the job end's status, 0,
// or the callback's cancel (-2010) after the callback cancelled.
TEST_F(Continuous, ACancelEndsThePageAtItsNextEndOfPage) {
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  for (const bool byCallback : {true, false}) {
    for (const uint32_t ctrl : {kCtrlContinuous, kCtrlContinuous | kCtrlFixed}) {
      const std::string what = std::string(byCallback ? "callback answers 2" : "KRStopScan(1)") +
                               ((ctrl & kCtrlFixed) != 0 ? ", fixed length" : ", to the end");
      p.CtrlMode = ctrl;
      // READs of one sheet: a one-sheet batch takes them and one more that finds no paper.
      sim::SimScanner& probe = OpenRaw(1);
      RunJob(p, 0, 4, true);
      const uint32_t perSheet = uint32_t(ImageReads(probe)) - 1;
      ASSERT_GE(perSheet, 2u) << what;

      sim::SimScanner& s = OpenRaw(3);
      const size_t threads = ThreadCount();
      // The second sheet's first READ of its own: its first bytes came with the first sheet's
      // end of page.
      s.InjectFault(HoldRead(perSheet));
      Receiver receiver;
      ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
      ASSERT_EQ(SetParameter(p), 0) << what;
      receiver.NextPage();
      if (byCallback) receiver.AnswerAfter(1, 2);
      ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
      ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
      long stop = 0;
      if (byCallback) {
        while (!Item()->bCancel) std::this_thread::yield();
        ASSERT_TRUE(s.WaitHeld(30000)) << what;
        s.ReleaseHeld();
        stop = KRStopScan(kCtrl, &handle, 0);
      } else {
        ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << what;
        receiver.NextPage();
        ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
        ASSERT_TRUE(s.WaitHeld(30000)) << what;
        stop = KRStopScan(kCtrl, &handle, 1);
      }
      EXPECT_EQ(stop, byCallback ? -2010 : 0) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      const std::vector<Receiver::Page> pages = receiver.Pages();
      ASSERT_EQ(pages.size(), byCallback ? 1u : 2u) << what;
      EXPECT_TRUE(pages[0].data == sim::SheetSide(1, 0, kLines, kLine)) << what;
      if (!byCallback && !pages[1].calls.empty()) {
        EXPECT_EQ(CodesOf(pages[1].calls.back()).at(0), -2010) << what;
      }
      // Broken off, the held READ never ran: the scanner had not taken the second sheet in.
      EXPECT_EQ(s.Scanned().sheetsFed, byCallback ? 2u : 1u) << what;
      EXPECT_EQ(s.Scanned().releaseArguments, (std::vector<uint8_t>{1, 2})) << what;
      EXPECT_TRUE(BetweenReads(s).empty()) << what;
      ExpectCleanNextJob(s, what);
      EXPECT_EQ(ThreadCount(), threads) << what;
    }
  }
}

// A jam in the second sheet stops the batch: the second page's list starts with -2013, its
// KRStopScan reports it (the job end takes it from the IO thread's end packet), the scanner is
// let go at once, and the next job scans cleanly.
TEST_F(Continuous, AJamEndsTheBatchWithItsStatus) {
  sim::Config config;
  config.sheetEvents = {{sim::SheetEventKind::Jam, 2, 0, 100000, 0}};
  sim::SimScanner& s = OpenRaw(3, config);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  p.CtrlMode = kCtrlContinuous;
  const Job out = RunJob(p, 0, 8, true);
  ASSERT_EQ(out.pages.size(), 2u);
  EXPECT_TRUE(out.pages[0].data == sim::SheetSide(1, 0, kLines, kLine));
  EXPECT_EQ(out.stopScan[0], 0);
  ASSERT_FALSE(out.pages[1].calls.empty());
  EXPECT_EQ(CodesOf(out.pages[1].calls.back()).at(0), -2013);
  EXPECT_EQ(out.stopScan[1], -2013);
  EXPECT_EQ(out.stopJob, 0);
  EXPECT_EQ(s.Scanned().releaseArguments, (std::vector<uint8_t>{0, 2}));
  EXPECT_TRUE(BetweenReads(s).empty());
  EXPECT_EQ(ThreadCount(), threads);
  s.ClearSheetEvents();
  ExpectCleanNextJob(s, "after the jam");
  EXPECT_EQ(ThreadCount(), threads);
}

// Fixed-length pages of sheets shorter and longer than the page, whole or in blocks, at the
// scanner's resolution or converted: each sheet gives one page, a short one padded, a long one
// cut (the rest left out); the sheet behind a short one is neither run into its page nor lost,
// and a multi-feed on it reaches the client.
TEST_F(Continuous, FixedLengthPagesOfShortAndLongSheetsKeepEverySheet) {
  struct Case {
    const char* what;
    std::vector<uint32_t> sheets;
    bool multiFeed;  // on the second sheet, within its page
    uint16_t res = 300;
    long block = 0;
  };
  const Case cases[] = {
      {"short, whole, long", {kLines - 100, kLines, kLines + 200}, false},
      {"long, short, long", {kLines + 200, kLines - 100, kLines + 200}, false},
      {"converted: short, whole, long", {kLines - 100, kLines, kLines + 200}, false, 150},
      {"converted", {520, 719, 253, 927}, false, 150},
      {"in blocks", {kLines - 100, kLines + 200, kLines - 150, kLines + 300}, false, 300, 4096},
      {"in blocks, a multi-feed on the sheet after a short one",
       {kLines - 100, kLines + 200},
       true,
       300,
       4096},
      {"converted, in blocks", {520, 719, 253, 927}, false, 150, 4096},
  };
  for (const Case& c : cases) {
    sim::Config config;
    config.sheetLengths = c.sheets;
    if (c.multiFeed) config.sheetEvents = {{sim::SheetEventKind::MultiFeed, 2, 0, 100 * kLine, 0}};
    sim::SimScanner& s = OpenRaw(uint32_t(c.sheets.size()), config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = c.res == 300 ? RawGreyPage(kLines) : GreyPageAt(c.res, kLine, kLines);
    p.CtrlMode = kCtrlContinuous | kCtrlFixed;
    const Job out = RunJob(p, c.block, 8, true);
    ASSERT_EQ(out.pages.size(), c.sheets.size() + 1) << c.what;
    bool reached = std::count(out.stopScan.begin(), out.stopScan.end(), -3101) != 0;
    for (uint32_t i = 0; i < out.pages.size(); ++i) {
      for (const Receiver::Call& call : out.pages[i].calls) {
        const Codes codes = CodesOf(call);
        reached = reached || std::count(codes.begin(), codes.end(), -3101) != 0;
      }
      if (i == c.sheets.size() || c.res != 300) continue;
      // The sheet's lines, then (a short sheet) zeros to the page's length.
      const std::string page = std::string(c.what) + ", page " + std::to_string(i + 1);
      Bytes expected = sim::SheetSide(i + 1, 0, std::min(c.sheets[i], kLines), kLine);
      expected.resize(size_t(kLines) * kLine, 0);
      EXPECT_TRUE(out.pages[i].data == expected) << page;
    }
    EXPECT_EQ(s.Scanned().eventsMet.size(), c.multiFeed ? 1u : 0u) << c.what;
    EXPECT_EQ(reached, c.multiFeed) << c.what;
    EXPECT_EQ(out.stopJob, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    s.ClearSheetEvents();
    ExpectCleanNextJob(s, c.what);
  }
}

// Two-sided continuous scan through the rows that de-multiplex or convert: the scanner's
// interleaved stream (styles 1 to 3, one stream of both sides) split by the de-multiplexing
// thread, a resolution the scanner lacks scaled by the conversion thread, or both. The client
// takes the front of each sheet: each arrives whole (converted: as the model's stages make it
// of the scanner's side), then the READ that finds the feeder empty ends the batch; no thread
// is left and the next job scans cleanly.
TEST_F(Continuous, TwoSidedThroughTheDeMultiplexingAndConvertingRows) {
  struct Case {
    const char* what;
    uint8_t style;
    uint16_t unitLines;  // of the interleaved stream
    uint16_t res;
    uint8_t mask;
  };
  // Units of 16 lines divide the sheet; of 24 they leave a short last unit.
  const Case cases[] = {
      {"converted, sides in step", 0, 16, 250, 0x0D},
      {"de-multiplexed, style 1", 1, 16, 300, 0x0E},
      {"de-multiplexed, style 1, short last unit", 1, 24, 300, 0x0E},
      {"de-multiplexed, style 2", 2, 16, 300, 0x0E},
      {"de-multiplexed, style 2, short last unit", 2, 24, 300, 0x0E},
      {"de-multiplexed, style 3, short last unit (gap)", 3, 24, 300, 0x0E},
      {"de-multiplexed and converted, style 1", 1, 16, 250, 0x0F},
      {"de-multiplexed and converted, style 1, short last unit", 1, 24, 250, 0x0F},
      {"de-multiplexed and converted, style 3", 3, 24, 250, 0x0F},
  };
  for (const Case& c : cases) {
    sim::Config config;
    config.duplexStyle = c.style;
    config.deMuxLines = c.unitLines;
    sim::SimScanner& s = OpenRaw(3, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = GreyPageAt(c.res, kLine, kLines);
    p.ScanMethod = 4;
    p.CtrlMode = kCtrlContinuous | kCtrlFixed;
    const Job out = RunJob(p, 0, 8, true);
    EXPECT_EQ(TopologyMask(Item()) | kTopologyPipeline, c.mask | kTopologyPipeline) << c.what;
    ASSERT_EQ(out.pages.size(), 4u) << c.what;
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    for (uint32_t i = 0; i < 3; ++i) {
      const std::string what = std::string(c.what) + ", page " + std::to_string(i + 1);
      const Receiver::Page& page = out.pages[i];
      const Bytes side = sim::SheetSide(i + 1, 0, dev.LineNum, dev.BytesPerLine);
      const Bytes expected = c.res == 300 ? side : RunStages(0, side);
      ASSERT_EQ(page.data.size(), size_t(p.LineNum) * p.BytesPerLine) << what;
      // The stages may hold back their last lines: the page is padded there.
      const size_t n = std::min(page.data.size(), expected.size());
      EXPECT_GE(n, page.data.size() - 2 * size_t(p.BytesPerLine)) << what;
      EXPECT_TRUE(std::equal(page.data.begin(), page.data.begin() + long(n), expected.begin()))
          << what;
      ASSERT_FALSE(page.calls.empty()) << what;
      EXPECT_EQ(CodesOf(page.calls.back()), Codes{-2022}) << what;
      EXPECT_EQ(out.stopScan[i], 0) << what;
    }
    ASSERT_FALSE(out.pages[3].calls.empty()) << c.what;
    EXPECT_EQ(CodesOf(out.pages[3].calls.back()).at(0), -2015) << c.what;
    EXPECT_EQ(out.stopScan[3], -2015) << c.what;
    EXPECT_TRUE(BetweenReads(s).empty()) << c.what;
    EXPECT_EQ(s.Scanned().sheetsFed, 3u) << c.what;
    EXPECT_EQ(out.stopJob, 0) << c.what;
    EXPECT_EQ(Item()->bJobRunning, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    ExpectCleanNextJob(s, c.what);
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}

// The two-sided styles that send the sides apart cannot scan continuously: 4 and 5 (the sheet
// stays for its rear), 6 and 7 (each side with its own headers, which the rear read in step
// with the front cannot carry). The job start refuses them, lets the device go and leaves no
// thread; a page job on the same scanner scans.
TEST_F(Continuous, TwoSidedStylesWithTheSidesApartAreRefused) {
  for (const uint8_t style : {4, 5, 6, 7}) {
    const std::string what = "style " + std::to_string(style);
    sim::Config config;
    config.duplexStyle = style;
    sim::SimScanner& s = OpenRaw(2, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(kLines);
    p.ScanMethod = 4;
    p.CtrlMode = kCtrlContinuous | kCtrlFixed;
    const Job out = RunJob(p, 0, 8, true);
    ASSERT_EQ(out.startScan.size(), 1u) << what;
    EXPECT_EQ(out.startScan[0], -2005) << what;
    EXPECT_TRUE(out.pages.empty() || out.pages[0].calls.empty()) << what;
    EXPECT_EQ(out.stopJob, 0) << what;
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    ASSERT_FALSE(s.Scanned().releaseArguments.empty()) << what;
    EXPECT_EQ(s.Scanned().releaseArguments.back(), 2) << what;
    EXPECT_EQ(s.Scanned().sheetsFed, 0u) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    ExpectCleanNextJob(s, what);
    EXPECT_EQ(ThreadCount(), threads) << what;
  }
}

// A device-JPEG job cannot scan continuously, one-sided or two-sided (the supported model's
// colour and grey are device JPEG): the job start refuses it before a sheet is fed.
TEST_F(Continuous, DeviceJpegIsRefusedOneSidedAndTwoSided) {
  for (const uint32_t method : {1u, 4u}) {
    const std::string what = "method " + std::to_string(method);
    sim::Config config;
    config.profile = sim::ImageProfile::DeviceJpeg;
    config.sheets = 3;
    sim::SimScanner& s = OpenAlone(config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = Client(300, 4, 24);
    p.Width = p.PixelNum = 608;
    p.Length = p.LineNum = kLines;
    p.BytesPerLine = p.PixelNum * 3;
    p.ScanMethod = static_cast<uint16_t>(method);
    p.CtrlMode = kCtrlContinuous | kCtrlFixed;
    const Job out = RunJob(p, 0, 8, true);
    ASSERT_EQ(out.startScan.size(), 1u) << what;
    EXPECT_EQ(out.startScan[0], -2005) << what;
    EXPECT_TRUE(out.pages.empty() || out.pages[0].calls.empty()) << what;
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    EXPECT_EQ(s.Scanned().sheetsFed, 0u) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
  }
}
