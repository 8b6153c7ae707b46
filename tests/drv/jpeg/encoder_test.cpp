// The encoder against libjpeg-turbo: its streams, its coefficients and its entropy coding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv/jpeg/JPGCodec.h"
#include "tests/drv/jpeg/testutil.h"

namespace {

std::vector<uint8_t> luma(int quality) {
  JpgQuantTable l{}, c{};
  EXPECT_EQ(jpgInitQuantTables(&l, &c, quality), 1);
  return std::vector<uint8_t>(l.q, l.q + 64);
}
std::vector<uint8_t> chroma(int quality) {
  JpgQuantTable l{}, c{};
  jpgInitQuantTables(&l, &c, quality);
  return std::vector<uint8_t>(c.q, c.q + 64);
}

TEST(QualityCurve, StatedValuesHold) {
  // Quality 0: every quantiser 255.
  for (uint8_t v : luma(0)) EXPECT_EQ(v, 255);
  for (uint8_t v : chroma(0)) EXPECT_EQ(v, 255);
  // Quality 100: 1 in most entries.
  int ones = 0;
  for (uint8_t v : luma(100)) ones += v == 1;
  EXPECT_GT(ones, 48);
  // Not monotonic: 50 is coarser than 49 everywhere it differs.
  const auto q49 = luma(49), q50 = luma(50);
  int coarser = 0;
  for (int n = 0; n < 64; ++n) {
    EXPECT_GE(q50[n], q49[n]) << n;
    coarser += q50[n] > q49[n];
  }
  EXPECT_GT(coarser, 32);
  // Quality 75 (scale 3.44, offset 2), the trimmed low frequencies included.
  const auto q75 = luma(75), c75 = chroma(75);
  EXPECT_EQ(q75[0], 5);    // (18 / 3.44) = 5, trimmed by 0.9
  EXPECT_EQ(q75[1], 3);    // (13 / 3.44) = 3
  EXPECT_EQ(q75[2], 3);    // (12 / 3.44) = 3, trimmed by 0.95
  EXPECT_EQ(q75[63], 29);  // (101 / 3.44) = 29
  EXPECT_EQ(c75[0], 5);
  EXPECT_EQ(jpgInitQuantTables(nullptr, nullptr, 50), -2);
  EXPECT_EQ(jpgInitQuantTables(nullptr, nullptr, 101), -2);
}

// Our colour tables applied the way the encoder samples: Y, Cb, Cr planes padded to whole MCUs
// (right edge and last row repeated) and chroma decimated to its top-left pixel.
struct Planes {
  std::vector<std::vector<uint8_t>> planes;
  std::vector<int> widths, heights;
};

Planes ycc(const oracle::Picture& p, int h, int v) {
  const int F = 4096;
  auto c = [&](double x) { return int32_t(x * F + 0.5); };
  const int32_t k[3][3] = {{c(0.299), c(0.587), c(0.114)},
                           {c(-0.16876), c(-0.33124), c(0.5)},
                           {c(0.5), c(-0.41868), c(-0.08132)}};
  const int mw = 8 * (p.comps == 1 ? 1 : h), mh = 8 * (p.comps == 1 ? 1 : v);
  const int pw = (p.width + mw - 1) / mw * mw, ph = (p.height + mh - 1) / mh * mh;
  Planes out;
  const int nc = p.comps;
  for (int ci = 0; ci < nc; ++ci) {
    const int sx = ci == 0 ? 1 : (mw / 8), sy = ci == 0 ? 1 : (mh / 8);
    const int w = pw / sx, hh = ph / sy;
    std::vector<uint8_t> pl(size_t(w) * hh);
    for (int y = 0; y < hh; ++y)
      for (int x = 0; x < w; ++x) {
        const int px = std::min(x * sx, p.width - 1), py = std::min(y * sy, p.height - 1);
        const uint8_t* s = &p.pixels[(size_t(py) * p.width + px) * nc];
        int val;
        if (nc == 1)
          val = s[0];
        else
          val = (k[ci][0] * s[0] + k[ci][1] * s[1] + k[ci][2] * s[2] + (ci ? 128 * F : 0)) >> 12;
        pl[size_t(y) * w + x] = uint8_t(val);
      }
    out.planes.push_back(pl);
    out.widths.push_back(w);
    out.heights.push_back(hh);
  }
  return out;
}

struct EncCase {
  int w, h, comps, sampling, quality;
};

int hOf(int sampling) { return (sampling & 0x20) ? 2 : 1; }
int vOf(int sampling) { return (sampling & 0x10) ? 2 : 1; }

class EncoderOracle : public ::testing::TestWithParam<EncCase> {};

TEST_P(EncoderOracle, StreamsCoefficientsAndEntropyMatchLibjpeg) {
  const EncCase c = GetParam();
  SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " s" + std::to_string(c.sampling) +
               " q" + std::to_string(c.quality));
  const auto pic = oracle::makePicture(c.w, c.h, c.comps, uint32_t(c.w + 7 * c.h));
  const auto ours = jt::engineEncode(pic, c.quality, c.sampling);
  ASSERT_EQ(ours.rc, 1);

  // libjpeg decodes it without a warning, close to the original.
  const auto dec = oracle::decompress(ours.stream);
  ASSERT_TRUE(dec.ok) << dec.error;
  EXPECT_EQ(dec.warnings, 0);
  EXPECT_EQ(dec.pic.width, c.w);
  EXPECT_EQ(dec.pic.height, c.h);
  // Our own decoder reads it back like libjpeg.
  const auto back = jt::engineDecode(ours.stream);
  ASSERT_EQ(back.rc, 1);
  EXPECT_LE(jt::maxDiff(back.pixels, dec.pic.pixels), c.comps == 1 ? 0 : 1);

  // Quantised coefficients: libjpeg's fast-integer ones with our tables, or one step closer to
  // zero (we truncate where libjpeg rounds); a negative DC is coded one lower.
  const auto mine = oracle::readCoefficients(ours.stream);
  ASSERT_TRUE(mine.ok);
  const int hs = c.comps == 1 ? 1 : hOf(c.sampling), vs = c.comps == 1 ? 1 : vOf(c.sampling);
  const auto pl = ycc(pic, hs, vs);
  std::vector<std::vector<uint8_t>> qt{luma(c.quality)};
  if (c.comps == 3) qt.push_back(chroma(c.quality));
  const auto ref =
      oracle::forwardCoefficients(pl.planes, pl.widths, pl.heights, c.w, c.h, hs, vs, qt);
  ASSERT_TRUE(ref.ok);
  ASSERT_EQ(mine.comps.size(), ref.comps.size());
  int closer = 0, mismatched = 0;
  for (size_t ci = 0; ci < mine.comps.size(); ++ci) {
    ASSERT_EQ(mine.widthInBlocks[ci], ref.widthInBlocks[ci]);
    for (size_t i = 0; i < ref.comps[ci].size(); ++i) {
      int a = mine.comps[ci][i];
      const int b = ref.comps[ci][i];
      if (i % 64 == 0 && a < 0) a += 1;  // undo the DC rule
      if (a == b) continue;
      if ((b > 0 && a == b - 1) || (b < 0 && a == b + 1))
        ++closer;
      else
        ++mismatched;
    }
  }
  EXPECT_EQ(mismatched, 0);
  if (c.quality < 100 && c.w * c.h > 64) {
    EXPECT_GT(closer, 0);
  }

  // libjpeg re-encoding our coefficients gives our entropy-coded bytes (our last byte is
  // padded with 0 bits, libjpeg's with 1 bits).
  const auto ecs = oracle::entropyData(ours.stream);
  const auto again = oracle::entropyData(oracle::transcode(ours.stream));
  ASSERT_FALSE(ecs.empty());
  ASSERT_GE(again.size(), ecs.size());
  ASSERT_LE(again.size(), ecs.size() + 1);
  EXPECT_TRUE(std::equal(ecs.begin(), ecs.end() - 1, again.begin()));
  const uint8_t diff = uint8_t(ecs.back() ^ again[ecs.size() - 1]);
  EXPECT_EQ(diff & (diff + 1), 0);  // only trailing pad bits differ
  EXPECT_EQ(ecs.back() & diff, 0);  // and ours are 0

  // Strip writes give the bytes of the whole-image write.
  for (int strip : {16, 32})
    EXPECT_EQ(jt::engineEncode(pic, c.quality, c.sampling, strip).stream, ours.stream);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

// Sizes without libjpeg's padding blocks (it would code those itself when transcoding).
const EncCase kEncCases[] = {
    {64, 48, 1, 0, 75},  {67, 45, 1, 0, 5},   {121, 37, 1, 0, 100}, {1, 1, 1, 0, 50},
    {67, 45, 3, 0, 75},  {45, 37, 3, 32, 30}, {33, 47, 3, 16, 90},  {47, 31, 3, 48, 98},
    {96, 64, 3, 48, 20}, {16, 16, 3, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Pictures, EncoderOracle, ::testing::ValuesIn(kEncCases));

TEST(Encoder, ChannelOrdersAndPixelWidthsGiveTheSameStream) {
  const auto pic = oracle::makePicture(40, 24, 3, 9);
  const auto ref = jt::engineEncode(pic, 80, 48);
  ASSERT_EQ(ref.rc, 1);
  struct Layout {
    int seq, bits, r, g, b;
  } const layouts[] = {
      {0, 24, 0, 1, 2}, {2, 32, 0, 1, 2}, {3, 24, 2, 1, 0}, {4, 32, 2, 1, 0}, {5, 32, 1, 2, 3}};
  for (const auto& l : layouts) {
    const int n = l.bits / 8;
    std::vector<uint8_t> px(size_t(40) * 24 * n, 0x5A);
    for (int p = 0; p < 40 * 24; ++p) {
      px[size_t(p) * n + l.r] = pic.pixels[size_t(p) * 3];
      px[size_t(p) * n + l.g] = pic.pixels[size_t(p) * 3 + 1];
      px[size_t(p) * n + l.b] = pic.pixels[size_t(p) * 3 + 2];
    }
    EXPECT_EQ(jt::engineEncode(pic, 80, 48, 16, l.bits, l.seq, &px).stream, ref.stream) << l.seq;
  }
}

TEST(Encoder, UniformMidGreyCodesDcZeroAndEob) {
  oracle::Picture p;
  p.width = p.height = 16;
  p.comps = 1;
  p.pixels.assign(256, 128);
  const auto e = jt::engineEncode(p, 75, 0);
  ASSERT_EQ(e.rc, 1);
  // Four blocks of "00" (DC category 0) and "1010" (EOB): 24 bits.
  EXPECT_EQ(oracle::entropyData(e.stream), (std::vector<uint8_t>{0x28, 0xA2, 0x8A}));
}

TEST(Encoder, NegativeDcIsCodedOneLower) {
  // Quality 75 has a DC quantiser of 5: a block of 126 gives 64 * -2 / 40 = -3, coded -4.
  ASSERT_EQ(luma(75)[0], 5);
  oracle::Picture p;
  p.width = p.height = 8;
  p.comps = 1;
  p.pixels.assign(64, 126);
  const auto e = jt::engineEncode(p, 75, 0);
  const auto k = oracle::readCoefficients(e.stream);
  ASSERT_TRUE(k.ok);
  EXPECT_EQ(k.comps[0][0], -4);
}

TEST(Encoder, StripRulesAndPadding) {
  // 100 x 10 grey in one strip of 10 lines: padded to 104 x 16, finished in that call.
  const auto pic = oracle::makePicture(100, 10, 1, 4);
  uint32_t id = 0, size = 77;
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 100, 10, 300, 300), 1);
  EXPECT_EQ(LMJPGWriteStrip(&id, pic.pixels.data(), 0, 10, 100, &size), 1);
  EXPECT_GT(size, 0u);
  int32_t bpp, w, h, mcus, mw, mh;
  std::vector<uint8_t> out(size);
  ASSERT_EQ(LMJPGReadJFIF(&id, out.data(), size), 1);
  EXPECT_EQ(id, 0u);
  ASSERT_EQ(LMJPGWriteJFIF(nullptr, out.data(), size, 1, &bpp, &w, &h, nullptr, nullptr, &mcus,
                           nullptr, nullptr, &mw, &mh),
            1);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(mcus, 13 * 2);

  // A strip of 24 lines that does not reach the last line is refused and frees the id.
  const auto big = oracle::makePicture(32, 64, 1, 4);
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 32, 64, 300, 300), 1);
  EXPECT_EQ(LMJPGWriteStrip(&id, big.pixels.data(), 0, 24, 32, &size), -2);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(id, 0u);
  // A strip that skips lines is refused as well.
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 32, 64, 300, 300), 1);
  EXPECT_EQ(LMJPGWriteStrip(&id, big.pixels.data(), 16, 16, 32, &size), -2);
  // Argument checks of the start.
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 8, 75, 8, 0, 32, 64, 300, 300), -2);
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 0, 101, 8, 0, 32, 64, 300, 300), -2);
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 16, 0, 32, 64, 300, 300), -4);
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 24, 6, 32, 64, 300, 300), -4);
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 70000, 64, 300, 300), -4);
  EXPECT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 0, 64, 300, 300), -2);
  // Too few bytes per line.
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 24, 1, 32, 64, 300, 300), 1);
  EXPECT_EQ(LMJPGWriteImage(&id, big.pixels.data(), 95, &size), -2);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(Encoder, ReadJfifNeedsRoomAndAlwaysFreesTheId) {
  const auto pic = oracle::makePicture(16, 16, 1, 1);
  uint32_t id = 0, size = 0;
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 16, 16, 300, 300), 1);
  ASSERT_EQ(LMJPGWriteImage(&id, pic.pixels.data(), 16, &size), 1);
  std::vector<uint8_t> out(size);
  EXPECT_EQ(LMJPGReadJFIF(&id, out.data(), size - 1), -3);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(jpgIdsInUse(), 0);
  // No stream yet: -6, and the id is freed too.
  ASSERT_EQ(LMJPGJpegEncoder(&id, 0, 0, 75, 8, 0, 16, 16, 300, 300), 1);
  EXPECT_EQ(LMJPGReadJFIF(&id, out.data(), size), -6);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(Engine, IdPoolRunsOutAtSixtyFourAndResetsAll) {
  std::vector<uint32_t> ids(64, 0);
  for (auto& id : ids) ASSERT_EQ(jpgAssignImageId(&id), 1);
  std::vector<uint32_t> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted.front(), 1u);
  EXPECT_EQ(sorted.back(), 64u);
  uint32_t extra = 0;
  EXPECT_EQ(jpgAssignImageId(&extra), -8);
  // Freeing one makes it the next one handed out.
  uint32_t five = 5;
  LMJPGResetJpeg(&five);
  EXPECT_EQ(five, 0u);
  ASSERT_EQ(jpgAssignImageId(&extra), 1);
  EXPECT_EQ(extra, 5u);
  uint32_t all = kJpgAllIds;
  EXPECT_EQ(LMJPGResetJpeg(&all), 1);
  EXPECT_EQ(all, 0u);
  EXPECT_EQ(jpgIdsInUse(), 0);
  EXPECT_EQ(LMJPGResetJpeg(nullptr), 1);
}

}  // namespace

namespace {

TEST(Quantiser, ReciprocalDivisionIsExactTruncation) {
  // Every divisor the tables can make, at every multiple boundary below 2^15, and the whole
  // range for a few of them.
  for (uint32_t d = 1; d <= 4096; ++d) {
    uint16_t add, mul, scale;
    jpgReciprocal(d, &add, &mul, &scale);
    bool ok = true;
    for (uint32_t k = 0; k * d < 32768 && ok; ++k)
      for (uint32_t a : {k * d, k * d + d - 1, k * d + d / 2})
        if (a < 32768) ok = jpgDivide(a, add, mul, scale) == a / d;
    ASSERT_TRUE(ok) << d;
  }
  for (uint32_t d : {1u, 2u, 3u, 7u, 8u, 255u, 1000u, 3925u}) {
    uint16_t add, mul, scale;
    jpgReciprocal(d, &add, &mul, &scale);
    for (uint32_t a = 0; a < 32768; ++a)
      ASSERT_EQ(jpgDivide(a, add, mul, scale), a / d) << d << " " << a;
  }
}

TEST(Quantiser, ExtremeBlocksMatchLibjpegCoefficients) {
  // Stripes and checkerboards of 0 and 255 drive the transform to its largest outputs.
  oracle::Picture p;
  p.width = 64;
  p.height = 32;
  p.comps = 1;
  p.pixels.resize(64 * 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      const int kind = x / 8 + 8 * (y / 8);
      bool on;
      switch (kind % 4) {
        case 0:
          on = (x + y) & 1;
          break;
        case 1:
          on = x & 1;
          break;
        case 2:
          on = (x / 2 + y / 2) & 1;
          break;
        default:
          on = ((x ^ y) >> (kind % 3)) & 1;
          break;
      }
      p.pixels[size_t(y) * 64 + x] = on ? 255 : 0;
    }
  for (int quality : {100, 90, 50}) {
    const auto e = jt::engineEncode(p, quality, 0);
    ASSERT_EQ(e.rc, 1);
    const auto mine = oracle::readCoefficients(e.stream);
    const auto ref =
        oracle::forwardCoefficients({p.pixels}, {64}, {32}, 64, 32, 1, 1, {luma(quality)});
    ASSERT_TRUE(mine.ok && ref.ok);
    int bad = 0;
    for (size_t i = 0; i < ref.comps[0].size(); ++i) {
      int a = mine.comps[0][i];
      const int b = ref.comps[0][i];
      if (i % 64 == 0 && a < 0) a += 1;
      if (!(a == b || (b > 0 && a == b - 1) || (b < 0 && a == b + 1))) ++bad;
    }
    EXPECT_EQ(bad, 0) << quality;
  }
}

}  // namespace
