// Stages that change the size or arrangement of lines: scaling, cutting, channel alignment,
// padding, mirroring and a plain copy. Vertical scaling, cutting and channel alignment see a
// page as a stream of blocks and carry their counters in their work records until Reset.
#include <cmath>
#include <cstring>

#include "drv/engine/ImageProcessStage.h"

namespace {

constexpr uint32_t kWeightOne = 8388608;  // 2^23, the bilinear weights' scale
constexpr uint32_t kHistoryLimit = 256;   // lines; more history than that is never addressed

// Output lines that a block of n input lines yields, for both scaling stages.
uint32_t ScaledLineCount(const CImageProcess_Parameter_Scale* p, uint32_t n, uint32_t* inLines,
                         uint32_t* outLines) {
  if (p->blUseYRateFraction) {
    if (p->dwYRateDenominator == 0) return 0;
    const uint32_t m =
        static_cast<uint32_t>(uint64_t{n} * p->dwYRateNumerator / p->dwYRateDenominator);
    *inLines += n;
    *outLines += m;
    return m;
  }
  if (p->dwSrcLength == 0) return 0;
  *inLines += n;
  uint64_t total = uint64_t{*inLines} * p->dwDestLength / p->dwSrcLength;
  if (n > 0 && total == 0) total = 1;
  // The line a short page start was given stays counted, also across empty blocks.
  if (total <= *outLines) return 0;
  const uint32_t m = static_cast<uint32_t>(total - *outLines);
  *outLines = static_cast<uint32_t>(total);
  return m;
}

// Bytes per pixel of a scaling stage: 0 for depths below 8, which only NearestScale handles.
uint32_t ScaleBytesPerPixel(const CImageProcess_Parameter_Scale* p) {
  return p->dwBitsPerPixel / 8;
}
bool ScaleDepthSupported(uint32_t bits) { return bits == 1 || (bits % 8 == 0 && bits > 0); }

// One-bit lines scale a source byte at a time: the output is the source bits in order, each
// repeated as often as output pixels take it (not at all where a reduction skips it). What a
// source byte adds is a run of bits that depends on its value and on its pattern of repeats; a
// line has few patterns, and each gets a table of the runs of all 256 values.
constexpr uint32_t kMaxRunPatterns = 64;
constexpr uint32_t kMaxRunBits = 32;

struct SourceByteRun {
  uint32_t dwTable;  // the pattern's table: offset into the run tables
  uint32_t dwBits;   // bits the byte adds
};

struct NearestPrivate {
  uint32_t dwInLines;
  uint32_t dwOutLines;
  uint32_t dwTableLength;
  uint32_t* pTable;
  SourceByteRun* pRuns;  // one per source byte; none when the patterns do not fit
  uint32_t* pRunTables;
};

// The runs of a one-bit line whose output bit j comes from source bit table[j]. False when
// memory runs out; without runs (more patterns or longer runs than the tables take) the line
// is scaled bit by bit.
bool BuildSourceByteRuns(NearestPrivate* priv, uint64_t sourceBytes, uint64_t outputBits) {
  if (sourceBytes == 0) return true;
  auto* repeats = static_cast<uint32_t*>(ImageProcessCalloc(sourceBytes * 8, sizeof(uint32_t)));
  if (repeats == nullptr) return false;
  for (uint64_t j = 0; j < outputBits; ++j) ++repeats[priv->pTable[j]];
  uint64_t patterns[kMaxRunPatterns];
  uint32_t count = 0;
  auto* runs = static_cast<SourceByteRun*>(ImageProcessCalloc(sourceBytes, sizeof(SourceByteRun)));
  bool fits = runs != nullptr;
  for (uint64_t i = 0; fits && i < sourceBytes; ++i) {
    uint64_t pattern = 0;  // the byte's eight repeat counts, 6 bits each
    uint32_t bits = 0;
    for (uint32_t b = 0; b < 8; ++b) {
      const uint32_t r = repeats[i * 8 + b];
      bits += r;
      pattern = pattern << 6 | (r < 63 ? r : 63);
    }
    uint32_t k = 0;
    while (k < count && patterns[k] != pattern) ++k;
    if (bits > kMaxRunBits || k == kMaxRunPatterns) {
      fits = false;
      break;
    }
    if (k == count) patterns[count++] = pattern;
    runs[i] = SourceByteRun{k * 256, bits};
  }
  ImageProcessFree(repeats);
  if (runs == nullptr) return false;
  if (!fits) {
    ImageProcessFree(runs);
    return true;
  }
  priv->pRunTables = static_cast<uint32_t*>(ImageProcessCalloc(uint64_t{count} * 256, 4));
  if (priv->pRunTables == nullptr) {
    ImageProcessFree(runs);
    return false;
  }
  priv->pRuns = runs;
  for (uint32_t k = 0; k < count; ++k) {
    for (uint32_t v = 0; v < 256; ++v) {
      uint32_t run = 0;
      for (uint32_t b = 0; b < 8; ++b) {
        const uint32_t bit = (v >> (7 - b)) & 1;
        for (uint64_t r = (patterns[k] >> (6 * (7 - b))) & 63; r > 0; --r) run = run << 1 | bit;
      }
      priv->pRunTables[k * 256 + v] = run;
    }
  }
  return true;
}

// One output line from the runs of the source line's bytes, gathered most significant bit first
// and written 32 bits at a time.
void ScaleBitsByRuns(const NearestPrivate& priv, const uint8_t* in, uint64_t sourceBytes,
                     uint8_t* out, uint64_t outBytes) {
  uint64_t gathered = 0;
  uint32_t pending = 0;
  uint8_t* o = out;
  for (uint64_t i = 0; i < sourceBytes; ++i) {
    const SourceByteRun run = priv.pRuns[i];
    gathered = gathered << run.dwBits | priv.pRunTables[run.dwTable + in[i]];
    pending += run.dwBits;
    if (pending >= 32) {
      pending -= 32;
      const uint32_t word = static_cast<uint32_t>(gathered >> pending);
      o[0] = static_cast<uint8_t>(word >> 24);
      o[1] = static_cast<uint8_t>(word >> 16);
      o[2] = static_cast<uint8_t>(word >> 8);
      o[3] = static_cast<uint8_t>(word);
      o += 4;
    }
  }
  for (; o < out + outBytes; pending -= 8) *o++ = static_cast<uint8_t>(gathered >> (pending - 8));
}

// One tap pair of a bilinear axis.
struct BilinearAxis {
  int32_t* index0;
  int32_t* index1;
  uint32_t* weight0;
  uint32_t* weight1;
};

// The SSE2 paths read the two source pixels of an output pixel as one pair: at its first byte,
// the second pixel b bytes on. Per output pixel: that byte and the weights (split, below).
struct BilinearPairs {
  uint32_t* first;
  uint32_t* high;
  uint32_t* low;
};

struct BilinearPrivate {
  uint32_t dwInLines;
  uint32_t dwOutLines;
  uint32_t dwBytesPerPixel;
  uint32_t dwHCount;  // output width times bytes per pixel
  BilinearAxis h;
  void* pHArrays;
  uint32_t dwVCapacity;
  BilinearAxis v;
  void* pVArrays;
  uint8_t* pAcross[2];              // two source lines interpolated across, as bytes
  const uint8_t* pAcrossSource[2];  // the lines they come from, within the current block
  BilinearPairs pairs;              // the horizontal taps as the SSE2 paths read them
  void* pPairArrays;
  uint32_t dwPairPixels;  // leading output pixels those paths may take
  uint8_t* pHistory;      // oldest line first; length mode only
  uint32_t dwHistoryLines;
};

bool AllocateAxis(BilinearAxis* axis, void** block, uint32_t count) {
  ImageProcessFree(*block);
  *block = ImageProcessCalloc(uint64_t{count} * 4 + 4, sizeof(uint32_t));
  if (*block == nullptr) return false;
  auto* base = static_cast<uint32_t*>(*block);
  axis->index0 = reinterpret_cast<int32_t*>(base);
  axis->index1 = reinterpret_cast<int32_t*>(base + count);
  axis->weight0 = base + 2 * uint64_t{count};
  axis->weight1 = base + 3 * uint64_t{count};
  return true;
}

// Where the outputs of a bilinear axis lie: output j (counted from `first`) at input position
// (first + j) * num / den - origin, kept as an exact fraction, so that a page's positions do not
// depend on how it is split into blocks. The taps reach inputs `lowest` to `highest` only.
struct AxisPositions {
  uint64_t num, den;
  uint64_t first;
  int64_t origin;
  int64_t lowest, highest;
};

// Fills `outCount` tap pairs, each repeated for `samples` samples. A position past `highest`
// gives that input alone, as does a position before `lowest` for `lowest`; the positions after
// it stay where they are.
void BuildAxis(BilinearAxis* axis, const AxisPositions& a, uint32_t outCount, uint32_t samples) {
  const unsigned __int128 start = static_cast<unsigned __int128>(a.first) * a.num;
  uint64_t whole = static_cast<uint64_t>(start / a.den);
  uint64_t part = static_cast<uint64_t>(start % a.den);
  const uint64_t stepWhole = a.num / a.den, stepPart = a.num % a.den;
  for (uint32_t j = 0; j < outCount; ++j) {
    int64_t i0 = static_cast<int64_t>(whole) - a.origin;
    int64_t i1 = i0 + 1;
    uint32_t w0 = static_cast<uint32_t>(uint64_t{kWeightOne} * (a.den - part) / a.den);
    uint32_t w1 = static_cast<uint32_t>(uint64_t{kWeightOne} * part / a.den);
    if (i0 > a.highest || (i0 == a.highest && part > 0)) {
      i0 = i1 = a.highest;
      w0 = kWeightOne;
      w1 = 0;
    } else if (i0 < a.lowest) {
      i0 = i1 = a.lowest;
      w0 = kWeightOne;
      w1 = 0;
    } else if (i1 > a.highest) {
      i1 = i0;  // on the last input exactly: weight 0
    }
    for (uint32_t c = 0; c < samples; ++c) {
      const uint64_t e = uint64_t{j} * samples + c;
      axis->index0[e] = static_cast<int32_t>(i0 * samples + c);
      axis->index1[e] = static_cast<int32_t>(i1 * samples + c);
      axis->weight0[e] = w0;
      axis->weight1[e] = w1;
    }
    whole += stepWhole;
    part += stepPart;
    if (part >= a.den) {
      part -= a.den;
      ++whole;
    }
  }
}

struct CutPrivate {
  uint32_t dwLines;
  uint32_t dwCutLeft;  // bytes
  uint32_t dwOutLineBytes;
  uint32_t dwInLineBytes;
  uint8_t* pRing;
  uint32_t dwRingLines;
  uint32_t dwWrite;
  uint32_t dwRead;
};

struct LineDifferencePrivate {
  uint8_t blReady;
  uint32_t dwSkip[3];
  uint32_t dwRingSize[3];
  uint32_t dwPosition[3];
  uint8_t* pRing[3];
  uint8_t* pRings;
};

}  // namespace

// ---- NearestScale ---------------------------------------------------------------------------

void CImageProcess::InitNearestScale(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  auto* priv = StageCreatePrivate<NearestPrivate>(stage);
  if (priv == nullptr) return;
  if (!ScaleDepthSupported(p->dwBitsPerPixel)) {
    stage->lStatus = kImageProcessParameterError;
    return;
  }
  const uint32_t bytes = p->dwBitsPerPixel == 1 ? 1 : p->dwBitsPerPixel / 8;
  const uint64_t length = uint64_t{p->dwDestWidth} * bytes;
  if (length > (uint64_t{1} << 28)) {
    stage->lStatus = kImageProcessMemoryError;
    return;
  }
  priv->pTable = static_cast<uint32_t*>(ImageProcessCalloc(length + 1, sizeof(uint32_t)));
  if (priv->pTable == nullptr) {
    stage->lStatus = kImageProcessMemoryError;
    return;
  }
  priv->dwTableLength = static_cast<uint32_t>(length);
  if (p->dwDestWidth == 0) return;
  const float ratio = static_cast<float>(static_cast<double>(p->dwSrcWidth) / p->dwDestWidth);
  // One-bit lines hold whole bytes only; a source pixel never lies past the last whole byte.
  const uint64_t usable = p->dwBitsPerPixel == 1 ? uint64_t{p->dwSrcWidth} / 8 * 8 : p->dwSrcWidth;
  const uint64_t lastPixel = usable > 0 ? usable - 1 : 0;
  for (uint32_t j = 0; j < p->dwDestWidth; ++j) {
    uint64_t source =
        static_cast<uint64_t>(0.5 + static_cast<double>(j) * static_cast<double>(ratio));
    if (source > lastPixel) source = lastPixel;  // enlargements beyond twofold would pass the line
    for (uint32_t k = 0; k < bytes; ++k) {
      priv->pTable[uint64_t{j} * bytes + k] = static_cast<uint32_t>(source * bytes + k);
    }
  }
  if (p->dwBitsPerPixel == 1 &&
      !BuildSourceByteRuns(priv, p->dwSrcWidth / 8, uint64_t{p->dwDestWidth} / 8 * 8))
    stage->lStatus = kImageProcessMemoryError;
}

void CImageProcess::ResetNearestScale(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<NearestPrivate>(stage);
  priv->dwInLines = 0;
  priv->dwOutLines = 0;
}

void CImageProcess::TerminateNearestScale(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<NearestPrivate>(stage);
  if (priv == nullptr) return;
  ImageProcessFree(priv->pTable);
  ImageProcessFree(priv->pRuns);
  ImageProcessFree(priv->pRunTables);
  priv->pTable = nullptr;
  priv->pRuns = nullptr;
  priv->pRunTables = nullptr;
}

void CImageProcess::DoNearestScale(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  auto* priv = StagePrivate<NearestPrivate>(stage);
  const uint64_t inLineBytes = uint64_t{p->dwSrcWidth} * p->dwBitsPerPixel / 8;
  const uint64_t outLineBytes = uint64_t{p->dwDestWidth} * p->dwBitsPerPixel / 8;
  const uint32_t n = WholeUnits(stage->dwInputSize, inLineBytes);
  const uint32_t m = ScaledLineCount(p, n, &priv->dwInLines, &priv->dwOutLines);
  if (!StageOutput(stage, outLineBytes * m)) return;
  if (m == 0 || n == 0) {
    stage->dwOutputSize = 0;
    return;
  }
  double ratio = 1;
  if (n >= m) {
    ratio = p->blUseYRateFraction ? static_cast<double>(p->dwYRateDenominator) / p->dwYRateNumerator
                                  : static_cast<double>(p->dwSrcLength) / p->dwDestLength;
  }
  const uint32_t* table = priv->pTable;
  const uint8_t* input = stage->pInput;
  uint8_t* output = stage->pOutput;
  uint64_t previous = UINT64_MAX;
  for (uint32_t k = 0; k < m; ++k) {
    uint64_t source;
    if (n < m) {
      source = uint64_t{k} * n / m;
    } else {
      source = static_cast<uint64_t>(static_cast<double>(k) * ratio + 0.5);
      if (source >= n) source = n - 1;
    }
    uint8_t* out = output + k * outLineBytes;
    if (source == previous) {
      std::memcpy(out, out - outLineBytes, outLineBytes);
      continue;
    }
    previous = source;
    const uint8_t* in = input + source * inLineBytes;
    if (p->dwBitsPerPixel == 1 && priv->pRuns != nullptr) {
      ScaleBitsByRuns(*priv, in, inLineBytes, out, outLineBytes);
    } else if (p->dwBitsPerPixel == 1) {
      for (uint64_t byte = 0; byte < outLineBytes; ++byte) {
        uint32_t v = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
          const uint32_t t = table[byte * 8 + bit];
          v |= ((in[t / 8] >> (7 - t % 8)) & 1u) << (7 - bit);
        }
        out[byte] = static_cast<uint8_t>(v);
      }
    } else {
      for (uint64_t i = 0; i < outLineBytes; ++i) out[i] = in[table[i]];
    }
  }
}

// ---- BiLinearScale --------------------------------------------------------------------------

namespace {

// The SSE2 paths multiply pairs of 16-bit samples and weights (pmaddwd), so each weight is split
// into w = high · 2^9 + low. A tap's two weights sum to at most 2^23, so every part and every
// sum on the way fits, and (s0 · w0 + s1 · w1) >> 23 comes out exact.
constexpr uint32_t kLowWeightBits = 9;
constexpr uint32_t kLowWeightMask = (1u << kLowWeightBits) - 1;

uint32_t HighWeights(uint32_t w0, uint32_t w1) {
  return w0 >> kLowWeightBits | (w1 >> kLowWeightBits) << 16;
}
uint32_t LowWeights(uint32_t w0, uint32_t w1) {
  return (w0 & kLowWeightMask) | (w1 & kLowWeightMask) << 16;
}

#if VT_STAGES_SSE2
// (s0 · w0 + s1 · w1) >> 23 of four pairs of 16-bit samples, the weights' parts likewise in pairs.
inline __m128i InterpolateFour(__m128i samples, __m128i high, __m128i low) {
  const __m128i sum = _mm_add_epi32(_mm_slli_epi32(_mm_madd_epi16(samples, high), kLowWeightBits),
                                    _mm_madd_epi16(samples, low));
  return _mm_srli_epi32(sum, 23);
}

// The eight pairs of bytes at source + at[0 .. 7], each a 16-bit lane.
inline __m128i GatherPairs(const uint8_t* source, const uint32_t* at) {
  auto pair = [&](int k) {
    uint16_t v;
    std::memcpy(&v, source + at[k], 2);
    return static_cast<int>(v);
  };
  __m128i pairs = _mm_cvtsi32_si128(pair(0));
  pairs = _mm_insert_epi16(pairs, pair(1), 1);
  pairs = _mm_insert_epi16(pairs, pair(2), 2);
  pairs = _mm_insert_epi16(pairs, pair(3), 3);
  pairs = _mm_insert_epi16(pairs, pair(4), 4);
  pairs = _mm_insert_epi16(pairs, pair(5), 5);
  pairs = _mm_insert_epi16(pairs, pair(6), 6);
  return _mm_insert_epi16(pairs, pair(7), 7);
}

// Sixteen results (each below 256) as bytes.
inline __m128i PackResults(__m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
}
#endif

// The pairs of the horizontal taps; a tap that takes one pixel alone reads it as the second of
// a pair.
bool BuildPairs(BilinearPrivate* priv, uint32_t outPixels, uint64_t inLineBytes) {
  const uint32_t b = priv->dwBytesPerPixel;
  auto* arrays = static_cast<uint32_t*>(ImageProcessCalloc(uint64_t{outPixels} * 3 + 1, 4));
  priv->pPairArrays = arrays;
  if (arrays == nullptr) return false;
  priv->pairs = BilinearPairs{arrays, arrays + outPixels, arrays + 2 * uint64_t{outPixels}};
  uint32_t* first = priv->pairs.first;
  uint32_t* high = priv->pairs.high;
  uint32_t* low = priv->pairs.low;
  // One pixel takes two bytes as a pair (grey); a wider one reads 8 bytes, which must lie
  // within the line, and takes up to four. The scalar path does the rest.
  const uint64_t reach = b == 1 ? 2 : 8;
  uint32_t j = 0;
  for (; b <= 4 && j < outPixels; ++j) {
    const uint64_t e = uint64_t{j} * b;
    uint32_t at = static_cast<uint32_t>(priv->h.index0[e]);
    uint32_t w0 = priv->h.weight0[e], w1 = priv->h.weight1[e];
    if (priv->h.index1[e] == priv->h.index0[e]) {
      if (at < b) break;
      at -= b;
      w1 = w0;
      w0 = 0;
    }
    if (at + reach > inLineBytes) break;
    first[j] = at;
    high[j] = HighWeights(w0, w1);
    low[j] = LowWeights(w0, w1);
  }
  priv->dwPairPixels = j;
  return true;
}

// One source line interpolated across: sample i = (w0 · s[i0] + w1 · s[i1]) >> 23.
void InterpolateAcross(const BilinearPrivate& priv, const uint8_t* source, uint8_t* across) {
  const uint32_t b = priv.dwBytesPerPixel;
  uint32_t j = 0;
#if VT_STAGES_SSE2
  const uint32_t* first = priv.pairs.first;
  const uint32_t* high = priv.pairs.high;
  const uint32_t* low = priv.pairs.low;
  const __m128i zero = _mm_setzero_si128();
  if (b == 1) {
    // Eight pixels at a time, each pair of bytes one 16-bit lane.
    for (; j + 8 <= priv.dwPairPixels; j += 8) {
      const __m128i pairs = GatherPairs(source, first + j);
      const __m128i lo =
          InterpolateFour(_mm_unpacklo_epi8(pairs, zero),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + j)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + j)));
      const __m128i hi =
          InterpolateFour(_mm_unpackhi_epi8(pairs, zero),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + j + 4)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + j + 4)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(across + j), PackResults(lo, hi, zero, zero));
    }
  } else if (b <= 4) {
    // A pixel at a time: its first pixel's samples, then its second's, interleaved into pairs.
    // Four results are stored where b belong; the next pixel overwrites the rest.
    const __m128i second = _mm_cvtsi32_si128(static_cast<int>(8 * b));
    for (; j < priv.dwPairPixels; ++j) {
      const __m128i both = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(source + first[j]));
      const __m128i pairs =
          _mm_unpacklo_epi8(_mm_unpacklo_epi8(both, _mm_srl_epi64(both, second)), zero);
      const __m128i result = InterpolateFour(pairs, _mm_set1_epi32(static_cast<int>(high[j])),
                                             _mm_set1_epi32(static_cast<int>(low[j])));
      const uint32_t bytes =
          static_cast<uint32_t>(_mm_cvtsi128_si32(PackResults(result, zero, zero, zero)));
      std::memcpy(across + uint64_t{j} * b, &bytes, 4);
    }
  }
#endif
  const BilinearAxis& h = priv.h;
  for (uint64_t i = uint64_t{j} * b; i < priv.dwHCount; ++i) {
    across[i] = static_cast<uint8_t>((uint64_t{h.weight0[i]} * source[h.index0[i]] +
                                      uint64_t{h.weight1[i]} * source[h.index1[i]]) >>
                                     23);
  }
}

// An output line from two lines interpolated across: (w0 · a + w1 · b) >> 23 per byte.
void InterpolateDown(const uint8_t* a, const uint8_t* b, uint32_t w0, uint32_t w1, uint8_t* out,
                     uint64_t bytes) {
  if (w0 == kWeightOne) {  // then w1 is 0
    std::memcpy(out, a, bytes);
    return;
  }
  uint64_t i = 0;
#if VT_STAGES_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_set1_epi32(static_cast<int>(HighWeights(w0, w1)));
  const __m128i low = _mm_set1_epi32(static_cast<int>(LowWeights(w0, w1)));
  for (; i + 16 <= bytes; i += 16) {
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i lo = _mm_unpacklo_epi8(u, v), hi = _mm_unpackhi_epi8(u, v);
    const __m128i result = PackResults(InterpolateFour(_mm_unpacklo_epi8(lo, zero), high, low),
                                       InterpolateFour(_mm_unpackhi_epi8(lo, zero), high, low),
                                       InterpolateFour(_mm_unpacklo_epi8(hi, zero), high, low),
                                       InterpolateFour(_mm_unpackhi_epi8(hi, zero), high, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), result);
  }
#endif
  for (; i < bytes; ++i)
    out[i] = static_cast<uint8_t>((uint64_t{a[i]} * w0 + uint64_t{b[i]} * w1) >> 23);
}

// A source line interpolated across, made only when neither of the two kept is that line; the
// one made replaces the kept line that is not `keep`. Consecutive output lines share their
// source lines, so each is mostly made once.
const uint8_t* AcrossLine(BilinearPrivate* priv, const uint8_t* source, const uint8_t* keep) {
  for (int s = 0; s < 2; ++s)
    if (priv->pAcrossSource[s] == source) return priv->pAcross[s];
  const int s = priv->pAcross[0] == keep ? 1 : 0;
  InterpolateAcross(*priv, source, priv->pAcross[s]);
  priv->pAcrossSource[s] = source;
  return priv->pAcross[s];
}

}  // namespace

bool CImageProcess::InitBilinearArray(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  auto* priv = StagePrivate<BilinearPrivate>(stage);
  if (!AllocateAxis(&priv->h, &priv->pHArrays, priv->dwHCount)) {
    stage->lStatus = kImageProcessMemoryError;
    return false;
  }
  if (p->dwDestWidth == 0 || p->dwSrcWidth == 0) return true;
  const AxisPositions x{p->dwSrcWidth, p->dwDestWidth, 0, 0, 0, int64_t{p->dwSrcWidth} - 1};
  BuildAxis(&priv->h, x, p->dwDestWidth, priv->dwBytesPerPixel);
  return true;
}

void CImageProcess::InitBiLinearScale(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  auto* priv = StageCreatePrivate<BilinearPrivate>(stage);
  if (priv == nullptr) return;
  // Interpolation works on whole bytes; one-bit and four-bit lines go through NearestScale.
  if (p->dwBitsPerPixel == 0 || p->dwBitsPerPixel % 8 != 0) {
    stage->lStatus = kImageProcessParameterError;
    return;
  }
  priv->dwBytesPerPixel = ScaleBytesPerPixel(p);
  const uint64_t count = uint64_t{p->dwDestWidth} * priv->dwBytesPerPixel;
  const uint64_t inLineBytes = uint64_t{p->dwSrcWidth} * priv->dwBytesPerPixel;
  if (count > (uint64_t{1} << 28) || inLineBytes > (uint64_t{1} << 28)) {
    stage->lStatus = kImageProcessMemoryError;
    return;
  }
  priv->dwHCount = static_cast<uint32_t>(count);
  if (!p->blUseYRateFraction) {
    uint64_t lines = (p->dwDestLength != 0 ? p->dwSrcLength / p->dwDestLength : 0) + 1;
    if (lines > kHistoryLimit) lines = kHistoryLimit;
    priv->dwHistoryLines = static_cast<uint32_t>(lines);
    priv->pHistory = static_cast<uint8_t*>(ImageProcessCalloc(lines * inLineBytes + 1, 1));
    if (priv->pHistory == nullptr) {
      stage->lStatus = kImageProcessMemoryError;
      return;
    }
  }
  if (!InitBilinearArray(stage)) return;
  // The SSE2 paths store a little past a line's end.
  for (uint8_t*& across : priv->pAcross) {
    across = static_cast<uint8_t*>(ImageProcessCalloc(count + 16, 1));
    if (across == nullptr) {
      stage->lStatus = kImageProcessMemoryError;
      return;
    }
  }
  if (!BuildPairs(priv, p->dwDestWidth, inLineBytes)) stage->lStatus = kImageProcessMemoryError;
}

void CImageProcess::ResetBiLinearScale(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<BilinearPrivate>(stage);
  priv->dwInLines = 0;
  priv->dwOutLines = 0;
}

void CImageProcess::TerminateBiLinearScale(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<BilinearPrivate>(stage);
  if (priv == nullptr) return;
  ImageProcessFree(priv->pHArrays);
  ImageProcessFree(priv->pVArrays);
  ImageProcessFree(priv->pAcross[0]);
  ImageProcessFree(priv->pAcross[1]);
  ImageProcessFree(priv->pPairArrays);
  ImageProcessFree(priv->pHistory);
  priv->pHArrays = priv->pVArrays = nullptr;
  priv->pAcross[0] = priv->pAcross[1] = nullptr;
  priv->pPairArrays = nullptr;
  priv->pHistory = nullptr;
}

void CImageProcess::DoBiLinearScale(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  auto* priv = StagePrivate<BilinearPrivate>(stage);
  const uint32_t b = priv->dwBytesPerPixel;
  const uint64_t inLineBytes = uint64_t{p->dwSrcWidth} * b;
  const uint64_t outLineBytes = priv->dwHCount;
  const uint32_t n = WholeUnits(stage->dwInputSize, inLineBytes);
  // The page positions of this block's first input and first output line.
  const uint32_t inBefore = priv->dwInLines, outBefore = priv->dwOutLines;
  const uint32_t m = ScaledLineCount(p, n, &priv->dwInLines, &priv->dwOutLines);
  if (!StageOutput(stage, outLineBytes * m)) return;

  if (m > 0 && n > 0) {
    if (m > priv->dwVCapacity) {
      const uint64_t capacity = uint64_t{m} + 100;
      if (capacity > 0xFFFFFFFFu ||
          !AllocateAxis(&priv->v, &priv->pVArrays, static_cast<uint32_t>(capacity))) {
        priv->dwVCapacity = 0;
        stage->lStatus = kImageProcessMemoryError;
        return;
      }
      priv->dwVCapacity = static_cast<uint32_t>(capacity);
    }
    // The step: input resolution / output resolution, or (input height - 1) / (output height -
    // 1). Lines before the block come from the history, as far back as it reaches; without one
    // (resolution mode) a position before the block reads its first line.
    AxisPositions y{};
    if (p->blUseYRateFraction) {
      y.num = p->dwYRateDenominator;
      y.den = p->dwYRateNumerator;
      y.lowest = 0;
    } else {
      y.num = p->dwDestLength > 1 ? p->dwSrcLength - 1 : p->dwSrcLength;
      y.den = p->dwDestLength > 1 ? p->dwDestLength - 1 : 1;
      y.lowest = -static_cast<int64_t>(priv->dwHistoryLines);
    }
    y.first = outBefore;
    y.origin = inBefore;
    y.highest = int64_t{n} - 1;
    BuildAxis(&priv->v, y, m, 1);

    // The lines interpolated across so far belong to earlier blocks.
    priv->pAcrossSource[0] = priv->pAcrossSource[1] = nullptr;
    auto sourceLine = [&](int32_t line) {
      return line >= 0 ? stage->pInput + line * inLineBytes
                       : priv->pHistory + (priv->dwHistoryLines + line) * inLineBytes;
    };
    for (uint32_t k = 0; k < m; ++k) {
      const uint32_t w0 = priv->v.weight0[k], w1 = priv->v.weight1[k];
      // Taps of weight 0 are not read.
      const uint8_t* a =
          w0 > 0 ? AcrossLine(priv, sourceLine(priv->v.index0[k]), nullptr) : nullptr;
      const uint8_t* c = w1 > 0 ? AcrossLine(priv, sourceLine(priv->v.index1[k]), a) : a;
      uint8_t* out = stage->pOutput + k * outLineBytes;
      if (a == nullptr && c == nullptr) {
        std::memset(out, 0, outLineBytes);
      } else {
        InterpolateDown(a != nullptr ? a : c, c, w0, w1, out, outLineBytes);
      }
    }
  }

  if (!p->blUseYRateFraction && n > 0) {
    const uint32_t keep = priv->dwHistoryLines;
    const uint32_t fresh = n < keep ? n : keep;
    uint8_t* history = priv->pHistory;
    if (fresh < keep)
      std::memmove(history, history + fresh * inLineBytes, (keep - fresh) * inLineBytes);
    std::memcpy(history + (keep - fresh) * inLineBytes, stage->pInput + (n - fresh) * inLineBytes,
                fresh * inLineBytes);
  }
}

// ---- HighQualityScaleUp ---------------------------------------------------------------------

void CImageProcess::DoHighQualityScaleUp(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_Scale>(stage);
  const uint64_t b = ScaleBytesPerPixel(p);
  const uint64_t inLineBytes = uint64_t{p->dwSrcWidth} * b;
  const uint64_t outLineBytes = uint64_t{p->dwDestWidth} * b;
  const uint32_t n = WholeUnits(stage->dwInputSize, inLineBytes);
  const uint64_t m = p->dwSrcLength != 0 ? uint64_t{p->dwDestLength} * n / p->dwSrcLength : 0;
  if (!StageOutput(stage, outLineBytes * m)) return;
  for (uint64_t k = 0; k < m; ++k) {
    uint64_t line =
        static_cast<uint64_t>(static_cast<double>(k) * p->dwSrcLength / p->dwDestLength);
    if (line >= n) line = n - 1;
    const uint8_t* in = stage->pInput + line * inLineBytes;
    uint8_t* out = stage->pOutput + k * outLineBytes;
    for (uint64_t j = 0; j < p->dwDestWidth; ++j) {
      uint64_t px = static_cast<uint64_t>(static_cast<double>(j) * p->dwSrcWidth / p->dwDestWidth);
      if (px >= p->dwSrcWidth) px = p->dwSrcWidth - 1;
      std::memcpy(out + j * b, in + px * b, b);
    }
  }
}

// ---- CutImage -------------------------------------------------------------------------------

void CImageProcess::InitCutImage(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_CutImage>(stage);
  auto* priv = StageCreatePrivate<CutPrivate>(stage);
  if (priv == nullptr) return;
  const uint64_t bytes = p->blColor ? 3 : 1;
  const uint64_t in = p->Pixel * bytes;
  const uint64_t left = p->dwCutLeft * bytes;
  const uint64_t right = p->dwCutRight * bytes;
  if (in > 0xFFFFFFFFu) {
    stage->lStatus = kImageProcessParameterError;
    return;
  }
  priv->dwInLineBytes = static_cast<uint32_t>(in);
  // Cuts wider than the line leave nothing of it.
  priv->dwCutLeft = static_cast<uint32_t>(left < in ? left : in);
  priv->dwOutLineBytes = left + right < in ? static_cast<uint32_t>(in - left - right) : 0;
  if (p->blDelayCutTop == 1 && p->dwCutTop > 0) {
    const uint64_t ringBytes = uint64_t{p->dwCutTop} * priv->dwOutLineBytes;
    if (ringBytes > (uint64_t{1} << 32)) {
      stage->lStatus = kImageProcessMemoryError;
      return;
    }
    priv->pRing = static_cast<uint8_t*>(ImageProcessAlloc(ringBytes + 1));
    if (priv->pRing == nullptr) {
      stage->lStatus = kImageProcessMemoryError;
      return;
    }
    priv->dwRingLines = p->dwCutTop;
  }
}

void CImageProcess::ResetCutImage(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<CutPrivate>(stage);
  priv->dwLines = 0;
  priv->dwRead = 0;
  priv->dwWrite = 0;
}

void CImageProcess::TerminateCutImage(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<CutPrivate>(stage);
  if (priv == nullptr) return;
  ImageProcessFree(priv->pRing);
  priv->pRing = nullptr;
}

void CImageProcess::DoCutImage(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_CutImage>(stage);
  auto* priv = StagePrivate<CutPrivate>(stage);
  const uint64_t inLine = priv->dwInLineBytes;
  const uint64_t outLine = priv->dwOutLineBytes;
  const uint32_t n = WholeUnits(stage->dwInputSize, inLine);
  const uint32_t cut = p->dwCutTop;

  if (priv->pRing == nullptr) {
    // Start cut: the page's first `cut` lines are dropped.
    uint32_t skip = n;
    if (uint64_t{priv->dwLines} + n >= cut) skip = cut > priv->dwLines ? cut - priv->dwLines : 0;
    const uint32_t keep = n - skip;
    priv->dwLines += n;
    if (!StageOutput(stage, outLine * keep)) return;
    for (uint32_t l = 0; l < keep; ++l) {
      std::memcpy(stage->pOutput + l * outLine,
                  stage->pInput + (skip + l) * inLine + priv->dwCutLeft, outLine);
    }
    return;
  }

  // Bottom cut: every line waits in the ring until `cut` later lines have arrived.
  const uint32_t before = priv->dwLines;
  const uint32_t ready = before + n > cut ? (before >= cut ? n : before + n - cut) : 0;
  if (!StageOutput(stage, outLine * ready)) return;
  uint8_t* out = stage->pOutput;
  for (uint32_t l = 0; l < n; ++l) {
    if (priv->dwLines >= cut) {
      std::memcpy(out, priv->pRing + uint64_t{priv->dwRead} * outLine, outLine);
      out += outLine;
      priv->dwRead = (priv->dwRead + 1) % priv->dwRingLines;
    }
    std::memcpy(priv->pRing + uint64_t{priv->dwWrite} * outLine,
                stage->pInput + l * inLine + priv->dwCutLeft, outLine);
    priv->dwWrite = (priv->dwWrite + 1) % priv->dwRingLines;
    if (priv->dwLines < cut) ++priv->dwLines;
  }
}

// ---- LineDifference -------------------------------------------------------------------------

void CImageProcess::InitLineDifference(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_LineDifference>(stage);
  auto* priv = StageCreatePrivate<LineDifferencePrivate>(stage);
  if (priv == nullptr) return;
  uint32_t most = 0;
  for (uint32_t d : p->dwDelay) most = d > most ? d : most;
  uint64_t total = 0;
  for (int c = 0; c < 3; ++c) {
    const uint64_t size = uint64_t{most - p->dwDelay[c]} * p->Pixel;
    if (size > 0xFFFFFFFFu) {
      stage->lStatus = kImageProcessMemoryError;
      return;
    }
    priv->dwRingSize[c] = static_cast<uint32_t>(size);
    total += size;
  }
  priv->pRings = static_cast<uint8_t*>(ImageProcessCalloc(total + 1, 1));
  if (priv->pRings == nullptr) {
    stage->lStatus = kImageProcessMemoryError;
    return;
  }
  uint64_t offset = 0;
  for (int c = 0; c < 3; ++c) {
    priv->pRing[c] = priv->pRings + offset;
    offset += priv->dwRingSize[c];
  }
}

void CImageProcess::ResetLineDifference(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_LineDifference>(stage);
  auto* priv = StagePrivate<LineDifferencePrivate>(stage);
  for (int c = 0; c < 3; ++c) {
    priv->dwSkip[c] = p->dwDelay[c];
    priv->dwPosition[c] = 0;
  }
  // Without any delay there is nothing to wait for: every line passes at once.
  priv->blReady = (p->dwDelay[0] | p->dwDelay[1] | p->dwDelay[2]) == 0;
}

void CImageProcess::TerminateLineDifference(CImageProcess_StageInformation* stage) {
  auto* priv = StagePrivate<LineDifferencePrivate>(stage);
  if (priv == nullptr) return;
  ImageProcessFree(priv->pRings);
  priv->pRings = nullptr;
}

void CImageProcess::DoLineDifference(CImageProcess_StageInformation* stage) {
  const uint32_t w = StageParameter<CImageProcess_Parameter_LineDifference>(stage)->Pixel;
  auto* priv = StagePrivate<LineDifferencePrivate>(stage);
  const uint64_t lineBytes = uint64_t{w} * 3;
  const uint32_t lines = WholeUnits(stage->dwInputSize, lineBytes);
  if (!StageOutput(stage, lineBytes * lines)) return;
  uint8_t* out = stage->pOutput;
  uint32_t produced = 0;
  for (uint32_t l = 0; l < lines; ++l) {
    const uint8_t* in = stage->pInput + l * lineBytes;
    if (!priv->blReady) {
      for (int c = 0; c < 3; ++c) {
        if (priv->dwSkip[c] > 0) {
          --priv->dwSkip[c];
        } else if (priv->dwRingSize[c] > 0) {
          uint8_t* ring = priv->pRing[c] + priv->dwPosition[c];
          for (uint32_t x = 0; x < w; ++x) ring[x] = in[3 * x + c];
          priv->dwPosition[c] = (priv->dwPosition[c] + w) % priv->dwRingSize[c];
        }
      }
      priv->blReady = priv->dwSkip[0] == 0 && priv->dwSkip[1] == 0 && priv->dwSkip[2] == 0;
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      if (priv->dwRingSize[c] == 0) {
        for (uint32_t x = 0; x < w; ++x) out[3 * x + c] = in[3 * x + c];
        continue;
      }
      uint8_t* ring = priv->pRing[c] + priv->dwPosition[c];
      for (uint32_t x = 0; x < w; ++x) {
        out[3 * x + c] = ring[x];
        ring[x] = in[3 * x + c];
      }
      priv->dwPosition[c] = (priv->dwPosition[c] + w) % priv->dwRingSize[c];
    }
    out += lineBytes;
    ++produced;
  }
  stage->dwOutputSize = static_cast<uint32_t>(lineBytes * produced);
}

// ---- Line shape ----------------------------------------------------------------------------

void CImageProcess::DoLeftRightPadding(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_LeftRightPadding>(stage);
  const uint64_t in = p->dwSrcBytesPerLine;
  const uint64_t outLine = in + p->dwLeftPadding + p->dwRightPadding;
  const uint32_t lines = WholeUnits(stage->dwInputSize, in);
  if (!StageOutput(stage, outLine * lines)) return;
  uint8_t* out = stage->pOutput;
  for (uint32_t l = 0; l < lines; ++l, out += outLine) {
    std::memset(out, p->bPaddingValue, p->dwLeftPadding);
    std::memcpy(out + p->dwLeftPadding, stage->pInput + l * in, in);
    std::memset(out + p->dwLeftPadding + in, p->bPaddingValue, p->dwRightPadding);
  }
}

void CImageProcess::DoModifyWidth(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_ModifyWidth>(stage);
  const uint64_t in = p->dwSrcBytesPerLine;
  const uint64_t outLine = p->dwDstBytesPerLine;
  const uint32_t lines = WholeUnits(stage->dwInputSize, in);
  if (!StageOutput(stage, outLine * lines)) return;
  const uint64_t copy = in < outLine ? in : outLine;
  uint8_t* out = stage->pOutput;
  for (uint32_t l = 0; l < lines; ++l, out += outLine) {
    std::memcpy(out, stage->pInput + l * in, copy);
    std::memset(out + copy, p->bPaddingValue, outLine - copy);
  }
}

void CImageProcess::DoHorizontalMirror(CImageProcess_StageInformation* stage) {
  const auto* p = StageParameter<CImageProcess_Parameter_HorizontalMirror>(stage);
  const uint64_t pixels = p->dwPixelsPerLine;
  const uint64_t bpp = p->dwBytesPerPixel;
  const uint64_t lineBytes = pixels * bpp;
  const uint32_t lines = WholeUnits(stage->dwInputSize, lineBytes);
  if (!StageOutput(stage, lineBytes * lines)) return;
  for (uint32_t l = 0; l < lines; ++l) {
    const uint8_t* in = stage->pInput + l * lineBytes;
    uint8_t* out = stage->pOutput + l * lineBytes;
    for (uint64_t j = 0; j < pixels; ++j)
      std::memcpy(out + j * bpp, in + (pixels - 1 - j) * bpp, bpp);
  }
}

void CImageProcess::DoNoProcessing(CImageProcess_StageInformation* stage) {
  if (!StageOutput(stage, stage->dwInputSize)) return;
  if (stage->dwInputSize > 0) std::memcpy(stage->pOutput, stage->pInput, stage->dwInputSize);
}
