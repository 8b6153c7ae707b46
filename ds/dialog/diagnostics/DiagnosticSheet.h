#pragma once
// The diagnostic sheet that a Command-click on Default opens: which panels the tool bar offers
// for the driver interface in use, and what each panel shows when its item is chosen. A panel
// reads its record at that moment and keeps nothing; the NVRAM panels ask the data source for
// the record first, into a buffer of the interface's record size.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/diagnostics/RecordPanels.h"

namespace ferrolite::dialog {

// One tool-bar item of the sheet and the view it puts in the sheet.
struct DiagnosticPanelItem {
  std::string_view item;  // the tool-bar item's identifier
  std::string_view view;  // the outlet of the panel's view
};
// The items at positions 0 onwards: seven with the older interface, three with the current.
std::span<const DiagnosticPanelItem> diagnosticPanelItems(bool newKrapi);

// The current interface's capability panel: a popup over the three capability words, each with
// a sub-view of its bit groups.
inline constexpr std::string_view kCapabilityMenuTitle = "ScannerCapability";
inline constexpr std::string_view kCapabilityHeaderOutlet = "mNewScannerCapability";
struct CapabilityShown {
  std::string header;        // the word as "0x%08X"
  std::string_view subview;  // the sub-view put in place of the one shown so far
  std::vector<GroupText> groups;
};
std::span<const std::string_view> capabilityPopupItems();
// The sub-views of the three words, in the popup's order.
std::span<const std::string_view> capabilitySubviews();
inline constexpr std::string_view kCapabilityPopupOutlet = "mPopupCapability";
inline constexpr std::string_view kCapabilityContainerOutlet = "mShowNewScannerCapabilityView";
// PopupSelectScannerCapability:: the word at the popup's index 0, 1 or 2; any other index
// changes nothing.
std::optional<CapabilityShown> selectScannerCapability(const DialogContext& ctx, int index);

// What one panel shows once its item is chosen.
struct DiagnosticPanelFill {
  std::string_view view;  // becomes the sheet's content view
  std::vector<PanelText> texts;
  std::vector<PanelBox> boxes;
  std::vector<std::string_view> popupItems;  // the capability panel's popup
  std::optional<CapabilityShown> capability;
};
// A panel's show action; nullopt for an item the interface's tool bar does not hold.
std::optional<DiagnosticPanelFill> showDiagnosticPanel(const DialogContext& ctx,
                                                       std::string_view item);

// Default with Command held: the tool bar's items, the item selected and the first panel.
struct DiagnosticSheet {
  std::vector<std::string_view> toolbarItems;
  std::string_view selectedItem;
  DiagnosticPanelFill panel;
};
DiagnosticSheet openDiagnosticSheet(const DialogContext& ctx);

}  // namespace ferrolite::dialog
