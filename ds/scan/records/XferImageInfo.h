#pragma once
// The description of one image as it passes between the scan layer, the post-processing, the
// transfers and the dialog's colour drop-out preview. Natural alignment.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct XferImageInfo {
  uint8_t bMode{};          // 0 black-and-white (1 bit), 1 grey (8 bits), 2 colour (24 bits)
  uint8_t bBitsPerPixel{};  // 1, 8 or 24
  uint32_t dwWidth{};       // pixels
  uint32_t dwLength{};      // lines
  uint16_t wXRes{};         // dots per inch
  uint16_t wYRes{};
  uint32_t dwBytesPerLine{};
  uint8_t bCompression{};  // 0 none
};

inline constexpr uint8_t kXferModeBW = 0;
inline constexpr uint8_t kXferModeGray = 1;
inline constexpr uint8_t kXferModeColor = 2;

static_assert(sizeof(XferImageInfo) == 24, "XferImageInfo is 24 bytes");
static_assert(offsetof(XferImageInfo, bMode) == 0);
static_assert(offsetof(XferImageInfo, bBitsPerPixel) == 1);
static_assert(offsetof(XferImageInfo, dwWidth) == 4);
static_assert(offsetof(XferImageInfo, dwLength) == 8);
static_assert(offsetof(XferImageInfo, wXRes) == 12);
static_assert(offsetof(XferImageInfo, wYRes) == 14);
static_assert(offsetof(XferImageInfo, dwBytesPerLine) == 16);
static_assert(offsetof(XferImageInfo, bCompression) == 20);

}  // namespace ferrolite
