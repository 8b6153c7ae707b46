#include "ds/dialog/preview/PreviewImage.h"

#include <cstring>
#include <system_error>

namespace ferrolite::dialog {

namespace {
constexpr int kRgb = 3;

// One sample of a row at a pixel and channel, as 8 bits (1-bit: a set bit is white).
uint8_t sample8(const uint8_t* row, const imageio::PixelLayout& l, uint32_t x, int channel) {
  if (l.bitsPerSample == 1) return (row[x / 8] >> (7 - x % 8)) & 1 ? 0xFF : 0x00;
  const std::size_t index = std::size_t(x) * l.samplesPerPixel + channel;
  if (l.bitsPerSample == 8) return row[index];
  uint16_t v;
  std::memcpy(&v, row + index * 2, sizeof v);
  return static_cast<uint8_t>(v >> 8);
}
}  // namespace

std::shared_ptr<const ui::Image> rgbImageOf(const imageio::Raster& raster, std::string& why) {
  const imageio::PixelLayout& l = raster.layout;
  const bool depthKnown = l.bitsPerSample == 8 || l.bitsPerSample == 16 ||
                          (l.bitsPerSample == 1 && l.samplesPerPixel == 1);
  if (!depthKnown || (l.samplesPerPixel != 1 && l.samplesPerPixel != kRgb)) {
    why = "unsupported depth " + std::to_string(l.bitsPerSample) + "x" +
          std::to_string(l.samplesPerPixel);
    return nullptr;
  }
  if (l.width == 0 || l.height == 0 || l.bytesPerRow < l.packedRowBytes() ||
      raster.pixels.size() != std::size_t(l.bytesPerRow) * l.height) {
    why = "decoded size " + std::to_string(raster.pixels.size()) + " bytes does not match " +
          std::to_string(l.width) + "x" + std::to_string(l.height);
    return nullptr;
  }
  auto image = std::make_shared<ui::Image>();
  image->width = static_cast<int>(l.width);
  image->height = static_cast<int>(l.height);
  if (raster.resolution.x > 0) image->xResolution = raster.resolution.x;
  if (raster.resolution.y > 0) image->yResolution = raster.resolution.y;
  image->rgb.resize(std::size_t(l.width) * l.height * kRgb);
  uint8_t* out = image->rgb.data();
  for (uint32_t y = 0; y < l.height; ++y) {
    const uint8_t* row = raster.row(y);
    for (uint32_t x = 0; x < l.width; ++x) {
      for (int c = 0; c < kRgb; ++c) *out++ = sample8(row, l, x, l.samplesPerPixel == 1 ? 0 : c);
    }
  }
  return image;
}

std::shared_ptr<const ui::Image> readPreviewImage(const std::filesystem::path& file,
                                                  std::string& why) {
  imageio::DecodedImage decoded;
  if (imageio::Status status = imageio::readImageFile(file, decoded); !status.ok()) {
    why = status.message();
    return nullptr;
  }
  return rgbImageOf(decoded.raster, why);
}

std::shared_ptr<const ui::Image> PreviewImageCache::load(const std::filesystem::path& file,
                                                         std::string& why) {
  std::error_code error;
  const auto modified = std::filesystem::last_write_time(file, error);
  const std::uintmax_t size = error ? 0 : std::filesystem::file_size(file, error);
  if (error) {
    clear();
    why = error.message();
    return nullptr;
  }
  if (image_ && file == file_ && modified == modified_ && size == size_) return image_;
  clear();
  std::shared_ptr<const ui::Image> image = readPreviewImage(file, why);
  if (image) {
    file_ = file;
    modified_ = modified;
    size_ = size;
    image_ = image;
  }
  return image;
}

}  // namespace ferrolite::dialog
