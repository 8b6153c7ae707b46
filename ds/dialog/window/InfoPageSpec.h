#pragma once
// The information page's controls, described as data.
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

// Appends the page's elements to the main window's, under the page's tab item.
void appendInformationPage(std::vector<ui::ElementSpec>& elements, std::string_view page);

}  // namespace ferrolite::dialog
