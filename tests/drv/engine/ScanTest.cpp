// Whole scan jobs through the exports against the simulated scanner: the client's callback
// receives exactly the pixels the scanner built, page by page, simplex and duplex, page and
// batch mode; the job's commands reach the device in order; every thread of a job is gone
// after it.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ScanJobRunner.h"
#include "drv/device/CImprinter.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"

using namespace enginefix;

namespace {

class Scan : public JobTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("engine-scan"); }
};

Bytes Expected(uint32_t sheet, uint32_t side, uint32_t lines, uint32_t bytesPerLine) {
  return sim::SheetSide(sheet, side, lines, bytesPerLine);
}

}  // namespace

TEST_F(Scan, SimplexPagesArriveExactly) {
  sim::SimScanner& s = OpenRaw(3);
  const size_t threads = ThreadCount();
  const SCANPARAMETER_UNION p = RawGreyPage(100);
  const Job job = RunJob(p, 0);
  EXPECT_EQ(job.start, 0);
  ASSERT_EQ(job.pages.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(job.startScan[i], 0);
    EXPECT_EQ(job.stopScan[i], 0);
    EXPECT_TRUE(job.pages[i].data == Expected(i + 1, 0, 100, 304)) << "page " << i + 1;
    EXPECT_EQ(job.pages[i].calls.back().codes[0], -2022);
  }
  EXPECT_EQ(job.stopJob, 0);
  EXPECT_EQ(ThreadCount(), threads);
  // The device's side of the job, without the preparation's reads and sends: reserved for the
  // job, the window, a page cycle per sheet (window again from the second on), released.
  std::vector<std::string> order;
  for (std::string name : devicefix::Names(s)) {
    if (name == "READ 0x0000") name = "READ image data";
    if (name == "RESERVE UNIT" || name == "RELEASE UNIT" || name == "SET WINDOW" ||
        name == "READ image data" || name == "MEDIA CHECK")
      if (order.empty() || order.back() != name || name != "READ image data") order.push_back(name);
  }
  const std::vector<std::string> expected = {
      "RESERVE UNIT",    "MEDIA CHECK",  "MEDIA CHECK", "SET WINDOW",   "RESERVE UNIT",
      "READ image data", "RELEASE UNIT", "MEDIA CHECK", "SET WINDOW",   "RESERVE UNIT",
      "READ image data", "RELEASE UNIT", "MEDIA CHECK", "SET WINDOW",   "RESERVE UNIT",
      "READ image data", "RELEASE UNIT", "MEDIA CHECK", "RELEASE UNIT", "MEDIA CHECK"};
  EXPECT_EQ(order, expected);
}

namespace {

struct Way {
  const char* what;
  uint32_t ctrlMode;
  long blockSize;
};
const Way kWays[] = {
    {"batch, whole pages", kCtrlFixed, 0},
    {"batch, blocks of 1000 bytes", kCtrlFixed, 1000},
    {"page mode, whole pages", kCtrlFixed | kCtrlPage, 0},
    {"page mode, blocks of 7 lines", kCtrlFixed | kCtrlPage, 7 * 304},
    {"page mode to the end of page, blocks of 1000", kCtrlPage, 1000},
};

// The page's bytes, whole and in order, with a block per call but the last (never more than
// the block size), and the end of page in the last call's list alone.
void ExpectPage(const Receiver::Page& page, const Bytes& expected, long blockSize,
                const std::string& what) {
  EXPECT_TRUE(page.data == expected) << what;
  ASSERT_FALSE(page.calls.empty()) << what;
  const Receiver::Call& last = page.calls.back();
  EXPECT_EQ(last.codes[0], -2022) << what;
  EXPECT_EQ(last.codes[1], 0) << what;
  for (size_t i = 0; i + 1 < page.calls.size(); ++i) EXPECT_EQ(page.calls[i].codes[0], 0) << what;
  const size_t expectedCalls =
      blockSize == 0 ? 1 : (expected.size() + size_t(blockSize) - 1) / size_t(blockSize);
  EXPECT_EQ(page.calls.size(), expectedCalls) << what;
  for (const Receiver::Call& c : page.calls) {
    if (blockSize != 0) {
      EXPECT_LE(c.size, uint32_t(blockSize)) << what;
    }
  }
}

}  // namespace

TEST_F(Scan, SimplexInPageAndBatchModeWithAndWithoutBlocks) {
  for (const Way& way : kWays) {
    sim::SimScanner& s = OpenRaw(3);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(400);
    p.CtrlMode = way.ctrlMode;
    const Job job = RunJob(p, way.blockSize);
    ASSERT_EQ(job.pages.size(), 3u) << way.what;
    for (uint32_t i = 0; i < 3; ++i) {
      const std::string what = std::string(way.what) + ", page " + std::to_string(i + 1);
      EXPECT_EQ(job.startScan[i], 0) << what;
      EXPECT_EQ(job.stopScan[i], 0) << what;
      ExpectPage(job.pages[i], Expected(i + 1, 0, 400, 304), way.blockSize, what);
      const ImageInformation& info = job.info[i];
      EXPECT_EQ(info.Version, 200) << what;
      EXPECT_EQ(info.Size, 64) << what;
      EXPECT_EQ(info.Width, 304u) << what;
      EXPECT_EQ(info.Height, 400u) << what;
      EXPECT_EQ(info.ImageSize, 400u * 304) << what;
      EXPECT_EQ(info.BytesPerLine, 304u) << what;
      EXPECT_EQ(info.ScanMode, 2u) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << way.what;
    EXPECT_EQ(ThreadCount(), threads) << way.what;
    const sim::ScanRecord record = s.Scanned();
    // Reserved for the job, then once per page; released per page, then for the job.
    EXPECT_EQ(record.reserveArguments, (std::vector<uint8_t>{2, 0, 0, 0})) << way.what;
    EXPECT_EQ(record.releaseArguments, (std::vector<uint8_t>{0, 0, 0, 2})) << way.what;
    EXPECT_EQ(record.sheetsFed, 3u) << way.what;
  }
}

TEST_F(Scan, DuplexStylesDeliverFrontAndRearOfEverySheetInOrder) {
  struct Case {
    uint8_t style;
    uint32_t ctrlMode;
    long blockSize;
  };
  const Case cases[] = {
      {0, kCtrlFixed, 0},
      {0, kCtrlFixed | kCtrlPage, 1000},
      {4, kCtrlFixed, 0},
      {4, kCtrlPage, 1000},
      {5, kCtrlFixed | kCtrlPage, 0},
      {5, kCtrlFixed, 3040},
      {6, kCtrlFixed, 0},
      {6, kCtrlPage, 0},
      {6, kCtrlFixed | kCtrlPage, 1000},
      {7, kCtrlFixed, 0},
      {7, kCtrlPage, 1000},
      {7, kCtrlFixed | kCtrlPage, 0},
  };
  for (const Case& c : cases) {
    const std::string what = "style " + std::to_string(c.style) + ", ctrl " +
                             std::to_string(c.ctrlMode) + ", block " + std::to_string(c.blockSize);
    sim::Config config;
    config.duplexStyle = c.style;
    sim::SimScanner& s = OpenRaw(3, config);
    const size_t threads = ThreadCount();
    // Longer than two of the model's reads (87248 bytes at this width).
    SCANPARAMETER_UNION p = RawGreyPage(700);
    p.ScanMethod = 4;
    p.CtrlMode = c.ctrlMode;
    const Job job = RunJob(p, c.blockSize);
    ASSERT_EQ(job.pages.size(), 6u) << what;
    for (uint32_t i = 0; i < 6; ++i) {
      const std::string page = what + ", page " + std::to_string(i + 1);
      EXPECT_EQ(job.startScan[i], 0) << page;
      EXPECT_EQ(job.stopScan[i], 0) << page;
      ExpectPage(job.pages[i], Expected(i / 2 + 1, i % 2, 700, 304), c.blockSize, page);
      EXPECT_EQ(job.info[i].Height, 700u) << page;
    }
    EXPECT_EQ(job.stopJob, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    EXPECT_EQ(s.Scanned().sheetsFed, 3u) << what;
  }
}

TEST_F(Scan, ShortSheetIsPaddedAtFixedLengthAndShortToTheEndOfThePage) {
  for (const uint32_t ctrl : {kCtrlFixed, kCtrlFixed | kCtrlPage, 0u, kCtrlPage}) {
    for (const long block : {0L, 1000L}) {
      const std::string what = "ctrl " + std::to_string(ctrl) + ", block " + std::to_string(block);
      sim::Config config;
      config.sheetLengths = {0, 450};  // the second sheet is 450 lines long
      OpenRaw(3, config);
      SCANPARAMETER_UNION p = RawGreyPage(600);
      p.CtrlMode = ctrl;
      const Job job = RunJob(p, block);
      ASSERT_EQ(job.pages.size(), 3u) << what;
      const uint8_t padding = Item()->PaddingValues[0];
      Bytes second = Expected(2, 0, 450, 304);
      if ((ctrl & kCtrlFixed) != 0) second.resize(600 * 304, padding);
      EXPECT_TRUE(job.pages[1].data == second) << what;
      EXPECT_EQ(job.info[1].Height, (ctrl & kCtrlFixed) != 0 ? 600u : 450u) << what;
      EXPECT_EQ(job.pages[1].calls.back().codes[0], -2022) << what;
      EXPECT_TRUE(job.pages[2].data == Expected(3, 0, 600, 304)) << what;
      EXPECT_EQ(job.stopScan[1], 0) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
    }
  }
}

TEST_F(Scan, UnknownLengthPagesEndWithTheSheet) {
  for (const uint8_t style : {uint8_t(0), uint8_t(7), uint8_t(6)}) {
    for (const uint32_t method : {1u, 4u}) {
      if (method == 1 && style != 0) continue;
      const std::string what =
          "method " + std::to_string(method) + ", style " + std::to_string(style);
      sim::Config config;
      config.duplexStyle = style;
      config.paperLength = 800;
      config.sheetLengths = {0, 500};
      OpenRaw(2, config);
      SCANPARAMETER_UNION p = RawGreyPage(60);
      p.LineNum = 0xFFFFFFFF;
      p.CtrlMode = kCtrlPage;
      p.ScanMethod = method;
      const Job job = RunJob(p, 1000);
      const uint32_t sides = method == 4 ? 2 : 1;
      ASSERT_EQ(job.pages.size(), 2u * sides) << what;
      for (uint32_t i = 0; i < job.pages.size(); ++i) {
        const uint32_t sheet = i / sides + 1;
        const uint32_t lines = sheet == 2 ? 500 : 800;
        EXPECT_TRUE(job.pages[i].data == Expected(sheet, i % sides, lines, 304))
            << what << ", page " << i + 1;
        EXPECT_EQ(job.info[i].Height, lines) << what << ", page " << i + 1;
      }
      EXPECT_EQ(job.stopJob, 0) << what;
    }
  }
}

TEST_F(Scan, AFailedJobStartLeavesNoThreadAndTheNextJobRuns) {
  struct Case {
    const char* what;
    uint32_t sheets;
    sim::LampState lamp;
    long status;
  };
  const Case cases[] = {
      {"empty feeder", 0, sim::LampState::Ready, -2015},
      {"lamp off", 2, sim::LampState::Off, -2041},
      {"lamp warming", 2, sim::LampState::Warming, -2009},
  };
  for (const Case& c : cases) {
    sim::Config config;
    config.lamp = c.lamp;
    config.lampWarmupReads = 0;
    sim::SimScanner& s = OpenRaw(c.sheets, config);
    const size_t threads = ThreadCount();
    EXPECT_EQ(KRStartJob(kCtrl, &handle), 0) << c.what;
    ASSERT_EQ(SetParameter(RawGreyPage(40)), 0) << c.what;
    Receiver receiver;
    EXPECT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), c.status) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    const std::vector<std::string> names = devicefix::Names(s);
    EXPECT_EQ(std::count(names.begin(), names.end(), "SET WINDOW"), 0) << c.what;
    // The device was released again: reserved for the job, released for it.
    EXPECT_EQ(s.Scanned().reserveArguments, (std::vector<uint8_t>{2})) << c.what;
    EXPECT_EQ(s.Scanned().releaseArguments, (std::vector<uint8_t>{2})) << c.what;
    EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << c.what;
    EXPECT_TRUE(receiver.Pages().empty() || receiver.Pages()[0].calls.empty()) << c.what;
    // The scanner is put right; the next job in the same process runs cleanly.
    s.SetLamp(sim::LampState::Ready, 0);
    s.LoadSheets(1);
    const Job job = RunJob(RawGreyPage(40), 0);
    ASSERT_EQ(job.pages.size(), 1u) << c.what;
    EXPECT_TRUE(job.pages[0].data == Expected(1, 0, 40, 304)) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}

TEST_F(Scan, ExportsDuringAJobAreRefusedWithoutACommand) {
  sim::SimScanner& s = OpenRaw(3);
  SCANPARAMETER_UNION p = RawGreyPage(40);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  Receiver receiver;
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
  // Between two pages of a running job.
  s.ClearCommandLog();
  EXPECT_EQ(KRStartJob(kCtrl, &handle), -2001);
  EXPECT_EQ(KRReleasePaper(kCtrl, &handle, 0, 1, 0), -2001);
  long sensor = 1;
  uint8_t status = 0;
  EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &sensor, &status, 0), -2001);
  sensor = 0;
  EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &sensor, &status, 1), 0);
  EXPECT_EQ(status & 0x01, 1);  // the last media status: paper left
  EXPECT_TRUE(s.CommandLog().empty());
  // A cancel between a page's end and the next page start ends the job.
  const size_t threads = ThreadCount();
  EXPECT_EQ(KRStopScan(kCtrl, &handle, 1), 0);
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  EXPECT_LT(ThreadCount(), threads);  // the IO thread is gone
  EXPECT_EQ(Item()->bJobRunning, 0);
  EXPECT_EQ(s.Scanned().sheetsFed, 1u);
}

TEST_F(Scan, CallsFromInsideTheCallbackDoNotJoinTheirOwnJob) {
  OpenRaw(2);
  SCANPARAMETER_UNION p = RawGreyPage(40);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  Receiver receiver;
  std::vector<long> inside;
  receiver.inside = [&] {
    if (!inside.empty()) return;
    uint32_t h = handle;
    inside.push_back(KRStopScan(kCtrl, &h, 0));
    inside.push_back(KRStopJob(kCtrl, &h));
    inside.push_back(KRStartScan(kCtrl, &h, Receiver::Callback, 0));
    inside.push_back(KRResetDevice(kCtrl, &h, nullptr));
    inside.push_back(KRTerminateDevice(kCtrl, &h));
    inside.push_back(KRInitializeDevice(kCtrl, nullptr, &h));
    inside.push_back(KRTerminateDriver(kCtrl));
    inside.push_back(KRInitializeDriver(kCtrl));
  };
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 1000), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
  EXPECT_EQ(inside, std::vector<long>(8, -2001));
  // The job went on: the second sheet arrives whole.
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  ASSERT_EQ(receiver.Pages().size(), 2u);
  EXPECT_TRUE(receiver.Pages()[0].data == Expected(1, 0, 40, 304));
  EXPECT_TRUE(receiver.Pages()[1].data == Expected(2, 0, 40, 304));
}

TEST_F(Scan, CallbackResultsStopThePageOrCancelTheJob) {
  for (const long answer : {1L, 2L}) {
    sim::SimScanner& s = OpenRaw(3);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(60);
    p.CtrlMode = kCtrlFixed | kCtrlPage;
    ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
    ASSERT_EQ(SetParameter(p), 0);
    Receiver receiver;
    receiver.AnswerAfter(2, answer);
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 1000), 0);
    ASSERT_TRUE(receiver.WaitForPageEnd());
    // A cancel from the callback ends the job, and the page reports the cancel (-2010) whether
    // the scanner had read it to its end or not.
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), answer == 2 ? -2010 : 0) << answer;
    // No call after the answer.
    EXPECT_EQ(receiver.Pages()[0].calls.size(), 2u) << answer;
    EXPECT_EQ(Item()->bJobRunning, answer == 1 ? 1 : 0) << answer;
    if (answer == 1) {
      // The rest of the page was dropped; the next page is the next sheet.
      receiver.AnswerAfter(0, 0);
      receiver.NextPage();
      ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
      ASSERT_TRUE(receiver.WaitForPageEnd());
      EXPECT_TRUE(receiver.Pages()[1].data == Expected(2, 0, 60, 304));
      EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
    }
    EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << answer;
    EXPECT_EQ(ThreadCount(), threads) << answer;
    EXPECT_EQ(s.Scanned().sheetsFed, answer == 1 ? 2u : 1u) << answer;
  }
}

TEST_F(Scan, PaperReleaseAndSensorsOutsideAJob) {
  sim::Config config;
  config.trayBits = 0x20;
  sim::SimScanner& s = OpenRaw(2, config);
  EXPECT_EQ(KRReleasePaper(kCtrl, &handle, 1, 5, 0), 0);
  // Hold after eject on a scanner without it: refused before any command.
  EXPECT_EQ(KRReleasePaper(kCtrl, &handle, 0, 1, 1), -2005);
  ASSERT_EQ(s.Scanned().jobBlocks.size(), 1u);
  EXPECT_EQ(s.Scanned().jobBlocks[0].dataType, 0x99);
  EXPECT_EQ(s.Scanned().jobBlocks[0].bytes, (Bytes{0, 0, 1, 1, 0, 0, 0}));

  struct Sensor {
    long id;
    int itemType;
    long result;
    int status;  // -1: not written
  };
  const Sensor sensors[] = {
      {0, 0, 0, 0x01}, {0, 1, 0, 0x21}, {0, 2, -2005, -1}, {1, 0, 0, -1}, {2, 0, -2005, -1},
  };
  for (const Sensor& c : sensors) {
    s.ClearCommandLog();
    long id = c.id;
    uint8_t status = 0xEE;
    EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &id, &status, c.itemType), c.result) << c.id;
    EXPECT_EQ(status, c.status < 0 ? 0xEE : c.status) << c.id << "/" << c.itemType;
    const std::vector<std::string> names = devicefix::Names(s);
    const char* command = c.result != 0 ? nullptr : c.id == 0 ? "MEDIA CHECK" : "REQUEST SENSE";
    if (command != nullptr) {
      EXPECT_NE(std::find(names.begin(), names.end(), command), names.end()) << c.id;
    } else {
      EXPECT_TRUE(names.empty()) << c.id;
    }
  }
  long id = 0;
  EXPECT_EQ(KRSensorStatus(kCtrl, &handle, nullptr, nullptr, 0), -2005);
  EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &id, nullptr, 0), -2005);

  // With the hold bit announced (inquiry byte 92, 0x10) the block carries it.
  config.inquiryPatches = {devicefix::Patch(92, 0x10)};
  sim::SimScanner& held = OpenRaw(2, config);
  EXPECT_EQ(KRReleasePaper(kCtrl, &handle, 0, 1, 1), 0);
  ASSERT_EQ(held.Scanned().jobBlocks.size(), 1u);
  EXPECT_EQ(held.Scanned().jobBlocks[0].bytes, (Bytes{0, 0, 1, 0, 1, 0, 0}));
}

TEST_F(Scan, JobBlocksReachTheDeviceInOrder) {
  // A device that processes images itself (inquiry byte 98): the reset at KRStartJob, a block
  // per side when the two records differ, then the offsets of the IO thread's job start.
  sim::Config config;
  config.inquiryPatches = {devicefix::Patch(98, 0x01)};
  sim::SimScanner& s = OpenRaw(1, config);
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  HWIMAGEPROCPARAMETER_UNION front = HWRecord(), rear = HWRecord();
  front.AutoColor = 1;
  front.CropDeskewMarginTop = 0x0102;
  front.ImageWidthResize = 0x01020304;
  rear.BlurLevel = 2;
  ASSERT_EQ(SetHW(front, 1), 0);
  ASSERT_EQ(SetHW(rear, 2), 0);
  SCANPARAMETER_UNION p = RawGreyPage(300);
  p.ScanMethod = 4;
  p.TuneScanLengthBottom = 0x8005;  // negative: flag bit 0, and it differs from the right's sign
  p.TuneScanLengthRight = 3;
  p.TuneScanLengthTop = 7;
  p.TuneScanLengthLeft = 9;
  ASSERT_EQ(SetParameter(p), 0);
  Receiver receiver;
  for (int side = 0; side < 2; ++side) {
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
    ASSERT_TRUE(receiver.WaitForPageEnd());
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
  }
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  // The device's own processing delivers the page to its end.
  ASSERT_EQ(receiver.Pages().size(), 2u);
  EXPECT_TRUE(receiver.Pages()[0].data == Expected(1, 0, 300, 304));
  EXPECT_TRUE(receiver.Pages()[1].data == Expected(1, 1, 300, 304));

  Bytes reset(68, 0);
  reset[2] = 100;
  reset[3] = 68;
  Bytes frontBlock = reset, rearBlock = reset;
  frontBlock[6] = 1;                             // AutoColor
  frontBlock[21] = 0x01, frontBlock[22] = 0x02;  // top margin, big-endian
  frontBlock[26] = 1, frontBlock[27] = 2, frontBlock[28] = 3, frontBlock[29] = 4;
  rearBlock[4] = 1;  // side
  rearBlock[7] = 2;  // BlurLevel
  const std::vector<sim::ScanRecord::Block> blocks = s.Scanned().jobBlocks;
  ASSERT_GE(blocks.size(), 5u);
  EXPECT_EQ(blocks[0].dataType, 0x98);
  EXPECT_EQ(blocks[0].bytes, reset);
  EXPECT_EQ(blocks[1].bytes, frontBlock);
  EXPECT_EQ(blocks[2].bytes, rearBlock);
  EXPECT_EQ(blocks[3].dataType, 0x95);
  EXPECT_EQ(blocks[3].bytes, (Bytes{0, 0, 1, 10, 0, 3, 0, 5, 0, 3}));
  EXPECT_EQ(blocks[4].dataType, 0x96);
  EXPECT_EQ(blocks[4].bytes, (Bytes{0, 0, 1, 10, 0, 0, 0, 7, 0, 9}));
}

TEST_F(Scan, TrayStateSwapsTheWindowsMethodOfEveryPage) {
  for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
    const char* what = (ctrl & kCtrlPage) != 0 ? "page mode" : "batch mode";
    sim::Config config;
    config.trayBits = 0x20;  // MEDIA CHECK answers 0x21: the other tray
    sim::SimScanner& s = OpenRaw(3, config);
    SCANPARAMETER_UNION p = RawGreyPage(100);
    p.CtrlMode = ctrl;
    const Job job = RunJob(p, 0);
    ASSERT_EQ(job.pages.size(), 3u) << what;
    // Every window asks for the rear (method 5), so the device delivers each sheet's other
    // side.
    for (uint32_t i = 0; i < 3; ++i)
      EXPECT_TRUE(job.pages[i].data == Expected(i + 1, 1, 100, 304)) << what << ", page " << i + 1;
    size_t windows = 0;
    for (const sim::Exchange& e : s.CommandLog()) {
      if (e.command != "SET WINDOW" || e.dataOut.size() < 45) continue;
      EXPECT_EQ(wire::Get16(&e.dataOut[43]), 5) << what << ", window " << windows + 1;
      ++windows;
    }
    EXPECT_EQ(windows, 3u) << what;
  }
}

TEST_F(Scan, SmallCacheSizeKeepsThePagesIntact) {
  OpenRaw(3);
  SCANPARAMETER_UNION p = RawGreyPage(700);
  p.CacheMode = 0;
  p.CacheSize = 0x10000;  // the pipes' memory limit: the pages go to disk
  const Job job = RunJob(p, 5000);
  ASSERT_EQ(job.pages.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i)
    EXPECT_TRUE(job.pages[i].data == Expected(i + 1, 0, 700, 304)) << "page " << i + 1;
  EXPECT_EQ(job.stopJob, 0);
}

TEST_F(Scan, DepthsArriveExactlyAndPadInTheirOwnColour) {
  struct Mode {
    uint32_t scanMode;
    uint8_t bits;
  };
  for (const Mode m : {Mode{2, 16}, Mode{4, 24}, Mode{4, 48}}) {
    const std::string what = std::to_string(m.scanMode) + "/" + std::to_string(m.bits);
    sim::Config config;
    config.sheetLengths = {200};  // the first sheet is 200 lines, the page 260
    OpenRaw(1, config);
    SCANPARAMETER_UNION p = RawGreyPage(260);
    p.ScanMode = m.scanMode;
    p.BitsPerPixel = m.bits;
    p.BytesPerLine = 304 * m.bits / 8;
    const Job job = RunJob(p, 0);
    ASSERT_EQ(job.pages.size(), 1u) << what;
    const uint8_t* v = Item()->PaddingValues;
    Bytes expected = Expected(1, 0, 200, p.BytesPerLine);
    for (uint32_t i = 0; expected.size() < 260u * p.BytesPerLine; ++i) {
      if (m.bits == 16) {
        expected.push_back(v[0]), expected.push_back(v[0]);  // v * 257 in either order
      } else if (m.bits == 24) {
        expected.push_back(v[i % 3]);
      } else {
        expected.push_back(v[(i / 2) % 3]), expected.push_back(v[(i / 2) % 3]);
        ++i;
      }
    }
    EXPECT_TRUE(job.pages[0].data == expected) << what;
    EXPECT_EQ(job.info[0].Height, 260u) << what;
  }
}

TEST(StatusList, CodesInOrderWithCombinedCodesSpread) {
  struct Case {
    long status, message;
    uint8_t eop, eof;
    std::array<int64_t, 6> codes;
  };
  const Case cases[] = {
      {0, 0, 1, 0, {-2022, 0, 0, 0, 0, 0}},
      {0, -60000, 1, 0, {-2022, -3101, -2022, 0, 0, 0}},
      {-2010, -60001, 0, 0, {-2010, -2022, -2039, 0, 0, 0}},
      {-2023, -3101, 1, 1, {-2023, -3101, -2038, -2022, 0, 0}},
      {-60000, -60001, 1, 1, {-2022, -3101, -2022, -2039, -2038, -2022}},
  };
  for (const Case& c : cases) {
    STATUSLIST list;
    std::memset(&list, 0xAB, sizeof list);
    AnalyzeStatusToList(c.status, c.message, c.eop, c.eof, &list);
    EXPECT_EQ(list.Version, 200);
    EXPECT_EQ(list.Size, 88);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(list.Status[i], c.codes[i]) << c.status << " " << i;
  }
}

TEST_F(Scan, TheOtherTraySwapsTheSidesOfTheBlockFlaggedStyle) {
  sim::Config config;
  config.trayBits = 0x10;
  OpenRaw(1, config);
  SCANPARAMETER_UNION p = RawGreyPage(300);
  p.ScanMethod = 4;
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.pages.size(), 2u);
  EXPECT_TRUE(job.pages[0].data == Expected(1, 1, 300, 304));
  EXPECT_TRUE(job.pages[1].data == Expected(1, 0, 300, 304));
}

TEST_F(Scan, ALaterPagesLargerBlockGrowsTheBuffer) {
  OpenRaw(2);
  SCANPARAMETER_UNION p = RawGreyPage(400);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  Receiver receiver;
  const long blocks[] = {1000, 50000};
  for (long block : blocks) {
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, block), 0);
    ASSERT_TRUE(receiver.WaitForPageEnd());
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
  }
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  const std::vector<Receiver::Page> pages = receiver.Pages();
  ASSERT_EQ(pages.size(), 2u);
  for (size_t i = 0; i < 2; ++i) ExpectPage(pages[i], Expected(i + 1, 0, 400, 304), blocks[i], "");
}

TEST_F(Scan, UnknownLengthRearPagesLongerThanTheirPipeArriveWhole) {
  // The rear pipe of a job of unknown page length holds 6 MiB; this rear side is longer, and the
  // scanner writes it while the client still takes the front.
  sim::Config config;
  config.duplexStyle = 7;
  config.paperLength = 24000;  // 24000 lines of 304 bytes: 7.3 MB a side
  OpenRaw(1, config);
  SCANPARAMETER_UNION p = RawGreyPage(60);
  p.LineNum = 0xFFFFFFFF;
  p.CtrlMode = kCtrlPage;
  p.ScanMethod = 4;
  const Job job = RunJob(p, 1 << 20);
  ASSERT_EQ(job.pages.size(), 2u);
  EXPECT_TRUE(job.pages[0].data == Expected(1, 0, 24000, 304));
  EXPECT_TRUE(job.pages[1].data == Expected(1, 1, 24000, 304));
  EXPECT_EQ(job.stopJob, 0);
}

TEST_F(Scan, ACancelInBatchModeDrainsTheScannersPagesAndLeavesNoThread) {
  sim::SimScanner& s = OpenRaw(3);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(400);  // batch: the scanner feeds ahead
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  Receiver receiver;
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  const long stop = KRStopScan(kCtrl, &handle, 1);
  EXPECT_TRUE(stop == 0 || stop == -2010) << stop;
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  EXPECT_EQ(Item()->bJobRunning, 0);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_TRUE(receiver.Pages()[0].data == Expected(1, 0, 400, 304));
  // The device was released (the scanner may have fed every sheet ahead); the next job runs.
  EXPECT_EQ(s.Scanned().releaseArguments.back(), 2);
  s.LoadSheets(1);
  const Job next = RunJob(p, 0);
  ASSERT_FALSE(next.pages.empty());
  EXPECT_EQ(next.startScan[0], 0);
  EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(Scan, TheImprinterRunsWithTheJob) {
  // Printing on: the motor starts with the prefire and the head is enabled at the job start; at
  // the job end the head is disabled and the motor stopped with the check.
  sim::Config config;
  config.imprinter = sim::ImprinterKind::Fitted;
  sim::SimScanner& s = OpenRaw(1, config);
  KR_Imprinter_Parameter settings;
  std::memset(&settings, 0, sizeof settings);
  settings.Version = 200;
  settings.Size = sizeof settings;
  settings.TextEnable = 1;
  settings.TextLength[0] = 1;
  uint8_t text[2] = {0, 'A'};
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &settings, text, nullptr, nullptr, nullptr), 0);
  s.ClearCommandLog();
  const Job job = RunJob(RawGreyPage(100), 0);
  ASSERT_EQ(job.pages.size(), 1u);
  EXPECT_TRUE(job.pages[0].data == Expected(1, 0, 100, 304));
  std::vector<Bytes> controls;  // SEND 0x020C (head) and 0x020D (motor), in order
  for (const devicefix::Seen& c : devicefix::Commands(s)) {
    if (c.command == "SEND 0x020C" || c.command == "SEND 0x020D") controls.push_back(c.out);
  }
  const std::vector<Bytes> expected = {
      {0, 0, 1, 0, 0, 0, 8, 1},  // motor on, prefire
      {0, 0, 1, 0, 0, 0, 8, 1},  // head on
      {0, 0, 1, 0, 0, 0, 8, 0},  // head off
      {0, 0, 1, 0, 0, 0, 8, 2},  // motor off, checked
  };
  EXPECT_EQ(controls, expected);
  EXPECT_FALSE(Item()->pImprinter->IsMotorRunning());
  EXPECT_FALSE(Item()->pImprinter->IsPrintEnabled());
}

// A rear side of open length longer than its pipe may hold in memory, written while the client
// still takes the front: the pipe never grows past its memory limit (the rest waits in a file)
// and both pages arrive whole.
TEST_F(Scan, UnknownLengthRearPipesStayWithinTheirMemoryLimit) {
  constexpr uint32_t kSideLines = 40000;  // 12 MB a side
  sim::Config config;
  config.duplexStyle = 7;
  config.paperLength = kSideLines;
  OpenRaw(1, config);
  SCANPARAMETER_UNION p = RawGreyPage(60);
  p.LineNum = 0xFFFFFFFF;
  p.CtrlMode = kCtrlPage;
  p.ScanMethod = 4;
  p.CacheSize = 20 << 20;  // the pipes' hard limit: 10 MiB a side
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  std::atomic<int64_t> largest{0}, limit{0};
  Receiver receiver;
  receiver.inside = [&] {
    CExtPipe* rear = Item()->Pipes[kPipeIoRear];
    largest = std::max<int64_t>(largest, rear->GetTotalSize());
    limit = rear->GetMemoryLimit();
  };
  for (int page = 0; page < 2; ++page) {
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 1 << 20), 0) << page;
    ASSERT_TRUE(receiver.WaitForPageEnd()) << page;
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << page;
  }
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  const std::vector<Receiver::Page> pages = receiver.Pages();
  ASSERT_EQ(pages.size(), 2u);
  for (uint32_t side = 0; side < 2; ++side)
    EXPECT_TRUE(pages[side].data == Expected(1, side, kSideLines, 304)) << "side " << side;
  ASSERT_GT(limit.load(), 0);
  EXPECT_LT(limit.load(), int64_t(kSideLines) * 304);
  EXPECT_LE(largest.load(), limit.load());
}
