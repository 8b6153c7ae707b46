#include "plugins/Lumetra/Lept.h"

#include <cstring>
#include <mutex>

namespace lumetra {

void quietLeptonica() {
  static std::once_flag once;
  std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
}

PixPtr pix8Of(const Plane& p) {
  PixPtr pix(pixCreate(p.width, p.height, 8));
  if (!pix) return pix;
  l_uint32* data = pixGetData(pix.get());
  const int wpl = pixGetWpl(pix.get());
  for (int y = 0; y < p.height; ++y) {
    l_uint32* line = data + size_t(y) * size_t(wpl);
    const uint8_t* s = &p.v[size_t(y) * size_t(p.width)];
    for (int x = 0; x < p.width; ++x) SET_DATA_BYTE(line, x, s[x]);
  }
  return pix;
}

Plane planeOf(PIX* pix8) {
  Plane p(int(pixGetWidth(pix8)), int(pixGetHeight(pix8)));
  const l_uint32* data = pixGetData(pix8);
  const int wpl = pixGetWpl(pix8);
  for (int y = 0; y < p.height; ++y) {
    const l_uint32* line = data + size_t(y) * size_t(wpl);
    for (int x = 0; x < p.width; ++x) p.at(x, y) = uint8_t(GET_DATA_BYTE(line, x));
  }
  return p;
}

}  // namespace lumetra
