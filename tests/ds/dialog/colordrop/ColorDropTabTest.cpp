// The colour drop-out page on the headless widget layer against the recording data source: the
// refresh and the mode change of each grey and black-and-white side, the advanced processing,
// the sliders and the colour well, and the row table shared with the image page.
#include <gtest/gtest.h>

#include "PageFixture.h"
#include "platform/ui/Menu.h"

namespace ferrolite::dialog::testing {
namespace {

// The page's state as the user sees it.
struct Shown {
  bool advancedEnabled;
  bool advancedChecked;
  bool quality;
  bool filter;
  bool backgroundLevel;
  bool colourSliders;  // and the colour well shown
  bool binarization;   // the image page's popup
  bool operator==(const Shown&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << "{adv " << s.advancedEnabled << "/" << s.advancedChecked << ", quality "
             << s.quality << ", filter " << s.filter << ", back " << s.backgroundLevel
             << ", colours " << s.colourSliders << ", binarization " << s.binarization << "}";
}

Shown shown(PageFixture& f) {
  auto& advance = f.get<ui::Button>("mCheckAdvance");
  const bool colours = f.get<ui::Slider>("mSliderRed").isEnabled();
  EXPECT_EQ(f.get<ui::ColorWell>("mColorWell").isHidden(), !colours);
  EXPECT_EQ(f.get<ui::Label>("mStaticFilterThresh").textColor() == ui::Color::black(),
            f.get<ui::Slider>("mSliderFilterThresh").isEnabled());
  return {advance.isEnabled(),
          advance.isOn(),
          f.get<ui::PopUpButton>("mPopupColorDropMode").isEnabled(),
          f.get<ui::Slider>("mSliderFilterThresh").isEnabled(),
          f.get<ui::Slider>("mSliderBackLevel").isEnabled(),
          colours,
          f.get<ui::PopUpButton>("mPopupDocuTypeBinarization").isEnabled()};
}

// A side's drop-out fields in the record: grey front or black-and-white front.
struct Side {
  const char* button;
  uint8_t ScanSetting::*mode;
  uint8_t ScanSetting::*advance;
  uint8_t ScanSetting::*quality;
};
const Side kGrey{"GrayFront", &ScanSetting::bFGColorDropOut, &ScanSetting::bFGAdvanceProcess,
                 &ScanSetting::bFGAdvDropQuality};
const Side kBW{"BWFront", &ScanSetting::bFBColorDropOut, &ScanSetting::bFBAdvanceProcess,
               &ScanSetting::bFBAdvDropQuality};

void showSide(PageFixture& f, const Side& side) {
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabDropColor"));
  ASSERT_TRUE(f.user.click(f.get<ui::Button>(std::string("mBtnImageTypeDropC") + side.button)));
}

TEST(ColorDropTab, RefreshOfEachSideFollowsItsTable) {
  struct Case {
    const Side* side;
    uint8_t mode, advance;
    Shown shown;
  };
  const Case cases[] = {
      // Custom's binarization rule is applied before the side's advanced processing is set.
      // Grey: None shows the background level only with advanced processing.
      {&kGrey, 0, 0, {false, false, false, false, false, false, true}},
      {&kGrey, 0, 1, {false, true, false, false, true, false, true}},
      {&kGrey, 1, 1, {true, true, true, true, false, false, false}},
      {&kGrey, 2, 0, {true, false, false, false, false, false, true}},
      {&kGrey, 4, 0, {false, true, false, false, true, true, true}},
      {&kGrey, 5, 1, {false, true, true, true, false, false, false}},
      // Black and white: never the background level.
      {&kBW, 0, 1, {false, true, false, false, false, false, true}},
      {&kBW, 3, 1, {true, true, true, true, false, false, false}},
      {&kBW, 4, 1, {false, true, false, false, false, true, false}},
      {&kBW, 5, 0, {false, true, true, false, false, false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.side->button << " mode " << int(c.mode) << " adv " << int(c.advance));
    PageFixture f("dialog-colordrop-page");
    f.record.wImageType = 0x01 | 0x04;
    f.record.*(c.side->mode) = c.mode;
    f.record.*(c.side->advance) = c.advance;
    f.record.*(c.side->quality) = 1;
    f.open();
    showSide(f, *c.side);
    EXPECT_EQ(shown(f), c.shown);
    EXPECT_EQ(f.get<ui::PopUpButton>("mPopupColorDrop").indexOfSelectedItem(), c.mode);
  }
}

TEST(ColorDropTab, ModeChangeOfEachSideFollowsItsTable) {
  struct Case {
    const Side* side;
    int chosen;
    uint8_t advanceAfter;
    Shown shown;
  };
  const Case cases[] = {
      {&kGrey, 1, 0, {true, false, false, false, false, false, true}},
      {&kGrey, 4, 1, {false, true, false, false, true, true, false}},
      {&kGrey, 5, 1, {false, true, true, true, false, false, false}},
      {&kGrey, 0, 0, {false, false, false, false, false, false, true}},
      {&kBW, 2, 0, {true, false, false, false, false, false, true}},
      {&kBW, 4, 1, {false, true, false, false, false, true, false}},
      {&kBW, 5, 1, {false, true, true, true, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.side->button << " chosen " << c.chosen);
    PageFixture f("dialog-colordrop-page");
    f.record.wImageType = 0x01 | 0x04;
    f.record.*(c.side->quality) = 1;
    f.dataSource.profiles = std::vector<std::string>{"A"};
    f.record.strProfile = SharedText("A");
    f.open();
    showSide(f, *c.side);
    ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupColorDrop"), c.chosen));
    EXPECT_EQ(f.record.*(c.side->mode), c.chosen);
    EXPECT_EQ(f.record.*(c.side->advance), c.advanceAfter);
    EXPECT_EQ(shown(f), c.shown);
    EXPECT_EQ(f.record.strProfile.view(), "Custom");
  }
}

TEST(ColorDropTab, ChannelAfterCustomKeepsAdvancedCheckedAndEnablesIt) {
  PageFixture f("dialog-colordrop-page");
  f.record.wImageType = 0x04;
  f.open();
  showSide(f, kGrey);
  auto& drop = f.get<ui::PopUpButton>("mPopupColorDrop");
  ASSERT_TRUE(f.user.choose(drop, 4));
  ASSERT_TRUE(f.user.choose(drop, 1));
  EXPECT_TRUE(f.get<ui::Button>("mCheckAdvance").isEnabled());
  EXPECT_TRUE(f.get<ui::Button>("mCheckAdvance").isOn());
  // Advanced off: quality and filter go, the image page's binarization comes back.
  ASSERT_TRUE(f.user.click(f.get<ui::Button>("mCheckAdvance")));
  EXPECT_EQ(f.record.bFGAdvanceProcess, 0);
  EXPECT_FALSE(f.get<ui::PopUpButton>("mPopupColorDropMode").isEnabled());
  EXPECT_TRUE(f.get<ui::PopUpButton>("mPopupDocuTypeBinarization").isEnabled());
  // Advanced on, then the quality: the filter follows it.
  ASSERT_TRUE(f.user.click(f.get<ui::Button>("mCheckAdvance")));
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupColorDropMode"), 1));
  EXPECT_EQ(f.record.bFGAdvDropQuality, 1);
  EXPECT_TRUE(f.get<ui::Slider>("mSliderFilterThresh").isEnabled());
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupColorDropMode"), 0));
  EXPECT_FALSE(f.get<ui::Slider>("mSliderFilterThresh").isEnabled());
}

TEST(ColorDropTab, FilterStoredOnlyWithADropOutMode) {
  PageFixture f("dialog-colordrop-page");
  f.record.wImageType = 0x01;
  f.record.bFBAdvanceProcess = 1;
  f.record.bFBAdvDropQuality = 1;
  f.open();
  showSide(f, kBW);
  auto& filter = f.get<ui::Slider>("mSliderFilterThresh");
  EXPECT_EQ(filter.maxValue(), 20);
  // None: the slider is off; a value moved anyway is not stored.
  filter.setEnabled(true);
  ASSERT_TRUE(f.user.slide(filter, 9));
  EXPECT_EQ(f.record.bFBFilterThreshold, 0);
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupColorDrop"), 3));
  ASSERT_TRUE(f.user.slide(filter, 12));
  EXPECT_EQ(f.record.bFBFilterThreshold, 12);
}

TEST(ColorDropTab, ColourSlidersStoreTheCustomColourAndShowIt) {
  PageFixture f("dialog-colordrop-page");
  f.record.wImageType = 0x04;
  f.record.bFGColorDropOut = 4;
  f.record.bFGCustomR = 255;
  f.open();
  showSide(f, kGrey);
  auto& well = f.get<ui::ColorWell>("mColorWell");
  EXPECT_FALSE(well.isHidden());
  EXPECT_EQ(well.color(), ui::Color::rgb(1, 0, 0));
  EXPECT_EQ(f.get<ui::Slider>("mSliderRed").intValue(), 255);
  ASSERT_TRUE(f.user.slide(f.get<ui::Slider>("mSliderGreen"), 51));
  EXPECT_EQ(f.record.bFGCustomG, 51);
  EXPECT_EQ(well.color(), ui::Color::rgb(1, 51.0f / 255, 0));
  // The preview drawer's result buttons are shown but wait for a preview.
  EXPECT_FALSE(f.drawer().get<ui::Button>("mPreviewResult").isHidden());
  EXPECT_FALSE(f.drawer().get<ui::Button>("mPreviewResult").isEnabled());
}

TEST(ColorDropTab, ColourSideShowsEverythingOffAndAMidGreyWell) {
  PageFixture f("dialog-colordrop-page");
  f.record.wImageType = 0x01 | 0x10;
  f.record.bFGColorDropOut = 4;
  f.open();
  ASSERT_TRUE(f.user.click(f.get<ui::Button>("mBtnImageTypeImageColorFront")));
  EXPECT_FALSE(f.get<ui::PopUpButton>("mPopupColorDrop").isEnabled());
  EXPECT_FALSE(f.get<ui::Button>("mCheckAdvance").isEnabled());
  EXPECT_FALSE(f.get<ui::Slider>("mSliderBackLevel").isEnabled());
  EXPECT_EQ(f.get<ui::ColorWell>("mColorWell").color(), ui::Color::grey(128.0f / 255));
  EXPECT_EQ(f.get<ui::Label>("mStaticColorDrop").textColor(), ui::Color::darkGray());
}

TEST(ColorDropTab, AdvancedProcessingAlwaysOn) {
  PageFixture f("dialog-colordrop-page");
  f.extra.advColorDropOn = true;
  f.open();
  auto& advance = f.get<ui::Button>("mCheckAdvance");
  EXPECT_TRUE(advance.isHidden());
  EXPECT_TRUE(advance.isOn());
  EXPECT_EQ(f.record.bFGAdvanceProcess, 1);
  EXPECT_EQ(f.record.bRGAdvanceProcess, 1);
  EXPECT_EQ(f.record.bFBAdvanceProcess, 1);
  EXPECT_EQ(f.record.bRBAdvanceProcess, 1);
}

TEST(ColorDropTab, RowTableIsTheImagePagesRows) {
  struct Case {
    uint32_t deviceType;
    int rows;
    int greyRow;  // the grey front row
    uint16_t withGrey;
  };
  for (const Case& c : {Case{0x20 | 0x04, 8, 2, 0x05}, Case{0x20, 3, 1, 0x05}}) {
    SCOPED_TRACE(c.deviceType);
    PageFixture f("dialog-colordrop-page");
    f.current.DeviceType = c.deviceType;
    f.open();
    ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabDropColor"));
    auto& table = f.get<ui::TableView>("pColorDropTabTableView");
    ASSERT_EQ(table.numberOfRows(), c.rows);
    ASSERT_TRUE(f.user.clickCell(table, c.greyRow, "check"));
    EXPECT_EQ(f.record.wImageType, c.withGrey);
    EXPECT_EQ(f.get<ui::TableView>("pImageTabTableView").cellAt(c.greyRow, 0).state, 1);
    // Unchecking both: the last one stays, Scan stays on.
    ASSERT_TRUE(f.user.clickCell(table, c.greyRow, "check"));
    ASSERT_TRUE(f.user.clickCell(table, c.rows == 8 ? 4 : 2, "check"));
    EXPECT_EQ(f.record.wImageType, 0x01);
    EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  }
}

}  // namespace
}  // namespace ferrolite::dialog::testing
