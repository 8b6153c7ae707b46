#pragma once
// The element shapes the dialog's window descriptions use, named once for every page.
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

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
inline ui::ElementSpec column(std::string_view table, std::string_view identifier,
                              std::string_view title, ui::CellKind kind, double width,
                              std::string_view key = {}) {
  return {.parent = table,
          .text = title,
          .fallback = ui::Fallback::key,
          .size = {width, 0},
          .identifier = identifier,
          .element = ui::Element::tableColumn,
          .cellKind = kind,
          .key = key};
}
}  // namespace pagespec

}  // namespace ferrolite::dialog
