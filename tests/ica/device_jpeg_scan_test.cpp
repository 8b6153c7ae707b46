// The feeder scan through the module against the simulated scanner's own profile, in which the
// scanner compresses colour and grey pages to JPEG: the driver decodes them (and converts the
// resolutions the scanner lacks), the module gets the pages, applies its gamma and writes them.
// The pixels are checked against libjpeg-turbo's decode of the scanner's stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "FeederScanFixture.h"
#include "platform/imageio/ImageIO.h"
#include "sim/SimScanner.h"
#include "tests/drv/jpeg/oracle.h"

namespace icatest {
namespace {

constexpr uint32_t kLocation = 0x14300000;
// The scanner's own profile (device JPEG), announcing a lowest resolution of 200 dpi (inquiry
// bytes 94-95) instead of the model's 50.
const std::string kDescription =
    "serial SIMJPG0001\nlocation-id 0x14300000\ninquiry-byte 55 0x64\ninquiry-byte 94 0\n"
    "inquiry-byte 95 200\npaper-length 600\nsheets 3\n";

constexpr uint16_t kDataJpegTables = 0x8B;
constexpr size_t kJpegTablesBytes = 128;  // luma, then chroma: 64 values each
constexpr uint32_t kKindColour2x1 = 2, kKindGrey = 4;
// A side in segments: the sense of each segment's end (bytes 7-8: 0x8022, end of file).
constexpr uint32_t kSegmentLines = 150;
constexpr size_t kSenseAsc = 7, kSenseAscq = 8;
constexpr uint8_t kEndOfFileAsc = 0x80, kEndOfFileAscq = 0x22;
// The driver's decode and libjpeg-turbo's fast transform differ by rounding only.
constexpr int kTolerance = 6;

class DeviceJpegScanTest : public FeederScanTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("ica-device-jpeg", kDescription); }
  void SetUp() override {
    for (size_t i = 0; i < sim::LoadedScannerCount(); ++i)
      sim::LoadedScanner(i)->ClearSheetEvents();
    OpenScanner(kLocation);
  }

  // The side as the scanner compressed it, decoded by libjpeg-turbo: the side's file with the
  // tables the driver sent for the last job.
  oracle::Decoded scannerSide(uint32_t sheet, uint32_t side, uint32_t width, uint32_t lines,
                              bool colour) {
    std::vector<uint8_t> tables;
    for (const sim::ScanRecord::Block& b : scanner().Scanned().jobBlocks)
      if (b.dataType == kDataJpegTables) tables.assign(b.bytes.begin() + 4, b.bytes.end());
    EXPECT_EQ(tables.size(), kJpegTablesBytes);
    tables.resize(kJpegTablesBytes);
    const uint32_t components = colour ? 3 : 1;
    const std::vector<uint8_t> raw = sim::SheetSide(sheet, side, lines, width * components);
    return oracle::decompress(sim::DeviceJpegFile(raw, width, lines, components,
                                                  colour ? kKindColour2x1 : kKindGrey,
                                                  tables.data(), tables.data() + 64));
  }
};

// Every sample of `image` is the scanner's within the tolerance, after the gamma (which only
// widens the range, being monotonic). Returns the number of samples outside.
size_t outsideTolerance(const imageio::Raster& image, const oracle::Picture& expected,
                        uint32_t lines) {
  const auto gamma = defaultGamma();
  const size_t rowBytes = size_t(expected.width) * expected.comps;
  size_t wrong = 0;
  for (uint32_t y = 0; y < lines; ++y) {
    const uint8_t* got = image.row(y);
    const uint8_t* want = expected.pixels.data() + y * rowBytes;
    for (size_t i = 0; i < rowBytes; ++i) {
      const uint8_t low = gamma[std::max(0, want[i] - kTolerance)];
      const uint8_t high = gamma[std::min(255, want[i] + kTolerance)];
      wrong += got[i] < low || got[i] > high;
    }
  }
  return wrong;
}

TEST_F(DeviceJpegScanTest, ColourAndGreyPagesOneAndTwoSidedAreTheScannersWithTheGamma) {
  struct Case {
    const char* what;
    int pixelType;
    bool duplex;
  };
  const Case cases[] = {
      {"colour, one-sided", 2, false},
      {"grey, one-sided", 1, false},
      {"colour, two-sided", 2, true},
      {"grey, two-sided", 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScanRequest r;
    r.pixelType = c.pixelType;
    r.duplex = c.duplex;
    r.oddOrientation = 8;  // the front a quarter turn: written as 6
    r.evenOrientation = 3;
    scanner().LoadSheets(2);
    EXPECT_EQ(scan(r), 0);
    const uint32_t sides = c.duplex ? 2 : 1;
    std::vector<std::string> paths = documents();
    ASSERT_EQ(paths.size(), 2u * sides);
    EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
    const bool colour = c.pixelType == 2;
    for (uint32_t i = 0; i < paths.size(); ++i) {
      SCOPED_TRACE(paths[i]);
      imageio::DecodedImage image;
      ASSERT_TRUE(imageio::readImageFile(paths[i], image).ok());
      const imageio::PixelLayout& l = image.raster.layout;
      EXPECT_EQ(l.samplesPerPixel, colour ? 3 : 1);
      ASSERT_EQ(l.width, 600u);
      ASSERT_EQ(l.height, 600u);
      const uint32_t side = i % sides;
      if (c.duplex) {
        EXPECT_EQ(image.properties.orientation, side == 0 ? 6 : 3);
      }
      const oracle::Decoded d =
          scannerSide(firstSheet_ + i / sides, side, l.width, l.height, colour);
      ASSERT_TRUE(d.ok) << d.error;
      EXPECT_EQ(outsideTolerance(image.raster, d.pic, l.height), 0u);
    }
  }
}

// Below the scanner's lowest resolution the module asks for the lowest, the driver converts the
// scanner's 300 dpi across to it in software (the model scans 200 dpi down the page itself), and
// the module reduces the page to the host's size: at 100 dpi every second sample of every second
// row of the 200-dpi page, which is every third sample of every second row of the scanner's.
TEST_F(DeviceJpegScanTest, BelowTheLowestResolutionTheDriverConvertsAndTheModuleReduces) {
  for (int pixelType : {2, 1}) {
    SCOPED_TRACE(pixelType);
    ScanRequest r;
    r.pixelType = pixelType;
    r.resolution = 100;
    scanner().LoadSheets(1);
    EXPECT_EQ(scan(r), 0);
    std::vector<std::string> paths = documents();
    ASSERT_EQ(paths.size(), 1u);
    imageio::DecodedImage image;
    ASSERT_TRUE(imageio::readImageFile(paths[0], image).ok());
    const imageio::PixelLayout& l = image.raster.layout;
    ASSERT_EQ(l.width, 200u) << "the host's size, not the lowest resolution's";
    ASSERT_EQ(l.height, 200u);
    const bool colour = pixelType == 2;
    const oracle::Decoded d = scannerSide(firstSheet_, 0, 600, 400, colour);
    ASSERT_TRUE(d.ok) << d.error;
    oracle::Picture third;
    third.width = int(l.width);
    third.height = int(l.height);
    third.comps = d.pic.comps;
    const size_t n = size_t(d.pic.comps);
    for (uint32_t y = 0; y < l.height; ++y)
      for (uint32_t x = 0; x < l.width; ++x)
        for (size_t c = 0; c < n; ++c)
          third.pixels.push_back(d.pic.pixels[(size_t(2 * y) * 600 + 3 * x) * n + c]);
    EXPECT_EQ(outsideTolerance(image.raster, third, l.height), 0u);
  }
}

// The scanner cuts a side's stream into images that end with end of file, the last with end of
// page: the driver joins them, and the module gets and writes the page whole.
TEST_F(DeviceJpegScanTest, APageTheScannerSendsInSegmentsArrivesWhole) {
  struct Case {
    const char* what;
    int pixelType;
    bool duplex;
  };
  const Case cases[] = {
      {"colour, one-sided", 2, false},
      {"grey, one-sided", 1, false},
      {"colour, two-sided", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScanRequest r;
    r.pixelType = c.pixelType;
    r.duplex = c.duplex;
    scanner().LoadSheets(1);
    const uint32_t sides = c.duplex ? 2 : 1;
    for (uint32_t side = 0; side < sides; ++side) {
      sim::SheetEvent segments;
      segments.kind = sim::SheetEventKind::EndOfFileSegments;
      segments.sheet = scanner().Scanned().sheetsFed + 1;
      segments.side = side;
      segments.lines = kSegmentLines;
      scanner().AddSheetEvent(segments);
    }
    scanner().ClearCommandLog();
    EXPECT_EQ(scan(r), 0);
    size_t endsOfFile = 0;
    for (const sim::Exchange& e : scanner().CommandLog())
      endsOfFile += e.command == "REQUEST SENSE" && e.dataIn.size() > kSenseAscq &&
                    e.dataIn[kSenseAsc] == kEndOfFileAsc && e.dataIn[kSenseAscq] == kEndOfFileAscq;
    EXPECT_GE(endsOfFile, sides) << "the sides came in segments";
    std::vector<std::string> paths = documents();
    ASSERT_EQ(paths.size(), sides);
    for (uint32_t side = 0; side < sides; ++side) {
      SCOPED_TRACE(side);
      imageio::DecodedImage image;
      ASSERT_TRUE(imageio::readImageFile(paths[side], image).ok());
      const imageio::PixelLayout& l = image.raster.layout;
      ASSERT_EQ(l.width, 600u);
      ASSERT_EQ(l.height, 600u);
      const oracle::Decoded d = scannerSide(firstSheet_, side, l.width, l.height, c.pixelType == 2);
      ASSERT_TRUE(d.ok) << d.error;
      EXPECT_EQ(outsideTolerance(image.raster, d.pic, l.height), 0u);
    }
  }
}

}  // namespace
}  // namespace icatest
