// Device JPEG through the worker threads against the simulated scanner, which compresses its
// sides with libjpeg-turbo: decoded for a raw client (colour and grey, one-sided and duplex
// style 7) the pages equal libjpeg-turbo's decode of the scanner's stream within the codec's
// tolerance; fixed-length pages are padded with the side's background; a JPEG client gets one
// JFIF per page, re-encoded, that decodes without a warning.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScanJobRunner.h"
#include "TestFolder.h"
#include "Watchdog.h"
#include "drv/engine/ScanJob.h"
#include "drv/platform/DbgLog.h"
#include "tests/drv/jpeg/oracle.h"

using namespace enginefix;

namespace {

constexpr uint16_t kDataJpegTables = 0x8B;
// The codec and libjpeg-turbo's fast transform differ by rounding only.
constexpr int kTolerance = 6;

class DeviceJpeg : public JobTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("engine-device-jpeg"); }

  sim::SimScanner& OpenJpeg(uint32_t sheets, sim::Config config = {}) {
    config.profile = sim::ImageProfile::DeviceJpeg;
    config.sheets = sheets;
    return OpenAlone(config);
  }

  // What the scanner sent for a side, decoded by libjpeg-turbo: the side's file with the
  // tables the driver sent for the job.
  oracle::Decoded ScannerSide(const sim::SimScanner& s, uint32_t sheet, uint32_t side,
                              uint32_t lines) {
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    Bytes tables;
    for (const sim::ScanRecord::Block& b : s.Scanned().jobBlocks)
      if (b.dataType == kDataJpegTables) tables.assign(b.bytes.begin() + 4, b.bytes.end());
    EXPECT_EQ(tables.size(), 128u);
    tables.resize(128);
    const bool grey = dev.ScanMode == 0x6000002;
    const Bytes raw = sim::SheetSide(sheet, side, lines, dev.BytesPerLine);
    return oracle::decompress(sim::DeviceJpegFile(raw, dev.PixelNum, lines, grey ? 1 : 3,
                                                  grey ? 4 : 2, tables.data(), tables.data() + 64));
  }
};

// A small page on the feeder at 300 dpi, the device's own resolution.
SCANPARAMETER_UNION Page(uint32_t mode, uint8_t bits, uint32_t method, uint32_t lines) {
  SCANPARAMETER_UNION p = Client(300, mode, bits);
  p.ScanMethod = method;
  p.Width = p.PixelNum = 608;
  p.Length = p.LineNum = lines;
  p.BytesPerLine = p.PixelNum * bits / 8;
  p.CtrlMode = kCtrlFixed;
  return p;
}

int MaxDifference(const Bytes& a, const Bytes& b, size_t n) {
  int worst = 0;
  for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

}  // namespace

TEST_F(DeviceJpeg, DecodedForARawClientEqualsTheScannersStream) {
  struct Case {
    const char* what;
    uint32_t mode;
    uint8_t bits;
    uint32_t method;
    uint32_t ctrl;
    long block;
  };
  const Case cases[] = {
      {"colour, one-sided", 4, 24, 1, kCtrlFixed, 0},
      {"grey, one-sided, page mode, blocks", 2, 8, 1, kCtrlFixed | kCtrlPage, 10000},
      {"colour, duplex style 7", 4, 24, 4, kCtrlFixed, 0},
      {"grey, duplex style 7, page mode", 2, 8, 4, kCtrlFixed | kCtrlPage, 0},
  };
  for (const Case& c : cases) {
    sim::SimScanner& s = OpenJpeg(2);
    const size_t threads = ThreadCount();
    const SCANPARAMETER_UNION p = Page(c.mode, c.bits, c.method, 320);
    const Job job = RunJob(p, c.block);
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    EXPECT_EQ(dev.ScanMode >> 24, c.mode == 4 ? 4u : 6u) << c.what;
    const uint32_t sides = c.method == 4 ? 2 : 1;
    ASSERT_EQ(job.pages.size(), 2 * sides) << c.what;
    for (size_t i = 0; i < job.pages.size(); ++i) {
      const std::string what = std::string(c.what) + ", page " + std::to_string(i + 1);
      const oracle::Decoded d = ScannerSide(s, uint32_t(i / sides) + 1, uint32_t(i % sides), 320);
      ASSERT_TRUE(d.ok) << what << d.error;
      const Receiver::Page& page = job.pages[i];
      ASSERT_EQ(page.data.size(), size_t(p.LineNum) * p.BytesPerLine) << what;
      ASSERT_EQ(d.pic.pixels.size(), page.data.size()) << what;
      EXPECT_LE(MaxDifference(page.data, d.pic.pixels, page.data.size()), kTolerance) << what;
      EXPECT_EQ(page.calls.back().codes[0], -2022) << what;
      EXPECT_EQ(job.info[i].Height, 320u) << what;
      EXPECT_EQ(job.stopScan[i], 0) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}

// A sheet shorter than the fixed length: its decoded lines, then lines of the front feeder's
// background colour of the inquiry data; the page information keeps the decoded height.
TEST_F(DeviceJpeg, ShortSheetIsPaddedWithTheSidesBackground) {
  sim::Config config;
  config.sheetLengths = {200};
  sim::SimScanner& s = OpenJpeg(1, config);
  const SCANPARAMETER_UNION p = Page(4, 24, 1, 320);
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.pages.size(), 1u);
  const Bytes& data = job.pages[0].data;
  ASSERT_EQ(data.size(), size_t(320) * p.BytesPerLine);
  const oracle::Decoded d = ScannerSide(s, 1, 0, 200);
  ASSERT_TRUE(d.ok) << d.error;
  const size_t decoded = size_t(200) * p.BytesPerLine;
  EXPECT_LE(MaxDifference(data, d.pic.pixels, decoded), kTolerance);
  const uint8_t* background = Item()->pScanner->InquiryData() + 103;
  size_t wrong = 0;
  for (size_t i = decoded; i < data.size(); ++i) wrong += data[i] != background[i % 3];
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(job.info[0].Height, 320u);  // the client's fixed length
}

// A JPEG client with a fixed length on a model that re-encodes (the supported model without
// its extended modes, which keep JPEG from clients): one JFIF per page.
TEST_F(DeviceJpeg, JpegClientGetsOneReEncodedJfifPerPage) {
  sim::Config config;
  config.inquiryPatches = {JpegWindowPatch()};
  OpenJpeg(2, config);
  UseFeatures(SupportedFeaturesWithout(kFeatureExtendedModes));
  SCANPARAMETER_UNION p = Page(0x4000004, 24, 1, 320);
  p.Compression = 132;
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.pages.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const std::string what = "page " + std::to_string(i + 1);
    EXPECT_TRUE(Item()->bJpegReEncode) << what;
    const Receiver::Page& page = job.pages[i];
    ASSERT_EQ(page.calls.back().codes[0], -2022) << what;
    const oracle::Decoded d = oracle::decompress(page.data);
    ASSERT_TRUE(d.ok) << what << d.error;
    EXPECT_EQ(d.warnings, 0) << what;
    EXPECT_EQ(d.pic.width, 608) << what;
    EXPECT_EQ(d.pic.height, 320) << what;
    // Lossy twice: the picture still shows the scanner's page.
    const Bytes raw = sim::SheetSide(uint32_t(i) + 1, 0, 320, p.BytesPerLine);
    double sum = 0;
    for (size_t k = 0; k < raw.size(); ++k) sum += std::abs(int(raw[k]) - int(d.pic.pixels[k]));
    EXPECT_LT(sum / double(raw.size()), 24.0) << what;
  }
  EXPECT_EQ(job.stopJob, 0);
}

// Device JPEG decoded, then converted: the model's scaling at 250 dpi, and halftone made in
// software from the device's JPEG grey on a model that announces halftone. Both equal the
// stages run over libjpeg-turbo's decode of the scanner's stream, within the codec's tolerance
// carried through the stage (halftone: a few dots of the dither flip).
TEST_F(DeviceJpeg, DecodedThenConvertedEqualsTheStages) {
  for (const bool halftone : {false, true}) {
    const char* what = halftone ? "halftone" : "250 dpi";
    sim::Config config;
    constexpr uint32_t kImageTypesLow = 53;  // bit 0x02: halftone
    if (halftone)
      config.inquiryPatches = {Patch(kImageTypesLow, SupportedInquiryBytes()[kImageTypesLow] | 2)};
    sim::SimScanner& s = OpenJpeg(1, config);
    if (halftone) {
      std::vector<Device_Features> features = SupportedFeaturesWithout(kFeatureNone);
      features.push_back(kFeatureSoftwareHalftone);
      UseFeatures(features);
    }
    SCANPARAMETER_UNION p = halftone ? Page(1, 1, 1, 320) : Client(250, 4, 24);
    p.ScanMethod = 1;
    p.CtrlMode = kCtrlFixed;
    if (!halftone) {
      p.Width = 608;
      p.Length = 240;
      p.PixelNum = 504;
      p.LineNum = 200;
      p.BytesPerLine = 504 * 3;
    }
    const Job job = RunJob(p, 0);
    ASSERT_EQ(job.pages.size(), 1u) << what;
    EXPECT_TRUE(Item()->bJpegDecodeBeforeConversion) << what;
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    const oracle::Decoded d = ScannerSide(s, 1, 0, dev.LineNum);
    ASSERT_TRUE(d.ok) << what << d.error;
    const Bytes expected = RunStages(0, d.pic.pixels);
    const Bytes& data = job.pages[0].data;
    ASSERT_EQ(data.size(), size_t(p.LineNum) * p.BytesPerLine) << what;
    ASSERT_GE(expected.size(), data.size() - 2 * size_t(p.BytesPerLine)) << what;
    const size_t n = std::min(expected.size(), data.size());
    if (halftone) {
      size_t bits = 0;
      for (size_t i = 0; i < n; ++i) bits += size_t(__builtin_popcount(data[i] ^ expected[i]));
      EXPECT_LT(double(bits) / double(n * 8), 0.02) << what;
    } else {
      EXPECT_LE(MaxDifference(data, expected, n), kTolerance) << what;
    }
    EXPECT_EQ(job.stopJob, 0) << what;
  }
}

// At debug level 3 the workers keep what they take in, in the debug folder under the job's
// prefix: the decoder each page's JPEG stream (which decodes to the page the scanner sent) and
// the conversion each stage's lines (the last stage's are the client's page).
TEST_F(DeviceJpeg, DebugLevelThreeDumpsWhatTheWorkersTakeIn) {
  OpenJpeg(1);
  struct DebugLevel {
    DebugLevel() { gdwDebugLevel = 3; }
    ~DebugLevel() { gdwDebugLevel = 1; }
  } level;
  // Grey at 250 dpi: the scanner's 300 dpi JPEG decoded, then scaled.
  SCANPARAMETER_UNION p = GreyPageAt(250, 608, 320);
  p.CtrlMode = kCtrlFixed;
  const Job job = RunJob(p, 0);
  ASSERT_EQ(job.pages.size(), 1u);
  const Bytes& page = job.pages[0].data;
  SCANPARAMETER_UNION dev;
  Item()->pScanner->GetNewScanParameter(&dev);
  const std::string raw = std::string(std::getenv("VANTREL_LOG_ROOT")) + Item()->DumpPrefix;
  const std::string stream = testsupport::ReadFile(raw + "-JpegDecodeSrc001.jpg");
  const oracle::Decoded d = oracle::decompress(Bytes(stream.begin(), stream.end()));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(uint32_t(d.pic.width), dev.PixelNum);
  EXPECT_EQ(uint32_t(d.pic.height), dev.LineNum);

  uint32_t count = 0;
  CImageProcess_InitializeParameter* list = nullptr;
  Item()->pScanner->GetImageProcessVariable(0, &count, &list);
  ASSERT_GT(count, 0u);
  char last[32];
  std::snprintf(last, sizeof last, "-IPRaw%02u-001.raw", count - 1);
  const std::string converted = testsupport::ReadFile(raw + last);
  // The stages may hold back their last lines: the page is padded there.
  ASSERT_GE(converted.size() + 2 * size_t(p.BytesPerLine), page.size());
  ASSERT_LE(converted.size(), page.size());
  EXPECT_TRUE(Bytes(converted.begin(), converted.end()) ==
              Bytes(page.begin(), page.begin() + long(converted.size())));
  EXPECT_FALSE(testsupport::ReadFile(raw + "-IPRaw00-001.raw").empty());
}

// A scanner that runs on past any page's end: the side's JPEG is refused with the device error
// once it passes what a page of the window can bring, decoded for a raw client, for a JPEG
// client the model re-encodes for, and wrapped as it comes for a JPEG client to the end of the
// page, instead of gathering until memory runs out. The job ends with its threads joined.
TEST_F(DeviceJpeg, APageThatRunsOnIsRefusedAtItsLimit) {
  struct Case {
    const char* what;
    uint32_t mode;
    bool toEndOfPage;
  };
  const Case cases[] = {{"a raw client", 2, false},
                        {"a raw client to the end of the page", 2, true},
                        {"a JPEG client the model re-encodes for", 0x6000002, false},
                        {"a JPEG client to the end of the page", 0x6000002, true}};
  for (const Case& c : cases) {
    SCANPARAMETER_UNION p = Page(c.mode, 8, 1, 320);
    p.Width = p.PixelNum = p.BytesPerLine = 304;
    if (c.toEndOfPage) {
      p.Length = p.LineNum = 0xFFFFFFFF;
      p.CtrlMode = 0;
    }
    if (ModeKind(c.mode) != 0) p.Compression = kDeviceJpegCompression;
    sim::Config config;
    if (ModeKind(c.mode) != 0) config.inquiryPatches = {JpegWindowPatch()};
    config.deviceJpegRunOn = uint32_t(DeviceJpegPageLimit(p.BytesPerLine));
    OpenJpeg(1, config);
    if (ModeKind(c.mode) != 0) UseFeatures(SupportedFeaturesWithout(kFeatureExtendedModes));
    const size_t threads = ThreadCount();
    Job job;
    {
      testsupport::Watchdog watchdog(c.what);
      job = RunJob(p, 0, 1);
    }
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    EXPECT_EQ(dev.BytesPerLine, p.BytesPerLine) << c.what;
    ASSERT_EQ(job.pages.size(), 1u) << c.what;
    ASSERT_FALSE(job.pages[0].calls.empty()) << c.what;
    EXPECT_EQ(CodesOf(job.pages[0].calls.back()).at(0), -2999) << c.what;
    EXPECT_EQ(job.stopScan, std::vector<long>{-2999}) << c.what;
    EXPECT_EQ(Item()->bJobRunning, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}
