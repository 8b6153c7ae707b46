#pragma once
// The few Leptonica images the plug-in builds: binary masks and grey planes, owned by smart
// pointers so that every exit frees them.
#include <leptonica/allheaders.h>

#include <memory>

#include "plugins/Lumetra/Raster.h"

namespace lumetra {

struct PixDeleter {
  void operator()(PIX* p) const { pixDestroy(&p); }
};
struct BoxaDeleter {
  void operator()(BOXA* p) const { boxaDestroy(&p); }
};
struct PixaDeleter {
  void operator()(PIXA* p) const { pixaDestroy(&p); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;
using BoxaPtr = std::unique_ptr<BOXA, BoxaDeleter>;
using PixaPtr = std::unique_ptr<PIXA, PixaDeleter>;

// Leptonica reports its own errors on stderr; the plug-in reports through its results.
void quietLeptonica();

// A 1-bit mask (set = foreground) of the plane's pixels for which keep(value) holds.
template <typename Keep>
PixPtr maskOf(const Plane& p, Keep keep) {
  PixPtr m(pixCreate(p.width, p.height, 1));
  if (!m) return m;
  l_uint32* data = pixGetData(m.get());
  const int wpl = pixGetWpl(m.get());
  for (int y = 0; y < p.height; ++y) {
    l_uint32* line = data + size_t(y) * size_t(wpl);
    const uint8_t* s = &p.v[size_t(y) * size_t(p.width)];
    for (int x = 0; x < p.width; ++x)
      if (keep(s[x])) SET_DATA_BIT(line, x);
  }
  return m;
}

inline bool maskBit(PIX* m, int x, int y) {
  const l_uint32* line = pixGetData(m) + size_t(y) * size_t(pixGetWpl(m));
  return GET_DATA_BIT(line, x) != 0;
}

// An 8-bit Leptonica image of the plane, and the plane of an 8-bit image.
PixPtr pix8Of(const Plane& p);
Plane planeOf(PIX* pix8);

}  // namespace lumetra
