#pragma once
// The colour drop-out page with a preview to work on, for the headless widget layer and for the
// Qt replay alike: a side offering the custom drop-out, the data source's drop-out faked (the
// custom colour becomes white), and the side's custom colour bytes as the record holds them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "PreviewFixture.h"
#include "ds/dialog/colordrop/ColorDropPage.h"
#include "ds/scan/records/ColorDropParam.h"
#include "ds/scan/records/XferImageInfo.h"
#include "tests/support/TestFolder.h"

namespace ferrolite::dialog::testing {

// A side offering the custom drop-out: grey front (8-bit result) or black-and-white front (1-bit).
struct CustomSide {
  const char* button;  // the side button's outlet after "mBtnImageTypeDropC"
  uint8_t ScanSetting::*mode;
  uint8_t ScanSetting::*red;
  int bitsPerPixel;
};
inline const CustomSide kGreySide{"GrayFront", &ScanSetting::bFGColorDropOut,
                                  &ScanSetting::bFGCustomR, 8};
inline const CustomSide kBWSide{"BWFront", &ScanSetting::bFBColorDropOut, &ScanSetting::bFBCustomR,
                                1};

struct DropFixture : PreviewFixture {
  explicit DropFixture(const CustomSide& side, const ui::Services* hosted = nullptr,
                       ui::Toolkit* kit = nullptr)
      : PreviewFixture(hosted, kit), side_(side) {
    record.wImageType = 0x01 | 0x04;
    record.*(side.mode) = kDropCustom;
    // The drop-out: pixels of the custom colour become white, the others keep their level
    // (black-and-white: dark pixels black).
    dataSource.colorDrop = [this](const uint8_t* source, uint8_t* dest, const XferImageInfo& info,
                                  const ColorDropParam& p) {
      lastParam = p;
      const std::size_t stride = p.bGrayOutput ? info.dwWidth : (info.dwWidth + 7) / 8;
      for (uint32_t y = 0; y < info.dwLength; ++y) {
        for (uint32_t x = 0; x < info.dwWidth; ++x) {
          const uint8_t* s = source + (std::size_t(y) * info.dwWidth + x) * 3;
          const bool dropped = s[0] == p.bCustomR && s[1] == p.bCustomG && s[2] == p.bCustomB;
          const uint8_t level = dropped ? 255 : uint8_t((s[0] + s[1] + s[2]) / 3);
          if (p.bGrayOutput) {
            dest[y * stride + x] = level;
          } else if (level >= 128) {
            dest[y * stride + x / 8] |= uint8_t(0x80 >> (x % 8));
          }
        }
      }
    };
  }
  const CustomSide& side() const { return side_; }
  std::string sideButton() const { return std::string("mBtnImageTypeDropC") + side_.button; }
  // The page and side chosen and the page previewed, by the headless user.
  void start() {
    open();
    ASSERT_TRUE(user.selectTab(tabs(), "KriTabDropColor"));
    ASSERT_TRUE(user.click(get<ui::Button>(sideButton())));
    preview(makeRaster(850, 1400, 8, 3, 100, pagePixel));
    ASSERT_TRUE(eyeDropperButton().isEnabled());
  }
  ui::Button& eyeDropperButton() { return drawer().get<ui::Button>("mEyeDropperClick"); }
  std::filesystem::path resultFile() { return folder / "colorDrop.bmp"; }
  // The result bitmap's bits per pixel, or nothing when there is no whole header.
  std::optional<int> resultBitsPerPixel() {
    const std::string bmp = testsupport::ReadFile(resultFile());
    if (bmp.size() <= 30) return std::nullopt;
    return uint8_t(bmp[28]);
  }
  // The shown image's pixel under a view point.
  std::optional<Rgb> imagePixel(double x, double y) {
    const auto& image = pane().shownImage();
    if (!image) return std::nullopt;
    const ui::Color c = image->pixel(int(x / pane().getMaxWidth() * image->width),
                                     int(y / pane().getMaxHeight() * image->height));
    return Rgb{uint8_t(c.red * 255 + 0.5f), uint8_t(c.green * 255 + 0.5f),
               uint8_t(c.blue * 255 + 0.5f)};
  }
  std::array<uint8_t, 3> sideColour() {
    // Front and rear alternate: R of the front, R of the rear, G of the front, ...
    const uint8_t* red = &(record.*(side_.red));
    return {red[0], red[2], red[4]};
  }
  std::optional<ColorDropParam> lastParam;

 private:
  const CustomSide& side_;
};

}  // namespace ferrolite::dialog::testing
