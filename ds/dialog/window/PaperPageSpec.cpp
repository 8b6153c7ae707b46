#include "ds/dialog/paper/PaperTabControls.h"
#include "ds/dialog/window/PaperOptionSpecs.h"

namespace ferrolite::dialog {

using namespace pagespec;
using ui::ControlKind;

void addPaperPage(std::vector<ui::ElementSpec>& e, std::string_view page) {
  // Size, unit and orientation.
  e.push_back(control("mStaticPageSize", ControlKind::label, page, {0, 0}, "PageSize"));
  e.push_back(popUp("mPopupPaperTabPaperSize", page, {0, 1, 1, 2}));
  e.push_back(popUp("mPopupUnits", page, {0, 3}, {kUnitKeys.begin(), kUnitKeys.end()}));
  e.push_back(matrix("pPortraitLanscape", page, {1, 1, 1, 2}, {"Portrait", "Landscape"}));
  // The scan area: label, field and stepper per value.
  for (int i = 0; i < 4; ++i) {
    const PaperAreaRow& row = kPaperAreaRows[i];
    e.push_back(control(row.label, ControlKind::label, page, {2 + i, 0}, row.labelKey));
    e.push_back(control(row.field, ControlKind::textField, page, {2 + i, 1}));
    e.push_back(ranged(row.stepper, ControlKind::stepper, page, {2 + i, 2}, 0, kStepperSpan));
  }
  e.push_back(control("mButtonPunchHoleRemoval", ControlKind::checkBox, page, {6, 0, 1, 2},
                      "Punch Hole Removal"));
  e.push_back(box("mBoxFeeding", page, {6, 2, 1, 2}, "Feeding"));
  e.push_back(control("mCarrierSheetMode", ControlKind::checkBox, "mBoxFeeding", {0, 0},
                      "CarrierSheetMode"));
  // Multi-feed detection and its alarm.
  constexpr std::string_view group = "mBoxMultiFeedGroup";
  e.push_back(box(group, page, {7, 0, 3, 4}, "MultiPageDetect"));
  e.push_back(
      control("mButtonUltraSonic", ControlKind::checkBox, group, {0, 0, 1, 2}, "UltraSonic"));
  e.push_back(
      control("mButtonStopScan", ControlKind::checkBox, group, {0, 2, 1, 2}, "MutifeedStopScan"));
  e.push_back(
      control("mButtonAdditionDetect", ControlKind::checkBox, group, {1, 0}, "LengthDetection"));
  e.push_back(control("mTextFieldAdditionDetect", ControlKind::textField, group, {1, 1}));
  e.push_back(
      ranged("mStepperAdditionDetect", ControlKind::stepper, group, {1, 2}, 0, kStepperSpan));
  e.push_back(control("mStaticSoundAlarm", ControlKind::label, group, {2, 0}, "SoundAlarm"));
  e.push_back(
      control("mStaticAlarmName", ControlKind::label, group, {2, 1}, {}, ui::Fallback::literal));
  e.push_back(control("mButtonAlarmSelect", ControlKind::pushButton, group, {2, 2}, "Browse"));
  e.push_back(
      control("mButtonPlayAlarmMusic", ControlKind::pushButton, group, {2, 3}, "PlayAlarm"));
}

}  // namespace ferrolite::dialog
