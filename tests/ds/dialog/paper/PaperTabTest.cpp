// The paper page in the headless window against the recording data source: each unit shown and
// typed, page sizes and orientation across sources, the steppers, the multi-feed and
// carrier-sheet boxes, the alarm, and the focus chain with Tab and Back-tab.
#include <gtest/gtest.h>

#include <fstream>

#include "FrameSupport.h"
#include "ds/dialog/Units.h"

namespace ferrolite::dialog::testing {
namespace {

constexpr uint8_t kLetter = 2;
constexpr uint8_t kA5 = 7;
constexpr uint8_t kFeeder = 0;

struct PaperPage {
  FrameFixture f;
  explicit PaperPage(uint8_t source = kFeeder, uint8_t unit = 0, uint8_t pageId = kLetter) {
    f.record.bScanSource = source;
    f.record.bPaperSizeUnit = unit;
    f.record.bPaperSize = pageId;
    if (pageId == kLetter) f.record.wLength = 3300;
    f.open();
    EXPECT_TRUE(f.user.selectTab(f.tabs(), "KriTabPaper"));
  }
  ui::TextField& field(std::string_view outlet) { return f.get<ui::TextField>(outlet); }
  ui::PopUpButton& sizes() { return f.get<ui::PopUpButton>("mPopupPaperTabPaperSize"); }
  std::array<std::string, 4> area() {
    return {field("mTextFieldXOffset").text(), field("mTextFieldYOffset").text(),
            field("mTextFieldWidth").text(), field("mTextFieldLength").text()};
  }
  // The list the image page built: the paper controller's rows.
  bool choosePage(int64_t id) {
    const ui::ArrayController& list = *f.window().arrayController("mPaperNameController");
    for (std::size_t i = 0; i < list.count(); ++i) {
      if (list.row(i).integer("mPageID").valueOr(-1) == id) {
        return f.user.choose(sizes(), static_cast<int>(i));
      }
    }
    return false;
  }
  bool step(std::string_view stepper, ui::StepDirection direction) {
    return f.user.step(f.get<ui::Stepper>(stepper), direction);
  }
  ui::Control* focused() { return f.window().firstResponder(); }
  bool isCustom() {
    return f.record.bPaperSize == kPageCustom &&
           sizes().indexOfSelectedItem() == static_cast<int>(sizes().numberOfItems()) - 1;
  }
};

TEST(PaperTab, EachUnitShowsTheArea) {
  struct Case {
    int unit;
    std::array<std::string, 4> texts;
  };
  // Letter on the 8.5-inch feeder at 200 dpi.
  for (const Case& c :
       {Case{0, {"0.00", "0.00", "8.50", "11.00"}}, Case{1, {"0.0", "0.0", "215.9", "279.4"}},
        Case{2, {"0", "0", "1700", "2200"}}}) {
    SCOPED_TRACE(c.unit);
    PaperPage p;
    if (c.unit != 0) {
      ASSERT_TRUE(p.f.user.choose(p.f.get<ui::PopUpButton>("mPopupUnits"), c.unit));
    }
    EXPECT_EQ(p.f.record.bPaperSizeUnit, c.unit);
    EXPECT_EQ(p.area(), c.texts);
    // A unit choice is a user change: the profile turns custom; the page size stays.
    EXPECT_EQ(p.f.record.bPaperSize, kLetter);
  }
}

TEST(PaperTab, TypedValuesAreStoredInTheUnitAndMakeThePageCustom) {
  struct Case {
    uint8_t unit;
    std::string_view outlet;
    std::string typed;
    uint16_t ScanSetting::*field;
    uint16_t stored;
    std::string shown;
  };
  for (const Case& c : {
           Case{0, "mTextFieldWidth", "8", &ScanSetting::wWidth, 2400, "8.00"},
           Case{0, "mTextFieldXOffset", "0.1", &ScanSetting::wXPos, 0, "0.00"},  // X + width > AW
           Case{1, "mTextFieldWidth", "100", &ScanSetting::wWidth, 1181, "100.0"},
           Case{1, "mTextFieldLength", "200.5", &ScanSetting::wLength, 2368, "200.5"},
           Case{2, "mTextFieldWidth", "1000", &ScanSetting::wWidth, 1500, "1000"},
       }) {
    SCOPED_TRACE(c.typed);
    PaperPage p(kFeeder, c.unit);
    ui::TextField& field = p.field(c.outlet);
    ASSERT_TRUE(p.f.user.focus(field));
    ASSERT_TRUE(p.f.user.keyEquivalent(field, U'a', ui::kCtrl));
    ASSERT_TRUE(p.f.user.type(field, c.typed));
    ASSERT_TRUE(p.f.user.pressKey(field, ui::SpecialKey::tab));
    EXPECT_EQ(p.f.record.*c.field, c.stored);
    EXPECT_EQ(field.text(), c.shown);
    EXPECT_TRUE(p.isCustom());
  }
}

TEST(PaperTab, ScanEndsTheEditingAndSendsTheHeldArea) {
  PaperPage p(kFeeder, kUnitMillimetre);
  ui::TextField& width = p.field("mTextFieldWidth");
  ASSERT_TRUE(p.f.user.focus(width));
  ASSERT_TRUE(p.f.user.keyEquivalent(width, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.type(width, "200"));
  ASSERT_TRUE(p.f.user.pressKey(width, ui::SpecialKey::tab));
  // An X offset still being typed when Scan is clicked: the commit ends its editing, which
  // holds the area inside the feeder before the host hears of the scan.
  ui::TextField& x = p.field("mTextFieldXOffset");
  ASSERT_TRUE(p.f.user.focus(x));
  ASSERT_TRUE(p.f.user.keyEquivalent(x, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.type(x, "300"));
  ASSERT_TRUE(p.f.click("mButtonScan"));
  EXPECT_EQ(p.f.record.wWidth, 2362);
  EXPECT_EQ(p.f.record.wXPos, 2550 - 2362);
  EXPECT_EQ(p.f.record.bPaperSize, kPageCustom);
  EXPECT_EQ(x.text(), "15.9");
  EXPECT_EQ(p.f.dataSource.calls.back(), "xferReady");
}

TEST(PaperTab, PageSizesAndOrientationAcrossSources) {
  struct Case {
    uint8_t source;
    uint8_t page;
    bool landscape;  // the landscape cell is then clicked
    uint16_t x, width, length;
    bool landscapeEnabled;
  };
  for (const Case& c : {
           Case{kFeeder, kA5, false, 401, 1748, 2480, true},
           Case{kFeeder, kA5, true, 35, 2480, 1748, true},
           Case{kFeeder, 1, false, 0, 2550, 4200,
                false},  // Legal is longer than the feeder is wide
           Case{kFeeder, 18, false, 0, 2550, 4200, false},  // maximum: the feeder's size
           Case{kFeeder, kPageLong, false, 0, 2550, 35400, false},
           Case{kSourceFlatbed, kA5, false, 0, 1748, 2480, true},
           Case{kSourceFlatbed, kA5, true, 0, 2480, 1748, true},
       }) {
    SCOPED_TRACE(::testing::Message() << int(c.source) << "/" << int(c.page) << c.landscape);
    PaperPage p(c.source);
    ASSERT_TRUE(p.choosePage(c.page));
    auto& orientation = p.f.get<ui::Matrix>("pPortraitLanscape");
    EXPECT_EQ(orientation.cell(0, 1).enabled, c.landscapeEnabled);
    if (c.landscape) {
      ASSERT_TRUE(p.f.user.clickCell(orientation, 0, 1));
    }
    EXPECT_EQ(p.f.record.bPaperSize, c.page);
    EXPECT_EQ(p.f.record.bPaperDirection, c.landscape ? 1 : 0);
    EXPECT_EQ(p.f.record.wXPos, c.x);
    EXPECT_EQ(p.f.record.wWidth, c.width);
    EXPECT_EQ(p.f.record.wLength, c.length);
  }
}

TEST(PaperTab, LongPageKeepsItsOffsetsAndShowsItsLengthAtTheResolution) {
  PaperPage p(kFeeder, kUnitPixel);
  ASSERT_TRUE(p.choosePage(kPageLong));
  EXPECT_EQ(p.f.record.dwLongLength, 35400u);
  EXPECT_EQ(p.area(), (std::array<std::string, 4>{"0", "0", "1700", "23600"}));
  EXPECT_FALSE(p.field("mTextFieldXOffset").isEnabled());
  EXPECT_FALSE(p.f.get<ui::Stepper>("mStepperYOffset").isEnabled());
  EXPECT_TRUE(p.field("mTextFieldLength").isEnabled());
  // A length step keeps the long page.
  ASSERT_TRUE(p.step("mStepperLength", ui::StepDirection::down));
  EXPECT_EQ(p.f.record.bPaperSize, kPageLong);
}

TEST(PaperTab, AutomaticPageDisablesTheAreaAndOffersTheCarrierSheet) {
  PaperPage p(kFeeder, 0, kPageAutomatic);
  for (std::string_view outlet : {"mTextFieldXOffset", "mTextFieldLength", "mStepperWidth"}) {
    EXPECT_FALSE(p.f.get<ui::Control>(outlet).isEnabled()) << outlet;
  }
  EXPECT_EQ(p.f.get<ui::Label>("mStaticWidth").textColor(), ui::Color::darkGray());
  EXPECT_FALSE(p.f.get<ui::Button>("mCarrierSheetMode").isHidden());
  ASSERT_TRUE(p.choosePage(kLetter));
  EXPECT_TRUE(p.f.get<ui::Control>("mTextFieldLength").isEnabled());
  EXPECT_EQ(p.f.get<ui::Label>("mStaticWidth").textColor(), ui::Color::black());
  EXPECT_TRUE(p.f.get<ui::Button>("mCarrierSheetMode").isHidden());
}

TEST(PaperTab, SteppersMoveTheAreaWithinTheFeeder) {
  PaperPage p;  // Letter, inch: X 0, width 2550 (the full feeder width)
  // X cannot move right at full width; the width steps down first, then X moves.
  ASSERT_TRUE(p.step("mStepperXOffset", ui::StepDirection::up));
  EXPECT_EQ(p.f.record.wXPos, 0);
  EXPECT_EQ(p.focused(), &p.field("mTextFieldXOffset"));
  ASSERT_TRUE(p.step("mStepperWidth", ui::StepDirection::down));
  EXPECT_EQ(p.f.record.wWidth, 2547);
  EXPECT_TRUE(p.isCustom());
  ASSERT_TRUE(p.step("mStepperXOffset", ui::StepDirection::up));
  EXPECT_EQ(p.f.record.wXPos, 3);
  EXPECT_EQ(p.field("mTextFieldXOffset").text(), "0.01");
  ASSERT_TRUE(p.step("mStepperWidth", ui::StepDirection::up));  // would pass the feeder's edge
  EXPECT_EQ(p.f.record.wWidth, 2547);
  ASSERT_TRUE(p.step("mStepperXOffset", ui::StepDirection::down));
  ASSERT_TRUE(p.step("mStepperXOffset", ui::StepDirection::down));  // at 0: refused
  EXPECT_EQ(p.f.record.wXPos, 0);
  // The length stops at 14 inches; each click the other way goes back.
  ASSERT_TRUE(p.step("mStepperLength", ui::StepDirection::down));
  EXPECT_EQ(p.f.record.wLength, 3297);
  EXPECT_EQ(p.field("mTextFieldLength").text(), "10.99");
}

TEST(PaperTab, MultiFeedAndCarrierSheetBoxes) {
  PaperPage p(kFeeder, 0, kPageAutomatic);
  auto& stop = p.f.get<ui::Button>("mButtonStopScan");
  auto& browse = p.f.get<ui::Button>("mButtonAlarmSelect");
  EXPECT_FALSE(stop.isEnabled());
  ASSERT_TRUE(p.f.click("mButtonUltraSonic"));
  EXPECT_EQ(p.f.record.bUltrasonic, 1);
  EXPECT_TRUE(stop.isEnabled());
  EXPECT_TRUE(browse.isEnabled());
  ASSERT_TRUE(p.f.click("mButtonStopScan"));
  EXPECT_EQ(p.f.record.bStopAfterMultefeed, 1);
  // Carrier-sheet scanning turns ultrasonic detection and the stop off.
  ASSERT_TRUE(p.f.click("mCarrierSheetMode"));
  EXPECT_EQ(p.f.record.bCarrierSheet, 1);
  EXPECT_EQ(p.f.record.bUltrasonic, 0);
  EXPECT_EQ(p.f.record.bStopAfterMultefeed, 0);
  EXPECT_FALSE(p.f.get<ui::Button>("mButtonUltraSonic").isEnabled());
  EXPECT_FALSE(p.f.get<ui::Button>("mButtonUltraSonic").isOn());
  EXPECT_FALSE(stop.isEnabled());
  ASSERT_TRUE(p.f.click("mCarrierSheetMode"));
  EXPECT_EQ(p.f.record.bCarrierSheet, 0);
  EXPECT_TRUE(p.f.get<ui::Button>("mButtonUltraSonic").isEnabled());
}

TEST(PaperTab, AlarmIsChosenInTheSoundFolderAndPlayed) {
  PaperPage p;
  p.f.record.bUltrasonic = 0;
  ASSERT_TRUE(p.f.click("mButtonUltraSonic"));
  const std::filesystem::path wav = p.f.folder / "bell.wav";
  std::ofstream(wav) << "RIFF";
  p.f.services.openPanel.answer(wav);
  ASSERT_TRUE(p.f.click("mButtonAlarmSelect"));
  ASSERT_EQ(p.f.services.openPanel.requests().size(), 1u);
  const ui::OpenPanelRequest& request = p.f.services.openPanel.requests()[0];
  EXPECT_EQ(request.directory, std::filesystem::path("/usr/share/sounds"));
  EXPECT_EQ(request.extensions, (std::vector<std::string>{"wav", "ogg", "oga"}));
  EXPECT_EQ(p.f.record.strAlarm.view(), wav.string());
  EXPECT_EQ(p.f.get<ui::Label>("mStaticAlarmName").text(), "bell.wav");
  ASSERT_TRUE(p.f.click("mButtonPlayAlarmMusic"));
  EXPECT_EQ(p.f.services.sound.played(), std::vector<std::filesystem::path>{wav});

  // Cancelled, the alarm stays; a file that went away plays nothing.
  ASSERT_TRUE(p.f.click("mButtonAlarmSelect"));
  EXPECT_EQ(p.f.record.strAlarm.view(), wav.string());
  std::filesystem::remove(wav);
  ASSERT_TRUE(p.f.click("mButtonPlayAlarmMusic"));
  EXPECT_EQ(p.f.services.sound.played().size(), 1u);
}

TEST(PaperTab, FocusChainWithTabAndBackTab) {
  PaperPage p;
  // This configuration hides length detection: its field is never in the chain.
  ASSERT_TRUE(p.f.get<ui::TextField>("mTextFieldAdditionDetect").isHidden());
  using ui::SpecialKey;
  struct Move {
    SpecialKey key;
    std::string_view to;
  };
  ASSERT_TRUE(p.f.user.focus(p.field("mTextFieldXOffset")));
  for (const Move& m :
       {Move{SpecialKey::tab, "mTextFieldYOffset"}, Move{SpecialKey::tab, "mTextFieldWidth"},
        Move{SpecialKey::tab, "mTextFieldLength"}, Move{SpecialKey::backtab, "mTextFieldWidth"},
        Move{SpecialKey::backtab, "mTextFieldYOffset"},
        Move{SpecialKey::backtab, "mTextFieldXOffset"}}) {
    auto* current = dynamic_cast<ui::TextField*>(p.focused());
    ASSERT_NE(current, nullptr) << m.to;
    ASSERT_TRUE(p.f.user.pressKey(*current, m.key));
    EXPECT_EQ(p.focused(), &p.field(m.to)) << m.to;
  }
}

}  // namespace
}  // namespace ferrolite::dialog::testing
