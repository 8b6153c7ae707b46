// Stages that change how a pixel is coded: widening, packing, colour to grey, grey to one bit,
// YCC to colour and back, sensor-layout packing and a software gamma.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "drv/engine/ImageProcessStage.h"

namespace {

// trunc(v) as a 32-bit integer; values outside the range (or not numbers) saturate.
int32_t TruncToInt32(double v) {
  // Held within the range first (without a branch), the conversion is always defined.
  v = v == v ? v : 0;
  v = v < -2147483648.0 ? -2147483648.0 : v;
  return static_cast<int32_t>(v > 2147483647.0 ? 2147483647.0 : v);
}

uint32_t TruncToUInt32(double v) {
  if (!(v > 0)) return 0;
  if (v >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(v);
}

void DoubleEachByte(CImageProcess_StageInformation* stage) {
  const uint32_t n = stage->dwInputSize;
  if (!StageOutput(stage, uint64_t{n} * 2)) return;
  const uint8_t* in = stage->pInput;
  uint8_t* out = stage->pOutput;
  for (uint32_t i = 0; i < n; ++i) {
    out[2 * i] = in[i];
    out[2 * i + 1] = in[i];
  }
}

struct ColorToGrayPrivate {
  uint8_t blWeighted;
  uint8_t bChannel;
  uint32_t dwScale;
  uint32_t dwWeight[3];
};

constexpr uint32_t kGreyScale = 10000;

// Grey values of the block's whole pixels, each written `copies` times.
void ColorToGray(CImageProcess_StageInformation* stage, uint32_t copies) {
  const ColorToGrayPrivate priv = *StagePrivate<ColorToGrayPrivate>(stage);
  const uint32_t pixels = stage->dwInputSize / 3;
  if (!StageOutput(stage, uint64_t{pixels} * copies)) return;
  const uint8_t* in = stage->pInput;
  uint8_t* out = stage->pOutput;
  if (!priv.blWeighted) {
    for (uint32_t i = 0; i < pixels; ++i) {
      for (uint32_t c = 0; c < copies; ++c) out[i * copies + c] = in[3 * i + priv.bChannel];
    }
    return;
  }
  const uint64_t wr = priv.dwWeight[0], wg = priv.dwWeight[1], wb = priv.dwWeight[2];
  for (uint32_t i = 0; i < pixels; ++i) {
    const uint64_t grey = (wr * in[3 * i] + wg * in[3 * i + 1] + wb * in[3 * i + 2]) / kGreyScale;
    const uint8_t v = grey > 255 ? 255 : static_cast<uint8_t>(grey);
    for (uint32_t c = 0; c < copies; ++c) out[i * copies + c] = v;
  }
}

// Output of the one-bit stages: one bit per whole pixel, 1 (black) until a pixel clears it.
bool OneBitOutput(CImageProcess_StageInformation* stage, uint64_t pixels) {
  if (!StageOutput(stage, pixels / 8)) return false;
  std::memset(stage->pOutput, 0xFF, stage->dwOutputSize);
  return true;
}

struct HalftonePrivate {
  uint32_t dwLineCounter;
  uint8_t Matrix[64];
};

struct ErrorDiffusionPrivate {
  uint32_t dwLineCounter;
  int16_t* pErrorRows;
  int16_t* pAbove;      // per pixel of the current line: e1 + 5·e5 + 3·e3 from the line above
  int16_t* pKeep;       // per pixel: -1 to take that error, 0 on an edge
  int16_t* pKeepBelow;  // the same for the line below, when two lines run side by side
};

struct YCCPrivate {
  int32_t cR, cGr, cGb, cB;
  int32_t dwScale;
};

constexpr int32_t kYCCScale = 2000;
constexpr int kOutTableLow = -384;
constexpr int kOutTableSize = 1024;  // -384 .. 639
// How far chroma can move a colour value and still be told apart by the output tables.
constexpr int64_t kChromaReach = 384;

struct TrestleYCCPrivate {
  uint8_t OutTable[3][kOutTableSize];
  // What each chroma byte adds to the luma: red from Cr and blue from Cb, already divided by the
  // scale; green needs both, so each keeps its product until their sum is divided.
  int16_t RedFromCr[256];
  int16_t BlueFromCb[256];
  int64_t GreenFromCr[256];
  int64_t GreenFromCb[256];
};

// (scale * Y + c) / scale, rounded toward zero and clamped to 0..255, is Y + floor(c / scale)
// clamped: the two differ only where both are below 0. So the chroma term is divided on its
// own, rounded down, and held within the output tables' reach; held first and raised to be
// positive, it divides without a branch on its sign.
int16_t ChromaOffset(int64_t c) {
  constexpr int64_t kHeld = kChromaReach * kYCCScale;
  const int64_t held = c < -kHeld ? -kHeld : (c > kHeld ? kHeld : c);
  return static_cast<int16_t>(static_cast<uint32_t>(held + kHeld) / kYCCScale - kChromaReach);
}

void ComputeYCCCoefficients(const CImageProcess_Parameter_YCCToC24* p, YCCPrivate* c) {
  c->dwScale = kYCCScale;
  c->cR = TruncToInt32(kYCCScale * (2 - 2 * p->Kr));
  c->cGr = TruncToInt32(kYCCScale * (-2 * (p->Kr - p->Kr * p->Kr) / p->Kg));
  c->cGb = TruncToInt32(kYCCScale * (-2 * (p->Kb - p->Kb * p->Kb) / p->Kg));
  c->cB = TruncToInt32(kYCCScale * (2 - 2 * p->Kb));
}

// The three colour values of one pixel, before clamping.
inline void YCCToRGB(const YCCPrivate& c, int32_t y, int32_t cr, int32_t cb, int32_t rgb[3]) {
  const int64_t base = int64_t{c.dwScale} * y;
  rgb[0] = static_cast<int32_t>((base + int64_t{c.cR} * cr) / c.dwScale);
  rgb[1] = static_cast<int32_t>((base + int64_t{c.cGr} * cr + int64_t{c.cGb} * cb) / c.dwScale);
  rgb[2] = static_cast<int32_t>((base + int64_t{c.cB} * cb) / c.dwScale);
}

// One u32 count followed by that many source offsets: the packing stages' index table.
uint32_t* CreateIndexTable(CImageProcess_StageInformation* stage, uint64_t entries) {
  if (entries > (uint64_t{1} << 28)) {
    stage->lStatus = kImageProcessMemoryError;
    return nullptr;
  }
  auto* table = static_cast<uint32_t*>(ImageProcessCalloc(entries + 1, sizeof(uint32_t)));
  stage->pPrivate = table;
  if (table == nullptr) {
    stage->lStatus = kImageProcessMemoryError;
    return nullptr;
  }
  table[0] = static_cast<uint32_t>(entries);
  return table + 1;
}

// Reverses the order of the table's pixels (groups of bytesPerPixel entries).
void MirrorPixels(uint32_t* entries, uint32_t count, uint32_t bytesPerPixel) {
  if (bytesPerPixel == 0) return;
  const uint32_t pixels = count / bytesPerPixel;
  for (uint32_t a = 0, b = pixels; a + 1 < b; ++a) {
    --b;
    for (uint32_t k = 0; k < bytesPerPixel; ++k) {
      std::swap(entries[a * bytesPerPixel + k], entries[b * bytesPerPixel + k]);
    }
  }
}

// Each output line is outLineBytes taken through the table from offset `first`; entries past
// the table's end give 255.
void PackThroughTable(CImageProcess_StageInformation* stage, uint64_t inLineBytes, uint64_t first,
                      uint64_t outLineBytes) {
  const uint32_t* priv = StagePrivate<uint32_t>(stage);
  const uint32_t count = priv[0];
  const uint32_t* table = priv + 1;
  const uint32_t lines = WholeUnits(stage->dwInputSize, inLineBytes);
  if (!StageOutput(stage, outLineBytes * lines)) return;
  uint8_t* out = stage->pOutput;
  for (uint32_t l = 0; l < lines; ++l) {
    const uint8_t* in = stage->pInput + l * inLineBytes;
    for (uint64_t i = 0; i < outLineBytes; ++i) {
      const uint64_t idx = first + i;
      *out++ = idx < count ? in[table[idx]] : 255;
    }
  }
}

}  // namespace

void CImageProcess::DoC24ToC48(CImageProcess_StageInformation* stage) { DoubleEachByte(stage); }
void CImageProcess::DoG8ToG16(CImageProcess_StageInformation* stage) { DoubleEachByte(stage); }

namespace {
// Lines of W pixels between three planes (red, green, blue) and interleaved pixels.
void InterleavePlanes(CImageProcess_StageInformation* stage, bool planesToPixels) {
  const uint32_t w = StageParameter<CImageProcess_Parameter_Width>(stage)->Pixel;
  const uint64_t lineBytes = uint64_t{w} * 3;
  const uint32_t lines = WholeUnits(stage->dwInputSize, lineBytes);
  if (!StageOutput(stage, lineBytes * lines)) return;
  for (uint32_t l = 0; l < lines; ++l) {
    const uint8_t* in = stage->pInput + l * lineBytes;
    uint8_t* out = stage->pOutput + l * lineBytes;
    for (uint32_t x = 0; x < w; ++x) {
      for (uint32_t c = 0; c < 3; ++c) {
        const uint64_t plane = uint64_t{c} * w + x, pixel = 3 * uint64_t{x} + c;
        if (planesToPixels) {
          out[pixel] = in[plane];
        } else {
          out[plane] = in[pixel];
        }
      }
    }
  }
}
}  // namespace

void CImageProcess::DoRX417ColorPack(CImageProcess_StageInformation* stage) {
  InterleavePlanes(stage, true);
}
void CImageProcess::DoBackgroundColorUnpack(CImageProcess_StageInformation* stage) {
  InterleavePlanes(stage, false);
}

void CImageProcess::DoSWGamma(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_SWGamma>(stage);
  const uint32_t samples = p->dwSamplesPerPixel;
  // Only one or three samples have tables; any other count converts nothing.
  const uint64_t lineBytes =
      (samples == 1 || samples == 3) ? uint64_t{samples} * p->dwPixelsPerLine : 0;
  const uint32_t lines = WholeUnits(stage->dwInputSize, lineBytes);
  const uint64_t total = lineBytes * lines;
  if (!StageOutput(stage, total)) return;
  const uint8_t* in = stage->pInput;
  uint8_t* out = stage->pOutput;
  if (samples == 1) {
    for (uint64_t i = 0; i < total; ++i) out[i] = p->Table[0][in[i]];
  } else {
    for (uint64_t i = 0; i < total; i += 3) {
      out[i] = p->Table[0][in[i]];
      out[i + 1] = p->Table[1][in[i + 1]];
      out[i + 2] = p->Table[2][in[i + 2]];
    }
  }
}

void CImageProcess::InitColorToGray(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_ColorToGray>(stage);
  auto* priv = StageCreatePrivate<ColorToGrayPrivate>(stage);
  if (priv == nullptr) return;
  if (p->ColorFilter >= 1 && p->ColorFilter <= 3) {
    priv->blWeighted = 0;
    priv->bChannel = static_cast<uint8_t>(p->ColorFilter - 1);
  } else {
    priv->blWeighted = 1;
    priv->dwScale = kGreyScale;
    priv->dwWeight[0] = TruncToUInt32(10000 * p->CofficientR);
    priv->dwWeight[1] = TruncToUInt32(10000 * p->CofficientG);
    priv->dwWeight[2] = TruncToUInt32(10000 * p->CofficientB);
  }
}

void CImageProcess::DoC24ToG8(CImageProcess_StageInformation* stage) { ColorToGray(stage, 1); }
void CImageProcess::DoC24ToG16(CImageProcess_StageInformation* stage) { ColorToGray(stage, 2); }

void CImageProcess::DoG8ToLineart(CImageProcess_StageInformation* stage) {
  const uint8_t threshold = StageParameter<CImageProcess_Parameter_G8ToLineart>(stage)->bThreshold;
  if (!OneBitOutput(stage, stage->dwInputSize)) return;
  const uint8_t* in = stage->pInput;
  uint8_t* out = stage->pOutput;
  const uint32_t bytes = stage->dwOutputSize;
  for (uint32_t byte = 0; byte < bytes; ++byte, in += 8) {
    uint32_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint32_t>(in[bit] <= threshold) << (7 - bit);
    out[byte] = static_cast<uint8_t>(v);
  }
}

void CImageProcess::InitG8ToHalftone(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_G8ToHalftone>(stage);
  auto* priv = StageCreatePrivate<HalftonePrivate>(stage);
  if (priv == nullptr) return;
  if (p->blCustomHalftoneTable) {
    std::memcpy(priv->Matrix, p->CustomTable, 64);
  } else {
    const uint8_t index = p->bTableIndex > 15 ? 0 : p->bTableIndex;
    std::memcpy(priv->Matrix, CImageProcess_HalftoneTable[index], 64);
  }
}

void CImageProcess::ResetG8ToHalftone(CImageProcess_StageInformation* stage) {
  StagePrivate<HalftonePrivate>(stage)->dwLineCounter = 0;
}

void CImageProcess::DoG8ToHalftone(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<HalftonePrivate>(stage);
  const uint32_t w = StageParameter<CImageProcess_Parameter_G8ToHalftone>(stage)->Pixel;
  const uint32_t lines = WholeUnits(stage->dwInputSize, w);
  const uint64_t pixels = uint64_t{lines} * w;
  if (!OneBitOutput(stage, pixels)) return;
  const uint64_t used = uint64_t{stage->dwOutputSize} * 8;
  const uint8_t* in = stage->pInput;
  uint8_t* out = stage->pOutput;
  const uint32_t firstRow = priv->dwLineCounter;
  uint8_t matrix[64];
  std::memcpy(matrix, priv->Matrix, sizeof matrix);
  uint64_t i = 0;
  uint32_t v = 0;
  for (uint32_t l = 0; l < lines && i < used; ++l) {
    const uint8_t* row = matrix + ((firstRow + l) % 8) * 8;
    for (uint32_t x = 0; x < w && i < used; ++x, ++i) {
      const uint32_t column = i % 8;
      v |= static_cast<uint32_t>(in[i] <= row[column]) << (7 - column);
      if (column == 7) {
        out[i / 8] = static_cast<uint8_t>(v);
        v = 0;
      }
    }
  }
  priv->dwLineCounter += lines;
}

void CImageProcess::InitG8ToErrorDiffusion(CImageProcess_StageInformation* stage) {
  const uint32_t w = StageParameter<CImageProcess_Parameter_Width>(stage)->Pixel;
  auto* priv = StageCreatePrivate<ErrorDiffusionPrivate>(stage);
  if (priv == nullptr) return;
  priv->pErrorRows = static_cast<int16_t*>(ImageProcessCalloc(uint64_t{w} * 4 + 90, 1));
  priv->pAbove = static_cast<int16_t*>(ImageProcessCalloc(uint64_t{w} + 1, sizeof(int16_t)));
  priv->pKeep = static_cast<int16_t*>(ImageProcessCalloc(uint64_t{w} + 1, sizeof(int16_t)));
  priv->pKeepBelow = static_cast<int16_t*>(ImageProcessCalloc(uint64_t{w} + 1, sizeof(int16_t)));
  if (priv->pErrorRows == nullptr || priv->pAbove == nullptr || priv->pKeep == nullptr ||
      priv->pKeepBelow == nullptr)
    stage->lStatus = kImageProcessMemoryError;
}

void CImageProcess::ResetG8ToErrorDiffusion(CImageProcess_StageInformation* stage) {
  StagePrivate<ErrorDiffusionPrivate>(stage)->dwLineCounter = 0;
}

void CImageProcess::TerminateG8ToErrorDiffusion(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<ErrorDiffusionPrivate>(stage);
  if (priv == nullptr) return;
  ImageProcessFree(priv->pErrorRows);
  ImageProcessFree(priv->pAbove);
  ImageProcessFree(priv->pKeep);
  ImageProcessFree(priv->pKeepBelow);
  priv->pErrorRows = priv->pAbove = priv->pKeep = priv->pKeepBelow = nullptr;
}

namespace {
constexpr int32_t kEdgeContrast = 70;  // above this the pixel is an edge and takes no error

// e1 + 5·e5 + 3·e3 for pixel x: entries x, x + 1 and x + 2 of the row above, the last pixel
// taking entry x for all three.
inline int32_t ErrorsAbove(const int16_t* previous, uint32_t x, bool last) {
  return last ? 9 * previous[x] : previous[x] + 5 * previous[x + 1] + 3 * previous[x + 2];
}

// -1 when pixel x takes the errors, 0 when it lies on an edge: its contrast with its right,
// lower and lower-right neighbours (the last pixel's right ones being itself and the one below)
// is above the limit. The contrast of the inverted values 255 - v is that of the values.
inline int16_t KeepsErrors(const uint8_t* line, const uint8_t* below, uint32_t x, bool last) {
  const int32_t a = line[x], b = below[x];
  const int32_t c = last ? a : line[x + 1], d = last ? b : below[x + 1];
  const int32_t contrast = std::abs(a - b) + std::abs(a - c) + std::abs(d - b) + std::abs(d - c);
  return static_cast<int16_t>(contrast > kEdgeContrast ? 0 : -1);
}

// What a line needs before its pixel-to-pixel chain: ErrorsAbove and KeepsErrors of every pixel.
void PrepareErrorsAbove(const int16_t* previous, uint32_t w, int16_t* above) {
  uint32_t x = 0;
#if VT_STAGES_SSE2
  // Eight pixels at a time while entries up to x + 9 exist and none is the last pixel.
  for (; x + 9 <= w; x += 8) {
    const __m128i e1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + x));
    const __m128i e5 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + x + 1));
    const __m128i e3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + x + 2));
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(e1, _mm_add_epi16(_mm_slli_epi16(e5, 2), e5)),
                                      _mm_add_epi16(_mm_slli_epi16(e3, 1), e3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(above + x), sum);
  }
#endif
  for (; x < w; ++x) above[x] = static_cast<int16_t>(ErrorsAbove(previous, x, x + 1 == w));
}

void PrepareKeepsErrors(const uint8_t* line, const uint8_t* below, uint32_t w, int16_t* keep) {
  uint32_t x = 0;
#if VT_STAGES_SSE2
  // Eight pixels at a time while their right neighbours exist.
  const __m128i zero = _mm_setzero_si128();
  const __m128i limit = _mm_set1_epi16(kEdgeContrast);
  auto contrast = [zero](__m128i u, __m128i v) {
    return _mm_unpacklo_epi8(_mm_or_si128(_mm_subs_epu8(u, v), _mm_subs_epu8(v, u)), zero);
  };
  for (; x + 9 <= w; x += 8) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + x));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + x));
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + x + 1));
    const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + x + 1));
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(contrast(a, b), contrast(a, c)),
                                      _mm_add_epi16(contrast(d, b), contrast(d, c)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(keep + x),
                     _mm_cmpeq_epi16(_mm_cmpgt_epi16(sum, limit), zero));
  }
#endif
  for (; x < w; ++x) keep[x] = KeepsErrors(line, below, x, x + 1 == w);
}

// Output bits, most significant first, running on across lines; a last partial byte is dropped.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}
  void Put(uint32_t black) {
    byte_ = byte_ << 1 | black;
    if (++count_ == 8) {
      *out_++ = static_cast<uint8_t>(byte_);
      byte_ = 0;
      count_ = 0;
    }
  }

 private:
  uint8_t* out_;
  uint32_t byte_ = 0;
  uint32_t count_ = 0;
};

// The part of error diffusion that waits for the error of the pixel on the left, one line:
// kept as short as possible from that error to the pixel's own. The line writes its errors to
// entries 1 to w of `current`.
class DiffusionChain {
 public:
  DiffusionChain(const uint8_t* line, int16_t* current, BitWriter bits)
      : line_(line), current_(current), left_(current[0]), bits_(bits) {}

  void Pixel(uint32_t x, int32_t above, int32_t keep) {
    const int32_t v = 255 - line_[x] + (((above + 7 * left_) / 16) & keep);
    // v clamped to 0..255 is the error below 128 and v - 255 from there.
    const bool white = v < 128;
    left_ = white ? (v < 0 ? 0 : v) : (v > 255 ? 0 : v - 255);
    current_[x + 1] = static_cast<int16_t>(left_);
    bits_.Put(!white);
  }

  BitWriter Bits() const { return bits_; }

 private:
  const uint8_t* line_;
  int16_t* current_;
  int32_t left_;
  BitWriter bits_;
};
}  // namespace

void CImageProcess::DoG8ToErrorDiffusion(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<ErrorDiffusionPrivate>(stage);
  const uint32_t w = StageParameter<CImageProcess_Parameter_Width>(stage)->Pixel;
  const uint32_t lines = WholeUnits(stage->dwInputSize, w);
  const uint64_t pixels = uint64_t{lines} * w;
  if (!OneBitOutput(stage, pixels)) return;
  if (lines == 0) return;
  int16_t* rows = priv->pErrorRows;
  if (priv->dwLineCounter == 0) std::memset(rows, 0xFF, uint64_t{w} * 4);

  // Row A starts at entry 0, row B at entry w (A's last entry is B's first): even lines read
  // A and write B, odd lines the reverse.
  int16_t* const rowA = rows;
  int16_t* const rowB = rows + w;
  const uint32_t counter = priv->dwLineCounter;
  auto lineAt = [&](uint32_t l) { return stage->pInput + uint64_t{l} * w; };
  auto belowAt = [&](uint32_t l) { return l + 1 < lines ? lineAt(l + 1) : lineAt(l); };
  int16_t* const above = priv->pAbove;
  int16_t* const keep = priv->pKeep;
  int16_t* const keepBelow = priv->pKeepBelow;
  BitWriter bits(stage->pOutput);
  // Two lines can run side by side when their bits start on byte boundaries, as they do where
  // lines are whole bytes wide (the models' 1-bit widths are).
  const bool wholeBytes = w % 8 == 0;
  for (uint32_t l = 0; l < lines;) {
    const bool even = ((counter + l) & 1) == 0;
    const uint8_t* line = lineAt(l);
    PrepareErrorsAbove(even ? rowA : rowB, w, above);
    PrepareKeepsErrors(line, belowAt(l), w, keep);
    DiffusionChain chain(line, even ? rowB : rowA, bits);
    if (!wholeBytes || !even || l + 1 == lines) {
      for (uint32_t x = 0; x < w; ++x) chain.Pixel(x, above[x], keep[x]);
      bits = chain.Bits();
      ++l;
      continue;
    }
    // An even line and the odd line below it, the odd one a pixel behind. The even line has
    // read row A already (its errors above are prepared); the odd one reads row B, where its
    // pixel x needs the even line's errors up to pixel x + 1.
    PrepareKeepsErrors(lineAt(l + 1), belowAt(l + 1), w, keepBelow);
    DiffusionChain next(lineAt(l + 1), rowA, BitWriter(stage->pOutput + uint64_t{l + 1} * w / 8));
    chain.Pixel(0, above[0], keep[0]);
    for (uint32_t x = 1; x < w; ++x) {
      chain.Pixel(x, above[x], keep[x]);
      next.Pixel(x - 1, ErrorsAbove(rowB, x - 1, false), keepBelow[x - 1]);
    }
    next.Pixel(w - 1, ErrorsAbove(rowB, w - 1, true), keepBelow[w - 1]);
    bits = next.Bits();
    l += 2;
  }
  priv->dwLineCounter += lines;
}

void CImageProcess::InitR2YCCToC24(CImageProcess_StageInformation* stage) {
  auto* priv = StageCreatePrivate<YCCPrivate>(stage);
  if (priv == nullptr) return;
  ComputeYCCCoefficients(StageParameter<CImageProcess_Parameter_YCCToC24>(stage), priv);
}

void CImageProcess::DoR2YCCToC24(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_YCCToC24>(stage);
  const YCCPrivate& c = *StagePrivate<YCCPrivate>(stage);
  const uint32_t blocks = p->Pixel / 2;
  const uint64_t pairBytes = uint64_t{blocks} * 6;
  const uint32_t pairs = WholeUnits(stage->dwInputSize, pairBytes);
  const uint64_t outLineBytes = uint64_t{blocks} * 6;  // two pixels per block and line
  if (!StageOutput(stage, outLineBytes * 2 * pairs)) return;
  for (uint32_t pr = 0; pr < pairs; ++pr) {
    const uint8_t* in = stage->pInput + pr * pairBytes;
    uint8_t* top = stage->pOutput + pr * 2 * outLineBytes;
    uint8_t* bottom = top + outLineBytes;
    for (uint32_t j = 0; j < blocks; ++j, in += 6) {
      const int32_t cr = in[4] - 128;
      const int32_t cb = in[5] - 128;
      uint8_t* dst[4] = {top + 6 * j, bottom + 6 * j, top + 6 * j + 3, bottom + 6 * j + 3};
      for (int k = 0; k < 4; ++k) {
        int32_t rgb[3];
        YCCToRGB(c, in[k], cr, cb, rgb);
        for (int ch = 0; ch < 3; ++ch) {
          const uint8_t v = ClampByte(rgb[ch]);
          dst[k][ch] = p->blUseTable ? p->Table[ch + 1][v] : v;
        }
      }
    }
  }
}

namespace {
// Y, Cr' and Cb' of a pixel whose luma sum (Kr·R + Kg·G) + Kb·B is y: chroma from the
// unclamped sum, the luma clamped to 0..255; all three truncated.
inline void YCrCbFromLumaSum(double y, double r, double b, double crDivisor, double cbDivisor,
                             int32_t* yOut, int32_t* crOut, int32_t* cbOut) {
  const double cr = (r - y) / crDivisor - 128;
  const double cb = (b - y) / cbDivisor - 128;
  // Not a number becomes 0, as in TruncToInt32.
  y = y > 0 ? y : 0;
  *yOut = static_cast<int32_t>(y < 255 ? y : 255);
  *crOut = TruncToInt32(cr);
  *cbOut = TruncToInt32(cb);
}
}  // namespace

void CImageProcess::RGBtoYCrCb(const CImageProcess_Parameter_C24ToR2YCC* parameter, int32_t* r,
                               int32_t* g, int32_t* b) {
  const double R = *r, G = *g, B = *b;
  YCrCbFromLumaSum((parameter->Kr * R + parameter->Kg * G) + parameter->Kb * B, R, B,
                   2 - 2 * parameter->Kr, 2 - 2 * parameter->Kb, r, g, b);
}

void CImageProcess::DoC24ToR2YCC(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_C24ToR2YCC>(stage);
  const uint64_t lineBytes = uint64_t{p->Pixel} * 3;
  const uint32_t pairs = WholeUnits(stage->dwInputSize, lineBytes) / 2;
  const uint32_t blocks = p->Pixel / 2;
  if (!StageOutput(stage, uint64_t{pairs} * blocks * 6)) return;
  // The products of every byte value with each weight: the same doubles as multiplying.
  double byRed[256], byGreen[256], byBlue[256];
  for (int v = 0; v < 256; ++v) {
    byRed[v] = p->Kr * v;
    byGreen[v] = p->Kg * v;
    byBlue[v] = p->Kb * v;
  }
  const double crDivisor = 2 - 2 * p->Kr, cbDivisor = 2 - 2 * p->Kb;
  uint8_t* out = stage->pOutput;
  for (uint32_t pr = 0; pr < pairs; ++pr) {
    const uint8_t* top = stage->pInput + uint64_t{pr} * 2 * lineBytes;
    const uint8_t* bottom = top + lineBytes;
    for (uint32_t j = 0; j < blocks; ++j, out += 6) {
      int64_t crSum = 0, cbSum = 0;  // four saturated values would overflow 32 bits
      auto pixel = [&](const uint8_t* px, int k) {
        int32_t y, cr, cb;
        YCrCbFromLumaSum((byRed[px[0]] + byGreen[px[1]]) + byBlue[px[2]], px[0], px[2], crDivisor,
                         cbDivisor, &y, &cr, &cb);
        out[k] = static_cast<uint8_t>(y);
        crSum += cr;
        cbSum += cb;
      };
      // Top left, bottom left, top right, bottom right.
      pixel(top + 6 * j, 0);
      pixel(bottom + 6 * j, 1);
      pixel(top + 6 * j + 3, 2);
      pixel(bottom + 6 * j + 3, 3);
      out[4] = static_cast<uint8_t>(crSum / 4);
      out[5] = static_cast<uint8_t>(cbSum / 4);
    }
  }
}

void CImageProcess::InitTrestleYCC422ToC24(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_YCCToC24>(stage);
  auto* priv = StageCreatePrivate<TrestleYCCPrivate>(stage);
  if (priv == nullptr) return;
  YCCPrivate c;
  ComputeYCCCoefficients(p, &c);
  for (int ch = 0; ch < 3; ++ch) {
    for (int i = 0; i < kOutTableSize; ++i) {
      const uint8_t v = ClampByte(i + kOutTableLow);
      priv->OutTable[ch][i] = p->blUseTable ? p->Table[ch + 1][v] : v;
    }
  }
  for (int v = 0; v < 256; ++v) {
    priv->RedFromCr[v] = ChromaOffset(int64_t{c.cR} * (v - 128));
    priv->BlueFromCb[v] = ChromaOffset(int64_t{c.cB} * (v - 128));
    priv->GreenFromCr[v] = int64_t{c.cGr} * (v - 128);
    priv->GreenFromCb[v] = int64_t{c.cGb} * (v - 128);
  }
}

void CImageProcess::DoTrestleYCC422ToC24(CImageProcess_StageInformation* stage) {
  const uint32_t w = StageParameter<CImageProcess_Parameter_YCCToC24>(stage)->Pixel;
  const TrestleYCCPrivate& priv = *StagePrivate<TrestleYCCPrivate>(stage);
  const uint64_t groupBytes = uint64_t{w} * 4;
  const uint32_t pairs = WholeUnits(stage->dwInputSize, groupBytes);
  const uint64_t outLineBytes = uint64_t{w} * 3;
  if (!StageOutput(stage, outLineBytes * 2 * pairs)) return;
  const uint8_t* red = priv.OutTable[0] - kOutTableLow;
  const uint8_t* green = priv.OutTable[1] - kOutTableLow;
  const uint8_t* blue = priv.OutTable[2] - kOutTableLow;
  for (uint32_t pr = 0; pr < pairs; ++pr) {
    const uint8_t* luma0 = stage->pInput + pr * groupBytes;
    const uint8_t* luma1 = luma0 + w;
    const uint8_t* cbLine = luma1 + w;
    const uint8_t* crLine = cbLine + w;
    uint8_t* out0 = stage->pOutput + pr * 2 * outLineBytes;
    uint8_t* out1 = out0 + outLineBytes;
    // Both lines share the chroma of a pixel.
    for (uint32_t x = 0; x < w; ++x, out0 += 3, out1 += 3) {
      const int r = priv.RedFromCr[crLine[x]];
      const int g = ChromaOffset(priv.GreenFromCr[crLine[x]] + priv.GreenFromCb[cbLine[x]]);
      const int b = priv.BlueFromCb[cbLine[x]];
      out0[0] = red[luma0[x] + r];
      out0[1] = green[luma0[x] + g];
      out0[2] = blue[luma0[x] + b];
      out1[0] = red[luma1[x] + r];
      out1[1] = green[luma1[x] + g];
      out1[2] = blue[luma1[x] + b];
    }
  }
}

void CImageProcess::DoTrestleYCC422ToTrueGray(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_TrueGray>(stage);
  const uint64_t w = p->Pixel;
  const uint32_t pairs = WholeUnits(stage->dwInputSize, w * 4);
  if (!StageOutput(stage, w * 2 * pairs)) return;
  uint8_t* out = stage->pOutput;
  for (uint32_t pr = 0; pr < pairs; ++pr) {
    const uint8_t* luma = stage->pInput + pr * w * 4;
    for (uint64_t i = 0; i < 2 * w; ++i) *out++ = p->blUseTable ? p->Table[luma[i]] : luma[i];
  }
}

void CImageProcess::InitTrestleCisPack(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_TrestleCisPack>(stage);
  const uint64_t segment = p->dwResolution == 600 ? 1720 : 860;
  const uint64_t bpp = p->dwBytesPerPixel;
  uint32_t* table = CreateIndexTable(stage, bpp * 3 * segment);
  if (table == nullptr) return;
  for (uint64_t s = 0; s < 3; ++s) {
    for (uint64_t px = 0; px < segment; ++px) {
      for (uint64_t k = 0; k < bpp; ++k) {
        table[(s * segment + px) * bpp + k] = static_cast<uint32_t>((3 * px + s) * bpp + k);
      }
    }
  }
  if (p->blMirror)
    MirrorPixels(table, static_cast<uint32_t>(bpp * 3 * segment), static_cast<uint32_t>(bpp));
}

void CImageProcess::DoTrestleCisPack(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_TrestleCisPack>(stage);
  const uint64_t segment = p->dwResolution == 600 ? 1720 : 860;
  const uint64_t bpp = p->dwBytesPerPixel;
  PackThroughTable(stage, bpp * 3 * segment, uint64_t{p->dwLeftOffset} * bpp,
                   uint64_t{p->dwOutputPixel} * bpp);
}

void CImageProcess::InitQF9000RgbCisPack(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_QF9000RgbCisPack>(stage);
  const uint64_t segment = p->dwSegmentPixel;
  const uint64_t planes = p->dwBytesPerPixel;
  uint32_t first[4], end[4], source[4];
  uint64_t entries = 0;
  for (int k = 0; k < 4; ++k) {
    source[k] = p->blNaturalOrder ? k : p->Order[k];
    first[k] = end[k] = 0;
    if (source[k] > 3) continue;  // no such segment: it contributes no pixels
    const uint32_t s = source[k];
    const uint64_t cut = p->blWholeSegments ? 0 : uint64_t{p->Cut[s][0]} + p->Cut[s][1];
    if (cut >= segment) continue;
    first[k] = p->blWholeSegments ? 0 : p->Cut[s][0];
    end[k] = static_cast<uint32_t>(segment - (p->blWholeSegments ? 0 : p->Cut[s][1]));
    entries += (end[k] - first[k]) * planes;
  }
  uint32_t* table = CreateIndexTable(stage, entries);
  if (table == nullptr) return;
  uint32_t* e = table;
  for (int k = 0; k < 4; ++k) {
    for (uint64_t px = first[k]; px < end[k]; ++px) {
      for (uint64_t c = 0; c < planes; ++c) {
        *e++ = static_cast<uint32_t>(4 * segment * c + 4 * px + source[k]);
      }
    }
  }
  if (p->blMirror)
    MirrorPixels(table, static_cast<uint32_t>(entries), static_cast<uint32_t>(planes));
}

void CImageProcess::DoQF9000RgbCisPack(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_QF9000RgbCisPack>(stage);
  const uint64_t planes = p->dwBytesPerPixel;
  PackThroughTable(stage, 4 * uint64_t{p->dwSegmentPixel} * planes,
                   uint64_t{p->dwLeftOffset} * planes, uint64_t{p->dwOutputPixel} * planes);
}
