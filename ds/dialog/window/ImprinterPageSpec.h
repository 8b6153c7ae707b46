#pragma once
// The imprinter page's controls and its "More" sheet, described as data.
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

inline constexpr std::string_view kImprinterMoreOutlet = "pImprinterMore";

// Appends the page's elements to the main window's, under the page's tab item.
void appendImprinterPage(std::vector<ui::ElementSpec>& elements, std::string_view page);
// The sheet of size, density and transparency.
const ui::WindowSpec& imprinterMoreSpec();

}  // namespace ferrolite::dialog
