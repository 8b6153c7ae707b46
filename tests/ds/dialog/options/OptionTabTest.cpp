// The option page's two tabs and the barcode-type sheet in the headless window against the
// recording data source: edge fill beyond its limit, the noise pair, the power-time rule, the
// image count's "no limit", the layouts of a shared-device scanner and of user-interface-only
// mode, calibration, and the sheet's All, OK and Cancel.
#include <gtest/gtest.h>

#include <algorithm>

#include "FrameSupport.h"

namespace ferrolite::dialog::testing {
namespace {

constexpr uint32_t kNeedsCalibration = 1u << 4;
constexpr uint32_t kPowerOff = 1u << 6;

struct OptionPage {
  FrameFixture f;
  explicit OptionPage(const std::function<void(FrameFixture&)>& prepare = {}) {
    f.current.ScannerCapability1 = kNeedsCalibration | kPowerOff;
    f.record.wEnergySaver = 15;
    f.record.wPowerOffTime = 20;
    f.record.iImageCount = 1;
    f.record.wNoiseNumber = 25;
    f.record.bNoiseRadius = 3;
    if (prepare) prepare(f);
    f.open();
  }
  void show(std::string_view tab) { ASSERT_TRUE(f.user.selectTab(f.tabs(), tab)); }
  ui::TextField& field(std::string_view outlet) { return f.get<ui::TextField>(outlet); }
  ui::Stepper& stepper(std::string_view outlet) { return f.get<ui::Stepper>(outlet); }
  std::size_t alerts() { return f.services.alerts.journal().size(); }
  OptionTab& tab() { return f.dialog->pages().option; }
};

TEST(OptionTab, EdgeFillBeyondTheLimitAlertsAndIsUndone) {
  // A 2550 x 4200 page: L = 107 mm.
  OptionPage p([](FrameFixture& f) { f.record.wLeftEdge = 107; });
  p.show("KriTabEnhancement");
  EXPECT_EQ(p.field("mTextFieldLeft").text(), "107");
  ASSERT_TRUE(p.f.user.step(p.stepper("mStepprLeft"), ui::StepDirection::up));
  EXPECT_EQ(p.alerts(), 1u);
  EXPECT_EQ(p.f.record.wLeftEdge, 107);
  EXPECT_EQ(p.stepper("mStepprLeft").intValue(), 107);
  EXPECT_EQ(p.field("mTextFieldLeft").text(), "107");

  // Typed: each keystroke is stored; the width beyond L is clamped with the alert.
  ui::TextField& top = p.field("mTextFieldTop");
  ASSERT_TRUE(p.f.user.focus(top));
  ASSERT_TRUE(p.f.user.type(top, "200"));
  EXPECT_EQ(p.alerts(), 2u);
  EXPECT_EQ(p.f.record.wTopEdge, 107);
  EXPECT_EQ(top.text(), "107");
  ASSERT_TRUE(p.f.user.pressKey(top, ui::SpecialKey::tab));
  EXPECT_EQ(p.f.window().firstResponder(), &p.field("mTextFieldBottom"));
  EXPECT_EQ(p.f.dataSource.calls, std::vector<std::string>{});
}

TEST(OptionTab, NoiseRadiusFollowsTheNoiseNumberUpOnly) {
  OptionPage p;
  p.show("KriTabEnhancement");
  ui::TextField& number = p.field("mTextFieldNoiseNumber");
  ASSERT_TRUE(p.f.user.focus(number));
  ASSERT_TRUE(p.f.user.keyEquivalent(number, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.type(number, "3600"));
  EXPECT_EQ(p.f.record.wNoiseNumber, 3600);
  EXPECT_EQ(p.f.record.bNoiseRadius, 30);
  EXPECT_EQ(p.field("mTextFieldNoiseRadius").text(), "30");
  ASSERT_TRUE(p.f.user.pressKey(number, ui::SpecialKey::tab));
  EXPECT_EQ(p.f.window().firstResponder(), &p.field("mTextFieldNoiseRadius"));
  // The radius stepper stays at the number's minimum; a smaller number keeps the radius.
  ASSERT_TRUE(p.f.user.step(p.stepper("mStepperNoiseRadius"), ui::StepDirection::down));
  EXPECT_EQ(p.f.record.bNoiseRadius, 30);
  EXPECT_EQ(p.stepper("mStepperNoiseRadius").intValue(), 30);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(p.f.user.step(p.stepper("mStepperNoiseNumber"), ui::StepDirection::down));
  }
  EXPECT_EQ(p.f.record.wNoiseNumber, 3597);
  EXPECT_EQ(p.f.record.bNoiseRadius, 30);
}

TEST(OptionTab, BackgroundNoneGreysTheControlsAndKeepsTheirValues) {
  OptionPage p([](FrameFixture& f) {
    f.record.bBackgroundProcessing = 0;
    f.record.bBackgroundMode = 1;
  });
  p.show("KriTabEnhancement");
  auto& processing = p.f.get<ui::PopUpButton>("mPopupBackgroundSetting");
  auto& fill = p.f.get<ui::PopUpButton>("mPopupFillColor");
  EXPECT_FALSE(fill.isEnabled());
  ASSERT_TRUE(p.f.user.choose(processing, 1));  // smoothing: its mode
  EXPECT_TRUE(fill.isEnabled());
  EXPECT_EQ(p.f.get<ui::Label>("mStaticFillColor").text(), "Mode");
  EXPECT_EQ(fill.titleOfSelectedItem(), "Moire");
  ASSERT_TRUE(p.f.user.choose(fill, 0));
  EXPECT_EQ(p.f.record.bBackgroundMode, 0);
  ASSERT_TRUE(p.f.user.choose(processing, 0));
  EXPECT_FALSE(fill.isEnabled());
  EXPECT_FALSE(p.f.get<ui::Slider>("mSliderSensitive").isEnabled());
  EXPECT_TRUE(p.f.get<ui::Label>("mStaticSensitiveValue").isHidden());
  EXPECT_EQ(fill.titleOfSelectedItem(), "Automatic");
  ASSERT_TRUE(p.f.user.choose(processing, 2));  // removal: its fill
  EXPECT_EQ(p.f.get<ui::Label>("mStaticFillColor").text(), "FillColor");
  EXPECT_EQ(p.f.record.bBackgroundProcessing, 2);
}

TEST(OptionTab, PowerOffNeverStaysBelowTheEnergySaver) {
  OptionPage p;
  p.show("KriTabSetting");
  ASSERT_TRUE(p.f.user.slide(p.f.get<ui::Slider>("mSliderEnergeSave"), 30));
  EXPECT_EQ(p.f.record.wEnergySaver, 30);
  EXPECT_EQ(p.f.record.wPowerOffTime, 30);
  EXPECT_EQ(p.field("mTextFieldPowerOffTime").text(), "30");
  EXPECT_EQ(p.f.get<ui::Slider>("mSliderPowerOffTime").intValue(), 30);
  EXPECT_EQ(p.stepper("mStepperPowerOffTime").intValue(), 30);

  // A shorter power-off time pasted in ends as the energy saver's.
  ui::TextField& powerOff = p.field("mTextFieldPowerOffTime");
  ASSERT_TRUE(p.f.user.focus(powerOff));
  ASSERT_TRUE(p.f.user.keyEquivalent(powerOff, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.paste(powerOff, "10"));
  ASSERT_TRUE(p.f.user.pressKey(powerOff, ui::SpecialKey::tab));
  EXPECT_EQ(p.f.record.wPowerOffTime, 30);
  EXPECT_EQ(powerOff.text(), "30");
  EXPECT_EQ(p.f.window().firstResponder(), &p.field("mTextFieldImageCount"));

  // Without noSleep an energy saver of 0 becomes 1 at once.
  ui::TextField& energySaver = p.field("mTextFieldEnergeSave");
  ASSERT_TRUE(p.f.user.focus(energySaver));
  ASSERT_TRUE(p.f.user.keyEquivalent(energySaver, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.type(energySaver, "0"));
  EXPECT_EQ(energySaver.text(), "1");
  EXPECT_EQ(p.f.record.wEnergySaver, 1);
}

TEST(OptionTab, ImageCountStepsBetweenNoLimitAndOne) {
  OptionPage p;
  p.show("KriTabSetting");
  ui::Stepper& stepper = p.stepper("mStepperImageCount");
  ui::TextField& count = p.field("mTextFieldImageCount");
  struct Step {
    ui::StepDirection direction;
    int32_t count;
    std::string text;
    bool enabled;
  };
  for (const Step& s :
       {Step{ui::StepDirection::down, -1, "", false}, Step{ui::StepDirection::up, 1, "1", true},
        Step{ui::StepDirection::up, 2, "1", true}}) {
    SCOPED_TRACE(s.count);
    ASSERT_TRUE(p.f.user.step(stepper, s.direction));
    EXPECT_EQ(p.f.record.iImageCount, s.count);
    EXPECT_EQ(stepper.intValue(), s.count);
    EXPECT_EQ(count.isEnabled(), s.enabled);
    if (s.count <= 1) {
      EXPECT_EQ(count.text(), s.text);
    }
  }
  // Typed: a count above 100 loses its last digit at once.
  ASSERT_TRUE(p.f.user.focus(count));
  ASSERT_TRUE(p.f.user.keyEquivalent(count, U'a', ui::kCtrl));
  ASSERT_TRUE(p.f.user.paste(count, "150"));
  EXPECT_EQ(p.f.record.iImageCount, 15);
  EXPECT_EQ(count.text(), "15");
}

TEST(OptionTab, ImageTypesLeaveTheBackgroundControlsAsSet) {
  // The image-type buttons tell the page whether black and white is chosen; this configuration's
  // background processing keeps its controls and values for every type.
  OptionPage p([](FrameFixture& f) {
    f.record.bBackgroundProcessing = 1;
    f.record.bBackgroundMode = 1;
  });
  auto& processing = p.f.get<ui::PopUpButton>("mPopupBackgroundSetting");
  auto& fill = p.f.get<ui::PopUpButton>("mPopupFillColor");
  p.show("KriTabImage");
  ASSERT_TRUE(p.f.user.click(p.f.get<ui::Button>("mBtnImageTypeImageGrayFrontCheck")));
  // Grey chosen, then black and white: the buttons send the state on, then off.
  for (std::string_view type : {"mBtnImageTypeImageGrayFront", "mBtnImageTypeImageBWFront"}) {
    SCOPED_TRACE(type);
    p.show("KriTabImage");
    ASSERT_TRUE(p.f.user.click(p.f.get<ui::Button>(type)));
    EXPECT_EQ(p.f.bridge.mScanModeSideSelect, type.ends_with("GrayFront") ? 2 : 4);
    p.show("KriTabEnhancement");
    EXPECT_TRUE(processing.isEnabled());
    EXPECT_EQ(processing.indexOfSelectedItem(), 1);
    EXPECT_TRUE(fill.isEnabled());
    EXPECT_EQ(fill.titleOfSelectedItem(), "Moire");
    EXPECT_EQ(p.f.record.bBackgroundProcessing, 1);
    EXPECT_EQ(p.f.record.bBackgroundMode, 1);
  }
}

TEST(OptionTab, LayoutsFollowTheScannerAndTheMode) {
  struct Case {
    bool sdUsbScanner;
    int32_t uiOnly;
    bool energySaverShown, saveSettingShown;
  };
  for (const Case& c :
       {Case{false, 0, true, true}, Case{true, 0, false, true}, Case{false, 1, true, false}}) {
    SCOPED_TRACE(c.sdUsbScanner);
    OptionPage p([&](FrameFixture& f) {
      f.extra.sdUsbScanner = c.sdUsbScanner;
      f.uiOnly = c.uiOnly;
    });
    for (std::string_view outlet :
         {"mStaticEnergeSave", "mTextFieldEnergeSave", "mSliderEnergeSave", "mStepperEnergeSave"}) {
      EXPECT_EQ(!p.f.get<ui::Control>(outlet).isHidden(), c.energySaverShown) << outlet;
    }
    EXPECT_EQ(!p.f.get<ui::Control>("mButtonSaveSetting").isHidden(), c.saveSettingShown);
    EXPECT_FALSE(p.f.get<ui::Control>("mTextFieldPowerOffTime").isHidden());
  }
}

TEST(OptionTab, CalibrationAsksTheDataSource) {
  OptionPage p;
  p.show("KriTabSetting");
  ASSERT_TRUE(p.f.click("mCalibration"));
  EXPECT_EQ(p.f.dataSource.calls, std::vector<std::string>{"calibrateScanner"});
  OptionPage without([](FrameFixture& f) { (void)f; });
  without.f.current.ScannerCapability1 = 0;
  without.tab().doOptionTabInit();
  EXPECT_TRUE(without.f.get<ui::Button>("mCalibration").isHidden());
}

TEST(OptionTab, BarcodeSheetAllOkAndCancel) {
  constexpr uint32_t kCode39 = 1u << 2;
  // All symbologies (0): All on, every box on and greyed; unchecking All offers every one
  // but MaxiCode; OK keeps that.
  {
    OptionPage p([](FrameFixture& f) { f.record.dwSelectBarcode = 0; });
    p.tab().OptionTabSelecBarcodeTypes();
    ui::Window& sheet = p.tab().barcodeSheet();
    EXPECT_EQ(p.f.window().attachedSheet(), &sheet);
    auto& all = sheet.get<ui::Button>("mBtnSBTCodeALL");
    EXPECT_TRUE(all.isOn());
    EXPECT_TRUE(sheet.get<ui::Button>("mBtnSBTQRCode").isOn());
    EXPECT_FALSE(sheet.get<ui::Button>("mBtnSBTQRCode").isEnabled());
    EXPECT_TRUE(sheet.get<ui::Button>("mBtnSBTMaxiCode").isHidden());
    ASSERT_TRUE(p.f.user.click(all));
    EXPECT_EQ(p.f.record.dwSelectBarcode, kBarcodeEverySymbology);
    EXPECT_TRUE(sheet.get<ui::Button>("mBtnSBTQRCode").isEnabled());
    ASSERT_TRUE(p.f.user.click(sheet.get<ui::Button>("mBtnSelecBarcodeTypesOK")));
    EXPECT_EQ(p.f.window().attachedSheet(), nullptr);
    EXPECT_EQ(p.f.record.dwSelectBarcode, kBarcodeEverySymbology);
  }
  // Code 39 with MaxiCode's bit stored: the build drops the bit; clearing the last type
  // disables OK; Cancel puts back the value as stored.
  {
    OptionPage p([](FrameFixture& f) { f.record.dwSelectBarcode = kCode39 | kBarcodeMaxiCode; });
    EXPECT_EQ(p.f.record.dwSelectBarcode, kCode39);
    p.tab().OptionTabSelecBarcodeTypes();
    ui::Window& sheet = p.tab().barcodeSheet();
    auto& code39 = sheet.get<ui::Button>("mBtnSBTCode39");
    EXPECT_TRUE(code39.isOn());
    EXPECT_FALSE(sheet.get<ui::Button>("mBtnSBTCodeALL").isOn());
    ASSERT_TRUE(p.f.user.click(code39));
    EXPECT_EQ(p.f.record.dwSelectBarcode, 0u);
    EXPECT_FALSE(sheet.get<ui::Button>("mBtnSelecBarcodeTypesOK").isEnabled());
    ASSERT_TRUE(p.f.user.click(sheet.get<ui::Button>("mBtnSelecBarcodeTypesCancel")));
    EXPECT_EQ(p.f.record.dwSelectBarcode, kCode39 | kBarcodeMaxiCode);
    EXPECT_EQ(p.f.window().attachedSheet(), nullptr);
  }
}

}  // namespace
}  // namespace ferrolite::dialog::testing
