#include "ds/dialog/window/PaperOptionSpecs.h"

namespace ferrolite::dialog {

using namespace pagespec;
using ui::ControlKind;

void addRotationPage(std::vector<ui::ElementSpec>& e, std::string_view page) {
  e.push_back(box("mBoxRotation", page, {0, 0, 2, 4}, "Rotation"));
  e.push_back(
      control("mStaticRotateDegree", ControlKind::label, "mBoxRotation", {0, 0}, "RotationDegree"));
  e.push_back(popUp("mPopupRotateDegree", "mBoxRotation", {0, 1, 1, 2}));
  e.push_back(
      control("mStaticSplitImage", ControlKind::label, "mBoxRotation", {1, 0}, "SplitImage"));
  e.push_back(popUp("mPopupSplitImage", "mBoxRotation", {1, 1, 1, 2}));
  e.push_back(box("mBoxMirror", page, {2, 0, 2, 4}, "ImageControlOptions"));
  e.push_back(control("mButtonMirror", ControlKind::checkBox, "mBoxMirror", {0, 0}, "Mirror"));
  e.push_back(control("mStaticFlipSideRotation", ControlKind::label, "mBoxMirror", {1, 0},
                      "FlipSideRotation"));
  e.push_back(matrix("pFlipSide", "mBoxMirror", {1, 1, 1, 2}, {"Book", "Fanfold"}));
}

void addSeparationPage(std::vector<ui::ElementSpec>& e, std::string_view page) {
  e.push_back(box("mBoxBlankRemoval", page, {0, 0, 2, 4}, "BlankRemoval"));
  e.push_back(control("mCheckBlankRemove", ControlKind::checkBox, "mBoxBlankRemoval", {0, 0, 1, 2},
                      "BlankRemovalThreshold", ui::Fallback::key));
  e.push_back(
      ranged("mSliderBlankRemove", ControlKind::slider, "mBoxBlankRemoval", {1, 0, 1, 2}, 0, 255));
  e.push_back(control("mStaticBlankRemoveValue", ControlKind::label, "mBoxBlankRemoval", {1, 2}, {},
                      ui::Fallback::literal));
  e.push_back(control("mBtnBarCodeEnable", ControlKind::checkBox, page, {2, 0, 1, 2},
                      "BarcodeDetection", ui::Fallback::key));
  e.push_back(control("mBtnSelecBarcodeTypes_Separation", ControlKind::pushButton, page, {2, 2},
                      "SelectBarcodeTypes", ui::Fallback::key));
  e.push_back(control("mBtnPatchCodeEnable", ControlKind::checkBox, page, {3, 0, 1, 2},
                      "PatchcodeDetection", ui::Fallback::key));
}

}  // namespace ferrolite::dialog
