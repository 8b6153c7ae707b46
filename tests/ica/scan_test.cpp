// The feeder scan through the module's callbacks, in this process, against the simulated scanner
// and the real driver: pages as document files and as bands, the notifications, the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FeederScanFixture.h"
#include "ica/KR_ICA_Mark2_200.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/imageio/ImageIO.h"
#include "sim/SimScanner.h"
#include "tests/support/TestFolder.h"
#include "vantrel/button_event.h"

namespace icatest {
namespace {

constexpr uint32_t kLocation = 0x14200000;
// A feeder-only scanner with duplex that delivers raw pages.
const std::string kDescription =
    "serial SIMICA0002\nlocation-id 0x14200000\ninquiry-byte 55 0x64\nprofile raw\n"
    "paper-length 600\nsheets 3\n";

class ScanTest : public FeederScanTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("ica-scan", kDescription); }
  void SetUp() override {
    sim::LoadedScanner()->ClearFaults();
    sim::LoadedScanner()->LoadSheets(3);
    OpenScanner(kLocation);
  }
};

TEST_F(ScanTest, ThreeGreyPagesBecomeThreeTiffFilesWithTheGammaApplied) {
  ScanRequest r;
  EXPECT_EQ(scan(r), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
  EXPECT_TRUE(notes(kICANotificationTypeTransactionCanceled).empty());
  auto gamma = defaultGamma();
  for (uint32_t i = 0; i < 3; ++i) {
    const uint32_t sheet = firstSheet_ + i;
    SCOPED_TRACE(sheet);
    imageio::DecodedImage image;
    ASSERT_TRUE(imageio::readImageFile(paths[i], image).ok());
    EXPECT_EQ(image.kind, imageio::FileKind::Tiff);
    const imageio::PixelLayout& l = image.raster.layout;
    EXPECT_EQ(l.samplesPerPixel, 1);
    EXPECT_EQ(l.width, 600u);
    EXPECT_EQ(l.height, 600u);
    std::vector<uint8_t> side = sim::SheetSide(sheet, 0, l.height, l.width);
    for (uint32_t y = 0; y < l.height; y += 37) {
      for (uint32_t x = 0; x < l.width; x += 13)
        ASSERT_EQ(image.raster.row(y)[x], gamma[side[size_t(y) * l.width + x]]) << y << "," << x;
    }
  }
}

TEST_F(ScanTest, DuplexPagesCarryTheirSidesOrientation) {
  ScanRequest r;
  r.duplex = true;
  r.oddOrientation = 8;  // the front a quarter turn: written as 6
  r.evenOrientation = 1;
  scanner().LoadSheets(1);
  EXPECT_EQ(scan(r), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 2u);
  const int expected[] = {6, 1};
  auto gamma = defaultGamma();
  for (uint32_t side = 0; side < 2; ++side) {
    SCOPED_TRACE(side);
    imageio::DecodedImage image;
    ASSERT_TRUE(imageio::readImageFile(paths[side], image).ok());
    EXPECT_EQ(image.properties.orientation, expected[side]);
    const imageio::PixelLayout& l = image.raster.layout;
    ASSERT_EQ(l.width, 600u) << "the file keeps the pixels as scanned";
    std::vector<uint8_t> bytes = sim::SheetSide(firstSheet_, side, l.height, l.width);
    for (uint32_t x : {0u, 1u, 2u, 3u, 100u, 599u})
      EXPECT_EQ(image.raster.row(5)[x], gamma[bytes[5 * l.width + x]]) << x;
  }
}

TEST_F(ScanTest, ColourBandsOfTheDefaultSizeAndTheHostsCancel) {
  ScanRequest r;
  r.pixelType = 2;
  r.files = false;
  r.bands = true;
  r.width = 8;  // 2400 pixels, 7200 bytes a row: 72 rows in 524288 bytes
  r.height = 1;
  scanner().LoadSheets(2);
  EXPECT_EQ(scan(r), 0);
  std::vector<Dictionary> bands = notes(kICANotificationTypeScanProgressStatus);
  ASSERT_EQ(bands.size(), 2u * 5u) << "300 rows a page in bands of 72";
  for (std::size_t i = 0; i < bands.size(); ++i) {
    const Dictionary& b = bands[i];
    const int64_t first = int64_t(i % 5) * 72;
    EXPECT_EQ(b.integer(kICAImageDataStartRowKey).valueOr(-1), first);
    EXPECT_EQ(b.integer(kICAImageDataNumberOfRowsKey).valueOr(0),
              std::min<int64_t>(72, 300 - first));
    EXPECT_EQ(b.integer(kICAImageBytesPerRowKey).valueOr(0), 7200);
    EXPECT_EQ(b.integer(kICABandPixelDataTypeKey).valueOr(0), 2);
    EXPECT_EQ(b.integer(kICABandNumComponentsKey).valueOr(0), 3);
  }
  auto gamma = defaultGamma();
  std::vector<uint8_t> side = sim::SheetSide(firstSheet_ + 1, 0, 300, 7200);
  foundation::Data last = bands.back().data(kICAImageDataKey).valueOr({});
  ASSERT_EQ(last.size(), 12u * 7200u);
  EXPECT_EQ(last[7200 + 1], gamma[side[289 * 7200 + 1]]) << "sheet 2, row 289";
  EXPECT_EQ(notes(kICANotificationTypeScannerPageDone).size(), 2u);

  // The host cancels at the first band: the page's bands all go, then the scan ends.
  scanner().LoadSheets(3);
  module_.framework().setReplyCode(kICAUserCanceledReply);
  EXPECT_EQ(scan(r), 0);
  module_.framework().setReplyCode(0);
  EXPECT_EQ(notes(kICANotificationTypeScanProgressStatus).size(), 5u);
  EXPECT_EQ(notes(kICANotificationTypeScannerPageDone).size(), 1u);
  EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
  EXPECT_EQ(notes(kICANotificationTypeTransactionCanceled).size(), 1u);
}

TEST_F(ScanTest, FormatsAndAMissingDocument) {
  for (const char* format : {"public.jpeg", "public.png", "com.apple.ica.raw"}) {
    SCOPED_TRACE(format);
    ScanRequest r;
    r.format = format;
    scanner().LoadSheets(1);
    EXPECT_EQ(scan(r), 0);
    std::vector<std::string> paths = documents();
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_TRUE(fs::exists(paths[0]));
    if (std::string(format) == "com.apple.ica.raw") {
      EXPECT_EQ(fs::file_size(paths[0]), 112u + 600u * 600u) << "the header, then the rows";
    } else {
      imageio::DecodedImage image;
      ASSERT_TRUE(imageio::readImageFile(paths[0], image).ok());
      EXPECT_EQ(image.raster.layout.width, 600u);
    }
  }
  // A document type no destination writes: no file after the page.
  foundation::SystemLogCapture log;
  ScanRequest r;
  r.format = "public.unknown";
  scanner().LoadSheets(2);
  EXPECT_EQ(scan(r), kICADocumentMissingErr);
  EXPECT_TRUE(documents().empty());
  auto errors = notes(kICANotificationTypeDeviceStatusError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].string(kICANotificationSubTypeKey).valueOr("").rfind("File Missing: ", 0),
            0u);
  EXPECT_TRUE(notes(kICANotificationTypeScannerPageDone).empty());
}

// Each document is the file our image layer writes for the page the module had in memory: the
// sheet through the gamma (packed to bits for black and white), with the host's Make and Model
// and the orientation tag, byte for byte; no raw image is left in the temporary folder.
TEST_F(ScanTest, DocumentsAreTheImageLayersFileOfThePage) {
  constexpr int kBlackWhite = 0, kGrey = 1, kColour = 2;
  constexpr int64_t kThreshold = 200;  // a set bit above (256 - 200) = 56
  struct Case {
    const char* format;
    imageio::FileKind kind;
    int pixelType;
    int64_t orientation;  // the host's
    int written;          // the file's tag
  };
  const Case cases[] = {
      {"public.tiff", imageio::FileKind::Tiff, kGrey, 1, 1},
      {"public.tiff", imageio::FileKind::Tiff, kColour, 8, 6},
      {"public.tiff", imageio::FileKind::Tiff, kBlackWhite, 6, 8},
      {"public.png", imageio::FileKind::Png, kColour, 3, 3},
      {"public.png", imageio::FileKind::Png, kBlackWhite, 1, 1},
      {"public.jpeg", imageio::FileKind::Jpeg, kGrey, 8, 6},
      {"public.jpeg", imageio::FileKind::Jpeg, kColour, 1, 1},
      {"com.microsoft.bmp", imageio::FileKind::Bmp, kColour, 1, 1},
      {"com.compuserve.gif", imageio::FileKind::Gif, kGrey, 1, 1},
      {"public.jpeg-2000", imageio::FileKind::Jpeg2000, kGrey, 1, 1},
  };
  const fs::path temporary = out_ / "tmp";
  fs::create_directories(temporary);
  struct TemporaryFolder {
    explicit TemporaryFolder(const fs::path& path) { setenv("TMPDIR", path.c_str(), 1); }
    ~TemporaryFolder() { unsetenv("TMPDIR"); }
  } inTemporary(temporary);
  const auto gamma = defaultGamma();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " pixel type " + std::to_string(c.pixelType));
    ScanRequest r;
    r.format = c.format;
    r.pixelType = c.pixelType;
    r.evenOrientation = c.orientation;
    r.threshold = kThreshold;
    r.make = "Vantrel";
    r.model = "SIM ICA 2";
    scanner().LoadSheets(1);
    ASSERT_EQ(scan(r), 0);
    std::vector<std::string> paths = documents();
    ASSERT_EQ(paths.size(), 1u);

    // The page as the module holds it before the file: two inches wide, as long as the device
    // made it (black and white scans a whole number of bytes' rows).
    imageio::DecodedImage file;
    ASSERT_TRUE(imageio::readImageFile(paths[0], file).ok());
    const uint32_t width = 600, height = file.raster.layout.height;
    ASSERT_EQ(file.raster.layout.width, width);
    ASSERT_GT(height, 0u);
    const uint32_t samples = c.pixelType == kColour ? 3 : 1;
    std::vector<uint8_t> pixels = sim::SheetSide(firstSheet_, 0, height, width * samples);
    for (uint8_t& v : pixels) v = gamma[v];
    imageio::PixelLayout layout = imageio::PixelLayout::packed(width, height, 8, uint16_t(samples));
    if (c.pixelType == kBlackWhite) {
      const uint8_t cut = uint8_t(256 - kThreshold);
      std::vector<uint8_t> bits(width / 8 * height, 0);
      for (uint32_t i = 0; i < pixels.size(); ++i)
        if (pixels[i] > cut) bits[i / 8] |= uint8_t(0x80 >> (i % 8));
      pixels = std::move(bits);
      layout = imageio::PixelLayout::packed(width, height, 1, 1);
    }
    imageio::ImageProperties properties;
    properties.orientation = c.written;
    properties.make = r.make;
    properties.model = r.model;
    const fs::path expected = out_ / "expected";
    ASSERT_TRUE(imageio::writeImageFile(expected, c.kind,
                                        imageio::RasterView{layout, {300, 300}, pixels.data()},
                                        properties)
                    .ok());
    const std::string written = testsupport::ReadFile(paths[0]);
    const std::string wanted = testsupport::ReadFile(expected);
    ASSERT_FALSE(wanted.empty());
    EXPECT_EQ(written.size(), wanted.size());
    const auto differ = std::mismatch(written.begin(), written.end(), wanted.begin(), wanted.end());
    EXPECT_TRUE(differ.first == written.end() && differ.second == wanted.end())
        << "the files differ from byte " << (differ.first - written.begin());
    fs::remove(paths[0]);
    for (const auto& left : fs::directory_iterator(temporary)) {
      EXPECT_NE(left.path().extension(), ".ica")
          << "a raw image left in the temporary folder: " << left.path().filename();
    }
  }
}

TEST_F(ScanTest, AnEmptyFeederAndLastCrop) {
  foundation::UserDefaults defaults(vantrel::kScannerModuleBundleId);
  ASSERT_TRUE(defaults.set("last_crop", true).ok());
  scanner().LoadSheets(0);
  ScanRequest r;
  EXPECT_EQ(scan(r), kICAScanFailedErr);
  auto errors = notes(kICANotificationTypeDeviceStatusError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].string(kICANotificationSubTypeKey).valueOr(""), "kICAErrStrDFEmptyErr");
  EXPECT_TRUE(
      foundation::UserDefaults(vantrel::kScannerModuleBundleId).boolean("last_crop").valueOr(false))
      << "no page: left alone";
  scanner().LoadSheets(1);
  EXPECT_EQ(scan(r), 0);
  EXPECT_FALSE(
      foundation::UserDefaults(vantrel::kScannerModuleBundleId).boolean("last_crop").valueOr(true))
      << "a page without cropping";
}

TEST_F(ScanTest, CroppingThroughThePlugInAndWithoutIt) {
  // The sheet is two inches long; with cropping on the device scans the feeder's whole length
  // and the plug-in cuts the page to the sheet.
  ScanRequest r;
  r.crop = true;
  scanner().LoadSheets(1);
  EXPECT_EQ(scan(r), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 1u);
  imageio::DecodedImage cropped;
  ASSERT_TRUE(imageio::readImageFile(paths[0], cropped).ok());
  EXPECT_GE(cropped.raster.layout.height, 600u);
  EXPECT_LT(cropped.raster.layout.height, 700u) << "the sheet, not the feeder's length";
  EXPECT_TRUE(foundation::UserDefaults(vantrel::kScannerModuleBundleId)
                  .boolean("last_crop")
                  .valueOr(false));

  // Without the plug-in the page stays as scanned: the feeder's whole length.
  foundation::SystemLogCapture log;
  fs::path bare = root_ / "no-plugin";
  fs::remove_all(bare);
  makeResources(bare, testDriver());
  fs::remove(bare / "Lumetra.so");
  setenv("FERROLITE_SCANNER_RESOURCES", bare.c_str(), 1);
  scanner().LoadSheets(1);
  EXPECT_EQ(scan(r), 0);
  EXPECT_TRUE(log.contains("Failed to load Lumetra: "));
  paths = documents();
  ASSERT_EQ(paths.size(), 1u);
  imageio::DecodedImage whole;
  ASSERT_TRUE(imageio::readImageFile(paths[0], whole).ok());
  EXPECT_GT(whole.raster.layout.height, 3000u);
}

}  // namespace
}  // namespace icatest
