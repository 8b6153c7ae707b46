// The paper page on the widget layer: its build, actions and observers call the page's rules
// and show what they answer.
#include <cstdlib>
#include <system_error>

#include "ds/dialog/Units.h"
#include "ds/dialog/frame/FieldWiring.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/paper/PaperTabControls.h"
#include "ds/scan/records/AlarmSound.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {
namespace {

constexpr uint16_t kRearImageBits = 0x80 | 0x20 | 0x08 | 0x02;

// Where the alarm's open panel starts; FERROLITE_SOUND_FOLDER overrides it.
std::filesystem::path soundFolder() {
  const char* folder = std::getenv("FERROLITE_SOUND_FOLDER");
  return folder && *folder ? std::filesystem::path(folder)
                           : std::filesystem::path(kSystemSoundFolder);
}

int64_t userInfoInteger(const ui::Notification& n, std::string_view key) {
  return n.userInfo.integer(key).valueOr(0);
}

}  // namespace

PaperPageInputs PaperTab::inputs() const {
  return {.duplexChecked = (s_.record().wImageType & kRearImageBits) != 0,
          .usbID = s_.mScannerInfo.usbID};
}

void PaperTab::wire() {
  if (wired_ == s_.window.get()) return;
  wired_ = s_.window.get();
  ui::NotificationCenter& centre = s_.application.notifications();
  s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize").setAction([this](ui::Control& c) {
    paperTabPaperSelect(static_cast<ui::PopUpButton*>(&c));
  });
  s_.main<ui::PopUpButton>("mPopupUnits").setAction([this](ui::Control& c) {
    paperTabPaperUnitSelect(static_cast<ui::PopUpButton*>(&c));
  });
  s_.main<ui::Matrix>("pPortraitLanscape").setAction([this](ui::Control&) {
    paperTabProtraitLandscape();
  });
  auto stepper = [this](std::string_view outlet, auto rule) {
    auto& control = s_.main<ui::Stepper>(outlet);
    control.setAction([this, rule, &control](ui::Control&) {
      DialogContext ctx = s_.ctx();
      step(rule(ctx, control.doubleValue()), control);
    });
  };
  stepper(kPaperAreaRows[0].stepper,
          [this](DialogContext& ctx, double v) { return steppers_.paperTabXoffset(ctx, v); });
  stepper(kPaperAreaRows[1].stepper,
          [this](DialogContext& ctx, double v) { return steppers_.paperTabYoffset(ctx, v); });
  stepper(kPaperAreaRows[2].stepper, [this](DialogContext& ctx, double v) {
    return steppers_.paperTabWidth(ctx, v, s_.longPage);
  });
  stepper(kPaperAreaRows[3].stepper, [this](DialogContext& ctx, double v) {
    return steppers_.paperTabLength(ctx, v, s_.longPage, inputs());
  });
  stepper("mStepperAdditionDetect",
          [this](DialogContext& ctx, double v) { return steppers_.paperTabLengthDetec(ctx, v); });
  for (std::string_view box : {"mButtonAdditionDetect", "mButtonUltraSonic", "mButtonStopScan"}) {
    s_.main<ui::Button>(box).setAction([this](ui::Control&) { multiFeedBoxes(); });
  }
  s_.main<ui::Button>("mCarrierSheetMode").setAction([this](ui::Control& c) {
    DialogContext ctx = s_.ctx();
    apply(paperTabCarrierSheetMode(ctx, static_cast<ui::Button&>(c).isOn()));
  });
  s_.main<ui::Button>("mButtonAlarmSelect").setAction([this](ui::Control&) { openSystemSound(); });
  s_.main<ui::Button>("mButtonPlayAlarmMusic").setAction([this](ui::Control&) { soundPlay(); });

  // The six fields; the detection field acts only through its own editing.
  constexpr std::array<PaperField, 5> kFields = {PaperField::XOffset, PaperField::YOffset,
                                                 PaperField::Width, PaperField::Length,
                                                 PaperField::Detection};
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    const PaperField field = kFields[i];
    auto showDetection = [this](const PaperFieldResult& r) {
      if (r.detectionText)
        s_.main<ui::TextField>("mTextFieldAdditionDetect").setText(*r.detectionText);
      return r.field;
    };
    wireRuleField(s_.main<ui::TextField>(kPaperFocusFields[i + 1]), centre,
                  {.changed =
                       [this, field, showDetection](std::string_view text) {
                         DialogContext ctx = s_.ctx();
                         return showDetection(paperFieldChanged(field, {}, text, ctx, fieldFlags_));
                       },
                   .ended =
                       [this, field, showDetection](std::string_view text, TextMovement m) {
                         DialogContext ctx = s_.ctx();
                         return showDetection(paperFieldEnded(field, text, m, ctx, fieldFlags_));
                       }});
  }
}

void PaperTab::doPaperTabInit() {
  wire();
  ScanSetting& r = s_.record();
  auto title = [this](std::string_view outlet, std::string_view key) {
    std::string fallback = std::string(key) + "?";
    const std::string text = s_.text(key, fallback);
    if (auto* label = s_.window->find<ui::Label>(outlet)) label->setText(text);
    if (auto* button = s_.window->find<ui::Button>(outlet)) button->setTitle(text);
    if (auto* box = s_.window->find<ui::Box>(outlet)) box->setTitle(s_.text(key, key));
  };
  title("mStaticPageSize", "PageSize");
  for (const PaperAreaRow& row : kPaperAreaRows) title(row.label, row.labelKey);
  title("mCarrierSheetMode", "CarrierSheetMode");
  title("mBoxMultiFeedGroup", "MultiPageDetect");
  title("mButtonAdditionDetect", "LengthDetection");
  title("mButtonUltraSonic", "UltraSonic");
  title("mButtonStopScan", "MutifeedStopScan");
  title("mStaticSoundAlarm", "SoundAlarm");
  title("mButtonAlarmSelect", "Browse");
  title("mButtonPlayAlarmMusic", "PlayAlarm");
  title("mBoxFeeding", "Feeding");
  auto& units = s_.main<ui::PopUpButton>("mPopupUnits");
  auto menu = std::make_unique<ui::Menu>("offsetUnit");
  for (std::string_view key : kUnitKeys) menu->addItem(s_.text(key, key));
  units.setMenu(std::move(menu));
  units.selectItemAtIndex(r.bPaperSizeUnit);
  auto& orientation = s_.main<ui::Matrix>("pPortraitLanscape");
  orientation.setCellTitle(0, 0, s_.text("Portrait", "Portrait?"));
  orientation.setCellTitle(0, 1, s_.text("Landscape", "Landscape?"));
  orientation.selectCell(0, r.bPaperDirection != 0 ? 1 : 0);

  s_.main<ui::Button>("mCarrierSheetMode")
      .setState(r.bCarrierSheet ? ui::ButtonState::on : ui::ButtonState::off);
  s_.main<ui::Button>("mButtonAdditionDetect")
      .setState(r.bLengthDetection ? ui::ButtonState::on : ui::ButtonState::off);
  s_.main<ui::Button>("mButtonUltraSonic")
      .setState(r.bUltrasonic ? ui::ButtonState::on : ui::ButtonState::off);
  s_.main<ui::Button>("mButtonStopScan")
      .setState(r.bStopAfterMultefeed ? ui::ButtonState::on : ui::ButtonState::off);
  s_.main<ui::Button>("mButtonStopScan").setEnabled(r.bLengthDetection || r.bUltrasonic);

  DialogContext ctx = s_.ctx();
  const PaperPageBuild build = dialog::doPaperTabInit(ctx, s_.longPage);
  s_.main<ui::Label>("mStaticAlarmName").setText(build.alarmName);
  BridgeObject_V2& b = s_.bridge;
  b.mXPos = &s_.main<ui::TextField>("mTextFieldXOffset");
  b.mYPos = &s_.main<ui::TextField>("mTextFieldYOffset");
  b.mWidth = &s_.main<ui::TextField>("mTextFieldWidth");
  b.mHeight = &s_.main<ui::TextField>("mTextFieldLength");
  b.mLengthDetect = &s_.main<ui::TextField>("mTextFieldAdditionDetect");
  apply(build.controls);
  if (s_.curExtraParam.hideCarrierSheet) showCarrierSheet(false);
  restSteppers();
  setPunchHoleRemovalState();
}

void PaperTab::paperTabPaperSelect(ui::PopUpButton* sender) {
  if (!s_.mAllPaperSize) return;
  std::optional<int64_t> chosen;
  if (sender) {
    // The popup is bound to the paper controller: its items stand for rows by index, and the
    // row holds the page id.
    const ui::ArrayController* list = s_.window->arrayController(kPaperListController);
    const int index = sender->indexOfSelectedItem();
    if (!list || index < 0 || static_cast<std::size_t>(index) >= list->count()) return;
    chosen = list->row(static_cast<std::size_t>(index)).integer("mPageID").valueOr(kPageCustom);
  }
  DialogContext ctx = s_.ctx();
  const PaperControls c =
      dialog::paperTabPaperSelect(ctx, *s_.mAllPaperSize, s_.longPage, chosen, inputs());
  if (!c.applied) return;
  apply(c);
  restSteppers();
}

void PaperTab::paperTabPaperUnitSelect(ui::PopUpButton* sender) {
  std::optional<uint8_t> unit;
  if (sender) unit = static_cast<uint8_t>(std::max(0, sender->indexOfSelectedItem()));
  DialogContext ctx = s_.ctx();
  apply(dialog::paperTabPaperUnitSelect(ctx, unit));
}

void PaperTab::paperTabProtraitLandscape() {
  DialogContext ctx = s_.ctx();
  apply(dialog::paperTabProtraitLandscape(
      ctx, s_.main<ui::Matrix>("pPortraitLanscape").selectedColumn()));
}

void PaperTab::checkPortraitLandscape() {
  DialogContext ctx = s_.ctx();
  apply(dialog::checkPortraitLandscape(ctx));
}

// The carrier-sheet box is the feeding box's one control: the box goes with it, never empty.
void PaperTab::showCarrierSheet(bool shown) {
  s_.main<ui::Button>("mCarrierSheetMode").setHidden(!shown);
  s_.main<ui::Box>("mBoxFeeding").setHidden(!shown);
}

void PaperTab::setPunchHoleRemovalState() {
  auto& box = s_.main<ui::Button>("mButtonPunchHoleRemoval");
  box.setState(s_.record().bPunchHole ? ui::ButtonState::on : ui::ButtonState::off);
  box.setEnabled(true);
}

void PaperTab::openSystemSound() {
  ui::OpenPanel* panel = s_.application.services().openPanel;
  const std::optional<std::filesystem::path> chosen =
      panel->runModal({.directory = soundFolder(),
                       .extensions = {kAlarmSoundExtensions.begin(), kAlarmSoundExtensions.end()},
                       .filesOnly = true});
  if (!chosen) return;
  s_.main<ui::Label>("mStaticAlarmName").setText(chosen->filename().string());
  s_.record().strAlarm = SharedText(chosen->string());
  s_.controllers->image.switch2CustomProfile();
}

void PaperTab::soundPlay() {
  const std::filesystem::path file(std::string(s_.record().strAlarm.view()));
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(file, error)) {
    foundation::systemLogf(foundation::LogLevel::warning, "alarm sound %s: no such file\n",
                           file.c_str());
    return;
  }
  s_.application.services().sound->play(file);
}

void PaperTab::multiFeedBoxes() {
  DialogContext ctx = s_.ctx();
  apply(stop4MultiFeed(ctx, {.lengthDetection = s_.main<ui::Button>("mButtonAdditionDetect").isOn(),
                             .ultrasonic = s_.main<ui::Button>("mButtonUltraSonic").isOn(),
                             .stopAfterMultifeed = s_.main<ui::Button>("mButtonStopScan").isOn()}));
}

void PaperTab::step(const StepResult& result, ui::Stepper& stepper) {
  // Every click ends with the steppers at rest, the width's snap-back included.
  restSteppers();
  if (result.focusField) focusField(*result.focusField);
  if (result.refused) return;
  apply(result.controls);
  postAll(s_.application.notifications(), result.posts, &stepper);
}

void PaperTab::restSteppers() {
  for (const PaperAreaRow& row : kPaperAreaRows) {
    s_.main<ui::Stepper>(row.stepper).setDoubleValue(kStepperRest);
  }
  s_.main<ui::Stepper>("mStepperAdditionDetect").setDoubleValue(kStepperRest);
  steppers_.remember(kStepperRest, kStepperRest, kStepperRest, kStepperRest, kStepperRest);
}

void PaperTab::enableArea(std::size_t first, std::size_t last, bool enabled) {
  for (std::size_t i = first; i <= last; ++i) {
    const PaperAreaRow& row = kPaperAreaRows[i];
    s_.main<ui::Label>(row.label).setTextColor(enabled ? ui::Color::black()
                                                       : ui::Color::darkGray());
    s_.main<ui::TextField>(row.field).setEnabled(enabled);
    s_.main<ui::Stepper>(row.stepper).setEnabled(enabled);
  }
}

void PaperTab::apply(const PaperControls& c) {
  auto& orientation = s_.main<ui::Matrix>("pPortraitLanscape");
  if (c.landscapeEnabled) orientation.setCellEnabled(0, 1, *c.landscapeEnabled);
  if (c.portraitSelected.value_or(false)) orientation.selectCell(0, 0);
  if (c.sizeControlsEnabled) enableArea(0, 3, *c.sizeControlsEnabled);
  if (c.offsetControlsEnabled) enableArea(0, 1, *c.offsetControlsEnabled);
  auto set = [this](std::string_view outlet, const std::optional<bool>& on,
                    const std::optional<bool>& enabled) {
    auto& button = s_.main<ui::Button>(outlet);
    if (on) button.setState(*on ? ui::ButtonState::on : ui::ButtonState::off);
    if (enabled) button.setEnabled(*enabled);
  };
  if (c.carrierSheetShown) showCarrierSheet(*c.carrierSheetShown);
  set("mButtonUltraSonic", c.ultrasonicOn, c.ultrasonicEnabled);
  set("mButtonAdditionDetect", c.detectionBoxOn, c.detectionBoxEnabled);
  set("mButtonStopScan", std::nullopt, c.stopScanEnabled);
  set("mButtonAlarmSelect", std::nullopt, c.alarmButtonsEnabled);
  set("mButtonPlayAlarmMusic", std::nullopt, c.alarmButtonsEnabled);
  if (c.detectionFieldEnabled) {
    s_.main<ui::TextField>("mTextFieldAdditionDetect").setEnabled(*c.detectionFieldEnabled);
    s_.main<ui::Stepper>("mStepperAdditionDetect").setEnabled(*c.detectionFieldEnabled);
  }
  const std::array<const std::optional<std::string>*, 4> texts = {&c.xText, &c.yText, &c.widthText,
                                                                  &c.lengthText};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (*texts[i]) s_.main<ui::TextField>(kPaperAreaRows[i].field).setText(**texts[i]);
  }
  if (c.detectionText) s_.main<ui::TextField>("mTextFieldAdditionDetect").setText(*c.detectionText);
  if (c.changePaperSizeByResolution) s_.controllers->image.changePaperSizeByResolution();
  if (c.previewRect) showPreviewRect();
  if (c.switch2CustomProfile) s_.controllers->image.switch2CustomProfile();
}

void PaperTab::showPreviewRect() {
  const ScanSetting& r = s_.record();
  s_.controllers->preview.setRetangleRect(r.wXPos, r.wYPos, r.wWidth, r.wLength);
}

void PaperTab::makeCustom() {
  s_.record().bPaperSize = kPageCustom;
  if (ui::ArrayController* list = s_.window->arrayController(kPaperListController);
      list && list->count() > 0) {
    list->setSelectionIndex(list->count() - 1);
  }
  auto& popUp = s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize");
  if (popUp.numberOfItems() > 0) {
    popUp.selectItemAtIndex(static_cast<int>(popUp.numberOfItems()) - 1);
  }
}

FocusTargets PaperTab::focusTargets() const {
  FocusTargets t;
  for (std::size_t f = 1; f < kPaperFocusFields.size(); ++f) {
    const auto* field = s_.window->find<ui::TextField>(kPaperFocusFields[f]);
    t.usable[f] = field && field->isEnabled() && !field->isHiddenOrHasHiddenAncestor();
  }
  return t;
}

void PaperTab::focusField(int32_t field) {
  if (field < 1 || field >= static_cast<int32_t>(kPaperFocusFields.size())) return;
  if (auto* control = s_.window->find<ui::TextField>(kPaperFocusFields[field])) {
    s_.window->makeFirstResponder(control);
  }
}

bool PaperTab::notified(std::string_view name, const ui::Notification& n) {
  DialogContext ctx = s_.ctx();
  std::optional<PaperNotice> notice;
  if (name == note::kLandScapeAndPortraitCheck) {
    checkPortraitLandscape();
  } else if (name == note::kTextFieldMovement || name == note::kTextFieldBackMovement) {
    const FocusTargets targets = focusTargets();
    const std::optional<int32_t> field = name == note::kTextFieldMovement
                                             ? textFieldMovement(s_.globals, targets)
                                             : textFieldBackMovement(s_.globals, targets);
    if (field) focusField(*field);
    checkPortraitLandscape();
  } else if (name == note::kRectTextFieldChange) {
    s_.main<ui::TextField>("mTextFieldXOffset").setSelectable(true);
    notice = rectTextFieldChange(ctx, s_.longPage);
  } else if (name == note::kPreviewWin2Text) {
    notice = previewWin2Text(ctx, userInfoInteger(n, "left"), userInfoInteger(n, "top"),
                             userInfoInteger(n, "width"), userInfoInteger(n, "length"));
  } else if (name == note::kPageSizeByStepper) {
    notice = pageSizeByStepper(ctx, n.userInfo.string("which").valueOr(std::string()));
  } else {
    return false;
  }
  if (notice) {
    if (notice->makeCustom) makeCustom();
    apply(notice->controls);
    if (notice->checkPortraitLandscape) checkPortraitLandscape();
    if (notice->refreshEdgeFill) s_.controllers->option.refreshEdgeFill();
    setPunchHoleRemovalState();
  }
  return true;
}

}  // namespace ferrolite::dialog
