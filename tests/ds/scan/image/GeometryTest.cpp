// Raster geometry of the working image on small rasters: resolution down and up, quarter turns
// with the fan-fold rule, mirror, invert, the width cut to a multiple, edge extension.
#include <gtest/gtest.h>

#include "ImageTestSupport.h"

using namespace ferrolite;
using imagetest::Info;
using imagetest::Malloced;
using imagetest::Working;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DeleteXYPixel, GreyAndColourLoseTwoThirdsTruncated) {
  for (uint8_t mode : {uint8_t(1), uint8_t(2)}) {
    TezFRLImageProcess p;
    const XferImageInfo in = Info(mode, 10, 7);
    Working w(p, in, Bytes(in.dwBytesPerLine * 7, 90));
    ASSERT_TRUE(p.deleteXYPixel(200));
    const XferImageInfo& out = p.workingInfo();
    EXPECT_EQ(out.dwWidth, 6u);   // 10 x 200 / 300
    EXPECT_EQ(out.dwLength, 4u);  // 7 x 200 / 300
    EXPECT_EQ(out.dwBytesPerLine, mode == 2 ? 18u : 6u);
    EXPECT_EQ(out.wXRes, 200);
    EXPECT_EQ(out.wYRes, 200);
    // A flat page stays flat: the weights of every blend add up to one.
    EXPECT_EQ(w.bytes(), Bytes(out.dwBytesPerLine * 4, 90)) << int(mode);
  }
}

TEST(DeleteXYPixel, HalvingGreyKeepsTheFirstPixelAndBlendsTheRest) {
  TezFRLImageProcess p;
  Working w(p, Info(1, 4, 2, 200), {0, 40, 80, 120, 0, 40, 80, 120});
  ASSERT_TRUE(p.deleteXYPixel(100));
  EXPECT_EQ(p.workingInfo().dwWidth, 2u);
  EXPECT_EQ(p.workingInfo().dwLength, 1u);
  const Bytes out = w.bytes();
  EXPECT_EQ(out[0], 0);
  EXPECT_GT(out[1], 40);  // from the right half of the line
}

TEST(DeleteXYPixel, BlackAndWhitePicksPixels) {
  TezFRLImageProcess p;
  // 16 pixels: every second one white -> 8 pixels of the even positions (all white).
  Working w(p, Info(0, 16, 2, 200), {0xAA, 0xAA, 0xAA, 0xAA});
  ASSERT_TRUE(p.deleteXYPixel(100));
  EXPECT_EQ(p.workingInfo().dwWidth, 8u);
  EXPECT_EQ(p.workingInfo().dwBytesPerLine, 1u);
  EXPECT_EQ(w.bytes(), Bytes{0xFF});
}

TEST(DeleteXYPixel, NotAboveTheWantedResolutionDoesNothing) {
  TezFRLImageProcess p;
  Working w(p, Info(1, 3, 1, 200), {1, 2, 3});
  ASSERT_TRUE(p.deleteXYPixel(200));
  ASSERT_TRUE(p.deleteXYPixel(300));
  EXPECT_EQ(w.bytes(), (Bytes{1, 2, 3}));
  EXPECT_EQ(p.workingInfo().wXRes, 200);
}

TEST(InsertXYPixel, BilinearWithTheCornersAligned) {
  TezFRLImageProcess p;
  Working w(p, Info(1, 2, 2, 100), {0, 100, 200, 50});
  ASSERT_TRUE(p.insertXYPixel(200));
  const XferImageInfo& out = p.workingInfo();
  ASSERT_EQ(out.dwWidth, 4u);
  ASSERT_EQ(out.dwLength, 4u);
  EXPECT_EQ(out.wXRes, 200);
  const Bytes b = w.bytes();
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[3], 100);
  EXPECT_EQ(b[12], 200);
  EXPECT_EQ(b[15], 50);
  EXPECT_EQ(b[1], 33);  // a third of the way from 0 to 100
  EXPECT_EQ(b[4], 66);  // a third of the way from 0 to 200
}

TEST(InsertXYPixel, OnePixelSideSamplesTheNearestPixel) {
  TezFRLImageProcess p;
  // A column of one pixel that stays one pixel wide (1 x 150 / 100).
  Working w(p, Info(1, 1, 3, 100), {10, 20, 30});
  ASSERT_TRUE(p.insertXYPixel(150));
  EXPECT_EQ(p.workingInfo().dwWidth, 1u);
  EXPECT_EQ(p.workingInfo().dwLength, 4u);
  EXPECT_EQ(w.bytes(), (Bytes{10, 16, 23, 30}));
}

TEST(InsertXYPixel, BlackAndWhiteDoublesAndGrowsTheBuffer) {
  TezFRLImageProcess p;
  Working w(p, Info(0, 8, 1, 100), {0xF0});
  ASSERT_TRUE(p.insertXYPixel(200));
  EXPECT_EQ(p.workingInfo().dwWidth, 16u);
  EXPECT_EQ(p.workingInfo().dwLength, 2u);
  EXPECT_GE(p.workingSize(), 4u);
  const Bytes b = w.bytes();
  // White to the left, black to the right, the same in both lines.
  EXPECT_EQ(b[0], 0xFF);
  EXPECT_EQ(b[1] & 0x0F, 0);
  EXPECT_EQ(b[2], b[0]);
}

// 3 x 2 grey: 1 2 3 / 4 5 6.
const Bytes kSource = {1, 2, 3, 4, 5, 6};
const Bytes kClockwise = {4, 1, 5, 2, 6, 3};
const Bytes kAnticlockwise = {3, 6, 2, 5, 1, 4};
const Bytes kHalfTurn = {6, 5, 4, 3, 2, 1};

TEST(RotateImage, IndexAndFanfold) {
  struct Case {
    int rotation;
    bool fanfold;
    const Bytes& expected;
    uint32_t width;
  } cases[] = {
      {0, false, kSource, 3},        {0, true, kHalfTurn, 3},
      {1, false, kClockwise, 2},     {1, true, kAnticlockwise, 2},
      {2, false, kHalfTurn, 3},      {2, true, kSource, 3},
      {3, false, kAnticlockwise, 2}, {3, true, kClockwise, 2},
      {4, false, kSource, 3},  // automatic orientation is a page step, not a turn here
  };
  for (const Case& c : cases) {
    TezFRLImageProcess p;
    XferImageInfo info = Info(1, 3, 2);
    uint8_t* buffer = Malloced(kSource);
    ASSERT_TRUE(p.rotateImage(&info, &buffer, c.rotation, c.fanfold));
    EXPECT_EQ(Bytes(buffer, buffer + 6), c.expected) << c.rotation << " " << c.fanfold;
    EXPECT_EQ(info.dwWidth, c.width);
    EXPECT_EQ(info.dwBytesPerLine, c.width);
    std::free(buffer);
  }
}

TEST(RotateImage, ColourPixelsKeepTheirOrder) {
  TezFRLImageProcess p;
  Working w(p, Info(2, 2, 1), {1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(p.rotateCW90Image());
  EXPECT_EQ(p.workingInfo().dwWidth, 1u);
  EXPECT_EQ(p.workingInfo().dwLength, 2u);
  EXPECT_EQ(w.bytes(), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(RotateImage, BlackAndWhiteLengthIsCutToEightLines) {
  TezFRLImageProcess p;
  const XferImageInfo in = Info(0, 16, 1001);
  Bytes page(2 * 1001, 0xFF);
  page[0] = 0x7F;  // top-left pixel black
  Working w(p, in, page);
  ASSERT_TRUE(p.rotateCW90Image());
  EXPECT_EQ(p.workingInfo().dwWidth, 1000u);
  EXPECT_EQ(p.workingInfo().dwLength, 16u);
  EXPECT_EQ(p.workingInfo().dwBytesPerLine, 125u);
  // The top-left pixel ends at the top right.
  const Bytes b = w.bytes();
  EXPECT_EQ(b[124], 0xFE);
  EXPECT_EQ(b[125 + 124], 0xFF);
}

TEST(MirrorImage, GreyColourAndBits) {
  struct Case {
    uint8_t mode;
    uint32_t width;
    Bytes in, out;
  } cases[] = {
      {1, 3, {1, 2, 3}, {3, 2, 1}},
      {2, 2, {1, 2, 3, 4, 5, 6}, {4, 5, 6, 1, 2, 3}},
      {0, 16, {0xC0, 0x00}, {0x00, 0x03}},
  };
  for (const Case& c : cases) {
    TezFRLImageProcess p;
    Working w(p, Info(c.mode, c.width, 1), c.in);
    ASSERT_TRUE(p.mirrorImage());
    EXPECT_EQ(w.bytes(), c.out) << int(c.mode);
  }
}

TEST(MirrorImage, BlackAndWhiteIsFirstCutToEightPixels) {
  TezFRLImageProcess p;
  Working w(p, Info(0, 10, 1), {0x80, 0xC0});
  ASSERT_TRUE(p.mirrorImage());
  EXPECT_EQ(p.workingInfo().dwWidth, 8u);
  EXPECT_EQ(w.bytes(), Bytes{0x01});
}

TEST(InvertImage, EveryByte) {
  TezFRLImageProcess p;
  Working w(p, Info(1, 2, 2), {0, 1, 254, 255});
  ASSERT_TRUE(p.invertImage());
  EXPECT_EQ(w.bytes(), (Bytes{255, 254, 1, 0}));
}

TEST(PixelBoundary, CutsAndRestridesLines) {
  struct Case {
    uint8_t mode;
    uint32_t width, n, newWidth, newLine;
  } cases[] = {
      {0, 16, 8, 16, 2},        // a multiple already: nothing changes
      {0, 1001, 8, 1000, 125},  // the black-and-white page before its imprint
      {1, 10, 8, 8, 8},
      {2, 5, 2, 4, 12},
  };
  for (const Case& c : cases) {
    TezFRLImageProcess p;
    const XferImageInfo in = Info(c.mode, c.width, 2);
    Bytes page(in.dwBytesPerLine * 2);
    for (size_t i = 0; i < page.size(); ++i) page[i] = uint8_t(i);
    Working w(p, in, page);
    ASSERT_TRUE(p.pixelBoundary(c.n));
    EXPECT_EQ(p.workingInfo().dwWidth, c.newWidth) << c.width;
    EXPECT_EQ(p.workingInfo().dwBytesPerLine, c.newLine) << c.width;
    // The second line starts where it starts in the source.
    EXPECT_EQ(w.bytes()[c.newLine], page[in.dwBytesPerLine]) << c.width;
  }
}

TEST(EdgeExtend, MillimetreMarginsOnAFieldOfTheFill) {
  ScanSetting s;
  s.wLeftEdge = 1;    // 1 mm at 127 dpi: 5 pixels
  s.wBottomEdge = 2;  // 10 lines
  TezFRLImageProcess p;
  p.setUiSetting(&s);
  Working w(p, Info(1, 2, 2, 127), {1, 2, 3, 4});
  ASSERT_TRUE(p.edgeExtend());
  const XferImageInfo& out = p.workingInfo();
  ASSERT_EQ(out.dwWidth, 7u);
  ASSERT_EQ(out.dwLength, 12u);
  const Bytes b = w.bytes();
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{255, 255, 255, 255, 255, 1, 2}));
  EXPECT_EQ(Bytes(b.begin() + 7, b.begin() + 14), (Bytes{255, 255, 255, 255, 255, 3, 4}));
  EXPECT_EQ(b.back(), 255);
  EXPECT_GE(p.workingSize(), 7u * 12u);
}

TEST(EdgeExtend, MarginsNoBufferCanHoldAreRefused) {
  ScanSetting s;
  // Millimetres at 65,535 dpi: lines and pages of 338 million pixels, far beyond 4 GiB.
  s.wLeftEdge = s.wRightEdge = s.wTopEdge = s.wBottomEdge = 65535;
  TezFRLImageProcess p;
  p.setUiSetting(&s);
  Working w(p, Info(2, 2, 2, 65535), Bytes(12, 7));
  EXPECT_FALSE(p.edgeExtend());
  EXPECT_EQ(p.workingInfo().dwWidth, 2u);
  EXPECT_EQ(w.bytes(), Bytes(12, 7));
}

TEST(EdgeExtend, BlackFillAndABitShiftedLine) {
  ScanSetting s;
  s.bEdgeColor = 1;
  s.wLeftEdge = 1;  // 5 pixels: every line moves by five bits
  TezFRLImageProcess p;
  p.setUiSetting(&s);
  Working w(p, Info(0, 8, 1, 127), {0xFF});
  ASSERT_TRUE(p.edgeExtend());
  EXPECT_EQ(p.workingInfo().dwWidth, 13u);
  EXPECT_EQ(w.bytes(), (Bytes{0x07, 0xF8}));
}

}  // namespace
