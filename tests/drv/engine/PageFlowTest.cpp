// How pages flow when the scanner or the client cuts them otherwise than sheet by sheet: a long
// page that comes as several images ending with end of file, the job's page limit (JobPages),
// and a pipe that may hold only so many pages ahead (CacheMode 1).
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"

using namespace enginefix;

namespace {

constexpr uint32_t kLine = 304;

class PageFlow : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("engine-page-flow");
    std::thread([] {}).join();  // a sanitizer's own thread starts before any count
  }
};

}  // namespace

// A sheet the scanner delivers as images of 150 lines, each ending with end of file and the
// last with end of page: the client takes each image as a page of its own (KRStopScan and
// KRStartScan between them, the scanner reading on), and the images put together are the sheet.
TEST_F(PageFlow, EndOfFileImagesOfALongPageArriveWhole) {
  struct Way {
    const char* what;
    uint32_t ctrl;
    long block;
  };
  const Way ways[] = {
      {"page mode to the end of the page", kCtrlPage, 0},
      {"page mode to the end of the page, blocks", kCtrlPage, 10000},
      {"batch to the end of the page", 0, 0},
      {"page mode, fixed length", kCtrlPage | kCtrlFixed, 0},
  };
  for (const Way& way : ways) {
    sim::Config config;
    config.sheetEvents = {{sim::SheetEventKind::EndOfFileSegments, 1, 0, 0, 150},
                          {sim::SheetEventKind::EndOfFileSegments, 2, 0, 0, 150}};
    sim::SimScanner& s = OpenRaw(2, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(400);
    p.CtrlMode = way.ctrl;
    const Job job = RunJob(p, way.block, 12);
    // Two sheets of three images: 150, 150 and 100 lines.
    ASSERT_EQ(job.pages.size(), 6u) << way.what;
    for (uint32_t sheet = 1; sheet <= 2; ++sheet) {
      Bytes whole;
      for (uint32_t image = 0; image < 3; ++image) {
        const size_t i = (sheet - 1) * 3 + image;
        const std::string what = std::string(way.what) + ", image " + std::to_string(i + 1);
        const Receiver::Page& page = job.pages[i];
        whole.insert(whole.end(), page.data.begin(), page.data.end());
        ASSERT_FALSE(page.calls.empty()) << what;
        const std::vector<int64_t> end =
            image < 2 ? std::vector<int64_t>{-2038} : std::vector<int64_t>{-2022};
        EXPECT_EQ(CodesOf(page.calls.back()), end) << what;
        EXPECT_EQ(job.stopScan[i], 0) << what;
        EXPECT_EQ(job.info[i].Height, image < 2 ? 150u : 100u) << what;
      }
      EXPECT_TRUE(whole == sim::SheetSide(sheet, 0, 400, kLine)) << way.what << ", sheet " << sheet;
    }
    EXPECT_EQ(job.stopJob, 0) << way.what;
    EXPECT_EQ(s.Scanned().sheetsFed, 2u) << way.what;
    EXPECT_EQ(ThreadCount(), threads) << way.what;
  }
}

// The client's page limit ends the job at that page with paper left: one-sided and two-sided
// (an odd limit ends a sheet after its front), page and batch mode; the scanner stops at the
// limit's sheet ("till max scan count") and is let go without a media check.
TEST_F(PageFlow, JobPagesEndsTheJobAtItsPage) {
  struct Case {
    uint32_t method;
    uint32_t ctrl;
    uint32_t jobPages;
    size_t pages;  // pages the client gets
    uint32_t fed;  // sheets the scanner took
  };
  const Case cases[] = {
      {1, kCtrlFixed | kCtrlPage, 2, 2, 2},
      {1, kCtrlFixed, 2, 2, 2},
      {4, kCtrlFixed | kCtrlPage, 3, 3, 2},
      {4, kCtrlFixed, 4, 4, 2},
  };
  for (const Case& c : cases) {
    const std::string what = "method " + std::to_string(c.method) + ", ctrl " +
                             std::to_string(c.ctrl) + ", JobPages " + std::to_string(c.jobPages);
    sim::Config config;
    config.duplexStyle = 0;
    sim::SimScanner& s = OpenRaw(4, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(300);
    p.ScanMethod = c.method;
    p.CtrlMode = c.ctrl;
    p.JobPages = c.jobPages;
    const Job job = RunJob(p, 0, 8, true);
    ASSERT_EQ(job.pages.size(), c.pages) << what;
    for (size_t i = 0; i < c.pages; ++i) {
      const uint32_t sides = c.method == 4 ? 2 : 1;
      EXPECT_TRUE(job.pages[i].data ==
                  sim::SheetSide(uint32_t(i / sides + 1), uint32_t(i % sides), 300, kLine))
          << what << ", page " << i + 1;
      EXPECT_EQ(job.stopScan[i], 0) << what;
    }
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    EXPECT_EQ(job.stopJob, 0) << what;
    EXPECT_EQ(s.Scanned().sheetsFed, c.fed) << what;
    EXPECT_EQ(s.SheetsLeft(), 4 - c.fed) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    // The scanner's last word: the limit's sheet released, then the job's release, no media
    // check between them.
    const std::vector<sim::Exchange> log = s.CommandLog();
    ASSERT_GE(log.size(), 2u) << what;
    EXPECT_EQ(log[log.size() - 2].command, "RELEASE UNIT") << what;
    EXPECT_EQ(log[log.size() - 2].block[11], 0) << what;
    EXPECT_EQ(log.back().command, "RELEASE UNIT") << what;
    EXPECT_EQ(log.back().block[11], 2) << what;
  }
}

// CacheMode 1 caps the pages the scanner's pipe holds ahead of the client at CacheSize: a
// batch job whose scanner may keep only one page ahead still brings every page intact.
TEST_F(PageFlow, CacheModeOneHoldsTheScannerToItsPageCount) {
  OpenRaw(4);
  SCANPARAMETER_UNION p = RawGreyPage(300);
  p.CtrlMode = kCtrlFixed;  // batch: the scanner feeds ahead as far as the pipe lets it
  p.CacheMode = 1;
  p.CacheSize = 1;
  const Job job = RunJob(p, 5000);
  ASSERT_EQ(job.pages.size(), 4u);
  for (uint32_t i = 0; i < 4; ++i)
    EXPECT_TRUE(job.pages[i].data == sim::SheetSide(i + 1, 0, 300, kLine)) << "page " << i + 1;
  EXPECT_EQ(job.stopJob, 0);
}

// The R2 end-of-page style (a model whose stream runs on across sheets): the READ that ends a
// sheet brings the next sheet's first bytes behind its end, and they become the next page's
// first data. Shown on a test model with the style; the short sheets end early, so their end of
// page comes inside a block.
TEST_F(PageFlow, TheR2EndOfPageCarryStartsTheNextPage) {
  for (const uint32_t ctrl : {kCtrlPage, 0u}) {
    sim::Config config;
    config.endOfPageCarry = true;
    config.sheetLengths = {300, 250};
    OpenRaw(3, config);
    std::vector<Device_Features> features = SupportedFeaturesWithout(kFeatureNone);
    features.push_back(kFeatureR2EndOfPage);
    UseFeatures(features);
    SCANPARAMETER_UNION p = RawGreyPage(400);
    p.CtrlMode = ctrl;  // to the end of each sheet
    const Job job = RunJob(p, 0);
    const std::string what = ctrl != 0 ? "page mode" : "batch";
    ASSERT_EQ(job.pages.size(), 3u) << what;
    const uint32_t lines[] = {300, 250, 400};
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(job.pages[i].data == sim::SheetSide(i + 1, 0, lines[i], kLine))
          << what << ", page " << i + 1;
      EXPECT_EQ(job.info[i].Height, lines[i]) << what << ", page " << i + 1;
      EXPECT_EQ(job.stopScan[i], 0) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << what;
  }
}
