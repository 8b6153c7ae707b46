#include <bit>

#include "ds/dialog/options/BarcodeTypes.h"
#include "ds/dialog/options/OptionTabControls.h"
#include "ds/dialog/window/PaperOptionSpecs.h"

namespace ferrolite::dialog {

using namespace pagespec;
using ui::ControlKind;

void addEnhancementPage(std::vector<ui::ElementSpec>& e, std::string_view page) {
  constexpr std::string_view background = "mBoxBackgroundSetting";
  e.push_back(box(background, page, {0, 0, 2, 4}, "BackgroundSetting"));
  e.push_back(control("mStaticBackgroundSetting", ControlKind::label, background, {0, 0},
                      "BackgroundProcessing"));
  e.push_back(popUp("mPopupBackgroundSetting", background, {0, 1}));
  e.push_back(popUp("mPopupSpeed", background, {0, 2}, {kSpeedItems.begin(), kSpeedItems.end()}));
  e.push_back(control("mStaticSpeed", ControlKind::label, background, {1, 0}, "Sensitivity"));
  e.push_back(ranged("mSliderSensitive", ControlKind::slider, background, {1, 1}, 0, 4));
  e.push_back(control("mStaticSensitiveValue", ControlKind::label, background, {1, 2}, {},
                      ui::Fallback::literal));
  e.push_back(control("mStaticFillColor", ControlKind::label, background, {2, 0}, "FillColor"));
  e.push_back(popUp("mPopupFillColor", background, {2, 1}));

  constexpr std::string_view edges = "mBoxEdgeFill";
  e.push_back(box(edges, page, {2, 0, 3, 4}, "EdgeFill"));
  e.push_back(popUp("mPopupBlackWhite", edges, {0, 0}, {"White", "Black"}));
  // The unit beside the four values it measures.
  e.push_back(control("mStaticMillimeter", ControlKind::label, edges, {1, 6, 2, 1}, "Millimeters"));
  constexpr std::string_view despeckle = "mDesparkle";
  e.push_back(box(despeckle, page, {5, 0, 2, 4}, "Despeckle"));
  e.push_back(control("mStaticPixels", ControlKind::label, despeckle, {0, 6}, "Pixel"));
  for (int n = 1; n <= 6; ++n) {
    const EnhancementRow& row = kEnhancementRows[n];
    const bool edge = n <= 4;
    const std::string_view parent = edge ? edges : despeckle;
    // Two values a row: label, field, stepper.
    const int r = edge ? 1 + (n - 1) / 2 : 0;
    const int c = ((n - 1) % 2) * 3;
    e.push_back(control(row.label, ControlKind::label, parent, {r, c}, row.labelKey));
    e.push_back(control(row.field, ControlKind::textField, parent, {r, c + 1}));
    e.push_back(
        ranged(row.stepper, ControlKind::stepper, parent, {r, c + 2}, n == 6 ? 1 : 0, row.maximum));
  }
  // The separation page's controls' second copies, hidden in this configuration.
  for (std::string_view outlet :
       {"mCheckBlankRemove_Enhancement", "mBtnBarCodeEnable_Enhancement"}) {
    e.push_back(control(outlet, ControlKind::checkBox, page, {7, 0}, {}, ui::Fallback::literal));
    e.back().options = ui::kHiddenAtStart;
  }
  e.push_back(ranged("mSliderBlankRemove_Enhancement", ControlKind::slider, page, {7, 1}, 0, 255));
  e.back().options = ui::kHiddenAtStart;
  e.push_back(control("mStaticBlankRemoveValue_Enhancement", ControlKind::label, page, {7, 2}, {},
                      ui::Fallback::literal));
  e.back().options = ui::kHiddenAtStart;
  e.push_back(control("mBtnSelecBarcodeTypes_Enhancement", ControlKind::pushButton, page, {7, 3},
                      "SelectBarcodeTypes"));
  e.back().options = ui::kHiddenAtStart;
}

void addSettingPage(std::vector<ui::ElementSpec>& e, std::string_view page) {
  // Which optional pages are shown (the frame's table).
  e.push_back(
      control("pSettingsView", ControlKind::view, page, {0, 0, 5, 4}, {}, ui::Fallback::key));
  e.back().options = ui::kHiddenAtStart;
  e.push_back(control("mStaticSettingsTable", ControlKind::label, "pSettingsView", {0, 0, 1, 3},
                      "SettingsTable"));
  e.back().options = ui::kHiddenAtStart;
  e.push_back(control("pSettingsTableView", ControlKind::tableView, "pSettingsView", {1, 0, 4, 3}));
  e.push_back({.parent = "pSettingsTableView",
               .text = "Page",
               .fallback = ui::Fallback::key,
               .size = {220, 0},
               .identifier = "SettingName",
               .element = ui::Element::tableColumn,
               .cellKind = ui::CellKind::text});
  e.push_back({.parent = "pSettingsTableView",
               .text = "Show",
               .fallback = ui::Fallback::key,
               .size = {60, 0},
               .identifier = "check",
               .element = ui::Element::tableColumn,
               .cellKind = ui::CellKind::check});

  // The rows: caption, slider, field, stepper, unit.
  struct Row {
    std::string_view label, labelKey, slider, field, stepper, unit, unitKey;
    double minimum, maximum;
  };
  const Row rows[] = {
      {"mStaticEnergeSave", "EnableEnergySaver", "mSliderEnergeSave", "mTextFieldEnergeSave",
       "mStepperEnergeSave", "mStaticMinute", "Minutes", 1, 240},
      {"mStaticPowerOffTime", "PowerOffTime", "mSliderPowerOffTime", "mTextFieldPowerOffTime",
       "mStepperPowerOffTime", "mStaticPowerOffTimeMinute", "Minutes", 1, 480},
      {"mStaticImageCount", "ImageCount", "mSliderImageCount", "mTextFieldImageCount",
       "mStepperImageCount", "mStaticCount", "PageUnit", -1, 100},
      {"mStaticTimeOut", "WaitingJob", "mSliderTimeOut", "mTextFieldTimeOut", "mStepperTimeOut",
       "mStaticSecond", "Seconds", 0, 300},
  };
  int r = 5;
  for (const Row& row : rows) {
    e.push_back(control(row.label, ControlKind::label, page, {r, 0}, row.labelKey));
    e.push_back(ranged(row.slider, ControlKind::slider, page, {r, 1}, row.minimum, row.maximum));
    e.push_back(control(row.field, ControlKind::textField, page, {r, 2}));
    e.push_back(ranged(row.stepper, ControlKind::stepper, page, {r, 3}, row.minimum, row.maximum));
    e.push_back(control(row.unit, ControlKind::label, page, {r, 4}, row.unitKey));
    ++r;
  }
  e.push_back(
      control("mCheckBtnPowerOffTime", ControlKind::checkBox, page, {6, 5}, "AutoPowerOff"));
  // The options one under the other, beside the calibration button; the value columns above
  // keep only their fields and steppers, so that each unit stands beside its stepper.
  e.push_back(control("mCalibration", ControlKind::pushButton, page, {r, 0}, "Calibration"));
  e.push_back(control("mButtonShowProgress", ControlKind::checkBox, page, {r, 1}, "ShowProgress"));
  e.push_back(
      control("mButtonShowWarning", ControlKind::checkBox, page, {r + 1, 1}, "ShowWarning"));
  e.push_back(
      control("mButtonSaveSetting", ControlKind::checkBox, page, {r + 2, 1}, "SaveSetting"));
  e.push_back(control("mEjectPaperOpposite", ControlKind::checkBox, page, {r + 3, 1},
                      "EjectPaperOpposite"));
}

const ui::WindowSpec& barcodeSheetSpec() {
  static const ui::WindowSpec spec = [] {
    ui::WindowSpec s{
        .outlet = kBarcodeSheetOutlet, .kind = ui::WindowKind::sheet, .size = {420, 260}};
    // The types in a grid without holes: MaxiCode, which this configuration never offers,
    // stands hidden beside "All".
    const BarcodeBox& maxiCode = kBarcodeBoxes[std::countr_zero(kBarcodeMaxiCode)];
    int cell = 0;
    for (const BarcodeBox& b : kBarcodeBoxes) {
      if (b.outlet.empty() || &b == &maxiCode) continue;
      s.elements.push_back(control(b.outlet, ControlKind::checkBox, {}, {cell / 3, cell % 3}, b.key,
                                   ui::Fallback::key));
      ++cell;
    }
    const int last = (cell + 2) / 3;
    s.elements.push_back(
        control("mBtnSBTCodeALL", ControlKind::checkBox, {}, {last, 0}, "All", ui::Fallback::key));
    s.elements.push_back(control(maxiCode.outlet, ControlKind::checkBox, {}, {last, 2},
                                 maxiCode.key, ui::Fallback::key));
    s.elements.back().options = ui::kHiddenAtStart;
    s.elements.push_back(control("mBtnSelecBarcodeTypesCancel", ControlKind::pushButton, {},
                                 {last + 1, 1}, "Cancel", ui::Fallback::key));
    s.elements.push_back(control("mBtnSelecBarcodeTypesOK", ControlKind::pushButton, {},
                                 {last + 1, 2}, "OK", ui::Fallback::key));
    s.elements.back().options = ui::kDefaultButton;
    return s;
  }();
  return spec;
}

}  // namespace ferrolite::dialog
