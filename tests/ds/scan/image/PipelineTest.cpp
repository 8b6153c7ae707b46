// The pipeline of one delivered image, with the plug-in entries replaced by stand-ins of the
// test where a step's record or a failure matters: multistream order, resolution, tone, black
// and white with its fall-backs, rotation, edges and the imprinter counter.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ImageTestSupport.h"
#include "ds/scan/scanner/TezFRLScan.h"

using namespace ferrolite;
using imagetest::Info;
using imagetest::Malloced;

namespace {

using Bytes = std::vector<uint8_t>;

// The record the last stand-in entry received, and what it answers.
NIDATA gSeen;
long gAnswer = 0;
uint32_t gReportWidth = 0;

long Recording(void*, void** ppDes, NIDATA* ni, void*, long* status) {
  gSeen = *ni;
  *status = 0;
  if (gAnswer == 0 && gReportWidth) ni->OutImage.ImageWidth = gReportWidth;
  (void)ppDes;
  return gAnswer;
}

// One image through the pipeline; the result's description and bytes.
struct Out {
  XferImageInfo info;
  Bytes bytes;
  uint32_t size;
};

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = {};
    gAnswer = 0;
    gReportWidth = 0;
  }
  Out Run(XferImageInfo info, const Bytes& page, int image = 1) {
    uint8_t* buffer = Malloced(page);
    uint32_t size = uint32_t(page.size());
    EXPECT_TRUE(p.imageProcessing(&info, &buffer, &s, &size, image));
    Out out{info, Bytes(buffer, buffer + size_t(info.dwBytesPerLine) * info.dwLength), size};
    std::free(buffer);
    return out;
  }
  // A colour page of one colour.
  static Bytes Colour(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
    Bytes page;
    for (uint32_t i = 0; i < w * h; ++i) page.insert(page.end(), {r, g, b});
    return page;
  }
  ScanSetting s;
  TezFRLImageProcess p;
};

TEST_F(Pipeline, MultistreamGivesColourGreyThenBlackAndWhite) {
  s.wImageType = kImageColorFront | kImageGrayFront | kImageBWFront;
  s.bFGrayQuality = 2;    // the built-in tone table
  s.bFBinaryProcess = 1;  // fixed threshold
  s.bFBThreshold = 128;
  p.frontRearCount(3, 1);
  const Bytes page = Colour(8, 2, 200, 200, 200);
  const uint8_t modes[] = {kXferModeColor, kXferModeGray, kXferModeBW};
  for (int image = 1; image <= 3; ++image) {
    const Out out = Run(Info(2, 8, 2), page, image);
    EXPECT_EQ(out.info.bMode, modes[image - 1]) << image;
    EXPECT_EQ(p.onePageDone(), image == 3) << image;
  }
  // The next page starts again with colour.
  EXPECT_EQ(Run(Info(2, 8, 2), page, 4).info.bMode, kXferModeColor);
}

TEST_F(Pipeline, OutputTypeOfTheRearAndOfTwoImages) {
  struct Case {
    uint16_t imageType;
    bool front;
    int count;
    uint8_t first, second;
  } cases[] = {
      {kImageColorRear | kImageBWRear, false, 2, kXferModeColor, kXferModeBW},
      {kImageGrayRear | kImageBWRear, false, 2, kXferModeGray, kXferModeBW},
      {kImageColorFront | kImageGrayFront, true, 2, kXferModeColor, kXferModeGray},
      {kImageBWFront, true, 1, kXferModeBW, kXferModeBW},
  };
  s.bFGrayQuality = s.bRGrayQuality = 2;
  s.bFBinaryProcess = s.bRBinaryProcess = 1;
  for (const Case& c : cases) {
    TezFRLImageProcess q;
    s.wImageType = c.imageType;
    q.isFrontPage(c.front);
    q.frontRearCount(c.count, c.count);
    uint8_t modes[2];
    for (int image = 1; image <= 2; ++image) {
      XferImageInfo info = Info(2, 8, 1);
      uint8_t* buffer = Malloced(Colour(8, 1, 90, 90, 90));
      uint32_t size = 24;
      ASSERT_TRUE(q.imageProcessing(&info, &buffer, &s, &size, image));
      modes[image - 1] = info.bMode;
      std::free(buffer);
    }
    EXPECT_EQ(modes[0], c.first) << c.imageType;
    EXPECT_EQ(modes[1], c.second) << c.imageType;
  }
}

TEST_F(Pipeline, ResolutionDownAndUpByType) {
  s.wImageType = kImageColorFront;
  s.wColorRes = 150;
  Out out = Run(Info(2, 8, 4), Colour(8, 4, 10, 20, 30));
  EXPECT_EQ(out.info.dwWidth, 4u);
  EXPECT_EQ(out.info.dwLength, 2u);
  EXPECT_EQ(out.info.wXRes, 150);
  s.wColorRes = 600;
  out = Run(Info(2, 8, 4), Colour(8, 4, 10, 20, 30));
  EXPECT_EQ(out.info.dwWidth, 16u);
  EXPECT_EQ(out.info.wYRes, 600);
  EXPECT_GE(out.size, 16u * 8u * 3u);  // grown, and reported back
}

TEST_F(Pipeline, ColourContrastSplitsAtTheMiddle) {
  s.wImageType = kImageColorFront;
  s.iFCContrast = 100;
  const Out out = Run(Info(2, 2, 1), {100, 127, 128, 200, 0, 255});
  EXPECT_EQ(out.bytes, (Bytes{0, 0, 255, 255, 0, 255}));
}

TEST_F(Pipeline, GreyToneBrightnessAndInvert) {
  s.wImageType = kImageGrayFront;
  s.bFGrayQuality = 2;
  s.iFGBrightness = 100;  // +127, then gamma 1.8
  s.bFGInvert = 1;
  const Out out = Run(Info(1, 2, 1), {0, 200});
  EXPECT_EQ(out.bytes, (Bytes{82, 0}));  // 255 - 173, and 255 - 255
}

TEST_F(Pipeline, BlackAndWhiteWithBrightnessAndThreshold) {
  s.wImageType = kImageBWFront;
  s.bFBinaryProcess = 1;
  s.bFBThreshold = 100;
  s.iFBBrightness = -40;  // -50 on every grey value before the threshold
  const Out out = Run(Info(1, 8, 1), {149, 150, 151, 0, 255, 99, 100, 200});
  EXPECT_EQ(out.info.bMode, kXferModeBW);
  EXPECT_EQ(out.bytes, Bytes{0x69});  // 0 1 1 0 1 0 0 1
}

TEST_F(Pipeline, HalftoneSetsTheThresholdTo128) {
  const DeviceAbility saved = deviceAbility;
  deviceAbility.HalftoneNum = 1;
  deviceAbility.HalftoneIndex[0] = 0;
  s.wImageType = kImageBWFront;
  s.bFBinaryProcess = 2;
  s.bFBThreshold = 250;  // ignored: the halftone's values are 0 and 255
  const Out out = Run(Info(1, 8, 1), Bytes(8, 127));
  EXPECT_EQ(out.bytes, Bytes{0x0F});
  deviceAbility = saved;
}

TEST_F(Pipeline, FailingThresholdPlugInFallsBackToTheBuiltInConversion) {
  s.wImageType = kImageBWFront;
  s.bFBinaryProcess = 0;  // dynamic threshold through the plug-in
  s.bFDTSensitivity = 7;
  p.lumetra().lThreshold = Recording;
  gAnswer = kLumetraMsgFail;
  const Out out = Run(Info(2, 8, 1), Colour(8, 1, 255, 255, 255));
  EXPECT_EQ(gSeen.OutImage.BW.DyThreshold, 7);
  EXPECT_EQ(gSeen.OutImage.BW.Mode, 1);
  EXPECT_EQ(out.info.bMode, kXferModeBW);
  EXPECT_EQ(out.info.dwBytesPerLine, 1u);
  EXPECT_EQ(out.bytes, Bytes{0xFF});
}

TEST_F(Pipeline, ThresholdOutputLargerThanTheBufferIsRefused) {
  s.wImageType = kImageBWFront;
  p.lumetra().lThreshold = Recording;
  gReportWidth = 100000;  // more than the page's buffer holds
  const Out out = Run(Info(1, 16, 1), Bytes(16, 0));
  EXPECT_EQ(out.info.dwWidth, 16u);
  EXPECT_EQ(out.info.dwBytesPerLine, 2u);
  EXPECT_EQ(out.bytes, (Bytes{0, 0}));
}

TEST_F(Pipeline, FailingGreyQualityPlugInStillGivesGrey) {
  s.wImageType = kImageGrayFront;
  s.bFGrayQuality = 1;
  s.bFDocumentThreshold = 0;
  p.lumetra().GrayQuality = Recording;
  gAnswer = kLumetraMsgNoMemory;
  const Out out = Run(Info(2, 2, 1), {10, 200, 30, 250, 0, 240});
  EXPECT_EQ(gSeen.OutImage.Gray.Mode, 1);
  EXPECT_EQ(gSeen.OutImage.Gray.BackgroundLevel, 1);  // 0 means 1
  EXPECT_EQ(out.info.bMode, kXferModeGray);
  EXPECT_EQ(out.info.dwBytesPerLine, 2u);
}

TEST_F(Pipeline, RearOfAFanFoldDuplexSheetTurnsTheOtherWay) {
  s.wImageType = kImageGrayFront | kImageGrayRear;
  s.bFGrayQuality = s.bRGrayQuality = 2;
  s.bRotation = 1;
  s.bFlipSide = 1;
  p.setScanSource(kScanSourceFeederDuplex);
  // 3 x 2 with the top-left pixel white: a clockwise turn puts it top right, an anticlockwise
  // one bottom left.
  const Bytes page = {255, 0, 0, 0, 0, 0};
  p.isFrontPage(true);
  EXPECT_EQ(Run(Info(1, 3, 2), page).bytes, (Bytes{0, 255, 0, 0, 0, 0}));
  p.isFrontPage(false);
  EXPECT_EQ(Run(Info(1, 3, 2), page, 2).bytes, (Bytes{0, 0, 0, 0, 255, 0}));
}

TEST_F(Pipeline, EdgeCleanupRecordInMillimetres) {
  s.wImageType = kImageGrayFront;
  s.bFGrayQuality = 2;
  s.wLeftEdge = 2;
  s.wTopEdge = 1;
  s.wRightEdge = 200;  // capped at the width
  s.bEdgeColor = 1;
  p.lumetra().EdgeCleanup = Recording;
  Run(Info(1, 40, 30, 254), Bytes(40 * 30, 9));
  EXPECT_EQ(uint16_t(gSeen.OutImage.Edge.Left), 20);  // 2 mm at 254 dpi
  EXPECT_EQ(uint16_t(gSeen.OutImage.Edge.Top), 10);
  EXPECT_EQ(uint16_t(gSeen.OutImage.Edge.Right), 40);
  EXPECT_EQ(gSeen.OutImage.Gray.BackgroundColor, 0);
  EXPECT_EQ(uint16_t(gSeen.OutImage.OutMode), 2);
}

TEST_F(Pipeline, EdgeExtendInsteadOfCleanup) {
  s.wImageType = kImageGrayFront;
  s.bFGrayQuality = 2;
  s.bEdgeExtend = 1;
  s.wTopEdge = 1;
  p.lumetra().EdgeCleanup = Recording;
  const Out out = Run(Info(1, 4, 4, 254), Bytes(16, 9));
  EXPECT_EQ(out.info.dwLength, 14u);
  EXPECT_EQ(uint32_t(gSeen.InImage.Pixel), 0u);  // the plug-in was not asked
}

TEST_F(Pipeline, DespeckleAndBackgroundRecords) {
  s.wImageType = kImageBWFront;
  s.bFBinaryProcess = 1;
  s.wNoiseNumber = 900;
  s.bNoiseRadius = 45;
  p.lumetra().DoDespeckle = Recording;
  Run(Info(1, 8, 1), Bytes(8, 0));
  EXPECT_EQ(gSeen.OutImage.Noise.isZeroBlack, 1);
  EXPECT_EQ(gSeen.OutImage.Noise.ratio, 30);
  EXPECT_EQ(gSeen.OutImage.Noise.dotsNumber, 255);

  struct Case {
    uint8_t processing, fill, mode, smooth;
  } cases[] = {{2, 1, 0, 0xF3}, {2, 0, 0, 0xF1}, {1, 0, 1, 0x31}, {1, 1, 0, 0x30}};
  for (const Case& c : cases) {
    ScanSetting g;
    g.wImageType = kImageGrayFront;
    g.bFGrayQuality = 2;
    g.bBackgroundProcessing = c.processing;
    g.bBackgroundFill = c.fill;
    g.bBackgroundMode = c.mode;
    g.bBackgroundSensitivity = 3;
    TezFRLImageProcess q;
    q.lumetra().BackgroundProcess = Recording;
    XferImageInfo info = Info(1, 4, 1);
    uint8_t* buffer = Malloced(Bytes(4, 50));
    uint32_t size = 4;
    ASSERT_TRUE(q.imageProcessing(&info, &buffer, &g, &size, 1));
    std::free(buffer);
    EXPECT_EQ(gSeen.OutImage.BackgroundSmooth, c.smooth) << int(c.processing);
    EXPECT_EQ(gSeen.OutImage.Mask, 3);
  }
}

TEST_F(Pipeline, ImprinterCutsABlackAndWhitePageToEightPixels) {
  s.wImageType = kImageBWFront;
  s.bImprinter = 1;
  s.strPrintText = "No.";
  s.strPrintCounter = "0099";
  const Bytes page(126 * 2, 0xFF);
  Out out = Run(Info(0, 1001, 2), page);
  EXPECT_EQ(out.info.dwWidth, 1000u);
  EXPECT_EQ(p.lastImprint(), "No.0099");
  // Later images print only with "print all".
  Run(Info(0, 1001, 2), page, 3);
  EXPECT_EQ(p.lastImprint(), "");
  s.bPrintAll = 1;
  Run(Info(0, 1001, 2), page, 3);
  EXPECT_EQ(p.lastImprint(), "No.0101");
}

TEST(ImprinterCounter, DigitsKeptAndTextsAsTyped) {
  struct Case {
    const char* typed;
    int image;
    const char* printed;
  } cases[] = {
      {"0099", 3, "0101"}, {"7", 12, "18"},
      {"007", 1, "007"},   {"9", 2, "10"},
      {"", 5, ""},         {"12345678901", 2, "12345678901"},
      {"A12", 4, "A12"},   {"0000000000", 11, "0000000010"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(imprinterCounter(c.typed, c.image), c.printed) << c.typed << " " << c.image;
}

TEST_F(Pipeline, MissingImageIsRefused) {
  XferImageInfo info = Info(1, 4, 4);
  uint8_t* none = nullptr;
  uint32_t size = 16;
  EXPECT_FALSE(p.imageProcessing(&info, &none, &s, &size, 1));
  uint8_t* small = Malloced(Bytes(4));
  size = 4;  // smaller than the description says
  EXPECT_FALSE(p.imageProcessing(&info, &small, &s, &size, 1));
  // Lines shorter than their pixels: the last line's pixels would lie past the buffer.
  info.dwBytesPerLine = 3;
  size = 12;
  EXPECT_FALSE(p.imageProcessing(&info, &small, &s, &size, 1));
  std::free(small);
}

}  // namespace
