// The image page's rules: mode/side rows and their reconciliation, the resolution transformer,
// the paper-size list and its re-selection, the per-mode tone controls and the tone actions.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/image/ModeSideRows.h"
#include "ds/dialog/image/PaperSizeList.h"
#include "ds/dialog/image/ToneControls.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;
using testing::TableBundle;

std::vector<int64_t> checks(const std::vector<ScanModeSideSetting>& rows) {
  std::vector<int64_t> out;
  for (const auto& r : rows) out.push_back(r.mCheck);
  return out;
}

TEST(ModeSideRows, BuiltFromTheRecord) {
  ScanSetting r;
  r.wImageType = 0x41 | 0x08;
  TableBundle language;
  auto rows = buildModeSideRows(r, true, language);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[6].mName, "Auto Front");
  EXPECT_EQ(checks(rows), (std::vector<int64_t>{0, 0, 0, 1, 1, 0, 0, 0}));
  r.bScanSource = kSourceFlatbed;
  rows = buildModeSideRows(r, true, language);
  for (int i : {1, 3, 5}) EXPECT_FALSE(rows[i].mEnabled) << i;
  EXPECT_TRUE(rows[7].mEnabled);  // the automatic rear row stays enabled
  rows = buildModeSideRows(r, false, language);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].mName, "BW");
  EXPECT_EQ(checks(rows), (std::vector<int64_t>{0, 0, 1}));
}

TEST(ModeSideRows, ReconciliationKeepsTheLastBit) {
  struct Case {
    bool duplex;
    uint16_t before;
    std::vector<int64_t> rowChecks;
    uint16_t after;
    std::vector<int64_t> rowsAfter;
    bool scan;
  } cases[] = {
      {true, 0x01, {0, 0, 0, 0, 0, 0, 0, 0}, 0x01, {0, 0, 0, 0, 1, 0, 0, 0}, true},
      {true, 0x01, {1, 0, 0, 1, 0, 0, 0, 0}, 0x18, {1, 0, 0, 1, 0, 0, 0, 0}, true},
      {true, 0x41, {0, 0, 0, 0, 0, 0, 1, 1}, 0x40, {0, 0, 0, 0, 0, 0, 1, 1}, false},
      // One-sided: three rows, mapped as colour, grey, black-and-white front.
      // Rows are reconciled in order: row 0 still holds the only bit when it is reached.
      {false, 0x10, {0, 1, 0}, 0x14, {1, 1, 0}, true},
      {false, 0x10, {1, 1, 0}, 0x14, {1, 1, 0}, true},
      {false, 0x04, {0, 0, 0}, 0x04, {0, 1, 0}, true},
      // A one-sided table whose rows never reach rear or automatic bits.
      {false, 0x05, {1, 0, 1}, 0x11, {1, 0, 1}, true},
  };
  for (const Case& c : cases) {
    ScanSetting r;
    r.wImageType = c.before;
    std::vector<ScanModeSideSetting> rows;
    for (int64_t v : c.rowChecks) rows.push_back({"", v, true});
    EXPECT_EQ(reconcileModeSideRows(rows, r, c.duplex), c.scan);
    EXPECT_EQ(r.wImageType, c.after) << std::hex << c.before;
    EXPECT_EQ(checks(rows), c.rowsAfter) << std::hex << c.before;
  }
}

TEST(ModeSideRows, FlatbedRefusesTheRearRowsOfATwoSidedScanner) {
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(modeSideRowSelectable(row, true, kSourceFlatbed), row == 0 || row == 2 || row == 4);
    EXPECT_TRUE(modeSideRowSelectable(row, true, kSourceFeeder));
    EXPECT_TRUE(modeSideRowSelectable(row, false, kSourceFlatbed));
  }
}

TEST(ResolutionTransformer, PresetsAndTheCustomEntry) {
  ResolutionTransformer_V2Tez_FRL t;
  const int64_t r100 = 100, r600 = 600;
  EXPECT_EQ(t.transformedValue(&r100), 6);
  EXPECT_EQ(t.reverseTransformedValue(6), 100);
  EXPECT_EQ(t.transformedValue(&r600), 5);
  EXPECT_EQ(t.reverseTransformedValue(3), 300);
  EXPECT_EQ(t.reverseTransformedValue(6), 300);  // the resolution last seen
  EXPECT_EQ(t.transformedValue(nullptr), 0);
}

std::vector<int64_t> ids(const PaperList& list) {
  std::vector<int64_t> out;
  for (const auto& item : list.items) out.push_back(item.mPageID);
  return out;
}

struct PaperFixture : DialogFixture {
  PaperTbl table = kStandardPaperTbl;
  LongPageState longPage;
  TableBundle language;
  PaperFixture() {
    longPage.mfDefaultLongPageLength = extra.maxLongLength;
    language.texts()["LongPage"] = "Long Page";
    language.texts()["Inch"] = "Inch";
  }
  PaperList build(bool settingsFileExists = true) {
    DialogContext c = ctx();
    return scanPageInit(c, table, longPage, language, settingsFileExists);
  }
};

TEST(PaperSizeList, FeederListWithinTheDevicesLimits) {
  PaperFixture f;
  const PaperList list = f.build();
  EXPECT_EQ(ids(list),
            (std::vector<int64_t>{0, 1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 18, 19, 255}));
  EXPECT_EQ(list.items.front().mName, "Automatic");
  EXPECT_EQ(list.items[1].mName, "PAPERSIZE1");
  EXPECT_EQ(list.items[list.items.size() - 3].mName, "PaperMax");
  EXPECT_EQ(list.items[list.items.size() - 2].mName, "Long Page(< 118 Inch)");
  EXPECT_EQ(f.table.rows[0].width, 2550u);  // automatic and maximum mean the device's maximum
  EXPECT_EQ(f.table.rows[19].length, 4200u);
  EXPECT_EQ(f.longPage.mfSaveLongPageLength, 35400);
  EXPECT_EQ(f.longPage.mfSaveLongPageWidth, 2550);
  EXPECT_TRUE(list.popupsEnabled);
  f.extra.adfMinWidth = 1000;  // the feeder's minimum filters too
  EXPECT_EQ(ids(f.build()),
            (std::vector<int64_t>{0, 1, 2, 3, 4, 6, 7, 8, 11, 12, 13, 15, 16, 17, 18, 19, 255}));
}

TEST(PaperSizeList, FlatbedNeitherFiltersByTheFeederMinimumNorOffersTheLongPage) {
  PaperFixture f;
  f.record.bScanSource = kSourceFlatbed;
  f.extra.adfMinLength = 2000;
  const PaperList list = f.build();
  EXPECT_EQ(ids(list),
            (std::vector<int64_t>{0, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 18, 255}));
  f.record.bScanSource = kSourceMergeTwoSides;
  EXPECT_FALSE(f.build().popupsEnabled);
}

TEST(PaperSizeList, LongPageLimitByResolutionBand) {
  struct Case {
    int64_t mode;
    uint16_t res;
    int entry;
    uint32_t limit;
    const char* suffix;
  } cases[] = {
      {4, 200, 22, 35400, "(< 118 Inch)"}, {4, 200, 22, 35000, "(< 116.7 Inch)"},
      {0, 600, 12, 11400, "(< 38 Inch)"},  {1, 150, 17, 30000, "(< 100 Inch)"},
      {2, 301, 20, 20100, "(< 67 Inch)"},  {6, 500, 19, 9000, "(< 30 Inch)"},
  };
  for (const Case& c : cases) {
    PaperFixture f;
    f.bridge.mScanModeSideSelect = c.mode;
    f.record.wColorRes = f.record.wGrayRes = f.record.wBWRes = c.res;
    f.extra.multiLongLength[c.entry] = c.limit;
    const PaperList list = f.build();
    EXPECT_EQ(list.items[list.items.size() - 2].mName, std::string("Long Page") + c.suffix)
        << c.entry;
    EXPECT_EQ(f.extra.maxLongLength, c.limit);
    EXPECT_EQ(f.bridge.maxLongLength, c.limit);
  }
  // No limit in the table, or the older interface: the model's own limit.
  PaperFixture f;
  f.longPage.mfDefaultLongPageLength = 35000;
  EXPECT_EQ(f.build().items[f.build().items.size() - 2].mName, "Long Page(< 116.7 Inch)");
  f.useOlderInterface();
  f.extra.multiLongLength[22] = 9000;
  EXPECT_EQ(f.build().items[f.build().items.size() - 2].mName, "Long Page(< 116.7 Inch)");
  // A limit not above the feeder's length: no long page.
  PaperFixture g;
  g.extra.maxLongLength = 4200;
  EXPECT_EQ(ids(g.build()).back(), 255);
  EXPECT_NE(ids(g.build())[ids(g.build()).size() - 2], 19);
}

TEST(PaperSizeList, FirstRunHoldsTheLongPageTo118Inches) {
  PaperFixture f;
  f.record.dwLongLength = 60000;
  f.bridge.mScanModeSideSelect = 4;
  f.extra.multiLongLength[22] = 64800;
  f.build(true);
  EXPECT_EQ(f.record.dwLongLength, 60000u);
  f.build(false);
  EXPECT_EQ(f.record.dwLongLength, 35400u);
}

TEST(PaperSizeList, ReselectionAfterAChange) {
  PaperFixture f;
  const PaperList feeder = f.build();
  struct Case {
    uint8_t source;
    uint8_t paperSize;
    int64_t previous;
    std::size_t select;
    bool reapply;
    uint8_t after;
  } cases[] = {
      {kSourceFeeder, 0, 0, 0, true, 0},
      {kSourceFeeder, 18, 18, 0, true, 0},
      {kSourceFeeder, 6, 6, 5, false, 6},
      {kSourceFlatbed, 19, 19, 14, true, 18},  // the list has no long page here
      {kSourceFeeder, 19, 19, 16, false, 19},
      {kSourceFeeder, 5, 5, 0, true, 0},  // not in the list
  };
  for (const Case& c : cases) {
    f.record.bScanSource = c.source;
    f.record.bPaperSize = c.paperSize;
    const PaperList list = c.source == kSourceFlatbed ? f.build() : feeder;
    const PaperReselection s = reselectPaper(f.record, list, c.previous);
    EXPECT_EQ(s.select, c.select) << c.previous;
    EXPECT_EQ(s.reapply, c.reapply) << c.previous;
    EXPECT_EQ(f.record.bPaperSize, c.after) << c.previous;
  }
}

TEST(ToneControls, ListsAndTheHalftoneCap) {
  EXPECT_EQ(grayQualityKeys(0).back(), "None");
  EXPECT_EQ(grayQualityKeys(1).back(), "None");
  EXPECT_EQ(grayQualityKeys(2).back(), "Normal");
  TableBundle language;
  language.texts()["HALFTONE"] = "Halftone";
  const auto items = binarizationItems(7, language);
  ASSERT_EQ(items.size(), 8u);
  EXPECT_EQ(items[2], "Halftone 1");
  EXPECT_EQ(items[6], "Halftone 5");
  EXPECT_EQ(items[7], "DIFFUSION");
  EXPECT_EQ(binarizationItems(0, language).size(), 3u);
}

struct Row {
  std::optional<bool> on;
  std::optional<int64_t> value;
};

TEST(ToneControls, EnableTablesByMode) {
  struct Case {
    int64_t mode;
    uint8_t quality;  // grey quality or binarization of the side
    std::optional<std::string> label;
    std::optional<int64_t> max;
    Row threshold, brightness, contrast;
  } cases[] = {
      {2, 0, "Threshold", 255, {true, 230}, {false, -4}, {false, {}}},
      {2, 1, "Threshold", 255, {false, 230}, {false, -4}, {false, {}}},
      {3, 2, "Threshold", 255, {false, 231}, {true, -5}, {true, 9}},
      {2, 9, "Threshold", 255, {{}, {}}, {{}, -4}, {{}, {}}},  // unknown: rows as they were
      {4, 0, "Sensitivity", 30, {true, 20}, {false, 3}, {false, 0}},
      {4, 1, "Threshold", 255, {true, 128}, {true, 3}, {false, 0}},
      {5, 3, "Threshold", {}, {false, {}}, {true, 6}, {false, 0}},
      {4, 8, {}, {}, {{}, {}}, {{}, 3}, {{}, 0}},
      {0, 0, {}, {}, {false, {}}, {true, 11}, {true, 12}},
      {7, 0, "Sensitivity", 100, {true, 37}, {false, 13}, {false, 14}},
  };
  for (const Case& c : cases) {
    DialogFixture f;
    ScanSetting& r = f.record;
    r.bFGrayQuality = r.bRGrayQuality = r.bFBinaryProcess = r.bRBinaryProcess = c.quality;
    r.bFDocumentThreshold = 230;
    r.bRDocumentThreshold = 231;
    r.iFGBrightness = -4;
    r.iRGBrightness = -5;
    r.iRGContrast = 9;
    r.bFDTSensitivity = 20;
    r.bFBThreshold = 128;
    r.iFBBrightness = 3;
    r.iRBBrightness = 6;
    r.iFCBrightness = 11;
    r.iFCContrast = 12;
    r.iRCBrightness = 13;
    r.iRCContrast = 14;
    r.bRACDSensitivity = 37;
    ImageTypeButtons buttons(r, f.bridge, true);
    TableBundle language;
    DialogContext ctx = f.ctx();
    const ImageModeControls m = setImageTabItems(ctx, c.mode, language, 0, buttons);
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " quality " << int(c.quality));
    EXPECT_EQ(m.threshold.labelKey, c.label);
    EXPECT_EQ(m.threshold.maximum, c.max);
    EXPECT_EQ(m.threshold.on, c.threshold.on);
    EXPECT_EQ(m.threshold.value, c.threshold.value);
    EXPECT_EQ(m.brightness.on, c.brightness.on);
    EXPECT_EQ(m.brightness.value, c.brightness.value);
    EXPECT_EQ(m.contrast.on, c.contrast.on);
    EXPECT_EQ(m.contrast.value, c.contrast.value);
  }
}

TEST(ToneControls, PopupColourMatchingAndResolutionRows) {
  DialogFixture f;
  f.record.bColorMatch = 3;
  f.record.wColorRes = 400;
  f.record.wBWRes = 100;
  ImageTypeButtons buttons(f.record, f.bridge, true);
  buttons.at(ImageRow::Image, ImageKind::Color, Side::Front).check.on = true;
  TableBundle language;
  DialogContext ctx = f.ctx();
  ImageModeControls m = setImageTabItems(ctx, 1, language, 0, buttons);
  EXPECT_FALSE(m.docTypeEnabled);
  EXPECT_EQ(m.docTypeItems.size(), 3u);
  EXPECT_TRUE(m.colorMatchingEnabled);
  EXPECT_EQ(m.colorMatching, 3);
  EXPECT_FALSE(m.resolutionEnabled);  // rear colour while front colour is checked
  EXPECT_EQ(m.resolutionText, "400");
  EXPECT_EQ(m.presetIndex, 4);
  m = setImageTabItems(ctx, 6, language, 0, buttons);
  EXPECT_EQ(f.bridge.currentRes, 400u);  // automatic colour follows the colour resolution
  EXPECT_EQ(m.docTypeLabelKey, "NonColorSelect");
  EXPECT_TRUE(m.resolutionEnabled);
  m = setImageTabItems(ctx, 4, language, 0, buttons);
  EXPECT_FALSE(m.colorMatchingEnabled);
  EXPECT_EQ(m.docTypeItems.size(), 5u);  // two halftones on the fixture's device
  EXPECT_EQ(m.presetIndex, 6);
  EXPECT_EQ(f.bridge.currentRes, 100u);
}

TEST(ToneControls, ActionsStoreWhereTheModeKeepsTheValue) {
  ScanSetting r;
  r.bFBinaryProcess = 3;  // halftone 2
  imageTabBrightness(r, 4, 7);
  EXPECT_EQ(r.iFBBrightness, 7);
  r.bFBinaryProcess = 0;
  imageTabBrightness(r, 4, 9);
  EXPECT_EQ(r.iFBBrightness, 7);
  imageTabThresh(r, 4, 25);
  EXPECT_EQ(r.bFDTSensitivity, 25);
  r.bRBinaryProcess = 1;
  imageTabThresh(r, 5, 140);
  EXPECT_EQ(r.bRBThreshold, 140);
  imageTabThresh(r, 3, 200);
  EXPECT_EQ(r.bRDocumentThreshold, 200);
  imageTabThresh(r, 6, 50);
  EXPECT_EQ(r.bFACDSensitivity, 50);
  imageTabBrightness(r, 7, -3);
  EXPECT_EQ(r.iRCBrightness, -3);
  imageTabContrast(r, 5, 10);
  EXPECT_EQ(r.iRCContrast, 0);
  imageTabContrast(r, 6, 10);
  EXPECT_EQ(r.iFCContrast, 10);
  imageTabInvert(r, 7, 1);
  EXPECT_EQ(r.bRCInvert, 1);
  EXPECT_EQ(imageTabDocuType(r, 0, 1), std::nullopt);
  EXPECT_EQ(imageTabDocuType(r, 6, 1), std::nullopt);
  EXPECT_EQ(r.bFNonColorSelection, 1);
  const auto m = imageTabDocuType(r, 2, 2);
  ASSERT_TRUE(m);
  EXPECT_EQ(r.bFGrayQuality, 2);
  EXPECT_EQ(m->brightness.on, true);
  EXPECT_EQ(m->threshold.on, false);
}

}  // namespace
}  // namespace ferrolite::dialog
