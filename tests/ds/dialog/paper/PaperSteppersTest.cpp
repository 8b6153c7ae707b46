// The paper page's steppers, multi-feed boxes and carrier sheet.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperSteppers.h"
#include "ds/scan/records/LongPageModels.h"

namespace ferrolite::dialog {
namespace {

struct Steppers : testing::DialogFixture {
  PaperSteppers steppers;
  LongPageState longPage{35400, 35400, 2550};
  PaperPageInputs inputs;
  double value = 100;  // every stepper starts remembering 100
  Steppers() {
    steppers.remember(value, value, value, value, value);
    record.bPaperSize = kPageCustom;
  }
  StepResult x(bool up) {
    DialogContext c = ctx();
    return steppers.paperTabXoffset(c, up ? ++value : --value);
  }
  StepResult y(bool up) {
    DialogContext c = ctx();
    return steppers.paperTabYoffset(c, up ? ++value : --value);
  }
  StepResult width(bool up) {
    DialogContext c = ctx();
    return steppers.paperTabWidth(c, up ? ++value : --value, longPage);
  }
  StepResult length(bool up) {
    DialogContext c = ctx();
    return steppers.paperTabLength(c, up ? ++value : --value, longPage, inputs);
  }
  StepResult detection(bool up) {
    DialogContext c = ctx();
    return steppers.paperTabLengthDetec(c, up ? ++value : --value);
  }
};

TEST(PaperSteppers, XDownAtZeroInEachUnit) {
  for (uint8_t unit : {kUnitInch, kUnitPixel}) {
    Steppers s;
    s.record.bPaperSizeUnit = unit;
    s.record.wXPos = 0;
    const StepResult r = s.x(false);
    EXPECT_TRUE(r.refused) << int(unit);
    EXPECT_TRUE(r.posts.empty());
    EXPECT_EQ(s.record.wXPos, 0);
  }
  // In millimetres a typed value above 0.1 still goes down.
  Steppers s;
  s.record.bPaperSizeUnit = kUnitMillimetre;
  s.record.wXPos = 0;
  s.bridge.mmX = 0.5f;
  const StepResult r = s.x(false);
  EXPECT_FALSE(r.refused);
  EXPECT_FLOAT_EQ(s.bridge.mmX, 0.4f);
  EXPECT_EQ(unitText(kUnitMillimetre, s.record.wXPos, 300), "0.4");
  EXPECT_EQ(r.controls.xText, "0.4");
  EXPECT_EQ(r.posts, Posts{whichPost(note::kPageSizeByStepper, "xOffset")});
}

TEST(PaperSteppers, StepsPerUnit) {
  Steppers inch;
  inch.record.wXPos = 30;
  inch.record.wWidth = 1000;
  inch.x(true);
  EXPECT_EQ(inch.record.wXPos, 33);  // 0.01 inch
  EXPECT_EQ(inch.globals.mMilimeterFlagX, 0);
  Steppers pixel;
  pixel.record.bPaperSizeUnit = kUnitPixel;
  pixel.record.wXPos = 30;
  pixel.record.wWidth = 1000;
  pixel.bridge.mPixelX = 20;  // at 200 dpi
  const StepResult r = pixel.x(true);
  EXPECT_EQ(pixel.bridge.mPixelX, 21u);
  EXPECT_EQ(pixel.record.wXPos, 31);
  EXPECT_EQ(r.controls.xText, "21");
  Steppers mm;
  mm.record.bPaperSizeUnit = kUnitMillimetre;
  mm.record.wXPos = 118;  // 10.0 mm
  mm.record.wWidth = 1000;
  mm.bridge.mmX = 10.0f;
  mm.x(true);
  EXPECT_EQ(unitText(kUnitMillimetre, mm.record.wXPos, 300), "10.1");
}

TEST(PaperSteppers, InchGridSnapShortensTheWidth) {
  Steppers s;
  s.record.wXPos = 149;
  s.record.wWidth = 2399;
  const StepResult r = s.x(true);
  EXPECT_FALSE(r.refused);
  EXPECT_EQ(r.focusField, kFieldXOffset);
  EXPECT_EQ(s.record.wXPos, 150);
  EXPECT_EQ(s.record.wWidth, 2397);  // X + width = AW - 3
  Steppers over;                     // overrunning by three or more is refused
  over.record.wXPos = 150;
  over.record.wWidth = 2400;
  EXPECT_TRUE(over.x(true).refused);
  EXPECT_EQ(over.record.wXPos, 150);
  Steppers mm;  // no grid in millimetres
  mm.record.bPaperSizeUnit = kUnitMillimetre;
  mm.record.wXPos = 149;
  mm.record.wWidth = 2400;
  EXPECT_TRUE(mm.x(true).refused);
}

TEST(PaperSteppers, WidthSnapsBackAtFullWidth) {
  Steppers s;
  s.record.wXPos = 0;
  s.record.wWidth = 2550;
  const StepResult r = s.width(true);
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(r.stepperValue, 100.0);  // set back by one
  EXPECT_EQ(s.record.wWidth, 2550);
  // The memory was not moved: the same click again is still up.
  s.value = 100;
  EXPECT_EQ(s.width(true).stepperValue, 100.0);
  s.record.wWidth = 2400;
  s.value = 100;
  s.width(true);
  EXPECT_EQ(s.record.wWidth, 2403);
  s.record.wWidth = 150;
  EXPECT_TRUE(s.width(false).refused);  // at the minimum
}

TEST(PaperSteppers, LengthLimits) {
  Steppers normal;  // a normal page stops at 14 inches less Y
  normal.record.wYPos = 0;
  normal.record.wLength = 4200;
  EXPECT_TRUE(normal.length(true).refused);
  EXPECT_EQ(normal.record.wLength, 4200);
  normal.record.wLength = 4197;
  normal.length(true);
  EXPECT_EQ(normal.record.wLength, 4200);

  Steppers longPage;  // the long page goes on to its limit
  longPage.record.bPaperSize = kPageLong;
  longPage.record.dwLongLength = 4200;
  longPage.length(true);
  EXPECT_EQ(longPage.record.dwLongLength, 4203u);
  EXPECT_EQ(longPage.record.wLength, 4203);
  EXPECT_DOUBLE_EQ(longPage.longPage.mfSaveLongPageLength, 4203);
  longPage.record.dwLongLength = 35400;
  EXPECT_TRUE(longPage.length(true).refused);
  longPage.record.dwLongLength = 4200;
  longPage.length(false);  // never below the feeder's length
  EXPECT_EQ(longPage.record.dwLongLength, 4200u);

  Steppers halved;  // half the limit on the listed models in duplex
  halved.record.bPaperSize = kPageLong;
  halved.inputs = {true, kHalvedDuplexLongPageModels[0]};
  halved.record.dwLongLength = 17700;
  EXPECT_TRUE(halved.length(true).refused);
  halved.inputs.duplexChecked = false;
  EXPECT_FALSE(halved.length(true).refused);

  Steppers mm;  // in millimetres too the long page is held to the limit
  mm.record.bPaperSize = kPageLong;
  mm.record.bPaperSizeUnit = kUnitMillimetre;
  mm.extra.maxLongLength = 35400;
  mm.record.dwLongLength = 35399;
  mm.bridge.mmH = mmValue(35399);
  mm.length(true);
  EXPECT_LE(mm.record.dwLongLength, 35400u);
}

TEST(PaperSteppers, DetectionShrinksWithYAndLength) {
  Steppers s;
  s.record.wYPos = 0;
  s.record.wLength = 3500;
  s.record.wLengthDetectionValue = 700;
  StepResult r = s.y(true);
  EXPECT_EQ(s.record.wYPos, 3);
  EXPECT_EQ(s.record.wLengthDetectionValue, 697);
  EXPECT_EQ(r.controls.detectionText, "2.32");
  r = s.length(true);
  EXPECT_EQ(s.record.wLength, 3503);
  EXPECT_EQ(s.record.wLengthDetectionValue, 694);
}

TEST(PaperSteppers, DetectionStepper) {
  Steppers s;
  s.record.wYPos = 0;
  s.record.wLength = 4000;
  s.record.wLengthDetectionValue = 0;
  EXPECT_TRUE(s.detection(false).refused);
  s.detection(true);
  EXPECT_EQ(s.record.wLengthDetectionValue, 3);
  s.record.wLengthDetectionValue = 199;
  EXPECT_TRUE(s.detection(true).refused);  // 4000 + 202 > 4200
  s.record.bPaperSizeUnit = kUnitPixel;
  s.detection(true);
  EXPECT_EQ(s.record.wLengthDetectionValue, 200);
  s.record.bPaperSizeUnit = kUnitMillimetre;
  s.globals.mmLD = 10.0f;
  s.record.wLengthDetectionValue = 118;
  const StepResult r = s.detection(false);
  EXPECT_EQ(r.controls.detectionText, "9.9");
  EXPECT_EQ(unitText(kUnitMillimetre, s.record.wLengthDetectionValue, 300), "9.9");
}

TEST(PaperBoxes, MultiFeedAndCarrierSheet) {
  testing::DialogFixture f;
  DialogContext c = f.ctx();
  f.globals.goNextTextFiled = kFieldTimeOut;
  f.globals.goBackNextTextFiled = kFieldLength;
  PaperControls r = stop4MultiFeed(c, {true, false, true});
  EXPECT_EQ(f.record.bLengthDetection, 1);
  EXPECT_EQ(f.record.bStopAfterMultefeed, 1);
  EXPECT_EQ(f.globals.goNextTextFiled, kFieldDetection);
  EXPECT_EQ(f.globals.goBackNextTextFiled, kFieldDetection);
  EXPECT_EQ(r.stopScanEnabled, true);
  r = stop4MultiFeed(c, {false, false, false});
  EXPECT_EQ(f.globals.goNextTextFiled, kFieldTimeOut);
  EXPECT_EQ(f.globals.goBackNextTextFiled, kFieldLength);
  EXPECT_EQ(r.alarmButtonsEnabled, false);
  f.record.wLength = 4201;  // a long page has no length detection
  r = stop4MultiFeed(c, {true, true, false});
  EXPECT_EQ(r.detectionBoxEnabled, false);
  EXPECT_EQ(r.stopScanEnabled, true);

  f.record.bUltrasonic = 1;
  f.record.bStopAfterMultefeed = 1;
  r = paperTabCarrierSheetMode(c, true);
  EXPECT_EQ(f.record.bUltrasonic, 0);
  EXPECT_EQ(f.record.bStopAfterMultefeed, 0);
  EXPECT_EQ(f.record.bCarrierSheet, 1);
  EXPECT_EQ(r.ultrasonicEnabled, false);
  r = paperTabCarrierSheetMode(c, false);
  EXPECT_EQ(f.record.bCarrierSheet, 0);
  EXPECT_EQ(r.ultrasonicEnabled, true);
}

}  // namespace
}  // namespace ferrolite::dialog
