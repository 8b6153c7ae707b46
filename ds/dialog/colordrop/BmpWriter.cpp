#include "ds/dialog/colordrop/BmpWriter.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace ferrolite::dialog {

namespace {
void put16(_lbheader& h, std::size_t at, uint32_t v) {
  h.bytes[at] = static_cast<uint8_t>(v);
  h.bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(_lbheader& h, std::size_t at, uint32_t v) {
  put16(h, at, v & 0xFFFF);
  put16(h, at + 2, v >> 16);
}
uint32_t get32(const _lbheader& h, std::size_t at) {
  return h.bytes[at] | h.bytes[at + 1] << 8 | h.bytes[at + 2] << 16 |
         static_cast<uint32_t>(h.bytes[at + 3]) << 24;
}
uint32_t paletteEntries(int bitsPerPixel) { return bitsPerPixel == 1 ? 2 : 256; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

uint32_t bmpStride(int width, int bitsPerPixel) {
  return static_cast<uint32_t>((static_cast<int64_t>(bitsPerPixel) * width + 31) / 32 * 4);
}

uint32_t pixelsPerMetre(uint32_t resolution) {
  return static_cast<uint32_t>(static_cast<double>(resolution) * 39.37);
}

_lbheader bmpHeader(int width, int height, int bitsPerPixel, uint32_t resolution) {
  _lbheader h;
  const uint32_t entries = paletteEntries(bitsPerPixel);
  const uint32_t offBits = kBmpFileHeaderSize + kBmpInfoHeaderSize + 4 * entries;
  const uint32_t imageSize = bmpStride(width, bitsPerPixel) * static_cast<uint32_t>(height);
  h.bytes[0] = 'B';
  h.bytes[1] = 'M';
  put32(h, 2, offBits + imageSize);  // bfSize
  put32(h, 10, offBits);             // bfOffBits
  put32(h, 14, kBmpInfoHeaderSize);  // biSize
  put32(h, 18, static_cast<uint32_t>(width));
  put32(h, 22, static_cast<uint32_t>(height));  // positive: rows bottom-up
  put16(h, 26, 1);                              // biPlanes
  put16(h, 28, static_cast<uint32_t>(bitsPerPixel));
  put32(h, 34, imageSize);
  put32(h, 38, pixelsPerMetre(resolution));
  put32(h, 42, pixelsPerMetre(resolution));
  put32(h, 46, entries);                    // biClrUsed
  put32(h, 50, bitsPerPixel == 1 ? 2 : 0);  // biClrImportant
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t grey = bitsPerPixel == 1 ? (i ? 0xFF : 0x00) : static_cast<uint8_t>(i);
    const std::size_t at = 54 + 4 * i;
    h.bytes[at] = h.bytes[at + 1] = h.bytes[at + 2] = grey;  // blue, green, red; reserved 0
  }
  return h;
}

int writebmp(const std::string& path, const _lbheader& hbmp, uint32_t wInfoSize,
             const uint8_t* buffer, uint32_t dwBmpWidthBytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    std::printf("writebmp: file open error\n");
    return -1;
  }
  const std::size_t rows = dwBmpWidthBytes * static_cast<std::size_t>(get32(hbmp, 22));
  bool whole = wInfoSize <= hbmp.bytes.size() &&
               std::fwrite(hbmp.bytes.data(), 1, wInfoSize, file.get()) == wInfoSize;
  whole = whole && (!rows || std::fwrite(buffer, 1, rows, file.get()) == rows);
  whole = std::fclose(file.release()) == 0 && whole;
  if (whole) return 1;
  // A file cut short would show as a broken image: none is left behind (a device or a link's
  // target that is not a plain file is left alone).
  std::printf("writebmp: file write error\n");
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) {
    std::filesystem::remove(path, error);
  }
  return -1;
}

int saveBitmapFile(const uint8_t* buffer, int iWidth, int iLength, int64_t lBytesPerLine,
                   uint32_t xRes, const std::string& fileName, int bitsPerPixel) {
  if ((bitsPerPixel != 1 && bitsPerPixel != 8) || iWidth <= 0 || iLength < 0) return -1;
  const int64_t needed = (static_cast<int64_t>(bitsPerPixel) * iWidth + 7) / 8;
  if (lBytesPerLine < needed || (iLength > 0 && !buffer)) return -1;
  const _lbheader header = bmpHeader(iWidth, iLength, bitsPerPixel, xRes);
  const uint32_t stride = bmpStride(iWidth, bitsPerPixel);
  std::vector<uint8_t> rows(static_cast<std::size_t>(stride) * iLength, 0);
  for (int k = 0; k < iLength; ++k) {
    const uint8_t* source = buffer + static_cast<int64_t>(iLength - 1 - k) * lBytesPerLine;
    std::memcpy(&rows[static_cast<std::size_t>(k) * stride], source, needed);
  }
  return writebmp(fileName, header, get32(header, 10), rows.data(), stride);
}

}  // namespace ferrolite::dialog
