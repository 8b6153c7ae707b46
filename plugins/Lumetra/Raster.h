#pragma once
// The plug-in's working image: a copy of the caller's raster with packed rows, and the checks
// and copies between it and the caller's buffers as the record describes them.
#include <vantrel/nidata.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumetra {

// Msg and Status of one entry.
struct Result {
  long msg = 0;
  long status = 0;
  bool ok() const { return msg == 0; }
};
inline constexpr Result kOk{0, 0};
inline constexpr Result kNoRecord{-4003, -1013};
inline constexpr Result kBadNumber{-4003, -1007};
inline constexpr Result kBadMode{-4003, -1006};
inline constexpr Result kBadBuffer{-4007, -1018};
inline constexpr Result kNoMemory{-4001, -1012};
inline constexpr Result kUnsupportedBits{-4002, -1008};
inline constexpr Result kUnsupportedFormat{-4002, -1014};
inline constexpr Result kNothingFound{-4000, -1015};

// Bytes of a packed row.
inline size_t packedStride(int bits, int width) { return (size_t(bits) * size_t(width) + 7) / 8; }

// A raster of 1 (set bit white), 8 (grey) or 24 (R, G, B) bits a pixel, rows packed.
struct Raster {
  int width = 0;
  int height = 0;
  int bits = 8;
  std::vector<uint8_t> data;

  Raster() = default;
  Raster(int w, int h, int b, uint8_t fill = 0)
      : width(w), height(h), bits(b), data(packedStride(b, w) * size_t(h), fill) {}
  size_t stride() const { return packedStride(bits, width); }
  uint8_t* row(int y) { return data.data() + size_t(y) * stride(); }
  const uint8_t* row(int y) const { return data.data() + size_t(y) * stride(); }
  bool bit(int x, int y) const { return (row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
  void setBit(int x, int y, bool white) {
    uint8_t& b = row(y)[x >> 3];
    const uint8_t m = uint8_t(0x80 >> (x & 7));
    b = white ? uint8_t(b | m) : uint8_t(b & ~m);
  }
  // Grey value of a pixel: the byte, the luminance of a colour pixel, 255 or 0 for a bit.
  uint8_t grey(int x, int y) const;
};

// The data source's luminance weights, so a grey page made here matches one made there.
inline uint8_t luma(uint8_t r, uint8_t g, uint8_t b) { return uint8_t((3 * r + 6 * g + b) / 10); }

// One 8-bit plane (analysis images).
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> v;
  Plane() = default;
  Plane(int w, int h, uint8_t fill = 0) : width(w), height(h), v(size_t(w) * size_t(h), fill) {}
  uint8_t& at(int x, int y) { return v[size_t(y) * size_t(width) + size_t(x)]; }
  uint8_t at(int x, int y) const { return v[size_t(y) * size_t(width) + size_t(x)]; }
};
Plane greyPlane(const Raster& r);

// Fill colour of a record's output kind (Gray.BackgroundColor, Color.BackgroundColorR/G/B,
// BW.BackgroundColor for bits: non-zero is white).
struct Fill {
  uint8_t r = 255, g = 255, b = 255;
};
Fill fillOf(const NIDATA& ni, int bits);
void fillPixel(Raster& r, int x, int y, const Fill& f);

// Checks the record's input description and copies the image into a raster.
Result readInput(const void* src, const NIDATA* ni, Raster* out);
// A producing entry's output: a new block in *ppDes, ImageWidth and ImageHeight set.
Result produce(const Raster& r, void** ppDes, NIDATA* ni);
// An in-place entry's output: into *ppDes (else src), at most the input's bytes.
Result writeBack(const Raster& r, void* src, void** ppDes, NIDATA* ni);

// Quarter turns clockwise (0 to 3).
Raster turnClockwise(const Raster& r, int quarters);
// Colour or bits to 8-bit grey; grey stays.
Raster toGrey(const Raster& r);

}  // namespace lumetra
