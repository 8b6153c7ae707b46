#pragma once
// The dialog opened with a preview to work on: preview pages of any mode and depth written as the
// data source's preview scan writes them, the drawer's view and what it drew, and the
// notifications posted meanwhile.
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "PageFixture.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/ImageView.h"

namespace ferrolite::dialog::testing {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// A raster of a mode and depth whose pixels come from a colour function (grey takes the red).
inline imageio::Raster makeRaster(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples,
                                  double dpi,
                                  const std::function<Rgb(uint32_t, uint32_t)>& colour) {
  imageio::Raster r;
  r.layout = imageio::PixelLayout::packed(width, height, bits, samples);
  r.resolution = {dpi, dpi};
  r.pixels.assign(r.layout.bytesPerRow * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = r.pixels.data() + y * r.layout.bytesPerRow;
    for (uint32_t x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      const uint8_t values[3] = {c.r, c.g, c.b};
      if (bits == 1) {
        if (c.r >= 128) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        continue;
      }
      for (uint16_t s = 0; s < samples; ++s) {
        if (bits == 8) {
          row[x * samples + s] = values[s];
        } else {
          const uint16_t v = uint16_t(values[s] * 257);
          std::memcpy(row + (x * samples + s) * 2, &v, 2);
        }
      }
    }
  }
  return r;
}

inline void writeTiff(const std::filesystem::path& file, const imageio::Raster& raster) {
  ASSERT_TRUE(imageio::writeImageFile(file, imageio::FileKind::Tiff, raster.view()).ok());
}

// A page 8.5 x 14 inches at 100 dpi: white, a red patch from (1, 2) to (2, 3) inches and a
// black mark from (5, 8) to (5.5, 8.5) inches.
inline constexpr Rgb kWhite{255, 255, 255}, kRed{220, 30, 40}, kBlack{0, 0, 0};
inline Rgb pagePixel(uint32_t x, uint32_t y) {
  if (x >= 100 && x < 200 && y >= 200 && y < 300) return kRed;
  if (x >= 500 && x < 550 && y >= 800 && y < 850) return kBlack;
  return kWhite;
}

// The notifications of some names posted while it lives.
struct Posted {
  Posted(ui::NotificationCenter& centre, std::initializer_list<std::string_view> names)
      : centre_(centre) {
    for (std::string_view name : names) {
      tokens_.push_back(centre.addObserver(
          std::string(name), nullptr, [this](const ui::Notification& n) { all.push_back(n); }));
    }
  }
  ~Posted() {
    for (auto token : tokens_) centre_.removeObserver(token);
  }
  std::vector<ui::Notification> all;

 private:
  ui::NotificationCenter& centre_;
  std::vector<ui::NotificationCenter::Token> tokens_;
};

struct PreviewFixture : PageFixture {
  explicit PreviewFixture(const ui::Services* hosted = nullptr, ui::Toolkit* kit = nullptr)
      : PageFixture("dialog-preview", hosted, kit) {
    record.bPaperSize = 255;  // custom: the mouse acts on the area
    record.bScanSource = kSourceFeeder;
    record.wXPos = 0;
    record.wYPos = 0;
  }
  PreviewPane& pane() { return dialog->pages().preview; }
  ui::ImageView& view() { return drawer().get<ui::ImageView>("mPreviewView"); }
  ui::ScrollView& scroll() { return drawer().get<ui::ScrollView>("mPreviewScroll"); }
  std::filesystem::path previewFile() { return folder / "fi-7160_preview.tif"; }
  // The Preview button in the drawer, the scan writing the page given.
  void preview(const imageio::Raster& page) {
    dataSource.onPreviewScan = [this, page] {
      scanButtonsDuringScan = get<ui::Button>("mButtonScan").isEnabled();
      writeTiff(previewFile(), page);
    };
    openDrawer();
    user.click(drawer().get<ui::Button>("mButtonDrawerPreview"));
  }
  void openDrawer() {
    if (!dialog->shared().previewDrawerIsOpen) click("mButtonPreview");
  }
  std::optional<Rgb> shownAt(double x, double y) {
    const auto c = view().picture().colorAt({x, y}, true);
    if (!c) return std::nullopt;
    return Rgb{uint8_t(c->red * 255 + 0.5f), uint8_t(c->green * 255 + 0.5f),
               uint8_t(c->blue * 255 + 0.5f)};
  }
  std::optional<ui::Rect> strokedArea() {
    for (const ui::Picture::Op& op : view().picture().ops) {
      if (op.kind == ui::Picture::OpKind::strokeRect) return op.rect;
    }
    return std::nullopt;
  }
  std::optional<ui::Rect> imageRect() {
    for (const ui::Picture::Op& op : view().picture().ops) {
      if (op.kind == ui::Picture::OpKind::image && op.image == pane().shownImage()) return op.rect;
    }
    return std::nullopt;
  }
  bool scanButtonsDuringScan = true;
};

}  // namespace ferrolite::dialog::testing
