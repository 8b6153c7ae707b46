#pragma once
// Bilinear reduction of an 8-bit grey or 24-bit colour raster in 11-bit fixed point, for pages the
// device scanned at a higher resolution than the host asked for.
#include <cstdint>

namespace icamodule {

inline constexpr int32_t kScaleOK = 0;
inline constexpr int32_t kScaleFailed = -1;

// Resamples src (srcWidth x srcHeight pixels, srcRowBytes a row) into *dst (dstWidth x dstHeight,
// dstRowBytes a row). When *dst is null the output is allocated with malloc and the caller frees
// it. kScaleFailed when memory cannot be had or the sizes are unusable (a size below 1, rows
// shorter than their pixels, or a destination larger than the source); nothing is written then.
// A bitsPerPixel other than 8 or 24 writes nothing and answers kScaleOK.
int32_t LMScaling(uint8_t* src, int32_t srcWidth, int32_t srcHeight, int32_t srcRowBytes,
                  uint8_t** dst, int32_t dstWidth, int32_t dstHeight, int32_t dstRowBytes,
                  int32_t bitsPerPixel);

}  // namespace icamodule
