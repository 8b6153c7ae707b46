#pragma once
// The settings dialog's windows described once as data: the main window with its nine pages and
// main buttons, the preview drawer and the diagnostic sheet. The widget layer builds the named
// controls from these; a toolkit lays their peers out by the grid cells. The ranges and sizes
// the dialog leaves to the window are chosen here, within the record fields' widths.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

inline constexpr std::string_view kMainWindowOutlet = "TwainDSDialog";
inline constexpr std::string_view kPreviewDrawerOutlet = "mPreviewDrawer";
inline constexpr std::string_view kDiagnosticSheetOutlet = "pPropertyTabBarInfo";
inline constexpr std::string_view kTabViewOutlet = "pTabView";

// The tab items by page number (0 image ... 8 information): outlet and identifier.
struct TabItemName {
  std::string_view outlet;
  std::string_view identifier;
};
inline constexpr std::array<TabItemName, 9> kTabItems = {{
    {"pmTabViewImage", "KriTabImage"},
    {"pmTabViewDropColor", "KriTabDropColor"},
    {"pmTabViewPaper", "KriTabPaper"},
    {"pmTabViewRotate", "KriTabRotation"},
    {"pmTabViewSeparation", "KriTabSeparation"},
    {"pmTabViewOptions", "KriTabEnhancement"},
    {"pmTabViewSetting", "KriTabSetting"},
    {"pmTabVieImprinter", "KRiImprinter"},
    {"pmTabViewInfo", "KriTabInfo"},
}};

const ui::WindowSpec& mainWindowSpec();
const ui::WindowSpec& previewDrawerSpec();
const ui::WindowSpec& diagnosticSheetSpec();
// Every window of the dialog, for tools that walk all of them.
std::array<const ui::WindowSpec*, 3> dialogWindowSpecs();

// Every text the window shows now: labels, button and box titles, tab labels, pop-up items,
// table column titles and cells, tool-bar item labels. A text ending in "?" fell back to its
// key.
std::vector<std::string> shownTexts(const ui::Window& window);
bool fellBackToKey(std::string_view text);

}  // namespace ferrolite::dialog
