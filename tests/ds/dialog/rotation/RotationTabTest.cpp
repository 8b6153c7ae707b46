// The rotation page in the headless window: the record shown, the choices stored, and the
// flip-side choice offered by the image types and the source.
#include <gtest/gtest.h>

#include "FrameSupport.h"

namespace ferrolite::dialog::testing {
namespace {

TEST(RotationTab, ShowsAndStoresTheChoices) {
  FrameFixture f;
  f.record.bRotation = 4;
  f.record.bFlipSide = 1;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabRotation"));
  auto& rotation = f.get<ui::PopUpButton>("mPopupRotateDegree");
  EXPECT_EQ(rotation.titleOfSelectedItem(), "AutoOrientation");  // the fake's language: keys
  EXPECT_EQ(f.get<ui::Matrix>("pFlipSide").selectedColumn(), 1);
  ASSERT_TRUE(f.user.choose(rotation, 0));
  EXPECT_EQ(f.record.bRotation, 0);
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupSplitImage"), 2));
  EXPECT_EQ(f.record.bSplitMode, 2);
  ASSERT_TRUE(f.click("mButtonMirror"));
  EXPECT_EQ(f.record.bMirror, 1);
}

TEST(RotationTab, FlipSideFollowsTheImageTypesAndTheSource) {
  struct Case {
    uint16_t imageTypes;
    uint8_t source;
    bool enabled;
  };
  for (const Case& c : {
           Case{0x10, 0, false},         // colour front alone
           Case{0x10 | 0x08, 0, true},   // with grey rear
           Case{0x40 | 0x80, 0, true},   // automatic colour on both sides
           Case{0x40 | 0x20, 0, false},  // automatic front, colour rear
           Case{0x10 | 0x20, kSourceMergeTwoSides, false},
       }) {
    SCOPED_TRACE(c.imageTypes);
    FrameFixture f;
    f.record.wImageType = c.imageTypes;
    f.record.bScanSource = c.source;
    f.open();
    auto& flipSide = f.get<ui::Matrix>("pFlipSide");
    EXPECT_EQ(flipSide.isEnabled(), c.enabled);
    if (c.enabled) {
      ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabRotation"));
      ASSERT_TRUE(f.user.clickCell(flipSide, 0, 1));
      EXPECT_EQ(f.record.bFlipSide, 1);
    }
  }
}

TEST(RotationTab, AnImageTypeCheckedOnTheImagePageOffersTheFlipSide) {
  FrameFixture f;
  f.record.wImageType = 0x10;  // colour front alone
  f.open();
  auto& flipSide = f.get<ui::Matrix>("pFlipSide");
  EXPECT_FALSE(flipSide.isEnabled());
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabImage"));
  ASSERT_TRUE(f.click("mBtnImageTypeImageGrayRearCheck"));
  EXPECT_TRUE(flipSide.isEnabled());
  ASSERT_TRUE(f.click("mBtnImageTypeImageGrayRearCheck"));
  EXPECT_FALSE(flipSide.isEnabled());
}

}  // namespace
}  // namespace ferrolite::dialog::testing
