// The preview result: the picked colour as bytes, the records handed to the drop-out, the
// run through the data source into "colorDrop.bmp", and the bitmap's bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "DialogFixture.h"
#include "ds/dialog/DialogFiles.h"
#include "ds/dialog/colordrop/BmpWriter.h"
#include "ds/dialog/colordrop/ColorDropResult.h"
#include "tests/support/TestFolder.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
         static_cast<uint32_t>(b.at(at + 3)) << 24;
}
uint32_t le16(const std::vector<uint8_t>& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8;
}

TEST(ColorDropResult, ColourBytesTruncate) {
  EXPECT_EQ(colourByte(1.0f), 255);
  EXPECT_EQ(colourByte(0.999f), 254);
  EXPECT_EQ(colourByte(0.5f), 127);
  EXPECT_EQ(colourByte(0.0f), 0);
  EXPECT_EQ(colourByte(2.0f), 255);  // saturates
  EXPECT_EQ(colourByte(-0.5f), 0);
}

TEST(ColorDropResult, PickedColourFollowsThePointerAndComesBack) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  PickedColours colours;
  CustomColourShown shown = customColorChange(ctx, 4, colours, {1.0f, 0.999f, 0.0f, 1.0f});
  EXPECT_EQ(shown.mRedValue, 255);
  EXPECT_EQ(shown.mGreenValue, 254);
  EXPECT_EQ(f.record.bFBCustomG, 254);
  shown = setCustomColor(ctx, 4, colours);  // left the view without a press
  EXPECT_EQ(f.record.bFBCustomR, 128);
  EXPECT_EQ(f.record.bFBCustomG, 128);
  EXPECT_EQ(shown.well, colours.committed);
  customColorChange(ctx, 0, colours, {0.2f, 0.2f, 0.2f, 1.0f});  // colour side: well only
  EXPECT_EQ(f.record.bFBCustomR, 128);
}

TEST(ColorDropResult, ParametersFromThePage) {
  ColorDropParam p = colorDropParam({2, 4, 7, 30, 200, 100, 300});
  EXPECT_EQ(p.bGrayOutput, 1);
  EXPECT_EQ(p.bDropColor, 4);
  EXPECT_EQ(p.bAdvance, 1);
  EXPECT_EQ(p.bThreshold, 20);  // Custom: always 20
  EXPECT_EQ(p.bCustomThreshold, 7);
  EXPECT_EQ(p.bBackgroundLevel, 30);
  EXPECT_EQ(p.bCustomB, 300 & 0xFF);
  EXPECT_EQ(p.bQuality, 0);
  p = colorDropParam({5, 1, 7, 0, 0, 0, 0});
  EXPECT_EQ(p.bGrayOutput, 0);
  EXPECT_EQ(p.bThreshold, 7);
  EXPECT_EQ(p.bCustomThreshold, 0);
  EXPECT_EQ(dropDestinationSize(10, 3, true), 30u);
  EXPECT_EQ(dropDestinationSize(10, 3, false), 6u);
}

TEST(ColorDropResult, RunWritesTheDropOutAsABitmap) {
  const std::string folder = testsupport::freshTestFolder("colordrop-run").string();
  testing::RecordingDataSource ds;
  ds.colorDrop = [](const uint8_t* src, uint8_t* dest, const XferImageInfo& info,
                    const ColorDropParam&) {
    for (uint32_t i = 0; i < info.dwWidth * info.dwLength; ++i) dest[i] = src[3 * i];  // red
  };
  PreviewRaster raster;
  raster.width = 3;
  raster.height = 2;
  raster.dpiX = 150.7f;
  raster.dpiY = 150.2f;
  raster.rgb = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0, 50, 0, 0, 60, 0, 0};
  const std::string path = colorDropImagePath(folder);
  EXPECT_EQ(runPreviewResult(ds, raster, colorDropParam({2, 1, 0, 0, 0, 0, 0}), path), 1);
  EXPECT_EQ(ds.calls, (std::vector<std::string>{"getColorDropData(3x2, drop 1)"}));
  const auto bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 1078u + 4 * 2);
  EXPECT_EQ(le16(bytes, 28), 8u);
  EXPECT_EQ(le32(bytes, 38), 5905u);  // 150 dpi, truncated from 150.7
  // Bottom-up: the raster's last row is stored first.
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 1078, bytes.end()),
            (std::vector<uint8_t>{40, 50, 60, 0, 10, 20, 30, 0}));
  EXPECT_EQ(previewImageInfo(raster).wXRes, 150);
  EXPECT_EQ(previewImageInfo(raster).dwBytesPerLine, 9u);
  raster.rgb.pop_back();
  EXPECT_EQ(runPreviewResult(ds, raster, colorDropParam({2, 1, 0, 0, 0, 0, 0}), path), -1);
}

struct BitmapCase {
  int width, height, bits;
  uint32_t resolution;
  uint32_t stride, offBits, pixelsPerMetre;
};

TEST(BmpWriter, HeadersAndRows) {
  const BitmapCase cases[] = {
      {10, 3, 1, 300, 4, 62, 11811},
      {6, 2, 8, 100, 8, 1078, 3936},
      {1, 1, 1, 200, 4, 62, 7873},  // one black-and-white pixel stays one bit deep
  };
  for (const BitmapCase& c : cases) {
    const auto folder = testsupport::freshTestFolder("colordrop-bmp-" + std::to_string(c.width));
    const int64_t bytesPerLine = c.bits == 1 ? (c.width + 7) / 8 : c.width;
    std::vector<uint8_t> buffer(bytesPerLine * c.height);
    for (std::size_t i = 0; i < buffer.size(); ++i)
      buffer[i] = static_cast<uint8_t>(0x11 * (i + 1));
    const std::string path = (folder / "colorDrop.bmp").string();
    ASSERT_EQ(
        saveBitmapFile(buffer.data(), c.width, c.height, bytesPerLine, c.resolution, path, c.bits),
        1);
    const auto b = readBytes(path);
    SCOPED_TRACE(c.width);
    ASSERT_EQ(b.size(), c.offBits + c.stride * c.height);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), c.offBits + c.stride * c.height);
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), c.offBits);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), static_cast<uint32_t>(c.width));
    EXPECT_EQ(le32(b, 22), static_cast<uint32_t>(c.height));
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), static_cast<uint32_t>(c.bits));
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), c.stride * c.height);
    EXPECT_EQ(le32(b, 38), c.pixelsPerMetre);
    EXPECT_EQ(le32(b, 42), c.pixelsPerMetre);
    EXPECT_EQ(le32(b, 46), c.bits == 1 ? 2u : 256u);
    EXPECT_EQ(le32(b, 50), c.bits == 1 ? 2u : 0u);
    if (c.bits == 1) {
      EXPECT_EQ(le32(b, 54), 0x00000000u);
      EXPECT_EQ(le32(b, 58), 0x00FFFFFFu);
    } else {
      EXPECT_EQ(le32(b, 54 + 4 * 200), 0x00C8C8C8u);
    }
    // Row k of the file is the buffer's row height - 1 - k, padded with zeros.
    for (int k = 0; k < c.height; ++k) {
      for (uint32_t i = 0; i < c.stride; ++i) {
        const uint8_t want =
            i < bytesPerLine ? buffer[(c.height - 1 - k) * bytesPerLine + i] : uint8_t{0};
        EXPECT_EQ(b[c.offBits + k * c.stride + i], want) << k << "," << i;
      }
    }
  }
}

TEST(BmpWriter, RefusesWhatItCannotWrite) {
  const auto folder = testsupport::freshTestFolder("colordrop-refused");
  const uint8_t row[2] = {};
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(saveBitmapFile(row, 2, 1, 2, 300, (folder / "missing/colorDrop.bmp").string(), 8), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "writebmp: file open error\n");
  EXPECT_EQ(saveBitmapFile(row, 2, 1, 2, 300, (folder / "a.bmp").string(), 24),
            -1);  // no palette depth
  EXPECT_EQ(saveBitmapFile(row, 20, 1, 2, 300, (folder / "a.bmp").string(), 8),
            -1);  // rows too short
  EXPECT_EQ(bmpStride(10, 1), 4u);
  EXPECT_EQ(bmpStride(6, 8), 8u);
  EXPECT_EQ(pixelsPerMetre(100), 3936u);
}

}  // namespace
}  // namespace ferrolite::dialog
