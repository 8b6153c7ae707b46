#pragma once
// The paper, enhancement, setting, rotation and separation pages as window data, and the
// barcode-type sheet; makeMainWindow adds each page's elements to its tab item.
#include <string_view>
#include <vector>

#include "ds/dialog/window/ElementShapes.h"
#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

inline constexpr std::string_view kBarcodeSheetOutlet = "pEnhancementSelecBarcodeTypes";

void addPaperPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addEnhancementPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addSettingPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addRotationPage(std::vector<ui::ElementSpec>& e, std::string_view page);
void addSeparationPage(std::vector<ui::ElementSpec>& e, std::string_view page);
const ui::WindowSpec& barcodeSheetSpec();

}  // namespace ferrolite::dialog
