#pragma once
// The rotation page's flip-side rule: the back side can be flipped only when both sides make
// an image of a fixed type, or both make automatic-colour images, and never when two sides are
// merged into one.
#include <cstdint>

#include "ds/dialog/image/ImageTypeButtons.h"

namespace ferrolite::dialog {

bool enableFlipSide(uint8_t scanSource, const ImageTypeButtons& buttons);

// optionTabFlipSide: 1 Fanfold for any column but the first, 0 Book.
inline uint8_t flipSideOfColumn(int64_t column) { return column != 0 ? 1 : 0; }

}  // namespace ferrolite::dialog
