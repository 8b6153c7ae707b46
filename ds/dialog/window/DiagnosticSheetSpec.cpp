#include "ds/dialog/window/DiagnosticSheetSpec.h"

#include <deque>
#include <string>

#include "ds/dialog/diagnostics/DiagnosticSheet.h"
#include "ds/dialog/window/DialogWindows.h"

namespace ferrolite::dialog {
namespace {

using ui::ControlKind;
using ui::ElementSpec;
using ui::Fallback;
using ui::GridCell;

constexpr ui::Size kSheetSize{1160, 600};
constexpr ui::Size kPanelSize{1140, 500};
constexpr int kFieldsPerRow = 3;  // label and value pairs: each label as wide as its name
constexpr int kBoxesPerRow = 4;
constexpr int kGroupsPerRow = 3;  // value and check box pairs

// The outlets and texts the description names: made from the panels' tables once, kept for the
// description's lifetime (the elements hold views of them).
std::string_view keep(std::string text) {
  static std::deque<std::string> names;
  return names.emplace_back(std::move(text));
}

GridCell cellOf(int index, int perRow, int width, int offset = 0) {
  return {offset + index / perRow, (index % perRow) * width, 1, 1};
}

ElementSpec panelView(std::string_view outlet, std::string_view parent = {}) {
  return {.outlet = outlet,
          .kind = ControlKind::view,
          .parent = parent,
          .cell = {0, 0, 1, 4},
          .size = kPanelSize,
          .options = ui::kHiddenAtStart};
}

// A label with the field's name beside a value field, per record field.
void recordPanel(std::vector<ElementSpec>& e, std::string_view view, std::string_view prefix,
                 std::span<const RecordField> fields) {
  e.push_back(panelView(view));
  int i = 0;
  for (const RecordField& field : fields) {
    GridCell label = cellOf(i, kFieldsPerRow, 2);
    GridCell value = label;
    ++value.column;
    e.push_back({.outlet = keep(std::string(prefix) + field.outlet + "Label"),
                 .kind = ControlKind::label,
                 .parent = view,
                 .cell = label,
                 .text = field.outlet,
                 .fallback = Fallback::literal});
    e.push_back({.outlet = keep(std::string(prefix) + field.outlet),
                 .kind = ControlKind::textField,
                 .parent = view,
                 .cell = value,
                 .options = ui::kNotEditable});
    ++i;
  }
}

// A check box per bit that has a name.
void bitPanel(std::vector<ElementSpec>& e, std::string_view view, const BitPanel& panel) {
  e.push_back(panelView(view));
  int i = 0;
  for (const BitBox& box : panel.boxes) {
    e.push_back({.outlet = keep(std::string(panel.prefix) + box.name),
                 .kind = ControlKind::checkBox,
                 .parent = view,
                 .cell = cellOf(i++, kBoxesPerRow, 1),
                 .text = box.name,
                 .fallback = Fallback::literal,
                 .options = ui::kDisabledAtStart});
  }
}

// The current interface's capability panel: the word, the popup over the three words and the
// container that shows one word's groups (each a text and a check box) at a time.
void capabilityPanel(std::vector<ElementSpec>& e, std::string_view view) {
  e.push_back(panelView(view));
  e.push_back({.outlet = kCapabilityPopupOutlet,
               .kind = ControlKind::popUpButton,
               .parent = view,
               .cell = {0, 0}});
  e.push_back({.outlet = kCapabilityHeaderOutlet,
               .kind = ControlKind::textField,
               .parent = view,
               .cell = {0, 1},
               .options = ui::kNotEditable});
  e.push_back({.outlet = kCapabilityContainerOutlet,
               .kind = ControlKind::view,
               .parent = view,
               .cell = {1, 0, 1, 4}});
  const auto subviews = capabilitySubviews();
  const auto panels = currentGroupPanels();
  for (std::size_t p = 0; p < panels.size() && p < subviews.size(); ++p) {
    e.push_back(panelView(subviews[p], kCapabilityContainerOutlet));
    int i = 0;
    for (const BitGroup& group : panels[p].groups) {
      const std::string outlet = std::string(panels[p].prefix) + group.name;
      GridCell text = cellOf(i++, kGroupsPerRow, 2);
      GridCell check = text;
      ++check.column;
      e.push_back({.outlet = keep(outlet),
                   .kind = ControlKind::textField,
                   .parent = subviews[p],
                   .cell = text,
                   .options = ui::kNotEditable});
      e.push_back({.outlet = keep(outlet + "Check"),
                   .kind = ControlKind::checkBox,
                   .parent = subviews[p],
                   .cell = check,
                   .text = group.name,
                   .fallback = Fallback::literal,
                   .options = ui::kDisabledAtStart});
    }
  }
}

}  // namespace

ui::WindowSpec makeDiagnosticSheetSpec() {
  ui::WindowSpec spec{.outlet = kDiagnosticSheetOutlet,
                      .kind = ui::WindowKind::sheet,
                      .size = kSheetSize,
                      .toolbar = true};
  auto& e = spec.elements;
  // One view per panel; the tool bar's items show one at a time.
  const auto older = diagnosticPanelItems(false);
  recordPanel(e, older[0].view, kScannerAbilityExPrefix, scannerAbilityExFields());
  const auto bits = olderBitPanels();
  for (std::size_t i = 0; i < bits.size(); ++i) bitPanel(e, older[1 + i].view, bits[i]);
  recordPanel(e, older[older.size() - 1].view, kNvramPrefix, nvmDataFields());
  const auto current = diagnosticPanelItems(true);
  recordPanel(e, current[0].view, kNewScannerAbilityPrefix, deviceAbilityFields());
  capabilityPanel(e, current[1].view);
  recordPanel(e, current[2].view, kNewNvramPrefix, newNvmDataFields());
  e.push_back({.outlet = "mButtonPropertyOK",
               .kind = ControlKind::pushButton,
               .cell = {1, 3},
               .text = "OK",
               .fallback = Fallback::key,
               .options = ui::kDefaultButton});
  return spec;
}

}  // namespace ferrolite::dialog
