// Scanning through the data source without its interface: the enable starts the batch, each
// image is prepared by DAT_IMAGEINFO and taken by native, memory or file transfer, and the end of
// each transfer moves to the next image or ends the batch, against the real driver and the
// simulated scanner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "TransferSupport.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;

class Transfers : public dstest::TransferTest {};

TEST_F(Transfers, ThreeSimplexSheetsByEveryMechanism) {
  struct Case {
    Mechanism mechanism;
    std::string extension;
    bool exif;
  };
  const Case cases[] = {{Mechanism::kMemory, "", false},
                        {Mechanism::kNative, "", false},
                        {Mechanism::kFile, ".tif", true},
                        {Mechanism::kFile, ".png", false},
                        {Mechanism::kFile, ".JPG", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(dstest::Name(c.mechanism)) + c.extension);
    scanner().LoadSheets(3);
    OpenSmall();
    const std::vector<Image> images = Scan(c.mechanism, c.extension);
    ASSERT_EQ(images.size(), 3u) << host.DescribeJournal();
    const uint16_t counts[] = {0xFFFF, 0xFFFF, 0};
    for (size_t i = 0; i < images.size(); ++i) {
      const Image& image = images[i];
      EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
      EXPECT_EQ(image.pendingCount, counts[i]);
      // The width keeps the device's pixel alignment.
      EXPECT_NEAR(image.info.width, 100, 8);
      EXPECT_EQ(image.info.length, 100);
      EXPECT_EQ(image.info.pixelType, TWPT_GRAY);
      EXPECT_EQ(image.info.bitsPerPixel, 8);
      EXPECT_EQ(image.info.xResolution, 100);
      ASSERT_EQ(image.rows.size(), size_t(image.info.width) * image.info.length);
      // Every byte as the pipeline left it (JPEG is lossy).
      if (c.extension != ".JPG") {
        EXPECT_EQ(image.rows, image.prepared) << "image " << i + 1;
      }
      if (c.mechanism == Mechanism::kFile) {
        EXPECT_EQ(!image.properties.make.empty(), c.exif);
        if (c.exif) {
          EXPECT_EQ(image.properties.make, gSource->dsManufacturer);
          EXPECT_EQ(image.properties.model.find(gSource->dsManufacturer + " "), std::string::npos);
        }
      }
    }
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(Transfers, ASecondImageInfoAnswersTheSameWithoutScanning) {
  OpenSmall();
  ASSERT_TRUE(host.EnableDs(false).ok());
  auto first = host.GetImageInfo();
  ASSERT_TRUE(first.ok());
  const int pagesDone = gSource->scanObject->scanPageDone();
  auto second = host.GetImageInfo();
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second.value.width, first.value.width);
  EXPECT_EQ(second.value.length, first.value.length);
  EXPECT_EQ(gSource->xferPageNumber, 1);
  EXPECT_LE(gSource->scanObject->scanPageDone(), pagesDone + 1);  // the batch's read-ahead only
  EXPECT_EQ(host.MemXfer(100000).rc, TWRC_XFERDONE);
  // In 70 the image information stays; the next image needs MSG_ENDXFER first.
  EXPECT_EQ(host.GetImageInfo().value.width, first.value.width);
  const twainhost::Answer again = host.MemXfer(100000);
  EXPECT_EQ(again.rc, TWRC_FAILURE);
  EXPECT_EQ(again.cc, TWCC_SEQERROR);
}

}  // namespace

namespace {

TEST_F(Transfers, MemoryStripsAreWholeRowsOfTheHostsBuffer) {
  // A Letter-wide grey page an inch long (the shortest frame) at the scanner's 300 dpi: about
  // 2,550 bytes a row (the device keeps its pixel alignment), 39 rows in 100,000 bytes.
  Open();
  using twainhost::Container;
  ASSERT_TRUE(host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_GRAY)).ok());
  ASSERT_TRUE(host.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(300)).ok());
  ASSERT_TRUE(host.SetCapability(ICAP_YRESOLUTION, Container::OneFix32(300)).ok());
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, 8.5, 1)).ok());
  ASSERT_TRUE(host.EnableDs(false).ok());
  ASSERT_TRUE(host.GetImageInfo().ok());
  const uint32_t rowBytes = gSource->batch.xferImageInfo.dwBytesPerLine;
  ASSERT_NEAR(rowBytes, 2550u, 8u);
  const uint32_t length = gSource->batch.xferImageInfo.dwLength;
  ASSERT_EQ(length, 300u);
  uint32_t row = 0;
  for (int strip = 0; row < length; ++strip) {
    SCOPED_TRACE(strip);
    const auto answer = host.MemXfer(100000, strip % 2 == 1);  // pointer and handle alike
    const uint32_t rows = std::min(39u, length - row);
    EXPECT_EQ(answer.rc, row + rows == length ? TWRC_XFERDONE : TWRC_SUCCESS);
    EXPECT_EQ(answer.value.rows, rows);
    EXPECT_EQ(answer.value.yOffset, row);
    EXPECT_EQ(answer.value.xOffset, 0u);
    EXPECT_EQ(answer.value.bytesPerRow, rowBytes);
    EXPECT_EQ(answer.value.columns, rowBytes);
    EXPECT_EQ(answer.value.bytesWritten, rows * rowBytes);
    // Until the last strip the source stays ready to transfer.
    EXPECT_EQ(gSource->mCurrentState,
              rows + row == length ? TWAIN_STATE_TRANSFERRING : TWAIN_STATE_XFERREADY);
    if (answer.rc != TWRC_SUCCESS && answer.rc != TWRC_XFERDONE) break;
    row += rows;
  }
  EXPECT_EQ(host.PendingXfers(MSG_RESET).rc, TWRC_FAILURE);  // only in 60
  EXPECT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
}

TEST_F(Transfers, SetupMemXferSuggestsAQuarterOfThePixels) {
  Open();
  struct Case {
    int32_t width, length;
    int16_t bitsPerPixel;
    uint32_t preferred;
  };
  const Case cases[] = {{2550, 3300, 8, 4194304},      // 2,103,750 raised to 4 MiB
                        {5100, 6600, 24, 25245000},    // three quarters of the pixels
                        {10200, 13200, 24, 33554432},  // at most 32 MiB
                        {0, 0, 1, 4194304}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    gSource->mImageInfo.ImageWidth = c.width;
    gSource->mImageInfo.ImageLength = c.length;
    gSource->mImageInfo.BitsPerPixel = c.bitsPerPixel;
    const auto setup = host.GetSetupMemXfer();
    ASSERT_TRUE(setup.ok());
    EXPECT_EQ(setup.value.minBufSize, 32768u);
    EXPECT_EQ(setup.value.maxBufSize, c.preferred);
    EXPECT_EQ(setup.value.preferred, c.preferred);
  }
  twainhost::Bytes record(12);
  EXPECT_TRUE(host.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_SET, record.data()).ok());
  EXPECT_EQ(host.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GETDEFAULT, record.data()).cc,
            TWCC_BADPROTOCOL);
}

TEST_F(Transfers, SetupFileXferKeepsAZeroTerminatedName) {
  Open();
  EXPECT_EQ(host.SetupFile(MSG_GET).value.fileName, "TwainDS.tif");
  ASSERT_TRUE(host.SetupFile(MSG_SET, {"/tmp/x/page.png", 2, 0}).ok());
  EXPECT_EQ(host.SetupFile(MSG_GETCURRENT).value.fileName, "/tmp/x/page.png");
  EXPECT_EQ(host.SetupFile(MSG_GETCURRENT).value.format, 2);
  EXPECT_EQ(host.SetupFile(MSG_GETDEFAULT).value.fileName, "TwainDS.tif");
  EXPECT_EQ(host.SetupFile(MSG_GET).value.fileName, "/tmp/x/page.png");  // the default is not set
  // 256 characters and no zero: refused, the name stays.
  TW_SETUPFILEXFER unterminated{};
  std::memset(unterminated.FileName, 'a', sizeof unterminated.FileName);
  const twainhost::Answer refused =
      host.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &unterminated);
  EXPECT_EQ(refused.rc, TWRC_FAILURE);
  EXPECT_EQ(refused.cc, TWCC_BADVALUE);
  EXPECT_EQ(host.SetupFile(MSG_GET).value.fileName, "/tmp/x/page.png");
  const auto reset = host.SetupFile(MSG_RESET);
  EXPECT_EQ(reset.value.fileName, "TwainDS.tif");
  EXPECT_EQ(reset.value.format, 0);
  EXPECT_EQ(host.SetupFile(MSG_GET).value.fileName, "TwainDS.tif");
}

}  // namespace

namespace {

TEST_F(Transfers, TheHeadlessInterfaceScansWithTheStoredSettings) {
  // Small grey pages stored for the model; the host then negotiates colour, which the enable
  // with the interface does not keep.
  OpenSmall(TWPT_GRAY);
  gSource->writeSetting(std::nullopt, false);
  ASSERT_TRUE(
      host.SetCapability(ICAP_PIXELTYPE, twainhost::Container::OneValue(TWTY_UINT16, TWPT_RGB))
          .ok());
  ASSERT_TRUE(host.EnableDs(true).ok());
  auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_XFERREADY);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
  const std::vector<Image> images = TakeImages(Mechanism::kFile, ".png");
  ASSERT_EQ(images.size(), 3u);
  for (const Image& image : images) {
    EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
    EXPECT_EQ(image.info.pixelType, TWPT_GRAY);
    EXPECT_EQ(image.rows, image.prepared);
  }
  // The batch is over: the user closes.
  messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSREQ);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
  // An interface was shown: the disable saves the settings.
  std::filesystem::remove(settingsFile());
  ASSERT_TRUE(host.DisableDs().ok());
  EXPECT_TRUE(std::filesystem::exists(settingsFile()));
}

TEST_F(Transfers, TwoSessionsInOneProcessLeaveNoThread) {
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    scanner().LoadSheets(2);
    OpenSmall(TWPT_RGB, true);
    const std::vector<Image> images = Scan(Mechanism::kNative);
    ASSERT_EQ(images.size(), 4u);  // two sheets, both sides
    for (const Image& image : images) {
      EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
      EXPECT_EQ(image.info.pixelType, TWPT_RGB);
      EXPECT_EQ(image.rows, image.prepared);
    }
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
  }
}

TEST_F(Transfers, NegotiatedModesReachTheScannersWindow) {
  constexpr uint16_t kMethodFront = 1, kMethodDuplex = 4;
  constexpr uint32_t kModeColour = 4, kWindowColour24 = 0x80;
  constexpr uint8_t kDeviceJpeg = 3, kDeviceJpegFixed = 4;  // the window's data kinds
  struct Case {
    const char* what;
    uint16_t pixelType;
    bool duplex;
    double dpi;
    double left, top, width, length;  // inches
  };
  const Case cases[] = {
      {"grey duplex", TWPT_GRAY, true, 100, 0, 0, 1, 1},
      {"colour duplex", TWPT_RGB, true, 100, 0, 0, 1, 1},
      {"a custom area at 150 dpi", TWPT_GRAY, false, 150, 0.5, 0.25, 1.5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    scanner().LoadSheets(2);
    OpenSmall(c.pixelType, c.duplex, 1, c.dpi);
    ASSERT_TRUE(
        host.SetCapability(ICAP_FRAMES, twainhost::Container::OneFrame(
                                            c.left, c.top, c.left + c.width, c.top + c.length))
            .ok());
    scanner().ClearCommandLog();
    const std::vector<Image> images = Scan(Mechanism::kMemory);

    // The record the source handed the driver: the negotiated resolution, area and sides; grey
    // is scanned in colour and made grey by the source.
    const SCANPARAMETER_UNION p = gSource->scanObject->deviceScanParam();
    EXPECT_EQ(p.ScanMethod, c.duplex ? kMethodDuplex : kMethodFront);
    EXPECT_EQ(p.XRes, c.dpi);
    EXPECT_EQ(p.YRes, c.dpi);
    EXPECT_EQ(p.ScanMode, kModeColour);
    EXPECT_EQ(p.BitsPerPixel, 24);
    const uint32_t length = uint32_t(c.length * 300 + 0.5), width = uint32_t(c.width * 300 + 0.5);
    EXPECT_EQ(p.Length, length);
    EXPECT_EQ(p.LineNum, uint32_t(c.length * c.dpi + 0.5));
    EXPECT_LE(p.Width, width);  // down to the device's pixel alignment
    EXPECT_GT(p.Width, width - 300 * 16 / c.dpi);
    EXPECT_EQ(p.PixelNum, p.Width * c.dpi / 300);
    if (c.left != 0) {
      EXPECT_EQ(p.Left, uint32_t(c.left * 300));
      EXPECT_EQ(p.Top, uint32_t(c.top * 300));
    }

    // The scanner's window carries them: the same area and sides, its own resolution for the
    // lines and pixels, and the device's JPEG.
    const std::vector<dstest::Window> windows = dstest::Windows(scanner());
    ASSERT_FALSE(windows.empty());
    for (const dstest::Window& w : windows) {
      EXPECT_EQ(w.method, p.ScanMethod);
      EXPECT_EQ(w.left, p.Left);
      EXPECT_EQ(w.top, p.Top);
      EXPECT_EQ(w.width, p.Width);
      EXPECT_EQ(w.length, p.Length);
      EXPECT_EQ(w.modeBits, kWindowColour24);
      EXPECT_TRUE(w.dataKind == kDeviceJpeg || w.dataKind == kDeviceJpegFixed) << int(w.dataKind);
      EXPECT_EQ(uint64_t(w.pixels) * 300, uint64_t(w.width) * w.xRes);
      EXPECT_EQ(uint64_t(w.lines) * 300, uint64_t(w.length) * w.yRes);
    }

    // And the images are what was negotiated.
    ASSERT_EQ(images.size(), c.duplex ? 4u : 2u) << host.DescribeJournal();
    for (const Image& image : images) {
      EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
      EXPECT_EQ(image.info.pixelType, c.pixelType);
      EXPECT_EQ(image.info.xResolution, c.dpi);
      EXPECT_EQ(image.info.yResolution, c.dpi);
      EXPECT_EQ(uint32_t(image.info.width), p.PixelNum);
      EXPECT_EQ(uint32_t(image.info.length), p.LineNum);
      EXPECT_EQ(image.rows, image.prepared);
    }
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

}  // namespace
