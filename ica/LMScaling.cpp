#include "ica/LMScaling.h"

#include <cstdlib>

namespace icamodule {
namespace {

constexpr uint32_t kOne = 2048;  // 1.0 in 11-bit fixed point
constexpr int kFractionBits = 11;

struct Column {
  uint32_t offset;  // byte offset of the left source pixel
  uint32_t w0;
  uint32_t w1;
};

bool usableSizes(int32_t srcWidth, int32_t srcHeight, int32_t srcRowBytes, int32_t dstWidth,
                 int32_t dstHeight, int32_t dstRowBytes, int32_t bytesPerPixel) {
  if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1) return false;
  // Enlarging would put weight on neighbours past the source's last column or row.
  if (dstWidth > srcWidth || dstHeight > srcHeight) return false;
  const int64_t pixelBytes = bytesPerPixel > 0 ? bytesPerPixel : 0;
  return srcRowBytes >= srcWidth * pixelBytes && dstRowBytes >= dstWidth * pixelBytes &&
         dstRowBytes > 0;
}

// One output row. `below` is the next source row, or the same row where its weight is 0.
void scaleRow(const uint8_t* row, const uint8_t* below, uint8_t* out, const Column* columns,
              int32_t dstWidth, uint32_t bytesPerPixel, uint32_t lastOffset, uint32_t fy) {
  const uint32_t gy = kOne - fy;
  for (int32_t i = 0; i < dstWidth; ++i) {
    const Column& c = columns[i];
    // The right neighbour of the last source pixel has weight 0: read the pixel itself.
    const uint32_t right = c.offset < lastOffset ? c.offset + bytesPerPixel : c.offset;
    for (uint32_t k = 0; k < bytesPerPixel; ++k) {
      const uint32_t p = row[c.offset + k];
      const uint32_t r = row[right + k];
      if (fy == 0) {
        out[k] = static_cast<uint8_t>((c.w0 * p + c.w1 * r) >> kFractionBits);
      } else {
        const uint32_t d = below[c.offset + k];
        const uint32_t dr = below[right + k];
        out[k] = static_cast<uint8_t>((c.w0 * (gy * p + fy * d) + c.w1 * (gy * r + fy * dr)) >>
                                      (2 * kFractionBits));
      }
    }
    out += bytesPerPixel;
  }
}

}  // namespace

int32_t LMScaling(uint8_t* src, int32_t srcWidth, int32_t srcHeight, int32_t srcRowBytes,
                  uint8_t** dst, int32_t dstWidth, int32_t dstHeight, int32_t dstRowBytes,
                  int32_t bitsPerPixel) {
  const int32_t bytesPerPixel = bitsPerPixel / 8;
  if (dst == nullptr || src == nullptr ||
      !usableSizes(srcWidth, srcHeight, srcRowBytes, dstWidth, dstHeight, dstRowBytes,
                   bytesPerPixel)) {
    return kScaleFailed;
  }
  bool allocated = false;
  if (*dst == nullptr) {
    *dst = static_cast<uint8_t*>(
        std::malloc(static_cast<size_t>(dstRowBytes) * static_cast<size_t>(dstHeight)));
    if (*dst == nullptr) return kScaleFailed;
    allocated = true;
  }
  auto* columns = static_cast<Column*>(std::malloc(sizeof(Column) * static_cast<size_t>(dstWidth)));
  if (columns == nullptr) {
    if (allocated) {
      std::free(*dst);
      *dst = nullptr;
    }
    return kScaleFailed;
  }

  // x walks i * srcWidth / dstWidth by step and remainder; w1 is its fraction.
  const uint32_t width = static_cast<uint32_t>(dstWidth);
  const uint32_t step = static_cast<uint32_t>(srcWidth) / width;
  const uint32_t remainder = static_cast<uint32_t>(srcWidth) % width;
  const uint32_t b = static_cast<uint32_t>(bytesPerPixel);
  columns[0] = {0, kOne, 0};
  for (uint32_t i = 1, a = 0, x = 0; i < width; ++i) {
    a += remainder;
    if (a >= width) {
      x += step + 1;
      a -= width;
    } else {
      x += step;
    }
    const uint32_t w1 = a * kOne / width;
    columns[i] = {x * b, kOne - w1, w1};
  }

  if (bitsPerPixel == 8 || bitsPerPixel == 24) {
    const uint32_t height = static_cast<uint32_t>(dstHeight);
    const uint32_t rowStep = static_cast<uint32_t>(srcHeight) / height;
    const uint32_t rowRemainder = static_cast<uint32_t>(srcHeight) % height;
    const uint32_t lastOffset = static_cast<uint32_t>(srcWidth - 1) * b;
    const uint32_t lastRow = static_cast<uint32_t>(srcHeight - 1);
    for (uint32_t j = 0, v = 0, y = 0; j < height; ++j) {
      uint32_t fy = 0;
      if (j > 0) {
        v += rowRemainder;
        if (v >= height) {
          y += rowStep + 1;
          v -= height;
        } else {
          y += rowStep;
        }
        fy = v * kOne / height;
      }
      const uint8_t* row = src + static_cast<size_t>(y) * static_cast<size_t>(srcRowBytes);
      // The row below the last one has weight 0: read the row itself.
      const uint8_t* below = y < lastRow ? row + srcRowBytes : row;
      scaleRow(row, below, *dst + static_cast<size_t>(j) * static_cast<size_t>(dstRowBytes),
               columns, dstWidth, b, lastOffset, fy);
    }
  }
  std::free(columns);
  return kScaleOK;
}

}  // namespace icamodule
