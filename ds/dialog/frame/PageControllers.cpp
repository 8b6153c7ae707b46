#include "ds/dialog/frame/PageControllers.h"

#include <system_error>

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/info/InfoPage.h"
#include "ds/dialog/options/Enhancement.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {

// --- the other pages' builders: their controls are theirs ---

void PaperTab::doPaperTabInit() { (void)s_; }
void OptionTab::doOptionTabInit() { (void)s_; }
void RotationTab::doRotationTabInit() { (void)s_; }
void SeparationTab::doSeparationTabInit() { (void)s_; }
void ImprinterTab::doImprinterTabInit() { (void)s_; }
void ImprinterTab::showSampleString() { (void)s_; }

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

// --- information page ---

void InfoTab::doInfoTabInit() {
  static const SystemClock clock;
  DialogContext ctx = s_.ctx();
  auto& table = s_.main<ui::TableView>("pInfoTabTableView");
  const ui::Rect f = table.frame();
  const InfoPage page = dialog::doInfoTabInit(
      ctx, s_.mScannerInfo, {f.origin.x, f.origin.y, f.size.width, f.size.height}, clock);
  InfoTable& info = s_.info;
  info = InfoTable{};
  for (std::size_t i = 0; i < page.rows.size() && i < kInfoRows; ++i) {
    info.mInfoTabName[i] = page.rows[i].name;
    info.mInfoTabInfo[i] = page.rows[i].info;
    info.mInfoTabReset[i] = page.rows[i].reset;
    info.mInfoTabItems = static_cast<int>(i) + 1;
  }
  info.mInfoTabResetStr = page.resetTitle;
  table.reloadData();
}

void InfoTab::resetCounter(int32_t code) {
  if (code < kResetPad || code > kResetPickupRoller) return;
  s_.bridge.ds()->resetRollerCount(code - 1);
  doInfoTabInit();
}

void DialogPages::notified(std::string_view name, const ui::Notification& notification) {
  // Each observer's work belongs to its page (paper, option, colour drop-out, imprinter,
  // image); the frame's part is the registration and the name check before this.
  // Image page.
  if (name == note::kResolutionInput) {
    image.resolutionInputNotification(notification);
    return;
  }
  // Colour drop-out page: the preview's colours and the result button.
  if (colorDrop.notified(name, notification)) return;
}

}  // namespace ferrolite::dialog
