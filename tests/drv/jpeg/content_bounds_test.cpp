// Content bounds of synthetic pages (a document on a uniform scanner background with noise), and
// the strip-wise crop against the whole-image crop.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/croputil.h"

namespace {

using ct::Bytes;

struct Rect {
  int left, top, right, bottom;
};

// Background grey 60, paper 225 with dark text lines, noise of +-4 everywhere.
oracle::Picture documentPage(int width, int height, int comps, const Rect& doc, uint32_t seed) {
  oracle::Picture p;
  p.width = width;
  p.height = height;
  p.comps = comps;
  p.pixels.resize(size_t(width) * height * comps);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool inDoc = x >= doc.left && x < doc.right && y >= doc.top && y < doc.bottom;
      const bool text = inDoc && (y - doc.top) % 24 >= 8 && (y - doc.top) % 24 < 12 &&
                        (x / 5) % 3 != 0 && x > doc.left + 20 && x < doc.right - 20;
      for (int c = 0; c < comps; ++c) {
        int v = inDoc ? (text ? 40 : 225 - 10 * c) : 60 + 5 * c;
        v += int(rng() % 9) - 4;
        p.pixels[(size_t(y) * width + x) * comps + c] = uint8_t(std::clamp(v, 0, 255));
      }
    }
  return p;
}

struct Bounds {
  int64_t msg = 0;
  int32_t width = 0, height = 0;
};

Bounds cropRawToRaw(const oracle::Picture& p, int dpi, Bytes* out = nullptr) {
  uint8_t* des = nullptr;
  uint64_t size = 0;
  Bounds b;
  int32_t bpl = 0;
  int64_t st = 0;
  b.msg = JPGKRJpegCrop(1, 1, 0, p.pixels.data(), 0, p.comps * 8, 1, p.width, p.height,
                        p.width * p.comps, dpi, dpi, 0, 0, &des, &size, 0, &b.width, &b.height,
                        &bpl, &st);
  if (out && des) out->assign(des, des + size_t(bpl) * size_t(b.height));
  FreeMemory(des);
  return b;
}

// The left/top corner the crop kept: found by matching the output's first line in the page.
int findColumn(const oracle::Picture& p, const Bytes& out, int outW, int row) {
  const size_t n = size_t(outW) * p.comps;
  for (int x = 0; x + outW <= p.width; ++x)
    if (std::equal(out.begin(), out.begin() + long(n),
                   p.pixels.begin() + long((size_t(row) * p.width + x) * p.comps)))
      return x;
  return -1;
}

TEST(ContentBounds, CropParameters) {
  const JpgCropParams p300 = jpgCropParams(300, 300, false);
  EXPECT_EQ(p300.radius, 3);
  EXPECT_EQ(p300.colThreshold, 720);
  EXPECT_EQ(p300.rowThreshold, 720);
  EXPECT_EQ(p300.bgLines, 60);
  const JpgCropParams p100 = jpgCropParams(100, 100, true);
  EXPECT_EQ(p100.radius, 1);
  EXPECT_EQ(p100.colThreshold, 80);
  EXPECT_EQ(p100.rowThreshold, 80);
  EXPECT_EQ(p100.bgLines, 5);
  EXPECT_EQ(jpgCropParams(600, 600, false).radius, 5);
  EXPECT_EQ(jpgCropParams(600, 150, false).radius, 1);  // by the vertical resolution
}

TEST(ContentBounds, PositionFromHistogram) {
  std::vector<uint32_t> block(16 + 40 + 16, 0);
  uint32_t* h = block.data() + 16;
  for (int i = 10; i < 30; ++i) h[i] = 10;
  int32_t s = -1, e = -1;
  // Windows of three: the full sum 30 only inside, 20 at the edges, 10 one beyond.
  EXPECT_EQ(jpgGetPosition(h, 40, 1, 30, 5, &s, &e), 1);
  EXPECT_EQ(s, 11);
  EXPECT_EQ(e, 29);
  EXPECT_EQ(jpgGetPosition(h, 40, 1, 20, 5, &s, &e), 1);
  EXPECT_EQ(s, 10);
  EXPECT_EQ(e, 30);
  EXPECT_EQ(jpgGetPosition(h, 40, 1, 10, 5, &s, &e), 1);
  EXPECT_EQ(s, 9);
  EXPECT_EQ(e, 31);
  EXPECT_EQ(jpgGetPosition(h, 40, 1, 30, 25, &s, &e), 1);  // narrower than the minimum span
  EXPECT_EQ(s, 0);
  EXPECT_EQ(e, 40);
  EXPECT_EQ(jpgGetPosition(nullptr, 40, 1, 30, 5, &s, &e), -2);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(e, 40);
}

// The bounds found lie within twice the window radius plus one of the document's edges: the
// window reaches r beyond an edge and the neighbour comparison r lines above it.
TEST(ContentBounds, DocumentOnBackground) {
  struct Case {
    int dpi, comps, width, height;
    Rect doc;
  } cases[] = {
      {300, 1, 1200, 1500, {130, 100, 1020, 1380}},
      {200, 3, 640, 800, {70, 60, 590, 700}},
      {100, 3, 400, 500, {30, 40, 330, 460}},
      {600, 1, 1500, 1500, {200, 180, 1300, 1400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    const oracle::Picture p = documentPage(c.width, c.height, c.comps, c.doc, uint32_t(c.dpi));
    const int tol = 2 * jpgCropParams(c.dpi, c.dpi, false).radius + 1;
    Bytes out;
    const Bounds b = cropRawToRaw(p, c.dpi, &out);
    ASSERT_EQ(b.msg, 0);
    EXPECT_NEAR(b.width, c.doc.right - c.doc.left, 2 * tol);
    EXPECT_NEAR(b.height, c.doc.bottom - c.doc.top, 2 * tol);
    // Where the output starts in the page.
    int top = -1, left = -1;
    for (int y = std::max(0, c.doc.top - tol); y <= c.doc.top + tol && top < 0; ++y) {
      left = findColumn(p, out, b.width, y);
      if (left >= 0) top = y;
    }
    ASSERT_GE(top, 0);
    EXPECT_NEAR(left, c.doc.left, tol);
    EXPECT_NEAR(top, c.doc.top, tol);
    EXPECT_NEAR(left + b.width, c.doc.right, tol);
    EXPECT_NEAR(top + b.height, c.doc.bottom, tol);
  }
}

TEST(ContentBounds, UniformPageAndNarrowDocumentStayWhole) {
  // A page of background only.
  const oracle::Picture blank = documentPage(300, 400, 3, {0, 0, 0, 0}, 1);
  Bounds b = cropRawToRaw(blank, 100);
  ASSERT_EQ(b.msg, 0);
  EXPECT_EQ(b.width, 300);
  EXPECT_EQ(b.height, 400);
  // A document of 0.8 inch keeps the full width; its length is still found.
  const oracle::Picture narrow = documentPage(300, 500, 1, {110, 50, 190, 450}, 2);
  b = cropRawToRaw(narrow, 100);
  ASSERT_EQ(b.msg, 0);
  EXPECT_EQ(b.width, 300);
  EXPECT_NEAR(b.height, 400, 6);
}

TEST(ContentBounds, JpegInAndOut) {
  const oracle::Picture p = documentPage(400, 520, 3, {40, 50, 350, 470}, 3);
  const Bytes jpeg = oracle::compress(p, {});
  uint8_t* des = nullptr;
  uint64_t size = 0;
  int32_t w = 0, h = 0, bpl = -1;
  int64_t st = 1;
  ASSERT_EQ(JPGKRJpegCrop(1, 1, 1, jpeg.data(), jpeg.size(), 0, 0, 0, 0, 0, 100, 100, 1, 0x1A, &des,
                          &size, 0, &w, &h, &bpl, &st),
            0);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(bpl, 0);
  EXPECT_NEAR(w, 310, 6);
  EXPECT_NEAR(h, 420, 6);
  const oracle::Decoded d = oracle::decompress(Bytes(des, des + size));
  FreeMemory(des);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.warnings, 0);
  EXPECT_EQ(d.pic.width, w);
  EXPECT_EQ(d.pic.height, h);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(ContentBounds, Checks) {
  const oracle::Picture p = documentPage(64, 64, 3, {0, 0, 0, 0}, 1);
  uint8_t* des = nullptr;
  uint64_t size = 0;
  int32_t w = 0, h = 0, bpl = 0;
  int64_t st = 0;
  auto crop = [&](int threads, int bits, int stride, uint8_t** pDes) {
    return JPGKRJpegCrop(threads, 1, 0, p.pixels.data(), 0, bits, 1, 64, 64, stride, 100, 100, 0, 0,
                         pDes, &size, 0, &w, &h, &bpl, &st);
  };
  EXPECT_EQ(JPGKRJpegCrop(1, 1, 0, p.pixels.data(), 0, 24, 1, 64, 64, 192, 100, 100, 0, 0, &des,
                          &size, 0, &w, &h, &bpl, nullptr),
            -4003);
  EXPECT_EQ(crop(0, 24, 192, &des), -4003);
  EXPECT_EQ(st, -1007);
  EXPECT_EQ(crop(1, 24, 192, nullptr), -4003);
  EXPECT_EQ(st, -1013);
  EXPECT_EQ(crop(1, 16, 192, &des), -4002);
  EXPECT_EQ(st, -1008);
  EXPECT_EQ(crop(1, 24, 191, &des), -4003);
  EXPECT_EQ(st, -1007);
  EXPECT_EQ(des, nullptr);
}

// Output strips of at most 64 lines, never across a stored strip, each a complete stream,
// together the whole-image crop. Stored strips of 100 lines (not whole 8-line MCU rows: each one
// is a chunk of its own), and once with a strip of 2 lines, shorter than the comparison gap.
TEST(StripCrop, StripsTogetherAreTheWholeCrop) {
  const int width = 700, height = 700, dpi = 300;
  const oracle::Picture page = documentPage(width, height, 1, {45, 60, 620, 640}, 7);
  for (const std::vector<int>& heights :
       {std::vector<int>(7, 100), std::vector<int>{100, 100, 2, 98, 100, 100, 100, 100}}) {
    SCOPED_TRACE(heights.size());
    uint8_t id = 0;
    int64_t st = 0;
    ASSERT_EQ(jpgLMAssignedImageId(&id, &st), 0);
    Bytes decodedPage;
    std::vector<int> bounds{0};
    for (int y = 0, i = 0; y < height; y += heights[i], ++i) {
      uint8_t* s = nullptr;
      uint32_t size = 0;
      ASSERT_EQ(jpgEncoder(&page.pixels[size_t(y) * width], &s, 0, 0x1A, 8, 0, width, heights[i],
                           width, dpi, dpi, &size, &st),
                0);
      ASSERT_EQ(jpgLMSetInput(&id, 0, 1, 0, 0, 0, 0, s, size, 8, 0, 0, 0, 0, dpi, dpi, &st), 0);
      uint8_t* raw = nullptr;
      uint8_t dec = 0;
      int32_t b = 0, w = 0, h = 0, bpl = 0;
      ASSERT_EQ(jpgDecoder(&dec, s, &raw, size, 0, 0, 0, &b, &w, &h, &bpl, nullptr, nullptr, &st),
                0);
      decodedPage.insert(decodedPage.end(), raw, raw + size_t(width) * size_t(heights[i]));
      FreeMemory(raw);
      FreeMemory(s);
      bounds.push_back(y + heights[i]);
    }
    ASSERT_EQ(jpgLMFinishInput(&id, 0, 0, 0, &st), 0);
    LMJpegCropContext* ctx = jpgLMContext(id);
    ASSERT_EQ(ctx->nChunkCount, int(heights.size()));

    // The whole-image crop of the same lines.
    uint8_t* whole = nullptr;
    uint64_t wholeSize = 0;
    int32_t ww = 0, wh = 0, wbpl = 0;
    ASSERT_EQ(JPGKRJpegCrop(1, 1, 0, decodedPage.data(), 0, 8, 0, width, height, width, dpi, dpi, 0,
                            0, &whole, &wholeSize, 0, &ww, &wh, &wbpl, &st),
              0);
    const Bytes expected(whole, whole + size_t(ww) * size_t(wh));
    FreeMemory(whole);
    EXPECT_LT(ww, width);
    EXPECT_LT(wh, height);

    for (const bool jpegOut : {false, true}) {
      SCOPED_TRACE(jpegOut);
      ctx->nCropStarted = 0;
      Bytes joined;
      int32_t outH = 0;
      for (int round = 0; round < 100; ++round) {
        uint8_t* des = nullptr;
        uint64_t size = 0;
        int32_t strip = -1, w = 0, h = 0, bpl = 0;
        ASSERT_EQ(JPGKRJpegCropStrip(1, 1, 1, ctx, jpegOut, 64, 0x1A, &des, &size, 0, &strip, &w,
                                     &h, &bpl, &st),
                  0);
        if (strip == 0) {
          EXPECT_EQ(des, nullptr);
          break;
        }
        // No taller than asked and within one stored strip.
        const int32_t start = ctx->nNextLine - strip;
        EXPECT_LE(strip, 64);
        const auto storedEnd = std::upper_bound(bounds.begin(), bounds.end(), start);
        ASSERT_NE(storedEnd, bounds.end());
        EXPECT_LE(ctx->nNextLine, *storedEnd);
        EXPECT_EQ(w, ww);
        EXPECT_EQ(h, wh);
        outH += strip;
        if (jpegOut) {
          const oracle::Decoded d = oracle::decompress(Bytes(des, des + size));
          ASSERT_TRUE(d.ok) << d.error;
          EXPECT_EQ(d.warnings, 0);
          EXPECT_EQ(d.pic.width, w);
          EXPECT_EQ(d.pic.height, strip);
          joined.insert(joined.end(), d.pic.pixels.begin(), d.pic.pixels.end());
        } else {
          EXPECT_EQ(bpl, w);
          joined.insert(joined.end(), des, des + size_t(bpl) * size_t(strip));
        }
        FreeMemory(des);
      }
      EXPECT_EQ(outH, wh);
      if (jpegOut) {
        EXPECT_GE(ct::psnr(joined, expected), 30.0);
      } else {
        EXPECT_TRUE(joined == expected);
      }
    }
    jpgLMReset(&id, 0);
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
}

// Lines of a strip no taller than the gap meet the reference only.
TEST(ContentBounds, ShortStripMeetsTheReferenceOnly) {
  std::vector<uint32_t> block(16 * 6 + 8 * 2 + 10, 0);
  uint32_t* col = block.data() + 16;
  uint32_t* row = col + 8 + 32;
  uint32_t* ref = row + 10 + 32;
  const uint8_t background[8] = {60, 60, 60, 60, 60, 60, 60, 60};
  ASSERT_EQ(jpgPositionHistogram(background, 8, 1, 0, 8, 10, 8, 0, 1, 3, col, row, ref, 1, 48, 20),
            1);
  const uint8_t strip[16] = {60, 60, 225, 225, 225, 60, 60, 60, 60, 60, 225, 225, 40, 60, 60, 60};
  EXPECT_EQ(jpgPositionHistogram(strip, 8, 1, 0, 8, 10, 8, 4, 2, 3, col, row, ref, 1, 48, 20), 1);
  EXPECT_EQ(row[4], 3u);
  EXPECT_EQ(row[5], 2u);
  EXPECT_EQ(col[2], 2u);
  EXPECT_EQ(col[4], 1u);
  EXPECT_EQ(col[0], 0u);
  EXPECT_EQ(jpgPositionHistogram(strip, 8, 1, 0, 8, 10, 8, 4, 2, 0, col, row, ref, 1, 48, 20), -2);
}

TEST(StripCrop, SixtyFourAndThirtySix) {
  const oracle::Picture page = oracle::makePicture(80, 200, 3, 1);
  uint8_t id = 0;
  int64_t st = 0;
  ASSERT_EQ(jpgLMAssignedImageId(&id, &st), 0);
  for (int y = 0; y < 200; y += 100) {
    uint8_t* s = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(jpgEncoder(&page.pixels[size_t(y) * 240], &s, 0, 0x1A, 24, 1, 80, 100, 240, 100, 100,
                         &size, &st),
              0);
    ASSERT_EQ(jpgLMSetInput(&id, 0, 1, 0, 0, 1, 0x1A, s, size, 24, 1, 0, 0, 0, 100, 100, &st), 0);
    FreeMemory(s);
  }
  std::vector<int32_t> heights;
  for (;;) {
    uint8_t* des = nullptr;
    uint64_t size = 0;
    int32_t strip = 0, w = 0, h = 0, bpl = 0;
    ASSERT_EQ(JPGKRJpegCropStrip(1, 0, 1, jpgLMContext(id), 1, 64, 0x1A, &des, &size, 1, &strip, &w,
                                 &h, &bpl, &st),
              0);
    FreeMemory(des);
    if (strip == 0) break;
    heights.push_back(strip);
  }
  EXPECT_EQ(heights, (std::vector<int32_t>{64, 36, 64, 36}));
  jpgLMReset(&id, 0);
}

}  // namespace

namespace {

// Output over the input: a short raw page is copied first; a page of 40 inches is turned into
// JPEG first, so that no second raw copy of it is made.
TEST(ContentBounds, OutputOverTheInput) {
  for (const int inches : {10, 40}) {
    SCOPED_TRACE(inches);
    const oracle::Picture pic = oracle::makePicture(64, inches * 10, 3, 3);
    Bytes page = pic.pixels;
    uint8_t* des = page.data();
    uint64_t size = 1;
    int32_t w = 0, h = 0, bpl = 0;
    int64_t st = 1;
    ASSERT_EQ(JPGKRJpegCrop(1, 0, 0, page.data(), 0, 24, 1, 64, pic.height, 192, 10, 10, 0, 0, &des,
                            &size, 0, &w, &h, &bpl, &st),
              0);
    EXPECT_EQ(des, page.data());
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, pic.height);
    EXPECT_EQ(bpl, 192);
    if (inches < 32) {
      EXPECT_TRUE(page == pic.pixels);
    } else {
      EXPECT_GE(ct::psnr(page, pic.pixels), 24.0);
      EXPECT_FALSE(page == pic.pixels);
    }
  }
}

// A 32-bit page of 40 inches in place keeps its 32-bit layout through the JPEG detour.
TEST(ContentBounds, OutputOverTheInputKeepsTheLayout) {
  const oracle::Picture rgb = oracle::makePicture(48, 400, 3, 6);
  Bytes page(size_t(48) * 400 * 4);
  for (size_t i = 0; i < size_t(48) * 400; ++i) {
    page[i * 4] = 0;  // order 5: fill byte first
    memcpy(&page[i * 4 + 1], &rgb.pixels[i * 3], 3);
  }
  uint8_t* des = page.data();
  uint64_t size = 0;
  int32_t w = 0, h = 0, bpl = 0;
  int64_t st = 0;
  ASSERT_EQ(JPGKRJpegCrop(1, 0, 0, page.data(), 0, 32, 5, 48, 400, 192, 10, 10, 0, 0, &des, &size,
                          0, &w, &h, &bpl, &st),
            0);
  EXPECT_EQ(bpl, 192);
  Bytes back(size_t(48) * 400 * 3);
  for (size_t i = 0; i < size_t(48) * 400; ++i) memcpy(&back[i * 3], &page[i * 4 + 1], 3);
  EXPECT_GE(ct::psnr(back, rgb.pixels), 24.0);
}

// One call with a whole device JPEG page: in compact mode it comes back as it went in.
TEST(CropEntryWhole, CompactJpegPageIsHandedBackAsItIs) {
  const oracle::Picture pic = oracle::makePicture(72, 56, 3, 8);
  Bytes jpeg = oracle::compress(pic, {});
  for (const bool compact : {true, false}) {
    SCOPED_TRACE(compact);
    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    ni.InImage.ScanType = 1;
    ni.InImage.ScanMode = 0x84;
    ni.InImage.BitsPerPixel = 24;
    ni.OutImage.OutMode = compact ? 0x2000 : 0;
    ni.OutImage.Color.Compression = 2;
    ni.OutImage.Color.JPEGQuality = 0x1A;
    void* out = nullptr;
    uint64_t size = 0;
    long status = 1, strip = 0;
    ASSERT_EQ(JpegCrop(jpeg.data(), &out, &ni, &size, &status, jpeg.size(), &strip), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(strip, 56);
    const Bytes got(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
    FreeMemory(out);
    EXPECT_EQ(got == jpeg, compact);
    const oracle::Decoded d = oracle::decompress(got);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.pic.height, 56);
    EXPECT_EQ(ni.OutImage.InternalUse, 0);
  }
}

}  // namespace
