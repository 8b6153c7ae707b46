// The bilinear reduction against a reference that computes each source position by division.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "ica/LMScaling.h"

namespace {

using icamodule::kScaleFailed;
using icamodule::kScaleOK;
using icamodule::LMScaling;

struct Raster {
  int width, height, bytesPerPixel, rowBytes;
  std::vector<uint8_t> bytes;
};

Raster pattern(int width, int height, int bytesPerPixel, int padding) {
  Raster r{width, height, bytesPerPixel, width * bytesPerPixel + padding, {}};
  r.bytes.resize(static_cast<size_t>(r.rowBytes) * height);
  for (size_t i = 0; i < r.bytes.size(); ++i)
    r.bytes[i] = static_cast<uint8_t>((i * 37 + i / 7) & 0xFF);
  return r;
}

// Position i * src / dst, its fraction in 2048ths; the neighbour past the edge is never weighted.
std::vector<uint8_t> reference(const Raster& s, int dw, int dh, int dstRowBytes) {
  std::vector<uint8_t> out(static_cast<size_t>(dstRowBytes) * dh, 0);
  const int b = s.bytesPerPixel;
  for (int j = 0; j < dh; ++j) {
    const int y = j * s.height / dh;
    const uint64_t fy = static_cast<uint64_t>(j * s.height % dh) * 2048 / dh;
    const int y1 = fy ? y + 1 : y;
    for (int i = 0; i < dw; ++i) {
      const int x = i * s.width / dw;
      const uint64_t w1 = static_cast<uint64_t>(i * s.width % dw) * 2048 / dw;
      const int x1 = w1 ? x + 1 : x;
      for (int c = 0; c < b; ++c) {
        auto at = [&](int yy, int xx) -> uint64_t { return s.bytes[yy * s.rowBytes + xx * b + c]; };
        const uint64_t top = (2048 - w1) * at(y, x) + w1 * at(y, x1);
        const uint64_t low = (2048 - w1) * at(y1, x) + w1 * at(y1, x1);
        out[j * dstRowBytes + i * b + c] =
            static_cast<uint8_t>(((2048 - fy) * top + fy * low) >> 22);
      }
    }
  }
  return out;
}

struct Case {
  int srcWidth, srcHeight, dstWidth, dstHeight, bitsPerPixel, srcPadding, dstPadding;
};

class ScalingTable : public ::testing::TestWithParam<Case> {};

TEST_P(ScalingTable, MatchesTheReferenceInAllocatedAndCallerBuffers) {
  const Case c = GetParam();
  const int b = c.bitsPerPixel / 8;
  Raster s = pattern(c.srcWidth, c.srcHeight, b, c.srcPadding);
  const int dstRowBytes = c.dstWidth * b + c.dstPadding;
  const std::vector<uint8_t> expected = reference(s, c.dstWidth, c.dstHeight, dstRowBytes);

  uint8_t* allocated = nullptr;
  ASSERT_EQ(kScaleOK, LMScaling(s.bytes.data(), c.srcWidth, c.srcHeight, s.rowBytes, &allocated,
                                c.dstWidth, c.dstHeight, dstRowBytes, c.bitsPerPixel));
  ASSERT_NE(nullptr, allocated);
  for (int j = 0; j < c.dstHeight; ++j)
    for (int i = 0; i < c.dstWidth * b; ++i)
      ASSERT_EQ(expected[j * dstRowBytes + i], allocated[j * dstRowBytes + i])
          << "row " << j << " byte " << i;
  std::free(allocated);

  // Exactly sized source and destination buffers, so that any read or write past them shows.
  std::vector<uint8_t> source(s.bytes);
  std::vector<uint8_t> output(static_cast<size_t>(dstRowBytes) * c.dstHeight, 0);
  uint8_t* into = output.data();
  ASSERT_EQ(kScaleOK, LMScaling(source.data(), c.srcWidth, c.srcHeight, s.rowBytes, &into,
                                c.dstWidth, c.dstHeight, dstRowBytes, c.bitsPerPixel));
  EXPECT_EQ(output.data(), into);
  for (int j = 0; j < c.dstHeight; ++j)
    for (int i = 0; i < c.dstWidth * b; ++i)
      ASSERT_EQ(expected[j * dstRowBytes + i], output[j * dstRowBytes + i]);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScalingTable,
                         ::testing::Values(Case{1, 1, 1, 1, 8, 0, 0}, Case{1, 1, 1, 1, 24, 0, 0},
                                           Case{7, 5, 7, 5, 8, 0, 0},     // equal sizes copy
                                           Case{9, 9, 1, 1, 8, 0, 0},     // to one pixel
                                           Case{1, 9, 1, 4, 24, 0, 0},    // one column
                                           Case{13, 11, 5, 7, 8, 3, 1},   // odd sizes, padded rows
                                           Case{13, 11, 5, 7, 24, 1, 2},  // the same in colour
                                           Case{600, 4, 300, 2, 24, 0, 0},
                                           Case{101, 77, 100, 76, 8, 0, 0},
                                           Case{101, 77, 100, 76, 24, 2, 0},
                                           Case{3, 3, 2, 2, 24, 0, 0}));

uint8_t scaleOne(std::vector<uint8_t> row, int dstWidth, int index) {
  std::vector<uint8_t> out(dstWidth);
  uint8_t* p = out.data();
  EXPECT_EQ(kScaleOK, LMScaling(row.data(), static_cast<int32_t>(row.size()), 1,
                                static_cast<int32_t>(row.size()), &p, dstWidth, 1, dstWidth, 8));
  return out[index];
}

TEST(Scaling, KnownValues) {
  // Halving takes the left sample of each pair; 0, 255, 0 to two pixels truncates to 127.
  EXPECT_EQ(10, scaleOne({10, 20, 30, 40}, 2, 0));
  EXPECT_EQ(30, scaleOne({10, 20, 30, 40}, 2, 1));
  EXPECT_EQ(0, scaleOne({0, 255, 0}, 2, 0));
  EXPECT_EQ(127, scaleOne({0, 255, 0}, 2, 1));
}

TEST(Scaling, ColourKeepsTheByteOrderOfEachPixel) {
  std::vector<uint8_t> row;
  for (int i = 0; i < 600; ++i) row.insert(row.end(), {1, 2, 3});
  std::vector<uint8_t> out(900);
  uint8_t* p = out.data();
  ASSERT_EQ(kScaleOK, LMScaling(row.data(), 600, 1, 1800, &p, 300, 1, 900, 24));
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(1, out[i * 3]);
    ASSERT_EQ(2, out[i * 3 + 1]);
    ASSERT_EQ(3, out[i * 3 + 2]);
  }
}

TEST(Scaling, RefusesUnusableSizesWithoutWritingOrAllocating) {
  std::vector<uint8_t> src(16 * 16 * 3, 9);
  const Case refused[] = {
      {4, 4, 5, 4, 8, 0, 0},  // wider than the source
      {4, 4, 4, 5, 8, 0, 0},  // taller than the source
      {4, 4, 0, 2, 8, 0, 0},   {4, 0, 2, 2, 8, 0, 0},
      {-1, 4, 2, 2, 24, 0, 0}, {4, 4, 2, 2, 24, -9, 0},  // source rows shorter than their pixels
      {4, 4, 2, 2, 24, 0, -1},  // destination rows shorter than their pixels
  };
  for (const Case& c : refused) {
    const int b = c.bitsPerPixel / 8;
    uint8_t* dst = nullptr;
    EXPECT_EQ(kScaleFailed,
              LMScaling(src.data(), c.srcWidth, c.srcHeight, c.srcWidth * b + c.srcPadding, &dst,
                        c.dstWidth, c.dstHeight, c.dstWidth * b + c.dstPadding, c.bitsPerPixel))
        << c.srcWidth << "x" << c.srcHeight << " to " << c.dstWidth << "x" << c.dstHeight;
    EXPECT_EQ(nullptr, dst);
  }
}

TEST(Scaling, OtherDepthsWriteNothing) {
  std::vector<uint8_t> src(128, 200);
  std::vector<uint8_t> out(32, 7);
  uint8_t* p = out.data();
  EXPECT_EQ(kScaleOK, LMScaling(src.data(), 8, 8, 16, &p, 4, 4, 8, 16));
  EXPECT_EQ(std::vector<uint8_t>(32, 7), out);
}

}  // namespace
