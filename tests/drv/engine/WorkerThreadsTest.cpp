// The worker threads in whole jobs against the simulated scanner: software conversion one- and
// two-sided equals the model's stages run over the scanner's raw page, a failing stage ends the
// page with one error and leaves no thread behind, chains the engine cannot carry are refused
// before any page, and the background padding of decoded pages.
#include <algorithm>
#include <string>
#include <vector>

#include "ScanJobRunner.h"
#include "drv/engine/WorkerThreads.h"

using namespace enginefix;

namespace {

constexpr uint32_t kImageTypesLow = 53;

class Workers : public JobTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("engine-workers"); }

  // The model's stages for a side, run over what the scanner built for that side.
  Bytes Converted(uint32_t sheet, uint32_t side) {
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    return RunStages(side, sim::SheetSide(sheet, side, dev.LineNum, dev.BytesPerLine));
  }
};

// A small colour page the client wants at `res` dpi, one-sided unless `method` says otherwise.
SCANPARAMETER_UNION ColourPage(uint16_t res, uint32_t method = 1) {
  SCANPARAMETER_UNION p = Client(res, 4, 24);
  p.ScanMethod = method;
  p.Width = 608;
  p.Length = 240;
  p.PixelNum = p.Width * res / 300 / 8 * 8;
  p.LineNum = p.Length * res / 300;
  p.BytesPerLine = p.PixelNum * 3;
  p.CtrlMode = kCtrlFixed;
  return p;
}

void ExpectConverted(const Receiver::Page& page, const Bytes& converted,
                     const SCANPARAMETER_UNION& p, const std::string& what) {
  ASSERT_EQ(page.data.size(), size_t(p.LineNum) * p.BytesPerLine) << what;
  const size_t n = std::min(page.data.size(), converted.size());
  EXPECT_TRUE(Bytes(page.data.begin(), page.data.begin() + long(n)) ==
              Bytes(converted.begin(), converted.begin() + long(n)))
      << what;
  EXPECT_GE(n, page.data.size() - 2 * size_t(p.BytesPerLine)) << what;
  EXPECT_EQ(page.calls.back().codes[0], -2022) << what;
}

}  // namespace

TEST(PaddingLines, FillsWholePixelsOfTheSidesBackground) {
  std::vector<uint8_t> inquiry(265, 0);
  const uint8_t colours[9] = {10, 20, 30, 40, 50, 61, 70, 80, 90};
  std::copy(colours, colours + 9, inquiry.begin() + 103);
  struct Case {
    uint32_t type, mode, count;
    Bytes expected;
  };
  const Case cases[] = {
      {kPaddingFrontFeeder, 4, 10, {10, 20, 30, 10, 20, 30, 10, 20, 30, 0xEE}},
      {kPaddingRearFeeder, 0x4000004, 6, {40, 50, 61, 40, 50, 61}},
      {kPaddingFlatbed, 2, 3, {80, 80, 80}},
      {kPaddingRearFeeder, 2, 2, {50, 50}},             // (40 + 50 + 61) / 3, rounded down
      {7, 4, 4, {0, 0, 0, 0xEE}},                       // another type: black
      {kPaddingFrontFeeder, 0, 3, {0xEE, 0xEE, 0xEE}},  // line art: nothing written
  };
  for (const Case& c : cases) {
    Bytes buffer(c.expected.size(), 0xEE);
    PaddingLines(buffer.data(), c.count, BGPADDINGTYPE(c.type), inquiry.data(), c.mode);
    EXPECT_EQ(buffer, c.expected) << "type " << c.type << ", mode " << c.mode;
  }
}

// The model scans 200 dpi at 300 x 200 and 250 dpi at 300: its scaling runs in software, one-
// and two-sided (style 0, the rear stream in step with the front), page and batch mode.
TEST_F(Workers, ScalingEqualsTheStagesOverTheRawPage) {
  struct Case {
    uint16_t res;
    uint32_t method, ctrl;
    long block;
  };
  const Case cases[] = {{200, 1, kCtrlFixed, 0},
                        {250, 1, kCtrlFixed | kCtrlPage, 5000},
                        {250, 4, kCtrlFixed, 0},
                        {200, 4, kCtrlFixed | kCtrlPage, 0}};
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.res) + " dpi, method " + std::to_string(c.method) +
                             ", ctrl " + std::to_string(c.ctrl);
    sim::Config config;
    config.duplexStyle = 0;
    OpenRaw(2, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = ColourPage(c.res, c.method);
    p.CtrlMode = c.ctrl;
    const Job job = RunJob(p, c.block);
    const size_t sides = c.method == 4 ? 2 : 1;
    ASSERT_EQ(job.pages.size(), 2 * sides) << what;
    for (size_t i = 0; i < job.pages.size(); ++i) {
      const uint32_t sheet = uint32_t(i / sides) + 1, side = uint32_t(i % sides);
      ExpectConverted(job.pages[i], Converted(sheet, side), p,
                      what + ", page " + std::to_string(i + 1));
      EXPECT_EQ(job.stopScan[i], 0) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
  }
}

// Halftone from the device's grey on a model that makes halftone in software.
TEST_F(Workers, SoftwareHalftoneEqualsTheStages) {
  // The raw profile's image types with halftone announced (the lowest byte of three).
  sim::Config config;
  const uint8_t types = OpenRaw(1).InquiryData(0x2200)[kImageTypesLow];
  config.inquiryPatches = {{kImageTypesLow, uint8_t(types | 0x02)}};
  OpenRaw(2, config);
  std::vector<Device_Features> features = SupportedFeaturesWithout(kFeatureNone);
  features.push_back(kFeatureSoftwareHalftone);
  UseFeatures(features);
  SCANPARAMETER_UNION p = RawGreyPage(120);
  p.ScanMode = 1;
  p.BitsPerPixel = 1;
  p.Width = p.PixelNum = 256;  // the halftone's pixel bound
  p.BytesPerLine = p.PixelNum / 8;
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.pages.size(), 2u);
  for (uint32_t i = 0; i < 2; ++i)
    ExpectConverted(job.pages[i], Converted(i + 1, 0), p, "page " + std::to_string(i + 1));
  SCANPARAMETER_UNION dev;
  Item()->pScanner->GetNewScanParameter(&dev);
  EXPECT_EQ(dev.ScanMode, 2u);
  EXPECT_EQ(job.stopJob, 0);
}

// A stage that runs out of memory on the first block: one error call for the page, the page
// and the job end, and every thread of the job is gone; page and batch mode.
TEST_F(Workers, FailingStageEndsThePageWithOneError) {
  for (const uint32_t ctrl : {kCtrlFixed, kCtrlFixed | kCtrlPage}) {
    bool seen = false;
    // The n-th allocation of the pipeline from the job start on fails: the first n that lets
    // the job start fails inside the conversion thread.
    for (uint32_t n = 1; n < 64 && !seen; ++n) {
      OpenRaw(2);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = ColourPage(250);
      p.CtrlMode = ctrl;
      ImageProcessFailAllocationAfter(n);
      const Job job = RunJob(p, 0, 2);
      ImageProcessFailAllocationAfter(0);
      EXPECT_EQ(ThreadCount(), threads) << n;
      EXPECT_EQ(job.stopJob == 0 || job.stopJob == -2006, true) << n;
      // A failure in the job start refuses the page; one that a step copes with lets the page
      // through; one in the conversion thread is what this test is after.
      if (job.startScan.empty() || job.startScan[0] != 0 || job.pages.empty()) continue;
      const Receiver::Page& page = job.pages[0];
      size_t errors = 0;
      for (const Receiver::Call& call : page.calls) errors += call.codes[0] == -2006;
      if (errors == 0) continue;
      seen = true;
      // No page after the failure comes out empty as if it were scanned: each ends in the
      // error, with one error call.
      for (const Receiver::Page& each : job.pages) {
        size_t count = 0;
        for (const Receiver::Call& call : each.calls) count += call.codes[0] == -2006;
        EXPECT_EQ(count, 1u) << "ctrl " << ctrl;
        EXPECT_EQ(each.calls.back().codes[0], -2006) << "ctrl " << ctrl;
      }
      EXPECT_EQ(job.stopScan.size(), job.pages.size()) << "ctrl " << ctrl;
    }
    EXPECT_TRUE(seen) << "ctrl " << ctrl;
  }
}

// Two-sided decoding needs headers on both IO pipes: the paired style cannot carry it, and
// the job is refused before any page.
TEST_F(Workers, ChainsTheEngineCannotCarryAreRefused) {
  sim::Config config;
  config.sheets = 2;
  config.duplexStyle = 0;
  sim::SimScanner& s = OpenAlone(config);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = ColourPage(300, 4);
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.startScan.size(), 1u);
  EXPECT_EQ(job.startScan[0], -2005);
  const std::vector<std::string> names = devicefix::Names(s);
  EXPECT_EQ(std::count(names.begin(), names.end(), "READ 0x0000"), 0);
  EXPECT_EQ(ThreadCount(), threads);
}

// Duplex style 1 sends both sides in one stream, interleaved in units of the device's lines:
// de-multiplexed, with and without conversion, the pages are those of the paired style.
TEST_F(Workers, DeMultiplexedStyleDeliversThePagesOfThePairedStyle) {
  struct Case {
    uint16_t res;
    uint32_t ctrl;
    long block;
  };
  const Case cases[] = {
      {300, kCtrlFixed, 0}, {300, kCtrlFixed | kCtrlPage, 7000}, {250, kCtrlFixed, 0}};
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.res) + " dpi, ctrl " + std::to_string(c.ctrl);
    std::vector<Receiver::Page> pages[2];
    for (const uint8_t style : {uint8_t(0), uint8_t(1)}) {
      sim::Config config;
      config.duplexStyle = style;
      config.deMuxLines = 8;
      OpenRaw(2, config);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = ColourPage(c.res, 4);
      p.CtrlMode = c.ctrl;
      const Job job = RunJob(p, c.block);
      EXPECT_EQ(Item()->bDeMultiplexed, style == 1) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      pages[style] = job.pages;
    }
    ASSERT_EQ(pages[1].size(), 4u) << what;
    ASSERT_EQ(pages[0].size(), 4u) << what;
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_TRUE(pages[1][i].data == pages[0][i].data) << what << ", page " << i + 1;
      EXPECT_EQ(pages[1][i].calls.back().codes[0], -2022) << what << ", page " << i + 1;
    }
    if (c.res == 300) {
      EXPECT_TRUE(pages[1][1].data == sim::SheetSide(1, 1, 240, 608 * 3)) << what;
    }
  }
}

// Chains the engine has no thread bodies for are refused before any page: device JPEG
// de-multiplexed, and a de-multiplexed job whose unit is 0 lines.
TEST_F(Workers, DeMultiplexedJpegAndEmptyUnitsAreRefused) {
  for (const bool jpeg : {true, false}) {
    sim::Config config;
    config.duplexStyle = 1;
    config.deMuxLines = jpeg ? 8 : 0;
    config.sheets = 1;
    if (!jpeg) config.profile = sim::ImageProfile::Raw;
    sim::SimScanner& s = OpenAlone(config);
    const size_t threads = ThreadCount();
    const Job job = RunJob(ColourPage(300, 4), 0);
    ASSERT_EQ(job.startScan.size(), 1u) << jpeg;
    EXPECT_EQ(job.startScan[0], -2005) << jpeg;
    const std::vector<std::string> names = devicefix::Names(s);
    EXPECT_EQ(std::count(names.begin(), names.end(), "READ 0x0000"), 0) << jpeg;
    EXPECT_EQ(ThreadCount(), threads) << jpeg;
  }
}
