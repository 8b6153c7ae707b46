// Crop and deskew, multi-crop, orientation and merging through the plug-in's entries, and the
// document finder's measured accuracy.
#include <cmath>
#include <utility>

#include "plugins/Lumetra/Documents.h"
#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

// The document as it should come out: drawn straight, at its own size.
Page straightDocument(const Doc& d, int bits) {
  Page p(int(std::lround(d.w)), int(std::lround(d.h)), bits);
  Doc upright = d;
  upright.cx = d.w / 2, upright.cy = d.h / 2, upright.angle = 0;
  drawDocuments(p, 0, {upright});
  return p;
}

// The centre of the print within a symbol's box (grown by a margin for a slightly moved one).
std::pair<double, double> inkCentre(const Page& p, const Drawn& d) {
  constexpr int kGrow = 12;
  double sx = 0, sy = 0, n = 0;
  for (int y = std::max(0, d.t - kGrow); y < std::min(p.height, d.b + kGrow); ++y)
    for (int x = std::max(0, d.l - kGrow); x < std::min(p.width, d.r + kGrow); ++x)
      if (p.grey(x, y) < 128) sx += x, sy += y, ++n;
  return n > 0 ? std::pair{sx / n, sy / n} : std::pair{-1.0, -1.0};
}

lumetra::Raster rasterOf(const Page& p) {
  lumetra::Raster r(p.width, p.height, p.bits);
  for (int y = 0; y < p.height; ++y) memcpy(r.row(y), p.row(y), r.stride());
  return r;
}

struct SkewCase {
  double angle;
  uint8_t background;
  int bits;
};

class DeskewCropTest : public LumetraTest, public ::testing::WithParamInterface<SkewCase> {};

// A document turned by a known angle on a feeder background comes back straight, at its size.
TEST_P(DeskewCropTest, DocumentComesBackStraightAtItsSize) {
  const SkewCase c = GetParam();
  Page page(900, 1250, c.bits);
  const Doc doc{470, 610, 600, 850, c.angle};
  drawDocuments(page, c.background, {doc});
  addNoise(page, 6);
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder;
  ni.OutImage.Rotate = 1;
  long status = -1;
  const Page out = produce("DeskewCrop", page, ni, &status);
  ASSERT_EQ(status, 0);
  EXPECT_NEAR(out.width, doc.w, 3);
  EXPECT_NEAR(out.height, doc.h, 3);
  // Straight: the print lines sit where the upright document has them.
  const Page want = straightDocument(doc, c.bits);
  const int w = std::min(out.width, want.width) - 10, h = std::min(out.height, want.height) - 10;
  EXPECT_LT(meanDifference(out, want, 10, 10, w, h), 14.0);
}

INSTANTIATE_TEST_SUITE_P(Angles, DeskewCropTest,
                         ::testing::Values(SkewCase{0, 30, 8}, SkewCase{2.5, 30, 8},
                                           SkewCase{-4, 30, 24}, SkewCase{7.3, 190, 8},
                                           SkewCase{-12, 40, 24}, SkewCase{0.6, 190, 24}));

// The finder's measured accuracy: bounds within two pixels, angle within a tenth of a degree.
TEST(DocumentFinder, AngleWithinATenthOfADegreeAndBoundsWithinTwoPixels) {
  double worstAngle = 0, worstSize = 0;
  for (double angle : {-14.0, -7.5, -2.2, -0.4, 0.0, 0.3, 1.1, 3.7, 9.9, 13.0}) {
    Page page(1000, 1200, 8);
    const Doc doc{500, 600, 640, 830, angle};
    drawDocuments(page, 25, {doc});
    addNoise(page, 8, static_cast<uint32_t>(static_cast<int>(angle * 100 + 50)));
    const auto docs = lumetra::findDocuments(lumetra::greyPlane(rasterOf(page)), 30, false).docs;
    ASSERT_EQ(docs.size(), 1u);
    worstAngle = std::max(worstAngle, std::fabs(docs[0].angle - angle));
    worstSize = std::max({worstSize, std::fabs(docs[0].w - doc.w), std::fabs(docs[0].h - doc.h),
                          std::fabs(docs[0].cx - doc.cx), std::fabs(docs[0].cy - doc.cy)});
  }
  RecordProperty("worst_angle_error_deg", std::to_string(worstAngle));
  RecordProperty("worst_bound_error_px", std::to_string(worstSize));
  EXPECT_LT(worstAngle, 0.1);
  EXPECT_LT(worstSize, 2.0);
}

// An invoice on feeder backgrounds from black to white, straight and skewed, narrower than and
// as wide as the feeder: the sheet comes back whole and straight wherever its edge shows against
// the background, and where it cannot be told from the background the page comes back as it was
// scanned, never a piece of it (a colour square, a barcode, a strip). One case a sheet.
constexpr int kFeedDpi = 100;
constexpr int kFeederWidth = int(8.5 * kFeedDpi);
struct Feed {
  int w, h;
  double angle;
  int bits;
};
void PrintTo(const Feed& f, std::ostream* os) {
  *os << f.w << "x" << f.h << " px at " << f.angle << " degrees, " << f.bits << " bits";
}

class InvoiceOnFeederTest : public LumetraTest, public ::testing::WithParamInterface<Feed> {};

TEST_P(InvoiceOnFeederTest, ComesBackWholeOrUncroppedOnEveryBackground) {
  constexpr uint8_t kPaper = 250;
  constexpr int kVisibleContrast = 10;  // grey levels between paper and background that show
  const int window = 13 * kFeedDpi;
  const Feed& f = GetParam();
  Drawn code128{}, qr{};
  const Page sheet = invoiceSheet(kFeedDpi, f.w, f.h, f.bits, kPaper, &code128, &qr);
  for (int background : {0, 40, 90, 140, 190, 225, 235, 240, 246, 255}) {
    SCOPED_TRACE(testing::Message() << "sheet " << f.w << "x" << f.h << " at " << f.angle
                                    << " degrees on background " << background);
    Page page(kFeederWidth, window, f.bits);
    placeSheet(page, uint8_t(background), sheet, kFeederWidth / 2.0, window / 2.0 + 17, f.angle);
    addNoise(page, 3, uint32_t(background + 1));
    NIDATA ni = recordFor(page, kFeedDpi);
    ni.InImage.BackgroundColor = 255;  // the data source's word for a light feeder background
    ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder;
    ni.OutImage.Rotate = 1;
    long status = -1;
    const Page out = produce("DeskewCrop", page, ni, &status);
    ASSERT_EQ(status, 0);
    const bool whole = std::abs(out.width - f.w) <= 3 && std::abs(out.height - f.h) <= 3;
    const bool asScanned = out.width == page.width && out.height == page.height;
    if (std::abs(background - kPaper) >= kVisibleContrast) {
      ASSERT_TRUE(whole) << out.width << "x" << out.height;
      // Straight and in place: the two symbols, far apart, sit where the sheet has them.
      for (const Drawn& d : {code128, qr}) {
        const auto [x, y] = inkCentre(out, d);
        const auto [wantX, wantY] = inkCentre(sheet, d);
        EXPECT_NEAR(x, wantX, 1.5);
        EXPECT_NEAR(y, wantY, 1.5);
      }
    } else {
      EXPECT_TRUE(whole || asScanned) << out.width << "x" << out.height;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sheets, InvoiceOnFeederTest,
                         ::testing::Values(Feed{kFeederWidth, 11 * kFeedDpi, 0, 24},
                                           Feed{kFeederWidth - 30, 11 * kFeedDpi, 0.7, 8},
                                           Feed{583, 827, 0, 8}, Feed{583, 827, 4.5, 24},
                                           Feed{583, 827, -11, 8}));

// A page without a document (all background) is refused and nothing comes back.
TEST_F(LumetraTest, PageWithoutDocumentIsRefused) {
  Page page(300, 400, 8, 35);
  addNoise(page, 5);
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder;
  ni.OutImage.Rotate = 1;
  long status = 0;
  void* out = nullptr;
  EXPECT_EQ(lm.process("DeskewCrop")(page.data.data(), &out, &ni, nullptr, &status),
            kLumetraMsgFail);
  EXPECT_EQ(out, nullptr);
}

// Three documents on the flatbed: the first comes from the crop with a status of 2, the others
// from GetMultipleImage with 1 and 0, in reading order; a fourth call finds nothing.
TEST_F(LumetraTest, ThreeDocumentMultiCrop) {
  Page page(1200, 1300, 24);
  const std::vector<Doc> docs = {
      {300, 250, 400, 300, 3}, {850, 280, 350, 380, -5}, {600, 900, 700, 450, 1.5}};
  drawDocuments(page, 35, docs);
  addNoise(page, 4);
  NIDATA ni = recordFor(page, kDpi);
  ni.InImage.ScanType = 0;
  ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropMultiple;
  ni.OutImage.Rotate = 1;
  long status = -1;
  const Page first = produce("DeskewCrop", page, ni, &status);
  EXPECT_EQ(status, 2);
  std::vector<Page> got = {first};
  for (long want : {1L, 0L}) {
    void* out = nullptr;
    ASSERT_EQ(lm.process("GetMultipleImage")(nullptr, &out, &ni, nullptr, &status), 0);
    EXPECT_EQ(status, want);
    got.push_back(pageFromOutput(out, ni, 24));
    lm.FreeMemory(out);
  }
  for (size_t i = 0; i < docs.size(); ++i) {
    EXPECT_NEAR(got[i].width, docs[i].w, 3) << i;
    EXPECT_NEAR(got[i].height, docs[i].h, 3) << i;
  }
  void* out = nullptr;
  EXPECT_EQ(lm.process("GetMultipleImage")(nullptr, &out, &ni, nullptr, &status), kLumetraMsgFail);
  EXPECT_EQ(out, nullptr);
  // Documents left waiting do not outlive the next page's crop.
  NIDATA again = recordFor(page, kDpi);
  again.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropMultiple;
  produce("DeskewCrop", page, again, &status);
  EXPECT_EQ(status, 2);
  NIDATA single = recordFor(page, kDpi);
  single.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFlatbed;
  produce("DeskewCrop", page, single, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(lm.process("GetMultipleImage")(nullptr, &out, &ni, nullptr, &status), kLumetraMsgFail);
}

// With one cut for both sides, the rear of a duplex sheet takes the front's cut mirrored, even
// when its own edges cannot be seen.
TEST_F(LumetraTest, RearTakesTheFrontsCutMirrored) {
  Page front(800, 900, 8);
  const Doc doc{330, 420, 500, 600, 4};
  drawDocuments(front, 30, {doc});
  NIDATA ni = recordFor(front, kDpi);
  ni.InImage.ScanType = 2;
  ni.InImage.CurPages = 1;
  ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder | kLumetraCropSameForRear;
  ni.OutImage.Rotate = 1;
  long status = -1;
  const Page f = produce("DeskewCrop", front, ni, &status);
  ASSERT_EQ(status, 0);
  Page rear(800, 900, 8, 30);  // the rear's document as dark as the background: no edge
  ni.InImage.CurPages = 2;
  const Page r = produce("DeskewCrop", rear, ni, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(r.width, f.width);
  EXPECT_EQ(r.height, f.height);
}

// Text turned by a quarter turn comes back upright; the test hook forces an angle.
TEST_F(LumetraTest, AutoOrientationTurnsTextUpright) {
  Page upright = textSheet(200, 1000, 1300, 8, 30, 20);
  for (int quarters : {0, 1, 2, 3}) {
    SCOPED_TRACE(quarters);
    Page turned = turnClockwise(upright, quarters);
    NIDATA ni = recordFor(turned, 200);
    long status = -1;
    const Page out = produce("AutoOrientation", turned, ni, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(out.width, upright.width);
    ASSERT_EQ(out.height, upright.height);
    EXPECT_EQ(out.data, upright.data);
  }
  setenv(kLumetraForceOrientationEnv, "90", 1);
  NIDATA ni = recordFor(upright, 200);
  long status = -1;
  const Page forced = produce("AutoOrientation", upright, ni, &status);
  unsetenv(kLumetraForceOrientationEnv);
  EXPECT_EQ(forced.data, turnClockwise(upright, 1).data);
}

// A Letter page at 200 dpi with dense body text comes back upright from each of the four
// orientations; pages whose orientation is not clear (three lines, small print, capitals and
// digits) come back upright or as they were given, never turned another way.
TEST_F(LumetraTest, OrientationOfDenseAndSparseTextIsRightOrLeftAlone) {
  constexpr int kTextDpi = 200;
  Page capitals(1700, 2200, 8, 250);  // an invoice's lines: capitals and digits, no descenders
  for (int line = 0; line < 40; ++line)
    drawText(capitals, 150, 150 + line * 45, "INVOICE 2026 TOTAL 1234.50 EUR  QTY 12  UNIT 3.75",
             28);
  const struct {
    const char* name;
    Page upright;
    bool mustTurn;
  } pages[] = {{"dense body text", textSheet(kTextDpi, 1700, 2200, 8, 40, 28), true},
               {"three lines", textSheet(kTextDpi, 1700, 2200, 8, 3, 28), false},
               {"small print", textSheet(kTextDpi, 1700, 2200, 8, 40, 12), false},
               {"capitals and digits", capitals, false}};
  for (const auto& p : pages) {
    SCOPED_TRACE(p.name);
    expectUprightOrLeftAlone(p.upright, kTextDpi, p.mustTurn);
  }
}

// Merging: the cropped front and rear side by side, or the rear below the front.
TEST_F(LumetraTest, MergeTwoSidesHorizontallyAndVertically) {
  Page front(700, 900, 8), rear(700, 900, 8);
  const Doc f{350, 450, 500, 700, 2}, r{340, 460, 520, 640, -3};
  drawDocuments(front, 30, {f});
  drawDocuments(rear, 30, {r}, false);  // a rear without print
  for (const uint8_t merge : {uint8_t(0x21), uint8_t(0xC1)}) {
    SCOPED_TRACE(int(merge));
    NIDATA ni = recordFor(front, kDpi);
    ni.InImage.ScanType = 2;
    ni.OutImage.Merge2Side = merge;
    ni.OutImage.AutoCrop = 0x51;
    ni.OutImage.Rotate = 1;
    long status = -1;
    const Page out = produce("Merge2Side", front, ni, &status, rear.data.data());
    ASSERT_EQ(status, 0);
    const bool vertical = merge & kLumetraMergeVertical;
    if (vertical) {
      EXPECT_NEAR(out.width, std::max(f.w, r.w), 3);
      EXPECT_NEAR(out.height, f.h + r.h, 4);
    } else {
      EXPECT_NEAR(out.width, f.w + r.w, 4);
      EXPECT_NEAR(out.height, std::max(f.h, r.h), 3);
    }
    // The front's print in the first part, the blank rear after it.
    const Page want = straightDocument(f, 8);
    EXPECT_LT(meanDifference(out, want, 10, 10, int(f.w) - 10, int(f.h) - 10), 14.0);
    const int rl = vertical ? 10 : int(f.w) + 10, rt = vertical ? int(f.h) + 10 : 10;
    double dark = 0;
    for (int y = rt; y < rt + 100; ++y)
      for (int x = rl; x < rl + 100; ++x) dark += out.grey(x, y) < 128;
    EXPECT_EQ(dark, 0);
  }
}

}  // namespace
}  // namespace plugtest

namespace plugtest {
namespace {

// A one-bit page: the cut document of odd width comes back in rows of (width + 7) / 8 bytes,
// the block exactly that large (the sanitizer checks every byte read here).
TEST_F(LumetraTest, OneBitCropRowsArePackedToWholeBytes) {
  Page page(640, 480, 1, 0);
  fillRect(page, 101, 57, 101 + 301, 57 + 333, 255, 255, 255);
  NIDATA ni = recordFor(page, 100);
  ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder;
  ni.OutImage.Rotate = 1;
  long status = -1;
  const Page out = produce("DeskewCrop", page, ni, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(out.width, 301);
  EXPECT_EQ(out.height, 333);
  EXPECT_EQ(+ni.OutImage.BW.BytesPerLine, (301 + 7) / 8);
  int black = 0;
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) black += out.grey(x, y) == 0;
  EXPECT_EQ(black, 0);
}

}  // namespace
}  // namespace plugtest
