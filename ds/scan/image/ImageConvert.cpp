// The pipeline's own conversions: colour to grey, grey to black and white, the tone table,
// halftone matrices and error diffusion.
#include <array>
#include <cmath>
#include <cstring>

#include "ds/scan/image/ImageRaster.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

using namespace image;

namespace {

constexpr int kMatrixSide = 8;
constexpr int kMatrixCells = kMatrixSide * kMatrixSide;
constexpr uint8_t kWhite = 255;
constexpr int kDiffusionSplit = 128;
constexpr int kGreyWeightR = 3, kGreyWeightG = 6, kGreyWeightB = 1, kGreyWeights = 10;

// The rows of the first two matrices that the scanners' tables fix; the other thresholds are an
// ordered-dither pattern, shifted per matrix so that each matrix differs.
constexpr uint8_t kFixedRows[2][2][kMatrixSide] = {
    {{127, 201, 174, 147, 120, 46, 73, 100}, {103, 83, 56, 110, 137, 157, 184, 130}},
    {{127, 140, 130, 144, 134, 147, 124, 137}, {154, 167, 157, 171, 161, 174, 151, 164}}};
constexpr uint8_t kBayer[kMatrixSide][kMatrixSide] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

std::array<uint8_t, kHalftoneMatrices * kMatrixCells> MakeHalftones() {
  std::array<uint8_t, kHalftoneMatrices * kMatrixCells> t{};
  for (int m = 0; m < kHalftoneMatrices; ++m) {
    for (int y = 0; y < kMatrixSide; ++y) {
      for (int x = 0; x < kMatrixSide; ++x) {
        uint8_t v;
        if (m < 2 && y < 2) {
          v = kFixedRows[m][y][x];
        } else if (m % 2 == 0) {
          v = uint8_t(kBayer[(y + m) % kMatrixSide][(x + 2 * m) % kMatrixSide] * 4 + 2);
        } else {
          // A softer matrix: thresholds gathered around the middle grey.
          v = uint8_t(64 + kBayer[(y + m) % kMatrixSide][(x + m) % kMatrixSide] * 2);
        }
        t[size_t(m * kMatrixCells + y * kMatrixSide + x)] = v;
      }
    }
  }
  return t;
}

const std::array<uint8_t, kHalftoneMatrices* kMatrixCells> kHalftones = MakeHalftones();

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

const uint8_t* halftoneTable() { return kHalftones.data(); }

bool TezFRLImageProcess::colorToGray(int channel) {
  XferImageInfo& info = xferImageInfo_;
  if (info.bBitsPerPixel != 24 || pXferBuffer_ == nullptr) return false;
  imageLog("ColorToGray", kLogIn, 1, channel);
  // Each grey line is shorter than its colour line: converting forward in place is safe.
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    const uint8_t* src = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    uint8_t* dst = pXferBuffer_ + uint64_t(y) * info.dwWidth;
    for (uint32_t x = 0; x < info.dwWidth; ++x) {
      const uint8_t* p = src + 3 * uint64_t(x);
      dst[x] = channel >= 1 && channel <= 3
                   ? p[channel - 1]
                   : uint8_t((kGreyWeightR * p[0] + kGreyWeightG * p[1] + kGreyWeightB * p[2]) /
                             kGreyWeights);
    }
  }
  setKind(info, kXferModeGray);
  imageLog("ColorToGray", kLogOut);
  return true;
}

bool TezFRLImageProcess::grayToLineart(int threshold) {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  if (info.bBitsPerPixel == 24) colorToGray(0);
  if (info.bBitsPerPixel != 8) return false;
  imageLog("GrayToLineart", kLogIn, 1, threshold);
  const uint32_t out = packedLine(1, info.dwWidth);
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    const uint8_t* src = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    uint8_t* dst = pXferBuffer_ + uint64_t(y) * out;
    // Bytes are built whole before they are stored: a line's first bytes share its storage.
    for (uint32_t byte = 0; byte < out; ++byte) {
      uint8_t bits = 0;
      for (uint32_t b = 0; b < 8; ++b) {
        const uint32_t x = byte * 8 + b;
        if (x >= info.dwWidth) break;
        const bool white = threshold <= 0 ? true : threshold >= 255 ? false : src[x] >= threshold;
        if (white) bits |= uint8_t(0x80 >> b);
      }
      dst[byte] = bits;
    }
  }
  setKind(info, kXferModeBW);
  imageLog("GrayToLineart", kLogOut);
  return true;
}

void TezFRLImageProcess::buildGammaTable(uint8_t* table, int brightness, int contrast, int gamma,
                                         bool invert) {
  int t[256];
  const int c = contrast * 127 / 100;
  for (int k = 0; k < 256; ++k) {
    if (c < 0) {
      t[k] = k * (255 + 2 * c) / 255 - c;
    } else if (k < c) {
      t[k] = 0;
    } else if (k < 255 - c) {
      t[k] = (k - c) * 255 / (255 - 2 * c);
    } else {
      t[k] = 255;
    }
  }
  const int b = brightness * 127 / 100;
  if (b != 0)
    for (int& v : t) v = Clamp(v + b);
  // A gamma of 0 would divide by zero: the table then keeps its tone.
  const double exponent = gamma > 0 ? 100.0 / gamma : 1.0;
  for (int k = 0; k < 256; ++k) {
    const int v = int(255.0 * std::pow(Clamp(t[k]) / 255.0, exponent) + 0.5);
    table[k] = uint8_t(invert ? 255 - Clamp(v) : Clamp(v));
  }
}

void TezFRLImageProcess::convertImage() {
  if (pXferBuffer_ == nullptr) return;
  const uint64_t n = imageBytes(xferImageInfo_);
  for (uint64_t i = 0; i < n; ++i) pXferBuffer_[i] = gammaTable_[pXferBuffer_[i]];
}

bool TezFRLImageProcess::halftoneDither(int matrix) {
  const XferImageInfo& info = xferImageInfo_;
  const uint8_t* m = halftoneTable() + matrix * kMatrixCells;
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    uint8_t* line = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    const uint8_t* row = m + (y % kMatrixSide) * kMatrixSide;
    for (uint32_t x = 0; x < info.dwWidth; ++x)
      line[x] = line[x] <= row[x % kMatrixSide] ? 0 : kWhite;
  }
  return true;
}

void TezFRLImageProcess::errorDiffusion() {
  const XferImageInfo& info = xferImageInfo_;
  imageLog("Error diffusion", kLogBlank);
  const uint32_t w = info.dwWidth, h = info.dwLength, stride = info.dwBytesPerLine;
  auto add = [&](uint32_t x, uint32_t y, int share) {
    uint8_t& p = pXferBuffer_[uint64_t(y) * stride + x];
    p = Clamp(p + share);
  };
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t& p = pXferBuffer_[uint64_t(y) * stride + x];
      const int old = p;
      const int now = old >= kDiffusionSplit ? kWhite : 0;
      p = uint8_t(now);
      const int e = old - now;
      if (x + 1 < w) add(x + 1, y, e * 7 / 16);
      if (y + 1 < h) {
        if (x > 0) add(x - 1, y + 1, e * 3 / 16);
        add(x, y + 1, e * 5 / 16);
        if (x + 1 < w) add(x + 1, y + 1, e / 16);
      }
    }
  }
}

bool TezFRLImageProcess::halftoneProcessing() {
  XferImageInfo& info = xferImageInfo_;
  if (pXferBuffer_ == nullptr) return false;
  if (info.bBitsPerPixel == 24) colorToGray(0);
  if (info.bBitsPerPixel != 8) return false;
  imageLog("halftoneProcessing", kLogIn);
  const int process = frontSide_ ? ui().bFBinaryProcess : ui().bRBinaryProcess;
  const int count = deviceAbility.HalftoneNum;
  if (process == count + 2) {
    errorDiffusion();
  } else {
    // The pattern number comes from the user, the matrix number from the device: either one
    // outside its table means the first matrix.
    const int pattern = process - 2;
    int matrix = pattern >= 0 && pattern < int(sizeof deviceAbility.HalftoneIndex)
                     ? deviceAbility.HalftoneIndex[pattern]
                     : 0;
    if (matrix < 0 || matrix >= kHalftoneMatrices) matrix = 0;
    imageLog("Halfton table index", kLogBlank, 1, matrix);
    halftoneDither(matrix);
  }
  imageLog("halftoneProcessing", kLogOut);
  return true;
}

}  // namespace ferrolite
