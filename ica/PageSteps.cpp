// The page queue between producer and consumer, the page images built from the driver's data,
// and the consumer's steps on a page's pixels.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ica/FeederScan.h"
#include "ica/LMScaling.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/SystemLog.h"
#include "platform/imageio/ImageIO.h"

namespace icamodule {

using foundation::LogLevel;
using foundation::systemLogf;

namespace {
constexpr uint32_t kBitsPerByte = 8;
constexpr uint32_t kRgbBytes = 3;
}  // namespace

// ---- the page array -------------------------------------------------------------------------

void PageArray::append(PageEntry entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
  appended_.notify_all();
}

std::optional<PageEntry> PageArray::take() {
  std::unique_lock lock(mutex_);
  appended_.wait(lock, [this] { return !entries_.empty() || closed_; });
  if (entries_.empty()) return std::nullopt;
  PageEntry entry = std::move(entries_.front());
  entries_.pop_front();
  return entry;
}

void PageArray::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  appended_.notify_all();
}

// ---- page images ------------------------------------------------------------------------------

std::shared_ptr<PageImage> rawPageImage(std::vector<std::vector<uint8_t>> passes, uint32_t pixels,
                                        uint32_t lines, uint32_t bytesPerLine, bool colour) {
  auto page = std::make_shared<PageImage>();
  page->width = pixels;
  page->height = lines;
  page->bytesPerRow = bytesPerLine;
  page->samplesPerPixel = colour ? 3 : 1;
  page->bitsPerPixel = colour ? 24 : 8;
  const std::size_t size = std::size_t(lines) * bytesPerLine;
  if (!passes.empty() && passes.front().size() >= size) {
    // The usual page, delivered whole: its bytes become the bitmap without a copy.
    page->pixels = std::move(passes.front());
    page->pixels.resize(size);
    return page;
  }
  page->pixels.assign(size, 0);
  std::size_t at = 0;
  for (const auto& pass : passes) {
    const std::size_t n = std::min(pass.size(), page->pixels.size() - at);
    if (n == 0) continue;  // an empty pass (or a full page) has nothing to give
    std::memcpy(page->pixels.data() + at, pass.data(), n);
    at += n;
  }
  return page;
}

std::shared_ptr<PageImage> jpegPageImage(const std::vector<std::vector<uint8_t>>& passes) {
  std::vector<imageio::Raster> images;
  for (const auto& pass : passes) {
    if (pass.empty()) continue;
    // JPEG data only: bytes of another kind are not read as that kind.
    if (imageio::sniffFileKind(pass) != imageio::FileKind::Jpeg) {
      systemLogf(LogLevel::error, "JPEG page: a part is not JPEG data\n");
      return nullptr;
    }
    imageio::DecodedImage decoded;
    imageio::Status status = imageio::decodeImage(pass, decoded);
    if (!status.ok() || decoded.raster.layout.bitsPerSample != kBitsPerByte) {
      systemLogf(LogLevel::error, "JPEG page: a part does not decode: %s\n",
                 status.ok() ? "not an 8-bit JPEG image" : status.message().c_str());
      return nullptr;
    }
    images.push_back(std::move(decoded.raster));
  }
  if (images.empty()) return nullptr;
  const imageio::PixelLayout& last = images.back().layout;
  auto page = std::make_shared<PageImage>();
  page->width = last.width;
  page->samplesPerPixel = last.samplesPerPixel;
  page->bitsPerPixel = last.bitsPerPixel();
  page->bytesPerRow = uint32_t(last.packedRowBytes());
  for (const imageio::Raster& image : images) page->height += image.layout.height;
  page->pixels.assign(std::size_t(page->height) * page->bytesPerRow, 0);
  uint8_t* out = page->pixels.data();
  for (const imageio::Raster& image : images) {
    // A part with wider rows than the page gives only what fits.
    const std::size_t n = std::min<std::size_t>(image.layout.packedRowBytes(), page->bytesPerRow);
    for (uint32_t y = 0; y < image.layout.height; ++y, out += page->bytesPerRow)
      std::memcpy(out, image.row(y), n);
  }
  return page;
}

// ---- pixel steps ------------------------------------------------------------------------------

void compactToRgb(PageImage& page) {
  const uint32_t from = page.bitsPerPixel / kBitsPerByte;
  if (from <= kRgbBytes) return;
  uint8_t* out = page.pixels.data();
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels.data() + std::size_t(y) * page.bytesPerRow;
    for (uint32_t x = 0; x < page.width; ++x, out += kRgbBytes)
      std::memmove(out, row + std::size_t(x) * from, kRgbBytes);
  }
  page.bitsPerPixel = kRgbBytes * kBitsPerByte;
  page.samplesPerPixel = kRgbBytes;
  page.bytesPerRow = page.width * kRgbBytes;
  page.pixels.resize(std::size_t(page.bytesPerRow) * page.height);
}

void applyGamma(PageImage& page, const uint8_t (&table)[256]) {
  for (uint8_t& b : page.pixels) b = table[b];
}

void packToBits(PageImage& page, long threshold) {
  const uint8_t cut = uint8_t((256 - threshold) % 256);
  const uint32_t width = page.width / kBitsPerByte * kBitsPerByte;
  const uint32_t packedRow = width / kBitsPerByte;
  uint8_t* out = page.pixels.data();
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels.data() + std::size_t(y) * page.bytesPerRow;
    for (uint32_t x = 0; x < width; x += kBitsPerByte) {
      uint8_t bits = 0;
      for (uint32_t k = 0; k < kBitsPerByte; ++k)
        if (row[x + k] > cut) bits |= uint8_t(0x80 >> k);
      *out++ = bits;  // never ahead of the row being read: one byte for eight
    }
  }
  page.width = width;
  page.bytesPerRow = packedRow;
  page.bitsPerPixel = 1;
  page.pixels.resize(std::size_t(packedRow) * page.height);
}

void rotatePage(PageImage& page, long degrees) {
  if (degrees != 90 && degrees != 180 && degrees != 270) return;
  const long mode =
      page.samplesPerPixel == kRgbBytes ? ScanUtils::kModeColor : ScanUtils::kModeGray;
  std::vector<uint8_t> turned(page.pixels.size());
  ScanUtils::rotateRaw(page.pixels.data(), turned.data(), degrees, page.width, page.height, mode);
  page.pixels = std::move(turned);
  if (degrees != 180) std::swap(page.width, page.height);
  page.bytesPerRow = page.width * page.samplesPerPixel;
}

bool scalePage(PageImage& page, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || width > page.width || height > page.height) {
    systemLogf(LogLevel::notice, "Scaling %ux%u to %ux%u skipped\n", page.width, page.height, width,
               height);
    return false;
  }
  const uint32_t rowBytes = width * page.samplesPerPixel;
  uint8_t* out = nullptr;
  if (LMScaling(page.pixels.data(), int32_t(page.width), int32_t(page.height),
                int32_t(page.bytesPerRow), &out, int32_t(width), int32_t(height), int32_t(rowBytes),
                int32_t(page.samplesPerPixel * kBitsPerByte)) != kScaleOK ||
      !out) {
    std::free(out);
    systemLogf(LogLevel::error, "Scaling %ux%u to %ux%u failed: the page stays unscaled\n",
               page.width, page.height, width, height);
    return false;
  }
  page.pixels.assign(out, out + std::size_t(rowBytes) * height);
  std::free(out);
  page.width = width;
  page.height = height;
  page.bytesPerRow = rowBytes;
  return true;
}

uint32_t rowsPerBand(int64_t bandSize, uint32_t bytesPerRow) {
  if (bytesPerRow == 0 || bandSize <= 0) return 1;
  return uint32_t(std::max<int64_t>(1, bandSize / bytesPerRow));
}

}  // namespace icamodule
