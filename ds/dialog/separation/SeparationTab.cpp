// The separation page on the widget layer.
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/separation/Separation.h"

namespace ferrolite::dialog {
namespace {

constexpr std::string_view kThresholdProperty = "mBlankRemoveThresh";
constexpr std::array<std::string_view, 2> kThresholdSliders = {"mSliderBlankRemove",
                                                               "mSliderBlankRemove_Enhancement"};
constexpr std::array<std::string_view, 2> kBarcodeTypeButtons = {
    "mBtnSelecBarcodeTypes_Separation", "mBtnSelecBarcodeTypes_Enhancement"};

ui::ButtonState stateOf(bool on) { return on ? ui::ButtonState::on : ui::ButtonState::off; }

}  // namespace

void SeparationTab::showThreshold(int64_t value) {
  s_.main<ui::Label>("mStaticBlankRemoveValue").setText(std::to_string(value));
}

void SeparationTab::wire() {
  if (wired_ == s_.window.get()) return;
  wired_ = s_.window.get();
  auto enable = [this](const auto& outlets, bool on) {
    for (std::string_view outlet : outlets) s_.main<ui::Control>(outlet).setEnabled(on);
  };
  s_.main<ui::Button>("mCheckBlankRemove").setAction([this, enable](ui::Control& c) {
    const int64_t state = static_cast<int64_t>(static_cast<ui::Button&>(c).state());
    enable(kThresholdSliders, optionTabBlankRemoveCheck(s_.record(), state));
    s_.controllers->image.switch2CustomProfile();
  });
  auto& slider = s_.main<ui::Slider>("mSliderBlankRemove");
  slider.bindValue(s_.properties, std::string(kThresholdProperty));
  // The value label follows the slider while it moves.
  slider.setAction([this](ui::Control&) {
    const int64_t value = s_.properties.integer(kThresholdProperty);
    s_.record().bBlankPageThreshold = static_cast<uint8_t>(value);
    showThreshold(value);
    s_.controllers->image.switch2CustomProfile();
  });
  s_.main<ui::Button>("mBtnBarCodeEnable").setAction([this, enable](ui::Control& c) {
    enable(kBarcodeTypeButtons,
           barCodeEnableCheck(s_.record(), static_cast<ui::Button&>(c).isOn()));
    s_.controllers->image.switch2CustomProfile();
  });
  s_.main<ui::Button>("mBtnSelecBarcodeTypes_Separation").setAction([this](ui::Control&) {
    s_.controllers->option.OptionTabSelecBarcodeTypes();
  });
  s_.main<ui::Button>("mBtnPatchCodeEnable").setAction([this](ui::Control& c) {
    s_.record().bPatchCode = static_cast<ui::Button&>(c).state() != ui::ButtonState::off ? 1 : 0;
    s_.controllers->image.switch2CustomProfile();
  });
}

void SeparationTab::doSeparationTabInit() {
  wire();
  const SeparationControls c = dialog::doSeparationTabInit(s_.record());
  auto title = [this](std::string_view key) { return s_.text(key, key); };
  auto& blank = s_.main<ui::Button>("mCheckBlankRemove");
  blank.setTitle(title("BlankRemovalThreshold"));
  blank.setEnabled(c.blankRemovalEnabled);
  s_.main<ui::Control>("mCheckBlankRemove_Enhancement").setEnabled(c.blankRemovalEnabled);
  blank.setState(stateOf(c.blankRemovalChecked));
  s_.main<ui::Button>("mBtnBarCodeEnable").setTitle(title("BarcodeDetection"));
  s_.main<ui::Button>("mBtnSelecBarcodeTypes_Separation").setTitle(title("SelectBarcodeTypes"));
  s_.main<ui::Button>("mBtnPatchCodeEnable").setTitle(title("PatchcodeDetection"));
  s_.main<ui::Button>("mBtnBarCodeEnable").setState(stateOf(c.barcodeChecked));
  s_.main<ui::Control>("mBtnSelecBarcodeTypes_Separation").setEnabled(c.barcodeTypesEnabled);
  s_.main<ui::Button>("mBtnPatchCodeEnable").setState(stateOf(c.patchCodeChecked));
  for (std::string_view slider : kThresholdSliders) {
    s_.main<ui::Control>(slider).setEnabled(c.thresholdEnabled);
  }
  s_.properties.set(std::string(kThresholdProperty), c.threshold);
  s_.main<ui::Slider>("mSliderBlankRemove").setDoubleValue(static_cast<double>(c.threshold));
  showThreshold(c.threshold);
}

}  // namespace ferrolite::dialog
