// The option page's two tabs (enhancement and setting) and the barcode-type sheet on the widget
// layer: builds, actions and observers call the page's rules and show what they answer.
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/options/Enhancement.h"
#include "platform/ui/Alert.h"

namespace ferrolite::dialog {

void OptionTab::doOptionTabInit() { (void)s_; }

bool OptionTab::checkEdgeFillRange() {
  const EdgeFillCheck check = dialog::checkEdgeFillRange(s_.record());
  for (const auto& [key, value] : check.properties) s_.properties.set(key, value);
  if (check.inRange) return true;
  ui::Alert alert(s_.application);
  alert.setInformativeText(edgeFillRangeText(s_.language(), edgeFillLimit(s_.record())));
  alert.addButton(s_.text("OK", "OK"));
  alert.runModal();
  return false;
}

void OptionTab::refreshEdgeFill() {}

}  // namespace ferrolite::dialog
