// Geometry stages: scaling, cutting, channel alignment and line shape.
#include <gtest/gtest.h>

#include "StageRunner.h"

namespace {

CImageProcess_Parameter_Scale Scale(uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH,
                                    uint32_t bits) {
  return CImageProcess_Parameter_Scale{srcW, srcH, dstW, dstH, 0, 0, bits, 0};
}

CImageProcess_Parameter_Scale ScaleByResolution(uint32_t srcW, uint32_t dstW, uint32_t outRes,
                                                uint32_t inRes, uint32_t bits) {
  return CImageProcess_Parameter_Scale{srcW, 0, dstW, 0, outRes, inRes, bits, 1};
}

// A one-pixel-wide page whose line l holds values[l].
Bytes Column(std::initializer_list<uint8_t> values) { return Bytes(values); }

// Lines a scaling stage yields over a page of `lines` lines of `lineBytes`, in blocks of
// `block` lines; the first block must yield at least one line.
size_t ScaledTotal(StageRunner& s, uint32_t lines, uint32_t lineBytes, uint32_t block) {
  EXPECT_TRUE(s.pipeline().Reset());
  size_t total = 0;
  for (uint32_t at = 0; at < lines; at += block) {
    const uint32_t n = std::min(block, lines - at);
    const size_t out = s.Block(Bytes(size_t{n} * lineBytes, 77)).size();
    if (at == 0) {
      EXPECT_GT(out, 0u);
    }
    total += out;
  }
  return total;
}

// ---- NearestScale

TEST(NearestScale, ReducingPicksRoundedSourceLines) {
  // Length mode, 3 lines to 2: R = 1.5, lines 0 and trunc(1.5 + 0.5) = 2.
  StageRunner length(IP_NearestScale, Scale(1, 3, 1, 2, 8));
  EXPECT_EQ(length.Page(Column({10, 20, 30}), 1, {3}), Column({10, 30}));
  // Resolution mode 600 to 300: a block of 5 lines yields lines 0 and 2.
  StageRunner resolution(IP_NearestScale, ScaleByResolution(1, 1, 300, 600, 8));
  EXPECT_EQ(resolution.Page(Column({10, 20, 30, 40, 50}), 1, {5}), Column({10, 30}));
}

TEST(NearestScale, EnlargingRepeatsSourceLines) {
  StageRunner s(IP_NearestScale, Scale(1, 2, 1, 5, 8));
  EXPECT_EQ(s.Page(Column({10, 20}), 1, {2}), Column({10, 10, 10, 20, 20}));
}

TEST(NearestScale, HorizontalTableClampsToTheLastPixel) {
  // 4 to 8 pixels: sources trunc(0.5 + 0.5 j) = 0 1 1 2 2 3 3 4, the last clamped to 3.
  StageRunner grey(IP_NearestScale, Scale(4, 1, 8, 1, 8));
  EXPECT_EQ(grey.Page({1, 2, 3, 4}, 4, {1}), (Bytes{1, 2, 2, 3, 3, 4, 4, 4}));
  StageRunner colour(IP_NearestScale, Scale(2, 1, 5, 1, 24));
  // Sources trunc(0.5 + 0.4 j) = 0 0 1 1 2 -> 1.
  EXPECT_EQ(colour.Page({1, 2, 3, 4, 5, 6}, 6, {1}),
            (Bytes{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6}));
}

TEST(NearestScale, OneBitLinesPickBits) {
  // 16 to 8 pixels: source bit 2j.
  StageRunner s(IP_NearestScale, Scale(16, 2, 8, 2, 1));
  EXPECT_EQ(s.Page({0xAA, 0xAA, 0x55, 0x0F}, 2, {2}), (Bytes{0xFF, 0x03}));
}

// One byte per pixel of a 1-bit page, 255 for a black pixel, and back.
Bytes BitsToBytes(const Bytes& bits) {
  Bytes bytes;
  for (uint8_t v : bits)
    for (int bit = 7; bit >= 0; --bit) bytes.push_back((v >> bit) & 1 ? 255 : 0);
  return bytes;
}

Bytes BytesToBits(const Bytes& bytes) {
  Bytes bits(bytes.size() / 8);
  for (size_t i = 0; i < bits.size() * 8; ++i)
    bits[i / 8] |= static_cast<uint8_t>((bytes[i] & 1) << (7 - i % 8));
  return bits;
}

TEST(NearestScale, OneBitLinesScaleLikeTheSamePictureAtEightBits) {
  const struct {
    uint32_t in, out;
  } widths[] = {{8, 8}, {16, 8}, {64, 40}, {40, 64}, {24, 120}, {8, 200}, {136, 24}, {2480, 2064}};
  const struct {
    bool byResolution;
    uint32_t in, out;
  } heights[] = {
      {false, 20, 20}, {false, 20, 7}, {false, 7, 20}, {true, 600, 200}, {true, 300, 400}};
  const std::vector<uint32_t> splits[] = {{1000}, {1}, {3, 5}};
  for (const auto& w : widths) {
    for (const auto& h : heights) {
      const uint32_t lines = h.byResolution ? 20 : h.in;
      const Bytes bits = Noise(size_t{lines} * w.in / 8, w.in + h.out);
      for (const auto& split : splits) {
        auto p = h.byResolution ? ScaleByResolution(w.in, w.out, h.out, h.in, 1)
                                : Scale(w.in, h.in, w.out, h.out, 1);
        StageRunner oneBit(IP_NearestScale, p);
        p.dwBitsPerPixel = 8;
        StageRunner eightBits(IP_NearestScale, p);
        EXPECT_EQ(oneBit.PageInBlocksOf(bits, w.in / 8, split),
                  BytesToBits(eightBits.PageInBlocksOf(BitsToBytes(bits), w.in, split)))
            << "width " << w.in << " to " << w.out << ", height " << h.in << " to " << h.out
            << ", blocks of " << split[0];
      }
    }
  }
}

TEST(NearestScale, LengthModeTotalDoesNotDependOnTheSplit) {
  for (uint32_t block : {100u, 33u, 7u, 1u}) {
    StageRunner s(IP_NearestScale, Scale(1, 100, 1, 37, 8));
    EXPECT_EQ(ScaledTotal(s, 100, 1, block), 37u) << "blocks of " << block;
  }
}

// ---- BiLinearScale

TEST(BiLinearScale, EnlargingHorizontallyClampsPastTheLastPixel) {
  // Positions 0, 0.5, ..., 3.5; 3.5 lies past the last pixel and gives it alone.
  StageRunner s(IP_BiLinearScale, Scale(4, 1, 8, 1, 8));
  EXPECT_EQ(s.Page({10, 20, 30, 40}, 4, {1}), (Bytes{10, 15, 20, 25, 30, 35, 40, 40}));
  StageRunner colour(IP_BiLinearScale, Scale(2, 1, 4, 1, 24));
  EXPECT_EQ(colour.Page({0, 100, 200, 100, 0, 50}, 6, {1}),
            (Bytes{0, 100, 200, 50, 50, 125, 100, 0, 50, 100, 0, 50}));
}

TEST(BiLinearScale, VerticalInterpolationCarriesAcrossBlocks) {
  // 3 lines to 5: positions 0, 0.5, 1, 1.5, 2. Split pages reach back into the previous block.
  const Bytes page = Column({0, 100, 200});
  for (auto split : {std::initializer_list<uint32_t>{3}, {2, 1}, {1, 1, 1}}) {
    StageRunner s(IP_BiLinearScale, Scale(1, 3, 1, 5, 8));
    EXPECT_EQ(s.Page(page, 1, split), Column({0, 50, 100, 150, 200}))
        << "first block " << *split.begin();
  }
}

TEST(BiLinearScale, LengthModeSpreadsTheOutputLinesOverTheBlocks) {
  for (uint32_t block : {100u, 7u, 1u}) {
    StageRunner s(IP_BiLinearScale, Scale(2, 100, 3, 37, 8));
    EXPECT_EQ(ScaledTotal(s, 100, 2, block), 37u * 3) << "blocks of " << block;
  }
  // At least one line once a page has data, though 1 x 3 / 100 rounds to 0, and only one:
  // an empty block in between does not make the next line count as the first again.
  for (uint32_t id : {uint32_t{IP_BiLinearScale}, uint32_t{IP_NearestScale}}) {
    StageRunner reduce(id, Scale(1, 100, 1, 3, 8));
    EXPECT_EQ(ScaledTotal(reduce, 1, 1, 1), 1u);
    ASSERT_TRUE(reduce.pipeline().Reset());
    EXPECT_EQ(reduce.Block({5}).size(), 1u);
    EXPECT_EQ(reduce.Block({}).size(), 0u);
    EXPECT_EQ(reduce.Block({6}).size(), 0u);
    EXPECT_EQ(reduce.Block(Bytes(64, 7)).size(), 0u);  // 66 lines: 66 x 3 / 100 = 1, given
    EXPECT_EQ(reduce.Block({8}).size(), 1u);           // 67 lines: the second
  }
}

TEST(BiLinearScale, ResolutionModeUsesTheBlockFirstLineForThePreviousOne) {
  // 300 to 200 dpi: step 1.5. The first block (4 lines) yields positions 0 and 1.5 and leaves
  // the next block starting at -1, which without history is the block's own first line.
  StageRunner s(IP_BiLinearScale, ScaleByResolution(1, 1, 200, 300, 8));
  EXPECT_EQ(s.Page(Column({0, 10, 20, 30, 100, 110, 120}), 1, {4, 3}), Column({0, 15, 100, 105}));
  // Enlarging 300 to 600: positions past the block's last line repeat it.
  StageRunner up(IP_BiLinearScale, ScaleByResolution(1, 1, 600, 300, 8));
  EXPECT_EQ(up.Page(Column({0, 100}), 1, {2}), Column({0, 50, 100, 100}));
}

TEST(BiLinearScale, BlocksThatYieldNoLineStillMoveThePosition) {
  // 5 lines to 3: positions 0, 2 and 4. In one-line blocks the second and third yield no line,
  // and the fourth (line 3) reaches back to line 2.
  for (const std::vector<uint32_t>& split : {std::vector<uint32_t>{5}, {1}, {2}, {3, 2}}) {
    StageRunner s(IP_BiLinearScale, Scale(1, 5, 1, 3, 8));
    EXPECT_EQ(s.PageInBlocksOf(Column({0, 10, 20, 30, 40}), 1, split), Column({0, 20, 40}))
        << "blocks of " << split[0];
  }
  // 600 to 200 dpi: positions 0, 3, 6, 9 and 12. Blocks of 11 and 6 lines: 9 lies before the
  // second block, which reads its first line (110) for it; 12 is still line 12.
  Bytes page;
  for (uint8_t v = 0; v < 170; v += 10) page.push_back(v);
  StageRunner s(IP_BiLinearScale, ScaleByResolution(1, 1, 200, 600, 8));
  EXPECT_EQ(s.PageInBlocksOf(page, 1, {11, 6}), Column({0, 30, 60, 110, 120}));
}

// The taps of output j of a bilinear axis: its position is j * num / den, exactly; it takes the
// two inputs around it with weights scaled by 2^23, as far as inputs first to last reach, and
// a position beyond them takes the nearest of them alone.
struct Taps {
  int64_t i0, i1;
  uint64_t w0, w1;
};

Taps AxisTaps(uint64_t j, uint64_t num, uint64_t den, int64_t first, int64_t last) {
  constexpr uint64_t kOne = uint64_t{1} << 23;
  const uint64_t position = j * num;
  const int64_t i0 = static_cast<int64_t>(position / den);
  const uint64_t r = position % den;
  if (i0 > last || (i0 == last && r > 0)) return {last, last, kOne, 0};
  if (i0 < first) return {first, first, kOne, 0};
  return {i0, i0 + 1, kOne * (den - r) / den, kOne * r / den};
}

// One output line of bilinear scaling by the rule: each source line is interpolated
// horizontally first, each sample with the taps of its pixel; the results (shifted down by 23
// bits) are weighted by the vertical taps.
Bytes BiLinearLineByTheRule(const Bytes& page, uint32_t w, uint32_t b, uint32_t outW, Taps v) {
  Bytes line(size_t{outW} * b);
  for (uint32_t j = 0; j < outW; ++j) {
    const Taps h = AxisTaps(j, w, outW, 0, int64_t{w} - 1);
    for (uint32_t c = 0; c < b; ++c) {
      uint64_t sum = 0;
      for (const auto& [y, weight] : {std::pair{v.i0, v.w0}, std::pair{v.i1, v.w1}}) {
        if (weight == 0) continue;
        const uint8_t* source = page.data() + y * w * b;
        const uint64_t across =
            h.w0 * source[h.i0 * b + c] + (h.w1 > 0 ? h.w1 * source[h.i1 * b + c] : 0);
        sum += (across >> 23) * weight;
      }
      line[size_t{j} * b + c] = static_cast<uint8_t>(std::min<uint64_t>(sum >> 23, 255));
    }
  }
  return line;
}

TEST(BiLinearScale, FollowsThePageRuleWhateverTheSplit) {
  // Output line k lies at page position k * step: (input height - 1) / (output height - 1) by
  // lengths, input / output resolution by resolutions. A block sees its own lines and, by
  // lengths, the H = input height / output height + 1 lines before it; by resolutions a position
  // before the block reads its first line.
  const struct {
    bool byResolution;
    uint32_t in, out;  // heights, or resolutions
  } vertical[] = {
      {false, 5, 3},    {false, 17, 6},   {false, 100, 37}, {false, 100, 3},  {false, 9, 9},
      {false, 3, 5},    {false, 4, 10},   {false, 10, 23},  {true, 600, 200}, {true, 300, 200},
      {true, 400, 300}, {true, 300, 300}, {true, 300, 600}, {true, 200, 300}, {true, 150, 400},
  };
  const struct {
    uint32_t in, out, bits;
  } horizontal[] = {{1, 1, 8},   {37, 61, 8}, {61, 37, 8},  {100, 257, 8},
                    {5, 12, 24}, {19, 7, 24}, {33, 34, 16}, {9, 5, 48}};
  const std::vector<uint32_t> splits[] = {{1000}, {1}, {11, 6}, {2, 3}, {7}, {1, 4, 2, 9}};
  for (const auto& c : vertical) {
    const uint32_t lines = c.byResolution ? 60 : c.in;
    const uint64_t num = c.byResolution || c.out == 1 ? c.in : c.in - 1;
    const uint64_t den = c.byResolution ? c.out : (c.out > 1 ? c.out - 1 : 1);
    const int64_t history = c.byResolution ? 0 : c.in / c.out + 1;
    for (const auto& x : horizontal) {
      const uint32_t b = x.bits / 8, lineBytes = x.in * b;
      const Bytes page = Noise(size_t{lines} * lineBytes, c.in * 1000 + c.out + x.in);
      for (const auto& split : splits) {
        auto p = c.byResolution ? ScaleByResolution(x.in, x.out, c.out, c.in, x.bits)
                                : Scale(x.in, c.in, x.out, c.out, x.bits);
        StageRunner s(IP_BiLinearScale, p);
        const std::vector<Bytes> outputs = s.BlockOutputs(page, lineBytes, split);
        int64_t start = 0;
        uint64_t k = 0;
        for (size_t block = 0; block < outputs.size(); ++block) {
          const int64_t end = std::min<int64_t>(start + split[block % split.size()], lines);
          for (size_t at = 0; at < outputs[block].size(); at += x.out * b, ++k) {
            const Taps v = AxisTaps(k, num, den, std::max<int64_t>(start - history, 0), end - 1);
            ASSERT_EQ(Bytes(outputs[block].begin() + at, outputs[block].begin() + at + x.out * b),
                      BiLinearLineByTheRule(page, x.in, b, x.out, v))
                << (c.byResolution ? "resolutions " : "heights ") << c.in << " to " << c.out
                << ", width " << x.in << " to " << x.out << " at " << x.bits << " bits, blocks of "
                << split[0] << ", line " << k;
          }
          start = end;
        }
      }
    }
  }
}

TEST(Scaling, DepthsTheStageCannotHandleAreRefused) {
  // Nearest scaling works on bytes or single bits, bilinear scaling on bytes only.
  const struct {
    uint32_t id, bits;
  } cases[] = {
      {IP_NearestScale, 4}, {IP_NearestScale, 12}, {IP_BiLinearScale, 1}, {IP_BiLinearScale, 4}};
  for (const auto& c : cases) {
    StageRunner s(c.id, Scale(16, 8, 8, 4, c.bits));
    EXPECT_FALSE(s.initialized()) << c.id << " at " << c.bits;
    EXPECT_EQ(s.pipeline().GetStatusLong(), -2005);
  }
}

TEST(HighQualityScaleUp, RepeatsPixelsAndLines) {
  StageRunner s(IP_HighQualityScaleUp, Scale(2, 2, 4, 4, 8));
  EXPECT_EQ(s.Block({1, 2, 3, 4}), (Bytes{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
}

// ---- CutImage

CImageProcess_Parameter_CutImage Cut(bool colour, bool bottom, uint32_t w, uint32_t left,
                                     uint32_t right, uint32_t top) {
  CImageProcess_Parameter_CutImage p{};
  p.blColor = colour;
  p.blDelayCutTop = bottom;
  p.Pixel = w;
  p.dwCutLeft = left;
  p.dwCutRight = right;
  p.dwCutTop = top;
  return p;
}

TEST(CutImage, StartCutDropsTheFirstLinesWhateverTheBlocks) {
  const Bytes page = MakePage(12, 2, [](uint32_t l, uint32_t i) { return 10 * l + i; });
  StageRunner s(IP_CutImage, Cut(false, false, 2, 0, 0, 10));
  ASSERT_TRUE(s.pipeline().Reset());
  EXPECT_TRUE(s.Block(Bytes(page.begin(), page.begin() + 8)).empty());
  EXPECT_TRUE(s.Block(Bytes(page.begin() + 8, page.begin() + 16)).empty());
  EXPECT_EQ(s.Block(Bytes(page.begin() + 16, page.end())), (Bytes{100, 101, 110, 111}));
  for (auto split : {std::initializer_list<uint32_t>{12}, {3, 9}, {10, 2}, {1}}) {
    EXPECT_EQ(s.Page(page, 2, split), (Bytes{100, 101, 110, 111}));
  }
}

TEST(CutImage, LeftAndRightCutsCountColourPixels) {
  const Bytes page = MakePage(2, 12, [](uint32_t l, uint32_t i) { return 20 * l + i; });
  StageRunner s(IP_CutImage, Cut(true, false, 4, 1, 2, 0));
  EXPECT_EQ(s.Page(page, 12, {2}), (Bytes{3, 4, 5, 23, 24, 25}));
  StageRunner all(IP_CutImage, Cut(true, false, 4, 3, 3, 0));  // cuts wider than the line
  EXPECT_TRUE(all.Page(page, 12, {2}).empty());
}

TEST(CutImage, BottomCutHoldsBackTheLastLines) {
  const Bytes page = MakePage(11, 3, [](uint32_t l, uint32_t i) { return 10 * l + i; });
  for (auto split : {std::initializer_list<uint32_t>{11}, {10, 1}, {4, 4, 3}, {1}}) {
    StageRunner s(IP_CutImage, Cut(false, true, 3, 1, 0, 10));
    EXPECT_EQ(s.Page(page, 3, split), (Bytes{1, 2})) << "first block " << *split.begin();
    // The next page starts afresh.
    EXPECT_EQ(s.Page(page, 3, {11}), (Bytes{1, 2}));
  }
}

// ---- LineDifference

TEST(LineDifference, AlignsChannelsThatArriveLate) {
  const uint32_t w = 2;
  const Bytes page = MakePage(8, 3 * w, [](uint32_t l, uint32_t i) { return 20 * l + i; });
  // Output line k: red of line k, green of line k + 2, blue of line k + 4.
  Bytes expected;
  for (uint32_t k = 0; k < 4; ++k)
    for (uint32_t x = 0; x < w; ++x)
      for (uint32_t c = 0; c < 3; ++c)
        expected.push_back(static_cast<uint8_t>(20 * (k + 2 * c) + 3 * x + c));
  CImageProcess_Parameter_LineDifference p{w, {0, 2, 4}};
  for (auto split : {std::initializer_list<uint32_t>{8}, {4, 4}, {1, 2, 5}, {1}}) {
    StageRunner s(IP_LineDifference, p);
    EXPECT_EQ(s.Page(page, 3 * w, split), expected) << "first block " << *split.begin();
    EXPECT_EQ(s.Page(page, 3 * w, {3, 5}), expected);
  }
  StageRunner s(IP_LineDifference, p);
  ASSERT_TRUE(s.pipeline().Reset());
  EXPECT_TRUE(s.Block(Bytes(page.begin(), page.begin() + 4 * 3 * w)).empty());
}

TEST(LineDifference, NoDelayPassesEveryLine) {
  CImageProcess_Parameter_LineDifference p{1, {0, 0, 0}};
  StageRunner s(IP_LineDifference, p);
  EXPECT_EQ(s.Page({1, 2, 3, 4, 5, 6}, 3, {1}), (Bytes{1, 2, 3, 4, 5, 6}));
}

// ---- Line shape

TEST(LineShape, ModifyWidthPadsOrTrims) {
  const Bytes page = MakePage(2, 10, [](uint32_t l, uint32_t i) { return 10 * l + i; });
  StageRunner wider(IP_ModifyWidth, CImageProcess_Parameter_ModifyWidth{10, 12, 255});
  EXPECT_EQ(wider.Block(page), (Bytes{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  255, 255,
                                      10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 255, 255}));
  StageRunner narrower(IP_ModifyWidth, CImageProcess_Parameter_ModifyWidth{12, 10, 0});
  EXPECT_EQ(narrower.Block(wider.Block(page)), page);
}

TEST(LineShape, LeftRightPadding) {
  StageRunner s(IP_LeftRightPadding, CImageProcess_Parameter_LeftRightPadding{2, 1, 2, 9});
  EXPECT_EQ(s.Block({1, 2, 3, 4, 5}), (Bytes{9, 1, 2, 9, 9, 9, 3, 4, 9, 9}));
}

TEST(LineShape, HorizontalMirrorKeepsBytesOfAPixelInOrder) {
  StageRunner s(IP_HorizontalMirror, CImageProcess_Parameter_HorizontalMirror{3, 2});
  EXPECT_EQ(s.Block({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
            (Bytes{5, 6, 3, 4, 1, 2, 11, 12, 9, 10, 7, 8}));
}

TEST(LineShape, NoProcessingCopies) {
  StageRunner s(IP_NoProcessing, CImageProcess_Parameter_Width{0});
  EXPECT_EQ(s.Block({4, 5, 6}), (Bytes{4, 5, 6}));
}

}  // namespace
