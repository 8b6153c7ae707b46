// The imprinter page on the headless layer against the recording data source: the page build
// from the record (the counter field shows the counter that prints, also with the imprinter
// off), the enable rule, the counter pop-up, the separator submenus, the sample line, the four
// fields with their focus chain, and the "More" sheet.
#include <gtest/gtest.h>

#include "FrameSupport.h"
#include "ds/scan/common/TezFRLCommon.h"

namespace ferrolite::dialog::testing {
namespace {

constexpr const char* kRuled[] = {"mBtnlPrinterAll",
                                  "mTextFieldImprinterCounter",
                                  "mTextFieldImprinterCustom",
                                  "mBtnlPrinterCounter",
                                  "mBtnPrinterDateTime",
                                  "mBtnPrinterDateTimeDivide",
                                  "mBtnPrinterCustomFont",
                                  "mBtnFontAttribute",
                                  "mBtnStringPosition",
                                  "mBtnPosition",
                                  "mBtnMore"};
constexpr const char* kOffsets[] = {"mTextFieldXOffse", "mStepperImprinterXOffset",
                                    "mTextFieldYOffse", "mStepperImprinterYOffset"};

struct ImprinterPage : FrameFixture {
  ImprinterPage() : FrameFixture("dialog-imprinter") {
    record.wTabWindow = 0xBA | 0x80;
    dataSource.profiles = std::vector<std::string>{"Letters"};
    record.strProfile = SharedText("Letters");
  }
  // Opens the dialog on the imprinter page (controls of a page not shown take no input).
  void openPage() {
    open();
    EXPECT_TRUE(user.selectTab(tabs(), "KRiImprinter"));
    keepProfile();
  }
  ui::PopUpButton& popUp(std::string_view outlet) { return get<ui::PopUpButton>(outlet); }
  ui::TextField& field(std::string_view outlet) { return get<ui::TextField>(outlet); }
  ui::TextField& sample() { return field("mTextFieldExampleText"); }
  bool switchedToCustom() const { return record.strProfile.view() == "Custom?"; }
  void keepProfile() { record.strProfile = SharedText("Letters"); }
  ui::Window& more() { return *dialog->pages().imprinter.moreSheet(); }
};

TEST(ImprinterTab, PageBuildFromTheRecord) {
  struct Case {
    uint8_t imprinter, area;
    const char* counter;
    int counterItem;
    const char* counterField;
    bool controls, offsets;
  };
  const Case cases[] = {
      // Off: only the imprinter's own check box stays usable; the field keeps the counter
      // that prints once the imprinter is turned on (it used to show "0001").
      {0, 3, "12", 2, "12", false, false},
      {0, 0, "", 0, "", false, false},
      {1, 0, "0001", 4, "0001", true, false},
      {1, 3, "", 0, "", true, true},
      {1, 1, "12345678901234", 10, "12345678901234", true, false},
  };
  for (const Case& c : cases) {
    ImprinterPage f;
    f.record.bImprinter = c.imprinter;
    f.record.bPrintArea = c.area;
    f.record.strPrintCounter = SharedText(c.counter);
    f.record.wPrintX = 12;
    f.record.wPrintY = 34;
    f.record.bPrintFormat = 2;
    f.record.bPrintFontAttri = 3;
    f.record.bPrintOrientation = 5;
    f.record.bPrintFixedWidth = 1;
    f.openPage();
    SCOPED_TRACE(c.counter);
    EXPECT_TRUE(f.get<ui::Button>("mBtnDigtialPrinter").isEnabled());
    EXPECT_EQ(f.get<ui::Button>("mBtnDigtialPrinter").isOn(), c.imprinter != 0);
    for (const char* outlet : kRuled)
      EXPECT_EQ(f.get<ui::Control>(outlet).isEnabled(), c.controls) << outlet;
    for (const char* outlet : kOffsets)
      EXPECT_EQ(f.get<ui::Control>(outlet).isEnabled(), c.offsets) << outlet;
    EXPECT_EQ(f.get<ui::Label>("mStaticImprinterCounter").textColor(),
              c.controls ? ui::Color::black() : ui::Color::darkGray());
    EXPECT_EQ(f.get<ui::Label>("mStaticImprinterXOffset").textColor(),
              c.offsets ? ui::Color::black() : ui::Color::darkGray());
    EXPECT_EQ(f.popUp("mBtnlPrinterCounter").numberOfItems(), 11u);
    EXPECT_EQ(f.popUp("mBtnlPrinterCounter").indexOfSelectedItem(), c.counterItem);
    EXPECT_EQ(f.field("mTextFieldImprinterCounter").text(), c.counterField);
    EXPECT_EQ(f.popUp("mBtnPrinterDateTime").indexOfSelectedItem(), 2);
    EXPECT_EQ(f.popUp("mBtnFontAttribute").indexOfSelectedItem(), 3);
    EXPECT_EQ(f.popUp("mBtnStringPosition").indexOfSelectedItem(), 5);
    EXPECT_EQ(f.popUp("mBtnPrinterCustomFont").indexOfSelectedItem(), 1);
    EXPECT_EQ(f.popUp("mBtnPosition").indexOfSelectedItem(), c.area);
    EXPECT_EQ(f.field("mTextFieldXOffse").text(), "12");
    EXPECT_EQ(f.get<ui::Stepper>("mStepperImprinterYOffset").intValue(), 34);
    // A feeder of 2550 x 4200 (1/300 inch): 215 and 355 whole millimetres.
    EXPECT_EQ(f.get<ui::Stepper>("mStepperImprinterXOffset").maxValue(), 215);
    EXPECT_EQ(f.get<ui::Stepper>("mStepperImprinterYOffset").maxValue(), 355);
    EXPECT_EQ(f.popUp("mBtnlPrinterCounter").itemAt(4).title(), "Number?(1234)");
    EXPECT_EQ(f.get<ui::Label>("mStaticImprinterDateTime").text(), "Date?/Time?");
  }
}

TEST(ImprinterTab, LabelsOfTheLanguageWithItsOwnWords) {
  // Language 11 names the custom text and the date and time in words of their own when its
  // table has them; any other language joins "Date" and "Time".
  struct Case {
    int32_t language;
    bool ownWords;
    const char* custom;
    const char* dateTime;
  };
  for (const Case& c : {Case{11, true, "Own text", "When"}, Case{11, false, "Custom?", "D/T"},
                        Case{0, true, "Custom?", "D/T"}}) {
    ImprinterPage f;
    f.dataSource.languageId = c.language;
    f.dataSource.bundle.texts() = {{"Date", "D"}, {"Time", "T"}};
    if (c.ownWords) {
      f.dataSource.bundle.texts().insert({{"CustomText", "Own text"}, {"DateTime", "When"}});
    }
    f.openPage();
    EXPECT_EQ(f.get<ui::Label>("mStaticImprinterCustom").text(), c.custom);
    EXPECT_EQ(f.get<ui::Label>("mStaticImprinterDateTime").text(), c.dateTime);
  }
}

TEST(ImprinterTab, TurningTheImprinterOnAndOff) {
  ImprinterPage f;
  f.record.bPrintArea = 0;
  f.record.strPrintCounter = SharedText("0042");
  f.openPage();
  ASSERT_TRUE(f.click("mBtnDigtialPrinter"));
  EXPECT_EQ(f.record.bImprinter, 1);
  EXPECT_TRUE(f.switchedToCustom());
  for (const char* outlet : kRuled) EXPECT_TRUE(f.get<ui::Control>(outlet).isEnabled()) << outlet;
  for (const char* outlet : kOffsets)
    EXPECT_FALSE(f.get<ui::Control>(outlet).isEnabled()) << outlet;
  EXPECT_EQ(f.field("mTextFieldImprinterCounter").text(), "0042");
  // "Custom" position enables the offsets without touching them.
  const uint16_t x = f.record.wPrintX;
  ASSERT_TRUE(f.user.choose(f.popUp("mBtnPosition"), 3));
  EXPECT_EQ(f.record.bPrintArea, 3);
  for (const char* outlet : kOffsets) EXPECT_TRUE(f.get<ui::Control>(outlet).isEnabled()) << outlet;
  EXPECT_EQ(f.record.wPrintX, x);
  // Off again: everything disabled, the texts kept.
  f.field("mTextFieldImprinterCustom").setText("ABC");
  ASSERT_TRUE(f.click("mBtnDigtialPrinter"));
  EXPECT_EQ(f.record.bImprinter, 0);
  for (const char* outlet : kRuled) EXPECT_FALSE(f.get<ui::Control>(outlet).isEnabled()) << outlet;
  for (const char* outlet : kOffsets)
    EXPECT_FALSE(f.get<ui::Control>(outlet).isEnabled()) << outlet;
  EXPECT_EQ(f.field("mTextFieldImprinterCustom").text(), "ABC");
  EXPECT_EQ(f.field("mTextFieldImprinterCounter").text(), "0042");
}

TEST(ImprinterTab, CounterPopUpRewritesTheFieldAndTheRecord) {
  struct Case {
    const char* field;
    int item;
    const char* shown;
  };
  const Case cases[] = {
      {"0042", 0, "42"}, {"7", 4, "0007"}, {"345", 2, "345"}, {"12", 10, "0000000012"}};
  for (const Case& c : cases) {
    ImprinterPage f;
    f.record.bImprinter = 1;
    f.openPage();
    f.field("mTextFieldImprinterCounter").setText(c.field);
    ASSERT_TRUE(f.user.choose(f.popUp("mBtnlPrinterCounter"), c.item));
    EXPECT_EQ(f.field("mTextFieldImprinterCounter").text(), c.shown) << c.field;
    EXPECT_EQ(f.record.strPrintCounter.view(), c.shown);
    EXPECT_EQ(f.sample().text(), c.shown);  // no text, no date: the counter alone
    EXPECT_TRUE(f.switchedToCustom());
  }
  // The stored "42" selects the two-digit item at the next build.
  ImprinterPage f;
  f.record.strPrintCounter = SharedText("42");
  f.openPage();
  EXPECT_EQ(f.popUp("mBtnlPrinterCounter").indexOfSelectedItem(), 2);
}

TEST(ImprinterTab, SeparatorSubmenus) {
  ImprinterPage f;
  f.record.bImprinter = 1;
  f.record.bPrintDate = 1;
  f.record.bPrintTime = 0;
  f.openPage();
  ui::PopUpButton& divide = f.popUp("mBtnPrinterDateTimeDivide");
  ASSERT_EQ(divide.numberOfItems(), 3u);
  ui::Menu& date = *divide.itemAt(1).submenu();
  ui::Menu& time = *divide.itemAt(2).submenu();
  ASSERT_EQ(date.size(), 8u);  // "Separator", a line, six choices
  ASSERT_EQ(time.size(), 5u);
  EXPECT_TRUE(date.item(1).isSeparator());
  EXPECT_EQ(date.chosenIndex(), 3);  // "/" ticked from bPrintDate 1
  EXPECT_EQ(time.chosenIndex(), 2);  // "None"
  struct Step {
    std::vector<int> path;
    uint8_t date, time;
    int dateTick, timeTick;
    bool switches;
  };
  const Step steps[] = {
      {{1, 5}, 3, 0, 5, 2, true},   // Date > "-"
      {{1, 0}, 3, 0, 5, 2, false},  // Date > "Separator": no choice, the tick goes back
      {{2, 4}, 3, 2, 5, 4, true},   // Time > "Space"
      {{1, 7}, 5, 2, 7, 4, true},   // Date > "Space"
      {{2, 3}, 5, 1, 7, 3, true},   // Time > ":"
      {{2, 0}, 5, 1, 7, 3, false},  // Time > "Separator"
      {{1, 2}, 0, 1, 2, 3, true},   // Date > "None"
  };
  for (const Step& s : steps) {
    f.keepProfile();
    ASSERT_TRUE(f.user.choose(divide, s.path));
    EXPECT_EQ(f.record.bPrintDate, s.date) << s.path[0] << "," << s.path[1];
    EXPECT_EQ(f.record.bPrintTime, s.time);
    EXPECT_EQ(date.chosenIndex(), s.dateTick);
    EXPECT_EQ(time.chosenIndex(), s.timeTick);
    EXPECT_EQ(f.switchedToCustom(), s.switches);
  }
}

TEST(ImprinterTab, ChoosingTheCurrentItemAgain) {
  // The attribute and orientation leave the profile alone when nothing changes; the position
  // and the date-and-time pop-up switch it all the same.
  struct Case {
    const char* outlet;
    bool switches;
  };
  for (const Case& c : {Case{"mBtnFontAttribute", false}, Case{"mBtnStringPosition", false},
                        Case{"mBtnPosition", true}, Case{"mBtnPrinterDateTime", true}}) {
    ImprinterPage f;
    f.record.bImprinter = 1;
    f.openPage();
    const int current = f.popUp(c.outlet).indexOfSelectedItem();
    ASSERT_TRUE(f.user.choose(f.popUp(c.outlet), current));
    EXPECT_EQ(f.switchedToCustom(), c.switches) << c.outlet;
  }
}

TEST(ImprinterTab, SampleLine) {
  struct Case {
    int font, attribute, orientation;
    std::string text;
    ui::Font face;
    bool underlined;
    double y, rotation;
    ui::TextAlignment alignment;
  };
  const ui::Font arial{.family = "Arial", .size = 13};
  const ui::Font courier{.family = "Courier", .size = 13};
  const Case cases[] = {
      {0, 0, 0, "ABC0007", arial, false, 17, 0, ui::TextAlignment::left},
      {1, 0, 0, "ABC0007", courier, false, 17, 0, ui::TextAlignment::left},
      {0, 1, 0, "ABC0007", arial, true, 17, 0, ui::TextAlignment::left},
      {0, 2, 0, "ABC0007", {.family = "Arial", .size = 26}, false, 28, 0, ui::TextAlignment::left},
      {1,
       3,
       0,
       "ABC0007",
       {.family = "Courier", .size = 13, .bold = true},
       false,
       17,
       0,
       ui::TextAlignment::left},
      {0,
       2,
       1,
       "ABC0007",
       {.family = "Arial", .size = 26},
       false,
       64,
       180,
       ui::TextAlignment::right},
      // Underlined upside down: padded with blanks across the sample (the test metrics give a
      // blank 0.25 em, the seven characters 0.5 em each: 119 - 14 blanks).
      {0, 1, 1, std::string(105, ' ') + "ABC0007", arial, true, 64, 180, ui::TextAlignment::right},
      {0, 0, 2, " ", arial, false, 17, 0, ui::TextAlignment::left},
      {0, 0, 4, " ", arial, false, 17, 0, ui::TextAlignment::left},
  };
  for (const Case& c : cases) {
    ImprinterPage f;
    f.record.bImprinter = 1;
    f.record.bPrintFixedWidth = static_cast<uint8_t>(c.font);
    f.record.bPrintFontAttri = static_cast<uint8_t>(c.attribute);
    f.record.bPrintOrientation = static_cast<uint8_t>(c.orientation);
    f.record.strPrintText = SharedText("ABC");
    f.record.strPrintCounter = SharedText("0007");
    f.open();
    // The page build leaves the proportional face until the page is shown.
    EXPECT_EQ(f.sample().font(), arial);
    ASSERT_TRUE(f.user.selectTab(f.tabs(), "KRiImprinter"));
    // The page build leaves the proportional face until the page is shown.
    SCOPED_TRACE(std::to_string(c.font) + "/" + std::to_string(c.attribute) + "/" +
                 std::to_string(c.orientation));
    EXPECT_EQ(f.sample().text(), c.text);
    EXPECT_EQ(f.sample().font(), c.face);
    EXPECT_EQ(f.sample().isUnderlined(), c.underlined);
    EXPECT_EQ(f.sample().frame().origin.y, c.y);
    EXPECT_EQ(f.sample().rotation(), c.rotation);
    EXPECT_EQ(f.sample().alignment(), c.alignment);
  }
}

TEST(ImprinterTab, SampleLineWithTheDate) {
  gKrCommon = std::make_unique<TezFRLCommon>(
      std::make_shared<FixedClock>(
          CivilTime{.year = 2026, .month = 3, .day = 4, .hour = 5, .minute = 6}),
      std::make_shared<FixedDateOrder>(DateOrder::YearMonthDay));
  ImprinterPage f;
  f.record.bImprinter = 1;
  f.record.strPrintText = SharedText("X");
  f.openPage();
  ASSERT_TRUE(f.user.choose(f.popUp("mBtnPrinterDateTimeDivide"), {1, 5}));  // "-"
  ASSERT_TRUE(f.user.choose(f.popUp("mBtnPrinterDateTime"), 1));
  EXPECT_EQ(f.record.bPrintFormat, 1);
  const std::string line = f.sample().text();
  gKrCommon.reset();
  EXPECT_EQ(line, "2026-03-04-X");
}

TEST(ImprinterTab, FieldsWriteTheRecordAndMoveTheFocus) {
  ImprinterPage f;
  f.record.bImprinter = 1;
  f.record.bPrintArea = 3;
  f.openPage();
  ui::TextField& custom = f.field("mTextFieldImprinterCustom");
  ASSERT_TRUE(f.user.focus(custom));
  ASSERT_TRUE(f.user.type(custom, std::string(32, 'a')));
  EXPECT_EQ(custom.text(), std::string(31, 'a'));
  EXPECT_EQ(f.record.strPrintText.view(), std::string(31, 'a'));
  EXPECT_EQ(f.sample().text(), std::string(31, 'a'));
  EXPECT_TRUE(f.switchedToCustom());
  // Tab: custom text, counter, X offset, Y offset and round again.
  ASSERT_TRUE(f.user.pressKey(custom, ui::SpecialKey::tab));
  ui::TextField& counter = f.field("mTextFieldImprinterCounter");
  EXPECT_EQ(f.window().editingField(), &counter);
  ASSERT_TRUE(f.user.type(counter, "0a12"));
  EXPECT_EQ(counter.text(), "012");
  EXPECT_EQ(f.record.strPrintCounter.view(), "012");
  ASSERT_TRUE(f.user.pressKey(counter, ui::SpecialKey::tab));
  ui::TextField& x = f.field("mTextFieldXOffse");
  ASSERT_EQ(f.window().editingField(), &x);
  x.setSelection({0, x.text().size()});
  ASSERT_TRUE(f.user.type(x, "216"));  // the maximum is 215
  EXPECT_EQ(x.text(), "21");
  EXPECT_EQ(f.record.wPrintX, 21);
  EXPECT_EQ(f.get<ui::Stepper>("mStepperImprinterXOffset").intValue(), 21);
  ASSERT_TRUE(f.user.pressKey(x, ui::SpecialKey::tab));
  ui::TextField& y = f.field("mTextFieldYOffse");
  ASSERT_EQ(f.window().editingField(), &y);
  y.setSelection({0, y.text().size()});
  ASSERT_TRUE(f.user.type(y, "007"));
  ASSERT_TRUE(f.user.pressKey(y, ui::SpecialKey::tab));
  EXPECT_EQ(f.record.wPrintY, 7);
  EXPECT_EQ(y.text(), "7");
  EXPECT_EQ(f.window().editingField(), &custom);
  // Back-tab from the custom text goes to the Y offset.
  ASSERT_TRUE(f.user.pressKey(custom, ui::SpecialKey::backtab));
  EXPECT_EQ(f.window().editingField(), &y);
  // A stepper writes the setting and its field shows the same value.
  ASSERT_TRUE(f.user.step(f.get<ui::Stepper>("mStepperImprinterYOffset"), ui::StepDirection::up));
  EXPECT_EQ(f.record.wPrintY, 8);
  EXPECT_EQ(y.text(), "8");

  // An emptied offset stores 0 when editing ends, and its stepper shows it.
  y.setSelection({0, y.text().size()});
  ASSERT_TRUE(f.user.deleteBackward(y));
  EXPECT_EQ(y.text(), "0");
  ASSERT_TRUE(f.user.clickElsewhere(y));
  EXPECT_EQ(f.record.wPrintY, 0);
  EXPECT_EQ(f.get<ui::Stepper>("mStepperImprinterYOffset").intValue(), 0);

  // Offsets disabled: Tab cycles between the custom text and the counter.
  ASSERT_TRUE(f.user.choose(f.popUp("mBtnPosition"), 0));
  ASSERT_TRUE(f.user.focus(counter));
  ASSERT_TRUE(f.user.pressKey(counter, ui::SpecialKey::tab));
  EXPECT_EQ(f.window().editingField(), &custom);
  ASSERT_TRUE(f.user.pressKey(custom, ui::SpecialKey::backtab));
  EXPECT_EQ(f.window().editingField(), &counter);
}

TEST(ImprinterTab, MoreSheetOkAndCancel) {
  ImprinterPage f;
  f.record.bImprinter = 1;
  f.record.bPrintSize = 10;
  f.record.bPrintDensity = 20;
  f.record.bPrintTransparency = 30;
  f.openPage();
  ASSERT_TRUE(f.click("mBtnMore"));
  ASSERT_EQ(f.window().attachedSheet(), &f.more());
  EXPECT_EQ(f.more().get<ui::TextField>("mTextFieldDensity").text(), "20");
  ASSERT_TRUE(f.user.slide(f.more().get<ui::Slider>("mSliderDensity"), 128));
  EXPECT_EQ(f.record.bPrintDensity, 128);
  EXPECT_EQ(f.more().get<ui::TextField>("mTextFieldDensity").text(), "128");
  EXPECT_EQ(f.more().get<ui::Button>("mBtnMoreDensityColor").backgroundColor(),
            ui::Color::grey(128.0f / 255));
  ASSERT_TRUE(f.user.slide(f.more().get<ui::Slider>("mSliderSize"), 40));
  EXPECT_TRUE(f.switchedToCustom());
  ASSERT_TRUE(f.user.click(f.more().get<ui::Button>("mBtnMoreCancel")));
  EXPECT_EQ(f.window().attachedSheet(), nullptr);
  EXPECT_FALSE(f.more().isVisible());
  EXPECT_EQ(f.record.bPrintDensity, 20);
  EXPECT_EQ(f.record.bPrintSize, 10);
  EXPECT_TRUE(f.switchedToCustom());  // the custom profile stays

  // OK keeps the values, and a later Cancel goes back to them.
  ASSERT_TRUE(f.click("mBtnMore"));
  ASSERT_TRUE(f.user.slide(f.more().get<ui::Slider>("mSliderTransparncy"), 200));
  ASSERT_TRUE(f.user.click(f.more().get<ui::Button>("mBtnMoreOK")));
  EXPECT_EQ(f.record.bPrintTransparency, 200);
  ASSERT_TRUE(f.click("mBtnMore"));
  EXPECT_EQ(f.more().get<ui::Slider>("mSliderTransparncy").intValue(), 200);
  ASSERT_TRUE(f.user.slide(f.more().get<ui::Slider>("mSliderTransparncy"), 5));
  ASSERT_TRUE(f.user.click(f.more().get<ui::Button>("mBtnMoreCancel")));
  EXPECT_EQ(f.record.bPrintTransparency, 200);
}

TEST(ImprinterTab, ScanWhileAnOffsetIsBeingTypedScansWithIt) {
  // The text and the offset typed on the page reach the record the scan starts with, also when
  // Scan is clicked before the offset's editing ended.
  ImprinterPage f;
  f.record.bImprinter = 1;
  f.record.bPrintArea = 3;
  f.openPage();
  ui::TextField& custom = f.field("mTextFieldImprinterCustom");
  ASSERT_TRUE(f.user.focus(custom));
  ASSERT_TRUE(f.user.type(custom, "Invoice "));
  ASSERT_TRUE(f.user.pressKey(custom, ui::SpecialKey::tab));
  ASSERT_TRUE(f.user.choose(f.popUp("mBtnlPrinterCounter"), 3));
  ui::TextField& x = f.field("mTextFieldXOffse");
  ASSERT_TRUE(f.user.focus(x));
  x.setSelection({0, x.text().size()});
  ASSERT_TRUE(f.user.type(x, "012"));
  f.dataSource.calls.clear();
  ASSERT_TRUE(f.click("mButtonScan"));
  EXPECT_EQ(f.dataSource.calls, (std::vector<std::string>{"checkScanParams", "xferReady"}));
  EXPECT_EQ(f.record.strPrintText.view(), "Invoice ");
  EXPECT_EQ(f.record.strPrintCounter.view(), "000");
  EXPECT_EQ(f.record.wPrintX, 12);
  EXPECT_EQ(f.record.bImprinter, 1);
}

}  // namespace
}  // namespace ferrolite::dialog::testing
