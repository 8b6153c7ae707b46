// TIFF through libtiff's client I/O: uncompressed strips written, any strip layout libtiff
// decodes read; Make and Model set in a file's first directory without touching its pixels.
#include <tiffio.h>

#include <cstdarg>
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

// A read-only sink over the bytes being decoded.
class InputSink final : public ByteSink {
 public:
  explicit InputSink(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool write(const void*, size_t) override { return false; }
  bool seek(uint64_t offset) override {
    position_ = offset;
    return true;
  }
  uint64_t tell() const override { return position_; }
  uint64_t size() const override { return bytes_.size(); }
  size_t read(void* data, size_t count) override {
    if (position_ >= bytes_.size()) return 0;
    const size_t n = std::min<uint64_t>(count, bytes_.size() - position_);
    std::memcpy(data, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }

 private:
  std::span<const uint8_t> bytes_;
  uint64_t position_ = 0;
};

ByteSink* sinkOf(thandle_t handle) { return static_cast<ByteSink*>(handle); }

tmsize_t readProc(thandle_t handle, void* data, tmsize_t count) {
  return count < 0 ? -1 : tmsize_t(sinkOf(handle)->read(data, size_t(count)));
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t count) {
  return count >= 0 && sinkOf(handle)->write(data, size_t(count)) ? count : -1;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  ByteSink* sink = sinkOf(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = sink->tell();
  if (whence == SEEK_END) base = sink->size();
  const uint64_t target = base + offset;  // libtiff passes negative steps as wrapped values
  return sink->seek(target) ? target : toff_t(-1);
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t handle) { return sinkOf(handle)->size(); }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// The first error libtiff reports on a handle; warnings are dropped.
struct Messages {
  std::string error;
};

int errorHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* messages = static_cast<Messages*>(user);
  if (messages->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    messages->error = std::string(module ? module : "TIFF") + ": " + text;
  }
  return 1;
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr openTiff(ByteSink& sink, const char* mode, Messages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, errorHandler, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, warningHandler, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kMaxRasterBytes));
  TIFF* tiff = TIFFClientOpenExt("image", mode, &sink, readProc, writeProc, seekProc, closeProc,
                                 sizeProc, mapProc, unmapProc, options);
  TIFFOpenOptionsFree(options);
  return TiffPtr(tiff);
}

Status failure(const Messages& messages, const std::string& fallback) {
  return Status::failure(messages.error.empty() ? fallback : messages.error);
}

void invertRow(uint8_t* row, const PixelLayout& layout) {
  const size_t n = layout.packedRowBytes();
  if (layout.bitsPerSample == 16) {
    for (size_t i = 0; i + 1 < n; i += 2) {
      uint16_t v;
      std::memcpy(&v, row + i, 2);
      v = uint16_t(0xFFFF - v);
      std::memcpy(row + i, &v, 2);
    }
    return;
  }
  for (size_t i = 0; i < n; ++i) row[i] = uint8_t(~row[i]);
  const uint32_t spare = layout.bitsPerSample == 1 ? layout.width % 8 : 0;
  if (spare != 0) row[n - 1] &= uint8_t(0xFF00 >> spare);
}

}  // namespace

Status encodeTiff(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties) {
  const PixelLayout& layout = image.layout();
  Messages messages;
  TiffPtr tiff = openTiff(sink, "w", messages);
  if (!tiff) return failure(messages, "cannot start a TIFF stream");
  TIFF* t = tiff.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
               layout.samplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  const Resolution resolution = image.resolution();
  if (resolution.x > 0 && resolution.y > 0) {
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(resolution.x));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(resolution.y));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  if (properties.orientation != 0) TIFFSetField(t, TIFFTAG_ORIENTATION, properties.orientation);
  if (!properties.make.empty()) TIFFSetField(t, TIFFTAG_MAKE, properties.make.c_str());
  if (!properties.model.empty()) TIFFSetField(t, TIFFTAG_MODEL, properties.model.c_str());

  RowReader reader(image);
  reader.start();
  std::vector<uint8_t> scanline(layout.packedRowBytes());
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = nullptr;
    if (Status s = reader.next(row); !s.ok()) return s;
    // libtiff takes a writable row; the caller's stays untouched.
    std::memcpy(scanline.data(), row, scanline.size());
    if (TIFFWriteScanline(t, scanline.data(), y, 0) < 0) {
      return failure(messages, "cannot write TIFF row " + std::to_string(y));
    }
  }
  if (!TIFFFlush(t)) return failure(messages, "cannot finish the TIFF stream");
  tiff.reset();
  if (!messages.error.empty()) return Status::failure(messages.error);
  return Status::success();
}

Status decodeTiff(std::span<const uint8_t> bytes, DecodedImage& out) {
  InputSink input(bytes);
  Messages messages;
  TiffPtr tiff = openTiff(input, "r", messages);
  if (!tiff) return failure(messages, "not a TIFF file");
  TIFF* t = tiff.get();
  if (TIFFIsTiled(t)) return Status::failure("tiled TIFF images are not supported");
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) {
    return Status::failure("the TIFF image has no photometric interpretation");
  }
  const bool grey = samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK ||
                                     photometric == PHOTOMETRIC_MINISWHITE);
  const bool rgb = samples == 3 && photometric == PHOTOMETRIC_RGB && bits != 1;
  if (!grey && !rgb) {
    return Status::failure("TIFF images of " + std::to_string(samples) +
                           " samples with photometric " + std::to_string(photometric) +
                           " are not supported");
  }
  if (samples > 1 && planar != PLANARCONFIG_CONTIG) {
    return Status::failure("TIFF images with separate sample planes are not supported");
  }
  if (Status s = allocateRaster(width, height, bits, samples, out.raster); !s.ok()) return s;
  const PixelLayout& layout = out.raster.layout;
  if (uint64_t(TIFFScanlineSize64(t)) != layout.packedRowBytes()) {
    return Status::failure("the TIFF image's rows have an unexpected size");
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = out.raster.pixels.data() + size_t(y) * layout.bytesPerRow;
    if (TIFFReadScanline(t, row, y, 0) < 0) {
      return failure(messages, "cannot read TIFF row " + std::to_string(y));
    }
    if (photometric == PHOTOMETRIC_MINISWHITE) invertRow(row, layout);
  }

  float x = 0, yRes = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &yRes) &&
      unit != RESUNIT_NONE) {
    const double scale = unit == RESUNIT_CENTIMETER ? kCentimetresPerInch : 1.0;
    out.raster.resolution = {x * scale, yRes * scale};
  }
  uint16_t orientation = 0;
  if (TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8) {
    out.properties.orientation = orientation;
  }
  const char* text = nullptr;
  if (TIFFGetField(t, TIFFTAG_MAKE, &text) && text) out.properties.make = text;
  text = nullptr;
  if (TIFFGetField(t, TIFFTAG_MODEL, &text) && text) out.properties.model = text;
  out.kind = FileKind::Tiff;
  return Status::success();
}

Status setTiffMakeAndModel(const std::filesystem::path& file, std::string_view make,
                           std::string_view model) {
  std::vector<uint8_t> bytes;
  if (Status s = readWholeFile(file, bytes); !s.ok()) return s;
  AtomicFile target(file);
  if (Status s = target.open(); !s.ok()) return s;
  FileSink sink(target.file());
  if (!sink.write(bytes.data(), bytes.size()) || !sink.seek(0)) {
    return Status::failure("cannot copy " + file.string());
  }
  Messages messages;
  {
    TiffPtr tiff = openTiff(sink, "r+", messages);
    if (!tiff) return failure(messages, file.string() + " is not a TIFF file");
    const std::string makeText(make), modelText(model);
    if (!makeText.empty()) TIFFSetField(tiff.get(), TIFFTAG_MAKE, makeText.c_str());
    if (!modelText.empty()) TIFFSetField(tiff.get(), TIFFTAG_MODEL, modelText.c_str());
    if (!TIFFRewriteDirectory(tiff.get())) {
      return failure(messages, "cannot rewrite the directory of " + file.string());
    }
  }
  if (!messages.error.empty()) return Status::failure(messages.error);
  return target.commit();
}

}  // namespace imageio::detail
