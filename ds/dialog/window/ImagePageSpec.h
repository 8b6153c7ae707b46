#pragma once
// The image page's controls as data: profiles, scan source, the image-type row, the mode/side
// table, the paper size, the resolution and the tone controls.
#include <array>
#include <string_view>
#include <vector>

#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

// The image-type rows' outlets: prefix + kind + side (+ "Check" for the check box), e.g.
// "mBtnImageTypeImageGrayFront", "mBtnImageTypeDropCBWRearCheck"; indexed as ImageRow,
// ImageKind and Side.
inline constexpr std::array<std::string_view, 2> kImageTypeRowPrefixes = {"mBtnImageTypeImage",
                                                                          "mBtnImageTypeDropC"};
inline constexpr std::array<std::string_view, 4> kImageTypeKinds = {"AutoColor", "Color", "Gray",
                                                                    "BW"};
inline constexpr std::array<std::string_view, 2> kImageTypeSides = {"Front", "Rear"};
// The selection buttons' title keys by kind and side.
inline constexpr std::array<std::array<std::string_view, 2>, 4> kImageTypeTitles = {{
    {"FrontAutoColorDetection", "RearAutoColorDetection"},
    {"FrontColor", "RearColor"},
    {"FrontGray", "RearGray"},
    {"FrontBW", "RearBW"},
}};

// Adds one row of the sixteen image-type controls into a view of the page: a grid of kinds by
// sides, per kind a line of front check box, front button, rear check box, rear button.
void addImageTypeRow(std::vector<ui::ElementSpec>& elements, int row, std::string_view view,
                     std::string_view page, ui::GridCell cell);

// The mode/side rows' columns of a table bound to the rows' controller: the check and the name.
void addModeSideColumns(std::vector<ui::ElementSpec>& elements, std::string_view table);

void addImagePage(std::vector<ui::ElementSpec>& elements, std::string_view page);

}  // namespace ferrolite::dialog
