// Raster geometry of the working image: resolution down and up, quarter turns, mirror, flip,
// invert, the width cut to a multiple, and edge extension.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ds/scan/image/ImageRaster.h"
#include "ds/scan/image/TezFRLImageProcess.h"

namespace ferrolite {

using namespace image;

namespace {

constexpr uint64_t kUnit = 1000000;  // the fixed-point unit of the resolution tables

// Line bytes of a width in the description's kind (grey and colour packed, 1 bit rounded up).
uint32_t LineBytes(const XferImageInfo& info, uint32_t width) {
  return packedLine(info.bBitsPerPixel, width);
}

// A size the settings ask for that no 32-bit buffer can hold is refused before any arithmetic
// wraps.
bool FitsABuffer(const XferImageInfo& info, uint64_t width, uint64_t length) {
  if (width > UINT32_MAX || length > UINT32_MAX) return false;
  return (width * info.bBitsPerPixel + 7) / 8 * length <= UINT32_MAX;
}

std::string ResText(uint32_t from, uint32_t to) {
  return "SrcRes=" + std::to_string(from) + ", DesRes=" + std::to_string(to);
}

}  // namespace

void TezFRLImageProcess::setWorkingImage(const XferImageInfo& info, uint8_t* buffer,
                                         uint32_t allocSize) {
  xferImageInfo_ = info;
  pXferBuffer_ = buffer;
  allocSize_ = allocSize;
}

bool TezFRLImageProcess::replaceImage(const uint8_t* data, uint64_t size) {
  if (size > UINT32_MAX) return false;
  if (size > allocSize_ || pXferBuffer_ == nullptr) {
    auto* grown =
        static_cast<uint8_t*>(std::realloc(pXferBuffer_, size_t(std::max<uint64_t>(size, 1))));
    if (grown == nullptr) return false;
    pXferBuffer_ = grown;
    allocSize_ = uint32_t(size);
  }
  if (size != 0) std::memmove(pXferBuffer_, data, size_t(size));
  return true;
}

bool TezFRLImageProcess::takeResized(const std::vector<uint8_t>& image, uint32_t width,
                                     uint32_t length, uint32_t line, uint32_t res) {
  if (!replaceImage(image.data(), image.size())) return false;
  XferImageInfo& info = xferImageInfo_;
  info.dwWidth = width;
  info.dwLength = length;
  info.dwBytesPerLine = line;
  info.wXRes = info.wYRes = uint16_t(res);
  return true;
}

bool TezFRLImageProcess::deleteXYPixel(uint32_t res) {
  XferImageInfo& info = xferImageInfo_;
  if (info.wXRes <= res || res == 0 || info.wYRes == 0 || pXferBuffer_ == nullptr) return true;
  imageLog("deleteXYPixel", kLogIn);
  imageLog(ResText(info.wXRes, res), kLogBlank);
  const uint32_t w = info.dwWidth, h = info.dwLength;
  const uint32_t newH = uint32_t(uint64_t(h) * res / info.wYRes);
  const uint32_t newW = uint32_t(uint64_t(w) * res / info.wXRes);
  const uint32_t newLine = LineBytes(info, newW);
  const uint32_t bpp = info.bBitsPerPixel / 8;
  const bool bw = info.bBitsPerPixel == 1;

  // openScale: the line table and the two line buffers.
  std::vector<uint64_t> p;
  std::vector<uint8_t> prev, cur, blend, out;
  try {
    p.assign(size_t(h) + 10, kUnit);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!allocate(prev, info.dwBytesPerLine) || !allocate(cur, info.dwBytesPerLine) ||
      !allocate(blend, info.dwBytesPerLine) || !allocate(out, uint64_t(newLine) * newH))
    return false;
  if (h != 1 && h != 2 && newH > 0) {
    const uint64_t step = (uint64_t(newH) - 1) * kUnit / (h - 1);
    for (uint32_t i = 0; i + 3 <= h; ++i) {
      p[i + 1] = p[i] + step;
      if (p[i + 1] >= kUnit + 1) p[i + 1] = p[i] % kUnit + step;
    }
  }
  for (size_t i = h ? h - 1 : 0; i < p.size(); ++i) p[i] = kUnit;

  // deleteXPoints: one output line from a blended source line.
  const double stepX = double(float(newW) * float(kUnit) / float(w ? w : 1));
  auto shrinkLine = [&](const uint8_t* src, uint8_t* dst) {
    if (newW == 0) return;
    if (bw) {
      std::memset(dst, 0, newLine);
      for (uint32_t x = 0; x < newW; ++x)
        putBit(dst, x, bitAt(src, uint32_t(double(x) * w / newW)));
      return;
    }
    for (uint32_t c = 0; c < bpp; ++c) dst[c] = src[c];
    uint64_t counter = uint64_t(stepX);
    uint32_t sp = 1;
    for (uint32_t x = 1; x < newW; ++x) {
      while (counter < kUnit) {
        counter += uint64_t(stepX);
        ++sp;
      }
      const uint32_t at = std::min(sp, w - 1);
      const uint64_t r = counter - kUnit;
      for (uint32_t c = 0; c < bpp; ++c)
        dst[x * bpp + c] =
            uint8_t((r * src[(at - 1) * bpp + c] + (kUnit - r) * src[at * bpp + c]) / kUnit);
      counter = r;
    }
  };

  // deleteYLines.
  uint32_t written = 0;
  for (uint32_t y = 0; y < h; ++y) {
    std::memcpy(cur.data(), pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine, info.dwBytesPerLine);
    uint64_t value = p[y];
    while (value >= kUnit && written < newH) {
      value -= kUnit;
      const uint8_t* line = cur.data();
      if (!bw) {
        for (uint32_t i = 0; i < info.dwBytesPerLine; ++i)
          blend[i] = uint8_t((value * prev[i] + (kUnit - value) * cur[i]) / kUnit);
        line = blend.data();
      }
      shrinkLine(line, out.data() + uint64_t(written) * newLine);
      ++written;
    }
    std::swap(prev, cur);
  }
  if (!takeResized(out, newW, newH, newLine, res)) return false;
  imageLog("deleteXYPixel", kLogOut);
  return true;
}

bool TezFRLImageProcess::insertXYPixel(uint32_t res) {
  XferImageInfo& info = xferImageInfo_;
  if (info.wXRes >= res || info.wXRes == 0 || info.wYRes == 0 || pXferBuffer_ == nullptr)
    return true;
  imageLog("insertXYPixel", kLogIn);
  imageLog(ResText(info.wXRes, res), kLogBlank);
  const bool bw = info.bBitsPerPixel == 1;
  if (bw && !pixelBoundary(8)) return false;
  const uint32_t w = info.dwWidth, h = info.dwLength;
  if (w == 0 || h == 0) return true;
  const uint64_t wideW = uint64_t(w) * res / info.wXRes, wideH = uint64_t(h) * res / info.wYRes;
  if (!FitsABuffer(info, wideW, wideH)) return false;
  const uint32_t newW = uint32_t(wideW), newH = uint32_t(wideH);
  const uint32_t newLine = LineBytes(info, newW);
  const uint32_t bpp = info.bBitsPerPixel / 8;
  std::vector<uint8_t> out;
  if (!allocate(out, uint64_t(newLine) * newH)) return false;
  // Corners aligned; a side of one pixel samples its nearest pixel (nothing to divide by).
  auto source = [](uint32_t i, uint32_t from, uint32_t to) {
    return to > 1 ? double(i) * (from - 1) / (to - 1) : 0.0;
  };
  const uint8_t* src = pXferBuffer_;
  const uint32_t stride = info.dwBytesPerLine;
  for (uint32_t y = 0; y < newH; ++y) {
    const double sy = source(y, h, newH);
    const uint32_t y0 = std::min(uint32_t(sy), h - 1), y1 = std::min(y0 + 1, h - 1);
    const double fy = sy - y0;
    uint8_t* dst = out.data() + uint64_t(y) * newLine;
    for (uint32_t x = 0; x < newW; ++x) {
      const double sx = source(x, w, newW);
      const uint32_t x0 = std::min(uint32_t(sx), w - 1), x1 = std::min(x0 + 1, w - 1);
      const double fx = sx - x0;
      const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy,
                   w11 = fx * fy;
      const uint8_t* l0 = src + uint64_t(y0) * stride;
      const uint8_t* l1 = src + uint64_t(y1) * stride;
      if (bw) {
        const double sum =
            w00 * bitAt(l0, x0) + w10 * bitAt(l0, x1) + w01 * bitAt(l1, x0) + w11 * bitAt(l1, x1);
        putBit(dst, x, sum > 0.5);
      } else {
        for (uint32_t c = 0; c < bpp; ++c)
          dst[x * bpp + c] = uint8_t(w00 * l0[x0 * bpp + c] + w10 * l0[x1 * bpp + c] +
                                     w01 * l1[x0 * bpp + c] + w11 * l1[x1 * bpp + c]);
      }
    }
  }
  if (!takeResized(out, newW, newH, newLine, res)) return false;
  imageLog("insertXYPixel", kLogOut);
  return true;
}

bool TezFRLImageProcess::rotateImage(XferImageInfo* info, uint8_t** buffer, int rotation,
                                     bool fanfold) {
  const XferImageInfo savedInfo = xferImageInfo_;
  uint8_t* const savedBuffer = pXferBuffer_;
  const uint32_t savedSize = allocSize_;
  if (info != nullptr && buffer != nullptr)
    setWorkingImage(*info, *buffer, uint32_t(std::min<uint64_t>(imageBytes(*info), UINT32_MAX)));
  bool ok = true;
  switch (rotation) {
    case 0:
      ok = fanfold ? rotate180Image() : true;
      break;
    case 1:
      ok = fanfold ? rotateCCW90Image() : rotateCW90Image();
      break;
    case 2:
      ok = fanfold ? true : rotate180Image();
      break;
    case 3:
      ok = fanfold ? rotateCW90Image() : rotateCCW90Image();
      break;
    default:
      break;
  }
  if (info != nullptr && buffer != nullptr) {
    *info = xferImageInfo_;
    *buffer = pXferBuffer_;
    setWorkingImage(savedInfo, savedBuffer, savedSize);
  }
  return ok;
}

bool TezFRLImageProcess::rotate180Image() { return flipImage() && mirrorImage(); }

bool TezFRLImageProcess::rotateCCW90Image() {
  return rotateCW90Image() && flipImage() && mirrorImage();
}

bool TezFRLImageProcess::rotateCW90Image() {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  imageLog("rotate90Image", kLogIn);
  const bool bw = info.bBitsPerPixel == 1;
  const uint32_t w = info.dwWidth;
  const uint32_t h = bw ? info.dwLength - info.dwLength % 8 : info.dwLength;
  const uint32_t bpp = info.bBitsPerPixel / 8;
  const uint32_t newLine = bw ? h / 8 : h * bpp;
  std::vector<uint8_t> out;
  if (!allocate(out, uint64_t(newLine) * w)) return false;
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* src = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    const uint32_t column = h - 1 - y;
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* dst = out.data() + uint64_t(x) * newLine;
      if (bw) {
        putBit(dst, column, bitAt(src, x));
      } else {
        std::memcpy(dst + uint64_t(column) * bpp, src + uint64_t(x) * bpp, bpp);
      }
    }
  }
  if (!replaceImage(out.data(), out.size())) return false;
  info.dwWidth = h;
  info.dwLength = w;
  info.dwBytesPerLine = newLine;
  std::swap(info.wXRes, info.wYRes);
  imageLog("rotate90Image", kLogOut);
  return true;
}

bool TezFRLImageProcess::mirrorImage() {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  imageLog("mirroImage", kLogIn);
  const bool bw = info.bBitsPerPixel == 1;
  if (bw && !pixelBoundary(8)) return false;
  const uint32_t bpp = info.bBitsPerPixel / 8;
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    uint8_t* line = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    if (bw) {
      const uint32_t n = info.dwWidth / 8;
      std::reverse(line, line + n);
      for (uint32_t i = 0; i < n; ++i) {
        uint8_t b = line[i], r = 0;
        for (int k = 0; k < 8; ++k) r = uint8_t((r << 1) | ((b >> k) & 1));
        line[i] = r;
      }
    } else {
      for (uint32_t a = 0, b = info.dwWidth ? info.dwWidth - 1 : 0; a < b; ++a, --b)
        std::swap_ranges(line + uint64_t(a) * bpp, line + uint64_t(a + 1) * bpp,
                         line + uint64_t(b) * bpp);
    }
  }
  imageLog("mirroImage", kLogOut);
  return true;
}

bool TezFRLImageProcess::flipImage() {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  std::vector<uint8_t> line;
  if (!allocate(line, info.dwBytesPerLine)) return false;
  const uint64_t stride = info.dwBytesPerLine;
  for (uint32_t a = 0, b = info.dwLength ? info.dwLength - 1 : 0; a < b; ++a, --b) {
    std::memcpy(line.data(), pXferBuffer_ + a * stride, stride);
    std::memcpy(pXferBuffer_ + a * stride, pXferBuffer_ + b * stride, stride);
    std::memcpy(pXferBuffer_ + b * stride, line.data(), stride);
  }
  return true;
}

bool TezFRLImageProcess::invertImage() {
  if (pXferBuffer_ == nullptr) return false;
  imageLog("invertImage", kLogIn);
  const uint64_t n = imageBytes(xferImageInfo_);
  for (uint64_t i = 0; i < n; ++i) pXferBuffer_[i] = uint8_t(~pXferBuffer_[i]);
  imageLog("invertImage", kLogOut);
  return true;
}

bool TezFRLImageProcess::pixelBoundary(uint32_t n) {
  XferImageInfo& info = xferImageInfo_;
  if (n == 0 || info.dwWidth % n == 0) return true;
  if (pXferBuffer_ == nullptr) return false;
  imageLog("pixelBoundary times", kLogBlank, 1, n);
  const uint32_t width = info.dwWidth - info.dwWidth % n;
  const uint32_t line = LineBytes(info, width);
  // The new lines are never longer than the old ones: moving forward in place is safe.
  for (uint32_t y = 0; y < info.dwLength; ++y)
    std::memmove(pXferBuffer_ + uint64_t(y) * line,
                 pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine, line);
  info.dwWidth = width;
  info.dwBytesPerLine = line;
  return true;
}

bool TezFRLImageProcess::edgeExtend() {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  const ScanSetting& s = ui();
  const uint8_t fill = s.bEdgeColor ? 0 : 255;
  // Edge widths are millimetres, as the dialog sets them.
  auto pixels = [&](uint16_t mm) { return uint32_t(uint64_t(mm) * info.wXRes * 10 / 254); };
  const uint32_t left = pixels(s.wLeftEdge), top = pixels(s.wTopEdge), right = pixels(s.wRightEdge),
                 bottom = pixels(s.wBottomEdge);
  const bool bw = info.bBitsPerPixel == 1;
  if (bw && !pixelBoundary(8)) return false;
  const uint64_t wideW = uint64_t(info.dwWidth) + left + right;
  const uint64_t wideH = uint64_t(info.dwLength) + top + bottom;
  if (!FitsABuffer(info, wideW, wideH)) return false;
  const uint32_t newW = uint32_t(wideW), newH = uint32_t(wideH);
  const uint32_t newLine = LineBytes(info, newW);
  const uint32_t bpp = info.bBitsPerPixel / 8;
  std::vector<uint8_t> out;
  if (!allocate(out, uint64_t(newLine) * newH, fill)) return false;
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    const uint8_t* src = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    uint8_t* dst = out.data() + uint64_t(y + top) * newLine;
    if (bw) {
      for (uint32_t x = 0; x < info.dwWidth; ++x) putBit(dst, x + left, bitAt(src, x));
    } else {
      std::memcpy(dst + uint64_t(left) * bpp, src, uint64_t(info.dwWidth) * bpp);
    }
  }
  if (out.size() > allocSize_) imageLog("Reallocated buffer size", kLogBlank, 1, out.size());
  if (!replaceImage(out.data(), out.size())) return false;
  info.dwWidth = newW;
  info.dwLength = newH;
  info.dwBytesPerLine = newLine;
  return true;
}

}  // namespace ferrolite
