#pragma once
// The diagnostic panels on the widget layer: what a panel shows put into its controls in the
// sheet, and the current interface's capability popup switching between the three words.
#include <functional>
#include <optional>

#include "ds/dialog/diagnostics/DiagnosticSheet.h"
#include "platform/ui/Window.h"

namespace ferrolite::dialog {

// PopupSelectScannerCapability: for the popup's index (nothing for an index it does not have).
using CapabilitySelection = std::function<std::optional<CapabilityShown>(int index)>;

// A panel's fill method on its controls: texts into its value fields, states into its boxes,
// and for the capability panel the popup's menu (its action the selection) and the first word.
void fillDiagnosticPanel(ui::Window& sheet, const DiagnosticPanelFill& fill,
                         CapabilitySelection select);
// One capability word: its header, its sub-view in place of the one shown so far, its groups.
void showCapability(ui::Window& sheet, const CapabilityShown& shown);

}  // namespace ferrolite::dialog
