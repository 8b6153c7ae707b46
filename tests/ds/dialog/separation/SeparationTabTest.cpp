// The separation page in the headless window: blank-page removal with its threshold, barcode
// detection on both pages' buttons, patch codes, and the barcode sheet opened from here.
#include <gtest/gtest.h>

#include "FrameSupport.h"

namespace ferrolite::dialog::testing {
namespace {

TEST(SeparationTab, BlankRemovalShowsOnlyTheValueOneAsOn) {
  struct Case {
    uint8_t stored;
    uint8_t source;
    bool checked, sliderEnabled, checkEnabled;
  };
  for (const Case& c : {Case{1, 0, true, true, true}, Case{2, 0, false, false, true},
                        Case{1, kSourceMergeTwoSides, true, true, false}}) {
    SCOPED_TRACE(int(c.stored));
    FrameFixture f;
    f.record.bBlankPageRemoval = c.stored;
    f.record.bBlankPageThreshold = 40;
    f.record.bScanSource = c.source;
    f.open();
    EXPECT_EQ(f.get<ui::Button>("mCheckBlankRemove").isOn(), c.checked);
    EXPECT_EQ(f.get<ui::Button>("mCheckBlankRemove").isEnabled(), c.checkEnabled);
    EXPECT_EQ(f.get<ui::Control>("mCheckBlankRemove_Enhancement").isEnabled(), c.checkEnabled);
    EXPECT_EQ(f.get<ui::Slider>("mSliderBlankRemove").isEnabled(), c.sliderEnabled);
    EXPECT_EQ(f.get<ui::Slider>("mSliderBlankRemove").intValue(), 40);
    EXPECT_EQ(f.get<ui::Label>("mStaticBlankRemoveValue").text(), "40");
  }
}

TEST(SeparationTab, BlankRemovalAndItsThreshold) {
  FrameFixture f;
  f.record.bBlankPageRemoval = 2;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSeparation"));
  auto& slider = f.get<ui::Slider>("mSliderBlankRemove");
  ASSERT_TRUE(f.click("mCheckBlankRemove"));
  EXPECT_EQ(f.record.bBlankPageRemoval, 1);
  EXPECT_TRUE(slider.isEnabled());
  EXPECT_TRUE(f.get<ui::Slider>("mSliderBlankRemove_Enhancement").isEnabled());
  // The label follows the slider while it moves.
  for (double value : {12.0, 200.0}) {
    ASSERT_TRUE(f.user.slide(slider, value));
    EXPECT_EQ(f.record.bBlankPageThreshold, static_cast<uint8_t>(value));
    EXPECT_EQ(f.get<ui::Label>("mStaticBlankRemoveValue").text(),
              std::to_string(static_cast<int>(value)));
  }
  ASSERT_TRUE(f.click("mCheckBlankRemove"));
  EXPECT_EQ(f.record.bBlankPageRemoval, 0);
  EXPECT_FALSE(slider.isEnabled());
  EXPECT_FALSE(f.get<ui::Slider>("mSliderBlankRemove_Enhancement").isEnabled());
}

TEST(SeparationTab, BarcodeDetectionEnablesTheTypeButtonsOnBothPages) {
  FrameFixture f;
  f.record.bBarcodeDetection = 0;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSeparation"));
  auto& types = f.get<ui::Button>("mBtnSelecBarcodeTypes_Separation");
  auto& copy = f.get<ui::Button>("mBtnSelecBarcodeTypes_Enhancement");
  EXPECT_FALSE(types.isEnabled());
  ASSERT_TRUE(f.click("mBtnBarCodeEnable"));
  EXPECT_EQ(f.record.bBarcodeDetection, 1);
  EXPECT_TRUE(types.isEnabled());
  EXPECT_TRUE(copy.isEnabled());
  EXPECT_TRUE(copy.isHidden());  // the enhancement tab's copy is not offered here
  ASSERT_TRUE(f.click("mBtnSelecBarcodeTypes_Separation"));
  ui::Window& sheet = f.dialog->pages().option.barcodeSheet();
  EXPECT_EQ(f.window().attachedSheet(), &sheet);
  ASSERT_TRUE(f.user.click(sheet.get<ui::Button>("mBtnSelecBarcodeTypesCancel")));
  ASSERT_TRUE(f.click("mBtnBarCodeEnable"));
  EXPECT_EQ(f.record.bBarcodeDetection, 0);
  EXPECT_FALSE(types.isEnabled());
  EXPECT_FALSE(copy.isEnabled());
  ASSERT_TRUE(f.click("mBtnPatchCodeEnable"));
  EXPECT_EQ(f.record.bPatchCode, 1);
}

}  // namespace
}  // namespace ferrolite::dialog::testing
