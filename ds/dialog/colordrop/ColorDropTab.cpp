// The colour drop-out page on the widget layer: its controls wired to the page's rules. The
// row table shows the image page's mode/side rows; a check there is reconciled by the image
// page, which owns the rows.
#include <system_error>

#include "ds/dialog/frame/PageControllers.h"
#include "platform/ui/Controls.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {
namespace {

constexpr const char* kDropModeKeys[] = {"None",       "RemoveRed", "RemoveGreen",
                                         "RemoveBlue", "Custom",    "Automatic"};
constexpr const char* kQualityKeys[] = {"Normal", "Quality"};

ui::Color labelColour(bool on) { return on ? ui::Color::black() : ui::Color::darkGray(); }

// A control and its label switched together.
void setRow(DialogShared& s, std::string_view label, std::string_view control, bool on) {
  s.main<ui::Label>(label).setTextColor(labelColour(on));
  s.window->get<ui::Control>(control).setEnabled(on);
}

}  // namespace

void ColorDropTab::wire() {
  if (wired_) return;
  wired_ = true;
  auto action = [this](void (ColorDropTab::*member)()) {
    return [this, member](ui::Control&) { (this->*member)(); };
  };
  ui::Properties& p = s_.properties;
  auto& drop = s_.main<ui::PopUpButton>("mPopupColorDrop");
  drop.bindSelectedIndex(p, "mColorDropout");
  drop.setAction(action(&ColorDropTab::colorDropColor));
  auto& advance = s_.main<ui::Button>("mCheckAdvance");
  advance.bindValue(p, "mAdvanceState");
  advance.setAction(action(&ColorDropTab::colorDropAdvanveState));
  s_.main<ui::PopUpButton>("mPopupColorDropMode")
      .setAction(action(&ColorDropTab::colorDropColorMode));
  auto& filter = s_.main<ui::Slider>("mSliderFilterThresh");
  filter.bindValue(p, "mFilterThresh");
  filter.setAction(action(&ColorDropTab::colorDropFilterThresh));
  // The background level goes only to the preview result; no setting holds it.
  s_.main<ui::Slider>("mSliderBackLevel").bindValue(p, "mBackLevelValue");
  for (const auto& [outlet, key] :
       {std::pair{"mSliderRed", "mRedValue"}, std::pair{"mSliderGreen", "mGreenValue"},
        std::pair{"mSliderBlue", "mBlueValue"}}) {
    auto& slider = s_.main<ui::Slider>(outlet);
    slider.bindValue(p, key);
    slider.setAction(action(&ColorDropTab::colorDropColourSliders));
  }
  if (ui::ArrayController* rows = s_.window->arrayController("mScaModeSideController")) {
    s_.main<ui::TableView>("pColorDropTabTableView").bindContent(*rows);
  }
  wirePreviewResult();
}

void ColorDropTab::doColorDropTabInit() {
  wire();
  DialogContext ctx = s_.ctx();
  const ColorDropBuild build = dialog::doColorDropTabInit(ctx);
  struct Text {
    const char* outlet;
    const char* key;
  };
  for (const Text& t :
       {Text{"mStaticColorDrop", "ColorDrop"}, Text{"mStaticColorDropMode", "Mode"},
        Text{"mStaticFilterThresh", "FilterThreshold"}, Text{"mStaticBackLevel", "BackgroundLevel"},
        Text{"mStaticRed", "Red"}, Text{"mStaticGreen", "Green"}, Text{"mStaticBlue", "Blue"}}) {
    s_.main<ui::Label>(t.outlet).setText(s_.text(t.key, std::string(t.key) + "?"));
  }
  auto& advance = s_.main<ui::Button>("mCheckAdvance");
  advance.setTitle(s_.text("AdvanceProcessing", "AdvanceProcessing?"));
  s_.inDrawer<ui::Button>("mPreviewResult").setTitle(s_.text("PreviewResult", "PreviewResult?"));
  auto& drop = s_.main<ui::PopUpButton>("mPopupColorDrop");
  drop.removeAllItems();
  for (const char* key : kDropModeKeys) drop.addItemWithTitle(s_.text(key, key));
  auto& quality = s_.main<ui::PopUpButton>("mPopupColorDropMode");
  quality.removeAllItems();
  for (const char* key : kQualityKeys) quality.addItemWithTitle(s_.text(key, key));
  if (build.advancedHidden) {
    advance.setHidden(true);
    advance.setState(ui::ButtonState::on);
  }
  if (build.mAdvanceState) s_.properties.set("mAdvanceState", *build.mAdvanceState);
}

void ColorDropTab::setColorDropTabItems(int64_t mode) {
  DialogContext ctx = s_.ctx();
  show(dialog::setColorDropTabItems(ctx, mode, previewState()));
}

bool ColorDropTab::previewFileExist() const {
  std::error_code error;
  return std::filesystem::is_regular_file(s_.previewFile(), error);
}

PreviewState ColorDropTab::previewState() const {
  return {previewFileExist(), s_.previewDrawerIsOpen};
}

void ColorDropTab::show(const ColorDropControls& c) {
  ui::Properties& p = s_.properties;
  if (c.dropOut) setRow(s_, "mStaticColorDrop", "mPopupColorDrop", *c.dropOut);
  if (c.dropOutSelected) p.set("mColorDropout", *c.dropOutSelected);
  auto& advance = s_.main<ui::Button>("mCheckAdvance");
  if (c.advancedEnabled) advance.setEnabled(*c.advancedEnabled);
  if (c.advancedChecked)
    advance.setState(*c.advancedChecked ? ui::ButtonState::on : ui::ButtonState::off);
  if (c.quality) setRow(s_, "mStaticColorDropMode", "mPopupColorDropMode", *c.quality);
  if (c.qualitySelected) {
    s_.main<ui::PopUpButton>("mPopupColorDropMode")
        .selectItemAtIndex(static_cast<int>(*c.qualitySelected));
  }
  if (c.filter) setRow(s_, "mStaticFilterThresh", "mSliderFilterThresh", *c.filter);
  if (c.filterMaximum) s_.main<ui::Slider>("mSliderFilterThresh").setMaxValue(*c.filterMaximum);
  if (c.backgroundLevel) setRow(s_, "mStaticBackLevel", "mSliderBackLevel", *c.backgroundLevel);
  if (c.colourSliders) {
    setRow(s_, "mStaticRed", "mSliderRed", *c.colourSliders);
    setRow(s_, "mStaticGreen", "mSliderGreen", *c.colourSliders);
    setRow(s_, "mStaticBlue", "mSliderBlue", *c.colourSliders);
  }
  auto& result = s_.inDrawer<ui::Button>("mPreviewResult");
  auto& eyeDropper = s_.inDrawer<ui::Button>("mEyeDropperClick");
  s_.main<ui::ColorWell>("mColorWell").setHidden(!c.customControlsShown);
  result.setHidden(!c.customControlsShown);
  eyeDropper.setHidden(!c.customControlsShown);
  if (c.resultButtonsEnabled) {
    result.setEnabled(*c.resultButtonsEnabled);
    eyeDropper.setEnabled(*c.resultButtonsEnabled);
  }
  if (c.well) {
    s_.main<ui::ColorWell>("mColorWell")
        .setColor(ui::Color::rgb(c.well->red, c.well->green, c.well->blue, c.well->alpha));
  }
  if (c.eyeDropperReset && eyeDropper.isOn()) {
    s_.controllers->preview.removeMouseTrackingArea();
    eyeDropper.setState(ui::ButtonState::off);
    s_.controllers->preview.EnableEyeDropperCursor(false);
  }
  if (c.binarization) {
    setRow(s_, "mStaticDocuTypeBinarization", "mPopupDocuTypeBinarization", *c.binarization);
  }
  if (c.thresholdSlider) setRow(s_, "mStaticThreshSense", "mSliderThreshSense", *c.thresholdSlider);
  for (const auto& [key, value] :
       {std::pair{"mFilterThresh", c.mFilterThresh}, std::pair{"mRedValue", c.mRedValue},
        std::pair{"mGreenValue", c.mGreenValue}, std::pair{"mBlueValue", c.mBlueValue},
        std::pair{"mBackLevelValue", c.mBackLevelValue},
        std::pair{"mAdvanceState", c.mAdvanceState}}) {
    if (value) p.set(key, *value);
  }
}

void ColorDropTab::colorDropColor() {
  DialogContext ctx = s_.ctx();
  show(dialog::colorDropColor(ctx, s_.bridge.mScanModeSideSelect,
                              s_.properties.integer("mColorDropout"), previewState()));
  s_.controllers->image.switch2CustomProfile();
}

void ColorDropTab::colorDropAdvanveState() {
  DialogContext ctx = s_.ctx();
  show(dialog::colorDropAdvanveState(ctx, s_.bridge.mScanModeSideSelect,
                                     s_.properties.integer("mAdvanceState")));
  s_.controllers->image.switch2CustomProfile();
}

void ColorDropTab::colorDropColorMode() {
  DialogContext ctx = s_.ctx();
  show(dialog::colorDropColorMode(
      ctx, s_.bridge.mScanModeSideSelect,
      s_.main<ui::PopUpButton>("mPopupColorDropMode").indexOfSelectedItem()));
}

void ColorDropTab::colorDropFilterThresh() {
  DialogContext ctx = s_.ctx();
  dialog::colorDropFilterThresh(ctx, s_.bridge.mScanModeSideSelect,
                                s_.main<ui::PopUpButton>("mPopupColorDrop").indexOfSelectedItem(),
                                s_.properties.integer("mFilterThresh"));
  s_.controllers->image.switch2CustomProfile();
}

void ColorDropTab::colorDropColourSliders() {
  DialogContext ctx = s_.ctx();
  const ui::Properties& p = s_.properties;
  const WellColour well =
      dialog::colorDropColourSliders(ctx, s_.bridge.mScanModeSideSelect, p.integer("mRedValue"),
                                     p.integer("mGreenValue"), p.integer("mBlueValue"));
  s_.main<ui::ColorWell>("mColorWell")
      .setColor(ui::Color::rgb(well.red, well.green, well.blue, well.alpha));
  s_.controllers->image.switch2CustomProfile();
}

}  // namespace ferrolite::dialog
