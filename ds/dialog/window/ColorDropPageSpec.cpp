#include "ds/dialog/window/ColorDropPageSpec.h"

#include "ds/dialog/window/ImagePageSpec.h"

namespace ferrolite::dialog {

using ui::ControlKind;
using ui::ElementSpec;

void addColorDropPage(std::vector<ElementSpec>& e, std::string_view drop) {
  addImageTypeRow(e, 1, "mViewImageTypeDropC", drop, {0, 0, 4, 3});
  e.push_back({.outlet = "mStaticDropColor",
               .kind = ControlKind::label,
               .parent = drop,
               .cell = {4, 0},
               .text = "DropoutColor"});
  e.push_back({.outlet = "mPopupDropColor",
               .kind = ControlKind::popUpButton,
               .parent = drop,
               .cell = {4, 1, 1, 2}});
  e.push_back({.outlet = "mStaticFilterThresh",
               .kind = ControlKind::label,
               .parent = drop,
               .cell = {5, 0},
               .text = "FilterThreshold"});
  e.push_back({.outlet = "mSliderFilterThresh",
               .kind = ControlKind::slider,
               .parent = drop,
               .cell = {5, 1, 1, 2},
               .maximum = 255,
               .increment = 1});
  e.push_back({.outlet = "mStaticBackLevel",
               .kind = ControlKind::label,
               .parent = drop,
               .cell = {6, 0},
               .text = "BackgroundLevel"});
  e.push_back({.outlet = "mSliderBackLevel",
               .kind = ControlKind::slider,
               .parent = drop,
               .cell = {6, 1, 1, 2},
               .maximum = 255,
               .increment = 1});
}

}  // namespace ferrolite::dialog
