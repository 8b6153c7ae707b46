// Whole scan jobs through the exports against the simulated scanner: the client's callback
// receives exactly the pixels the scanner built, page by page, simplex and duplex, page and
// batch mode; the job's commands reach the device in order; every thread of a job is gone
// after it.
#include <dirent.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"

using namespace enginefix;

namespace {

constexpr uint32_t kCtrlPage = 0x1;
constexpr uint32_t kCtrlFixed = 0x2;

// Threads of this process now.
size_t ThreadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// What a job gave the client.
struct Job {
  long start = 0;
  std::vector<long> startScan;
  std::vector<long> stopScan;
  std::vector<ImageInformation> info;
  long stopJob = 0;
  std::vector<Receiver::Page> pages;
};

class Scan : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("engine-scan");
    // A sanitizer's runtime starts a thread of its own with the first thread: that happens
    // here, before any test counts threads.
    std::thread([] {}).join();
  }

  sim::SimScanner& OpenRaw(uint32_t sheets, sim::Config config = {}) {
    config.profile = sim::ImageProfile::Raw;
    config.sheets = sheets;
    return OpenAlone(config);
  }

  // A client's job: pages until the feeder is empty (or `pages` were asked for).
  Job RunJob(const SCANPARAMETER_UNION& p, long blockSize, size_t pages = 16) {
    Job job;
    Receiver receiver;
    job.start = KRStartJob(kCtrl, &handle);
    EXPECT_EQ(SetParameter(p), 0);
    for (size_t page = 0; page < pages; ++page) {
      receiver.NextPage();
      const long r = KRStartScan(kCtrl, &handle, Receiver::Callback, blockSize);
      job.startScan.push_back(r);
      if (r != 0) break;
      EXPECT_TRUE(receiver.WaitForPageEnd()) << "page " << page + 1;
      void* info = nullptr;
      EXPECT_EQ(KRRequestImageInfo(kCtrl, &handle, &info), 0);
      if (info != nullptr) {
        job.info.push_back(*static_cast<ImageInformation*>(info));
        KRMemFree(kCtrl, info);
      }
      job.stopScan.push_back(KRStopScan(kCtrl, &handle, 0));
      long sensor = 0;
      uint8_t paper = 0;
      EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &sensor, &paper, 0), 0);
      if (paper == 0) break;
    }
    job.stopJob = KRStopJob(kCtrl, &handle);
    job.pages = receiver.Pages();
    return job;
  }
};

Bytes Expected(uint32_t sheet, uint32_t side, uint32_t lines, uint32_t bytesPerLine) {
  return sim::SheetSide(sheet, side, lines, bytesPerLine);
}

}  // namespace

TEST_F(Scan, SimplexPagesArriveExactly) {
  OpenRaw(3);
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
    // A cancel from the callback ends the job; the page reports the cancel (-2010) when the
    // scanner was still reading it.
    const long stop = KRStopScan(kCtrl, &handle, 0);
    EXPECT_TRUE(stop == 0 || (answer == 2 && stop == -2010)) << answer << ": " << stop;
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
