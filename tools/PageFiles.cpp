#include "tools/PageFiles.h"

#include <png.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vtclient {
namespace {

bool Sixteen(const PageImage& p) { return p.bitsPerPixel == 16 || p.bitsPerPixel == 48; }
uint32_t Channels(const PageImage& p) { return p.bitsPerPixel >= 24 ? 3 : 1; }

// A line with 16-bit samples in big-endian order (PNM and PNG want them so).
void BigEndianLine(const uint8_t* in, uint32_t bytes, std::vector<uint8_t>* out) {
  out->assign(in, in + bytes);
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    uint16_t v;
    std::memcpy(&v, in + i, 2);
    (*out)[i] = static_cast<uint8_t>(v >> 8);
    (*out)[i + 1] = static_cast<uint8_t>(v);
  }
}

uint32_t LineBytes(const PageImage& p) {
  return static_cast<uint32_t>((uint64_t{p.width} * p.bitsPerPixel + 7) / 8);
}

bool Consistent(const PageImage& p, std::string* error) {
  const bool known = p.bitsPerPixel == 1 || p.bitsPerPixel == 8 || p.bitsPerPixel == 16 ||
                     p.bitsPerPixel == 24 || p.bitsPerPixel == 48;
  if (!known) {
    *error = "no image file takes " + std::to_string(p.bitsPerPixel) + " bits per pixel";
    return false;
  }
  if (p.width == 0 || p.height == 0 || LineBytes(p) > p.bytesPerLine ||
      uint64_t{p.bytesPerLine} * p.height > p.data.size()) {
    *error = "the page's size does not match its data";
    return false;
  }
  return true;
}

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

bool WritePnm(const PageImage& p, const std::string& path, std::string* error) {
  const bool toStdout = path == "-";
  File file(toStdout ? stdout : std::fopen(path.c_str(), "wb"),
            toStdout ? [](FILE*) { return 0; } : std::fclose);
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  const char* magic = p.bitsPerPixel == 1 ? "P4" : Channels(p) == 3 ? "P6" : "P5";
  std::fprintf(file.get(), "%s\n%u %u\n", magic, p.width, p.height);
  if (p.bitsPerPixel != 1) std::fprintf(file.get(), "%u\n", Sixteen(p) ? 65535 : 255);
  std::vector<uint8_t> line;
  const uint32_t bytes = LineBytes(p);
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint8_t* in = p.data.data() + size_t{y} * p.bytesPerLine;
    if (Sixteen(p)) {
      BigEndianLine(in, bytes, &line);
      in = line.data();
    }
    if (std::fwrite(in, 1, bytes, file.get()) != bytes) break;
  }
  if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteTiff(const PageImage& p, const std::string& path, std::string* error) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) {
    *error = "libtiff cannot create the file";
    return false;
  }
  const uint16_t bits = p.bitsPerPixel == 1 ? 1 : Sixteen(p) ? 16 : 8;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(Channels(p)));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  // Lineart as PBM has it: a set bit is black.
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               Channels(p) == 3 ? PHOTOMETRIC_RGB
               : bits == 1      ? PHOTOMETRIC_MINISWHITE
                                : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  if (p.resolution != 0) {
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(p.resolution));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(p.resolution));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  std::vector<uint8_t> line(LineBytes(p));
  bool ok = true;
  for (uint32_t y = 0; y < p.height && ok; ++y) {
    std::memcpy(line.data(), p.data.data() + size_t{y} * p.bytesPerLine, line.size());
    ok = TIFFWriteScanline(tif, line.data(), y, 0) == 1;
  }
  TIFFClose(tif);
  if (!ok) *error = "libtiff could not write the page";
  return ok;
}

bool WritePng(const PageImage& p, const std::string& path, std::string* error) {
  File file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    *error = "libpng cannot start";
    return false;
  }
  std::vector<uint8_t> line;
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    *error = "libpng could not write the page";
    return false;
  }
  png_init_io(png, file.get());
  const int bits = p.bitsPerPixel == 1 ? 1 : Sixteen(p) ? 16 : 8;
  png_set_IHDR(png, info, p.width, p.height, bits,
               Channels(p) == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (p.resolution != 0) {
    const png_uint_32 perMetre = static_cast<png_uint_32>(p.resolution / 0.0254 + 0.5);
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  // Lineart as PBM has it: a set bit is black, and PNG's grey 1 is white.
  if (bits == 1) png_set_invert_mono(png);
  const uint32_t bytes = LineBytes(p);
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint8_t* in = p.data.data() + size_t{y} * p.bytesPerLine;
    if (Sixteen(p)) {
      BigEndianLine(in, bytes, &line);
    } else {
      line.assign(in, in + bytes);
    }
    png_write_row(png, line.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool ParsePageFormat(const std::string& name, PageFormat* out) {
  if (name == "pnm") {
    *out = PageFormat::Pnm;
  } else if (name == "tiff" || name == "tif") {
    *out = PageFormat::Tiff;
  } else if (name == "png") {
    *out = PageFormat::Png;
  } else {
    return false;
  }
  return true;
}

std::string PageExtension(PageFormat format, uint32_t bitsPerPixel) {
  switch (format) {
    case PageFormat::Tiff:
      return "tif";
    case PageFormat::Png:
      return "png";
    case PageFormat::Pnm:
      break;
  }
  return bitsPerPixel == 1 ? "pbm" : bitsPerPixel >= 24 ? "ppm" : "pgm";
}

namespace {

bool WriteFormat(const PageImage& page, PageFormat format, const std::string& path,
                 std::string* error) {
  switch (format) {
    case PageFormat::Tiff:
      return WriteTiff(page, path, error);
    case PageFormat::Png:
      return WritePng(page, path, error);
    case PageFormat::Pnm:
      break;
  }
  return WritePnm(page, path, error);
}

// A regular file this write made or changed, or none (a device, a pipe, a file it never opened).
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

bool WritePage(const PageImage& page, PageFormat format, const std::string& path,
               std::string* error) {
  if (!Consistent(page, error)) return false;
  if (path == "-" && format != PageFormat::Pnm) {
    *error = "only PNM goes to standard output";
    return false;
  }
  struct stat before {};
  const bool existed = path != "-" && stat(path.c_str(), &before) == 0;
  if (WriteFormat(page, format, path, error)) return true;
  // A page that could not be written whole leaves no truncated file under its name.
  struct stat after {};
  if (path != "-" && stat(path.c_str(), &after) == 0 && S_ISREG(after.st_mode) &&
      (!existed || !SameFile(before, after)))
    std::remove(path.c_str());
  return false;
}

}  // namespace vtclient
