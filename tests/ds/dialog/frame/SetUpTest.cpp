// The hand-over at set-up: the interface switch, the bridge's values, and a current resolution
// before any page has chosen one.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/frame/SetUp.h"

namespace ferrolite::dialog {
namespace {

TEST(SetUp, HandOverToTheBridge) {
  ExtraParam handed;
  handed.newKrapi = true;
  handed.maxLongLength = 64800;
  handed.adfMinWidth = 450;
  handed.flatbedMinLength = 75;
  handed.maxPowerSaving = 240;
  handed.maxPowerOff = 4320;
  ExtraParam cur;
  LongPageState longPage;
  DialogGlobals globals;
  getExtraParam(handed, cur, longPage, globals);
  EXPECT_TRUE(globals.gUINewKrapi);
  EXPECT_DOUBLE_EQ(longPage.mfDefaultLongPageLength, 64800);

  ScanSetting record;
  record.wImageType = 0x40;  // opens in automatic colour: no page has set a resolution yet
  record.wColorRes = 0;
  record.bPaperSizeUnit = 1;
  record.wWidth = 2480;
  record.wLengthDetectionValue = 118;
  DeviceAbility current{};
  ScannerAbilityEx older{};
  BridgeObject_V2 bridge;
  handOverToBridge(bridge, globals, cur, &record, {&current, &older}, "F-310");
  EXPECT_EQ(bridge.mpDeviceAbility, &current);
  EXPECT_EQ(bridge.mpScannerAbilityEx, nullptr);
  EXPECT_EQ(bridge.mScannerName, "F-310");
  EXPECT_EQ(bridge.maxLongLength, 64800u);
  EXPECT_EQ(bridge.mAdfMinWidth, 450u);
  EXPECT_EQ(bridge.mFBMinLength, 75u);
  EXPECT_EQ(globals.gMaxPowerOff, 4320u);
  EXPECT_EQ(bridge.currentRes, 300u);  // never 0
  record.wColorRes = 200;
  handOverToBridge(bridge, globals, cur, &record, {&current, &older}, "F-310");
  EXPECT_EQ(bridge.currentRes, 200u);
  EXPECT_EQ(globals.mMilimeterFlagW, 1);
  EXPECT_FLOAT_EQ(bridge.mmW, 210.0f);
  EXPECT_FLOAT_EQ(globals.mmLD, 10.0f);

  record.bPaperSizeUnit = 0;
  handOverToBridge(bridge, globals, cur, &record, {&current, &older}, "F-310");
  EXPECT_EQ(globals.mMilimeterFlagX, 0);
}

TEST(SetUp, MultiFeedControlsAndTheDefaultCap) {
  DeviceAbility current{};
  EXPECT_FALSE(multiFeedVisibility(AbilityView(true, &current, nullptr)).boxShown);
  current.ScannerCapability0 = 1;
  MultiFeedVisibility v = multiFeedVisibility(AbilityView(true, &current, nullptr));
  EXPECT_TRUE(v.boxShown && v.ultrasonicShown);
  EXPECT_FALSE(v.additionalShown);  // hidden at this index, never a focus target
  ScannerAbilityEx older{};
  older.ScannerCapability2 = 1u << 17;  // additional detection only
  v = multiFeedVisibility(AbilityView(false, nullptr, &older));
  EXPECT_FALSE(v.boxShown);
  older.ScannerCapability2 |= 1u << 26;
  EXPECT_TRUE(multiFeedVisibility(AbilityView(false, nullptr, &older)).boxShown);

  LongPageState longPage{64800, 64800, 2550};
  ExtraParam extra;
  extra.maxLongLength = 64800;
  capLongPageAfterDefault(longPage, extra);
  EXPECT_DOUBLE_EQ(longPage.mfSaveLongPageLength, 35400);
  longPage.mfSaveLongPageLength = 20000;
  extra.maxLongLength = 35400;
  capLongPageAfterDefault(longPage, extra);
  EXPECT_DOUBLE_EQ(longPage.mfSaveLongPageLength, 20000);
}

}  // namespace
}  // namespace ferrolite::dialog
