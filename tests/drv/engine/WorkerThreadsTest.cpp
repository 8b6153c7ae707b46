// The worker threads in whole jobs against the simulated scanner: software conversion one- and
// two-sided equals the model's stages run over the scanner's raw page, a failing stage ends the
// page with one error and leaves no thread behind, chains the engine cannot carry are refused
// before any page, and the background padding of decoded pages.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ScanJobRunner.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/engine/Topology.h"
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

// To the end of the page at a resolution the scanner lacks: the page scales by the resolutions
// whether the client gives the area's length or leaves it open too, and ends with the sheet.
TEST_F(Workers, ScalingToTheEndOfThePageEqualsTheStages) {
  struct Case {
    const char* what;
    uint16_t res;
    uint32_t method;
    uint32_t length;  // the area's, in 1/300 inch
  };
  constexpr uint32_t kSheet = 200;
  const Case cases[] = {{"the area's length given", 250, 1, 240},
                        {"the area's length given, two-sided", 200, 4, 240},
                        {"the length open as well", 250, 1, 0xFFFFFFFF}};
  for (const Case& c : cases) {
    sim::Config config;
    config.duplexStyle = 0;
    config.sheetLengths = {kSheet};
    config.paperLength = kSheet;
    OpenRaw(1, config);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = ColourPage(c.res, c.method);
    p.Length = c.length;
    p.LineNum = 0xFFFFFFFF;
    p.CtrlMode = 0;
    const Job job = RunJob(p, 0);
    const size_t sides = c.method == 4 ? 2 : 1;
    ASSERT_EQ(job.pages.size(), sides) << c.what;
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    for (size_t i = 0; i < sides; ++i) {
      const std::string what = std::string(c.what) + ", page " + std::to_string(i + 1);
      const uint32_t deviceLines = kSheet * dev.YRes / 300;
      const Bytes converted =
          RunStages(uint32_t(i), sim::SheetSide(1, uint32_t(i), deviceLines, dev.BytesPerLine));
      ASSERT_FALSE(job.pages[i].calls.empty()) << what;
      EXPECT_EQ(job.pages[i].calls.back().codes[0], -2022) << what;
      EXPECT_EQ(job.stopScan[i], 0) << what;
      EXPECT_EQ(job.pages[i].data.size(), converted.size()) << what;
      EXPECT_TRUE(job.pages[i].data == converted) << what;
      EXPECT_EQ(job.info[i].Height, converted.size() / p.BytesPerLine) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
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
TEST_F(Workers, FailingStageEndsThePageWithOneErrorAndTheNextJobScans) {
  for (const uint32_t ctrl : {kCtrlFixed, kCtrlFixed | kCtrlPage}) {
    bool seen = false;
    // The n-th allocation of the pipeline from the job start on fails: the first n that lets
    // the job start fails inside the conversion thread.
    for (uint32_t n = 1; n < 64 && !seen; ++n) {
      sim::SimScanner& s = OpenRaw(2);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = ColourPage(250);
      p.CtrlMode = ctrl;
      ImageProcessFailAllocationAfter(n);
      const Job job = RunJob(p, 0, 1);
      ImageProcessFailAllocationAfter(0);
      EXPECT_EQ(ThreadCount(), threads) << n;
      // A failure in the job start refuses the page; one that a step copes with lets the page
      // through; one in the conversion thread is what this test is after.
      if (job.startScan.empty() || job.startScan[0] != 0 || job.pages.empty()) continue;
      const Receiver::Page& page = job.pages[0];
      size_t errors = 0;
      for (const Receiver::Call& call : page.calls) errors += call.codes[0] == -2006;
      if (errors == 0) continue;
      seen = true;
      // The page ends in the error, with one error call, and so does the job.
      EXPECT_EQ(errors, 1u) << "ctrl " << ctrl;
      EXPECT_EQ(page.calls.back().codes[0], -2006) << "ctrl " << ctrl;
      EXPECT_EQ(job.stopScan, std::vector<long>{-2006}) << "ctrl " << ctrl;
      EXPECT_EQ(job.stopJob, 0) << "ctrl " << ctrl;
      EXPECT_EQ(Item()->bJobRunning, 0) << "ctrl " << ctrl;
      // The next job starts the device job from scratch and converts the next sheet.
      s.LoadSheets(1);
      const uint32_t sheet = s.Scanned().sheetsFed + 1;
      const Job next = RunJob(p, 0, 1);
      ASSERT_EQ(next.startScan, std::vector<long>{0}) << "ctrl " << ctrl;
      ASSERT_EQ(next.pages.size(), 1u) << "ctrl " << ctrl;
      ExpectConverted(next.pages[0], Converted(sheet, 0), p,
                      "next job, ctrl " + std::to_string(ctrl));
      EXPECT_EQ(next.stopScan, std::vector<long>{0}) << "ctrl " << ctrl;
      EXPECT_EQ(next.stopJob, 0) << "ctrl " << ctrl;
      EXPECT_EQ(ThreadCount(), threads) << "ctrl " << ctrl;
    }
    EXPECT_TRUE(seen) << "ctrl " << ctrl;
  }
}

// A job start that fails after some of its workers started (the next thread cannot be made):
// the job's end gives each started worker whose producer never ran the end of the job, so
// every thread is joined and the scan is refused with the system error. Each chain with every
// count of workers that could start before the failure.
TEST_F(Workers, AJobStartThatFailsAfterSomeWorkersLeavesNoThread) {
  struct Case {
    const char* what;
    uint8_t mask;
    int workers;  // the chain's threads besides the IO thread
    bool jpeg;
    uint8_t style;
    SCANPARAMETER_UNION page;
    bool jpegClient = false;  // on a model that re-encodes
  };
  SCANPARAMETER_UNION jpegPage = ColourPage(300), jpegConverted = ColourPage(250);
  for (SCANPARAMETER_UNION* p : {&jpegPage, &jpegConverted}) {
    p->ScanMode = 0x4000004;
    p->Compression = 132;
  }
  const Case cases[] = {
      {"conversion", 0x01, 1, false, 0, ColourPage(250)},
      {"two-sided conversion", 0x05, 1, false, 0, ColourPage(250, 4)},
      {"de-multiplexed", 0x06, 1, false, 1, ColourPage(300, 4)},
      {"de-multiplexed conversion", 0x07, 2, false, 1, ColourPage(250, 4)},
      {"device JPEG decoded", 0xC0, 1, true, 7, ColourPage(300)},
      {"device JPEG decoded, duplex", 0xC4, 1, true, 7, ColourPage(300, 4)},
      {"device JPEG decoded and converted", 0xA1, 2, true, 7, ColourPage(250)},
      {"device JPEG re-encoded", 0x40, 2, true, 7, jpegPage, true},
      {"device JPEG decoded, converted, encoded", 0x21, 3, true, 7, jpegConverted, true},
  };
  for (const Case& c : cases) {
    for (int started = 0; started <= c.workers; ++started) {
      const std::string what = std::string(c.what) + ", " + std::to_string(started) + " started";
      sim::Config config;
      config.duplexStyle = c.style;
      config.deMuxLines = 8;
      config.sheets = 1;
      if (!c.jpeg) config.profile = sim::ImageProfile::Raw;
      if (c.jpegClient) config.inquiryPatches = {JpegWindowPatch()};
      OpenAlone(config);
      if (c.jpegClient) UseFeatures(SupportedFeaturesWithout(kFeatureExtendedModes));
      const size_t threads = ThreadCount();
      ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
      ASSERT_EQ(SetParameter(c.page), 0) << what;
      Receiver receiver;
      long start;
      {
        ThreadCreationLimit limit(started);
        start = KRStartScan(kCtrl, &handle, Receiver::Callback, 0);
      }
      EXPECT_EQ(start, -2023) << what;
      // The job's flags outlive its end (its pipelines do not).
      EXPECT_EQ(TopologyMask(Item()) | kTopologyPipeline, c.mask | kTopologyPipeline) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      for (const KrThread& thread : Item()->Threads) EXPECT_FALSE(IsValidKrThread(&thread)) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
      EXPECT_TRUE(receiver.Pages().empty()) << what;
    }
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

// Duplex styles 1 to 3 send both sides in one stream, interleaved in units of the device's
// lines: de-multiplexed, with and without conversion, the pages are those of the paired style.
// A side whose length is no whole number of units ends in a short unit (with units of 8 lines
// the short second sheet, with 7 lines the full sheets): style 2 puts its rear right behind its
// front and runs on into the next sheet's stream in the same block, style 3 leaves the rest of
// the unit as a gap between them.
TEST_F(Workers, DeMultiplexedStylesDeliverThePagesOfThePairedStyle) {
  struct Case {
    uint16_t res;
    uint32_t ctrl;
    long block;
    uint16_t unitLines;
  };
  const Case cases[] = {{300, kCtrlFixed, 0, 8},
                        {300, kCtrlFixed, 0, 7},
                        {300, kCtrlFixed | kCtrlPage, 7000, 8},
                        {250, kCtrlFixed, 0, 7}};
  constexpr uint32_t kShortSheet = 203;  // 25 units of 8 lines and 3 lines; 29 units of 7
  for (const Case& c : cases) {
    std::vector<Receiver::Page> reference;
    for (const uint8_t style : {uint8_t(0), uint8_t(1), uint8_t(2), uint8_t(3)}) {
      const std::string what = std::to_string(c.res) + " dpi, ctrl " + std::to_string(c.ctrl) +
                               ", unit " + std::to_string(c.unitLines) + ", style " +
                               std::to_string(style);
      sim::Config config;
      config.duplexStyle = style;
      config.deMuxLines = c.unitLines;
      config.sheetLengths = {0, kShortSheet};
      OpenRaw(3, config);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = ColourPage(c.res, 4);
      p.CtrlMode = c.ctrl;
      const Job job = RunJob(p, c.block);
      EXPECT_EQ(Item()->bDeMultiplexed, style != 0) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      ASSERT_EQ(job.pages.size(), 6u) << what;
      for (size_t i = 0; i < job.pages.size(); ++i)
        EXPECT_EQ(job.pages[i].calls.back().codes[0], -2022) << what << ", page " << i + 1;
      if (style == 0) {
        reference = job.pages;
        if (c.res != 300) continue;
        // The paired style's pages are the scanner's sides, the short sheet's padded.
        for (size_t i = 0; i < 6; ++i) {
          const uint32_t sheet = uint32_t(i / 2) + 1, side = uint32_t(i % 2);
          const uint32_t lines = sheet == 2 ? kShortSheet : 240;
          const Bytes expected = sim::SheetSide(sheet, side, lines, 608 * 3);
          const Bytes& data = reference[i].data;
          ASSERT_EQ(data.size(), size_t(240) * 608 * 3) << what;
          EXPECT_TRUE(Bytes(data.begin(), data.begin() + long(expected.size())) == expected)
              << what << ", page " << i + 1;
        }
        continue;
      }
      for (size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(job.pages[i].data == reference[i].data) << what << ", page " << i + 1;
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

namespace {

Bytes ReadPayload(CExtPipe* pipe, const PIPE_PACKAGE_HEADER& h) {
  Bytes payload(h.dwSize);
  const bool read = h.dwSize == 0 || pipe->Read(h.dwSize, payload.data());
  EXPECT_TRUE(read);
  return payload;
}

void WriteImage(CExtPipe* pipe, const Bytes& data, uint32_t bytesPerLine, bool last) {
  PIPE_PACKAGE_HEADER h{};
  h.dwSize = h.dwEffectiveSize = uint32_t(data.size());
  EXPECT_TRUE(WritePacket(pipe, h, data.data()));
  PageInformation page{};
  page.Width = 16;
  page.Height = uint32_t(data.size()) / bytesPerLine;
  page.Size = uint32_t(data.size());
  page.BytesPerLine = bytesPerLine;
  page.ScanMode = 0x80;
  uint8_t info[kPageInformationSize];
  const uint8_t tables[kJpegTablesSize] = {};
  PutPageInformation(info, page, tables);
  h = PIPE_PACKAGE_HEADER{};
  h.type = kPacketPageInformation;
  h.dwSize = h.dwEffectiveSize = kPageInformationSize;
  EXPECT_TRUE(WritePacket(pipe, h, info));
  pipe->IncreasePageCount();
  h = PIPE_PACKAGE_HEADER{};
  h.type = kPacketEndOfPage;
  EXPECT_TRUE(WritePacket(pipe, h, nullptr));
  h.type = kPacketEndOfCycle;
  h.blJobFinished = last ? 1 : 0;
  EXPECT_TRUE(WritePacket(pipe, h, nullptr));
}

}  // namespace

// The IR/UV splitter on a model with IR and UV (the device scans colour with both): the visible
// page goes on as it came, the IR/UV page of three bytes a pixel becomes the IR image, then the
// UV image, each a page of its own with its own kind; the sheet's end follows the UV image.
TEST_F(Workers, IRUVSplitterSendsVisibleThenIRThenUV) {
  OpenAlone();
  auto* model = new CScanner(CQN70HT::kTraits, CQN70HT::kTraits.features);
  model->SetInquiryData(Item()->pScanner->InquiryData(), kInquiryCopySize);
  delete Item()->pScanner;
  Item()->pScanner = model;
  SCANPARAMETER_UNION ap = RawGreyPage(4);
  ap.ScanMode = 0xA000002;  // grey with IR and UV
  ap.Width = ap.PixelNum = 16;
  ap.BytesPerLine = 16;
  model->SetAPScanParameter(&ap);
  model->TransformScanParameter(Item());
  SCANPARAMETER_UNION dev;
  model->GetNewScanParameter(&dev);
  ASSERT_EQ(dev.ScanMode, 0xA000004u);

  CExtPipe in(nullptr, 2 << 20, 8 << 20), out(nullptr, 2 << 20, 8 << 20);
  Item()->Pipes[kPipeIoFront] = &in;
  Item()->Pipes[kPipeDeIRUVMain] = &out;
  const Bytes visible = sim::SheetSide(1, 0, 4, 48);
  Bytes irUv(16 * 3 * 4), ir, uv;
  for (size_t i = 0; i < irUv.size(); ++i) {
    irUv[i] = uint8_t(i * 7 + 1);
    if (i % 3 == 1) ir.push_back(irUv[i]);
    if (i % 3 == 2) uv.push_back(irUv[i]);
  }
  WriteImage(&in, visible, 48, false);
  WriteImage(&in, irUv, 48, true);
  std::thread splitter([&] { DeIRUVThread(Item()); });
  splitter.join();
  Item()->Pipes[kPipeIoFront] = Item()->Pipes[kPipeDeIRUVMain] = nullptr;

  struct Image {
    Bytes data;
    PageInformation page{};
    PIPE_PACKAGE_HEADER cycle{};
  };
  std::vector<Image> images(1);
  PIPE_PACKAGE_HEADER h;
  while (images.size() <= 3 && out.Read(kHeaderSize, reinterpret_cast<uint8_t*>(&h))) {
    const Bytes payload = ReadPayload(&out, h);
    if (h.type == kPacketImage)
      images.back().data.insert(images.back().data.end(), payload.begin(), payload.end());
    if (h.type == kPacketPageInformation) {
      uint8_t tables[kJpegTablesSize];
      GetPageInformation(payload.data(), &images.back().page, tables);
    }
    if (h.type == kPacketEndOfCycle) {
      images.back().cycle = h;
      if (h.blJobFinished) break;
      images.emplace_back();
    }
  }
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images[0].data, visible);
  EXPECT_EQ(images[1].data, ir);
  EXPECT_EQ(images[2].data, uv);
  EXPECT_EQ(images[1].page.ScanMode, 0x400u);
  EXPECT_EQ(images[2].page.ScanMode, 0x800u);
  EXPECT_EQ(images[1].page.BytesPerLine, 16u);
  EXPECT_EQ(images[2].page.Size, 64u);
  EXPECT_EQ(images[1].cycle.blJobFinished, 0);
  EXPECT_EQ(images[1].cycle.bADFStatus, 1);
  EXPECT_EQ(images[2].cycle.blJobFinished, 1);
  EXPECT_EQ(out.GetPageCount(), 3u);
  EXPECT_EQ(in.GetPageCount(), 0u);
}

// IR and UV end to end on a model with them (the device scans colour with IR and/or UV): every
// sheet gives the visible page in the client's grey, then its IR image and/or its UV image,
// each described by its own kind; page mode and batch, with whole pages and in blocks.
TEST_F(Workers, IRUVJobDeliversVisibleThenIRThenUVPerSheet) {
  struct Case {
    uint32_t mode, ctrl;
    long block;
    std::vector<uint32_t> kinds;  // of a sheet's pages
    uint32_t firstWindow;         // the job start's image mode word
    uint32_t jobPages = 0;        // the client's page limit
  };
  const Case cases[] = {
      {0xA000002, kCtrlFixed, 0, {2, 6, 7}, 0x3000080},  // grey with IR and UV
      {0xA000002, kCtrlFixed | kCtrlPage, 5000, {2, 6, 7}, 0x3000080},
      {0x8000002, kCtrlFixed, 0, {2, 6}, 0x1000080},        // grey with IR
      {0xA000002, kCtrlFixed, 0, {2, 6, 7}, 0x3000080, 3},  // one sheet's images
  };
  for (const Case& c : cases) {
    const std::string what = "mode " + std::to_string(c.mode) + ", ctrl " + std::to_string(c.ctrl);
    sim::Config config;
    config.profile = sim::ImageProfile::IrUv;
    config.sheets = 2;
    sim::SimScanner& s = OpenAlone(config);
    UseModelClass<CQN70HT>();
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(120);
    p.ScanMode = c.mode;
    p.Width = p.PixelNum = p.BytesPerLine = 608;
    p.CtrlMode = c.ctrl;
    p.JobPages = c.jobPages;
    const Job job = RunJob(p, c.block, 16, c.jobPages != 0);
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    ASSERT_EQ(BaseMode(dev.ScanMode), 4u) << what;
    const uint32_t sheets = c.jobPages != 0 ? 1 : 2;
    EXPECT_EQ(s.Scanned().sheetsFed, sheets) << what;
    uint32_t irUvStages = 0;
    Item()->pScanner->GetIRUVImageProcessVariable(&irUvStages, nullptr);
    ASSERT_EQ(irUvStages, 0u) << what;  // at the device's resolution the channels go as split
    const size_t perSheet = c.kinds.size();
    ASSERT_EQ(job.pages.size(), sheets * perSheet) << what;
    ASSERT_EQ(job.info.size(), sheets * perSheet) << what;
    for (uint32_t sheet = 1; sheet <= sheets; ++sheet) {
      const Bytes visible = RunStages(0, sim::SheetSide(sheet, 0, 120, dev.BytesPerLine));
      const Bytes irUv = sim::IrUvImage(sheet, 120, dev.BytesPerLine);
      Bytes ir, uv;
      for (size_t i = 0; i < irUv.size(); ++i) {
        if (i % 3 == 1) ir.push_back(irUv[i]);
        if (i % 3 == 2) uv.push_back(irUv[i]);
      }
      for (size_t image = 0; image < perSheet; ++image) {
        const size_t i = (sheet - 1) * perSheet + image;
        const std::string page = what + ", page " + std::to_string(i + 1);
        const uint32_t kind = c.kinds[image];
        EXPECT_TRUE(job.pages[i].data == (kind == 6 ? ir : kind == 7 ? uv : visible)) << page;
        EXPECT_EQ(job.pages[i].calls.back().codes[0], -2022) << page;
        EXPECT_EQ(job.info[i].ScanMode, kind) << page;
        EXPECT_EQ(job.info[i].BytesPerLine, 608u) << page;
        EXPECT_EQ(job.info[i].Height, 120u) << page;
        EXPECT_EQ(job.stopScan[i], 0) << page;
      }
    }
    // The windows' image mode words: a sheet's visible page, then its IR/UV page.
    std::vector<uint32_t> modes;
    for (const sim::Exchange& e : s.CommandLog())
      if (e.command == "SET WINDOW" && e.dataOut.size() >= 43)
        modes.push_back(uint32_t(e.dataOut[39]) << 24 | uint32_t(e.dataOut[40]) << 16 |
                        uint32_t(e.dataOut[41]) << 8 | e.dataOut[42]);
    std::vector<uint32_t> expected = {c.firstWindow, 0x2000400, 0x3000080, 0x2000400};
    expected.resize(2 * sheets);
    EXPECT_EQ(modes, expected) << what;
    EXPECT_EQ(job.stopJob, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
  }
}
