#pragma once
// The imprinter text drawn into a page with FreeType and the packaged DejaVu faces.
#include <cstdint>

namespace krcocoa {

struct Style {
  int64_t kind = 0, width = 0, length = 0, angle = 0, chars = 0, x = 0, y = 0;
  int ink = 0, opacity = 100, pixels = 0;
  uint8_t position = 0;
  bool hollow = false, underline = false, bold = false, fixedWidth = false, vertical = false;
};

// The watermark record read and checked; false when it describes nothing drawable.
bool readStyle(const uint8_t* record, Style* style);
// Draws into the image (packed rows of the record's kind); false when the font cannot be read.
bool drawText(uint8_t* image, const uint16_t* text, const Style& style);

}  // namespace krcocoa
