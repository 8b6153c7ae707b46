// Windows bitmaps, written by us: 1 bit (palette black, white), 8-bit grey (a ramp of 256) or
// 24-bit colour, rows bottom-up and padded to 4 bytes, resolution in pixels per metre. Read
// back: uncompressed 1-, 8- and 24-bit files of either row order.
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr uint32_t kNoCompression = 0;
constexpr size_t kPaletteEntry = 4;  // blue, green, red, reserved
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

size_t strideOf(uint32_t width, uint32_t bitsPerPixel) {
  return (size_t(bitsPerPixel) * width + 31) / 32 * 4;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
uint32_t get16(std::span<const uint8_t> b, size_t at) { return b[at] | uint32_t(b[at + 1]) << 8; }
uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return get16(b, at) | get16(b, at + 2) << 16;
}

}  // namespace

Status encodeBmp(ByteSink& sink, const BitmapImage& image) {
  const PixelLayout& layout = image.layout();
  const uint32_t bitsPerPixel = layout.bitsPerSample == 1 ? 1 : layout.samplesPerPixel * 8;
  const uint32_t paletteEntries = bitsPerPixel == 1 ? 2 : bitsPerPixel == 8 ? 256 : 0;
  const size_t stride = strideOf(layout.width, bitsPerPixel);
  const uint32_t offset = uint32_t(kFileHeader + kInfoHeader + paletteEntries * kPaletteEntry);
  const uint64_t imageSize = uint64_t(stride) * layout.height;
  if (offset + imageSize > kMaxFileSize || layout.width > 0x7FFFFFFF ||
      layout.height > 0x7FFFFFFF) {
    return Status::failure("the image is too large for a BMP file");
  }
  std::vector<uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  put32(header, uint32_t(offset + imageSize));
  put32(header, 0);
  put32(header, offset);
  put32(header, kInfoHeader);
  put32(header, layout.width);
  put32(header, layout.height);  // positive: bottom-up
  put16(header, 1);              // planes
  put16(header, bitsPerPixel);
  put32(header, kNoCompression);
  put32(header, uint32_t(imageSize));
  put32(header, pixelsPerMetre(image.resolution().x));
  put32(header, pixelsPerMetre(image.resolution().y));
  put32(header, paletteEntries);
  put32(header, 0);  // all colours important
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    const uint8_t v = paletteEntries == 2 ? uint8_t(i ? 0xFF : 0) : uint8_t(i);
    header.insert(header.end(), {v, v, v, 0});
  }
  if (!sink.write(header.data(), header.size())) return Status::failure("cannot write the file");

  // Rows come top first and go to their place from the end of the file up.
  RowReader reader(image);
  reader.start();
  std::vector<uint8_t> samples(size_t(layout.width) * layout.samplesPerPixel);
  std::vector<uint8_t> stored(stride, 0);
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = nullptr;
    if (Status s = reader.next(row); !s.ok()) return s;
    if (bitsPerPixel == 1) {
      std::memcpy(stored.data(), row, layout.packedRowBytes());
    } else {
      rowTo8Bit(layout, row, samples.data());
      if (layout.samplesPerPixel == 1) {
        std::memcpy(stored.data(), samples.data(), layout.width);
      } else {
        for (uint32_t x = 0; x < layout.width; ++x) {
          stored[3 * x] = samples[3 * x + 2];
          stored[3 * x + 1] = samples[3 * x + 1];
          stored[3 * x + 2] = samples[3 * x];
        }
      }
    }
    if (!sink.seek(offset + uint64_t(layout.height - 1 - y) * stride) ||
        !sink.write(stored.data(), stride)) {
      return Status::failure("cannot write the file");
    }
  }
  return Status::success();
}

Status decodeBmp(std::span<const uint8_t> bytes, DecodedImage& out) {
  if (bytes.size() < kFileHeader + kInfoHeader || bytes[0] != 'B' || bytes[1] != 'M') {
    return Status::failure("not a BMP file");
  }
  const uint32_t offset = get32(bytes, 10);
  const uint32_t infoSize = get32(bytes, 14);
  if (infoSize < kInfoHeader || infoSize > bytes.size() - kFileHeader) {
    return Status::failure("BMP header of " + std::to_string(infoSize) + " bytes not supported");
  }
  const int32_t width = int32_t(get32(bytes, 18));
  const int32_t height = int32_t(get32(bytes, 22));
  const uint32_t bitsPerPixel = get16(bytes, 28);
  const uint32_t compression = get32(bytes, 30);
  if (width <= 0 || height == 0 || height == INT32_MIN) {
    return Status::failure("BMP of " + std::to_string(width) + " x " + std::to_string(height) +
                           " pixels");
  }
  if (compression != kNoCompression ||
      (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24)) {
    return Status::failure("BMP with " + std::to_string(bitsPerPixel) +
                           " bits per pixel and compression " + std::to_string(compression) +
                           " not supported");
  }
  const bool bottomUp = height > 0;
  const uint32_t rows = uint32_t(bottomUp ? height : -height);
  const size_t stride = strideOf(uint32_t(width), bitsPerPixel);
  if (offset > bytes.size() || uint64_t(stride) * rows > bytes.size() - offset) {
    return Status::failure("the BMP's pixels end before the file says");
  }
  // The palette as grey levels when it is grey, else as colours.
  std::vector<uint8_t> palette;
  bool grey = true;
  if (bitsPerPixel != 24) {
    const uint32_t declared = get32(bytes, 46);
    const uint32_t entries = declared ? declared : 1u << bitsPerPixel;
    const size_t at = kFileHeader + infoSize;
    if (entries > (1u << bitsPerPixel) || at > bytes.size() ||
        (bytes.size() - at) / kPaletteEntry < entries) {
      return Status::failure("the BMP's palette does not fit the file");
    }
    palette.assign(size_t(1) << bitsPerPixel, 0);
    std::vector<uint8_t> colours(palette.size() * 3, 0);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint8_t b = bytes[at + i * kPaletteEntry], g = bytes[at + i * kPaletteEntry + 1],
                    r = bytes[at + i * kPaletteEntry + 2];
      grey = grey && r == g && g == b;
      colours[3 * i] = r;
      colours[3 * i + 1] = g;
      colours[3 * i + 2] = b;
    }
    palette = grey ? std::vector<uint8_t>() : colours;
    if (grey) {
      for (size_t i = 0; i < colours.size() / 3; ++i) palette.push_back(colours[3 * i]);
    }
  }
  const bool blackAndWhite = bitsPerPixel == 1 && grey && (palette[0] == 0 || palette[0] == 0xFF) &&
                             palette[1] == uint8_t(~palette[0]);
  const uint16_t outBits = blackAndWhite ? 1 : 8;
  const uint16_t samples = bitsPerPixel == 24 || !grey ? 3 : 1;
  if (Status s = allocateRaster(uint32_t(width), rows, outBits, samples, out.raster); !s.ok()) {
    return s;
  }
  Raster& raster = out.raster;
  for (uint32_t y = 0; y < rows; ++y) {
    const uint8_t* stored = bytes.data() + offset + size_t(bottomUp ? rows - 1 - y : y) * stride;
    uint8_t* row = raster.pixels.data() + size_t(y) * raster.layout.bytesPerRow;
    if (blackAndWhite) {
      std::memcpy(row, stored, raster.layout.packedRowBytes());
      if (palette[0] == 0xFF) {
        for (size_t i = 0; i < raster.layout.packedRowBytes(); ++i) row[i] = uint8_t(~row[i]);
      }
      if (const uint32_t spare = uint32_t(width) % 8) {
        row[raster.layout.packedRowBytes() - 1] &= uint8_t(0xFF00 >> spare);
      }
      continue;
    }
    for (uint32_t x = 0; x < uint32_t(width); ++x) {
      if (bitsPerPixel == 24) {
        row[3 * x] = stored[3 * x + 2];
        row[3 * x + 1] = stored[3 * x + 1];
        row[3 * x + 2] = stored[3 * x];
        continue;
      }
      const uint8_t index = bitsPerPixel == 1 ? (stored[x / 8] >> (7 - x % 8)) & 1 : stored[x];
      if (grey) {
        row[x] = palette[index];
      } else {
        std::memcpy(row + 3 * x, &palette[3 * size_t(index)], 3);
      }
    }
  }
  raster.resolution = {dpiFromPixelsPerMetre(get32(bytes, 38)),
                       dpiFromPixelsPerMetre(get32(bytes, 42))};
  out.kind = FileKind::Bmp;
  return Status::success();
}

}  // namespace imageio::detail
