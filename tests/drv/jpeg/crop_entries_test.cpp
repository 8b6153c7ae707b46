// The image library's crop entry as the scan engine's encode thread drives it, and the decoder
// entry as its decode thread drives it.
#include <gtest/gtest.h>

#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/croputil.h"
#include "tests/drv/jpeg/testutil.h"

namespace {

using ct::Bytes;

// The joined output against the input: a page encoded once decodes exactly as the picture
// encoded whole in one call at the same quality byte (strips of whole MCU rows as restart
// intervals change no coefficient); a page held as JPEG and encoded again loses at most 4 dB of
// PSNR against that (the test pictures, full of strokes and noise, give 23 to 31 dB once).
enum Expect { kOnce, kTwice, kExact };
constexpr double kTwiceLossDb = 4.0;

// The picture encoded whole by the codec and decoded by libjpeg-turbo.
oracle::Decoded encodedOnce(const oracle::Picture& pic, uint8_t quality, int dpi) {
  uint8_t* out = nullptr;
  uint32_t size = 0;
  int64_t st = 0;
  const int bits = pic.comps * 8;
  if (jpgEncoder(pic.pixels.data(), &out, 0, quality, bits, 1, pic.width, pic.height,
                 pic.width * pic.comps, dpi, dpi, &size, &st) != 0)
    return {};
  const Bytes s(out, out + size);
  FreeMemory(out);
  return oracle::decompress(s);
}

struct PageCase {
  const char* name;
  ct::EncodeJob job;
  int width;
  double inches;
  int sides;
  Expect expect;
  bool manyStrips = false;  // the page is held in several encoded strips
};

class EncodeThreadPattern : public ::testing::TestWithParam<PageCase> {};

TEST_P(EncodeThreadPattern, JoinedOutputIsTheInput) {
  const PageCase& pc = GetParam();
  const int height = int(pc.inches * pc.job.dpi);
  NIDATA ni = ct::jobRecord(pc.job, pc.width);
  long status = 1;
  ASSERT_EQ(JpegCrop(nullptr, nullptr, nullptr, nullptr, &status, 0, nullptr),
            0);  // the thread starts
  EXPECT_EQ(status, 0);
  for (int page = 1; page <= pc.sides; ++page) {
    SCOPED_TRACE(page);
    ni.InImage.ScanType = uint8_t(pc.sides == 2 && page % 2 == 0 ? 3 : 1);
    ni.InImage.CurPages = uint16_t(page);
    const oracle::Picture pic =
        oracle::makePicture(pc.width, height, pc.job.bits / 8, uint32_t(page));
    const Bytes raw = ct::padded(pic, pc.job.padding);
    const ct::PageResult r = ct::encodePage(ni, raw, height, 7u * page);
    ASSERT_EQ(r.failure, "");
    ASSERT_FALSE(r.strips.empty());
    EXPECT_EQ(r.imageWidth, uint32_t(pc.width));
    EXPECT_EQ(r.imageHeight, uint32_t(height));
    if (!pc.job.jpegOut) {
      Bytes joined;
      for (const Bytes& s : r.strips) joined.insert(joined.end(), s.begin(), s.end());
      if (pc.expect == kExact) {
        EXPECT_TRUE(joined == pic.pixels);
      } else {
        // Held as JPEG at the conversion quality byte 0x1E (level 14, 4:4:4).
        const oracle::Decoded ref = encodedOnce(pic, 0x1E, pc.job.dpi);
        ASSERT_TRUE(ref.ok);
        EXPECT_GE(ct::psnr(joined, pic.pixels), ct::psnr(ref.pic.pixels, pic.pixels) - 1.0);
      }
      continue;
    }
    const Bytes joined = ct::joinStrips(r.strips);
    const oracle::Decoded d = oracle::decompress(joined);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.pic.width, pc.width);
    EXPECT_EQ(d.pic.height, height);
    if (pc.manyStrips) {
      EXPECT_GT(oracle::headerFacts(joined).restartInterval, 0);
    }
    const oracle::Decoded ref = encodedOnce(pic, pc.job.quality, pc.job.dpi);
    ASSERT_TRUE(ref.ok);
    if (pc.expect == kOnce) {
      EXPECT_TRUE(d.pic.pixels == ref.pic.pixels);
    } else {
      EXPECT_GE(ct::psnr(d.pic.pixels, pic.pixels),
                ct::psnr(ref.pic.pixels, pic.pixels) - kTwiceLossDb);
    }
  }
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

ct::EncodeJob job(int bits, uint8_t quality, bool compact, int dpi, bool jpegOut = true,
                  int padding = 0) {
  ct::EncodeJob j;
  j.bits = bits;
  j.quality = quality;
  j.compact = compact;
  j.dpi = dpi;
  j.jpegOut = jpegOut;
  j.padding = padding;
  return j;
}

const PageCase kPages[] = {
    // Short pages stay raw until the output call and are encoded once.
    {"short_colour_444", job(24, 0x1A, false, 100, true, 3), 200, 4.0, 2, kOnce},
    {"short_colour_2x2", job(24, 0x3A, false, 100), 176, 3.0, 1, kOnce},
    {"short_grey_2x1", job(8, 0x0A, false, 100), 150, 4.5, 2, kOnce},
    // Compact mode: JPEG strips from the first line, handed on as they are.
    {"short_compact_colour_2x1", job(24, 0x0A, true, 100), 120, 3.0, 2, kOnce},
    {"short_compact_grey", job(8, 0x1A, true, 100), 136, 3.0, 1, kOnce},
    // From 32 inches on the page is held as JPEG strips; below 42 inches it is re-encoded whole.
    {"mid_colour_2x2", job(24, 0x3A, false, 20), 64, 36.0, 2, kTwice},
    {"mid_grey_444", job(8, 0x1A, false, 20), 72, 40.0, 1, kTwice},
    // 42 inches and more: re-encoded strip by strip.
    {"long_colour_2x1", job(24, 0x0A, false, 20), 56, 45.0, 2, kTwice},
    {"long_grey_2x2", job(8, 0x3A, false, 20), 40, 60.0, 1, kTwice},
    // A page of several encoded strips joined with restart markers inside (a strip holds at most
    // 65,535 MCUs): 2 x 2 sampling needs strips of whole 16-line MCU rows.
    {"long_compact_colour_2x2_many_strips", job(24, 0x3A, true, 50), 2048, 44.0, 1, kOnce, true},
    {"mid_compact_grey_many_strips", job(8, 0x1A, true, 60), 4000, 34.0, 1, kOnce, true},
    // Raw out.
    {"short_raw_to_raw", job(24, 0, false, 100, false, 5), 90, 5.0, 2, kExact},
    {"short_grey_raw_to_raw", job(8, 0, false, 100, false), 77, 5.0, 1, kExact},
    {"mid_raw_held_as_jpeg", job(24, 0, false, 20, false), 48, 38.0, 1, kTwice},
};

INSTANTIATE_TEST_SUITE_P(Pages, EncodeThreadPattern, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace

namespace {

using ct::Bytes;

Bytes encodeWith(const oracle::Picture& p, uint8_t quality, int dpi = 100) {
  uint8_t* out = nullptr;
  uint32_t size = 0;
  int64_t st = 0;
  if (jpgEncoder(p.pixels.data(), &out, 0, quality, p.comps * 8, 1, p.width, p.height,
                 p.width * p.comps, dpi, dpi, &size, &st) != 0)
    return {};
  Bytes s(out, out + size);
  FreeMemory(out);
  return s;
}

oracle::Picture slice(const oracle::Picture& p, int y, int lines) {
  oracle::Picture s = p;
  s.height = lines;
  const size_t row = size_t(p.width) * p.comps;
  s.pixels.assign(p.pixels.begin() + long(y * row), p.pixels.begin() + long((y + lines) * row));
  return s;
}

// A page taller than a JFIF frame can be (65,520 lines to a chunk) comes out in two strips:
// the first call answers -1036 and the second 0, and each strip is a complete stream.
TEST(EncodeThreadPattern, PageOfMoreThanOneChunkComesInStrips) {
  const int width = 16, height = 70000;
  const oracle::Picture pic = oracle::makePicture(width, height, 1, 3);
  for (const bool compact : {false, true}) {
    SCOPED_TRACE(compact);
    ct::EncodeJob j;
    j.bits = 8;
    j.quality = 0x1A;
    j.compact = compact;
    j.dpi = 50;
    NIDATA ni = ct::jobRecord(j, width);
    ni.InImage.ScanType = 1;
    const ct::PageResult r = ct::encodePage(ni, pic.pixels, height, 11, 900);
    ASSERT_EQ(r.failure, "");
    ASSERT_EQ(r.strips.size(), 2u);
    EXPECT_EQ(r.heights, (std::vector<long>{65520, 4480}));
    EXPECT_EQ(r.imageHeight, uint32_t(height));
    int y = 0;
    for (size_t i = 0; i < r.strips.size(); ++i) {
      // libjpeg-turbo stops at 65,500 lines: the codec's own decoder reads the strips.
      const jt::Result d = jt::engineDecode(r.strips[i]);
      ASSERT_GE(d.rc, 0);
      EXPECT_EQ(d.width, width);
      ASSERT_EQ(d.height, r.heights[i]);
      const oracle::Picture part = slice(pic, y, int(r.heights[i]));
      if (compact) {
        // Handed on as encoded: exactly the part encoded whole.
        EXPECT_TRUE(d.pixels == jt::engineDecode(encodeWith(part, 0x1A, 50)).pixels);
      } else {
        EXPECT_GE(ct::psnr(d.pixels, part.pixels), 26.0);
      }
      y += int(r.heights[i]);
    }
  }
  EXPECT_EQ(jpgLMIdsInUse(), 0);
}

// The data source's pattern: device JPEG strips in, output strips until Status 0.
TEST(CropEntry, DeviceJpegStripsComeOutJoinable) {
  // Output strips of equal height in whole MCU rows are restart intervals of one stream.
  const oracle::Picture pic = oracle::makePicture(96, 64 * 2 + 128, 3, 5);
  std::vector<Bytes> device;
  std::vector<int> heights = {64, 64, 128};
  for (int y = 0, i = 0; i < 3; y += heights[i], ++i)
    device.push_back(oracle::compress(slice(pic, y, heights[i]), {}));
  for (const bool compact : {false, true}) {
    SCOPED_TRACE(compact);
    NIDATA ni = ct::deviceJpegRecord(24, compact, true);
    long status = 0;
    for (size_t i = 0; i < device.size(); ++i) {
      ni.InImage.Line = uint32_t(heights[i]);
      ASSERT_EQ(
          JpegCrop(device[i].data(), nullptr, &ni, nullptr, &status, device[i].size(), nullptr), 0);
      ASSERT_EQ(status, 0);
    }
    // The two 64-line strips share a chunk; the taller strip starts the next one.
    ASSERT_NE(ni.OutImage.InternalUse, 0);
    EXPECT_EQ(jpgLMContext(ni.OutImage.InternalUse)->nChunkCount, 2);
    std::vector<Bytes> out;
    std::vector<long> got;
    for (int round = 0; round < 10; ++round) {
      const ct::CropOutput o = ct::cropOutput(ni);
      ASSERT_EQ(o.msg, 0);
      out.push_back(o.bytes);
      got.push_back(o.lines);
      if (o.status == 0) break;
      ASSERT_EQ(o.status, -1036);
    }
    EXPECT_EQ(got, (std::vector<long>{128, 128}));
    EXPECT_EQ(ni.OutImage.InternalUse, 0);  // complete: the context is gone
    Bytes joined;
    if (compact) {
      // Handed on as joined: each chunk decodes exactly as its device strips.
      for (size_t k = 0, strip = 0; k < out.size(); ++k) {
        const oracle::Decoded d = oracle::decompress(out[k]);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.warnings, 0);
        Bytes expected;
        for (int l = 0; l < got[k]; l += heights[strip], ++strip) {
          const oracle::Decoded part = oracle::decompress(device[strip]);
          expected.insert(expected.end(), part.pic.pixels.begin(), part.pic.pixels.end());
        }
        EXPECT_TRUE(d.pic.pixels == expected);
      }
      continue;
    }
    joined = ct::joinStrips(out);
    const oracle::Decoded d = oracle::decompress(joined);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.pic.width, 96);
    EXPECT_EQ(d.pic.height, pic.height);
    EXPECT_GE(ct::psnr(d.pic.pixels, pic.pixels), 24.0);
  }
}

// Grey device strips whose frame carries sampling factors: their MCUs are single blocks, so the
// strips join with a restart interval of their block count and decode as libjpeg-turbo decodes
// each strip, whether handed on as raw lines or as the joined JPEG (compact).
TEST(CropEntry, GreyDeviceStripsWithSamplingFactors) {
  const int width = 88, band = 48;  // 11 block columns
  const oracle::Picture pic = oracle::makePicture(width, 3 * band, 1, 6);
  for (const auto& [hs, vs] : {std::pair{2, 2}, std::pair{2, 1}, std::pair{1, 2}}) {
    std::vector<Bytes> device;
    Bytes expected;
    for (int y = 0; y < pic.height; y += band) {
      oracle::EncodeOptions opt;
      opt.h = hs;
      opt.v = vs;
      opt.greyFactors = true;
      device.push_back(oracle::compress(slice(pic, y, band), opt));
      const oracle::Decoded d = oracle::decompress(device.back());
      ASSERT_TRUE(d.ok);
      expected.insert(expected.end(), d.pic.pixels.begin(), d.pic.pixels.end());
    }
    for (const bool compact : {false, true}) {
      SCOPED_TRACE(std::to_string(hs) + "x" + std::to_string(vs) + (compact ? " compact" : " raw"));
      NIDATA ni = ct::deviceJpegRecord(8, compact, compact);
      long status = 0;
      for (const Bytes& strip : device) {
        ni.InImage.Line = uint32_t(band);
        ASSERT_EQ(JpegCrop(const_cast<uint8_t*>(strip.data()), nullptr, &ni, nullptr, &status,
                           strip.size(), nullptr),
                  0);
        ASSERT_EQ(status, 0);
      }
      Bytes got;
      for (int round = 0; round < 10; ++round) {
        const ct::CropOutput o = ct::cropOutput(ni);
        ASSERT_EQ(o.msg, 0);
        if (compact) {
          const oracle::Decoded d = oracle::decompress(o.bytes);
          ASSERT_TRUE(d.ok) << d.error;
          EXPECT_EQ(d.warnings, 0);
          got.insert(got.end(), d.pic.pixels.begin(), d.pic.pixels.end());
        } else {
          got.insert(got.end(), o.bytes.begin(), o.bytes.end());
        }
        if (o.status == 0) break;
        ASSERT_EQ(o.status, -1036);
      }
      EXPECT_EQ(ni.OutImage.InternalUse, 0);
      EXPECT_TRUE(got == expected);
    }
  }
  EXPECT_EQ(jpgLMIdsInUse(), 0);
}

// Strips joined in a chunk: DRI of one strip, the data, RST0, the data, EOI, frame height 32.
TEST(CropContext, JpegStripsJoinIntoChunks) {
  const oracle::Picture pic = oracle::makePicture(64, 16 * 2 + 8 + 16, 1, 9);
  const Bytes a = encodeWith(slice(pic, 0, 16), 0x1A), b = encodeWith(slice(pic, 16, 16), 0x1A),
              c = encodeWith(slice(pic, 32, 8), 0x1A), d = encodeWith(slice(pic, 40, 16), 0x1A);
  uint8_t id = 0;
  int64_t st = 1;
  ASSERT_EQ(jpgLMAssignedImageId(&id, &st), 0);
  auto add = [&](const Bytes& s) {
    return jpgLMSetInput(&id, 0, 1, 0, 0, 1, 0x1A, s.data(), s.size(), 8, 0, 0, 0, 0, 100, 100,
                         &st);
  };
  ASSERT_EQ(add(a), 0);
  ASSERT_EQ(add(b), 0);
  LMJpegCropContext* ctx = jpgLMContext(id);
  ASSERT_EQ(ctx->nChunkCount, 1);
  const LMImageChunk* k = ctx->pImage;
  const Bytes chunk(k->pMemory, k->pMemory + k->nImageSize);
  const oracle::HeaderFacts facts = oracle::headerFacts(chunk);
  EXPECT_EQ(facts.height, 32);
  EXPECT_EQ(facts.restartInterval, 8 * 2);  // 8 MCUs a row, two rows a strip
  const Bytes ea = oracle::entropyData(a), eb = oracle::entropyData(b);
  Bytes expected = ea;
  expected.insert(expected.end(), {0xFF, 0xD0});
  expected.insert(expected.end(), eb.begin(), eb.end());
  EXPECT_TRUE(oracle::entropyData(chunk) == expected);
  EXPECT_EQ(chunk[chunk.size() - 2], 0xFF);
  EXPECT_EQ(chunk[chunk.size() - 1], 0xD9);
  // A shorter strip joins as the last interval and closes the chunk; the next one starts anew.
  ASSERT_EQ(add(c), 0);
  EXPECT_EQ(ctx->nChunkCount, 1);
  EXPECT_EQ(ctx->pImage->nClosed, 1);
  ASSERT_EQ(add(d), 0);
  EXPECT_EQ(ctx->nChunkCount, 2);
  EXPECT_EQ(ctx->nLines, 56);
  const oracle::Decoded whole = oracle::decompress(
      Bytes(ctx->pImage->pMemory, ctx->pImage->pMemory + ctx->pImage->nImageSize));
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(whole.warnings, 0);
  EXPECT_EQ(whole.pic.height, 40);
  // A strip of 255 bytes is refused, and the context with it.
  const Bytes tiny(a.begin(), a.begin() + 255);
  EXPECT_EQ(jpgLMSetInput(&id, 0, 1, 0, 0, 1, 0x1A, tiny.data(), tiny.size(), 8, 0, 0, 0, 0, 100,
                          100, &st),
            -4003);
  EXPECT_EQ(st, -1007);
  EXPECT_EQ(ctx->nChunkCount, 2);
  jpgLMReset(&id, 0);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
}

TEST(CropContext, EightIdsAtMost) {
  uint8_t ids[9] = {};
  int64_t st = 0;
  for (int i = 0; i < 8; ++i) ASSERT_EQ(jpgLMAssignedImageId(&ids[i], &st), 0);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[7], 8);
  EXPECT_EQ(jpgLMAssignedImageId(&ids[8], &st), -4000);
  EXPECT_EQ(st, -1015);
  EXPECT_EQ(jpgLMAssignedImageId(nullptr, &st), -4007);
  EXPECT_EQ(st, -1013);
  for (uint8_t& id : ids) jpgLMReset(&id, 0);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
}

// A raw page stays raw below 32 inches; the strip that reaches 32 inches turns it into JPEG
// strips of whole MCU rows.
TEST(CropContext, RawPageTurnsIntoJpegStripsAt32Inches) {
  const int width = 2000, dpi = 10;  // a strip holds 8 * (65535 / 250) = 2096 lines
  const oracle::Picture pic = oracle::makePicture(width, 33 * dpi, 3, 4);
  uint8_t id = 0;
  int64_t st = 0;
  ASSERT_EQ(jpgLMAssignedImageId(&id, &st), 0);
  ASSERT_EQ(jpgLMSetInput(&id, 0, 0, 0, 0, 1, 0x3A, pic.pixels.data(), 0, 24, 1, width, 31 * dpi,
                          width * 3, dpi, dpi, &st),
            0);
  LMJpegCropContext* ctx = jpgLMContext(id);
  EXPECT_EQ(ctx->nIsJpeg, 0);
  EXPECT_EQ(ctx->nLines, 310);
  ASSERT_EQ(jpgLMSetInput(&id, 0, 0, 0, 0, 1, 0x3A, &pic.pixels[size_t(310) * width * 3], 0, 24, 1,
                          width, 20, width * 3, dpi, dpi, &st),
            0);
  EXPECT_EQ(ctx->nIsJpeg, 1);
  EXPECT_EQ(ctx->nStripHeight, 2096 / 16 * 16);
  EXPECT_EQ(ctx->nStripLines, 330);  // waiting in the strip buffer
  ASSERT_EQ(jpgLMFinishInput(&id, 0, 1, 0x3A, &st), 0);
  EXPECT_EQ(ctx->nLines, 330);
  EXPECT_EQ(ctx->pStripBuf, nullptr);
  jpgLMReset(&id, 0);
}

// ---------------------------------------------------------------------------------------------
// JpegDecoder as the decode thread drives it

struct DecodeCase {
  int comps;
  uint16_t outMode;
  int bytesPerPixel;
  uint16_t stripLines;
};

TEST(DecodeThreadPattern, StripsEqualOneWholeDecode) {
  const DecodeCase cases[] = {
      {3, 0, 3, 48}, {3, 8, 4, 32}, {3, 16, 4, 128}, {1, 0, 1, 16}, {3, 4, 3, 64}};
  for (const DecodeCase& dc : cases) {
    SCOPED_TRACE(dc.outMode * 1000 + dc.stripLines);
    oracle::EncodeOptions opt;
    opt.h = opt.v = 2;
    opt.restartRows = 2;
    const oracle::Picture pic = oracle::makePicture(120, 203, dc.comps, 2);
    Bytes jpeg = oracle::compress(pic, opt);
    auto decode = [&](uint16_t posY, uint16_t lines, NIDATA& ni, void** out, long* status) {
      ni.OutImage.JPEGDecodePosY = posY;
      ni.OutImage.JPEGDecodeLines = lines;
      uint64_t size = jpeg.size();
      return JpegDecoder(jpeg.data(), out, &ni, &size, status);
    };
    NIDATA whole;
    memset(&whole, 0, sizeof whole);
    whole.OutImage.OutMode = dc.outMode;
    void* all = nullptr;
    long status = 1;
    ASSERT_EQ(decode(0, 0, whole, &all, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(+whole.InImage.Pixel, 120u);
    EXPECT_EQ(+whole.InImage.Line, 203u);
    EXPECT_EQ(whole.InImage.BitsPerPixel, dc.bytesPerPixel * 8);
    EXPECT_EQ(+whole.InImage.BytesPerLine, uint32_t(120 * dc.bytesPerPixel));
    EXPECT_EQ(whole.OutImage.InternalUse, 0);
    const Bytes expected(static_cast<uint8_t*>(all),
                         static_cast<uint8_t*>(all) + 120 * 203 * dc.bytesPerPixel);
    FreeMemory(all);

    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    ni.OutImage.OutMode = dc.outMode;
    Bytes joined;
    for (uint16_t y = 0; y < 203;) {
      // The last strip asks for just the lines that are left.
      const uint16_t lines = y + dc.stripLines >= 203 ? uint16_t(203 - y) : dc.stripLines;
      void* out = nullptr;
      ASSERT_EQ(decode(y, lines, ni, &out, &status), 0);
      ASSERT_EQ(status, 0);
      joined.insert(joined.end(), static_cast<uint8_t*>(out),
                    static_cast<uint8_t*>(out) + size_t(lines) * 120 * dc.bytesPerPixel);
      FreeMemory(out);
      y = uint16_t(y + lines);
      EXPECT_EQ(ni.OutImage.InternalUse != 0, y < 203);
    }
    EXPECT_TRUE(joined == expected);
    EXPECT_EQ(jpgIdsInUse(), 0);
  }
}

TEST(DecoderEntry, ChecksAndInformation) {
  const oracle::Picture pic = oracle::makePicture(100, 100, 3, 1);
  Bytes jpeg = oracle::compress(pic, {});
  uint64_t size = jpeg.size();
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  long status = 0;
  // 24 lines not reaching the end: refused before any decoding.
  ni.OutImage.JPEGDecodePosY = 32;
  ni.OutImage.JPEGDecodeLines = 24;
  void* out = nullptr;
  EXPECT_EQ(JpegDecoder(jpeg.data(), &out, &ni, &size, &status), -4003);
  EXPECT_EQ(status, -1007);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(jpgIdsInUse(), 0);
  // A later line without a strip height.
  ni.OutImage.JPEGDecodeLines = 0;
  EXPECT_EQ(JpegDecoder(jpeg.data(), &out, &ni, &size, &status), -4003);
  // No output address: the picture facts only.
  ni.OutImage.JPEGDecodePosY = 0;
  EXPECT_EQ(JpegDecoder(jpeg.data(), nullptr, &ni, &size, &status), 0);
  EXPECT_EQ(ni.InImage.BitsPerPixel, 24);
  EXPECT_EQ(+ni.InImage.Pixel, 100u);
  EXPECT_EQ(+ni.InImage.Line, 100u);
  EXPECT_EQ(+ni.InImage.BytesPerLine, 300u);
  EXPECT_EQ(ni.InImage.SamplePerPixel, 3);
  EXPECT_EQ(jpgIdsInUse(), 0);
  // No record, or input without its size.
  EXPECT_EQ(JpegDecoder(jpeg.data(), &out, nullptr, &size, &status), -4003);
  EXPECT_EQ(status, -1013);
  EXPECT_EQ(JpegDecoder(jpeg.data(), &out, &ni, nullptr, &status), -4003);
  EXPECT_EQ(status, -1013);
  uint64_t zero = 0;
  EXPECT_EQ(JpegDecoder(jpeg.data(), &out, &ni, &zero, &status), -4007);
  EXPECT_EQ(status, -1018);
  // A run left open is closed by the call without input and output.
  ni.OutImage.JPEGDecodeLines = 16;
  ASSERT_EQ(JpegDecoder(jpeg.data(), &out, &ni, &size, &status), 0);
  FreeMemory(out);
  EXPECT_NE(ni.OutImage.InternalUse, 0);
  EXPECT_EQ(JpegDecoder(nullptr, nullptr, &ni, nullptr, &status), 0);
  EXPECT_EQ(ni.OutImage.InternalUse, 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(EncoderEntry, RefusedRecords) {
  std::vector<uint8_t> raw(64 * 16 * 3, 128);
  struct Case {
    uint8_t scanMode, bits, grayCompression, colourCompression;
    long msg, status;
  } cases[] = {
      {1, 1, 2, 2, -4003, -1006},   // black and white
      {4, 16, 2, 2, -4002, -1014},  // 16 bits a pixel
      {4, 24, 2, 0, -4003, -1006},  // colour without JPEG compression
      {2, 8, 0, 2, -4003, -1006},   // grey without JPEG compression
      {4, 24, 2, 2, 0, 0},         {2, 8, 2, 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.bits));
    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    ni.InImage.ScanMode = c.scanMode;
    ni.InImage.BitsPerPixel = c.bits;
    ni.InImage.Pixel = 64;
    ni.InImage.Line = 16;
    ni.InImage.BytesPerLine = 64 * 3;
    ni.InImage.XRes = ni.InImage.YRes = 200;
    ni.OutImage.Gray.Compression = c.grayCompression;
    ni.OutImage.Color.Compression = c.colourCompression;
    ni.OutImage.Gray.JPEGQuality = ni.OutImage.Color.JPEGQuality = 0x1A;
    void* out = nullptr;
    uint64_t size = 0;
    long status = 1;
    EXPECT_EQ(JpegEncoder(raw.data(), &out, &ni, &size, &status), c.msg);
    EXPECT_EQ(status, c.status);
    if (c.msg == 0) {
      EXPECT_GT(size, 0u);
      EXPECT_EQ(+ni.OutImage.ImageWidth, 64u);
      EXPECT_EQ(+ni.OutImage.OutMode & 0x80, 0x80);
      const oracle::Decoded d =
          oracle::decompress(Bytes(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size));
      EXPECT_TRUE(d.ok);
      EXPECT_EQ(d.pic.height, 16);
    } else {
      EXPECT_EQ(out, nullptr);
    }
    FreeMemory(out);
  }
}

TEST(CropEntry, RecordRules) {
  long status = 5;
  // No record: nothing happens.
  EXPECT_EQ(JpegCrop(nullptr, nullptr, nullptr, nullptr, &status, 0, nullptr), 0);
  EXPECT_EQ(status, 0);
  // A record without a side is processed and let go in the same call.
  const oracle::Picture pic = oracle::makePicture(32, 40, 3, 1);
  NIDATA ni = ct::jobRecord(ct::EncodeJob{}, 32);
  ni.InImage.ScanType = 0;
  ni.InImage.Line = 40;
  ni.OutImage.AutoCrop = 1;
  ni.OutImage.Rotate = 3;
  EXPECT_EQ(
      JpegCrop(const_cast<uint8_t*>(pic.pixels.data()), nullptr, &ni, nullptr, &status, 0, nullptr),
      0);
  EXPECT_EQ(ni.OutImage.InternalUse, 0);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  // Crop and rotation requests are put back whatever the result.
  EXPECT_EQ(ni.OutImage.AutoCrop, 1);
  EXPECT_EQ(ni.OutImage.Rotate, 3);
  // One call with the whole page in and the output out.
  ni.InImage.ScanType = 1;
  void* out = nullptr;
  uint64_t size = 0;
  long strip = 0;
  ASSERT_EQ(JpegCrop(const_cast<uint8_t*>(pic.pixels.data()), &out, &ni, &size, &status, 0, &strip),
            0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(strip, 40);
  EXPECT_EQ(ni.OutImage.InternalUse, 0);
  const oracle::Decoded d =
      oracle::decompress(Bytes(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size));
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.pic.height, 40);
  FreeMemory(out);
  // A bad strip fails and lets the context go.
  ni.InImage.BitsPerPixel = 16;
  EXPECT_EQ(
      JpegCrop(const_cast<uint8_t*>(pic.pixels.data()), nullptr, &ni, nullptr, &status, 0, nullptr),
      -4002);
  EXPECT_EQ(ni.OutImage.InternalUse, 0);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
}

}  // namespace

namespace {

// Damaged device strips: every call answers with a status, nothing is left behind.
TEST(CropEntry, DamagedDeviceStrips) {
  const oracle::Picture pic = oracle::makePicture(64, 32, 3, 12);
  const Bytes good = oracle::compress(pic, {});
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    Bytes bad = good;
    if (round % 3 == 0) {
      bad.resize(256 + rng() % (good.size() - 256));  // cut short
    } else {
      for (int k = 0; k < 4; ++k) bad[rng() % std::min<size_t>(bad.size(), 700)] = uint8_t(rng());
    }
    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    ni.InImage.ScanType = 1;
    ni.InImage.ScanMode = 0x84;
    ni.InImage.BitsPerPixel = 24;
    ni.OutImage.OutMode = round % 2 ? 0x2000 : 0;
    ni.OutImage.Color.Compression = 2;
    ni.OutImage.Color.JPEGQuality = 0x3A;
    long status = 0;
    for (int strip = 0; strip < 2; ++strip)
      JpegCrop(bad.data(), nullptr, &ni, nullptr, &status, bad.size(), nullptr);
    for (int out = 0; out < 4; ++out) {
      void* p = nullptr;
      uint64_t size = 0;
      long h = 0;
      const long msg = JpegCrop(nullptr, &p, &ni, &size, &status, 0, &h);
      FreeMemory(p);
      if (msg != 0 || status != -1036) break;
    }
    JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
    EXPECT_EQ(ni.OutImage.InternalUse, 0);
    // The decode thread's reading of the same data.
    memset(&ni, 0, sizeof ni);
    ni.OutImage.JPEGDecodeLines = 16;
    uint64_t size = bad.size();
    for (uint16_t y = 0; y < 32; y = uint16_t(y + 16)) {
      ni.OutImage.JPEGDecodePosY = y;
      void* p = nullptr;
      const long msg = JpegDecoder(bad.data(), &p, &ni, &size, &status);
      FreeMemory(p);
      if (msg != 0) break;
    }
    JpegDecoder(nullptr, nullptr, &ni, nullptr, &status);
  }
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

}  // namespace

namespace {

// A device JPEG strip cut short still comes out whole in size, and the crop entry reports the
// data error as the decoder entry does (Msg 0, Status -1007); strips left behind still come
// first (-1036), the last strip carries the warning.
struct DataErrorCase {
  const char* name;
  std::vector<int> heights;  // device strips of one page
  int cut;                   // the strip cut short, -1 for none
  bool whole;                // one call carries the page and asks for output
  int yRes;                  // 1: the page counts as 64 inches and goes the strip-wise way
  std::vector<long> statuses;
  std::vector<long> stripHeights;
};

const DataErrorCase kDataErrorCases[] = {
    {"WholeIntact", {64}, -1, true, 100, {0}, {64}},
    {"WholeCut", {64}, 0, true, 100, {-1007}, {64}},
    {"WholeLongIntact", {64}, -1, true, 1, {0}, {64}},
    {"WholeLongCut", {64}, 0, true, 1, {-1007}, {64}},
    {"OneStripCut", {64}, 0, false, 100, {-1007}, {64}},
    {"ChunksIntact", {64, 64, 128}, -1, false, 100, {-1036, 0}, {128, 128}},
    {"ChunksFirstCut", {64, 64, 128}, 1, false, 100, {-1036, -1007}, {128, 128}},
    {"ChunksLastCut", {64, 64, 128}, 2, false, 100, {-1036, -1007}, {128, 128}},
};

struct DataErrorRun {
  std::vector<long> statuses, heights;
  std::vector<Bytes> out;
  uint32_t width = 0;
  bool leftover = false;
};

DataErrorRun runDataErrorPage(const DataErrorCase& c, bool jpegOut, bool cut) {
  constexpr int kWidth = 96;
  int total = 0;
  for (int h : c.heights) total += h;
  const oracle::Picture pic = oracle::makePicture(kWidth, total, 3, 21);
  std::vector<Bytes> device;
  for (size_t i = 0, y = 0; i < c.heights.size(); y += size_t(c.heights[i]), ++i) {
    device.push_back(oracle::compress(slice(pic, int(y), c.heights[i]), {}));
    if (cut && int(i) == c.cut) device.back().resize(device.back().size() * 3 / 5);
  }
  NIDATA ni = ct::deviceJpegRecord(24, false, jpegOut, 0x1A, c.yRes);
  ni.InImage.Pixel = kWidth;
  DataErrorRun r;
  long status = 0;
  auto take = [&](void* src, uint64_t srcSize) {
    const ct::CropOutput o = ct::cropOutput(ni, src, srcSize);
    r.statuses.push_back(o.msg != 0 ? o.msg : o.status);
    r.heights.push_back(o.lines);
    r.out.push_back(o.bytes);
    r.width = ni.OutImage.ImageWidth;
    return o.msg == 0 && o.status == -1036;
  };
  if (c.whole) {
    ni.InImage.Line = uint32_t(c.heights[0]);
    take(device[0].data(), device[0].size());
  } else {
    for (size_t i = 0; i < device.size(); ++i) {
      ni.InImage.Line = uint32_t(c.heights[i]);
      if (JpegCrop(device[i].data(), nullptr, &ni, nullptr, &status, device[i].size(), nullptr) !=
              0 ||
          status != 0)
        return r;
    }
    for (int round = 0; round < 8 && take(nullptr, 0); ++round) {
    }
  }
  // The last strip ends the context, also on damaged data.
  r.leftover = ni.OutImage.InternalUse != 0;
  JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
  return r;
}

TEST(CropEntry, DamagedDeviceDataIsReportedWithTheOutput) {
  for (const DataErrorCase& c : kDataErrorCases) {
    for (const bool jpegOut : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (jpegOut ? " jpeg" : " raw"));
      const DataErrorRun intact = runDataErrorPage(c, jpegOut, false);
      const DataErrorRun got = runDataErrorPage(c, jpegOut, c.cut >= 0);
      EXPECT_EQ(got.statuses, c.statuses);
      EXPECT_EQ(got.heights, c.stripHeights);
      EXPECT_FALSE(got.leftover);
      EXPECT_EQ(got.width, 96u);
      ASSERT_EQ(got.out.size(), intact.out.size());
      for (size_t k = 0; k < got.out.size(); ++k) {
        SCOPED_TRACE(k);
        if (!jpegOut) {
          // Raw strips of the full size; the lines before the damage are the page's.
          ASSERT_EQ(got.out[k].size(), size_t(96 * 3) * size_t(got.heights[k]));
          const size_t top = 16 * 96 * 3;
          EXPECT_TRUE(std::equal(got.out[k].begin(), got.out[k].begin() + long(top),
                                 intact.out[k].begin()));
          continue;
        }
        const oracle::Decoded d = oracle::decompress(got.out[k]);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.pic.width, 96);
        EXPECT_EQ(d.pic.height, got.heights[k]);
      }
    }
  }
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

}  // namespace

namespace {

// A raw area (x, y, Pixel, Line) in a raster of BytesPerLine bytes a line and, when the size is
// given, of that many bytes: one past the right edge or the end is refused and lets the context
// go; the area right at the edges is taken. The whole page in one call and strips take the same
// check.
TEST(CropEntry, RawAreaPastTheRaster) {
  constexpr int kWidth = 32, kHeight = 40, kBytes = 3;
  const oracle::Picture pic = oracle::makePicture(kWidth, kHeight, kBytes, 7);
  struct Case {
    const char* what;
    uint16_t x, y;
    uint32_t pixels, lines;
    uint64_t size;  // 0: the caller gives none
    long msg;
  };
  const uint64_t whole = uint64_t{kWidth} * kBytes * kHeight;
  const Case cases[] = {
      {"the whole raster", 0, 0, kWidth, kHeight, whole, 0},
      {"right at the right edge", 8, 0, kWidth - 8, kHeight, 0, 0},
      {"a pixel past the right edge", 8, 0, kWidth - 7, kHeight, 0, -4003},
      {"wholly right of the raster", kWidth, 0, 8, kHeight, 0, -4003},
      {"right at the end", 0, 8, kWidth, kHeight - 8, whole, 0},
      {"a line past the end", 0, 8, kWidth, kHeight - 7, whole, -4003},
      {"wholly below the raster", 0, kHeight, kWidth, 8, whole, -4003},
  };
  for (const bool wholePage : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (wholePage ? ", whole page" : ", strip"));
      NIDATA ni = ct::jobRecord(ct::EncodeJob{}, kWidth);
      ni.InImage.ScanType = 1;
      ni.InImage.x = c.x;
      ni.InImage.y = c.y;
      ni.InImage.Pixel = c.pixels;
      ni.InImage.Line = c.lines;
      long status = 0;
      void* out = nullptr;
      uint64_t size = 0;
      long strip = 0;
      uint8_t* src = const_cast<uint8_t*>(pic.pixels.data());
      const long msg = wholePage ? JpegCrop(src, &out, &ni, &size, &status, c.size, &strip)
                                 : JpegCrop(src, nullptr, &ni, nullptr, &status, c.size, nullptr);
      FreeMemory(out);
      EXPECT_EQ(msg, c.msg);
      if (c.msg != 0) {
        EXPECT_EQ(status, -1007);
        EXPECT_EQ(ni.OutImage.InternalUse, 0);
      }
      JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
      EXPECT_EQ(jpgLMIdsInUse(), 0);
    }
  }
}

}  // namespace
