#include "plugins/Lumetra/Raster.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace lumetra {

namespace {
// Larger pages than this are refused before any allocation (about 150 inches at 1200 dpi).
constexpr uint64_t kMaxImageBytes = uint64_t(1) << 31;
}  // namespace

uint8_t Raster::grey(int x, int y) const {
  const uint8_t* p = row(y);
  switch (bits) {
    case 1:
      return bit(x, y) ? 255 : 0;
    case 8:
      return p[x];
    default:
      return luma(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
  }
}

Plane greyPlane(const Raster& r) {
  Plane p(r.width, r.height);
  for (int y = 0; y < r.height; ++y) {
    const uint8_t* s = r.row(y);
    uint8_t* d = p.v.data() + size_t(y) * size_t(p.width);
    if (r.bits == 8) {
      memcpy(d, s, size_t(r.width));
    } else if (r.bits == 24) {
      for (int x = 0; x < r.width; ++x) d[x] = luma(s[3 * x], s[3 * x + 1], s[3 * x + 2]);
    } else {
      for (int x = 0; x < r.width; ++x) d[x] = r.bit(x, y) ? 255 : 0;
    }
  }
  return p;
}

Fill fillOf(const NIDATA& ni, int bits) {
  const NIDATA_OutImage& o = ni.OutImage;
  if (bits == 24)
    return {o.Color.BackgroundColorR, o.Color.BackgroundColorG, o.Color.BackgroundColorB};
  if (bits == 8) return {o.Gray.BackgroundColor, o.Gray.BackgroundColor, o.Gray.BackgroundColor};
  const uint8_t v = o.BW.BackgroundColor ? 255 : 0;
  return {v, v, v};
}

void fillPixel(Raster& r, int x, int y, const Fill& f) {
  uint8_t* p = r.row(y);
  if (r.bits == 24) {
    p[3 * x] = f.r, p[3 * x + 1] = f.g, p[3 * x + 2] = f.b;
  } else if (r.bits == 8) {
    p[x] = f.r;
  } else {
    r.setBit(x, y, f.r != 0);
  }
}

Result readInput(const void* src, const NIDATA* ni, Raster* out) {
  if (!ni) return kNoRecord;
  if (!src) return kBadBuffer;
  const NIDATA_InImage& in = ni->InImage;
  if (in.ScanMode & 0x80) return kUnsupportedFormat;  // JPEG input: only JpegCrop takes it
  const int bits = in.BitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) return kUnsupportedBits;
  if (in.Pixel == 0 || in.Line == 0 || in.Pixel > 0x7FFFFFFF || in.Line > 0x7FFFFFFF)
    return kBadNumber;
  const size_t packed = packedStride(bits, int(in.Pixel));
  if (in.BytesPerLine < packed) return kBadNumber;
  if (uint64_t(in.BytesPerLine) * in.Line > kMaxImageBytes) return kNoMemory;
  try {
    *out = Raster(int(in.Pixel), int(in.Line), bits);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const uint8_t* s = static_cast<const uint8_t*>(src);
  for (uint32_t y = 0; y < in.Line; ++y)
    memcpy(out->row(int(y)), s + size_t(y) * in.BytesPerLine, packed);
  return kOk;
}

Result produce(const Raster& r, void** ppDes, NIDATA* ni) {
  if (!ppDes) return kBadBuffer;
  void* block = malloc(r.data.empty() ? 1 : r.data.size());
  if (!block) return kNoMemory;
  if (!r.data.empty()) memcpy(block, r.data.data(), r.data.size());
  *ppDes = block;
  ni->OutImage.ImageWidth = uint32_t(r.width);
  ni->OutImage.ImageHeight = uint32_t(r.height);
  if (r.bits == 1) ni->OutImage.BW.BytesPerLine = uint16_t(r.stride());
  return kOk;
}

Result writeBack(const Raster& r, void* src, void** ppDes, NIDATA* ni) {
  void* dst = (ppDes && *ppDes) ? *ppDes : src;
  if (!dst) return kBadBuffer;
  const uint64_t capacity = uint64_t(ni->InImage.BytesPerLine) * ni->InImage.Line;
  if (r.data.size() > capacity) return kBadBuffer;
  memmove(dst, r.data.data(), r.data.size());
  ni->OutImage.ImageWidth = uint32_t(r.width);
  ni->OutImage.ImageHeight = uint32_t(r.height);
  if (r.bits == 1) ni->OutImage.BW.BytesPerLine = uint16_t(r.stride());
  return kOk;
}

Raster turnClockwise(const Raster& r, int quarters) {
  quarters &= 3;
  if (quarters == 0) return r;
  const bool swap = quarters != 2;
  Raster out(swap ? r.height : r.width, swap ? r.width : r.height, r.bits);
  const int bpp = r.bits / 8;
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      int nx, ny;
      if (quarters == 1) {
        nx = r.height - 1 - y, ny = x;
      } else if (quarters == 2) {
        nx = r.width - 1 - x, ny = r.height - 1 - y;
      } else {
        nx = y, ny = r.width - 1 - x;
      }
      if (r.bits == 1) {
        out.setBit(nx, ny, r.bit(x, y));
      } else {
        memcpy(out.row(ny) + size_t(nx) * bpp, r.row(y) + size_t(x) * bpp, size_t(bpp));
      }
    }
  }
  return out;
}

Raster toGrey(const Raster& r) {
  if (r.bits == 8) return r;
  Plane p = greyPlane(r);
  Raster out(r.width, r.height, 8);
  out.data = std::move(p.v);
  return out;
}

}  // namespace lumetra
