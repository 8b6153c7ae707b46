#pragma once
// The plug-in "KRCocoa.so" as its callers see it: the imprinter text drawn into a page, the
// Image Capture button watcher told to stop or go, and the JPEG decoder entry that the driver
// binds (and never calls).
#include <cstddef>
#include <cstdint>

extern "C" {
// Draws the text (UTF-16, host order, kKRCocoaTextUnits units at most, the record's length)
// into the image in place, as the 160-byte record says. 0 on success; -1 when an argument is
// unusable or the font cannot be read (the image is then unchanged).
using KRCocoaAddWaterMarkFn = long (*)(uint8_t* image, const uint16_t* text, const uint8_t* record);
// stop 1: the button watcher of the Image Capture module gives the scanner up; 0: takes it
// again. 0 when the notice went out.
using KRCocoaQueryICAButtonFn = long (*)(int32_t stop, const char* vendor);
}

inline constexpr const char* kKRCocoaLibraryName = "KRCocoa.so";
inline constexpr size_t kKRCocoaTextUnits = 256;  // the 512-byte text field

// Pixels of character height per unit of the record's font size. The data source writes the
// imprinter's size s (0 to 255, 5 by default) as s x 64 / 5 x dpi / 200, so each size step is
// 1/32 inch (0.8 mm) of character height at any resolution, and the default 5 about 4 mm.
inline constexpr double kKRCocoaPixelsPerSize = 125.0 / 256;

// The watermark record: offsets of its fields (host byte order; zero unless set).
inline constexpr size_t kWatermarkRecordSize = 160;
inline constexpr size_t kWmHollow = 0;       // f64: non-zero draws the characters' outlines only
inline constexpr size_t kWmFontSize = 8;     // f64: character height, kKRCocoaPixelsPerSize
inline constexpr size_t kWmImageKind = 16;   // i64: 0 colour (R, G, B), 1 grey, 2 one bit
inline constexpr size_t kWmWidth = 24;       // i64: pixels; rows are packed
inline constexpr size_t kWmLength = 32;      // i64: lines
inline constexpr size_t kWmInk = 40;         // i64: grey level of the ink (one bit: below 128
                                             // is black)
inline constexpr size_t kWmAngle = 48;       // i64: 0, 90, 180 or 270 degrees clockwise
inline constexpr size_t kWmTextLength = 56;  // i64: characters
inline constexpr size_t kWmOpacity = 64;     // i64: percent
inline constexpr size_t kWmPosition = 72;    // u8: 1 top, 2 middle, 4 bottom (centred across),
                                             // 5 at (x, y), the text's top-left corner
inline constexpr size_t kWmUnderline = 73;   // u8
inline constexpr size_t kWmBold = 74;        // u8
inline constexpr size_t kWmFixedWidth = 75;  // u8: the fixed-width face
inline constexpr size_t kWmVertical = 76;    // u8: characters stacked in a column, each turned
                                             // by angle - 90
inline constexpr size_t kWmX = 80;           // i64: pixels (position 5)
inline constexpr size_t kWmY = 88;           // i64: lines (position 5)

inline constexpr uint8_t kWmTop = 1, kWmMiddle = 2, kWmBottom = 4, kWmAt = 5;
