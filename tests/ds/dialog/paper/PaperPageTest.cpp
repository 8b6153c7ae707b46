// The paper page: the page-size application, the unit redisplay, the page build and the
// orientation rules.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperPage.h"
#include "ds/scan/records/LongPageModels.h"

namespace ferrolite::dialog {
namespace {

struct Paper : testing::DialogFixture {
  PaperTbl table = kStandardPaperTbl;
  LongPageState longPage{35400, 35400, 2550};
  PaperPageInputs inputs;
  PaperControls choose(std::optional<int64_t> id) {
    DialogContext c = ctx();
    return paperTabPaperSelect(c, table, longPage, id, inputs);
  }
  std::array<int64_t, 4> area() const {
    return {record.wXPos, record.wYPos, record.wWidth, record.wLength};
  }
};

TEST(PaperSize, Application) {
  struct Case {
    const char* what;
    int64_t id;
    uint8_t direction, source, alignment;
    std::array<int64_t, 4> area;  // X, Y, width, length
    std::optional<bool> landscape;
    uint8_t directionAfter;
  } cases[] = {
      {"maximum", 18, 0, kSourceFeeder, 0, {0, 0, 2550, 4200}, false, 0},
      {"automatic", 0, 0, kSourceFeeder, 0, {0, 0, 2550, 4200}, true, 0},
      {"multi-crop", 20, 0, kSourceFeeder, 0, {0, 0, 2550, 4200}, true, 0},
      {"A4 centred", 6, 0, kSourceFeeder, 0, {35, 0, 2480, 3508}, false, 0},
      {"A4 landscape refused", 6, 1, kSourceFeeder, 0, {35, 0, 2480, 3508}, false, 0},
      {"landscape applied", 3, 1, kSourceFeeder, 0, {675, 0, 1200, 1800}, true, 1},
      {"flatbed at 0", 6, 0, kSourceFlatbed, 0, {0, 0, 2480, 3508}, false, 0},
      {"aligned feeder at 0", 6, 0, kSourceFeeder, 1, {0, 0, 2480, 3508}, false, 0},
  };
  for (const Case& c : cases) {
    Paper p;
    p.record.bPaperDirection = c.direction;
    p.record.bScanSource = c.source;
    p.extra.adfAlignment = c.alignment;
    p.record.wXPos = p.record.wYPos = 99;
    p.record.bPaperSize = 2;
    const PaperControls controls = p.choose(c.id);
    EXPECT_EQ(p.area(), c.area) << c.what;
    EXPECT_EQ(controls.landscapeEnabled, c.landscape) << c.what;
    EXPECT_EQ(p.record.bPaperDirection, c.directionAfter) << c.what;
    EXPECT_TRUE(controls.switch2CustomProfile);
    EXPECT_TRUE(controls.previewRect);
  }
}

TEST(PaperSize, AutomaticSizesDisableTheAreaAndDetection) {
  Paper p;
  p.record.bLengthDetection = 1;
  p.record.bPaperSize = 6;
  const PaperControls c = p.choose(kPageAutomatic);
  EXPECT_EQ(c.sizeControlsEnabled, false);
  EXPECT_EQ(c.detectionBoxOn, false);
  EXPECT_EQ(c.detectionFieldEnabled, false);
  EXPECT_EQ(c.carrierSheetShown, true);
  Paper q;
  q.record.bLengthDetection = 1;
  const PaperControls standard = q.choose(6);
  EXPECT_EQ(standard.sizeControlsEnabled, true);
  EXPECT_EQ(standard.detectionBoxOn, true);
  EXPECT_EQ(standard.detectionFieldEnabled, true);
  EXPECT_EQ(standard.carrierSheetShown, false);
}

TEST(PaperSize, TheSizeInForceChangesNothing) {
  Paper p;
  p.record.bPaperSize = 6;
  p.record.wWidth = 1000;
  const PaperControls c = p.choose(6);
  EXPECT_FALSE(c.applied);
  EXPECT_FALSE(c.switch2CustomProfile);
  EXPECT_EQ(p.record.wWidth, 1000);
}

TEST(PaperSize, CustomKeepsTheOffsetsAndCapsTheLength) {
  Paper p;
  p.record.wXPos = 20;
  p.record.wYPos = 30;
  p.record.wWidth = 1000;
  p.record.wLength = 5000;
  const PaperControls c = p.choose(kPageCustom);
  EXPECT_EQ(p.area(), (std::array<int64_t, 4>{20, 30, 1000, 4200}));
  EXPECT_EQ(c.landscapeEnabled, false);
}

TEST(PaperSize, LongPage) {
  struct Case {
    uint32_t usbID;
    bool duplex;
    uint32_t maxLong;
    double saved;
    const char* lengthText;
    uint16_t wLength;
  } cases[] = {
      {0xF11E0310, true, 35400, 35400, "118.00", 35400},
      {kHalvedDuplexLongPageModels[0], true, 35400, 17700, "59.00", 35400},
      {kHalvedDuplexLongPageModels[1], false, 35400, 35400, "118.00", 35400},
      {0xF11E0310, false, 70000, 70000, "233.33", 65535},  // 16 bits saturate, never wrap
  };
  for (const Case& c : cases) {
    Paper p;
    p.extra.maxLongLength = c.maxLong;
    p.longPage.mfSaveLongPageLength = 70000;
    p.record.dwLongLength = 80000;
    p.inputs = {c.duplex, c.usbID};
    const PaperControls controls = p.choose(kPageLong);
    EXPECT_DOUBLE_EQ(p.longPage.mfSaveLongPageLength, c.saved) << std::hex << c.usbID;
    EXPECT_EQ(controls.lengthText, c.lengthText);
    EXPECT_EQ(p.record.wLength, c.wLength);
    EXPECT_EQ(p.record.dwLongLength, c.maxLong);
    EXPECT_EQ(p.record.dwLongWidth, 2550u);
    EXPECT_TRUE(controls.changePaperSizeByResolution);
    EXPECT_EQ(controls.offsetControlsEnabled, false);
    EXPECT_EQ(p.record.wLengthDetectionValue, 0);  // longer than any device length
  }
}

TEST(PaperSize, DetectionHeldToTheFeederNeverWrapped) {
  Paper p;
  p.current.ADFMaxLength = 4000;  // shorter than 14 inches
  p.record.wLengthDetectionValue = 300;
  p.record.bPaperSize = 2;
  p.choose(1);  // 8.5 x 14 inch, longer than the feeder
  EXPECT_EQ(p.record.wLength, 4200);
  EXPECT_EQ(p.record.wLengthDetectionValue, 0);
  Paper q;
  q.record.wLengthDetectionValue = 1000;
  q.choose(6);
  EXPECT_EQ(q.record.wLengthDetectionValue, 4200 - 3508);
}

TEST(PaperUnit, RedisplayInEachUnit) {
  Paper p;
  p.record.bPaperSize = 6;
  p.record.wXPos = 899;
  p.record.wWidth = 2480;
  p.record.wLength = 3508;
  p.record.wLengthDetectionValue = 600;
  DialogContext c = p.ctx();
  PaperControls shown = paperTabPaperUnitSelect(c, kUnitInch);
  EXPECT_EQ(shown.xText, "2.99");
  EXPECT_EQ(shown.detectionText, "2.00");
  EXPECT_EQ(shown.rulerUnit, "Inches");
  EXPECT_TRUE(shown.switch2CustomProfile);
  shown = paperTabPaperUnitSelect(c, kUnitMillimetre);
  EXPECT_EQ(shown.widthText, "210.0");
  EXPECT_EQ(p.bridge.mmW, 210.0f);
  EXPECT_EQ(p.globals.mMilimeterFlagW, 1);
  EXPECT_EQ(shown.rulerUnit, "Centimeters");
  shown = paperTabPaperUnitSelect(c, kUnitPixel);
  EXPECT_EQ(shown.widthText, "1653");     // at the current 200 dpi
  EXPECT_EQ(shown.detectionText, "600");  // unscaled
  EXPECT_EQ(shown.rulerUnit, "Points");
  // On a custom page a typed millimetre value is shown as typed.
  p.record.bPaperSize = kPageCustom;
  p.bridge.mmW = 215.9f;
  shown = paperTabPaperUnitSelect(c, kUnitMillimetre);
  EXPECT_EQ(shown.widthText, "215.9");
  // The page build's redisplay never turns the profile custom.
  p.globals.gDoPaperTabInit = true;
  EXPECT_FALSE(paperTabPaperUnitSelect(c, std::nullopt).switch2CustomProfile);
  EXPECT_FALSE(p.globals.gDoPaperTabInit);
}

TEST(PaperPageBuild, FromTheRecord) {
  Paper p;
  p.record.bPaperSize = 6;
  p.record.wLength = 3508;
  p.record.wWidth = 2480;
  p.record.bUltrasonic = 1;
  p.record.strAlarm = "/System/Library/Sounds/Sosumi.aiff";
  DialogContext c = p.ctx();
  PaperPageBuild b = doPaperTabInit(c, p.longPage);
  EXPECT_FALSE(b.controls.switch2CustomProfile);
  EXPECT_EQ(b.alarmName, "Sosumi.aiff");
  EXPECT_EQ(b.controls.stopScanEnabled, true);
  EXPECT_EQ(b.controls.detectionBoxEnabled, true);
  EXPECT_EQ(b.mDetectLengthLimit, 4200 - 3508);
  p.record.bScanSource = kSourceFlatbed;
  b = doPaperTabInit(c, p.longPage);
  EXPECT_EQ(b.controls.ultrasonicEnabled, false);
  EXPECT_EQ(b.controls.alarmButtonsEnabled, false);
  EXPECT_EQ(b.controls.stopScanEnabled, false);
  EXPECT_EQ(b.controls.detectionBoxEnabled, false);
  p.record.bScanSource = kSourceFeeder;
  p.record.wLength = 4200;  // no room for detection
  p.record.wLengthDetectionValue = 50;
  b = doPaperTabInit(c, p.longPage);
  EXPECT_EQ(p.record.wLengthDetectionValue, 0);
  EXPECT_EQ(b.controls.detectionFieldEnabled, false);
}

TEST(PaperOrientation, SwapRecentreAndTheCheck) {
  Paper p;
  p.record.bPaperSize = 3;
  p.record.wWidth = 1800;
  p.record.wLength = 1200;
  p.record.wYPos = 3500;
  p.record.wXPos = 375;
  DialogContext c = p.ctx();
  PaperControls r = paperTabProtraitLandscape(c, 1);
  EXPECT_EQ(p.record.bPaperDirection, 1);
  EXPECT_EQ(p.area(), (std::array<int64_t, 4>{675, 4200 - 1800, 1200, 1800}));
  EXPECT_TRUE(r.switch2CustomProfile);
  EXPECT_FALSE(paperTabProtraitLandscape(c, 1).switch2CustomProfile);  // unchanged
  p.record.wLength = 2550;  // as long as the feeder is wide
  r = checkPortraitLandscape(c);
  EXPECT_EQ(p.record.bPaperDirection, 0);
  EXPECT_EQ(r.landscapeEnabled, false);
  p.record.wLength = 2549;
  EXPECT_EQ(checkPortraitLandscape(c).landscapeEnabled, true);
  p.record.bPaperSize = kPageCustom;
  EXPECT_EQ(checkPortraitLandscape(c).landscapeEnabled, false);
}

}  // namespace
}  // namespace ferrolite::dialog
