// The colour drop-out page: its two state tables checked row by row, the binarization, filter
// and result-button rules, and the page's actions.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/colordrop/ColorDropPage.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

enum class Pass { Refresh, Change };

// One row of a table: the drop-out mode and the side's advanced field before, and the
// controls expected after.
struct TableRow {
  const char* what;
  Pass run;
  uint8_t dropMode;
  uint8_t advance;
  std::optional<bool> advancedEnabled, advancedChecked;
  bool quality, filter;
  std::optional<bool> backgroundLevel;
  bool sliders;
  uint8_t advanceAfter;
};

void checkTable(int64_t mode, std::initializer_list<TableRow> rows) {
  for (const TableRow& row : rows) {
    DialogFixture f;
    const DropSide side = *dropSideOf(f.record, mode);
    side.mode = row.dropMode;
    side.advance = row.advance;
    side.quality = 1;
    const PreviewState preview{true, true};
    DialogContext ctx = f.ctx();
    const ColorDropControls c = row.run == Pass::Refresh
                                    ? setColorDropTabItems(ctx, mode, preview)
                                    : colorDropColor(ctx, mode, row.dropMode, preview);
    SCOPED_TRACE(::testing::Message()
                 << "mode " << mode << ": " << row.what << " adv " << int(row.advance));
    EXPECT_EQ(c.advancedEnabled, row.advancedEnabled);
    EXPECT_EQ(c.advancedChecked, row.advancedChecked);
    EXPECT_EQ(c.quality, row.quality);
    EXPECT_EQ(c.filter, row.filter);
    EXPECT_EQ(c.backgroundLevel, row.backgroundLevel);
    EXPECT_EQ(c.colourSliders, row.sliders);
    EXPECT_EQ(c.customControlsShown, row.sliders);
    EXPECT_EQ(side.advance, row.advanceAfter);
    EXPECT_EQ(c.eyeDropperReset, row.dropMode != kDropCustom);
    if (row.dropMode == kDropCustom) {
      EXPECT_EQ(c.resultButtonsEnabled, true);
    }
  }
}

TEST(ColorDropTables, GreySides) {
  const Pass R = Pass::Refresh, C = Pass::Change;
  for (int64_t mode : {2, 3}) {
    checkTable(mode,
               {
                   {"None", R, kDropNone, 1, false, true, false, false, true, false, 1},
                   {"None", R, kDropNone, 0, false, false, false, false, false, false, 0},
                   {"None", C, kDropNone, 1, false, {}, false, false, true, false, 1},
                   {"None", C, kDropNone, 0, false, {}, false, false, false, false, 0},
                   {"Red", R, kDropRed, 1, true, true, true, true, false, false, 1},
                   {"Green", R, kDropGreen, 0, true, false, false, false, false, false, 0},
                   {"Blue", C, kDropBlue, 1, true, true, true, true, false, false, 1},
                   {"Red", C, kDropRed, 0, true, false, false, false, false, false, 0},
                   {"Custom", R, kDropCustom, 0, false, true, false, false, true, true, 1},
                   {"Custom", C, kDropCustom, 0, false, true, false, false, true, true, 1},
                   {"Automatic", R, kDropAutomatic, 1, false, true, true, true, false, false, 1},
                   {"Automatic", R, kDropAutomatic, 0, false, false, false, false, false, false, 0},
                   {"Automatic", C, kDropAutomatic, 0, false, true, true, true, false, false, 1},
               });
  }
}

TEST(ColorDropTables, BlackAndWhiteSides) {
  const Pass R = Pass::Refresh, C = Pass::Change;
  for (int64_t mode : {4, 5}) {
    checkTable(mode,
               {
                   {"None", R, kDropNone, 1, false, true, false, false, false, false, 1},
                   {"None", R, kDropNone, 0, false, false, false, false, false, false, 0},
                   {"None", C, kDropNone, 1, false, {}, false, false, false, false, 1},
                   {"Red", R, kDropRed, 1, true, true, true, true, false, false, 1},
                   {"Red", C, kDropRed, 0, true, false, false, false, false, false, 0},
                   {"Custom", R, kDropCustom, 0, false, true, false, false, false, true, 1},
                   {"Custom", C, kDropCustom, 0, false, true, false, false, false, true, 1},
                   // Refresh shows the box checked without changing the field.
                   {"Automatic", R, kDropAutomatic, 0, false, true, true, false, false, false, 0},
                   {"Automatic", C, kDropAutomatic, 0, false, true, true, true, false, false, 1},
               });
  }
}

TEST(ColorDropPage, ColourSidesShowEverythingOffInMidGrey) {
  for (int64_t mode : {0, 1, 6, 7}) {
    DialogFixture f;
    DialogContext ctx = f.ctx();
    const ColorDropControls c = setColorDropTabItems(ctx, mode, {true, true});
    EXPECT_EQ(c.dropOut, false) << mode;
    EXPECT_EQ(c.advancedEnabled, false);
    EXPECT_EQ(c.filter, false);
    EXPECT_EQ(c.colourSliders, false);
    EXPECT_EQ(c.resultButtonsEnabled, false);
    EXPECT_EQ(c.well, (WellColour{128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1.0f}));
    // The background level slider is left alone on the automatic-colour sides.
    EXPECT_EQ(c.backgroundLevel.has_value(), mode == 0 || mode == 1);
  }
}

TEST(ColorDropPage, RefreshLoadsTheSidesValues) {
  DialogFixture f;
  f.record.bFBFilterThreshold = 7;
  f.record.bFBCustomR = 255;
  f.record.bFGFilterThreshold = 9;
  DialogContext ctx = f.ctx();
  ColorDropControls bw = setColorDropTabItems(ctx, 4, {});
  EXPECT_EQ(bw.mBackLevelValue, 0);  // black-and-white resets the background level
  EXPECT_EQ(bw.mFilterThresh, 7);
  EXPECT_EQ(bw.mRedValue, 255);
  EXPECT_EQ(bw.filterMaximum, 20);
  EXPECT_EQ(bw.well->red, 1.0f);
  ColorDropControls grey = setColorDropTabItems(ctx, 2, {});
  EXPECT_EQ(grey.mBackLevelValue, std::nullopt);  // grey keeps its value
  EXPECT_EQ(grey.mFilterThresh, 9);
  // Custom without a preview, or with the drawer closed: the result buttons stay disabled.
  f.record.bFGColorDropOut = kDropCustom;
  EXPECT_EQ(setColorDropTabItems(ctx, 2, {true, false}).resultButtonsEnabled, false);
  EXPECT_EQ(setColorDropTabItems(ctx, 2, {false, true}).resultButtonsEnabled, false);
}

TEST(ColorDropPage, BinarizationRule) {
  struct Case {
    int64_t mode;
    uint8_t dropMode, advance, quality;  // quality: grey quality or binarization
    bool popup, slider;
  } cases[] = {
      {2, kDropRed, 1, 0, false, false},  {2, kDropNone, 1, 0, true, true},
      {2, kDropRed, 0, 0, true, true},    {2, kDropRed, 0, 1, true, false},
      {4, kDropRed, 0, 1, true, true},    {4, kDropRed, 0, 2, true, false},
      {5, kDropBlue, 1, 0, false, false},
  };
  for (const Case& c : cases) {
    DialogFixture f;
    const DropSide side = *dropSideOf(f.record, c.mode);
    side.mode = c.dropMode;
    side.advance = c.advance;
    f.record.bFGrayQuality = f.record.bFBinaryProcess = f.record.bRBinaryProcess = c.quality;
    DialogContext ctx = f.ctx();
    const ColorDropControls r = setColorDropTabItems(ctx, c.mode, {});
    EXPECT_EQ(r.binarization, c.popup) << c.mode << " " << int(c.dropMode);
    EXPECT_EQ(r.thresholdSlider, c.slider) << c.mode << " " << int(c.dropMode);
  }
  // Choosing Custom or Automatic turns the binarization controls off.
  DialogFixture f;
  f.record.bFGAdvanceProcess = 0;
  DialogContext ctx = f.ctx();
  EXPECT_EQ(colorDropColor(ctx, 2, kDropAutomatic, {}).binarization, false);
}

TEST(ColorDropPage, Actions) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  const DropSide side = *dropSideOf(f.record, 3);
  side.mode = kDropNone;
  colorDropFilterThresh(ctx, 3, kDropNone, 15);
  EXPECT_EQ(side.filter, 0);  // None: nothing stored
  colorDropFilterThresh(ctx, 3, kDropGreen, 15);
  EXPECT_EQ(side.filter, 15);

  side.mode = kDropRed;
  side.quality = 1;
  ColorDropControls c = colorDropAdvanveState(ctx, 3, 1);
  EXPECT_EQ(side.advance, 1);
  EXPECT_EQ(c.binarization, false);
  EXPECT_EQ(c.backgroundLevel, true);
  EXPECT_EQ(c.quality, true);
  EXPECT_EQ(c.filter, true);
  c = colorDropAdvanveState(ctx, 3, 0);
  EXPECT_EQ(c.quality, false);
  EXPECT_EQ(c.binarization, true);
  side.mode = kDropCustom;
  c = colorDropAdvanveState(ctx, 5, 1);  // black-and-white leaves the background level
  EXPECT_EQ(c.backgroundLevel, std::nullopt);

  c = colorDropColorMode(ctx, 3, 0);
  EXPECT_EQ(side.quality, 0);
  EXPECT_EQ(c.filter, false);
  side.advance = 1;
  EXPECT_EQ(colorDropColorMode(ctx, 3, 1).filter, true);
  EXPECT_EQ(colorDropColorMode(ctx, 0, 1).filter, std::nullopt);

  const WellColour well = colorDropColourSliders(ctx, 3, 255, 0, 51);
  EXPECT_EQ(side.red, 255);
  EXPECT_EQ(side.blue, 51);
  EXPECT_EQ(well, (WellColour{1.0f, 0.0f, 0.2f, 1.0f}));
}

TEST(ColorDropPage, RowCheckTableReadsOnlyTheRowsItHas) {
  // A one-sided scanner's three rows are colour, grey and black-and-white front; unchecking
  // them all keeps the last bit and never touches automatic colour.
  ScanSetting r;
  r.wImageType = 0x01 | 0x40;
  std::vector<ScanModeSideSetting> rows(3);
  EXPECT_FALSE(colorDropScanModeClick(rows, r, false));
  EXPECT_EQ(r.wImageType, 0x40);
  r.wImageType = 0x04;
  EXPECT_TRUE(colorDropScanModeClick(rows, r, false));
  EXPECT_EQ(r.wImageType, 0x04);
  EXPECT_EQ(rows[1].mCheck, 1);
  std::vector<ScanModeSideSetting> eight(8);
  eight[1].mCheck = 1;
  r.wImageType = 0x04;
  EXPECT_TRUE(colorDropScanModeClick(eight, r, true));
  EXPECT_EQ(r.wImageType, 0x20);
}

TEST(ColorDropPage, AdvancedAlwaysOnSetsAllFourSides) {
  DialogFixture f;
  f.extra.advColorDropOn = true;
  f.globals.gPreviewResult = true;
  DialogContext ctx = f.ctx();
  const ColorDropBuild b = doColorDropTabInit(ctx);
  EXPECT_TRUE(b.advancedHidden);
  EXPECT_EQ(b.mAdvanceState, 1);
  EXPECT_FALSE(f.globals.gPreviewResult);
  for (int64_t mode : {2, 3, 4, 5}) EXPECT_EQ(dropSideOf(f.record, mode)->advance, 1);
  EXPECT_FALSE(dropSideOf(f.record, 1));
}

}  // namespace
}  // namespace ferrolite::dialog
