// Automatic crop and deskew and blank-page removal on the simulated scanner's own documents (an
// invoice with barcodes, a text page, a photo print, nearly blank backs), rendered on feeder
// backgrounds from black to white, straight and skewed, narrower than the feeder and as wide as
// it, through the plug-in's entries as the front ends call them.
#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "plugins/Stripecode/Stripecode.h"
#include "sim/SimDocuments.h"
#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

constexpr int kScanDpi = 150;
constexpr double kFeederInches = 8.5;     // the supported scanner's feeder
constexpr double kWindowInches = 12.2;    // the window's length: every sheet and background beyond
constexpr int kNoise = 3;                 // the scanner's noise, grey levels each way
constexpr uint8_t kDataSourceHint = 255;  // the data source's word for its light feeder
// Grey levels between paper and background from which the sheet's edge shows: the sheet must
// be found there. Closer, the page may also come back as scanned, or cut to its print when only
// that shows (a photo's picture inside a white border on a white feeder), never a piece of it.
constexpr int kVisibleContrast = 8;
constexpr int kInk = 48;  // grey levels from the paper that count as print

// Feeder backgrounds from black to white: the dark and mid greys in steps, and closely where
// feeders and paper are alike.
enum class Backgrounds { kSteps, kLight };

void PrintTo(Backgrounds b, std::ostream* os) {
  *os << (b == Backgrounds::kSteps ? "0 to 225 in steps of 15" : "230 to 255");
}

std::vector<int> feederBackgrounds(Backgrounds range) {
  std::vector<int> v;
  if (range == Backgrounds::kSteps)
    for (int b = 0; b < 230; b += 15) v.push_back(b);
  else
    for (int b = 230; b <= 255; ++b) v.push_back(b);
  return v;
}

Page pageOf(const sim::RgbPage& r, int bits) {
  Page p(int(r.width), int(r.height), bits);
  for (uint32_t y = 0; y < r.height; ++y)
    for (uint32_t x = 0; x < r.width; ++x) {
      const uint8_t* c = r.at(x, y);
      p.set(int(x), int(y), c[0], c[1], c[2]);
    }
  return p;
}

int paperGrey(const sim::Document& d) {
  Page one(1, 1, 8);
  one.set(0, 0, d.paper.r, d.paper.g, d.paper.b);
  return one.grey(0, 0);
}

// A sheet in the feeder's window, drawn once on black and once on white: the renderer lays the
// paper over the background by its coverage, so any background is the blend of the two.
class FeederScene {
 public:
  FeederScene(const sim::Document& d, int bits) : bits_(bits) {
    std::string error;
    const auto pixels = uint32_t(std::lround(kFeederInches * kScanDpi));
    const auto lines = uint32_t(std::lround(kWindowInches * kScanDpi));
    EXPECT_TRUE(
        sim::RenderPage(d, kScanDpi, kScanDpi, sim::Rgb{0, 0, 0}, &onBlack_, &error, pixels, lines))
        << error;
    EXPECT_TRUE(sim::RenderPage(d, kScanDpi, kScanDpi, sim::Rgb{255, 255, 255}, &onWhite_, &error,
                                pixels, lines))
        << error;
  }

  // The sheet on the background with the scanner's noise.
  Page on(int background) const {
    Page p(int(onBlack_.width), int(onBlack_.height), bits_);
    const size_t pixels = size_t(onBlack_.width) * onBlack_.height;
    const uint8_t* black = onBlack_.rgb.data();
    const uint8_t* white = onWhite_.rgb.data();
    uint8_t* out = p.data.data();
    for (size_t i = 0; i < pixels; ++i, black += 3, white += 3) {
      uint8_t c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = uint8_t((black[k] * 255 + (white[k] - black[k]) * background + 127) / 255);
      if (bits_ == 24)
        out[3 * i] = c[0], out[3 * i + 1] = c[1], out[3 * i + 2] = c[2];
      else
        out[i] = uint8_t((3 * c[0] + 6 * c[1] + c[2]) / 10);  // as Page::set makes grey
    }
    addNoise(p, kNoise, uint32_t(background * 7 + 1));
    return p;
  }

 private:
  int bits_;
  sim::RgbPage onBlack_, onWhite_;
};

// The paper alone, upright: what a perfect cut gives.
Page straight(const sim::Document& d, int bits) {
  double w = 0, h = 0;
  std::string error;
  EXPECT_TRUE(sim::DocumentSize(d, &w, &h, &error)) << error;
  sim::Document upright = d;
  upright.left = upright.top = upright.skew = 0;
  sim::RgbPage r;
  EXPECT_TRUE(sim::RenderPage(upright, kScanDpi, kScanDpi, d.paper, &r, &error,
                              uint32_t(std::lround(w * kScanDpi)),
                              uint32_t(std::lround(h * kScanDpi))))
      << error;
  return pageOf(r, bits);
}

// Pixels of print: farther than kInk from the paper's level.
long inkOf(const Page& p, int paper) {
  long n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) n += std::abs(int(p.grey(x, y)) - paper) > kInk;
  return n;
}

// How the print of a cut page lies against the paper drawn upright: patches spread over the
// page are each found within a few pixels' search, and the shift and turn that fit them all are
// measured.
struct Registration {
  int patches = 0;
  double worstShift = 0;  // pixels, the patch found farthest from its place
  double angle = 0;       // degrees, the turn left in the cut page
};

// A page's grey values, row after row.
struct GreyPlane {
  int width, height;
  std::vector<uint8_t> v;
  explicit GreyPlane(const Page& p)
      : width(p.width), height(p.height), v(size_t(p.width) * p.height) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) v[size_t(y) * width + x] = p.grey(x, y);
  }
  int at(int x, int y) const { return v[size_t(y) * width + x]; }
};

Registration registration(const Page& gotPage, const Page& wantPage) {
  constexpr int kCells = 12, kPatch = 48, kReach = 6, kMostPatches = 12;
  // A patch is used only where its print has edges running both ways (the smaller eigenvalue of
  // its gradients' structure, per pixel, in grey levels squared): along a single rule or a
  // smooth gradient a match could slide.
  constexpr double kMinCornerness = 15;
  const GreyPlane got(gotPage), want(wantPage);
  struct Candidate {
    int x0, y0;
    double cornerness;
  };
  std::vector<Candidate> candidates;
  const int w = std::min(got.width, want.width), h = std::min(got.height, want.height);
  for (int cy = 0; cy < kCells; ++cy) {
    for (int cx = 0; cx < kCells; ++cx) {
      const int x0 = (2 * cx + 1) * want.width / (2 * kCells) - kPatch / 2;
      const int y0 = (2 * cy + 1) * want.height / (2 * kCells) - kPatch / 2;
      if (x0 < kReach || y0 < kReach || x0 + kPatch + kReach > w || y0 + kPatch + kReach > h)
        continue;
      double sxx = 0, syy = 0, sxy = 0;
      for (int y = y0; y < y0 + kPatch; ++y)
        for (int x = x0; x < x0 + kPatch; ++x) {
          const double gx = (want.at(x + 1, y) - want.at(x - 1, y)) / 2.0;
          const double gy = (want.at(x, y + 1) - want.at(x, y - 1)) / 2.0;
          sxx += gx * gx, syy += gy * gy, sxy += gx * gy;
        }
      const double smaller = (sxx + syy) / 2 - std::sqrt((sxx - syy) * (sxx - syy) / 4 + sxy * sxy);
      if (smaller / (kPatch * kPatch) >= kMinCornerness) candidates.push_back({x0, y0, smaller});
    }
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.cornerness > b.cornerness; });
  if (candidates.size() > size_t(kMostPatches)) candidates.resize(kMostPatches);

  struct Match {
    double x, y, dx, dy;
  };
  std::vector<Match> matches;
  for (const Candidate& c : candidates) {
    long cost[2 * kReach + 1][2 * kReach + 1];
    long best = -1;
    int bx = 0, by = 0;
    for (int dy = -kReach; dy <= kReach; ++dy)
      for (int dx = -kReach; dx <= kReach; ++dx) {
        long sum = 0;
        for (int y = c.y0; y < c.y0 + kPatch; ++y) {
          const uint8_t* g = &got.v[size_t(y + dy) * got.width + c.x0 + dx];
          const uint8_t* t = &want.v[size_t(y) * want.width + c.x0];
          for (int x = 0; x < kPatch; ++x) sum += std::abs(int(g[x]) - int(t[x]));
        }
        cost[dy + kReach][dx + kReach] = sum;
        if (best < 0 || sum < best) best = sum, bx = dx, by = dy;
      }
    // A parabola through the best cost and its neighbours places the match between pixels.
    auto refine = [](double before, double at, double after) {
      const double curve = before - 2 * at + after;
      return curve > 0 ? std::clamp((before - after) / (2 * curve), -0.5, 0.5) : 0.0;
    };
    double fx = bx, fy = by;
    if (std::abs(bx) < kReach)
      fx += refine(cost[by + kReach][bx + kReach - 1], cost[by + kReach][bx + kReach],
                   cost[by + kReach][bx + kReach + 1]);
    if (std::abs(by) < kReach)
      fy += refine(cost[by + kReach - 1][bx + kReach], cost[by + kReach][bx + kReach],
                   cost[by + kReach + 1][bx + kReach]);
    matches.push_back({c.x0 + kPatch / 2.0, c.y0 + kPatch / 2.0, fx, fy});
  }
  Registration r;
  r.patches = int(matches.size());
  if (matches.empty()) return r;
  double mx = 0, my = 0, mdx = 0, mdy = 0;
  for (const Match& m : matches) {
    mx += m.x / r.patches, my += m.y / r.patches;
    mdx += m.dx / r.patches, mdy += m.dy / r.patches;
    r.worstShift = std::max(r.worstShift, std::hypot(m.dx, m.dy));
  }
  double turn = 0, spread = 0;
  for (const Match& m : matches) {
    const double px = m.x - mx, py = m.y - my;
    turn += px * (m.dy - mdy) - py * (m.dx - mdx);
    spread += px * px + py * py;
  }
  constexpr double kDegreesPerRadian = 57.29577951308232;
  r.angle = spread > 0 ? turn / spread * kDegreesPerRadian : 0;
  return r;
}

class ScannedDocuments : public LumetraTest {
 protected:
  // The barcodes the barcode plug-in reads in a band of rows of a page.
  std::vector<std::string> barcodesIn(const Page& p, int top, int bottom) {
    top = std::clamp(top, 0, p.height), bottom = std::clamp(bottom, top, p.height);
    Page band(p.width, bottom - top, p.bits);
    for (int y = top; y < bottom; ++y) memcpy(band.row(y - top), p.row(y), p.stride);
    const std::vector<uint8_t> dib = barcodeBitmap(band, kScanDpi);
    int32_t count = 0;
    void* block = search(dib.data(), uint32_t(dib.size()), 0, &count);
    if (!block) return {};
    std::vector<std::string> texts;
    for (const FoundBarcode& f : parseBarcodes(block, count)) texts.push_back(f.text);
    free(block);
    return texts;
  }

  // The crop as the front ends ask for it on a feeder page.
  Page cropped(Page& page, uint8_t hint, long* status) {
    NIDATA ni = recordFor(page, kScanDpi);
    ni.InImage.BackgroundColor = hint;
    ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder;
    ni.OutImage.Rotate = 1;
    return produce("DeskewCrop", page, ni, status);
  }

  bool blank(Page& page, uint8_t hint, uint8_t threshold) {
    NIDATA ni = recordFor(page, kScanDpi);
    ni.InImage.BackgroundColor = hint;
    ni.OutImage.BlankThreshold = threshold;
    long status = 0;
    EXPECT_EQ(lm.process("BlankPageDetection")(page.data.data(), nullptr, &ni, nullptr, &status),
              0);
    return status == kLumetraStatusBlankPage;
  }

  Plugin stripecode{kStripecodeLibraryName, RTLD_LAZY | RTLD_LOCAL};
  StripecodeSearchFn search = stripecode.entry<StripecodeSearchFn>("Search");
};

sim::Document document(sim::DocumentKind kind, double width, double height, double left, double top,
                       double skew, uint32_t pageNumber = 1) {
  sim::Document d;
  d.kind = kind;
  d.width = width, d.height = height;
  d.left = left, d.top = top, d.skew = skew, d.pageNumber = pageNumber;
  return d;
}

constexpr double kA4[] = {8.27, 11.69}, kLetter[] = {8.5, 11}, kA5[] = {5.83, 8.27};

struct Sheet {
  const char* name;
  sim::Document doc;
  int bits;
};

void PrintTo(const Sheet& s, std::ostream* os) { *os << s.name; }

class CropOnEveryBackground : public ScannedDocuments,
                              public testing::WithParamInterface<std::tuple<Sheet, Backgrounds>> {};

std::string sheetAndBackgrounds(
    const testing::TestParamInfo<std::tuple<Sheet, Backgrounds>>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == Backgrounds::kSteps ? "OnDarkToLightGreys" : "OnLightGreys");
}

// On every background the sheet comes back whole: its size within a few pixels, its print where
// the paper has it (found within two pixels everywhere, turned less than a tenth of a degree),
// an invoice's barcodes read on the cut page. Where the sheet and the background are too close
// to tell apart, the page may come back as scanned or cut to all of its print instead.
TEST_P(CropOnEveryBackground, SheetComesBackWholeAndStraight) {
  ASSERT_NE(search, nullptr);
  const auto& [s, range] = GetParam();
  const FeederScene scene(s.doc, s.bits);
  const Page want = straight(s.doc, s.bits);
  const int paper = paperGrey(s.doc);
  const long print = inkOf(want, paper);
  const std::vector<sim::DocumentBarcode> codes = sim::DocumentBarcodes(s.doc);
  for (int background : feederBackgrounds(range)) {
    Page page = scene.on(background);
    // The data source says "light" for its feeder whatever lies on it; a caller may also say
    // "dark" for a dark one.
    std::vector<uint8_t> hints = {kDataSourceHint};
    if (background % 45 == 0 && background < 128) hints.push_back(0);
    for (uint8_t hint : hints) {
      SCOPED_TRACE(testing::Message()
                   << "background " << background << ", the caller's level " << int(hint));
      long status = -1;
      const Page out = cropped(page, hint, &status);
      ASSERT_EQ(status, 0);
      const bool whole =
          std::abs(out.width - want.width) <= 3 && std::abs(out.height - want.height) <= 3;
      if (std::abs(background - paper) < kVisibleContrast && !whole) {
        const bool asScanned = out.width == page.width && out.height == page.height;
        EXPECT_TRUE(asScanned || inkOf(out, paper) >= print * 98 / 100)
            << out.width << "x" << out.height << " holds " << inkOf(out, paper) << " of " << print
            << " pixels of print";
        continue;
      }
      ASSERT_TRUE(whole) << out.width << "x" << out.height << ", the paper " << want.width << "x"
                         << want.height;
      const Registration r = registration(out, want);
      EXPECT_GE(r.patches, 4);
      EXPECT_LE(r.worstShift, 2.0);
      EXPECT_LT(std::fabs(r.angle), 0.1);
      for (const sim::DocumentBarcode& c : codes) {
        const int top = int((c.top - 0.3) * kScanDpi),
                  bottom = int((c.top + c.height + 0.3) * kScanDpi);
        const std::vector<std::string> read = barcodesIn(out, top, bottom);
        EXPECT_NE(std::find(read.begin(), read.end(), c.text), read.end()) << c.format;
      }
    }
  }
}

using K = sim::DocumentKind;
INSTANTIATE_TEST_SUITE_P(
    Sheets, CropOnEveryBackground,
    testing::Combine(
        testing::Values(Sheet{"A4InvoiceStraight",
                              document(K::Invoice, kA4[0], kA4[1], 0.12, 0.3, 0), 24},
                        Sheet{"A4InvoiceSkewedNearlyAsWide",
                              document(K::Invoice, kA4[0], kA4[1], 0.1, 0.45, 0.8), 24},
                        Sheet{"LetterInvoiceAsWideAsTheFeeder",
                              document(K::Invoice, kLetter[0], kLetter[1], 0, 0.3, 0), 8},
                        Sheet{"A5TextSkewed", document(K::Text, kA5[0], kA5[1], 1.3, 0.6, -6), 8},
                        Sheet{"PhotoPrintSkewed", document(K::Photo, 7, 5, 0.7, 0.4, 2), 24}),
        testing::Values(Backgrounds::kSteps, Backgrounds::kLight)),
    sheetAndBackgrounds);

// With one cut for both sides of a duplex sheet, a page numbered as a rear takes its front's cut
// only where its own edges do not show. The data source numbers the pages it delivers, so after
// a dropped blank rear the next sheet's front comes numbered as that rear: it is still cut to its
// own paper, not to the previous sheet's cut mirrored.
TEST_F(ScannedDocuments, PageNumberedAsARearIsCutToItsOwnEdges) {
  constexpr int kBackground = 240;
  const sim::Document front = document(K::Text, kA4[0], kA4[1], 0.1, 0.3, 0.8);
  sim::Document rear = document(K::NearlyBlank, kA4[0], kA4[1], 0.13, 0.3, -0.8, 0);
  rear.paper = sim::Rgb{kBackground, kBackground, kBackground};  // edges that do not show
  const sim::Document next = document(K::Invoice, kA4[0], kA4[1], 0.12, 0.25, -0.6);
  auto crop = [&](const sim::Document& d, uint16_t number) {
    Page page = FeederScene(d, 24).on(kBackground);
    NIDATA ni = recordFor(page, kScanDpi);
    ni.InImage.ScanType = 2;
    ni.InImage.CurPages = number;
    ni.InImage.BackgroundColor = kDataSourceHint;
    ni.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropFeeder | kLumetraCropSameForRear;
    ni.OutImage.Rotate = 1;
    long status = -1;
    Page out = produce("DeskewCrop", page, ni, &status);
    EXPECT_EQ(status, 0);
    return out;
  };
  const Page cutFront = crop(front, 1);
  const Page cutRear = crop(rear, 2);
  EXPECT_EQ(cutRear.width, cutFront.width);
  EXPECT_EQ(cutRear.height, cutFront.height);
  const Page out = crop(next, 2);
  const Page want = straight(next, 24);
  ASSERT_NEAR(out.width, want.width, 3);
  ASSERT_NEAR(out.height, want.height, 3);
  const Registration r = registration(out, want);
  EXPECT_GE(r.patches, 4);
  EXPECT_LE(r.worstShift, 2.0);
  EXPECT_LT(std::fabs(r.angle), 0.1);
}

// Automatic orientation on the simulated scanner's pages as the crop leaves them, at the data
// source's usual 200 dpi: the text page (headings and body text) comes back upright from each of
// the four quarter turns; the invoice and the photo print come back upright or as they were
// given, never turned another way, and so does a page with only a page number on it.
TEST_F(ScannedDocuments, OrientationOfScannedPagesIsRightOrLeftAlone) {
  constexpr int kOrientationDpi = 200;
  const struct {
    const char* name;
    sim::Document doc;
    bool mustTurn;
  } pages[] = {
      {"text page", document(K::Text, kA4[0], kA4[1], 0, 0, 0), true},
      {"invoice", document(K::Invoice, kA4[0], kA4[1], 0, 0, 0), false},
      {"photo print", document(K::Photo, 7, 5, 0, 0, 0), false},
      {"page number only", document(K::NearlyBlank, kA4[0], kA4[1], 0, 0, 0, 7), false},
  };
  for (const auto& p : pages) {
    double w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(sim::DocumentSize(p.doc, &w, &h, &error)) << error;
    sim::RgbPage r;
    ASSERT_TRUE(sim::RenderPage(p.doc, kOrientationDpi, kOrientationDpi, p.doc.paper, &r, &error,
                                uint32_t(std::lround(w * kOrientationDpi)),
                                uint32_t(std::lround(h * kOrientationDpi))))
        << error;
    const Page upright = pageOf(r, 24);
    SCOPED_TRACE(p.name);
    expectUprightOrLeftAlone(upright, kOrientationDpi, p.mustTurn);
  }
}

// Blank-page removal on the sheets as the feeder shows them and as the crop leaves them, at the
// threshold the data source gives by default: an empty sheet with specks of dust is blank on
// every background; an invoice (solid logo, colour patches, barcodes), a text page and a photo
// print never are. A page number alone is a little print: kept at a strict threshold, blank at
// a lenient one; at the default a one-digit number (about 3 mm² of print on A4) is under the
// allowance (about 6 mm²) and a three-digit one (about 7 mm²) over it.
struct BlankCase {
  const char* name;
  sim::Document doc;
  uint8_t threshold;
  bool blank;
};

void PrintTo(const BlankCase& c, std::ostream* os) { *os << c.name; }

class BlankOnEveryBackground : public ScannedDocuments,
                               public testing::WithParamInterface<BlankCase> {};

TEST_P(BlankOnEveryBackground, DecisionFollowsThePrint) {
  const BlankCase& c = GetParam();
  const FeederScene scene(c.doc, 24);
  for (int background : {0, 60, 150, 225, 240, 248, 255}) {
    Page page = scene.on(background);
    std::vector<uint8_t> hints = {kDataSourceHint};
    if (background == 0) hints.push_back(0);
    for (uint8_t hint : hints) {
      SCOPED_TRACE(testing::Message()
                   << "background " << background << ", the caller's level " << int(hint));
      EXPECT_EQ(blank(page, hint, c.threshold), c.blank) << "as the feeder shows it";
      long status = -1;
      Page out = cropped(page, hint, &status);
      ASSERT_EQ(status, 0);
      EXPECT_EQ(blank(out, hint, c.threshold), c.blank) << "cut to its paper";
    }
  }
}

// The data source asks with 101 less the dialog's threshold (default 50); 10 and 100 are the
// strict and the lenient ends of the dialog's range.
constexpr uint8_t kDefaultThreshold = 101 - 50, kStrict = 10, kLenient = 100;

INSTANTIATE_TEST_SUITE_P(
    Pages, BlankOnEveryBackground,
    testing::Values(
        BlankCase{"SpecksOnly", document(K::NearlyBlank, kA4[0], kA4[1], 0.1, 0.45, 0.8, 0),
                  kStrict, true},
        BlankCase{"SpecksOnlyAsWideAsTheFeeder",
                  document(K::NearlyBlank, kLetter[0], kLetter[1], 0, 0.3, 0, 0), kStrict, true},
        BlankCase{"PageNumberStrict", document(K::NearlyBlank, kA4[0], kA4[1], 0.1, 0.45, 0.8, 2),
                  kStrict, false},
        BlankCase{"OneDigitPageNumberAtTheDefault",
                  document(K::NearlyBlank, kA4[0], kA4[1], 0.1, 0.45, 0.8, 2), kDefaultThreshold,
                  true},
        BlankCase{"ThreeDigitPageNumberAtTheDefault",
                  document(K::NearlyBlank, kA4[0], kA4[1], 0.1, 0.45, 0.8, 148), kDefaultThreshold,
                  false},
        BlankCase{"PageNumberLenient", document(K::NearlyBlank, kA4[0], kA4[1], 0.1, 0.45, 0.8, 2),
                  kLenient, true},
        BlankCase{"Invoice", document(K::Invoice, kA4[0], kA4[1], 0.1, 0.45, 0.8),
                  kDefaultThreshold, false},
        BlankCase{"InvoiceAsWideAsTheFeeder",
                  document(K::Invoice, kLetter[0], kLetter[1], 0, 0.3, 0), kLenient, false},
        BlankCase{"TextPage", document(K::Text, kA5[0], kA5[1], 1.3, 0.6, -6), kLenient, false},
        BlankCase{"PhotoPrint", document(K::Photo, 7, 5, 0.7, 0.4, 2), kLenient, false}),
    [](const testing::TestParamInfo<BlankCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plugtest
