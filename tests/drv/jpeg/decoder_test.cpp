// The decoder against libjpeg-turbo's fast integer decoding without fancy upsampling.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGCodec.h"
#include "tests/drv/jpeg/croputil.h"
#include "tests/drv/jpeg/testutil.h"

namespace {

struct Case {
  int w, h, comps, hs, vs, quality, restartMcus, restartRows;
};

std::string name(const Case& c) {
  return std::to_string(c.w) + "x" + std::to_string(c.h) + " c" + std::to_string(c.comps) + " " +
         std::to_string(c.hs) + "x" + std::to_string(c.vs) + " q" + std::to_string(c.quality) +
         " dri" + std::to_string(c.restartMcus) + "/" + std::to_string(c.restartRows);
}

const Case kCases[] = {
    {64, 48, 1, 1, 1, 75, 0, 0},   {67, 45, 1, 1, 1, 5, 0, 1},   {121, 37, 1, 1, 1, 100, 7, 0},
    {1, 1, 1, 1, 1, 50, 0, 0},     {64, 48, 3, 1, 1, 75, 0, 0},  {67, 45, 3, 2, 1, 30, 0, 1},
    {67, 45, 3, 1, 2, 90, 5, 0},   {99, 71, 3, 2, 2, 95, 3, 0},  {33, 17, 3, 2, 2, 5, 0, 2},
    {130, 66, 3, 2, 2, 100, 0, 0}, {15, 200, 3, 1, 2, 60, 1, 0}, {200, 15, 1, 1, 1, 85, 0, 1},
};

class DecoderOracle : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderOracle, WholeAndStripsMatchLibjpeg) {
  const Case c = GetParam();
  SCOPED_TRACE(name(c));
  const auto pic = oracle::makePicture(c.w, c.h, c.comps, uint32_t(c.w * 31 + c.h));
  oracle::EncodeOptions opt;
  opt.quality = c.quality;
  opt.h = c.hs;
  opt.v = c.vs;
  opt.restartInterval = c.restartMcus;
  opt.restartRows = c.restartRows;
  const auto stream = oracle::compress(pic, opt);
  ASSERT_FALSE(stream.empty());
  const auto ref = oracle::decompress(stream);
  ASSERT_TRUE(ref.ok) << ref.error;

  const auto whole = jt::engineDecode(stream);
  ASSERT_EQ(whole.rc, 1);
  ASSERT_EQ(whole.width, c.w);
  ASSERT_EQ(whole.height, c.h);
  if (c.comps == 1)
    EXPECT_EQ(jt::maxDiff(whole.pixels, ref.pic.pixels), 0);
  else
    EXPECT_LE(jt::maxDiff(whole.pixels, ref.pic.pixels), 1);
  EXPECT_GE(jt::maxDiff(whole.pixels, ref.pic.pixels), 0);

  for (int strip : {16, 32, 48}) {
    const auto part = jt::engineDecode(stream, strip);
    ASSERT_EQ(part.rc, 1) << "strip " << strip;
    EXPECT_EQ(part.pixels, whole.pixels) << "strip " << strip;
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderOracle, ::testing::ValuesIn(kCases));

// A scan of one component has one block per MCU whatever the frame's sampling factors, so a
// grey stream with factors (as a colour file turned grey keeps them) decodes like a 1x1 one.
// 67 x 37 gives an odd number of block columns and rows; factors above 2 are not supported.
TEST(DecoderGreyFactors, OneBlockPerMcuWithEveryFactorPair) {
  const auto pic = oracle::makePicture(67, 37, 1, 9);
  struct Restart {
    int mcus, rows;
  };
  for (int hs = 1; hs <= 4; ++hs) {
    for (int vs = 1; vs <= 4; ++vs) {
      for (const Restart r : {Restart{0, 0}, Restart{5, 0}, Restart{0, 1}, Restart{1, 0}}) {
        SCOPED_TRACE(std::to_string(hs) + "x" + std::to_string(vs) + " dri " +
                     std::to_string(r.mcus) + "/" + std::to_string(r.rows));
        oracle::EncodeOptions opt;
        opt.h = hs;
        opt.v = vs;
        opt.greyFactors = true;
        opt.restartInterval = r.mcus;
        opt.restartRows = r.rows;
        const auto stream = oracle::compress(pic, opt);
        const oracle::HeaderFacts facts = oracle::headerFacts(stream);
        ASSERT_TRUE(facts.ok);
        ASSERT_EQ(facts.h0 * 16 + facts.v0, hs * 16 + vs);
        const auto ref = oracle::decompress(stream);
        ASSERT_TRUE(ref.ok) << ref.error;
        ASSERT_EQ(ref.warnings, 0);
        if (hs > 2 || vs > 2) {
          EXPECT_EQ(jt::engineDecode(stream).rc, -4);
          continue;
        }
        int32_t bpp, w, h, mcus, intervals, perInterval, mcuW, mcuH;
        uint32_t id = 0;
        ASSERT_EQ(LMJPGWriteJFIF(&id, stream.data(), uint32_t(stream.size()), 0, &bpp, &w, &h,
                                 nullptr, nullptr, &mcus, &intervals, &perInterval, &mcuW, &mcuH),
                  1);
        LMJPGResetJpeg(&id);
        EXPECT_EQ(mcuW, 8);
        EXPECT_EQ(mcuH, 8);
        EXPECT_EQ(mcus, 9 * 5);
        const int interval = r.mcus ? r.mcus : r.rows * 9;
        EXPECT_EQ(intervals, interval ? (mcus + interval - 1) / interval : 1);

        const auto whole = jt::engineDecode(stream);
        ASSERT_EQ(whole.rc, 1);
        EXPECT_EQ(whole.pixels, ref.pic.pixels);
        for (int strip : {16, 32}) {
          const auto part = jt::engineDecode(stream, strip);
          EXPECT_EQ(part.rc, 1) << "strip " << strip;
          EXPECT_EQ(part.pixels, ref.pic.pixels) << "strip " << strip;
        }
      }
    }
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
}

}  // namespace

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> colourStream(int w, int h, int hs, int vs, int restartMcus, int quality = 75) {
  oracle::EncodeOptions opt;
  opt.h = hs;
  opt.v = vs;
  opt.restartInterval = restartMcus;
  opt.quality = quality;
  return oracle::compress(oracle::makePicture(w, h, 3, 7), opt);
}

std::vector<uint8_t> greyStream(int w, int h, int restartMcus = 0) {
  oracle::EncodeOptions opt;
  opt.restartInterval = restartMcus;
  return oracle::compress(oracle::makePicture(w, h, 1, 3), opt);
}

// Offset of the first marker m at a segment boundary (walks the header), or npos.
size_t findSegment(const std::vector<uint8_t>& s, uint8_t m) {
  size_t i = 2;
  while (i + 4 <= s.size() && s[i] == 0xFF) {
    if (s[i + 1] == m) return i;
    if (s[i + 1] == 0xDA) break;
    i += 2 + (size_t(s[i + 2]) << 8 | s[i + 3]);
  }
  return std::string::npos;
}

std::vector<uint8_t> insertAt(std::vector<uint8_t> s, size_t at,
                              std::initializer_list<uint8_t> bytes) {
  s.insert(s.begin() + long(at), bytes);
  return s;
}

// A fuzzing find (also a seed of the decoder and crop fuzz targets).
constexpr const char* kSecondFrameAfterDnl =
    "ffd8ffdb0043000101010101010101010101010101010101010101010101010101010101010101010101010101"
    "0101010101010101010101010101010101010101010101010101ffc0000b080008000801011100ffc4001400"
    "0100000000000000000000000000000000ffc40014100100000000000000000000000000000000ffda000801"
    "0100003f0000ffdc00040008ffc00011080008000803011100021100031100ffd9";

Bytes fromHex(const char* hex) {
  Bytes out;
  for (const char* p = hex; p[0] && p[1]; p += 2)
    out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
  return out;
}

int headerInfo(const std::vector<uint8_t>& s, int32_t* xres = nullptr, int32_t* strips = nullptr) {
  int32_t bpp, w, h, x, y, mcus, st, smc, mw, mh;
  const int rc = LMJPGWriteJFIF(nullptr, s.data(), uint32_t(s.size()), 1, &bpp, &w, &h, &x, &y,
                                &mcus, &st, &smc, &mw, &mh);
  if (xres) *xres = x;
  if (strips) *strips = st;
  return rc;
}

TEST(DecoderStreams, SpecialFormsDecodeLikeTheirPlainForm) {
  const auto plain = colourStream(70, 50, 2, 2, 3);
  const auto ref = jt::engineDecode(plain);
  ASSERT_EQ(ref.rc, 1);
  const auto lj = oracle::decompress(plain);
  ASSERT_LE(jt::maxDiff(ref.pixels, lj.pic.pixels), 1);

  // No EOI: decoded as far as the data goes.
  auto noEoi = plain;
  noEoi.resize(noEoi.size() - 2);
  EXPECT_EQ(jt::engineDecode(noEoi).pixels, ref.pixels);

  // Height 0 in the frame and a DNL segment behind the data.
  auto dnl = plain;
  const size_t sof = findSegment(dnl, 0xC0);
  ASSERT_NE(sof, std::string::npos);
  dnl[sof + 5] = 0;
  dnl[sof + 6] = 0;
  dnl = insertAt(dnl, dnl.size() - 2, {0xFF, 0xDC, 0x00, 0x04, 0x00, 50});
  const auto d = jt::engineDecode(dnl, 16);
  EXPECT_EQ(d.height, 50);
  EXPECT_EQ(d.pixels, ref.pixels);

  // Restart numbers out of order (each four ahead, which libjpeg also takes as the expected).
  auto shuffled = plain;
  const size_t sos = findSegment(shuffled, 0xDA);
  int restarts = 0;
  for (size_t i = sos + 2; i + 1 < shuffled.size(); ++i)
    if (shuffled[i] == 0xFF && shuffled[i + 1] >= 0xD0 && shuffled[i + 1] <= 0xD7) {
      shuffled[i + 1] = uint8_t(0xD0 + ((shuffled[i + 1] - 0xD0 + 4) & 7));
      ++restarts;
    }
  ASSERT_GT(restarts, 3);
  const auto ljShuffled = oracle::decompress(shuffled);
  ASSERT_TRUE(ljShuffled.ok);
  EXPECT_EQ(ljShuffled.pic.pixels, lj.pic.pixels);
  EXPECT_EQ(jt::engineDecode(shuffled, 32).pixels, ref.pixels);
}

TEST(DecoderStreams, RestartIntervalsBecomeNodes) {
  // 70 x 50 at 2x2: 5 x 4 MCUs = 20; interval 3 gives 7 intervals.
  int32_t strips = -1;
  auto s = colourStream(70, 50, 2, 2, 3);
  ASSERT_EQ(headerInfo(s), 1);
  uint32_t id = 0;
  int32_t bpp, w, h, mcus, st, smc;
  ASSERT_EQ(LMJPGWriteJFIF(&id, s.data(), uint32_t(s.size()), 0, &bpp, &w, &h, nullptr, nullptr,
                           &mcus, &st, &smc, nullptr, nullptr),
            1);
  EXPECT_EQ(mcus, 20);
  EXPECT_EQ(st, 7);
  EXPECT_EQ(smc, 3);
  LMJPGResetJpeg(&id);

  // An empty interval (two restart markers in a row) adds no node.
  const size_t sos = findSegment(s, 0xDA);
  size_t rst = sos + 2;
  while (!(s[rst] == 0xFF && s[rst + 1] >= 0xD0 && s[rst + 1] <= 0xD7)) ++rst;
  auto twice = insertAt(s, rst, {0xFF, 0xD7});
  ASSERT_EQ(LMJPGWriteJFIF(&id, twice.data(), uint32_t(twice.size()), 0, &bpp, &w, &h, nullptr,
                           nullptr, nullptr, &strips, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(strips, 7);
  LMJPGResetJpeg(&id);
}

TEST(DecoderStreams, IntervalsBeyondTheImageAreNotKept) {
  // 16 x 16 grey with one MCU per interval: four intervals; a thousand more of one byte each
  // behind them are passed over, and the picture still decodes.
  auto s = greyStream(16, 16, 1);
  const auto ref = jt::engineDecode(s);
  ASSERT_EQ(ref.rc, 1);
  Bytes extra;
  for (int i = 0; i < 1000; ++i)
    extra.insert(extra.end(), {0xFF, uint8_t(0xD0 + (i + 3) % 8), 0x12});
  s.insert(s.end() - 2, extra.begin(), extra.end());
  int32_t strips = 0;
  ASSERT_EQ(headerInfo(s, nullptr, &strips), 1);
  uint32_t id = 0;
  int32_t bpp, w, h;
  ASSERT_EQ(LMJPGWriteJFIF(&id, s.data(), uint32_t(s.size()), 0, &bpp, &w, &h, nullptr, nullptr,
                           nullptr, &strips, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(strips, 4);
  LMJPGResetJpeg(&id);
  EXPECT_EQ(jt::engineDecode(s).pixels, ref.pixels);
}

TEST(DecoderStreams, ChannelOrdersPlaceRgbWhereTheCodeSays) {
  const auto s = colourStream(40, 24, 1, 1, 0);
  const auto rgb = jt::engineDecode(s, 0, 24, 1);
  ASSERT_EQ(rgb.rc, 1);
  struct Order {
    int seq, bits, r, g, b;
  } const orders[] = {{0, 24, 0, 1, 2}, {1, 24, 0, 1, 2}, {2, 32, 0, 1, 2},
                      {3, 24, 2, 1, 0}, {4, 32, 2, 1, 0}, {5, 32, 1, 2, 3}};
  for (const auto& o : orders) {
    const auto out = jt::engineDecode(s, 16, o.bits, o.seq);
    ASSERT_EQ(out.rc, 1) << o.seq;
    const int n = o.bits / 8;
    bool same = true;
    for (int p = 0; p < 40 * 24 && same; ++p)
      same = out.pixels[size_t(p) * n + o.r] == rgb.pixels[size_t(p) * 3] &&
             out.pixels[size_t(p) * n + o.g] == rgb.pixels[size_t(p) * 3 + 1] &&
             out.pixels[size_t(p) * n + o.b] == rgb.pixels[size_t(p) * 3 + 2];
    EXPECT_TRUE(same) << "order " << o.seq;
    if (n == 4) {
      // The fill byte is cleared, not left with staging bytes.
      const int fill = 6 - o.r - o.g - o.b;
      bool zero = true;
      for (int p = 0; p < 40 * 24; ++p) zero = zero && out.pixels[size_t(p) * 4 + fill] == 0;
      EXPECT_TRUE(zero) << "order " << o.seq;
    }
  }
  // A grey picture cannot be decoded into colour pixels and the reverse.
  const auto grey = greyStream(16, 16);
  EXPECT_EQ(jt::engineDecode(grey, 0, 24, 1).rc, -4);
  EXPECT_EQ(jt::engineDecode(s, 0, 8, 0).rc, -4);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(DecoderStreams, ExifAndForeignApp1) {
  const auto base = greyStream(16, 16);
  auto exif = [&](bool big, uint32_t num, uint32_t den) {
    std::vector<uint8_t> t = big ? std::vector<uint8_t>{'M', 'M', 0, 0x2A, 0, 0, 0, 8}
                                 : std::vector<uint8_t>{'I', 'I', 0x2A, 0, 8, 0, 0, 0};
    auto put16 = [&](uint32_t v) {
      if (big)
        t.insert(t.end(), {uint8_t(v >> 8), uint8_t(v)});
      else
        t.insert(t.end(), {uint8_t(v), uint8_t(v >> 8)});
    };
    auto put32 = [&](uint32_t v) {
      if (big)
        t.insert(t.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
      else
        t.insert(t.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    };
    put16(2);
    for (uint32_t tag : {282u, 283u}) {
      put16(tag);
      put16(5);
      put32(1);
      put32(tag == 282 ? 8 + 2 + 24 + 4 : 8 + 2 + 24 + 4 + 8);
    }
    put32(0);
    put32(num);
    put32(den);
    put32(num);
    put32(den);
    std::vector<uint8_t> seg{0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), t.begin(), t.end());
    seg[2] = uint8_t((seg.size() - 2) >> 8);
    seg[3] = uint8_t(seg.size() - 2);
    // Behind APP0, whose densities it replaces.
    auto s = base;
    s.insert(s.begin() + long(findSegment(s, 0xDB)), seg.begin(), seg.end());
    return s;
  };
  int32_t x = 0;
  EXPECT_EQ(headerInfo(exif(true, 300, 1), &x), 1);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(headerInfo(exif(false, 600, 2), &x), 1);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(headerInfo(exif(true, 200, 0), &x), 1);
  EXPECT_EQ(x, 200);
  // A directory count that reaches past the segment is a damaged header.
  auto bad = exif(true, 300, 1);
  bad[findSegment(bad, 0xE1) + 4 + 6 + 8] = 0x7F;
  EXPECT_EQ(headerInfo(bad), -302);

  // XMP in APP1: skipped; the header-only parse reports it, the decode goes on.
  const std::string xmp = "http://ns.adobe.com/xap/1.0/";
  std::vector<uint8_t> seg{0xFF, 0xE1, 0, uint8_t(xmp.size() + 3)};
  seg.insert(seg.end(), xmp.begin(), xmp.end());
  seg.push_back(0);
  auto s = base;
  s.insert(s.begin() + 2, seg.begin(), seg.end());
  EXPECT_EQ(headerInfo(s), -302);
  EXPECT_EQ(jt::engineDecode(s).pixels, jt::engineDecode(base).pixels);
}

TEST(DecoderStreams, UnsupportedAndDamagedHeaders) {
  const auto base = greyStream(24, 24);
  ASSERT_EQ(jt::engineDecode(base).rc, 1);
  // Progressive frame.
  auto prog = base;
  prog[findSegment(prog, 0xC0) + 1] = 0xC2;
  EXPECT_EQ(jt::engineDecode(prog).rc, -4);
  // A 16-bit quantisation table.
  auto dqt16 = base;
  const size_t q = findSegment(dqt16, 0xDB);
  dqt16[q + 3] = uint8_t(dqt16[q + 3] + 64);  // length now 2 + 129
  dqt16[q + 4] = 0x10;
  dqt16.insert(dqt16.begin() + long(q + 5 + 64), 64, uint8_t(1));
  EXPECT_EQ(jt::engineDecode(dqt16).rc, -302);
  // A segment length that reaches past the data.
  auto longSeg = base;
  longSeg[findSegment(longSeg, 0xC4) + 2] = 0xFF;
  EXPECT_EQ(jt::engineDecode(longSeg).rc, -302);
  // APP0 that is not JFIF.
  auto app0 = base;
  app0[findSegment(app0, 0xE0) + 4] = 'X';
  EXPECT_EQ(jt::engineDecode(app0).rc, -302);
  // Precision 12 and four components are not supported.
  auto p12 = base;
  p12[findSegment(p12, 0xC0) + 4] = 12;
  EXPECT_EQ(jt::engineDecode(p12).rc, -4);
  // No entropy-coded data at all.
  std::vector<uint8_t> headerOnly(base.begin(), base.begin() + long(findSegment(base, 0xDA)));
  headerOnly.insert(headerOnly.end(), {0xFF, 0xD9});
  EXPECT_EQ(jt::engineDecode(headerOnly).rc, -302);
  // A Huffman table with more codes than its lengths allow.
  auto dht = base;
  dht[findSegment(dht, 0xC4) + 5] = 3;  // three codes of length 1
  EXPECT_EQ(jt::engineDecode(dht).rc, -302);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

// A frame header that is not the first, or a table that the frame or the scan names and no
// segment defined, refuses the stream as a damaged header, through the engine, the decoder
// entry and the crop entry alike.
TEST(DecoderStreams, SecondFrameOrUndefinedTablesAreDamagedHeaders) {
  const auto base = greyStream(24, 24);
  ASSERT_EQ(jt::engineDecode(base).rc, 1);
  const size_t sof = findSegment(base, 0xC0);
  const Bytes frame(base.begin() + long(sof), base.begin() + long(sof + 2 + 11));
  struct Damaged {
    const char* name;
    Bytes stream;
    int headerOnly;  // what the header-only parse answers
  };
  std::vector<Damaged> cases;
  // Found by fuzzing: a grey frame and scan, a DNL behind the data, then a colour frame
  // whose components 2 and 3 never got table ids.
  cases.push_back({"colour frame behind DNL", fromHex(kSecondFrameAfterDnl), -302});
  Bytes twice = base;
  twice.insert(twice.begin() + long(sof), frame.begin(), frame.end());
  cases.push_back({"two frames in the header", twice, -302});
  Bytes behind = insertAt(base, base.size() - 2, {0xFF, 0xDC, 0x00, 0x04, 0x00, 24});
  behind.insert(behind.end() - 2, frame.begin(), frame.end());
  cases.push_back({"the same frame again behind DNL", behind, -302});
  Bytes quant = base;
  quant[sof + 12] = 2;  // the component's quantisation table
  cases.push_back({"quantisation table never defined", quant, 1});
  const size_t sos = findSegment(base, 0xDA);
  for (const uint8_t tables : {0x10, 0x03}) {
    Bytes huff = base;
    huff[sos + 6] = tables;  // DC id high nibble, AC id low nibble
    cases.push_back({"Huffman table never defined", huff, 1});
  }
  for (const Damaged& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(jt::engineDecode(c.stream).rc, -302);
    EXPECT_EQ(headerInfo(c.stream), c.headerOnly);

    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    ni.OutImage.JPEGDecodeLines = 16;
    uint64_t size = c.stream.size();
    void* out = nullptr;
    long status = 0;
    EXPECT_NE(JpegDecoder(const_cast<uint8_t*>(c.stream.data()), &out, &ni, &size, &status), 0);
    EXPECT_EQ(out, nullptr);
    JpegDecoder(nullptr, nullptr, &ni, nullptr, &status);

    ni = ct::deviceJpegRecord(8, false, true);
    ni.InImage.Line = 24;
    const ct::CropOutput crop =
        ct::cropOutput(ni, const_cast<uint8_t*>(c.stream.data()), c.stream.size());
    EXPECT_NE(crop.msg, 0);
    EXPECT_EQ(crop.status, -1007);
    EXPECT_TRUE(crop.bytes.empty());
    EXPECT_EQ(ni.OutImage.InternalUse, 0);
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(DecoderStreams, McuThatFailsInsideARowIsFilledInItsOwnPlace) {
  // A uniform picture codes every MCU after the first alike (DC difference 0 and EOB), so the
  // MCUs' bounds can be found in the data. One bits laid over the data from the start of an MCU
  // in the middle of a row make no code: that MCU fails, the MCUs of the row before it must
  // stay decoded and it must become mid-grey.
  struct Damage {
    int comps, sampling;
    const char* mcuBits;  // DC 0 and EOB of each block
  };
  const Damage kDamages[] = {{1, 0, "001010"}, {3, 32, "00101000101000000000"}};
  for (const Damage& d : kDamages) {
    for (int strip : {0, 16}) {
      SCOPED_TRACE(std::to_string(d.comps) + " components, strip " + std::to_string(strip));
      oracle::Picture p;
      p.width = 320;
      p.height = 32;
      p.comps = d.comps;
      p.pixels.assign(size_t(p.width) * p.height * size_t(d.comps), 200);
      const auto e = jt::engineEncode(p, 75, d.sampling);
      ASSERT_EQ(e.rc, 1);
      const auto intact = jt::engineDecode(e.stream, strip);
      ASSERT_EQ(intact.rc, 1);
      const int mcuW = d.comps == 1 ? 8 : 16, mcusPerRow = p.width / mcuW;
      const int mcus = mcusPerRow * p.height / 8;

      // The data's bits, stuffing removed.
      const auto ent = oracle::entropyData(e.stream);
      const size_t start = e.stream.size() - 2 - ent.size();
      std::vector<uint8_t> bits;
      for (size_t i = 0; i < ent.size(); ++i) {
        for (int k = 7; k >= 0; --k) bits.push_back((ent[i] >> k) & 1);
        if (ent[i] == 0xFF) ++i;
      }
      // Where the repeated MCU begins (its pattern has no shorter period, so this is an MCU
      // bound).
      const std::string pat = d.mcuBits;
      const size_t period = pat.size();
      size_t first = 0;
      auto repeatsFrom = [&](size_t k) {
        for (size_t i = 0; i < size_t(mcus - 2) * period; ++i)
          if (k + i >= bits.size() || bits[k + i] != uint8_t(pat[i % period] - '0')) return false;
        return true;
      };
      while (first < 64 && !repeatsFrom(first)) ++first;
      ASSERT_LT(first, 64u);
      // From an MCU half way along the third row on, 32 one bits.
      const size_t at = first + size_t(2 * mcusPerRow + mcusPerRow / 2 - 1) * period;
      for (size_t i = at; i < at + 32; ++i) bits[i] = 1;
      std::vector<uint8_t> damaged(e.stream.begin(), e.stream.begin() + long(start));
      for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k) v = uint8_t(v << 1 | bits[i + size_t(k)]);
        damaged.push_back(v);
        if (v == 0xFF) damaged.push_back(0x00);
      }
      damaged.push_back(0xFF);
      damaged.push_back(0xD9);

      const auto got = jt::engineDecode(damaged, strip);
      ASSERT_LT(got.rc, 0);
      ASSERT_EQ(got.pixels.size(), intact.pixels.size());
      const size_t bpl = size_t(p.width) * size_t(d.comps);
      // MCU (row, col) equal to the intact picture's (value < 0) or all `value`.
      auto mcuIs = [&](int row, int col, int value) {
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < mcuW * d.comps; ++x) {
            const size_t i = size_t(row * 8 + y) * bpl + size_t(col * mcuW * d.comps + x);
            if (got.pixels[i] != (value < 0 ? intact.pixels[i] : uint8_t(value))) return false;
          }
        return true;
      };
      int firstRow = -1, firstCol = -1;
      for (int row = 0; row < p.height / 8 && firstRow < 0; ++row)
        for (int col = 0; col < mcusPerRow; ++col)
          if (!mcuIs(row, col, -1)) {
            firstRow = row;
            firstCol = col;
            break;
          }
      ASSERT_EQ(firstRow, 2);
      EXPECT_GT(firstCol, 0);
      EXPECT_TRUE(mcuIs(firstRow, firstCol, 128));
    }
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(DecoderStreams, TruncatedStreamsFailCleanlyOrDecodeWhatIsThere) {
  const auto s = colourStream(48, 40, 2, 1, 4);
  for (size_t cut = 1; cut < s.size(); cut += (cut < 700 ? 7 : 41)) {
    std::vector<uint8_t> t(s.begin(), s.begin() + long(cut));
    const auto r = jt::engineDecode(t, 16);
    EXPECT_TRUE(r.rc == 1 || r.rc == -4 || r.rc == -301 || r.rc == -302 || r.rc == -2)
        << cut << " " << r.rc;
  }
  // Cut inside the entropy data: the missing intervals are reported as data that ran out.
  std::vector<uint8_t> half(s.begin(), s.begin() + long(s.size() * 3 / 4));
  EXPECT_EQ(jt::engineDecode(half).rc, -301);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(DecoderStreams, RandomMutationsStayInBounds) {
  // A bounded, deterministic fuzz loop: the sanitizers do the checking.
  const std::vector<uint8_t> seeds[] = {colourStream(40, 24, 2, 2, 2), greyStream(30, 20, 3),
                                        colourStream(17, 33, 1, 2, 0)};
  uint32_t rnd = 12345;
  auto next = [&]() {
    rnd = rnd * 1103515245u + 12345u;
    return rnd >> 8;
  };
  int decoded = 0;
  for (int iter = 0; iter < 600; ++iter) {
    auto s = seeds[iter % 3];
    const int edits = 1 + int(next() % 6);
    for (int e = 0; e < edits; ++e) {
      const size_t at = next() % s.size();
      switch (next() % 4) {
        case 0:
          s[at] = uint8_t(next());
          break;
        case 1:
          s[at] = 0xFF;
          break;
        case 2:
          s.erase(s.begin() + long(at));
          break;
        default:
          s.insert(s.begin() + long(at), uint8_t(next()));
          break;
      }
    }
    if (iter % 5 == 0) s.resize(next() % s.size() + 1);
    const auto r = jt::engineDecode(s, (iter & 1) ? 16 : 0, 0, int(next() % 6));
    decoded += r.rc == 1;
    headerInfo(s);
  }
  EXPECT_GT(decoded, 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(DecoderCore, InverseTransformClampsToBytes) {
  int16_t coef[64] = {};
  int32_t mul[64];
  for (int& m : mul) m = 1;
  uint8_t out[64];
  coef[0] = int16_t(-129 * 32);
  jpgIdctBlock(coef, mul, out, 8);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[63], 0);
  coef[0] = int16_t(200 * 32);
  jpgIdctBlock(coef, mul, out, 8);
  EXPECT_EQ(out[27], 255);
  coef[0] = int16_t(-10 * 32);
  jpgIdctBlock(coef, mul, out, 8);
  EXPECT_EQ(out[9], 118);
}

TEST(DecoderCore, GreyConversionInPlaceCopiesNothingAndBadArgumentsAreRefused) {
  uint8_t buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(jpgConvertYCbCrToRGB(buf, buf, 8, 1, 1, 0, 4, 2, 4, 4, 2, 4, 12), 1);
  EXPECT_EQ(buf[5], 6);
  EXPECT_EQ(jpgConvertYCbCrToRGB(buf, buf, 8, 1, 3, 0, 4, 2, 4, 4, 2, 4, 12), -4);
  EXPECT_EQ(jpgConvertYCbCrToRGB(buf, buf, 8, 2, 3, 0, 4, 2, 4, 4, 2, 4, 12), -4);
  EXPECT_EQ(jpgConvertYCbCrToRGB(nullptr, buf, 8, 3, 3, 0, 4, 2, 4, 4, 2, 4, 12), -2);
  EXPECT_EQ(jpgConvertYCbCrToRGB(buf, buf, 8, 3, 3, 6, 1, 1, 4, 1, 1, 4, 12), -2);
}

}  // namespace

namespace {

TEST(DecoderCore, RowConversionEqualsTheTableConversion) {
  // The row converter (vector code for eight pixels at a time) against the per-pixel table
  // conversion, for every order, both pixel widths, both chroma spacings and odd widths.
  uint32_t rnd = 99;
  auto next = [&]() {
    rnd = rnd * 1664525u + 1013904223u;
    return uint8_t(rnd >> 24);
  };
  jpgYccTablesOnce();
  for (int shift = 0; shift <= 1; ++shift)
    for (int seqCode = 0; seqCode < 6; ++seqCode)
      for (uint32_t bpp : {3u, 4u})
        for (int width : {1, 7, 8, 9, 16, 17, 33, 40}) {
          uint32_t seq[4];
          ASSERT_EQ(jpgGetRGBChannelSequence(bpp, uint32_t(seqCode), seq), 1);
          if (seq[0] >= bpp || seq[1] >= bpp || seq[2] >= bpp) continue;
          std::vector<uint8_t> Y(64), cb(64), cr(64), inter(size_t(width) * 4);
          for (int i = 0; i < 64; ++i) {
            Y[i] = next();
            cb[i] = next();
            cr[i] = next();
          }
          for (int x = 0; x < width; ++x) {
            inter[size_t(x) * 3] = Y[x];
            inter[size_t(x) * 3 + 1] = cb[x >> shift];
            inter[size_t(x) * 3 + 2] = cr[x >> shift];
          }
          std::vector<uint8_t> want(size_t(width) * bpp + 4, 0xEE), got(want);
          ASSERT_EQ(
              jpgConvertYCbCrToRGB(inter.data(), want.data(), 8, 3, bpp, uint32_t(seqCode), width,
                                   1, uint32_t(width) * 3, width, 1, uint32_t(width) * bpp, 12),
              1);
          const uint8_t* rows[3] = {Y.data(), cb.data(), cr.data()};
          const uint8_t shifts[3] = {0, uint8_t(shift), uint8_t(shift)};
          jpgConvertPlanarRow(rows, shifts, 3, got.data(), width, bpp, seq);
          EXPECT_EQ(got, want) << shift << " " << seqCode << " " << bpp << " " << width;
        }
}

}  // namespace
