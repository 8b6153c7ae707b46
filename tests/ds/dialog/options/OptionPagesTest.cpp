// The rotation, separation and option pages' rules: flip side, blank removal and barcode
// enabling, background, edge fill, despeckle, power times, image count, time-out, barcode types.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/image/ImageTypeButtons.h"
#include "ds/dialog/options/BarcodeTypes.h"
#include "ds/dialog/options/DeviceSettings.h"
#include "ds/dialog/options/Enhancement.h"
#include "ds/dialog/rotation/FlipSide.h"
#include "ds/dialog/separation/Separation.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

TEST(FlipSide, BothSidesMustMakeAFixedTypeOrBothAutomatic) {
  struct Case {
    std::vector<int> checked;
    uint8_t source;
    bool enabled;
  } cases[] = {
      {{0}, kSourceFeeder, false},           {{0, 3}, kSourceFeeder, true},
      {{4, 1}, kSourceFeeder, true},         {{6, 7}, kSourceFeeder, true},
      {{6, 1}, kSourceFeeder, false},        {{0, 3}, kSourceMergeTwoSides, false},
      {{6, 7}, kSourceMergeTwoSides, false},
  };
  for (const Case& c : cases) {
    DialogFixture f;
    ImageTypeButtons b(f.record, f.bridge, true);
    for (int mode : c.checked) {
      b.at(ImageRow::Image, kindOfMode(mode), sideOfMode(mode)).check.on = true;
    }
    EXPECT_EQ(enableFlipSide(c.source, b), c.enabled) << c.checked.size();
  }
  EXPECT_EQ(flipSideOfColumn(1), 1);
  EXPECT_EQ(flipSideOfColumn(0), 0);
}

TEST(Separation, BlankRemovalAndBarcodes) {
  ScanSetting r;
  r.bBlankPageRemoval = 2;  // anything but 1 is off
  r.bBlankPageThreshold = 50;
  SeparationControls c = doSeparationTabInit(r);
  EXPECT_FALSE(c.blankRemovalChecked);
  EXPECT_FALSE(c.thresholdEnabled);
  EXPECT_TRUE(c.blankRemovalEnabled);
  r.bScanSource = kSourceMergeTwoSides;
  r.bBlankPageRemoval = 1;
  c = doSeparationTabInit(r);
  EXPECT_FALSE(c.blankRemovalEnabled);
  EXPECT_TRUE(c.blankRemovalChecked);  // the state still shows the record
  EXPECT_TRUE(optionTabBlankRemoveCheck(r, 1));
  EXPECT_FALSE(optionTabBlankRemoveCheck(r, 2));
  EXPECT_EQ(r.bBlankPageRemoval, 0);
  EXPECT_FALSE(barCodeEnableCheck(r, false));
  EXPECT_EQ(r.bBarcodeDetection, 0);
}

TEST(EdgeFill, LimitAndRangeCheck) {
  ScanSetting r;
  r.wWidth = 2480;
  r.wLength = 3507;
  EXPECT_EQ(edgeFillLimit(r), 104);  // A4
  r.bPaperSize = kPageLong;
  r.dwLongLength = 1000;
  EXPECT_EQ(edgeFillLimit(r), 42);  // the long page's length
  r.bPaperSize = 6;
  r.wLeftEdge = r.wRightEdge = r.wTopEdge = r.wBottomEdge = 104;
  EXPECT_TRUE(checkEdgeFillRange(r).inRange);
  r.wRightEdge = 105;
  r.wBottomEdge = 200;
  const EdgeFillCheck check = checkEdgeFillRange(r);
  EXPECT_FALSE(check.inRange);
  EXPECT_EQ(r.wRightEdge, 104);
  EXPECT_EQ(r.wBottomEdge, 104);
  EXPECT_EQ(check.properties, (std::vector<std::pair<std::string, int64_t>>{{"mRightEdge", 104},
                                                                            {"mBottomEdge", 104}}));
  testing::TableBundle language;
  language.texts()["EdgeFillRange"] = "Edge fill must be within";
  EXPECT_EQ(edgeFillRangeText(language, 104), "Edge fill must be within 0 ~ 104 millimeters");
}

TEST(EdgeFill, StepperAndNotification) {
  ScanSetting r;
  r.wWidth = 2480;
  r.wLength = 3507;
  r.wTopEdge = 104;
  EdgeStep step = edgeStepped(r, Edge::Top, 105);
  EXPECT_TRUE(step.alert);
  EXPECT_EQ(r.wTopEdge, 104);
  EXPECT_EQ(step.property, 104);
  step = edgeStepped(r, Edge::Top, 103);
  EXPECT_FALSE(step.alert);
  r.wLeftEdge = 300;
  EdgeChange change = optionEdgeChangeEdges(r, "leftEdge");
  EXPECT_TRUE(change.alert);
  EXPECT_EQ(r.wLeftEdge, 104);
  EXPECT_EQ(change.properties,
            (std::vector<std::pair<std::string, int64_t>>{{"mLeftEdge", 0}, {"mLeftEdge", 104}}));
  EXPECT_TRUE(optionEdgeChangeEdges(r, "ImageCount").properties.empty());
}

TEST(Despeckle, RadiusMinimum) {
  const std::pair<uint32_t, uint8_t> rows[] = {{0, 0},     {1, 1},     {8, 1},    {9, 2},
                                               {24, 2},    {25, 3},    {49, 4},   {100, 5},
                                               {3480, 29}, {3481, 30}, {3600, 30}};
  for (const auto& [n, r] : rows) EXPECT_EQ(rmin(n), r) << n;
  ScanSetting s;
  s.bNoiseRadius = 5;
  EXPECT_EQ(noiseNumberStepped(s, 3600), 30);
  EXPECT_EQ(noiseNumberStepped(s, 1), 30);  // lowering the number never lowers the radius
  EXPECT_EQ(noiseRadiusStepped(s, 0), 1);   // at least 1
  s.wNoiseNumber = 100;
  EXPECT_EQ(noiseRadiusStepped(s, 2), 5);
  EXPECT_EQ(noiseRadiusStepped(s, 40), 30);
}

TEST(Background, MenusAndEnabling) {
  ScanSetting r;
  r.bBackgroundMode = 1;
  r.bBackgroundFill = 1;
  BackgroundControls c = backgroundChosen(r, 0);
  EXPECT_EQ(c.enabled, false);
  EXPECT_EQ(c.fillSelected, std::nullopt);
  c = backgroundChosen(r, 1);
  EXPECT_EQ(c.enabled, true);
  EXPECT_EQ(c.fillLabelKey, "Mode");
  EXPECT_EQ(c.fillItems, (std::vector<std::string>{"Automatic", "Moire"}));
  EXPECT_EQ(c.fillSelected, 1);
  c = backgroundChosen(r, 2);
  EXPECT_EQ(c.fillMenuTitle, "fillcolor");
  EXPECT_EQ(c.fillItems, (std::vector<std::string>{"White", "Automatic"}));
  backgroundFillChosen(r, 0);
  EXPECT_EQ(r.bBackgroundFill, 0);
  EXPECT_EQ(r.bBackgroundMode, 1);
  EXPECT_EQ(backgroundChosen(r, 7).enabled, std::nullopt);
  EXPECT_EQ(enhancementTabTarget(5, false), 1);
  EXPECT_EQ(enhancementBackTabTarget(6, false), 4);
  EXPECT_EQ(enhancementTabTarget(9, true), std::nullopt);
}

struct Settings : DialogFixture {
  DeviceSettings tab;
  SettingTabBuild build(bool uiOnly = false) {
    DialogContext c = ctx();
    return tab.doOptionTabInit(c, uiOnly);
  }
};

TEST(PowerTimes, TheRuleKeepsPowerOffAtOrAboveTheEnergySaver) {
  Settings s;
  s.record.wEnergySaver = 15;
  s.record.wPowerOffTime = 20;
  s.build();
  DialogContext c = s.ctx();
  SettingControls r = s.tab.energySaverStepped(c, 30);
  EXPECT_EQ(s.record.wPowerOffTime, 30);
  EXPECT_EQ(r.powerOffShows, 30);
  EXPECT_TRUE(r.switch2CustomProfile);
  s.tab.mEnergePowerOffTime = 30;
  r = s.tab.powerOffTyped(c, 10);
  EXPECT_EQ(s.record.wPowerOffTime, 30);
  s.record.wPowerOffTime = 10;  // typed into the field
  r = s.tab.powerOffNotified(c);
  EXPECT_EQ(s.record.wPowerOffTime, 30);
  EXPECT_EQ(r.powerOffShows, 30);
  s.record.wPowerOffTime = 600;
  r = s.tab.powerOffNotified(c);
  EXPECT_EQ(s.record.wPowerOffTime, 480);
}

TEST(PowerTimes, ZeroOnlyWithNoSleep) {
  Settings s;
  s.build();
  DialogContext c = s.ctx();
  s.record.wEnergySaver = 0;
  SettingControls r = s.tab.energySaverNotified(c);
  EXPECT_EQ(s.record.wEnergySaver, 1);
  EXPECT_EQ(r.energySaverShows, 1);
  Settings sleepless;
  sleepless.extra.noSleep = true;
  sleepless.record.wEnergySaver = 30;
  sleepless.record.wPowerOffTime = 40;
  EXPECT_EQ(sleepless.build().minimum, 0);
  DialogContext d = sleepless.ctx();
  // The rule compares with the record's energy saver from the start, not with 0.
  sleepless.tab.powerOffStepped(d, 25);
  EXPECT_EQ(sleepless.record.wPowerOffTime, 30);
  sleepless.record.wEnergySaver = 0;
  sleepless.tab.energySaverNotified(d);
  EXPECT_EQ(sleepless.record.wEnergySaver, 0);
  sleepless.record.wEnergySaver = 9999;  // a pasted value the field kept
  sleepless.tab.energySaverNotified(d);
  EXPECT_EQ(sleepless.record.wEnergySaver, 240);
}

TEST(PowerTimes, BuildFromTheExtraParametersAndAbilities) {
  Settings s;
  s.extra.sdUsbScanner = true;
  s.extra.checkPowerOff = true;
  s.record.bPowerOff = 1;
  SettingTabBuild b = s.build(true);
  EXPECT_TRUE(b.energySaverRowHidden);
  EXPECT_FALSE(b.saveSettingShown);
  EXPECT_TRUE(b.powerOffCheckShown);
  EXPECT_FALSE(b.powerOffEnabled);  // the device cannot power off
  s.current.ScannerCapability1 = (1u << 6) | (1u << 4) | (1u << 24);
  b = s.build();
  EXPECT_TRUE(b.powerOffEnabled);
  EXPECT_TRUE(b.calibrationShown);
  EXPECT_TRUE(b.ejectOppositeShown);
  s.record.bPowerOff = 0;
  EXPECT_FALSE(s.build().powerOffEnabled);
}

TEST(ImageCount, StepperSkipsZeroAndTypedCountsAreHeld) {
  Settings s;
  s.record.iImageCount = 1;
  s.build();
  DialogContext c = s.ctx();
  SettingControls r = s.tab.imageCountStepped(c, 0);  // one step down from 1
  EXPECT_EQ(s.record.iImageCount, -1);
  EXPECT_EQ(r.imageCountText, "");
  EXPECT_EQ(r.imageCountFieldEnabled, false);
  r = s.tab.imageCountStepped(c, 0);  // one step up from -1
  EXPECT_EQ(s.record.iImageCount, 1);
  EXPECT_EQ(r.imageCountText, "1");
  EXPECT_EQ(r.imageCountFieldEnabled, true);
  s.tab.imageCountTyped(c, 150);
  EXPECT_EQ(s.record.iImageCount, 100);
  s.tab.imageCountTyped(c, 0);
  EXPECT_EQ(s.record.iImageCount, 1);
  r = s.tab.imageCountTyped(c, -4);
  EXPECT_EQ(s.record.iImageCount, -1);
  EXPECT_EQ(r.imageCountFieldEnabled, false);
  s.tab.timeOutTyped(c, 500);
  EXPECT_EQ(s.record.wTransportTimeout, 300);
  EXPECT_EQ(settingTabTarget(1, false), 2);
  EXPECT_EQ(settingBackTabTarget(1, false), 3);
  EXPECT_EQ(settingTabTarget(1, true), 1);
}

TEST(BarcodeTypes, SheetAllOkAndCancel) {
  ScanSetting r;
  BarcodeTypes types;
  BarcodeSheet s = types.build(r);
  EXPECT_TRUE(s.allChecked);
  EXPECT_FALSE(s.symbologiesEnabled);
  EXPECT_TRUE(s.checked[0] && s.checked[15]);
  EXPECT_FALSE(s.checked[9]);  // MaxiCode is not offered
  EXPECT_TRUE(s.okEnabled);
  s = types.allChanged(r, false);
  EXPECT_EQ(r.dwSelectBarcode, kBarcodeEverySymbology);
  EXPECT_TRUE(s.symbologiesEnabled);
  for (int bit = 0; bit < 16; ++bit) {
    if (kBarcodeEverySymbology & (1u << bit)) s = types.symbologyChanged(r, bit, false);
  }
  EXPECT_EQ(r.dwSelectBarcode, 0u);
  EXPECT_FALSE(s.okEnabled);  // no type and not All
  types.cancel(r);
  EXPECT_EQ(r.dwSelectBarcode, 0u);

  r.dwSelectBarcode = 0x0201;  // MaxiCode stored
  s = types.build(r);
  EXPECT_EQ(r.dwSelectBarcode, 0x0001u);
  types.symbologyChanged(r, 4, true);
  types.cancel(r);
  EXPECT_EQ(r.dwSelectBarcode, 0x0201u);  // as stored, MaxiCode included
  types.open(r);
  types.symbologyChanged(r, 4, true);
  types.ok(r, false);
  EXPECT_EQ(types.orgSelectBarCodeType(), 0x0011u);
  types.ok(r, true);
  EXPECT_EQ(r.dwSelectBarcode, 0u);
}

}  // namespace
}  // namespace ferrolite::dialog
