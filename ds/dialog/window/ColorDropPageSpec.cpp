#include "ds/dialog/window/ColorDropPageSpec.h"

#include "ds/dialog/window/ImagePageSpec.h"

namespace ferrolite::dialog {
namespace {

using ui::ControlKind;
using ui::ElementSpec;
using ui::GridCell;

ElementSpec item(std::string_view outlet, ControlKind kind, std::string_view parent, GridCell cell,
                 std::string_view text = {}) {
  return {.outlet = outlet, .kind = kind, .parent = parent, .cell = cell, .text = text};
}

ElementSpec byteSlider(std::string_view outlet, std::string_view parent, GridCell cell) {
  return {.outlet = outlet,
          .kind = ControlKind::slider,
          .parent = parent,
          .cell = cell,
          .maximum = 255,
          .increment = 1};
}

}  // namespace

void addColorDropPage(std::vector<ElementSpec>& e, std::string_view drop) {
  addImageTypeRow(e, 1, "mViewImageTypeDropC", drop, {0, 0, 4, 3});
  // The image page's mode/side rows, with their check column.
  e.push_back(item("pColorDropTabTableView", ControlKind::tableView, drop, {0, 3, 4, 2}));
  addModeSideColumns(e, "pColorDropTabTableView");

  e.push_back(item("mStaticColorDrop", ControlKind::label, drop, {4, 0}, "ColorDrop"));
  e.push_back(item("mPopupColorDrop", ControlKind::popUpButton, drop, {4, 1, 1, 2}));
  e.push_back(
      item("mCheckAdvance", ControlKind::checkBox, drop, {4, 3, 1, 2}, "AdvanceProcessing"));
  e.push_back(item("mStaticColorDropMode", ControlKind::label, drop, {5, 0}, "Mode"));
  e.push_back(item("mPopupColorDropMode", ControlKind::popUpButton, drop, {5, 1, 1, 2}));
  e.push_back(item("mStaticFilterThresh", ControlKind::label, drop, {6, 0}, "FilterThreshold"));
  e.push_back({.outlet = "mSliderFilterThresh",
               .kind = ControlKind::slider,
               .parent = drop,
               .cell = {6, 1, 1, 2},
               .maximum = 20,
               .increment = 1});
  e.push_back(item("mStaticBackLevel", ControlKind::label, drop, {7, 0}, "BackgroundLevel"));
  e.push_back(byteSlider("mSliderBackLevel", drop, {7, 1, 1, 2}));
  e.push_back(item("mStaticRed", ControlKind::label, drop, {8, 0}, "Red"));
  e.push_back(byteSlider("mSliderRed", drop, {8, 1, 1, 2}));
  e.push_back(item("mStaticGreen", ControlKind::label, drop, {9, 0}, "Green"));
  e.push_back(byteSlider("mSliderGreen", drop, {9, 1, 1, 2}));
  e.push_back(item("mStaticBlue", ControlKind::label, drop, {10, 0}, "Blue"));
  e.push_back(byteSlider("mSliderBlue", drop, {10, 1, 1, 2}));
  e.push_back(item("mColorWell", ControlKind::colorWell, drop, {8, 3, 3, 1}));
}

}  // namespace ferrolite::dialog
