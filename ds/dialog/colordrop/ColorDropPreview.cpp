// The colour drop-out page's preview result and eye dropper on the widget layer: the drawer's
// eye-dropper button, the colours the preview view reports while picking, and the drop-out run
// on the preview whose result the view shows while the result button is held.
#include <string>

#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/preview/PreviewImage.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/Controls.h"

namespace ferrolite::dialog {

namespace {
constexpr std::string_view kEyeDropperOutlet = "mEyeDropperClick";

void logResult(const std::string& text) {
  foundation::systemLog(foundation::LogLevel::warning, "colour drop-out preview: " + text + "\n");
}
}  // namespace

void ColorDropTab::wirePreviewResult() {
  s_.inDrawer<ui::Button>(kEyeDropperOutlet).setAction([this](ui::Control&) { eyeDropperClick(); });
}

void ColorDropTab::eyeDropperClick() {
  auto& button = s_.inDrawer<ui::Button>(kEyeDropperOutlet);
  PreviewPane& view = s_.controllers->preview;
  const bool on = button.isOn();
  if (on) {
    view.addMouseTrackingArea();
  } else {
    view.removeMouseTrackingArea();
  }
  button.setState(on ? ui::ButtonState::on : ui::ButtonState::off);
  view.EnableEyeDropperCursor(on);
}

void ColorDropTab::showCustomColour(const CustomColourShown& shown) {
  s_.main<ui::ColorWell>("mColorWell")
      .setColor(
          ui::Color::rgb(shown.well.red, shown.well.green, shown.well.blue, shown.well.alpha));
  s_.properties.set("mRedValue", shown.mRedValue);
  s_.properties.set("mGreenValue", shown.mGreenValue);
  s_.properties.set("mBlueValue", shown.mBlueValue);
  s_.main<ui::Slider>("mSliderGreen").setEnabled(true);
  s_.main<ui::Slider>("mSliderBlue").setEnabled(true);
  s_.controllers->image.switch2CustomProfile();
}

bool ColorDropTab::notified(std::string_view name, const ui::Notification& n) {
  const int64_t mode = s_.bridge.mScanModeSideSelect;
  PickedColours picked;
  picked.committed = {s_.mColorRed, s_.mColorGreen, s_.mColorBlue, s_.mColorAlpha};
  picked.underPointer = mTmpColor_;
  DialogContext ctx = s_.ctx();
  if (name == note::kCustomColorChange) {
    auto component = [&n](std::string_view key) {
      return static_cast<float>(n.userInfo.real(key).valueOr(0));
    };
    const WellColour colour{component("colorRed"), component("colorGreen"), component("colorBlue"),
                            component("colorAlpha")};
    showCustomColour(customColorChange(ctx, mode, picked, colour));
    mTmpColor_ = picked.underPointer;
    return true;
  }
  if (name == note::kSetCustomColor) {
    showCustomColour(setCustomColor(ctx, mode, picked));
    return true;
  }
  if (name == note::kMoveMousetoPreviewResultButton) {
    // The press commits the colour under the pointer, once its result is shown.
    if (n.userInfo.integer("MouseDownUp").valueOr(-1) == 0) {
      previewResult();
      s_.mColorRed = mTmpColor_.red;
      s_.mColorGreen = mTmpColor_.green;
      s_.mColorBlue = mTmpColor_.blue;
      s_.mColorAlpha = mTmpColor_.alpha;
    }
    return true;
  }
  if (name == note::kClickPreviewResultButton) {
    if (s_.main<ui::PopUpButton>("mPopupColorDrop").indexOfSelectedItem() != kDropCustom) {
      return true;
    }
    if (n.userInfo.integer("Click").valueOr(0) == 1) {
      previewResult();
      s_.globals.gPreviewResult = true;
    } else {
      s_.controllers->preview.setColorDropResultImage(false);
    }
    return true;
  }
  return false;
}

void ColorDropTab::previewResult() {
  const ui::Properties& p = s_.properties;
  const ColorDropParam param =
      colorDropParam({s_.bridge.mScanModeSideSelect,
                      s_.main<ui::PopUpButton>("mPopupColorDrop").indexOfSelectedItem(),
                      p.integer("mFilterThresh"), p.integer("mBackLevelValue"),
                      p.integer("mRedValue"), p.integer("mGreenValue"), p.integer("mBlueValue")});
  std::string why;
  const std::shared_ptr<const ui::Image> image = readPreviewImage(s_.previewFile(), why);
  if (!image) {
    logResult("no preview to drop out from: " + why);
    return;
  }
  PreviewRaster raster;
  raster.width = static_cast<uint32_t>(image->width);
  raster.height = static_cast<uint32_t>(image->height);
  raster.dpiX = static_cast<float>(image->xResolution);
  raster.dpiY = static_cast<float>(image->yResolution);
  raster.rgb = image->rgb;
  PreviewPane& view = s_.controllers->preview;
  const std::filesystem::path result = view.colorDropFile();
  switch (runPreviewResult(*s_.bridge.ds(), raster, param, result.string())) {
    case 1:
      view.setColorDropResultImage(true);
      break;
    case 0:
      logResult("the drop-out answered NO; the preview stays");
      break;
    default:
      logResult(result.filename().string() + " could not be written whole; the preview stays");
      break;
  }
}

}  // namespace ferrolite::dialog
