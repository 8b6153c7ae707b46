#include "ds/dialog/window/InfoPageSpec.h"

#include "ds/dialog/window/ElementShapes.h"

namespace ferrolite::dialog {
namespace {

using ui::CellKind;
using ui::ControlKind;
using ui::Element;
using ui::ElementSpec;
using ui::Fallback;

constexpr std::string_view kTable = "pInfoTabTableView";

ElementSpec infoColumn(std::string_view identifier, std::string_view title, CellKind kind,
                       double width) {
  return pagespec::column(kTable, identifier, title, kind, width);
}

}  // namespace

void appendInformationPage(std::vector<ElementSpec>& e, std::string_view page) {
  // The table stands in for its scroll view: the page sizes it to its rows.
  e.push_back({.outlet = kTable,
               .kind = ControlKind::tableView,
               .parent = page,
               .cell = {0, 0, 8, 4},
               .size = {600, 330}});
  e.push_back(infoColumn("InfoTabName", "Item", CellKind::text, 200));
  e.push_back(infoColumn("InfoTabInfo", "Value", CellKind::text, 200));
  e.push_back(infoColumn("InfoTabButton", "Reset", CellKind::button, 80));
  e.push_back({.outlet = "mStaticSelectLanguage",
               .kind = ControlKind::label,
               .parent = page,
               .cell = {8, 0},
               .text = "Language"});
  e.push_back({.outlet = "mPopupSelectLanguage",
               .kind = ControlKind::popUpButton,
               .parent = page,
               .cell = {8, 1, 1, 2}});
  e.push_back({.outlet = "mStaticCoppyRight",
               .kind = ControlKind::label,
               .parent = page,
               .cell = {9, 0, 1, 4}});
  // This build shows neither a web link nor a logo; the counters' value labels are the
  // resets' own and stay out of sight (the table shows the counts).
  for (std::string_view hidden :
       {"mHyperLink", "mStaticPadCountValue", "mStaticRollerCountValue",
        "mStaticReverseRollerCountValue", "mStaticPickupRollerCountValue"}) {
    e.push_back({.outlet = hidden,
                 .kind = ControlKind::label,
                 .parent = page,
                 .cell = {10, 0},
                 .options = ui::kHiddenAtStart});
  }
  e.push_back({.outlet = "mLogoImage",
               .kind = ControlKind::imageView,
               .parent = page,
               .cell = {10, 1},
               .size = {32, 32},
               .options = ui::kHiddenAtStart});
}

}  // namespace ferrolite::dialog
