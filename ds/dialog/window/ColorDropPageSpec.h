#pragma once
// The colour drop-out page's controls as data: its image-type row, the drop-out mode and its
// advanced processing, the filter and background sliders, the custom colour and the row table.
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

void addColorDropPage(std::vector<ui::ElementSpec>& elements, std::string_view page);

}  // namespace ferrolite::dialog
