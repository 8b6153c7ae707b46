// The option page's two tabs (enhancement and setting) and the barcode-type sheet on the widget
// layer: builds, actions and observers call the page's rules and show what they answer.
#include "ds/dialog/frame/FieldWiring.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/options/OptionFields.h"
#include "ds/dialog/options/OptionTabControls.h"
#include "ds/dialog/window/PaperOptionSpecs.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Layout.h"
#include "platform/ui/Menu.h"

namespace ferrolite::dialog {
namespace {

constexpr std::array<std::string_view, 3> kBackgroundItems = {"None", "Smooth", "Removal"};
constexpr std::array<Edge, 5> kEdgeOfRow = {Edge::Left, Edge::Left, Edge::Top, Edge::Bottom,
                                            Edge::Right};
constexpr std::array<OptionField, 7> kFieldOfRow = {
    OptionField::LeftEdge,   OptionField::LeftEdge,  OptionField::TopEdge,
    OptionField::BottomEdge, OptionField::RightEdge, OptionField::NoiseNumber,
    OptionField::NoiseRadius};
constexpr std::array<OptionField, 4> kSettingFieldOf = {
    OptionField::ImageCount, OptionField::ImageCount, OptionField::EnergySaver,
    OptionField::PowerOff};

ui::ButtonState stateOf(bool on) { return on ? ui::ButtonState::on : ui::ButtonState::off; }

}  // namespace

OptionTab::OptionTab(DialogShared& s) : s_(s) {}
OptionTab::~OptionTab() = default;

std::string OptionTab::title(std::string_view key, bool questionMark) const {
  return s_.text(key, questionMark ? std::string(key) + "?" : std::string(key));
}

void OptionTab::switch2CustomProfile() { s_.controllers->image.switch2CustomProfile(); }

void OptionTab::setProperties(const std::vector<std::pair<std::string, int64_t>>& properties) {
  for (const auto& [key, value] : properties) s_.properties.set(key, value);
}

void OptionTab::rangeAlert() {
  ui::Alert alert(s_.application);
  alert.setMessageText("");
  alert.setInformativeText(edgeFillRangeText(s_.language(), edgeFillLimit(s_.record())));
  alert.addButton(s_.text("OK", "OK"));
  alert.runModal();
}

void OptionTab::setBackgroundSettingState(bool) {}

bool OptionTab::checkEdgeFillRange() {
  const EdgeFillCheck check = dialog::checkEdgeFillRange(s_.record());
  setProperties(check.properties);
  if (check.inRange) return true;
  rangeAlert();
  return false;
}

void OptionTab::refreshEdgeFill() {
  const ScanSetting& r = s_.record();
  const std::array<int64_t, 5> widths = {0, r.wLeftEdge, r.wTopEdge, r.wBottomEdge, r.wRightEdge};
  for (int n = 1; n <= 4; ++n) {
    s_.properties.set(std::string(kEnhancementRows[n].property), widths[n]);
  }
}

void OptionTab::wireField(ui::TextField& field, OptionField kind) {
  wireRuleField(field, s_.application.notifications(),
                {.changed =
                     [this, kind](std::string_view text) {
                       DialogContext ctx = s_.ctx();
                       return optionFieldChanged(kind, {}, text, ctx);
                     },
                 .ended =
                     [this, kind](std::string_view text, TextMovement m) {
                       DialogContext ctx = s_.ctx();
                       return optionFieldEnded(kind, text, m, ctx);
                     }});
}

void OptionTab::wire() {
  if (wired_ == s_.window.get()) return;
  wired_ = s_.window.get();
  ui::NotificationCenter& centre = s_.application.notifications();
  auto popUpAction = [this](std::string_view outlet, auto rule) {
    s_.main<ui::PopUpButton>(outlet).setAction([this, rule](ui::Control& c) {
      rule(static_cast<int64_t>(static_cast<ui::PopUpButton&>(c).indexOfSelectedItem()));
      switch2CustomProfile();
    });
  };
  popUpAction("mPopupBackgroundSetting", [this](int64_t i) {
    BackgroundControls c = backgroundChosen(s_.record(), i);
    // "None" only greys the fill popup: it keeps the menu and choice it had.
    if (i == 0) c.fillItems.clear();
    showBackground(c);
  });
  popUpAction("mPopupSpeed",
              [this](int64_t i) { s_.record().bBackgroundSpeed = static_cast<uint8_t>(i); });
  popUpAction("mPopupFillColor", [this](int64_t i) { backgroundFillChosen(s_.record(), i); });
  popUpAction("mPopupBlackWhite",
              [this](int64_t i) { s_.record().bEdgeColor = static_cast<uint8_t>(i); });
  s_.main<ui::Slider>("mSliderSensitive").setAction([this](ui::Control& c) {
    const int value = static_cast<ui::Slider&>(c).intValue();
    s_.record().bBackgroundSensitivity = static_cast<uint8_t>(value);
    s_.main<ui::Label>("mStaticSensitiveValue").setText(std::to_string(value));
    switch2CustomProfile();
  });

  // Edge fill and despeckle: fields and steppers show the bound values.
  for (int n = 1; n <= 6; ++n) {
    const EnhancementRow& row = kEnhancementRows[n];
    auto& stepper = s_.main<ui::Stepper>(row.stepper);
    stepper.bindValue(s_.properties, std::string(row.property));
    auto& field = s_.main<ui::TextField>(row.field);
    field.bindValue(s_.properties, std::string(row.property));
    wireField(field, kFieldOfRow[n]);
  }
  for (int n = 1; n <= 4; ++n) {
    s_.main<ui::Stepper>(kEnhancementRows[n].stepper).setAction([this, n](ui::Control& c) {
      const EdgeStep step =
          edgeStepped(s_.record(), kEdgeOfRow[n], static_cast<ui::Stepper&>(c).intValue());
      if (step.alert) {
        rangeAlert();
        s_.properties.set(std::string(kEnhancementRows[n].property), step.property);
      }
      switch2CustomProfile();
    });
  }
  s_.main<ui::Stepper>(kEnhancementRows[5].stepper).setAction([this](ui::Control& c) {
    noiseNumberStepped(s_.record(), static_cast<ui::Stepper&>(c).intValue());
    showNoiseRadius();
    switch2CustomProfile();
  });
  s_.main<ui::Stepper>(kEnhancementRows[6].stepper).setAction([this](ui::Control& c) {
    noiseRadiusStepped(s_.record(), static_cast<ui::Stepper&>(c).intValue());
    showNoiseRadius();
    switch2CustomProfile();
  });
  s_.main<ui::Button>("mButtonPunchHoleRemoval").setAction([this](ui::Control& c) {
    s_.record().bPunchHole = static_cast<ui::Button&>(c).isOn() ? 1 : 0;
  });

  // The setting tab: the fields act only through their own editing.
  for (int n = 1; n <= 3; ++n) {
    wireField(s_.main<ui::TextField>(kSettingFields[n]), kSettingFieldOf[n]);
  }
  // The time-out field is the paper page's reload-time field.
  wireRuleField(s_.main<ui::TextField>("mTextFieldTimeOut"), centre,
                {.changed =
                     [this](std::string_view text) {
                       DialogContext ctx = s_.ctx();
                       PaperFieldFlags flags;
                       return paperFieldChanged(PaperField::ReloadTime, {}, text, ctx, flags).field;
                     },
                 .ended =
                     [this](std::string_view text, TextMovement m) {
                       DialogContext ctx = s_.ctx();
                       PaperFieldFlags flags;
                       return paperFieldEnded(PaperField::ReloadTime, text, m, ctx, flags).field;
                     }});
  auto setting = [this](std::string_view outlet, auto rule) {
    s_.main<ui::Control>(outlet).setAction([this, rule](ui::Control& c) {
      double value = 0;
      if (auto* slider = dynamic_cast<ui::Slider*>(&c)) value = slider->doubleValue();
      if (auto* stepper = dynamic_cast<ui::Stepper*>(&c)) value = stepper->doubleValue();
      DialogContext ctx = s_.ctx();
      showSetting(rule(ctx, static_cast<int64_t>(value)));
    });
  };
  for (std::string_view outlet : {"mSliderEnergeSave", "mStepperEnergeSave"}) {
    setting(outlet,
            [this](DialogContext& ctx, int64_t v) { return settings_.energySaverStepped(ctx, v); });
  }
  for (std::string_view outlet : {"mSliderPowerOffTime", "mStepperPowerOffTime"}) {
    setting(outlet,
            [this](DialogContext& ctx, int64_t v) { return settings_.powerOffStepped(ctx, v); });
  }
  for (std::string_view outlet : {"mSliderImageCount", "mStepperImageCount"}) {
    setting(outlet,
            [this](DialogContext& ctx, int64_t v) { return settings_.imageCountStepped(ctx, v); });
  }
  for (std::string_view outlet : {"mSliderTimeOut", "mStepperTimeOut"}) {
    setting(outlet, [this](DialogContext& ctx, int64_t v) {
      settings_.timeOutStepped(ctx, v);
      SettingControls c;
      c.timeOutShows = v;
      return c;
    });
  }
  s_.main<ui::Button>("mCheckBtnPowerOffTime").setAction([this](ui::Control& c) {
    DialogContext ctx = s_.ctx();
    showSetting(settings_.powerOffChecked(ctx, static_cast<ui::Button&>(c).isOn()));
  });
  s_.main<ui::Button>("mCalibration").setAction([this](ui::Control&) {
    s_.bridge.ds()->calibrateScanner();
  });
  const std::pair<std::string_view, uint8_t ScanSetting::*> flags[] = {
      {"mButtonShowProgress", &ScanSetting::bShowProgress},
      {"mButtonShowWarning", &ScanSetting::bShowWarning},
      {"mButtonSaveSetting", &ScanSetting::bSaveSetting},
      {"mEjectPaperOpposite", &ScanSetting::bEjectOpposite}};
  for (const auto& [outlet, flag] : flags) {
    s_.main<ui::Button>(outlet).setAction([this, field = flag](ui::Control& c) {
      s_.record().*field = static_cast<ui::Button&>(c).isOn() ? 1 : 0;
      switch2CustomProfile();
    });
  }
  s_.main<ui::Button>("mBtnSelecBarcodeTypes_Enhancement").setAction([this](ui::Control&) {
    OptionTabSelecBarcodeTypes();
  });
}

void OptionTab::showNoiseRadius() {
  const ScanSetting& r = s_.record();
  s_.properties.set("mNoiseNumber", static_cast<int64_t>(r.wNoiseNumber));
  s_.properties.set("mNoiseRadius", static_cast<int64_t>(r.bNoiseRadius));
}

void OptionTab::showBackground(const BackgroundControls& c) {
  if (c.enabled) {
    const bool on = *c.enabled;
    s_.main<ui::PopUpButton>("mPopupSpeed").setEnabled(on);
    s_.main<ui::Slider>("mSliderSensitive").setEnabled(on);
    s_.main<ui::PopUpButton>("mPopupFillColor").setEnabled(on);
    for (std::string_view label : {"mStaticSpeed", "mStaticFillColor"}) {
      s_.main<ui::Label>(label).setTextColor(on ? ui::Color::black() : ui::Color::darkGray());
    }
    s_.main<ui::Label>("mStaticSensitiveValue").setHidden(!on);
  }
  if (!c.fillItems.empty()) {
    s_.main<ui::Label>("mStaticFillColor").setText(title(c.fillLabelKey, false));
    auto menu = std::make_unique<ui::Menu>(c.fillMenuTitle);
    for (const std::string& item : c.fillItems) menu->addItem(title(item, false));
    auto& fill = s_.main<ui::PopUpButton>("mPopupFillColor");
    fill.setMenu(std::move(menu));
    // Without processing the pop-up is disabled and still shows the fill the record holds, not
    // an empty title.
    const int64_t shown = c.fillSelected ? *c.fillSelected : s_.record().bBackgroundFill;
    fill.selectItemAtIndex(shown >= 0 && shown < static_cast<int64_t>(c.fillItems.size())
                               ? static_cast<int>(shown)
                               : 0);
  }
}

void OptionTab::showSetting(const SettingControls& c) {
  auto row = [this](std::string_view slider, std::string_view field, std::string_view stepper,
                    int64_t value) {
    s_.main<ui::Slider>(slider).setDoubleValue(static_cast<double>(value));
    s_.main<ui::TextField>(field).setText(std::to_string(value));
    s_.main<ui::Stepper>(stepper).setDoubleValue(static_cast<double>(value));
  };
  if (c.energySaverShows) {
    row("mSliderEnergeSave", "mTextFieldEnergeSave", "mStepperEnergeSave", *c.energySaverShows);
  }
  if (c.powerOffShows) {
    row("mSliderPowerOffTime", "mTextFieldPowerOffTime", "mStepperPowerOffTime", *c.powerOffShows);
  }
  if (c.powerOffEnabled) {
    for (std::string_view outlet :
         {"mSliderPowerOffTime", "mTextFieldPowerOffTime", "mStepperPowerOffTime"}) {
      s_.main<ui::Control>(outlet).setEnabled(*c.powerOffEnabled);
    }
  }
  if (c.timeOutShows)
    row("mSliderTimeOut", "mTextFieldTimeOut", "mStepperTimeOut", *c.timeOutShows);
  if (c.imageCountText) s_.main<ui::TextField>("mTextFieldImageCount").setText(*c.imageCountText);
  if (c.imageCountFieldEnabled) {
    s_.main<ui::TextField>("mTextFieldImageCount").setEnabled(*c.imageCountFieldEnabled);
    // The empty field of "all pages" gets its word beside it.
    s_.main<ui::Label>("mStaticCount")
        .setText(title(*c.imageCountFieldEnabled ? "PageUnit" : "AllPages", true));
  }
  if (c.imageCountSlider) {
    s_.main<ui::Slider>("mSliderImageCount")
        .setDoubleValue(static_cast<double>(*c.imageCountSlider));
  }
  if (c.imageCountStepper) {
    s_.main<ui::Stepper>("mStepperImageCount")
        .setDoubleValue(static_cast<double>(*c.imageCountStepper));
  }
  if (c.pageUnitLabel) s_.main<ui::Label>("mStaticCount").setText(title("PageUnit", true));
  if (c.switch2CustomProfile) switch2CustomProfile();
}

void OptionTab::buildEnhancementTab() {
  const ScanSetting& r = s_.record();
  s_.main<ui::Label>("mStaticSettingsTable").setText(title("Tabs", false));
  s_.main<ui::Box>("mBoxBackgroundSetting").setTitle(title("BackgroundSetting", false));
  s_.main<ui::Label>("mStaticBackgroundSetting").setText(title("BackgroundProcessing", true));
  auto menu = std::make_unique<ui::Menu>("BackgroundSetting");
  for (std::string_view item : kBackgroundItems) menu->addItem(title(item, false));
  auto& background = s_.main<ui::PopUpButton>("mPopupBackgroundSetting");
  background.setMenu(std::move(menu));
  background.selectItemAtIndex(r.bBackgroundProcessing);
  auto& speed = s_.main<ui::PopUpButton>("mPopupSpeed");
  for (std::size_t i = 0; i < speed.numberOfItems() && i < kSpeedItems.size(); ++i) {
    speed.itemAt(i).setTitle(title(kSpeedItems[i], false));
  }
  speed.selectItemAtIndex(r.bBackgroundSpeed);
  s_.main<ui::Label>("mStaticSpeed").setText(title("Sensitivity", false));
  s_.main<ui::Slider>("mSliderSensitive").setDoubleValue(r.bBackgroundSensitivity);
  s_.main<ui::Label>("mStaticSensitiveValue").setText(std::to_string(r.bBackgroundSensitivity));
  showBackground(backgroundControls(r));

  s_.main<ui::Box>("mBoxEdgeFill").setTitle(title("EdgeFill", false));
  auto edgeColours = std::make_unique<ui::Menu>("BlackWhite");
  for (std::string_view item : {"White", "Black"}) edgeColours->addItem(title(item, false));
  auto& edgeColour = s_.main<ui::PopUpButton>("mPopupBlackWhite");
  edgeColour.setMenu(std::move(edgeColours));
  edgeColour.selectItemAtIndex(r.bEdgeColor);
  for (int n = 1; n <= 6; ++n) {
    s_.main<ui::Label>(kEnhancementRows[n].label)
        .setText(title(kEnhancementRows[n].labelKey, true));
  }
  s_.main<ui::Label>("mStaticMillimeter").setText(title("Millimeters", true));
  s_.main<ui::Box>("mDesparkle").setTitle(title("Despeckle", true));
  s_.main<ui::Label>("mStaticPixels").setText(title("Pixel", true));
  s_.main<ui::Box>("mBoxBlankRemoval").setTitle(title("BlankRemoval", false));
  auto& punchHole = s_.main<ui::Button>("mButtonPunchHoleRemoval");
  punchHole.setHidden(s_.curExtraParam.hidePunchHole);
  punchHole.setTitle(title("Punch Hole Removal", true));
  if (auto* rotate = s_.window->find<ui::PopUpButton>("mPopupRotateDegree")) {
    rotate->selectItemAtIndex(r.bRotation);
  }
  s_.main<ui::Button>("mButtonMirror").setState(stateOf(r.bMirror != 0));
  refreshEdgeFill();
  showNoiseRadius();
  s_.main<ui::Button>("mBtnSelecBarcodeTypes_Enhancement")
      .setTitle(title("SelectBarcodeTypes", false));
  for (std::string_view outlet :
       {"mCheckBlankRemove_Enhancement", "mSliderBlankRemove_Enhancement",
        "mStaticBlankRemoveValue_Enhancement", "mBtnBarCodeEnable_Enhancement",
        "mBtnSelecBarcodeTypes_Enhancement"}) {
    s_.main<ui::Control>(outlet).setHidden(true);
  }
}

void OptionTab::buildSettingTab() {
  const std::pair<std::string_view, std::string_view> labels[] = {
      {"mStaticEnergeSave", "EnableEnergySaver"}, {"mStaticMinute", "Minutes"},
      {"mStaticPowerOffTimeMinute", "Minutes"},   {"mStaticPowerOffTime", "PowerOffTime"},
      {"mStaticImageCount", "ImageCount"},        {"mStaticCount", "PageUnit"},
      {"mStaticTimeOut", "WaitingJob"},           {"mStaticSecond", "Seconds"}};
  for (const auto& [outlet, key] : labels) s_.main<ui::Label>(outlet).setText(title(key, true));
  DialogContext ctx = s_.ctx();
  const SettingTabBuild b = settings_.doOptionTabInit(ctx, s_.mUIOnly != 0);
  const ScanSetting& r = s_.record();
  auto& calibration = s_.main<ui::Button>("mCalibration");
  calibration.setHidden(!b.calibrationShown);
  calibration.setTitle(title("Calibration", true));
  for (std::string_view outlet : {"mStaticEnergeSave", "mTextFieldEnergeSave", "mSliderEnergeSave",
                                  "mStepperEnergeSave", "mStaticMinute"}) {
    s_.main<ui::Control>(outlet).setHidden(b.energySaverRowHidden);
  }
  auto& powerOffCheck = s_.main<ui::Button>("mCheckBtnPowerOffTime");
  powerOffCheck.setHidden(!b.powerOffCheckShown);
  powerOffCheck.setState(stateOf(b.powerOffChecked));
  powerOffCheck.setTitle(title("AutoPowerOff", true));
  SettingControls shown = b.controls;
  shown.powerOffEnabled = b.powerOffEnabled;
  auto range = [this](std::string_view slider, std::string_view stepper, double min, double max) {
    s_.main<ui::Slider>(slider).setMinValue(min);
    s_.main<ui::Slider>(slider).setMaxValue(max);
    s_.main<ui::Stepper>(stepper).setMinValue(min);
    s_.main<ui::Stepper>(stepper).setMaxValue(max);
  };
  range("mSliderEnergeSave", "mStepperEnergeSave", static_cast<double>(b.minimum),
        static_cast<double>(b.energySaverMaximum));
  range("mSliderPowerOffTime", "mStepperPowerOffTime", static_cast<double>(b.minimum),
        static_cast<double>(b.powerOffMaximum));
  showSetting(shown);
  const std::pair<std::string_view, uint8_t> flags[] = {{"mButtonShowProgress", r.bShowProgress},
                                                        {"mButtonShowWarning", r.bShowWarning},
                                                        {"mButtonSaveSetting", r.bSaveSetting},
                                                        {"mEjectPaperOpposite", r.bEjectOpposite}};
  const std::string_view keys[] = {"ShowProgress", "ShowWarning", "SaveSetting",
                                   "EjectPaperOpposite"};
  for (std::size_t i = 0; i < std::size(flags); ++i) {
    auto& box = s_.main<ui::Button>(flags[i].first);
    box.setTitle(title(keys[i], false));
    box.setState(stateOf(flags[i].second != 0));
  }
  s_.main<ui::Button>("mButtonSaveSetting").setHidden(!b.saveSettingShown);
  s_.main<ui::Button>("mEjectPaperOpposite").setHidden(!b.ejectOppositeShown);
}

void OptionTab::doOptionTabInit() {
  wire();
  buildEnhancementTab();
  buildSettingTab();
  // The barcode sheet's buttons and boxes.
  ui::Window& sheet = barcodeSheet();
  sheet.get<ui::Button>("mBtnSBTCodeALL").setTitle(title("All", false));
  sheet.get<ui::Button>("mBtnSelecBarcodeTypesOK").setTitle(title("OK", false));
  sheet.get<ui::Button>("mBtnSelecBarcodeTypesCancel").setTitle(title("Cancel", false));
  for (const BarcodeBox& b : kBarcodeBoxes) {
    if (!b.outlet.empty()) sheet.get<ui::Button>(b.outlet).setTitle(title(b.key, false));
  }
  showBarcodes(barcodes_.build(s_.record()));
}

// --- the barcode-type sheet ---

ui::Window& OptionTab::barcodeSheet() {
  if (!barcodeSheet_) {
    barcodeSheet_ = ui::buildWindow(s_.application, barcodeSheetSpec(), s_.strings);
    wireBarcodeSheet();
    if (s_.toolkit) s_.toolkit->attach(*barcodeSheet_);
  }
  return *barcodeSheet_;
}

void OptionTab::wireBarcodeSheet() {
  ui::Window& sheet = *barcodeSheet_;
  for (int bit = 0; bit < kBarcodeBits; ++bit) {
    if (kBarcodeBoxes[bit].outlet.empty()) continue;
    sheet.get<ui::Button>(kBarcodeBoxes[bit].outlet).setAction([this, bit](ui::Control& c) {
      showBarcodes(
          barcodes_.symbologyChanged(s_.record(), bit, static_cast<ui::Button&>(c).isOn()));
      switch2CustomProfile();
    });
  }
  sheet.get<ui::Button>("mBtnSBTCodeALL").setAction([this](ui::Control& c) {
    showBarcodes(barcodes_.allChanged(s_.record(), static_cast<ui::Button&>(c).isOn()));
    switch2CustomProfile();
  });
  sheet.get<ui::Button>("mBtnSelecBarcodeTypesOK").setAction([this](ui::Control&) {
    OptionTabSelecBarcodeTypesOK();
  });
  sheet.get<ui::Button>("mBtnSelecBarcodeTypesCancel").setAction([this](ui::Control&) {
    OptionTabSelecBarcodeTypesCancel();
  });
}

void OptionTab::showBarcodes(const BarcodeSheet& state) {
  ui::Window& sheet = barcodeSheet();
  for (int bit = 0; bit < kBarcodeBits; ++bit) {
    if (kBarcodeBoxes[bit].outlet.empty()) continue;
    auto& box = sheet.get<ui::Button>(kBarcodeBoxes[bit].outlet);
    box.setState(stateOf(state.checked[bit]));
    box.setEnabled(state.symbologiesEnabled);
  }
  auto& maxiCode = sheet.get<ui::Button>(kBarcodeBoxes[9].outlet);
  maxiCode.setHidden(true);
  maxiCode.setState(ui::ButtonState::off);
  auto& all = sheet.get<ui::Button>("mBtnSBTCodeALL");
  all.setState(stateOf(state.allChecked));
  all.setEnabled(true);
  sheet.get<ui::Button>("mBtnSelecBarcodeTypesOK").setEnabled(state.okEnabled);
}

void OptionTab::OptionTabSelecBarcodeTypes() {
  showBarcodes(barcodes_.open(s_.record()));
  s_.window->beginSheet(barcodeSheet());
}

void OptionTab::OptionTabSelecBarcodeTypesOK() {
  barcodes_.ok(s_.record(), barcodeSheet().get<ui::Button>("mBtnSBTCodeALL").isOn());
  s_.window->endSheet(barcodeSheet());
  barcodeSheet().orderOut();
}

void OptionTab::OptionTabSelecBarcodeTypesCancel() {
  barcodes_.cancel(s_.record());
  s_.window->endSheet(barcodeSheet());
  barcodeSheet().orderOut();
}

// --- observers ---

bool OptionTab::notified(std::string_view name, const ui::Notification& n) {
  const std::string which = n.userInfo.string("which").valueOr(std::string());
  DialogContext ctx = s_.ctx();
  if (name == note::kOptionEdgeChange) {
    const EdgeChange change = optionEdgeChangeEdges(s_.record(), which);
    setProperties(change.properties);
    if (change.alert) rangeAlert();
    if (which == "ImageCount") {
      showSetting(settings_.imageCountTyped(ctx, s_.record().iImageCount));
    } else if (which == "EnergeSave") {
      showSetting(settings_.energySaverNotified(ctx));
    } else if (which == "PowerOff") {
      showSetting(settings_.powerOffNotified(ctx));
    }
    switch2CustomProfile();
  } else if (name == note::kOptionNoise) {
    if (which == "noiseNumber") {
      s_.properties.set("mNoiseNumber", static_cast<int64_t>(s_.record().wNoiseNumber));
    }
    if (which == "noiseRadius") {
      s_.properties.set("mNoiseRadius", static_cast<int64_t>(s_.record().bNoiseRadius));
    }
    switch2CustomProfile();
  } else if (name == note::kTextFieldMovementEnhancement ||
             name == note::kTextFieldBackMovementEnhancement) {
    const bool forward = name == note::kTextFieldMovementEnhancement;
    const int usable = forward ? 5 : 6;
    const bool enabled = s_.main<ui::TextField>(kEnhancementRows[usable].field).isEnabled();
    const std::optional<int32_t> target =
        forward ? enhancementTabTarget(s_.globals.goNextTextFiled_Enhancement, enabled)
                : enhancementBackTabTarget(s_.globals.goBackNextTextFiled_Enhancement, enabled);
    if (target && *target >= 1 && *target <= 6) {
      s_.window->makeFirstResponder(&s_.main<ui::TextField>(kEnhancementRows[*target].field));
    }
  } else if (name == note::kTextFieldMovementSetting ||
             name == note::kTextFieldBackMovementSetting) {
    const bool forward = name == note::kTextFieldMovementSetting;
    const bool usable = s_.main<ui::TextField>(kSettingFields[1]).isEnabled();
    const std::optional<int32_t> target =
        forward ? settingTabTarget(s_.globals.goNextTextFiled_Setting, usable)
                : settingBackTabTarget(s_.globals.goBackNextTextFiled_Settingt, usable);
    if (target && *target >= 1 && *target <= 3) {
      s_.window->makeFirstResponder(&s_.main<ui::TextField>(kSettingFields[*target]));
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace ferrolite::dialog
