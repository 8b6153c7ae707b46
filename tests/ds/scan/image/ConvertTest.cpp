// The pipeline's own conversions on small rasters: colour to grey, grey to black and white, the
// tone table, halftone matrices and error diffusion.
#include <gtest/gtest.h>

#include "ImageTestSupport.h"
#include "ds/scan/scanner/TezFRLScan.h"

using namespace ferrolite;
using imagetest::Info;
using imagetest::Working;

namespace {

TEST(ColorToGray, ChannelsAndWeightedSum) {
  struct Case {
    int channel;
    uint8_t first, second;
  } cases[] = {
      {0, 126, 99},                                           // (3 R + 6 G + B) / 10, truncated
      {1, 10, 250}, {2, 200, 0}, {3, 30, 240}, {7, 126, 99},  // above 3: the weighted sum
  };
  for (const Case& c : cases) {
    TezFRLImageProcess p;
    Working w(p, Info(2, 2, 1), {10, 200, 30, 250, 0, 240});
    ASSERT_TRUE(p.colorToGray(c.channel));
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{c.first, c.second})) << c.channel;
    EXPECT_EQ(p.workingInfo().bMode, kXferModeGray);
    EXPECT_EQ(p.workingInfo().bBitsPerPixel, 8);
    EXPECT_EQ(p.workingInfo().dwBytesPerLine, 2u);
  }
}

TEST(GrayToLineart, ThresholdsAndPacking) {
  const std::vector<uint8_t> row = {0, 127, 128, 255, 200, 10, 130, 90, 255};
  struct Case {
    int threshold;
    std::vector<uint8_t> bits;
  } cases[] = {
      {128, {0x3A, 0x80}},  // at or above the threshold: a set (white) bit
      {0, {0xFF, 0x80}},    // every bit set
      {255, {0x00, 0x00}},  // every bit clear, 255 too
  };
  for (const Case& c : cases) {
    TezFRLImageProcess p;
    Working w(p, Info(1, 9, 2), [&] {
      std::vector<uint8_t> two = row;
      two.insert(two.end(), row.begin(), row.end());
      return two;
    }());
    ASSERT_TRUE(p.grayToLineart(c.threshold));
    std::vector<uint8_t> expected = c.bits;
    expected.insert(expected.end(), c.bits.begin(), c.bits.end());
    EXPECT_EQ(w.bytes(), expected) << c.threshold;
    EXPECT_EQ(p.workingInfo().dwBytesPerLine, 2u);
    EXPECT_EQ(p.workingInfo().bBitsPerPixel, 1);
  }
}

TEST(GrayToLineart, ColourIsMadeGreyFirst) {
  TezFRLImageProcess p;
  Working w(p, Info(2, 2, 1), {255, 255, 255, 20, 20, 20});
  ASSERT_TRUE(p.grayToLineart(128));
  EXPECT_EQ(w.bytes(), std::vector<uint8_t>{0x80});
  EXPECT_EQ(p.workingInfo().bMode, kXferModeBW);
}

TEST(GammaTable, BrightnessContrastGammaInvert) {
  struct Case {
    int brightness, contrast, gamma;
    bool invert;
    std::vector<std::pair<int, int>> entries;  // index, value
  } cases[] = {
      {0, 0, 100, false, {{0, 0}, {77, 77}, {255, 255}}},
      // Contrast 100: C = 127; the table splits at 128.
      {0, 100, 100, false, {{0, 0}, {127, 0}, {128, 255}, {255, 255}}},
      // Contrast -100: C = -127; every entry lands on 127 or 128.
      {0, -100, 100, false, {{0, 127}, {254, 127}, {255, 128}}},
      // Contrast 50: C = 63; (k - 63) x 255 / 129.
      {0, 50, 100, false, {{62, 0}, {63, 0}, {100, 73}, {191, 253}, {192, 255}}},
      // Brightness 100: B = 127, clamped.
      {100, 0, 100, false, {{0, 127}, {128, 255}, {255, 255}}},
      {-50, 0, 100, false, {{0, 0}, {63, 0}, {64, 1}, {255, 192}}},
      // Gamma 1.8: 255 x (128 / 255) ^ (1 / 1.8) + 0.5.
      {0, 0, 180, false, {{0, 0}, {128, 174}, {255, 255}}},
      {0, 0, 100, true, {{0, 255}, {55, 200}, {255, 0}}},
      // A gamma of 0 keeps the tone instead of dividing by zero.
      {0, 0, 0, false, {{0, 0}, {99, 99}}},
  };
  for (const Case& c : cases) {
    uint8_t table[256];
    TezFRLImageProcess::buildGammaTable(table, c.brightness, c.contrast, c.gamma, c.invert);
    for (auto [k, v] : c.entries)
      EXPECT_EQ(table[k], v) << "b" << c.brightness << " c" << c.contrast << " g" << c.gamma << " ["
                             << k << "]";
  }
}

class Halftone : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = deviceAbility;
    deviceAbility.HalftoneNum = 2;
    deviceAbility.HalftoneIndex[0] = 0;
    deviceAbility.HalftoneIndex[1] = 1;
    p.setUiSetting(&setting);
  }
  void TearDown() override { deviceAbility = saved; }
  std::vector<uint8_t> Run(uint8_t process, std::vector<uint8_t> grey, uint32_t width) {
    setting.bFBinaryProcess = process;
    Working w(p, Info(1, width, uint32_t(grey.size() / width)), grey);
    EXPECT_TRUE(p.halftoneProcessing());
    return w.bytes();
  }
  DeviceAbility saved;
  ScanSetting setting;
  TezFRLImageProcess p;
};

TEST_F(Halftone, MatricesByPatternNumber) {
  const std::vector<uint8_t> flat(8, 127);
  // Matrix 0 row 0: 127 201 174 147 120 46 73 100 (at most the threshold: black).
  EXPECT_EQ(Run(2, flat, 8), (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 255}));
  // Matrix 1 row 0: 127 140 130 144 134 147 124 137.
  EXPECT_EQ(Run(3, flat, 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 255, 0}));
  // Row 1 of matrix 0: 103 83 56 110 137 157 184 130.
  std::vector<uint8_t> two(16, 127);
  const auto out = Run(2, two, 8);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()),
            (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 0, 0}));
}

TEST_F(Halftone, PatternAndMatrixOutsideTheirTablesUseMatrixZero) {
  const std::vector<uint8_t> flat(8, 127);
  const std::vector<uint8_t> matrix0 = {0, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(Run(40, flat, 8), matrix0);  // pattern 38: beyond the 8 indexes
  deviceAbility.HalftoneIndex[1] = 200;  // the device names a matrix that does not exist
  EXPECT_EQ(Run(3, flat, 8), matrix0);
}

TEST_F(Halftone, ErrorDiffusionWhenThePatternIsOnePastTheMatrices) {
  // 2 x 2 of 100: 0 gives +43 right, +31 below, +6 below right; 143 gives 255 and -21 below
  // left, -35 below; 110 gives 0 and +48 right; 119 gives 0.
  EXPECT_EQ(Run(4, {100, 100, 100, 100}, 2), (std::vector<uint8_t>{0, 255, 0, 0}));
  // Shares are clamped into the byte: a white pixel beside black stays white.
  EXPECT_EQ(Run(4, {255, 0, 255, 0}, 2), (std::vector<uint8_t>{255, 0, 255, 0}));
}

TEST(HalftoneTable, FirstRowsAsTheScannersHaveThem) {
  const uint8_t* t = halftoneTable();
  EXPECT_EQ(std::vector<uint8_t>(t, t + 8),
            (std::vector<uint8_t>{127, 201, 174, 147, 120, 46, 73, 100}));
  EXPECT_EQ(std::vector<uint8_t>(t + 64 + 8, t + 64 + 16),
            (std::vector<uint8_t>{154, 167, 157, 171, 161, 174, 151, 164}));
}

TEST(ConvertImage, EveryByteThroughTheTable) {
  TezFRLImageProcess p;
  Working w(p, Info(1, 3, 1), {0, 100, 255});
  TezFRLImageProcess::buildGammaTable(p.gammaTable(), 0, 0, 100, true);
  p.convertImage();
  EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{255, 155, 0}));
}

}  // namespace
