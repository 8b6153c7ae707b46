// The imprinter text drawn by KRCocoa, loaded by name: place, angle, opacity, hollow, bold, in
// grey, colour and black-and-white pages.
#include <cmath>
#include <limits>

#include "plugins/KRCocoa/KRCocoa.h"
#include "tests/support/PluginTesting.h"

namespace plugtest {
namespace {

// The watermark record as the data source fills it.
struct Record {
  uint8_t b[kWatermarkRecordSize] = {};
  void f64(size_t off, double v) { memcpy(b + off, &v, 8); }
  void i64(size_t off, int64_t v) { memcpy(b + off, &v, 8); }
};

Record recordFor(const Page& p, size_t chars, int pixels) {
  Record r;
  r.f64(kWmFontSize, pixels / kKRCocoaPixelsPerSize);
  r.i64(kWmImageKind, p.bits == 24 ? 0 : (p.bits == 8 ? 1 : 2));
  r.i64(kWmWidth, p.width);
  r.i64(kWmLength, p.height);
  r.i64(kWmInk, 0);
  r.i64(kWmTextLength, int64_t(chars));
  r.i64(kWmOpacity, 100);
  r.b[kWmPosition] = kWmTop;
  return r;
}

struct Box {
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1, ink = 0;
  int w() const { return r - l + 1; }
  int h() const { return b - t + 1; }
};
Box inkBox(const Page& p, uint8_t below = 128) {
  Box box;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.grey(x, y) < below)
        box = {std::min(box.l, x), std::min(box.t, y), std::max(box.r, x), std::max(box.b, y),
               box.ink + 1};
  return box;
}

std::vector<uint16_t> field(const std::u16string& s) {
  std::vector<uint16_t> f(kKRCocoaTextUnits, 0);
  std::copy(s.begin(), s.end(), f.begin());
  return f;
}

class WatermarkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(add, nullptr); }
  Box draw(Page& p, Record& r, const std::u16string& text = u"Imprint 0042") {
    const std::vector<uint16_t> f = field(text);
    EXPECT_EQ(add(p.data.data(), f.data(), r.b), 0);
    return inkBox(p);
  }
  Plugin lib{kKRCocoaLibraryName, RTLD_LAZY | RTLD_LOCAL};
  KRCocoaAddWaterMarkFn add = lib.entry<KRCocoaAddWaterMarkFn>("addWaterMark");
};

// Top, middle and bottom are centred across the page; position 5 puts the box at (x, y).
TEST_F(WatermarkTest, PlacedWhereAsked) {
  const struct {
    uint8_t position;
    int64_t x, y;
  } cases[] = {{kWmTop, 0, 0}, {kWmMiddle, 0, 0}, {kWmBottom, 0, 0}, {kWmAt, 37, 211}};
  for (const auto& c : cases) {
    Page page(601, 400, 8, 255);
    Record r = recordFor(page, 12, 32);
    r.b[kWmPosition] = c.position;
    r.i64(kWmX, c.x);
    r.i64(kWmY, c.y);
    const Box b = draw(page, r);
    ASSERT_GT(b.ink, 0) << int(c.position);
    EXPECT_GT(b.h(), 20);
    EXPECT_LT(b.h(), 40);
    if (c.position == kWmAt) {
      EXPECT_NEAR(b.l, c.x, 6);
      EXPECT_NEAR(b.t, c.y, 12);
    } else {
      EXPECT_NEAR((b.l + b.r) / 2.0, 300, 6);
      const double cy = (b.t + b.b) / 2.0;
      const double want = c.position == kWmTop ? 30 : (c.position == kWmMiddle ? 200 : 370);
      EXPECT_NEAR(cy, want, 15) << int(c.position);
    }
  }
}

// Each angle turns the whole text: the drawing at 90, 180 and 270 degrees is the drawing at 0
// turned by as many quarter turns.
TEST_F(WatermarkTest, AngleTurnsTheText) {
  auto cut = [](const Page& p, const Box& b) {
    Page c(b.w(), b.h(), 8);
    for (int y = 0; y < b.h(); ++y)
      for (int x = 0; x < b.w(); ++x) c.set(x, y, p.grey(b.l + x, b.t + y));
    return c;
  };
  Page upright(500, 500, 8, 255);
  Record r0 = recordFor(upright, 7, 40);
  r0.b[kWmPosition] = kWmMiddle;
  const Page base = cut(upright, draw(upright, r0, u"Angle 7"));
  for (int quarters : {1, 2, 3}) {
    Page page(500, 500, 8, 255);
    Record r = r0;
    r.i64(kWmAngle, 90 * quarters);
    const Box b = draw(page, r, u"Angle 7");
    const Page want = turnClockwise(base, quarters);
    ASSERT_EQ(b.w(), want.width) << quarters;
    ASSERT_EQ(b.h(), want.height) << quarters;
    EXPECT_LT(meanDifference(cut(page, b), want, 0, 0, want.width, want.height), 1.0);
  }
  // Vertical: the characters one below the other, upright.
  Page column(500, 500, 8, 255);
  Record rv = r0;
  rv.i64(kWmAngle, 90);
  rv.b[kWmVertical] = 1;
  const Box v = draw(column, rv, u"IIII");
  EXPECT_GT(v.h(), 3 * v.w());
}

// Opacity mixes the ink with the page; hollow characters keep their insides; bold adds ink.
TEST_F(WatermarkTest, OpacityHollowAndBold) {
  Page solid(400, 120, 8, 255), half(400, 120, 8, 255), hollow(400, 120, 8, 255),
      bold(400, 120, 8, 255);
  Record r = recordFor(solid, 3, 80);
  const int solidInk = draw(solid, r, u"HOE").ink;
  Record rh = r;
  rh.i64(kWmOpacity, 50);
  draw(half, rh, u"HOE");
  uint8_t darkest = 255;
  for (uint8_t v : half.data) darkest = std::min(darkest, v);
  EXPECT_NEAR(darkest, 128, 2);
  Record ro = r;
  ro.f64(kWmHollow, 0.5);
  const int hollowInk = draw(hollow, ro, u"HOE").ink;
  EXPECT_LT(hollowInk, solidInk * 7 / 10);
  EXPECT_GT(hollowInk, 0);
  Record rb = r;
  rb.b[kWmBold] = 1;
  EXPECT_GT(draw(bold, rb, u"HOE").ink, solidInk * 11 / 10);
}

// Colour pages get grey ink on all three samples and keep their colour elsewhere; one-bit pages
// (odd width, rows of (width + 7) / 8 bytes) get black bits, or white ones for light ink.
TEST_F(WatermarkTest, ColourAndOneBitPages) {
  Page colour(301, 100, 24);
  fillRect(colour, 0, 0, 301, 100, 200, 220, 120);
  Record rc = recordFor(colour, 5, 30);
  rc.i64(kWmInk, 40);
  const Box b = draw(colour, rc, u"Green");
  ASSERT_GT(b.ink, 0);
  uint8_t c[3];
  colour.rgb(0, 99, c);
  EXPECT_EQ(c[1], 220);
  bool greyInk = false;
  for (int y = b.t; y <= b.b; ++y)
    for (int x = b.l; x <= b.r; ++x) {
      colour.rgb(x, y, c);
      greyInk = greyInk || (c[0] == 40 && c[1] == 40 && c[2] == 40);
    }
  EXPECT_TRUE(greyInk);

  Page bits(301, 100, 1, 255);
  Record rb = recordFor(bits, 5, 30);
  rb.b[kWmPosition] = kWmBottom;
  EXPECT_GT(draw(bits, rb, u"Bits!").ink, 50);
  Page dark(13, 9, 1, 0);
  Record rd = recordFor(dark, 1, 8);
  rd.i64(kWmInk, 255);
  const std::vector<uint16_t> f = field(u"W");
  ASSERT_EQ(add(dark.data.data(), f.data(), rd.b), 0);
  int white = 0;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 13; ++x) white += dark.grey(x, y) == 255;
  EXPECT_GT(white, 0);
}

// Unusable records change nothing; text past the field's end is not read; the page edge cuts
// the text off; a one-pixel page takes it.
TEST_F(WatermarkTest, BadRecordsAndEdges) {
  Page page(50, 40, 8, 255);
  const std::vector<uint16_t> f = field(u"x");
  for (int bad = 0; bad < 5; ++bad) {
    Record r = recordFor(page, 1, 20);
    if (bad == 0) r.i64(kWmImageKind, 3);
    if (bad == 1) r.i64(kWmWidth, 0);
    if (bad == 2) r.f64(kWmFontSize, 0);
    if (bad == 3) r.i64(kWmAngle, 45);
    if (bad == 4) r.f64(kWmFontSize, std::nan(""));
    EXPECT_EQ(add(page.data.data(), f.data(), r.b), -1) << bad;
  }
  EXPECT_EQ(inkBox(page).ink, 0);
  Record r = recordFor(page, 100000, 20);  // longer than the 256-unit field
  r.b[kWmPosition] = kWmAt;
  r.i64(kWmX, 30);
  r.i64(kWmY, -5);
  const std::vector<uint16_t> full(kKRCocoaTextUnits, u'M');
  EXPECT_EQ(add(page.data.data(), full.data(), r.b), 0);
  EXPECT_GT(inkBox(page).ink, 0);
  // Positions beside the page, up to the ends of the record's range, draw nothing.
  const int64_t far = std::numeric_limits<int64_t>::max(),
                near = std::numeric_limits<int64_t>::min();
  const int64_t beside[][2] = {{far, 0},   {0, far}, {near, 0}, {0, near},
                               {far, far}, {50, 0},  {0, 40}};
  for (const auto& at : beside) {
    Page clean(50, 40, 8, 255);
    Record rb = recordFor(clean, 1, 20);
    rb.b[kWmPosition] = kWmAt;
    rb.i64(kWmX, at[0]);
    rb.i64(kWmY, at[1]);
    EXPECT_EQ(add(clean.data.data(), f.data(), rb.b), 0) << at[0] << "," << at[1];
    EXPECT_EQ(inkBox(clean).ink, 0) << at[0] << "," << at[1];
  }
  Page one(1, 1, 24, 255);
  Record ro = recordFor(one, 1, 30);
  EXPECT_EQ(add(one.data.data(), f.data(), ro.b), 0);
  EXPECT_EQ(add(nullptr, f.data(), ro.b), -1);
  EXPECT_EQ(lib.entry<uint32_t (*)()>("LibraryCurrentVersion")(), 0x00010000u);
}

}  // namespace
}  // namespace plugtest
