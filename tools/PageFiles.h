#pragma once
// Image files of scanned pages: PNM (PBM, PGM, PPM), TIFF through libtiff and PNG through
// libpng, from the bytes the driver delivered for a page.
#include <cstdint>
#include <string>
#include <vector>

namespace vtclient {

enum class PageFormat { Pnm, Tiff, Png };

// A page as the driver delivered it: lines of bytesPerLine bytes, each pixel `bitsPerPixel`
// bits (1 lineart, 8 or 16 grey, 24 or 48 colour); 16-bit samples in the host's byte order.
struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerLine = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t resolution = 0;  // dots per inch
  std::vector<uint8_t> data;
};

// The format a name stands for ("pnm", "tiff", "png"); false for any other.
bool ParsePageFormat(const std::string& name, PageFormat* out);
// The usual file extension of the format for this page ("pbm", "pgm", "ppm", "tif", "png").
std::string PageExtension(PageFormat format, uint32_t bitsPerPixel);
// Writes the page to `path` ("-": standard output, PNM only); false with the reason.
bool WritePage(const PageImage& page, PageFormat format, const std::string& path,
               std::string* error);

}  // namespace vtclient
