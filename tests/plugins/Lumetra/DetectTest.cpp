// Blank pages, colour pages and patch sheets through the detection entries.
#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

long detectStatus(Lumetra& lm, const char* entry, Page& page, NIDATA& ni) {
  long status = 99;
  EXPECT_EQ(lm.process(entry)(page.data.data(), nullptr, &ni, nullptr, &status), 0);
  return status;
}

enum class Content { Empty, Specks, OneWord, TextLines, DarkBackgroundEmpty, DarkBackgroundText };

Page blankCandidate(Content c) {
  Page page(1000, 1300, 8, 240);
  switch (c) {
    case Content::Empty:
      break;
    case Content::Specks:  // dust: dots under 1/50 inch
      for (int i = 0; i < 40; ++i)
        fillRect(page, 50 + i * 23, 70 + i * 29, 52 + i * 23, 72 + i * 29, 20, 20, 20);
      break;
    case Content::OneWord:
      drawText(page, 400, 600, "Hello", 25);
      break;
    case Content::TextLines:
      for (int l = 0; l < 20; ++l)
        drawText(page, 80, 80 + l * 50, "Lorem ipsum dolor sit amet", 25);
      break;
    case Content::DarkBackgroundEmpty:
      drawDocuments(page, 30, {{500, 650, 800, 1100, 3}}, false);
      break;
    case Content::DarkBackgroundText:
      drawDocuments(page, 30, {{500, 650, 800, 1100, 3}}, true);
      break;
  }
  addNoise(page, 4);
  return page;
}

struct BlankCase {
  Content content;
  int threshold;
  bool blank;
};

class BlankTest : public LumetraTest, public ::testing::WithParamInterface<BlankCase> {};

TEST_P(BlankTest, Decision) {
  const BlankCase c = GetParam();
  Page page = blankCandidate(c.content);
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.BlankThreshold = uint8_t(c.threshold);
  EXPECT_EQ(detectStatus(lm, "BlankPageDetection", page, ni) == kLumetraStatusBlankPage, c.blank);
}

INSTANTIATE_TEST_SUITE_P(Pages, BlankTest,
                         ::testing::Values(BlankCase{Content::Empty, 0, true},
                                           BlankCase{Content::Specks, 10, true},
                                           BlankCase{Content::OneWord, 10, false},
                                           BlankCase{Content::OneWord, 255, true},
                                           BlankCase{Content::TextLines, 100, false},
                                           BlankCase{Content::DarkBackgroundEmpty, 10, true},
                                           BlankCase{Content::DarkBackgroundText, 100, false}));

// Realistic pages as they reach the blank test: cropped (the sheet is the whole page), and sheets
// on dark and light feeder backgrounds, skewed or as wide as the feeder. A page is blank only
// when nothing on it is print: a solid area (colour squares, a barcode, a photo-like block) or a
// lone page number keep it; specks of dust and the sheet's own edges do not.
TEST_F(LumetraTest, BlankOnlyWhenTheWholeSheetHasNoPrint) {
  constexpr int kSheetDpi = 100;
  enum Kind { kEmpty, kSpecks, kPageNumber, kInvoice, kSolidOnly };
  const struct {
    Kind kind;
    bool blank;
  } contents[] = {{kEmpty, true},
                  {kSpecks, true},
                  {kPageNumber, false},
                  {kInvoice, false},
                  {kSolidOnly, false}};
  const struct {
    int sheetW, sheetH, pageW, pageH, background;
    double angle;
  } layouts[] = {{850, 1100, 850, 1100, -1, 0},  // cropped: no background
                 {583, 827, 850, 1300, 30, 2.0},
                 {583, 827, 850, 1300, 235, -3.0},
                 {850, 1100, 850, 1300, 240, 0}};
  for (const auto& l : layouts) {
    for (const auto& c : contents) {
      SCOPED_TRACE(testing::Message() << "content " << c.kind << " on background " << l.background
                                      << " at " << l.angle << " degrees");
      Page sheet = c.kind == kInvoice ? invoiceSheet(kSheetDpi, l.sheetW, l.sheetH, 24)
                                      : Page(l.sheetW, l.sheetH, 24, 250);
      if (c.kind == kPageNumber) drawText(sheet, l.sheetW / 2, l.sheetH - 80, "12", 14);
      if (c.kind == kSolidOnly) {
        fillRect(sheet, 100, 120, 300, 320, 40, 90, 200);
        drawSymbol(sheet, ZXing::BarcodeFormat::QRCode, "page 7", 380, 120, 100, 100);
      }
      Page page = sheet;
      if (l.background >= 0) {
        page = Page(l.pageW, l.pageH, 24);
        placeSheet(page, uint8_t(l.background), sheet, l.pageW / 2.0, l.pageH / 2.0, l.angle);
      }
      if (c.kind == kSpecks)  // single-pixel dust inside the sheet
        for (int i = 0; i < 60; ++i)
          page.set(l.pageW / 4 + i * 7, l.pageH / 4 + (i * 37) % 500, 20);
      addNoise(page, 3);
      NIDATA ni = recordFor(page, kSheetDpi);
      ni.InImage.BackgroundColor = l.background > 128 ? 255 : 0;
      ni.OutImage.BlankThreshold = 10;
      EXPECT_EQ(detectStatus(lm, "BlankPageDetection", page, ni) == kLumetraStatusBlankPage,
                c.blank);
    }
  }
}

// A higher threshold never turns a blank page into a page with content.
TEST_F(LumetraTest, BlankDecisionIsMonotoneInTheThreshold) {
  for (Content c : {Content::OneWord, Content::Specks, Content::TextLines}) {
    Page page = blankCandidate(c);
    bool seenBlank = false;
    for (int t : {0, 5, 10, 20, 40, 70, 100, 150, 255}) {
      NIDATA ni = recordFor(page, kDpi);
      ni.OutImage.BlankThreshold = uint8_t(t);
      const bool blank =
          detectStatus(lm, "BlankPageDetection", page, ni) == kLumetraStatusBlankPage;
      EXPECT_TRUE(blank || !seenBlank) << "threshold " << t;
      seenBlank = seenBlank || blank;
    }
  }
}

Page colourCandidate(int kind) {
  Page page(600, 800, 24, 240);
  for (int l = 0; l < 12; ++l) drawText(page, 40, 40 + l * 50, "Grey print only", 24);
  if (kind == 1) fillRect(page, 400, 600, 460, 650, 200, 30, 40);  // a red stamp
  if (kind == 2) {                                                 // fringes along print
    for (int y = 0; y < page.height; ++y)
      for (int x = 1; x < page.width; ++x)
        if (page.grey(x, y) < 100 && page.grey(x - 1, y) > 200) page.set(x - 1, y, 120, 200, 250);
  }
  if (kind == 3) fillRect(page, 100, 100, 104, 104, 40, 40, 220);  // a few blue pixels
  return page;
}

// Grey print and one-pixel colour fringes are not colour; a stamp is.
TEST_F(LumetraTest, ColourDecisions) {
  const struct {
    int kind, sensitivity;
    bool colour;
  } cases[] = {{0, 100, false}, {1, 37, true}, {2, 37, false}, {3, 37, false}, {3, 100, true}};
  for (const auto& c : cases) {
    Page page = colourCandidate(c.kind);
    NIDATA ni = recordFor(page, kDpi);
    ni.OutImage.OutMode = 0x8000;
    ni.OutImage.ACThreshold = uint8_t(c.sensitivity);
    EXPECT_EQ(detectStatus(lm, "AutoColorDetection", page, ni) != kLumetraStatusNoColour, c.colour)
        << c.kind << " at " << c.sensitivity;
  }
  Page grey(50, 50, 8, 128);
  NIDATA ni = recordFor(grey, kDpi);
  EXPECT_EQ(detectStatus(lm, "AutoColorDetection", grey, ni), kLumetraStatusNoColour);
}

TEST_F(LumetraTest, ColourDecisionIsMonotoneInTheSensitivity) {
  for (int kind : {1, 2, 3}) {
    Page page = colourCandidate(kind);
    bool seenColour = false;
    for (int s = 0; s <= 100; s += 4) {
      NIDATA ni = recordFor(page, kDpi);
      ni.OutImage.ACThreshold = uint8_t(s);
      const bool colour =
          detectStatus(lm, "AutoColorDetection", page, ni) != kLumetraStatusNoColour;
      EXPECT_TRUE(colour || !seenColour) << kind << " at " << s;
      seenColour = seenColour || colour;
    }
  }
}

TEST_F(LumetraTest, EveryPatchSheetAnswersItsStatus) {
  for (int i = 0; i < int(std::size(kLumetraPatchPatterns)); ++i) {
    for (int quarters : {0, 1}) {
      Page page = turnClockwise(patchSheet(kLumetraPatchPatterns[i], 100), quarters);
      NIDATA ni = recordFor(page, 100);
      const long status = detectStatus(lm, "PatchCode", page, ni);
      EXPECT_EQ(status, kLumetraStatusPatch1 - i) << kLumetraPatchPatterns[i] << " " << quarters;
      EXPECT_LE(status, -1025);
    }
  }
}

TEST_F(LumetraTest, PagesThatAreNoPatchSheet) {
  Page text = blankCandidate(Content::TextLines);
  Page stripes(850, 1100, 8, 245);  // many bars, as a barcode has
  for (int i = 0; i < 30; ++i) fillRect(stripes, 200 + i * 16, 300, 208 + i * 16, 800, 10, 10, 10);
  Page shortBars = patchSheet("WNNW", 100);
  fillRect(shortBars, 0, 0, shortBars.width, 500, 245, 245, 245);
  fillRect(shortBars, 0, 540, shortBars.width, 1100, 245, 245, 245);  // bars 0.4 inch long
  for (Page* p : {&text, &stripes, &shortBars}) {
    NIDATA ni = recordFor(*p, 100);
    EXPECT_EQ(detectStatus(lm, "PatchCode", *p, ni), 0);
  }
}

}  // namespace
}  // namespace plugtest
