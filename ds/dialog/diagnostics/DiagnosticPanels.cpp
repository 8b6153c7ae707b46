#include "ds/dialog/diagnostics/DiagnosticPanels.h"

#include "platform/ui/Controls.h"

namespace ferrolite::dialog {

void showCapability(ui::Window& sheet, const CapabilityShown& shown) {
  sheet.get<ui::TextField>(kCapabilityHeaderOutlet).setText(shown.header);
  for (std::string_view subview : capabilitySubviews()) {
    sheet.get<ui::View>(subview).setHidden(subview != shown.subview);
  }
  for (const GroupText& group : shown.groups) {
    sheet.get<ui::TextField>(group.textOutlet).setText(group.label);
    sheet.get<ui::Button>(group.checkOutlet)
        .setState(group.on ? ui::ButtonState::on : ui::ButtonState::off);
  }
}

void fillDiagnosticPanel(ui::Window& sheet, const DiagnosticPanelFill& fill,
                         CapabilitySelection select) {
  for (const PanelText& text : fill.texts) sheet.get<ui::TextField>(text.outlet).setText(text.text);
  for (const PanelBox& box : fill.boxes) {
    sheet.get<ui::Button>(box.outlet).setState(box.on ? ui::ButtonState::on : ui::ButtonState::off);
  }
  if (!fill.popupItems.empty()) {
    auto menu = std::make_unique<ui::Menu>(std::string(kCapabilityMenuTitle));
    for (std::string_view item : fill.popupItems) menu->addItem(std::string(item));
    auto& popUp = sheet.get<ui::PopUpButton>(kCapabilityPopupOutlet);
    popUp.setMenu(std::move(menu));
    popUp.selectItemAtIndex(0);
    popUp.setAction([&sheet, select](ui::Control& sender) {
      const int index = static_cast<ui::PopUpButton&>(sender).indexOfSelectedItem();
      if (std::optional<CapabilityShown> shown = select(index)) showCapability(sheet, *shown);
    });
  }
  if (fill.capability) showCapability(sheet, *fill.capability);
}

}  // namespace ferrolite::dialog
