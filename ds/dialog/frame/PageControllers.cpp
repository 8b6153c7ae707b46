#include "ds/dialog/frame/PageControllers.h"

#include <system_error>

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/options/Enhancement.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {

// --- preview view ---

void PreviewPane::setMaxScanArea(uint32_t, uint32_t) { (void)s_; }
void PreviewPane::setMaxScanAreaFB(uint32_t) {}
void PreviewPane::setMaxScanAreaADF(uint32_t) {}
void PreviewPane::setRetangleRect(float, float, float, float) {}
void PreviewPane::removeMouseTrackingArea() {}
void PreviewPane::EnableEyeDropperCursor(bool) {}

void PreviewPane::deletePreviewImageFile(bool redraw) {
  std::error_code ignored;
  std::filesystem::remove(s_.previewFile(), ignored);
  if (redraw) s_.inDrawer<ui::ImageView>("mPreviewView").setImage(nullptr);
}

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
  // Image page.
  if (name == note::kResolutionInput) {
    image.resolutionInputNotification(notification);
    return;
  }
  // The paper and option pages.
  if (paper.notified(name, notification)) return;
  if (option.notified(name, notification)) return;
  // Imprinter page.
  if (imprinter.notified(name, notification)) return;
}

}  // namespace ferrolite::dialog
