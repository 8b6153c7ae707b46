#pragma once
// The barcode plug-in "Stripecode.so" as its callers see it.
//
// Search reads every symbol in a device-independent bitmap: a 40-byte header (size 40, width,
// height (positive: rows bottom to top; negative: top to bottom), 1 plane, 1, 8, 24 or 32 bits a
// pixel, no compression, image size, pixels a metre, colours used, colours important), the
// palette for 1 and 8 bits (B, G, R, 0 each), then the rows, each padded to 4 bytes, B, G, R
// order. `mask` is the set of type bits to look for (0: every symbology). It answers a block
// the caller frees with free(), or null when nothing was found or the bitmap is unusable, and
// writes the number of results:
//   u32 count; per result: u32 type bit, u32 text length, the UTF-8 text (not terminated),
//   u32 point count, that many (x, y) float pairs in pixels from the image's top-left corner.
#include <cstdint>

extern "C" {
using StripecodeSearchFn = void* (*)(const void* bitmap, uint32_t size, uint32_t mask,
                                     int32_t* count);
}

inline constexpr const char* kStripecodeLibraryName = "Stripecode.so";

// Type bits.
inline constexpr uint32_t kStripecodeAztec = 0x1;
inline constexpr uint32_t kStripecodeCodabar = 0x2;
inline constexpr uint32_t kStripecodeCode39 = 0x4;
inline constexpr uint32_t kStripecodeCode93 = 0x8;
inline constexpr uint32_t kStripecodeCode128 = 0x10;
inline constexpr uint32_t kStripecodeDataMatrix = 0x20;
inline constexpr uint32_t kStripecodeEan8 = 0x40;
inline constexpr uint32_t kStripecodeEan13 = 0x80;
inline constexpr uint32_t kStripecodeItf = 0x100;
inline constexpr uint32_t kStripecodeMaxiCode = 0x200;
inline constexpr uint32_t kStripecodePdf417 = 0x400;
inline constexpr uint32_t kStripecodeQrCode = 0x800;  // Micro QR codes answer it as well
inline constexpr uint32_t kStripecodeDataBar = 0x1000;
inline constexpr uint32_t kStripecodeDataBarExpanded = 0x2000;
inline constexpr uint32_t kStripecodeUpcA = 0x4000;
inline constexpr uint32_t kStripecodeUpcE = 0x8000;
