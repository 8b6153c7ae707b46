// The in-place entries: punch holes, specks, edges, background, grey quality, thresholds and
// colour drop-out; and every entry on odd widths and one-pixel pages.
#include <cmath>

#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

int darkPixels(const Page& p, int l, int t, int r, int b, uint8_t below = 128) {
  int n = 0;
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x) n += p.grey(x, y) < below;
  return n;
}

// Holes near the edge showing the dark feeder background are painted with the paper; a round
// mark in the middle of the page and the print stay.
TEST_F(LumetraTest, PunchHolesNearTheEdgeAreRemoved) {
  for (int bits : {8, 24}) {
    Page page(1200, 1800, bits, 235);
    for (int l = 0; l < 20; ++l) drawText(page, 250, 100 + l * 70, "Minutes of the meeting", 30);
    const double r = 0.125 * kDpi;  // a quarter inch hole
    for (double cy : {300.0, 825.0, 1350.0}) fillDisc(page, 0.5 * kDpi, cy, r, 25);
    fillDisc(page, 600, 1600, r, 25);  // not near an edge
    const int print = darkPixels(page, 240, 0, 1200, 1450);
    NIDATA ni = recordFor(page, kDpi);
    long status = -1;
    ASSERT_EQ(inPlace("PunchHoleRemoval", page, ni, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(darkPixels(page, 0, 0, 200, page.height), 0) << bits;
    EXPECT_GT(darkPixels(page, 560, 1560, 640, 1640), 500) << bits;
    EXPECT_EQ(darkPixels(page, 240, 0, 1200, 1450), print) << bits;
  }
}

// Specks of at most the given number of dots within the radius go; larger marks stay.
TEST_F(LumetraTest, DespeckleRemovesSmallDotsOnly) {
  Page page(101, 60, 1, 255);  // odd width; a clear bit is black
  const struct {
    int x, y, w, h;
    bool stays;
  } marks[] = {{5, 5, 1, 1, false}, {20, 5, 2, 2, false}, {40, 5, 3, 1, false},
               {60, 5, 3, 3, true}, {80, 5, 1, 4, true},  {5, 30, 40, 20, true}};
  for (const auto& m : marks) fillRect(page, m.x, m.y, m.x + m.w, m.y + m.h, 0, 0, 0);
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.Noise = {1, 1, 4};  // black is 0, radius 1 (3 x 3), up to 4 dots
  long status = -1;
  ASSERT_EQ(inPlace("DoDespeckle", page, ni, &status), 0);
  for (const auto& m : marks)
    EXPECT_EQ(darkPixels(page, m.x, m.y, m.x + m.w, m.y + m.h) == m.w * m.h, m.stays)
        << m.x << "," << m.y;
  Page grey(10, 10, 8);
  NIDATA g = recordFor(grey, kDpi);
  EXPECT_EQ(inPlace("DoDespeckle", grey, g, &status), kLumetraMsgBadValue);
}

TEST_F(LumetraTest, EdgeCleanupFillsTheMargins) {
  Page page(51, 40, 24, 0);
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.Edge = {3, 2, 5, 4};
  ni.OutImage.Color.BackgroundColorR = 10;
  ni.OutImage.Color.BackgroundColorG = 20;
  ni.OutImage.Color.BackgroundColorB = 30;
  long status = -1;
  ASSERT_EQ(inPlace("EdgeCleanup", page, ni, &status), 0);
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) {
      uint8_t c[3];
      page.rgb(x, y, c);
      const bool margin = x < 3 || y < 2 || x >= 51 - 5 || y >= 40 - 4;
      ASSERT_EQ(c[0], margin ? 10 : 0) << x << "," << y;
      ASSERT_EQ(c[2], margin ? 30 : 0) << x << "," << y;
    }
}

// A tinted, noisy paper becomes one colour (or white with the fill variant); print stays.
TEST_F(LumetraTest, BackgroundIsEvenedOrFilled) {
  for (const uint8_t smooth : {uint8_t(0x31), uint8_t(0xF3)}) {
    Page page(300, 200, 24);
    fillRect(page, 0, 0, 300, 200, 230, 220, 190);
    addNoise(page, 10);
    fillRect(page, 50, 50, 250, 70, 20, 20, 20);
    NIDATA ni = recordFor(page, kDpi);
    ni.OutImage.BackgroundSmooth = smooth;
    long status = -1;
    ASSERT_EQ(inPlace("BackgroundProcess", page, ni, &status), 0);
    uint8_t first[3], c[3];
    page.rgb(0, 0, first);
    if (smooth & 2) {
      EXPECT_EQ(first[0] + first[1] + first[2], 3 * 255);
    }
    for (int y = 100; y < 200; ++y)
      for (int x = 0; x < 300; ++x) {
        page.rgb(x, y, c);
        ASSERT_TRUE(c[0] == first[0] && c[1] == first[1] && c[2] == first[2]) << x << "," << y;
      }
    EXPECT_EQ(darkPixels(page, 50, 50, 250, 70), 200 * 20);
  }
}

// Grey quality turns colour into grey; document mode whitens what reaches the level.
TEST_F(LumetraTest, GrayQualityDocumentAndPhoto) {
  for (const int mode : {0, 1}) {
    Page page(33, 5, 24);
    for (int x = 0; x < 33; ++x)
      for (int y = 0; y < 5; ++y) page.set(x, y, uint8_t(x * 7), uint8_t(x * 7), uint8_t(x * 7));
    NIDATA ni = recordFor(page, kDpi);
    ni.OutImage.Gray.Mode = uint8_t(mode);
    ni.OutImage.Gray.BackgroundLevel = 200;
    long status = -1;
    ASSERT_EQ(inPlace("GrayQuality", page, ni, &status), 0);
    EXPECT_EQ(+ni.OutImage.ImageWidth, 33u);
    for (int x = 0; x < 33; ++x) {
      const int want = (mode == 0 && x * 7 >= 200) ? 255 : x * 7;
      EXPECT_EQ(page.data[size_t(x)], want) << x;
    }
  }
}

// Print on a shaded page: the dynamic threshold keeps the print black and the shade white,
// where one fixed threshold loses one or the other.
TEST_F(LumetraTest, DynamicThresholdFollowsShading) {
  Page page(601, 300, 24);  // odd width: rows of (601 + 7) / 8 bytes come back
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 601; ++x) {
      const uint8_t shade = uint8_t(250 - x * 150 / 600);
      page.set(x, y, shade, shade, shade);
    }
  // Strokes as thin as print, 120 grey levels below the local paper.
  for (int l = 0; l < 10; ++l)
    for (int x = 20; x < 580; x += 30) fillRect(page, x, 20 + l * 28, x + 18, 23 + l * 28, 0, 0, 0);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 601; ++x)
      if (page.grey(x, y) == 0) {
        const uint8_t v = uint8_t(std::max(0, 250 - x * 150 / 600 - 120));
        page.set(x, y, v, v, v);
      }
  const Page original = page;
  for (const bool dynamic : {true, false}) {
    Page p = original;
    NIDATA ni = recordFor(p, kDpi);
    ni.OutImage.OutMode = 1;
    ni.OutImage.BW.Mode = dynamic ? 1 : 0;
    ni.OutImage.BW.DyThreshold = 20;
    ni.OutImage.BW.BWThreshold = 128;
    long status = -1;
    ASSERT_EQ(inPlace("lThreshold", p, ni, &status), 0);
    ASSERT_EQ(+ni.OutImage.ImageWidth, 601u);
    ASSERT_EQ(+ni.OutImage.BW.BytesPerLine, 76);
    Page bw(601, 300, 1);
    memcpy(bw.data.data(), p.data.data(), bw.data.size());
    int wrong = 0;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 601; ++x) {
        const bool print = original.grey(x, y) < 250 - x * 150 / 600 - 30;
        wrong += (bw.grey(x, y) == 0) != print;
      }
    if (dynamic) {
      EXPECT_LT(wrong, 601 * 300 / 100);
    } else {
      EXPECT_GT(wrong, 601 * 300 / 10);
    }
  }
}

// Colour drop-out: the chosen colour turns into the background, the rest into grey.
TEST_F(LumetraTest, ColourDropOutTable) {
  const uint8_t red[3] = {210, 40, 40}, green[3] = {40, 190, 60}, blue[3] = {40, 60, 200},
                black[3] = {20, 20, 20}, custom[3] = {200, 120, 30};
  const uint8_t* swatches[] = {red, green, blue, black, custom};
  const struct {
    int filter;
    bool quality, bw;
    bool dropped[5];
  } cases[] = {{1, false, false, {true, false, false, false, true}},
               {2, false, false, {false, true, false, false, false}},
               {3, true, false, {false, false, true, false, false}},
               {4, false, true, {false, false, false, false, true}},
               {4, true, false, {false, false, false, false, true}}};
  for (const auto& c : cases) {
    Page page(5 * 20 + 3, 10, 24);  // odd width
    for (int s = 0; s < 5; ++s)
      fillRect(page, s * 20, 0, s * 20 + 20, 10, swatches[s][0], swatches[s][1], swatches[s][2]);
    NIDATA ni = recordFor(page, kDpi);
    ni.OutImage.OutMode = c.bw ? 1 : 2;
    auto setup = [&](auto& block) {
      block.ColorFilter = uint8_t(c.filter);
      block.AdvDrop = c.quality ? 0x81 : 0x41;
      block.DropThreshold = 10;
      block.BackgroundColor = 255;
      block.RDropValue = custom[0], block.GDropValue = custom[1], block.BDropValue = custom[2];
      block.DropTolerance = 10;
    };
    if (c.bw)
      setup(ni.OutImage.BW);
    else
      setup(ni.OutImage.Gray);
    ni.OutImage.Gray.BackgroundLevel = 247;
    ni.OutImage.BW.BWThreshold = 128;
    long status = -1;
    ASSERT_EQ(inPlace("AdvColorDrop", page, ni, &status), 0);
    Page out(103, 10, c.bw ? 1 : 8);
    memcpy(out.data.data(), page.data.data(), out.data.size());
    for (int s = 0; s < 5; ++s) {
      const uint8_t v = out.grey(s * 20 + 10, 5);
      if (c.dropped[s]) {
        EXPECT_EQ(v, 255) << c.filter << " swatch " << s;
      } else if (!c.bw) {
        EXPECT_LT(v, 247) << c.filter << " swatch " << s;
      }
    }
  }
}

// The second drop-out also drops the colours of its 15-byte block; colour keep greys the rest.
TEST_F(LumetraTest, DropBlockColoursAndKeepColour) {
  Page page(40, 4, 24);
  fillRect(page, 0, 0, 20, 4, 30, 160, 200);
  fillRect(page, 20, 0, 40, 4, 20, 20, 20);
  Page keep = page;
  NIDATA ni = recordFor(page, kDpi);
  ni.OutImage.OutMode = 2;
  ni.OutImage.Gray.BackgroundColor = 255;
  uint8_t block[15];
  memset(block, 0xFF, sizeof block);
  block[0] = 30, block[1] = 160, block[2] = 200;
  long status = -1;
  ASSERT_EQ(inPlace("AdvColorDrop2", page, ni, &status, block), 0);
  EXPECT_EQ(page.data[5], 255);
  EXPECT_LT(page.data[25], 40);

  NIDATA k = recordFor(keep, kDpi);
  k.OutImage.Gray.ColorFilter = 3;  // keep blue
  k.OutImage.Gray.DropThreshold = 10;
  fillRect(keep, 20, 0, 40, 4, 200, 40, 40);  // red turns grey
  ASSERT_EQ(inPlace("AdvColorKeep", keep, k, &status), 0);
  uint8_t c[3];
  keep.rgb(5, 1, c);
  EXPECT_EQ(c[2], 200);
  keep.rgb(25, 1, c);
  EXPECT_EQ(c[0], c[1]);
  EXPECT_EQ(c[1], c[2]);
}

// Every entry on odd widths, padded rows and one-pixel pages: results are sound and the
// sanitizer sees no access outside the buffers given (each one exactly as large as declared).
TEST_F(LumetraTest, EveryEntryOnOddAndTinyPages) {
  const char* inPlaceEntries[] = {"PunchHoleRemoval", "EdgeCleanup",  "BackgroundProcess",
                                  "GrayQuality",      "lThreshold",   "AdvColorDrop",
                                  "AdvColorDrop2",    "AdvColorKeep", "DoDespeckle"};
  const char* producing[] = {"DeskewCrop", "AutoOrientation", "Merge2Side"};
  const char* detections[] = {"BlankPageDetection", "AutoColorDetection", "PatchCode"};
  uint8_t block[15];
  memset(block, 0xFF, sizeof block);
  for (const int bits : {1, 8, 24}) {
    for (const auto& [w, h, pad] :
         {std::tuple{1, 1, 0}, {3, 1, 0}, {1, 5, 1}, {13, 7, 3}, {77, 41, 0}, {9, 300, 0}}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits " << w << "x" << h << "+" << pad);
      Page page(w, h, bits, 200, size_t(pad));
      addNoise(page, 50);
      for (const char* e : inPlaceEntries) {
        Page p = page;
        NIDATA ni = recordFor(p, kDpi);
        ni.OutImage.OutMode = 2;
        ni.OutImage.Edge = {1, 1, 1, 1};
        ni.OutImage.BackgroundSmooth = 0x31;
        ni.OutImage.Noise = {1, 1, 4};
        ni.OutImage.BW.Mode = 1;
        long status = 0;
        const long msg = inPlace(e, p, ni, &status, block);
        if (msg == 0) {
          EXPECT_EQ(+ni.OutImage.ImageWidth, uint32_t(w)) << e;
          EXPECT_EQ(+ni.OutImage.ImageHeight, uint32_t(h)) << e;
        } else {
          EXPECT_LT(msg, 0) << e;
        }
      }
      for (const char* e : producing) {
        Page p = page, rear = page;
        NIDATA ni = recordFor(p, kDpi);
        ni.OutImage.AutoCrop = 1;
        ni.OutImage.Rotate = 2;
        ni.OutImage.Merge2Side = 0x21;
        long status = 0;
        const Page out = produce(e, p, ni, &status, rear.data.data());
        if (!out.data.empty()) {
          EXPECT_EQ(out.data.size(), out.stride * size_t(out.height)) << e;
        }
      }
      for (const char* e : detections) {
        NIDATA ni = recordFor(page, kDpi);
        long status = 0;
        EXPECT_EQ(lm.process(e)(page.data.data(), nullptr, &ni, nullptr, &status), 0) << e;
      }
    }
  }
}

// A record or a buffer missing, and rows shorter than the width asks for, are refused.
TEST_F(LumetraTest, BadArgumentsAreRefused) {
  Page page(16, 4, 8);
  long status = 0;
  void* out = nullptr;
  EXPECT_EQ(lm.process("DeskewCrop")(page.data.data(), &out, nullptr, nullptr, &status),
            kLumetraMsgBadValue);
  EXPECT_EQ(status, -1013);
  NIDATA ni = recordFor(page, kDpi);
  EXPECT_EQ(lm.process("GrayQuality")(nullptr, &out, &ni, nullptr, &status), kLumetraMsgBadBuffer);
  ni.InImage.BytesPerLine = 15;
  EXPECT_EQ(lm.process("EdgeCleanup")(page.data.data(), nullptr, &ni, nullptr, &status),
            kLumetraMsgBadValue);
  EXPECT_EQ(status, -1007);
  ni = recordFor(page, kDpi);
  ni.InImage.BitsPerPixel = 16;
  EXPECT_EQ(lm.process("BlankPageDetection")(page.data.data(), nullptr, &ni, nullptr, &status),
            kLumetraMsgNotSupported);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace plugtest
