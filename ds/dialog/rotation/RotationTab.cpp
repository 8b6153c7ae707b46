// The rotation page on the widget layer.
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/rotation/FlipSide.h"
#include "platform/ui/Menu.h"

namespace ferrolite::dialog {
namespace {

constexpr std::array<std::string_view, 5> kRotations = {"None", "90Degree", "180Degree",
                                                        "270Degree", "AutoOrientation"};
constexpr std::array<std::string_view, 3> kSplits = {"None", "Horizontal", "Vertical"};

}  // namespace

void RotationTab::wire() {
  if (wired_ == s_.window.get()) return;
  wired_ = s_.window.get();
  auto store = [this](std::string_view outlet, uint8_t ScanSetting::*field, auto value) {
    s_.main<ui::Control>(outlet).setAction([this, field, value](ui::Control& c) {
      s_.record().*field = value(c);
      s_.controllers->image.switch2CustomProfile();
    });
  };
  auto index = [](ui::Control& c) {
    return static_cast<uint8_t>(static_cast<ui::PopUpButton&>(c).indexOfSelectedItem());
  };
  store("mPopupRotateDegree", &ScanSetting::bRotation, index);
  store("mPopupSplitImage", &ScanSetting::bSplitMode, index);
  store("mButtonMirror", &ScanSetting::bMirror,
        [](ui::Control& c) { return uint8_t{static_cast<ui::Button&>(c).isOn()}; });
  store("pFlipSide", &ScanSetting::bFlipSide, [](ui::Control& c) {
    return flipSideOfColumn(static_cast<ui::Matrix&>(c).selectedColumn());
  });
}

void RotationTab::doRotationTabInit() {
  wire();
  const ScanSetting& r = s_.record();
  auto text = [this](std::string_view key) { return s_.text(key, std::string(key) + "?"); };
  s_.main<ui::Box>("mBoxRotation").setTitle(s_.text("Rotation", "Rotation"));
  s_.main<ui::Label>("mStaticRotateDegree").setText(text("RotationDegree"));
  auto menu = [this](std::string_view outlet, std::string_view title, auto keys, int selected) {
    auto items = std::make_unique<ui::Menu>(std::string(title));
    for (std::string_view key : keys) items->addItem(s_.text(key, key));
    auto& popUp = s_.main<ui::PopUpButton>(outlet);
    popUp.setMenu(std::move(items));
    popUp.selectItemAtIndex(selected);
  };
  menu("mPopupRotateDegree", "RotateDegree", kRotations, r.bRotation);
  s_.main<ui::Label>("mStaticSplitImage").setText(text("SplitImage"));
  menu("mPopupSplitImage", "SplitImage", kSplits, r.bSplitMode);
  s_.main<ui::Box>("mBoxMirror").setTitle(s_.text("ImageControlOptions", "ImageControlOptions"));
  s_.main<ui::Button>("mButtonMirror").setTitle(text("Mirror"));
  s_.main<ui::Label>("mStaticFlipSideRotation").setText(text("FlipSideRotation"));
  auto& flipSide = s_.main<ui::Matrix>("pFlipSide");
  flipSide.setCellTitle(0, 0, text("Book"));
  flipSide.setCellTitle(0, 1, text("Fanfold"));
  flipSide.selectCell(0, r.bFlipSide != 0 ? 1 : 0);
  enableFlipSide();
}

void RotationTab::enableFlipSide() {
  if (!s_.imageTypes) return;  // before the set-up made the image types
  s_.main<ui::Matrix>("pFlipSide")
      .setEnabled(dialog::enableFlipSide(s_.record().bScanSource, *s_.imageTypes));
}

}  // namespace ferrolite::dialog
