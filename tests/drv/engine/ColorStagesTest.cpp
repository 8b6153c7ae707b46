// Colour and grey stages against values worked out by hand from their rules.
#include <gtest/gtest.h>

#include "StageRunner.h"

namespace {

TEST(ColorStages, WideningWritesEveryByteTwice) {
  CImageProcess_Parameter_Width w{2};
  for (uint32_t id : {uint32_t{IP_C24ToC48}, uint32_t{IP_G8ToG16}}) {
    StageRunner s(id, w);
    ASSERT_TRUE(s.initialized());
    EXPECT_EQ(s.Block({1, 2, 3, 250}), (Bytes{1, 1, 2, 2, 3, 3, 250, 250})) << id;
  }
}

TEST(ColorStages, ColourToGreyCases) {
  struct Case {
    uint8_t filter;
    Bytes rgb;
    uint8_t grey;
  } cases[] = {
      {0, {255, 255, 255}, 254},  // weights 2126 + 7151 + 721 = 9998
      {0, {0, 0, 0}, 0},         {0, {255, 0, 0}, 54},  {0, {0, 255, 0}, 182},
      {0, {0, 0, 255}, 18},      {0, {10, 20, 30}, 18}, {1, {10, 20, 30}, 10},
      {2, {10, 20, 30}, 20},     {3, {10, 20, 30}, 30},
  };
  for (const Case& c : cases) {
    StageRunner g8(IP_C24ToG8, GreyParam(1, c.filter));
    EXPECT_EQ(g8.Block(c.rgb), Bytes{c.grey}) << int(c.filter) << " " << int(c.rgb[0]);
    StageRunner g16(IP_C24ToG16, GreyParam(1, c.filter));
    EXPECT_EQ(g16.Block(c.rgb), (Bytes{c.grey, c.grey}));
  }
}

TEST(ColorStages, ColourToGreyDropsAPartialPixel) {
  StageRunner s(IP_C24ToG8, GreyParam(2));
  EXPECT_EQ(s.Block({255, 255, 255, 0, 0}), Bytes{254});
}

TEST(ColorStages, LineartThresholdIsStrictlyGreater) {
  CImageProcess_Parameter_G8ToLineart p{8, 128};
  StageRunner s(IP_G8ToLineart, p);
  // 128 stays black (1), 129 turns white (0).
  EXPECT_EQ(s.Block({128, 129, 0, 255, 127, 128, 129, 200}), Bytes{0b10101100});
  p.bThreshold = 0;
  StageRunner zero(IP_G8ToLineart, p);
  EXPECT_EQ(zero.Block({0, 1, 0, 1, 0, 1, 0, 1, 9, 9, 9, 9, 9, 9, 9, 0}), (Bytes{0xAA, 0x01}));
}

CImageProcess_Parameter_G8ToHalftone HalftoneParam(uint32_t w, uint8_t index) {
  CImageProcess_Parameter_G8ToHalftone p{};
  p.Pixel = w;
  p.bTableIndex = index;
  return p;
}

// Eight lines of grey 128 against pattern 0: a pixel turns white where 128 exceeds the threshold.
const Bytes kPattern0At128 = {0x70, 0x0F, 0x0F, 0x0F, 0x07, 0xF0, 0xF0, 0xF0};

TEST(ColorStages, HalftoneRowsFollowTheLineCounterAcrossBlocks) {
  const Bytes page(8 * 8, 128);
  StageRunner s(IP_G8ToHalftone, HalftoneParam(8, 0));
  EXPECT_EQ(s.Page(page, 8, {8}), kPattern0At128);
  EXPECT_EQ(s.Page(page, 8, {3, 5}), kPattern0At128);
  EXPECT_EQ(s.Page(page, 8, {1, 1, 1, 1, 1, 1, 1, 1}), kPattern0At128);
  // After Reset and three lines the next line uses row 3.
  s.pipeline().Reset();
  s.Block(Bytes(3 * 8, 128));
  EXPECT_EQ(s.Block(Bytes(8, 128)), Bytes{kPattern0At128[3]});
}

TEST(ColorStages, HalftonePatternNumbersAbove15MeanPattern0) {
  const Bytes page(8 * 8, 128);
  StageRunner s(IP_G8ToHalftone, HalftoneParam(8, 20));
  EXPECT_EQ(s.Page(page, 8, {8}), kPattern0At128);
}

TEST(ColorStages, HalftoneColumnIsTheBitPositionAndRunsAcrossLines) {
  // Lines of 4 pixels: the second line's pixels sit in bits 4-7 of the first output byte, so they
  // use columns 4-7 of row 1.
  auto p = HalftoneParam(4, 0);
  p.blCustomHalftoneTable = 1;
  for (int i = 0; i < 64; ++i) p.CustomTable[i] = static_cast<uint8_t>(i < 8 ? 100 : 200);
  p.CustomTable[8 + 5] = 10;  // row 1, column 5
  StageRunner s(IP_G8ToHalftone, p);
  ASSERT_TRUE(s.pipeline().Reset());
  // Line 0 (row 0, columns 0-3): 150 > 100 -> white. Line 1 (row 1, columns 4-7): only column 5
  // has a threshold below 150.
  EXPECT_EQ(s.Block(Bytes(8, 150)), Bytes{0b00001011});
}

TEST(ColorStages, ErrorDiffusionCases) {
  struct Case {
    const char* name;
    Bytes line;
    uint8_t bits;
  } cases[] = {
      {"white", Bytes(8, 255), 0x00},
      {"black", Bytes(8, 0), 0xFF},
      // Errors: 126, -74, 95, -87, 89, -90, 88, -91 (first pixel: (-1 -5 -3 -7) / 16 = -1).
      {"mid grey", Bytes(8, 128), 0x55},
      // The black pixel at 4 makes pixels 3 and 4 edges: their error is dropped.
      {"edge", Bytes{128, 128, 128, 128, 0, 128, 128, 128}, 0x4A},
  };
  CImageProcess_Parameter_Width w{8};
  for (const Case& c : cases) {
    StageRunner s(IP_G8ToErrorDiffusion, w);
    ASSERT_TRUE(s.pipeline().Reset());
    EXPECT_EQ(s.Block(c.line), Bytes{c.bits}) << c.name;
  }
}

TEST(ColorStages, ErrorDiffusionRefillsTheErrorRowsAtPageStart) {
  CImageProcess_Parameter_Width w{8};
  const Bytes grey = MakePage(4, 8, [](uint32_t l, uint32_t i) { return 90 + 7 * l + 5 * i; });
  const Bytes dark(4 * 8, 60);
  StageRunner fresh(IP_G8ToErrorDiffusion, w);
  const Bytes expected = fresh.Page(grey, 8, {4});

  StageRunner s(IP_G8ToErrorDiffusion, w);
  s.Page(dark, 8, {4});
  // The errors left by the dark page do not leak into the next page...
  EXPECT_EQ(s.Page(grey, 8, {4}), expected);
  // ...but they would without the page start.
  s.Page(dark, 8, {4});
  EXPECT_NE(s.Block(grey), expected);
}

CImageProcess_Parameter_YCCToC24 YccParam(uint32_t w) {
  CImageProcess_Parameter_YCCToC24 p{};
  p.Pixel = w;
  p.Kr = 0.299;
  p.Kg = 0.587;
  p.Kb = 0.114;
  for (int v = 0; v < 256; ++v) {
    p.Table[1][v] = static_cast<uint8_t>(255 - v);
    p.Table[2][v] = static_cast<uint8_t>(v / 2);
    p.Table[3][v] = static_cast<uint8_t>(v | 1);
  }
  return p;
}

TEST(ColorStages, R2YCCBlocksToColour) {
  // Coefficients: cR 2804, cGr -1428, cGb -688, cB 3544.
  auto p = YccParam(2);
  StageRunner plain(IP_R2YCCToC24, p);
  // Y top-left 10, bottom-left 20, top-right 30, bottom-right 40, neutral chroma.
  EXPECT_EQ(plain.Block({10, 20, 30, 40, 128, 128}),
            (Bytes{10, 10, 10, 30, 30, 30, 20, 20, 20, 40, 40, 40}));
  // Y 100, Cr 228, Cb 28: R 240, G 63, B -77 -> 0; Y 200: R 340 -> 255, G 163, B 22.
  EXPECT_EQ(plain.Block({100, 100, 200, 200, 228, 28}),
            (Bytes{240, 63, 0, 255, 163, 22, 240, 63, 0, 255, 163, 22}));
  p.blUseTable = 1;
  StageRunner tables(IP_R2YCCToC24, p);
  EXPECT_EQ(tables.Block({100, 100, 200, 200, 228, 28}),
            (Bytes{15, 31, 1, 0, 81, 23, 15, 31, 1, 0, 81, 23}));
}

TEST(ColorStages, ColourToR2YCCBlocks) {
  CImageProcess_Parameter_C24ToR2YCC p{2, 0.299, 0.587, 0.114};
  StageRunner s(IP_C24ToR2YCC, p);
  // Y comes to 127.99999999999999 and the chroma to -127.99999999999999 before truncation.
  EXPECT_EQ(s.Block(Bytes(12, 128)), (Bytes{127, 127, 127, 127, 129, 129}));
  // Pure red: Y 76.245, Cr' -0.5 -> 0, Cb' -171.03 -> -171, stored as 85.
  EXPECT_EQ(s.Block({255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}), (Bytes{76, 76, 76, 76, 0, 85}));
  // A single line is no pair: nothing comes out.
  EXPECT_TRUE(s.Block(Bytes(6, 128)).empty());
}

TEST(ColorStages, ColourToR2YCCSumsSaturatedChromaWithoutOverflow) {
  // Kr 1 divides Cr' by 0: with Kg 0.5 every pixel's Y (125) lies above its red, so each Cr'
  // saturates to -2^31 and their sum passes 32 bits; stored is the low byte of sum / 4 = -2^31.
  // Cb' = (20 - 125) / 2 - 128 = -180.5 -> -180, stored as 76.
  CImageProcess_Parameter_C24ToR2YCC p{2, 1, 0.5, 0};
  StageRunner s(IP_C24ToR2YCC, p);
  const Bytes pixel = {100, 50, 20};
  Bytes block;
  for (int i = 0; i < 4; ++i) block.insert(block.end(), pixel.begin(), pixel.end());
  EXPECT_EQ(s.Block(block), (Bytes{125, 125, 125, 125, 0, 76}));
}

TEST(ColorStages, TrestleYCCLinesToColour) {
  auto p = YccParam(2);
  StageRunner plain(IP_TrestleYCC422ToC24, p);
  // Luma of line 1, luma of line 2, Cb, Cr (one chroma value per pixel, shared by both lines).
  EXPECT_EQ(plain.Block({100, 50, 200, 60, 28, 128, 228, 128}),
            (Bytes{240, 63, 0, 50, 50, 50, 255, 163, 22, 60, 60, 60}));
  p.blUseTable = 1;
  StageRunner tables(IP_TrestleYCC422ToC24, p);
  // Below 0 the tables give their entry 0, above 255 their entry 255.
  EXPECT_EQ(tables.Block({100, 50, 200, 60, 28, 128, 228, 128}),
            (Bytes{15, 31, 1, 205, 25, 51, 0, 81, 23, 195, 30, 61}));
}

TEST(ColorStages, TrestleTrueGrayKeepsTheLumaLines) {
  CImageProcess_Parameter_TrueGray p{};
  p.Pixel = 2;
  StageRunner plain(IP_TrestleYCC422ToTrueGray, p);
  EXPECT_EQ(plain.Block({1, 2, 3, 4, 9, 9, 9, 9, 5, 6, 7, 8, 9, 9, 9, 9}),
            (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  p.blUseTable = 1;
  for (int v = 0; v < 256; ++v) p.Table[v] = static_cast<uint8_t>(v * 2);
  StageRunner table(IP_TrestleYCC422ToTrueGray, p);
  EXPECT_EQ(table.Block({1, 2, 3, 4, 9, 9, 9, 9}), (Bytes{2, 4, 6, 8}));
}

TEST(ColorStages, PlanesAndPixelsInterleave) {
  CImageProcess_Parameter_Width w{2};
  const Bytes planes = {1, 2, 10, 20, 100, 200, 3, 4, 30, 40, 103, 204};
  const Bytes pixels = {1, 10, 100, 2, 20, 200, 3, 30, 103, 4, 40, 204};
  StageRunner pack(IP_RX417ColorPack, w);
  EXPECT_EQ(pack.Block(planes), pixels);
  StageRunner unpack(IP_BackgroundColorUnpack, w);
  EXPECT_EQ(unpack.Block(pixels), planes);
  // A partial line is dropped rather than left unwritten.
  EXPECT_EQ(unpack.Block(Bytes(pixels.begin(), pixels.begin() + 9)).size(), 6u);
}

TEST(ColorStages, SoftwareGammaUsesOneTablePerSamplePosition) {
  CImageProcess_Parameter_SWGamma p{};
  p.dwSamplesPerPixel = 3;
  p.dwPixelsPerLine = 2;
  for (int v = 0; v < 256; ++v) {
    p.Table[0][v] = static_cast<uint8_t>(v + 1);
    p.Table[1][v] = static_cast<uint8_t>(v + 2);
    p.Table[2][v] = static_cast<uint8_t>(v + 3);
  }
  StageRunner colour(IP_SWGamma, p);
  EXPECT_EQ(colour.Block({0, 0, 0, 10, 10, 10}), (Bytes{1, 2, 3, 11, 12, 13}));
  p.dwSamplesPerPixel = 1;
  StageRunner grey(IP_SWGamma, p);
  EXPECT_EQ(grey.Block({0, 10, 20, 30}), (Bytes{1, 11, 21, 31}));
  p.dwSamplesPerPixel = 4;  // no tables for that: nothing is converted
  StageRunner bad(IP_SWGamma, p);
  EXPECT_TRUE(bad.Block(Bytes(16, 1)).empty());
}

// A CIS line whose pixel i (of 3 bytes) holds i's low byte, its high byte and the value 7.
Bytes CisLine(uint32_t pixels) {
  Bytes line(size_t{pixels} * 3);
  for (uint32_t i = 0; i < pixels; ++i) {
    line[3 * i] = static_cast<uint8_t>(i & 0xFF);
    line[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    line[3 * i + 2] = 7;
  }
  return line;
}

uint32_t CisPixel(const Bytes& out, uint32_t q) { return out[3 * q] | (out[3 * q + 1] << 8); }

TEST(ColorStages, TrestleCisPackUndoesTheSegmentInterleave) {
  CImageProcess_Parameter_TrestleCisPack p{};
  p.dwResolution = 300;
  p.dwBytesPerPixel = 3;
  p.dwOutputPixel = 2580;
  StageRunner s(IP_TrestleCisPack, p);
  const Bytes line = CisLine(2580);
  ASSERT_EQ(line.size(), 7740u);  // 3 bytes x 3 segments x 860 pixels
  Bytes out = s.Block(line);
  ASSERT_EQ(out.size(), 7740u);
  for (uint32_t q : {0u, 1u, 859u, 860u, 861u, 1720u, 2579u}) {
    EXPECT_EQ(CisPixel(out, q), 3 * (q % 860) + q / 860) << q;
    EXPECT_EQ(out[3 * q + 2], 7);
  }
  // Less than a whole input line gives nothing.
  EXPECT_TRUE(s.Block(Bytes(line.begin(), line.end() - 1)).empty());

  p.blMirror = 1;
  p.dwLeftOffset = 10;
  p.dwOutputPixel = 100;
  StageRunner mirror(IP_TrestleCisPack, p);
  out = mirror.Block(line);
  ASSERT_EQ(out.size(), 300u);
  for (uint32_t q : {0u, 99u}) {
    const uint32_t r = 2579 - (q + 10);
    EXPECT_EQ(CisPixel(out, q), 3 * (r % 860) + r / 860) << q;
  }
  p.dwResolution = 600;
  p.blMirror = 0;
  StageRunner fine(IP_TrestleCisPack, p);
  EXPECT_EQ(fine.Block(CisLine(5160)).size(), 300u);
  EXPECT_TRUE(fine.Block(line).empty());  // lines are 15480 bytes at 600 dpi
}

TEST(ColorStages, QF9000CisPackCutsOrdersAndFills) {
  // Segments of 4 pixels, 2 planes: byte 4p + s of plane c holds 100c + 10s + p.
  CImageProcess_Parameter_QF9000RgbCisPack p{};
  p.dwSegmentPixel = 4;
  p.dwBytesPerPixel = 2;
  p.blNaturalOrder = 1;
  p.blWholeSegments = 1;
  p.dwOutputPixel = 16;
  Bytes line(32);
  for (int c = 0; c < 2; ++c)
    for (int px = 0; px < 4; ++px)
      for (int s = 0; s < 4; ++s)
        line[16 * c + 4 * px + s] = static_cast<uint8_t>(100 * c + 10 * s + px);
  auto pixel = [](int s, int px) {
    return Bytes{static_cast<uint8_t>(10 * s + px), static_cast<uint8_t>(100 + 10 * s + px)};
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& b : parts) all.insert(all.end(), b.begin(), b.end());
    return all;
  };

  StageRunner whole(IP_QF9000RgbCisPack, p);
  Bytes out = whole.Block(line);
  ASSERT_EQ(out.size(), 32u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), join({pixel(0, 0), pixel(0, 1)}));
  EXPECT_EQ(Bytes(out.end() - 2, out.end()), pixel(3, 3));

  // Cut one pixel at each end of every segment, segments in reverse order, 10 output pixels:
  // 8 kept pixels, then two pixels of 255.
  p.blNaturalOrder = 0;
  p.blWholeSegments = 0;
  for (auto& c : p.Cut) c[0] = c[1] = 1;
  const uint8_t order[4] = {3, 2, 1, 0};
  std::copy(order, order + 4, p.Order);
  p.dwOutputPixel = 10;
  StageRunner cut(IP_QF9000RgbCisPack, p);
  EXPECT_EQ(cut.Block(line), join({pixel(3, 1), pixel(3, 2), pixel(2, 1), pixel(2, 2), pixel(1, 1),
                                   pixel(1, 2), pixel(0, 1), pixel(0, 2), Bytes(4, 255)}));

  p.blMirror = 1;
  p.dwOutputPixel = 2;
  p.dwLeftOffset = 1;
  StageRunner mirror(IP_QF9000RgbCisPack, p);
  EXPECT_EQ(mirror.Block(line), join({pixel(0, 1), pixel(1, 2)}));
}

// ---- The fast paths against the rules, one pixel at a time, on noise at widths that leave
// every remainder of a vector

const uint32_t kWidths[] = {1, 2, 3, 5, 8, 15, 16, 17, 31, 32, 33, 63, 100, 2480};

uint8_t Clamped(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Luma weights: the usual ones, and some that push the coefficients to their extremes.
const double kLumaWeights[][3] = {
    {0.299, 0.587, 0.114}, {0.2126, 0.7152, 0.0722}, {0, 1, 0}, {0.5, 0.01, 0.49}, {1, 0.5, -1}};

Bytes TrestleYCCByTheRule(const CImageProcess_Parameter_YCCToC24& p, const Bytes& in) {
  const int64_t cR = static_cast<int32_t>(2000 * (2 - 2 * p.Kr));
  const int64_t cGr = static_cast<int32_t>(2000 * (-2 * (p.Kr - p.Kr * p.Kr) / p.Kg));
  const int64_t cGb = static_cast<int32_t>(2000 * (-2 * (p.Kb - p.Kb * p.Kb) / p.Kg));
  const int64_t cB = static_cast<int32_t>(2000 * (2 - 2 * p.Kb));
  const size_t w = p.Pixel;
  Bytes out;
  for (size_t group = 0; group + 4 * w <= in.size(); group += 4 * w) {
    for (size_t line = 0; line < 2; ++line) {
      for (size_t x = 0; x < w; ++x) {
        const int64_t y = in[group + line * w + x];
        const int64_t cb = in[group + 2 * w + x] - 128, cr = in[group + 3 * w + x] - 128;
        const int64_t rgb[3] = {(2000 * y + cR * cr) / 2000,
                                (2000 * y + cGr * cr + cGb * cb) / 2000,
                                (2000 * y + cB * cb) / 2000};
        for (int c = 0; c < 3; ++c)
          out.push_back(p.blUseTable ? p.Table[c + 1][Clamped(rgb[c])] : Clamped(rgb[c]));
      }
    }
  }
  return out;
}

TEST(ColorStages, TrestleYCCFollowsTheRuleForEveryWidth) {
  for (const auto& k : kLumaWeights) {
    for (uint32_t w : kWidths) {
      for (uint8_t tables : {0, 1}) {
        CImageProcess_Parameter_YCCToC24 p = YccParam(w);
        p.Kr = k[0];
        p.Kg = k[1];
        p.Kb = k[2];
        p.blUseTable = tables;
        StageRunner s(IP_TrestleYCC422ToC24, p);
        // Three pairs of lines and a partial group, which is dropped.
        const Bytes in = Noise(size_t{w} * 4 * 3 + 3, w);
        EXPECT_EQ(s.Block(in), TrestleYCCByTheRule(p, in))
            << "width " << w << ", Kr " << k[0] << ", tables " << int(tables);
      }
    }
  }
}

Bytes ColourToR2YCCByTheRule(const CImageProcess_Parameter_C24ToR2YCC& p, const Bytes& in) {
  const size_t w = p.Pixel, pairs = in.size() / (3 * w) / 2;
  Bytes out;
  for (size_t pair = 0; pair < pairs; ++pair) {
    const uint8_t* top = in.data() + pair * 6 * w;
    for (size_t j = 0; j < w / 2; ++j) {
      // Top left, bottom left, top right, bottom right.
      const uint8_t* pixels[4] = {top + 6 * j, top + 3 * w + 6 * j, top + 6 * j + 3,
                                  top + 3 * w + 6 * j + 3};
      int32_t crSum = 0, cbSum = 0;
      for (const uint8_t* px : pixels) {
        const double r = px[0], g = px[1], b = px[2];
        const double y = (p.Kr * r + p.Kg * g) + p.Kb * b;
        crSum += static_cast<int32_t>((r - y) / (2 - 2 * p.Kr) - 128);
        cbSum += static_cast<int32_t>((b - y) / (2 - 2 * p.Kb) - 128);
        out.push_back(static_cast<uint8_t>(y < 0 ? 0 : (y > 255 ? 255 : y)));
      }
      out.push_back(static_cast<uint8_t>(crSum / 4));
      out.push_back(static_cast<uint8_t>(cbSum / 4));
    }
  }
  return out;
}

TEST(ColorStages, ColourToR2YCCFollowsTheRuleForEveryWidth) {
  for (const auto& k : kLumaWeights) {
    if (k[0] == 1) continue;  // Cr' would divide by 0
    for (uint32_t w : kWidths) {
      CImageProcess_Parameter_C24ToR2YCC p{w, k[0], k[1], k[2]};
      StageRunner s(IP_C24ToR2YCC, p);
      // Grey pixels meet the truncation at its edge; noise everywhere else. Five lines: the
      // fifth has no partner and is dropped.
      Bytes in = Noise(size_t{w} * 3 * 5, w);
      for (size_t i = 0; i + 3 <= in.size(); i += 9) in[i + 1] = in[i + 2] = in[i];
      EXPECT_EQ(s.Block(in), ColourToR2YCCByTheRule(p, in)) << "width " << w << ", Kr " << k[0];
    }
  }
}

// Error diffusion as its rule has it: two rows of error entries, A from entry 0 and B from
// entry W, A's last entry being B's first; even lines read A and write B, odd lines the reverse.
class ErrorDiffusionByTheRule {
 public:
  explicit ErrorDiffusionByTheRule(uint32_t w) : w_(w), rows_(2 * size_t{w} + 1, 0) {}
  void Reset() { counter_ = 0; }

  Bytes Block(const Bytes& in) {
    const size_t lines = in.size() / w_;
    Bytes out(lines * w_ / 8, 0xFF);
    if (lines == 0) return out;
    if (counter_ == 0) std::fill(rows_.begin(), rows_.begin() + 2 * w_, int16_t{-1});
    size_t bit = 0;
    for (size_t l = 0; l < lines; ++l, ++counter_) {
      int16_t* previous = rows_.data() + (counter_ % 2 == 0 ? 0 : w_);
      int16_t* current = rows_.data() + (counter_ % 2 == 0 ? w_ : 0);
      const uint8_t* line = in.data() + l * w_;
      const uint8_t* below = l + 1 < lines ? line + w_ : line;
      for (size_t x = 0; x < w_; ++x, ++bit) {
        const bool last = x + 1 == w_;
        const int32_t e5 = previous[last ? x : x + 1], e3 = previous[last ? x : x + 2];
        int32_t err = (previous[x] + 5 * e5 + 3 * e3 + 7 * current[x]) / 16;
        const int32_t a = 255 - line[x], b = 255 - below[x];
        const int32_t c = last ? a : 255 - line[x + 1], d = last ? b : 255 - below[x + 1];
        if (std::abs(a - b) + std::abs(a - c) + std::abs(d - b) + std::abs(d - c) > 70) err = 0;
        const int32_t v = std::clamp(a + err, 0, 255);
        current[x + 1] = static_cast<int16_t>(v < 128 ? v : v - 255);
        if (v < 128 && bit / 8 < out.size())
          out[bit / 8] &= static_cast<uint8_t>(~(0x80 >> bit % 8));
      }
    }
    return out;
  }

 private:
  size_t w_;
  std::vector<int16_t> rows_;
  uint32_t counter_ = 0;
};

// Grey ramps with a little noise, so that most pixels diffuse their error and some are edges.
Bytes RampsWithNoise(uint32_t lines, uint32_t w, uint32_t seed) {
  const Bytes noise = Noise(size_t{lines} * w, seed);
  return MakePage(lines, w, [&](uint32_t l, uint32_t x) {
    return (3 * x + 5 * l + noise[size_t{l} * w + x] % 9) % 256;
  });
}

TEST(ColorStages, ErrorDiffusionFollowsTheRuleForEveryWidthAndSplit) {
  const std::vector<uint32_t> splits[] = {{40}, {1}, {3, 2}, {7, 1, 4}};
  for (uint32_t w : kWidths) {
    CImageProcess_Parameter_Width p{w};
    StageRunner s(IP_G8ToErrorDiffusion, p);
    ErrorDiffusionByTheRule rule(w);
    for (const auto& split : splits) {
      // Two pages each time: the second starts from the errors the first left behind.
      for (uint32_t seed : {w, w + 1}) {
        const Bytes page = RampsWithNoise(13, w, seed);
        rule.Reset();
        Bytes expected;
        for (size_t at = 0, i = 0; at < page.size(); ++i) {
          const size_t size =
              std::min<size_t>(size_t{split[i % split.size()]} * w, page.size() - at);
          const Bytes part = rule.Block(Bytes(page.begin() + at, page.begin() + at + size));
          expected.insert(expected.end(), part.begin(), part.end());
          at += size;
        }
        EXPECT_EQ(s.PageInBlocksOf(page, w, split), expected)
            << "width " << w << ", blocks of " << split[0];
      }
    }
  }
}

}  // namespace
