// Scan's and Cancel's commit: the resolution boundary, the minimum raise, and typed
// millimetres and pixels turned into the values that show them.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/frame/Commit.h"
#include "ds/dialog/frame/PageChange.h"
#include "ds/dialog/frame/Tables.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

TEST(Commit, ResolutionBoundary) {
  struct Case {
    int64_t mode;
    uint16_t color, gray, bw;
    std::optional<uint16_t> shows;
    uint16_t color2, gray2, bw2;
  } cases[] = {
      {0, 50, 200, 300, 72, 72, 200, 300},
      {2, 200, 72, 60, 72, 200, 72, 72},
      {4, 200, 200, 200, std::nullopt, 200, 200, 200},
      {5, 200, 10, 100, std::nullopt, 200, 72, 100},
      {6, 50, 200, 200, 72, 72, 200, 200},  // automatic colour follows colour
      {7, 72, 200, 200, 72, 72, 200, 200},
  };
  for (const Case& c : cases) {
    ScanSetting r;
    r.wColorRes = c.color;
    r.wGrayRes = c.gray;
    r.wBWRes = c.bw;
    EXPECT_EQ(checkResolutionBoundary(r, c.mode).fieldShows, c.shows) << c.mode;
    EXPECT_EQ(r.wColorRes, c.color2);
    EXPECT_EQ(r.wGrayRes, c.gray2);
    EXPECT_EQ(r.wBWRes, c.bw2);
  }
}

TEST(Commit, InchesKeepWhatThePagesStoredApartFromTheMinimum) {
  DialogFixture f;
  f.record.bPaperSizeUnit = kUnitInch;
  f.record.wWidth = 100;  // below the feeder minimum of 150
  f.record.wLength = 899;
  f.record.wXPos = 7;
  f.record.wYPos = 11;
  f.record.wLengthDetectionValue = 13;
  f.bridge.mmW = 999;  // millimetre values play no part in inches
  DialogContext ctx = f.ctx();
  commitTypedValues(ctx);
  EXPECT_EQ(f.record.wWidth, 150);
  EXPECT_EQ(f.record.wLength, 899);
  EXPECT_EQ(f.record.wXPos, 7);
  EXPECT_EQ(f.record.wYPos, 11);
  EXPECT_EQ(f.record.wLengthDetectionValue, 13);
}

TEST(Commit, MillimetresAndPixelsSurviveTheTripThroughTheRecord) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  f.record.bPaperSizeUnit = kUnitMillimetre;
  f.bridge.mmW = 215.9f;
  f.record.wWidth = saturate<uint16_t>(fromMillimetres(215.9));
  f.bridge.mmH = 297.0f;
  f.record.wLength = 3507;
  f.bridge.mmX = 0;
  f.record.wXPos = 0;
  f.bridge.mmY = 300.0f;  // stale: far from the stored 100
  f.record.wYPos = 100;
  f.globals.mmLD = 10.0f;
  f.record.wLengthDetectionValue = 117;
  commitTypedValues(ctx);
  EXPECT_EQ(f.record.wWidth, 2550);
  EXPECT_EQ(unitText(kUnitMillimetre, f.record.wWidth, 300), "215.9");
  EXPECT_EQ(unitText(kUnitMillimetre, f.record.wLength, 300), "297.0");
  EXPECT_EQ(f.record.wYPos, 100);  // a stale value moves nothing, at every commit
  commitTypedValues(ctx);
  EXPECT_EQ(f.record.wYPos, 100);
  EXPECT_EQ(unitText(kUnitMillimetre, f.record.wLengthDetectionValue, 300), "10.0");

  const uint16_t detection = f.record.wLengthDetectionValue;
  f.record.bPaperSizeUnit = kUnitPixel;
  f.bridge.currentRes = 200;
  f.bridge.mPixelW = 1700;
  f.record.wWidth = 2549;
  f.bridge.mPixelX = 0;
  f.bridge.mPixelY = 0;
  f.bridge.mPixelH = 2800;
  f.record.wLength = 4199;
  commitTypedValues(ctx);
  EXPECT_EQ(f.record.wWidth, 2550);
  EXPECT_EQ(f.record.wLength, 4200);
  EXPECT_EQ(f.record.wLengthDetectionValue, detection);  // shown unscaled, kept
}

TEST(PageChange, PaperPageRaisesToTheSourcesMinimum) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  f.record.wWidth = 100;
  f.record.wLength = 140;
  f.record.bPaperSizeUnit = kUnitMillimetre;
  PaperPageEntry e = raiseToMinimumOnPaperPage(ctx);
  EXPECT_EQ(f.record.wWidth, 150);
  EXPECT_EQ(e.lengthText, "12.7");
  EXPECT_EQ(e.widthText, "12.7");
  f.record.bScanSource = kSourceFlatbed;
  f.record.wLength = 70;
  f.record.wWidth = 200;
  f.record.bPaperSizeUnit = kUnitPixel;
  f.bridge.currentRes = 0;  // never set: counts as 300
  e = raiseToMinimumOnPaperPage(ctx);
  EXPECT_EQ(f.record.wLength, 75);
  EXPECT_EQ(e.lengthText, "75");
  EXPECT_EQ(e.widthText, std::nullopt);
}

TEST(Tables, InformationRowColoursEndBlue) {
  std::vector<int> blue;
  for (int row = 0; row < 5; ++row) {
    if (infoRowIsBlue(row, 5)) blue.push_back(row);
  }
  EXPECT_EQ(blue, (std::vector<int>{0, 2, 4}));
  blue.clear();
  for (int row = 0; row < 4; ++row) {
    if (infoRowIsBlue(row, 4)) blue.push_back(row);
  }
  EXPECT_EQ(blue, (std::vector<int>{1, 3}));
  EXPECT_DOUBLE_EQ(infoRowColour(3, 4).red, 182.0 / 255.0);
  EXPECT_DOUBLE_EQ(infoRowColour(2, 4).red, 1.0);
  EXPECT_EQ(infoTableName(3, ""), "text3");
  EXPECT_EQ(infoTableInfo(2, ""), "Info2");
  EXPECT_EQ(infoTableName(3, "Model"), "Model");
}

}  // namespace
}  // namespace ferrolite::dialog
