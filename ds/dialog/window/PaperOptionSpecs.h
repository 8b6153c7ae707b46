#pragma once
// The paper, enhancement, setting, rotation and separation pages as window data, and the
// barcode-type sheet; makeMainWindow adds each page's elements to its tab item.
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

inline constexpr std::string_view kBarcodeSheetOutlet = "pEnhancementSelecBarcodeTypes";

void addPaperPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addEnhancementPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addSettingPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addRotationPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addSeparationPage(std::vector<ui::ElementSpec>& e, std::string_view page);
const ui::WindowSpec& barcodeSheetSpec();

namespace pagespec {
// The element shapes these pages use.
inline ui::ElementSpec control(std::string_view outlet, ui::ControlKind kind,
                               std::string_view parent, ui::GridCell cell,
                               std::string_view text = {},
                               ui::Fallback fallback = ui::Fallback::keyWithQuestionMark) {
  return {.outlet = outlet,
          .kind = kind,
          .parent = parent,
          .cell = cell,
          .text = text,
          .fallback = fallback};
}
inline ui::ElementSpec box(std::string_view outlet, std::string_view parent, ui::GridCell cell,
                           std::string_view title) {
  return control(outlet, ui::ControlKind::box, parent, cell, title, ui::Fallback::key);
}
inline ui::ElementSpec popUp(std::string_view outlet, std::string_view parent, ui::GridCell cell,
                             std::vector<std::string_view> items = {}) {
  return {.outlet = outlet,
          .kind = ui::ControlKind::popUpButton,
          .parent = parent,
          .cell = cell,
          .items = std::move(items)};
}
inline ui::ElementSpec ranged(std::string_view outlet, ui::ControlKind kind,
                              std::string_view parent, ui::GridCell cell, double minimum,
                              double maximum) {
  return {.outlet = outlet,
          .kind = kind,
          .parent = parent,
          .cell = cell,
          .minimum = minimum,
          .maximum = maximum,
          .increment = 1};
}
inline ui::ElementSpec matrix(std::string_view outlet, std::string_view parent, ui::GridCell cell,
                              std::vector<std::string_view> cells) {
  const int columns = static_cast<int>(cells.size());
  return {.outlet = outlet,
          .kind = ui::ControlKind::matrix,
          .parent = parent,
          .cell = cell,
          .items = std::move(cells),
          .columns = columns};
}
}  // namespace pagespec

}  // namespace ferrolite::dialog
