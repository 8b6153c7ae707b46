#pragma once
// The colour drop-out result as a Windows bitmap: a 1-bit black-and-white or 8-bit grey image,
// rows bottom-up, each padded to four bytes, with a two-entry or grey-ramp palette.
#include <array>
#include <cstdint>
#include <string>

namespace ferrolite::dialog {

// The file header, the information header and room for 256 palette entries, little-endian.
inline constexpr std::size_t kBmpHeaderRoom = 1078;
inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;

struct _lbheader {
  std::array<uint8_t, kBmpHeaderRoom> bytes{};
};

// The header of an image: bfOffBits is 62 for 1 bit per pixel, 1078 for 8.
_lbheader bmpHeader(int width, int height, int bitsPerPixel, uint32_t resolution);
// Bytes per stored row: ((bits x width + 31) / 32) x 4.
uint32_t bmpStride(int width, int bitsPerPixel);
// trunc(resolution x 39.37) in double precision: 300 dpi is 11811, 100 dpi 3936.
uint32_t pixelsPerMetre(uint32_t resolution);

// Writes wInfoSize header bytes and stride x height rows. 1 when written; -1 (and
// "writebmp: file open error" on standard output when it cannot be opened) otherwise. A file
// that could not be written whole is removed ("writebmp: file write error").
int writebmp(const std::string& path, const _lbheader& hbmp, uint32_t wInfoSize,
             const uint8_t* buffer, uint32_t dwBmpWidthBytes);

// Writes the buffer (height rows lBytesPerLine apart, the first row at the top of the image)
// as a bitmap of the caller's bit depth, 1 or 8. Answers writebmp's result, or -1 when the
// depth is neither or the rows are too short for it.
int saveBitmapFile(const uint8_t* buffer, int iWidth, int iLength, int64_t lBytesPerLine,
                   uint32_t xRes, const std::string& fileName, int bitsPerPixel);

}  // namespace ferrolite::dialog
