// The JFIF writer: strips cut from libjpeg-turbo streams join into streams that libjpeg-turbo
// decodes to the original pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv/jpeg/KRJFIFWriter.h"
#include "tests/drv/jpeg/oracle.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Writer {
  _JFIF j;
  Writer() { memset(&j, 0, sizeof j); }
  ~Writer() { KRJFIFFree(&j); }
  int add(Bytes b) { return KRJFIFWrite(&j, b.data(), int(b.size()), 0); }
  int finish() { return KRJFIFWrite(&j, nullptr, 0, 1); }
  Bytes stream() const { return Bytes(j.pJFIF, j.pJFIF + j.nJFIFSize); }
};

// Restart intervals of a stream's entropy-coded data, without their markers.
std::vector<Bytes> intervals(const Bytes& stream) {
  const Bytes e = oracle::entropyData(stream);
  std::vector<Bytes> out(1);
  for (size_t i = 0; i < e.size(); ++i) {
    if (e[i] == 0xFF && i + 1 < e.size() && e[i + 1] >= 0xD0 && e[i + 1] <= 0xD7) {
      out.emplace_back();
      ++i;
      continue;
    }
    out.back().push_back(e[i]);
  }
  return out;
}

// Marker codes of a stream's segments up to SOS, then of the markers inside the data.
std::vector<int> markers(const Bytes& s) {
  std::vector<int> m;
  size_t i = 0;
  while (i + 1 < s.size()) {
    if (s[i] != 0xFF) return m;
    m.push_back(s[i + 1]);
    if (s[i + 1] == 0xD8) {
      i += 2;
      continue;
    }
    const size_t len = size_t(s[i + 2]) << 8 | s[i + 3];
    i += 2 + len;
    if (s[i - len - 1] == 0xDA) break;
  }
  for (; i + 1 < s.size(); ++i)
    if (s[i] == 0xFF && s[i + 1] != 0x00) m.push_back(s[++i]);
  return m;
}

std::vector<uint8_t> tableOf(const oracle::Coefficients& k, size_t comp) {
  std::vector<uint8_t> t(64);
  for (int i = 0; i < 64; ++i) t[i] = uint8_t(k.quant[comp][i]);
  return t;
}

struct BareCase {
  int w, h, comps, hs, vs, sampling, rows;
};

class BareStrips : public ::testing::TestWithParam<BareCase> {};

TEST_P(BareStrips, JoinIntoTheOriginalPicture) {
  const BareCase c = GetParam();
  const auto pic = oracle::makePicture(c.w, c.h, c.comps, 11);
  oracle::EncodeOptions opt;
  opt.h = c.hs;
  opt.v = c.vs;
  opt.restartRows = c.rows;
  const Bytes src = oracle::compress(pic, opt);
  const auto ref = oracle::decompress(src);
  ASSERT_TRUE(ref.ok);
  const auto k = oracle::readCoefficients(src);
  auto luma = tableOf(k, 0);
  auto chroma = c.comps == 3 ? tableOf(k, 1) : luma;

  Writer w;
  w.j.nBitPerPixel = 8 * c.comps;
  w.j.nWidth = c.w;
  w.j.nHeight = c.h;
  w.j.nHeightStrip = 8 * c.vs * c.rows;
  w.j.nResolutionX = 300;
  w.j.nResolutionY = 200;
  w.j.nSampling = c.sampling;
  w.j.nDRI = -1;
  w.j.pLumaTable = luma.data();
  w.j.pChromaTable = c.comps == 3 ? chroma.data() : nullptr;
  const auto parts = intervals(src);
  ASSERT_GT(parts.size(), 2u);
  for (const auto& p : parts) ASSERT_EQ(w.add(p), 1);
  ASSERT_EQ(w.finish(), 1);
  const Bytes out = w.stream();

  const auto dec = oracle::decompress(out);
  ASSERT_TRUE(dec.ok) << dec.error;
  EXPECT_EQ(dec.warnings, 0);
  EXPECT_EQ(dec.pic.pixels, ref.pic.pixels);
  const auto f = oracle::headerFacts(out);
  EXPECT_TRUE(f.jfif);
  EXPECT_EQ(f.width, c.w);
  EXPECT_EQ(f.height, c.h);
  EXPECT_EQ(f.comps, c.comps);
  EXPECT_EQ(f.h0, c.comps == 3 ? c.hs : 1);
  EXPECT_EQ(f.v0, c.comps == 3 ? c.vs : 1);
  EXPECT_EQ(f.densityUnit, 1);
  EXPECT_EQ(f.xDensity, 300);
  EXPECT_EQ(f.yDensity, 200);
  EXPECT_EQ(f.restartInterval, (c.w + 8 * c.hs - 1) / (8 * c.hs) * c.rows);
  EXPECT_EQ(w.j.nDRI, f.restartInterval);
}

const BareCase kBare[] = {{64, 64, 3, 2, 2, 3, 1},
                          {70, 50, 3, 2, 1, 1, 2},
                          {45, 40, 3, 1, 2, 2, 1},
                          {33, 30, 3, 1, 1, 0, 1},
                          {50, 47, 1, 1, 1, 0, 2}};
INSTANTIATE_TEST_SUITE_P(Pictures, BareStrips, ::testing::ValuesIn(kBare));

TEST(JfifWriter, StripsWithTheirOwnHeadersJoin) {
  // A 24-bit 2x2 page of four bands of 32 lines and a last one of 13, each its own JPEG file.
  const int w = 72, band = 32, h = 4 * band + 13;
  const auto pic = oracle::makePicture(w, h, 3, 5);
  oracle::EncodeOptions opt;
  opt.h = opt.v = 2;
  Writer wr;
  wr.j.nDRI = -1;
  wr.j.nResolutionX = wr.j.nResolutionY = 150;
  Bytes expected;
  for (int y = 0; y < h; y += band) {
    oracle::Picture part;
    part.width = w;
    part.height = std::min(band, h - y);
    part.comps = 3;
    part.pixels.assign(pic.pixels.begin() + long(size_t(y) * w * 3),
                       pic.pixels.begin() + long(size_t(y + part.height) * w * 3));
    const Bytes file = oracle::compress(part, opt);
    const auto d = oracle::decompress(file);
    expected.insert(expected.end(), d.pic.pixels.begin(), d.pic.pixels.end());
    ASSERT_EQ(wr.add(file), 1) << y;
  }
  ASSERT_EQ(wr.finish(), 1);
  EXPECT_EQ(wr.j.nHeight, h);
  const Bytes out = wr.stream();
  const auto dec = oracle::decompress(out);
  ASSERT_TRUE(dec.ok) << dec.error;
  EXPECT_EQ(dec.warnings, 0);
  EXPECT_EQ(dec.pic.pixels, expected);
  const auto f = oracle::headerFacts(out);
  EXPECT_EQ(f.height, h);
  EXPECT_EQ(f.restartInterval, 5 * 2);
  EXPECT_EQ(f.xDensity, 150);
  // The data's own APP0 is gone: exactly one JFIF segment, right behind SOI.
  const auto m = markers(out);
  ASSERT_GE(m.size(), 4u);
  EXPECT_EQ(m[0], 0xD8);
  EXPECT_EQ(m[1], 0xE0);
  EXPECT_EQ(m[2], 0xFE);
  EXPECT_EQ(m[3], 0xDD);
  EXPECT_EQ(std::count(m.begin(), m.end(), 0xE0), 1);
}

TEST(JfifWriter, ByteSplitChunksJoinUnchanged) {
  for (int restartRows : {0, 1}) {
    const auto pic = oracle::makePicture(90, 70, 3, 8);
    oracle::EncodeOptions opt;
    opt.h = 2;
    opt.restartRows = restartRows;
    const Bytes src = oracle::compress(pic, opt);
    const auto ref = oracle::decompress(src);
    const size_t headerEnd = src.size() - oracle::entropyData(src).size() - 2;
    for (size_t chunk : {size_t(1), size_t(7), size_t(300)}) {
      Writer wr;
      std::vector<Bytes> parts;
      size_t at = headerEnd + 1;
      parts.emplace_back(src.begin(), src.begin() + long(at));
      for (; at < src.size(); at += chunk)
        parts.emplace_back(src.begin() + long(at),
                           src.begin() + long(std::min(src.size(), at + chunk)));
      for (const auto& p : parts) ASSERT_EQ(wr.add(p), 1);
      ASSERT_EQ(wr.finish(), 1);
      const auto dec = oracle::decompress(wr.stream());
      ASSERT_TRUE(dec.ok) << dec.error;
      EXPECT_EQ(dec.warnings, 0) << chunk;
      EXPECT_EQ(dec.pic.pixels, ref.pic.pixels) << chunk;
      EXPECT_EQ(oracle::headerFacts(wr.stream()).restartInterval, restartRows ? 6 : 0);
    }
  }
}

TEST(JfifWriter, ThreeBareStripsGetTheSegmentsInOrder) {
  uint8_t luma[64], chroma[64];
  ASSERT_EQ(KRJFIFGetQuantTb(1, 3, 0, 800, 600, luma, chroma), 1);
  Writer wr;
  wr.j.nBitPerPixel = 24;
  wr.j.nWidth = 64;
  wr.j.nHeight = 48;
  wr.j.nDRI = 100;
  wr.j.pLumaTable = luma;
  wr.j.pChromaTable = chroma;
  ASSERT_EQ(wr.add({0x11, 0x22}), 1);
  ASSERT_EQ(wr.add({0x33}), 1);
  ASSERT_EQ(wr.add({0x44, 0x55, 0x66}), 1);
  ASSERT_EQ(wr.finish(), 1);
  const Bytes s = wr.stream();
  EXPECT_EQ(markers(s), (std::vector<int>{0xD8, 0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4,
                                          0xC4, 0xDD, 0xDA, 0xD0, 0xD1, 0xD9}));
  const Bytes tail(s.end() - 12, s.end());
  EXPECT_EQ(tail, (Bytes{0x11, 0x22, 0xFF, 0xD0, 0x33, 0xFF, 0xD1, 0x44, 0x55, 0x66, 0xFF, 0xD9}));
  // The DRI carries 100; the DHT segments are 432 bytes in all.
  const size_t dri = s.size() - 12 - 14 - 6;
  EXPECT_EQ(Bytes(s.begin() + long(dri), s.begin() + long(dri + 6)),
            (Bytes{0xFF, 0xDD, 0, 4, 0, 100}));
  EXPECT_EQ(s.size(), size_t(2 + 18 + 58 + 69 + 69 + 19 + 432 + 6 + 14 + 12));

  // The same strips with no restart interval are joined with nothing between them.
  Writer plain;
  plain.j = wr.j;
  memset(&plain.j.in, 0, sizeof plain.j.in);
  plain.j.pJFIF = nullptr;
  plain.j.nJFIFSize = plain.j.nJFIFMemSize = 0;
  plain.j.nDRI = 0;
  plain.add({0x11, 0x22});
  plain.add({0x33});
  plain.add({0x44, 0x55, 0x66});
  ASSERT_EQ(plain.finish(), 1);
  const Bytes p = plain.stream();
  EXPECT_EQ(Bytes(p.end() - 8, p.end()), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF, 0xD9}));
}

TEST(JfifWriter, OneBitPagesGetAJbigHeader) {
  Writer wr;
  wr.j.nBitPerPixel = 1;
  wr.j.nWidth = 0x1234;
  wr.j.nHeight = 0x0567;
  ASSERT_EQ(wr.add({0xAA, 0xBB}), 1);
  ASSERT_EQ(wr.add({0xCC}), 1);
  ASSERT_EQ(wr.finish(), 1);
  EXPECT_EQ(wr.stream(), (Bytes{0, 0, 1, 0,    0,    0, 0x12, 0x34, 0,    0,    0x05, 0x67,
                                0, 0, 0, 0x80, 0x10, 0, 0,    0x40, 0xAA, 0xBB, 0xCC}));
}

TEST(JfifWriter, FailuresOfTheCallAndTheFinish) {
  uint8_t luma[64] = {}, chroma[64] = {};
  Bytes strip(100, 0x42);
  EXPECT_EQ(KRJFIFWrite(nullptr, strip.data(), 100, 0), -1);
  {
    Writer w;
    EXPECT_EQ(KRJFIFWrite(&w.j, strip.data(), 100, -1), -1);
    w.j.nWidth = 70000;
    EXPECT_EQ(w.add(strip), -1);
    w.j.nWidth = 10;
    w.j.nDRI = -2;
    EXPECT_EQ(w.add(strip), -8);
  }
  {
    // Finishing before any data: the header area is not there yet.
    Writer w;
    w.j.nBitPerPixel = 8;
    w.j.pLumaTable = luma;
    EXPECT_EQ(w.finish(), -4);
  }
  auto colour = [&](Writer& w, int sampling, int dri, int strip) {
    w.j.nBitPerPixel = 24;
    w.j.nWidth = 64;
    w.j.nHeight = 64;
    w.j.nSampling = sampling;
    w.j.nDRI = dri;
    w.j.nHeightStrip = strip;
    w.j.pLumaTable = luma;
    w.j.pChromaTable = chroma;
  };
  {
    Writer w;
    colour(w, 4, 0, 0);
    ASSERT_EQ(w.add(strip), 1);
    EXPECT_EQ(w.finish(), -1);
  }
  {
    // An interval to derive without a strip height: refused, never written as 0xFFFF.
    Writer w;
    colour(w, 0, -1, 0);
    ASSERT_EQ(w.add(strip), 1);
    EXPECT_EQ(w.finish(), -1);
  }
  {
    // A strip height that breaks the sampling's rule with an interval of its own: the header
    // is written with that interval and the failure reported.
    Writer w;
    colour(w, 2, 100, 24);
    ASSERT_EQ(w.add(strip), 1);
    EXPECT_EQ(w.finish(), -1);
    const Bytes s = w.stream();
    EXPECT_EQ(markers(s)[10], 0xDD);
  }
  {
    // No luma table.
    Writer w;
    colour(w, 0, 0, 0);
    w.j.pLumaTable = nullptr;
    ASSERT_EQ(w.add(strip), 1);
    EXPECT_EQ(w.finish(), -1);
  }
  {
    // Nothing more after the finish.
    Writer w;
    colour(w, 0, 0, 0);
    ASSERT_EQ(w.add(strip), 1);
    ASSERT_EQ(w.finish(), 1);
    EXPECT_EQ(w.add(strip), -4);
    EXPECT_EQ(w.finish(), -4);
  }
  {
    // A strip header that claims more than the strip holds.
    Writer w;
    Bytes bad{0xFF, 0xD8, 0xFF, 0xDB, 0x40, 0x00, 1, 2, 3};
    EXPECT_EQ(w.add(bad), -1);
    Bytes noSos{0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, 'x', 0x11, 0x22};
    Writer w2;
    EXPECT_EQ(w2.add(noSos), -1);
  }
}

TEST(JfifWriter, BlockGrowsForBigStripsAndManySmallOnes) {
  uint8_t luma[64];
  uint8_t chroma[64];
  KRJFIFGetQuantTb(1, 1, 0, 100, 100, luma, chroma);
  Writer w;
  w.j.nBitPerPixel = 8;
  w.j.nWidth = 64;
  w.j.nHeight = 64;
  w.j.pLumaTable = luma;
  ASSERT_EQ(w.add(Bytes(1000, 0x01)), 1);
  const int first = w.j.nJFIFMemSize;
  Bytes big(size_t(first) + 3 * 1024 * 1024, 0x02);
  big.back() = 0x03;
  ASSERT_EQ(w.add(big), 1);
  EXPECT_GE(w.j.nJFIFMemSize, w.j.nJFIFSize);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(w.add(Bytes(700, uint8_t(i))), 1);
  ASSERT_EQ(w.finish(), 1);
  const Bytes s = w.stream();
  ASSERT_EQ(s.size(),
            size_t(2 + 18 + 58 + 69 + 13 + 216 + 10) + 1000 + big.size() + 3000 * 700 + 2);
  EXPECT_EQ(s[s.size() - 3], uint8_t(2999 % 256));
  EXPECT_EQ(s[s.size() - 3 - 3000 * 700], 0x03);
}

TEST(JfifWriter, CallersOwnBufferGetsTheStreamAtItsStart) {
  uint8_t luma[64];
  uint8_t chroma[64];
  KRJFIFGetQuantTb(1, 1, 0, 100, 100, luma, chroma);
  Bytes buffer(4096, 0xEE);
  _JFIF j;
  memset(&j, 0, sizeof j);
  j.pJFIF = buffer.data();
  j.nJFIFMemSize = int32_t(buffer.size());
  j.nBitPerPixel = 8;
  j.nWidth = j.nHeight = 8;
  j.pLumaTable = luma;
  Bytes strip{1, 2, 3};
  ASSERT_EQ(KRJFIFWrite(&j, strip.data(), 3, 1), 1);
  EXPECT_EQ(j.pJFIF, buffer.data());
  EXPECT_EQ(j.in.pJFIFMem, nullptr);
  EXPECT_EQ(buffer[0], 0xFF);
  EXPECT_EQ(buffer[1], 0xD8);
  EXPECT_EQ(Bytes(buffer.begin() + j.nJFIFSize - 5, buffer.begin() + j.nJFIFSize),
            (Bytes{1, 2, 3, 0xFF, 0xD9}));
  // A strip that does not fit the caller's buffer is a calling-sequence error.
  Bytes huge(5000, 0);
  EXPECT_EQ(KRJFIFWrite(&j, huge.data(), int(huge.size()), 0), -4);
  KRJFIFFree(&j);
  EXPECT_EQ(j.pJFIF, nullptr);
}

TEST(JfifWriter, RestartIntervalOfAStrip) {
  struct Row {
    int sampling, bits, width, strip, rc, dri;
  } const rows[] = {
      {0, 24, 2480, 16, 1, 310 * 2}, {1, 24, 2480, 16, 1, 155 * 2}, {2, 24, 2480, 16, 1, 310},
      {3, 24, 2480, 32, 1, 155 * 2}, {3, 8, 2480, 8, 1, 310},       {2, 24, 2480, 24, 0, 0},
      {1, 24, 100, 12, 0, 0},        {4, 24, 100, 16, 0, 0},        {0, 1, 100, 16, -3, 0},
      {0, 16, 100, 16, -1, 0},       {0, 8, 0, 16, -1, 0},          {0, 8, 100, 0, -1, 0},
      {0, 8, 10000, 512, -8, 0},     {0, 8, 9, 9 * 8, 1, 18},       {0, 8, 17, 8, 1, 3},
  };
  for (const auto& r : rows) {
    int dri = 12345;
    const int rc = KRJFIFGetDRI(r.sampling, r.bits, r.width, r.strip, &dri);
    EXPECT_EQ(rc, r.rc == 0 ? -1 : r.rc)
        << r.sampling << " " << r.bits << " " << r.width << " " << r.strip;
    EXPECT_EQ(dri, r.dri) << r.sampling << " " << r.bits << " " << r.width << " " << r.strip;
  }
  EXPECT_EQ(KRJFIFGetDRI(0, 8, 100, 16, nullptr), -1);
}

TEST(JfifWriter, QuantisationTablesForTheDocument) {
  uint8_t l[64], c[64];
  // 2480 x 3508, one channel: 136,090 blocks, scale 1.488.
  ASSERT_EQ(KRJFIFGetQuantTb(1, 1, 0, 2480, 3508, l, c), 1);
  EXPECT_EQ(Bytes(l, l + 8), (Bytes{10, 7, 6, 10, 16, 26, 34, 40}));
  EXPECT_EQ(c[0], 11);   // 17 / 1.488
  EXPECT_EQ(c[63], 66);  // 99 / 1.488
  EXPECT_EQ(l[63], 66);  // 99 / 1.488 under the cap of 128
  struct Row {
    int size, channels, sampling, w, h;
    uint8_t l0, l63, c63;
  } const rows[] = {
      // Small documents count as 40,000 blocks: scale 5.0625 (bias 4).
      {1, 1, 0, 100, 100, 4, 20, 20},
      // Three channels, 2x2: factor 3 on the A4 page: scale 4.464 (bias 3).
      {1, 3, 3, 2480, 3508, 4, 22, 22},
      // Size 6 multiplies by 6: scale 8.928 (bias 7); large scales meet the floor of 4.
      {6, 1, 0, 2480, 3508, 4, 11, 11},
      // A huge page: scale clamped to 1, the cap limits luma.
      {1, 1, 0, 30000, 30000, 16, 99, 99},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(KRJFIFGetQuantTb(r.size, r.channels, r.sampling, r.w, r.h, l, c), 1);
    EXPECT_EQ(l[0], r.l0) << r.w << " " << r.size;
    EXPECT_EQ(l[63], r.l63) << r.w << " " << r.size;
    EXPECT_EQ(c[63], r.c63) << r.w << " " << r.size;
  }
  // Wrong arguments leave both tables as they were.
  memset(l, 0x77, 64);
  memset(c, 0x77, 64);
  EXPECT_EQ(KRJFIFGetQuantTb(1, 2, 0, 100, 100, l, c), -1);
  EXPECT_EQ(KRJFIFGetQuantTb(1, 3, 4, 100, 100, l, c), -1);
  EXPECT_EQ(KRJFIFGetQuantTb(1, 1, 0, 100, 100, nullptr, c), -1);
  EXPECT_EQ(l[5], 0x77);
  EXPECT_EQ(c[5], 0x77);
}

TEST(JfifWriter, RecordLayoutAndWordWriter) {
  uint8_t b[2];
  PutWordBuffer(0xABCD, b);
  EXPECT_EQ(b[0], 0xAB);
  EXPECT_EQ(b[1], 0xCD);
  _JFIF j;
  memset(&j, 0xFF, sizeof j);
  j.pJFIF = nullptr;
  j.in.pJFIFMem = nullptr;
  KRJFIFFree(&j);
  for (size_t i = 0; i < sizeof j; ++i) EXPECT_EQ(reinterpret_cast<uint8_t*>(&j)[i], 0);
  KRJFIFFree(nullptr);
}

}  // namespace
