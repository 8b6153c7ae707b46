// GIF through giflib: black and white as a two-entry palette, grey as a ramp of 256, colour with
// its own colours when there are at most 256 of them, else quantised. Read back, a palette of
// black and white gives 1 bit, a grey one 8 bits, any other RGB.
#include <gif_lib.h>

#include <cstring>
#include <unordered_map>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr int kMaxGifSide = 0xFFFF;
constexpr int kPaletteSize = 256;
constexpr int kColourResolution = 8;

struct Output {
  ByteSink* sink;
};

int writeBytes(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<Output*>(gif->UserData);
  return count >= 0 && out->sink->write(data, size_t(count)) ? count : 0;
}

struct Input {
  std::span<const uint8_t> bytes;
  size_t position = 0;
};

int readBytes(GifFileType* gif, GifByteType* data, int count) {
  auto* in = static_cast<Input*>(gif->UserData);
  const size_t n = std::min<size_t>(size_t(std::max(count, 0)), in->bytes.size() - in->position);
  std::memcpy(data, in->bytes.data() + in->position, n);
  in->position += n;
  return int(n);
}

std::string gifError(int code) {
  const char* text = GifErrorString(code);
  return std::string("GIF: ") + (text ? text : "error " + std::to_string(code));
}

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

// Palette indices for every pixel and the palette (a power of two entries, as GIF wants).
Status toIndices(const Raster& raster, std::vector<GifByteType>& indices, MapPtr& map) {
  const PixelLayout& layout = raster.layout;
  const size_t pixels = size_t(layout.width) * layout.height;
  indices.resize(pixels);
  std::vector<GifColorType> colours;
  std::vector<uint8_t> samples(size_t(layout.width) * layout.samplesPerPixel);
  if (layout.samplesPerPixel == 1) {
    if (layout.bitsPerSample == 1) {
      colours = {{0, 0, 0}, {0xFF, 0xFF, 0xFF}};
    } else {
      for (int i = 0; i < kPaletteSize; ++i)
        colours.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
    }
    for (uint32_t y = 0; y < layout.height; ++y) {
      rowTo8Bit(layout, raster.row(y), samples.data());
      for (uint32_t x = 0; x < layout.width; ++x) {
        const uint8_t v = samples[x];
        indices[size_t(y) * layout.width + x] = layout.bitsPerSample == 1 ? (v ? 1 : 0) : v;
      }
    }
  } else {
    std::unordered_map<uint32_t, uint8_t> seen;
    std::vector<uint8_t> red(pixels), green(pixels), blue(pixels);
    bool exact = true;
    for (uint32_t y = 0; y < layout.height; ++y) {
      rowTo8Bit(layout, raster.row(y), samples.data());
      for (uint32_t x = 0; x < layout.width; ++x) {
        const size_t i = size_t(y) * layout.width + x;
        red[i] = samples[3 * x];
        green[i] = samples[3 * x + 1];
        blue[i] = samples[3 * x + 2];
        if (!exact) continue;
        const uint32_t key = uint32_t(red[i]) << 16 | uint32_t(green[i]) << 8 | blue[i];
        auto found = seen.find(key);
        if (found == seen.end()) {
          if (seen.size() == kPaletteSize) {
            exact = false;
            continue;
          }
          found = seen.emplace(key, uint8_t(seen.size())).first;
          colours.push_back({red[i], green[i], blue[i]});
        }
        indices[i] = found->second;
      }
    }
    if (!exact) {
      colours.assign(kPaletteSize, GifColorType{0, 0, 0});
      int size = kPaletteSize;
      if (GifQuantizeBuffer(layout.width, layout.height, &size, red.data(), green.data(),
                            blue.data(), indices.data(), colours.data()) == GIF_ERROR) {
        return Status::failure("GIF: the colours could not be reduced to a palette");
      }
      colours.resize(kPaletteSize);
    }
  }
  int size = 2;
  while (size < int(colours.size())) size *= 2;
  colours.resize(size, GifColorType{0, 0, 0});
  map.reset(GifMakeMapObject(size, colours.data()));
  if (!map) return Status::failure("no memory for a GIF palette");
  return Status::success();
}

struct DecoderCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Skips an extension block and its sub-blocks.
bool skipExtension(GifFileType* gif) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

}  // namespace

Status encodeGif(ByteSink& sink, const BitmapImage& image) {
  const PixelLayout& layout = image.layout();
  if (layout.width > kMaxGifSide || layout.height > kMaxGifSide) {
    return Status::failure("a GIF image is at most 65535 pixels on each side");
  }
  Raster raster;
  if (Status s = readAllRows(image, raster); !s.ok()) return s;
  std::vector<GifByteType> indices;
  MapPtr map;
  if (Status s = toIndices(raster, indices, map); !s.ok()) return s;
  Output output{&sink};
  int error = 0;
  GifFileType* gif = EGifOpen(&output, writeBytes, &error);
  if (!gif) return Status::failure(gifError(error));
  bool ok = EGifPutScreenDesc(gif, int(layout.width), int(layout.height), kColourResolution, 0,
                              map.get()) != GIF_ERROR &&
            EGifPutImageDesc(gif, 0, 0, int(layout.width), int(layout.height), false, nullptr) !=
                GIF_ERROR;
  for (uint32_t y = 0; ok && y < layout.height; ++y) {
    ok =
        EGifPutLine(gif, indices.data() + size_t(y) * layout.width, int(layout.width)) != GIF_ERROR;
  }
  if (!ok) error = gif->Error;
  int closeError = 0;
  if (EGifCloseFile(gif, &closeError) == GIF_ERROR && ok) {
    ok = false;
    error = closeError;
  }
  return ok ? Status::success() : Status::failure(gifError(error));
}

Status decodeGif(std::span<const uint8_t> bytes, DecodedImage& out) {
  Input input{bytes};
  int error = 0;
  std::unique_ptr<GifFileType, DecoderCloser> gif(DGifOpen(&input, readBytes, &error));
  if (!gif) return Status::failure(gifError(error));
  GifFileType* g = gif.get();
  const uint32_t width = uint32_t(std::max(g->SWidth, 0));
  const uint32_t height = uint32_t(std::max(g->SHeight, 0));
  if (Status s = checkPageSize(width, height); !s.ok()) return s;
  // The first image, placed on the screen.
  std::vector<GifByteType> screen;
  const ColorMapObject* map = nullptr;
  for (bool done = false; !done;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(g, &record) == GIF_ERROR) return Status::failure(gifError(g->Error));
    switch (record) {
      case EXTENSION_RECORD_TYPE:
        if (!skipExtension(g)) return Status::failure(gifError(g->Error));
        break;
      case IMAGE_DESC_RECORD_TYPE: {
        if (DGifGetImageDesc(g) == GIF_ERROR) return Status::failure(gifError(g->Error));
        const GifImageDesc& frame = g->Image;
        if (width == 0 || height == 0 || frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 ||
            frame.Height <= 0 || uint32_t(frame.Left + frame.Width) > width ||
            uint32_t(frame.Top + frame.Height) > height) {
          return Status::failure("the GIF's image lies outside its screen");
        }
        map = frame.ColorMap ? frame.ColorMap : g->SColorMap;
        if (!map || map->ColorCount <= 0 || !map->Colors) {
          return Status::failure("the GIF image has no palette");
        }
        const int background = g->SColorMap ? g->SBackGroundColor : 0;
        screen.assign(size_t(width) * height, GifByteType(background));
        // Interlaced frames come in four passes of rows.
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        const int passes = frame.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
          const int first = frame.Interlace ? kStart[pass] : 0;
          const int step = frame.Interlace ? kStep[pass] : 1;
          for (int row = first; row < frame.Height; row += step) {
            GifByteType* line = screen.data() + size_t(frame.Top + row) * width + frame.Left;
            if (DGifGetLine(g, line, frame.Width) == GIF_ERROR) {
              return Status::failure(gifError(g->Error));
            }
          }
        }
        done = true;
        break;
      }
      case TERMINATE_RECORD_TYPE:
        return Status::failure("the GIF file holds no image");
      default:
        break;
    }
  }
  // Indices beyond the palette read as its first entry.
  const int count = map->ColorCount;
  auto colour = [&](GifByteType index) { return map->Colors[index < count ? index : 0]; };
  bool grey = true, blackAndWhite = true;
  for (GifByteType index : screen) {
    const GifColorType c = colour(index);
    grey = grey && c.Red == c.Green && c.Green == c.Blue;
    blackAndWhite = blackAndWhite && grey && (c.Red == 0 || c.Red == 0xFF);
  }
  const uint16_t bits = blackAndWhite ? 1 : 8;
  const uint16_t samples = grey ? 1 : 3;
  if (Status s = allocateRaster(width, height, bits, samples, out.raster); !s.ok()) return s;
  Raster& raster = out.raster;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = raster.pixels.data() + size_t(y) * raster.layout.bytesPerRow;
    for (uint32_t x = 0; x < width; ++x) {
      const GifColorType c = colour(screen[size_t(y) * width + x]);
      if (blackAndWhite) {
        if (c.Red) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      } else if (grey) {
        row[x] = c.Red;
      } else {
        row[3 * x] = c.Red;
        row[3 * x + 1] = c.Green;
        row[3 * x + 2] = c.Blue;
      }
    }
  }
  out.kind = FileKind::Gif;
  return Status::success();
}

}  // namespace imageio::detail
