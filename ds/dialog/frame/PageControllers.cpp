#include "ds/dialog/frame/PageControllers.h"

#include <system_error>

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/options/Enhancement.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {

// --- image page ---

void ImageTab::doImageTabInit() {
  ScanSetting& r = s_.record();
  const uint16_t res = resolutionOfMode(r, s_.bridge.mScanModeSideSelect);
  s_.properties.set("mResValue", static_cast<int64_t>(res));
  s_.main<ui::TextField>("mTextFieldResValue").setText(std::to_string(res));

  // The profile popup: the saved profiles and the custom entry, the record's one selected.
  const ProfilePopup popup = profilePopup(s_.bridge.ds()->availableProfile(), r.strProfile.view(),
                                          customProfileName(s_.language()));
  auto& profiles = s_.main<ui::PopUpButton>("mPopupProfile");
  profiles.removeAllItems();
  for (const std::string& title : popup.titles) profiles.addItemWithTitle(title);
  profiles.selectItemAtIndex(static_cast<int>(popup.selected));
  s_.main<ui::Button>("mButtonDeleteProfile").setEnabled(popup.deleteEnabled);
}

void ImageTab::initImageButtons() { perform(s_.imageTypes->initImageButtons()); }

void ImageTab::imageTypeButtonSetState(bool rearEnabled, bool mergeTwoSides) {
  s_.imageTypes->setState(rearEnabled, mergeTwoSides);
}

void ImageTab::reCheckImageTypeStatus() { s_.imageTypes->reCheckImageTypeStatus(); }

void ImageTab::dropColorSetImageButtons() { s_.imageTypes->dropColorSetImageButtons(); }

void ImageTab::selectImageType(int mode) { perform(s_.imageTypes->select(mode)); }

void ImageTab::restoreImageTypeDefaults() { perform(s_.imageTypes->restoreDefaults()); }

void ImageTab::selectPaperSizeOfRecord() {
  auto& popUp = s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize");
  const int64_t id = s_.record().bPaperSize;
  for (std::size_t i = 0; i < popUp.numberOfItems(); ++i) {
    if (popUp.itemAt(i).representedObject().integer().valueOr(-1) == id) {
      popUp.selectItemAtIndex(static_cast<int>(i));
      return;
    }
  }
}

void ImageTab::switch2CustomProfile() {
  auto& popUp = s_.main<ui::PopUpButton>("mPopupProfile");
  std::vector<std::string> titles;
  for (std::size_t i = 0; i < popUp.numberOfItems(); ++i) titles.push_back(popUp.itemAt(i).title());
  if (auto index =
          dialog::switch2CustomProfile(s_.record(), titles, customProfileName(s_.language()))) {
    popUp.selectItemAtIndex(static_cast<int>(*index));
  }
  s_.main<ui::Button>("mButtonDeleteProfile").setEnabled(false);
}

void ImageTab::perform(const Calls& calls) {
  DialogPages& pages = *s_.controllers;
  for (const Call& call : calls) {
    switch (call.what) {
      case PageCall::switch2CustomProfile:
        switch2CustomProfile();
        break;
      case PageCall::setResValue:
        s_.properties.set("mResValue", call.a);
        s_.main<ui::TextField>("mTextFieldResValue").setText(std::to_string(call.a));
        break;
      case PageCall::setColorDropTabItems:
        pages.colorDrop.setColorDropTabItems(call.a);
        break;
      case PageCall::doImageTabInit:
        doImageTabInit();
        break;
      case PageCall::doPaperTabInit:
        pages.paper.doPaperTabInit();
        break;
      case PageCall::setMaxScanArea:
        pages.preview.setMaxScanArea(static_cast<uint32_t>(call.a), static_cast<uint32_t>(call.b));
        break;
      case PageCall::deletePreviewImageFile: {
        std::error_code ignored;
        std::filesystem::remove(s_.previewFile(), ignored);
        break;
      }
      default:
        // The other calls reach controls of the pages' own (mode/side rows, tone controls,
        // paper list); they take effect when those pages build them.
        break;
    }
  }
}

// --- colour drop-out page ---

void ColorDropTab::doColorDropTabInit() {}

void ColorDropTab::setColorDropTabItems(int64_t) {}

bool ColorDropTab::previewFileExist() const {
  std::error_code error;
  return std::filesystem::is_regular_file(s_.previewFile(), error);
}

// --- the other pages' builders: their controls are theirs ---

void PaperTab::doPaperTabInit() { (void)s_; }
void OptionTab::doOptionTabInit() { (void)s_; }
void RotationTab::doRotationTabInit() { (void)s_; }
void SeparationTab::doSeparationTabInit() { (void)s_; }

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

// --- preview view ---

void PreviewPane::setMaxScanArea(uint32_t, uint32_t) { (void)s_; }
void PreviewPane::setMaxScanAreaFB(uint32_t) {}
void PreviewPane::setMaxScanAreaADF(uint32_t) {}
void PreviewPane::setRetangleRect(float, float, float, float) {}
void PreviewPane::removeMouseTrackingArea() {}
void PreviewPane::EnableEyeDropperCursor(bool) {}

bool PreviewPane::showPreviewFile(const std::filesystem::path& file) {
  imageio::DecodedImage decoded;
  if (!imageio::readImageFile(file, decoded).ok()) return false;
  const imageio::Raster& raster = decoded.raster;
  const imageio::PixelLayout& layout = raster.layout;
  if (layout.bitsPerSample != 8 || (layout.samplesPerPixel != 1 && layout.samplesPerPixel != 3)) {
    return false;
  }
  auto image = std::make_shared<ui::Image>();
  image->width = static_cast<int>(layout.width);
  image->height = static_cast<int>(layout.height);
  if (raster.resolution.x > 0) image->xResolution = raster.resolution.x;
  if (raster.resolution.y > 0) image->yResolution = raster.resolution.y;
  image->rgb.reserve(std::size_t(layout.width) * layout.height * 3);
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = raster.row(y);
    for (uint32_t x = 0; x < layout.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        image->rgb.push_back(layout.samplesPerPixel == 3 ? row[x * 3 + c] : row[x]);
      }
    }
  }
  s_.inDrawer<ui::ImageView>("mPreviewView").setImage(std::move(image));
  return true;
}

void DialogPages::notified(std::string_view name, const ui::Notification& notification) {
  // Each observer's work belongs to its page (paper, option, colour drop-out, imprinter,
  // image); the frame's part is the registration and the name check before this.
  // Imprinter page.
  if (imprinter.notified(name, notification)) return;
}

}  // namespace ferrolite::dialog
