#include "ds/dialog/rotation/FlipSide.h"

namespace ferrolite::dialog {

bool enableFlipSide(uint8_t scanSource, const ImageTypeButtons& b) {
  if (scanSource == kSourceMergeTwoSides) return false;
  auto on = [&b](int mode) { return b.check(ImageRow::Image, mode).on; };
  const bool fixedFront = on(0) || on(2) || on(4);
  const bool fixedRear = on(1) || on(3) || on(5);
  return (fixedFront && fixedRear) || (on(6) && on(7));
}

}  // namespace ferrolite::dialog
