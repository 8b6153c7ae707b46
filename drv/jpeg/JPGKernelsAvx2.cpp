// The AVX2 kernels (this file alone is compiled for AVX2; they run only where the processor has
// it).
#include "drv/jpeg/JPGKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernelsX86.h"

namespace {

using namespace jpgx86;

// ---------------------------------------------------------------------------------------------
// Inverse transform: a whole row of eight 32-bit lanes per register, so that any coefficients
// give the reference's results.

inline __m256i mul8x256(__m256i v, int32_t c) {
  return _mm256_srai_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(c)), 8);
}

inline void idctPass256(__m256i* v) {
  const __m256i tmp10 = _mm256_add_epi32(v[0], v[4]), tmp11a = _mm256_sub_epi32(v[0], v[4]);
  const __m256i tmp13 = _mm256_add_epi32(v[2], v[6]);
  const __m256i tmp12a =
      _mm256_sub_epi32(mul8x256(_mm256_sub_epi32(v[2], v[6]), kJpgFix1_414), tmp13);
  const __m256i tmp0 = _mm256_add_epi32(tmp10, tmp13), tmp3 = _mm256_sub_epi32(tmp10, tmp13);
  const __m256i tmp1 = _mm256_add_epi32(tmp11a, tmp12a), tmp2 = _mm256_sub_epi32(tmp11a, tmp12a);
  const __m256i z13 = _mm256_add_epi32(v[5], v[3]), z10 = _mm256_sub_epi32(v[5], v[3]);
  const __m256i z11 = _mm256_add_epi32(v[1], v[7]), z12 = _mm256_sub_epi32(v[1], v[7]);
  const __m256i tmp7 = _mm256_add_epi32(z11, z13);
  const __m256i tmp11 = mul8x256(_mm256_sub_epi32(z11, z13), kJpgFix1_414);
  const __m256i z5 = mul8x256(_mm256_add_epi32(z10, z12), kJpgFix1_847);
  const __m256i tmp10b = _mm256_sub_epi32(mul8x256(z12, kJpgFix1_082), z5);
  const __m256i tmp12 = _mm256_add_epi32(mul8x256(z10, -kJpgFix2_613), z5);
  const __m256i tmp6 = _mm256_sub_epi32(tmp12, tmp7), tmp5 = _mm256_sub_epi32(tmp11, tmp6);
  const __m256i tmp4 = _mm256_add_epi32(tmp10b, tmp5);
  v[0] = _mm256_add_epi32(tmp0, tmp7);
  v[7] = _mm256_sub_epi32(tmp0, tmp7);
  v[1] = _mm256_add_epi32(tmp1, tmp6);
  v[6] = _mm256_sub_epi32(tmp1, tmp6);
  v[2] = _mm256_add_epi32(tmp2, tmp5);
  v[5] = _mm256_sub_epi32(tmp2, tmp5);
  v[4] = _mm256_add_epi32(tmp3, tmp4);
  v[3] = _mm256_sub_epi32(tmp3, tmp4);
}

inline void transpose8x8x32(__m256i* r) {
  __m256i t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    r[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

void idctAvx2(const int16_t* coef, const int32_t* q, uint8_t* out, uint32_t stride) {
  __m256i v[8];
  for (int k = 0; k < 8; ++k) {
    const __m256i c =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * k)));
    v[k] = _mm256_mullo_epi32(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 8 * k)));
  }
  idctPass256(v);  // columns
  transpose8x8x32(v);
  idctPass256(v);  // rows: v[x] holds sample x of every row
  transpose8x8x32(v);
  // The level shift before the saturating pack, as the plain clamp does it.
  const __m256i k128 = _mm256_set1_epi32(128);
  auto level = [&](__m256i x) { return _mm256_add_epi32(_mm256_srai_epi32(x, 5), k128); };
  for (int r = 0; r < 8; r += 4) {
    // Two rows a register: packing works within halves, the permute puts rows back whole.
    const __m256i ab = _mm256_permute4x64_epi64(_mm256_packs_epi32(level(v[r]), level(v[r + 1])),
                                                _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i cd = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(level(v[r + 2]), level(v[r + 3])), _MM_SHUFFLE(3, 1, 2, 0));
    // Bytes: row r, row r + 2 | row r + 1, row r + 3.
    const __m256i px = _mm256_packus_epi16(ab, cd);
    const __m128i lo = _mm256_castsi256_si128(px), hi = _mm256_extracti128_si256(px, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r) * stride), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r + 1) * stride), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r + 2) * stride),
                     _mm_unpackhi_epi64(lo, lo));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r + 3) * stride),
                     _mm_unpackhi_epi64(hi, hi));
  }
}

// ---------------------------------------------------------------------------------------------
// Forward transform and quantisation: the 16-bit passes, then the non-zero flags put in zig-zag
// order with byte shuffles.

struct ZigZagShuffles {
  // Group g of 16 zig-zag positions from the 16 natural positions of source s.
  alignas(16) int8_t m[4][4][16] = {};
  constexpr ZigZagShuffles() {
    for (int g = 0; g < 4; ++g)
      for (int s = 0; s < 4; ++s)
        for (int i = 0; i < 16; ++i) {
          const int n = pZz2Org[16 * g + i];
          m[g][s][i] = int8_t(n >> 4 == s ? n & 15 : -128);
        }
  }
};
// Made by the compiler: this file must run nothing as the library loads (see JPGKernels.h).
constexpr ZigZagShuffles kZigZag;

uint64_t fdctQuantAvx2(const int16_t* block, const JpgQuantTable* t, int16_t* coef) {
  __m128i r[8];
  for (int i = 0; i < 8; ++i)
    r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  fdctQuantRows16(r, t);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(coef + 8 * i), r[i]);
  const __m128i zero = _mm_setzero_si128();
  __m128i isZero[4];
  for (int s = 0; s < 4; ++s)
    isZero[s] = _mm_cmpeq_epi8(_mm_packs_epi16(r[2 * s], r[2 * s + 1]), zero);
  uint64_t mask = 0;
  for (int g = 0; g < 4; ++g) {
    __m128i z = zero;
    for (int s = 0; s < 4; ++s)
      z = _mm_or_si128(
          z, _mm_shuffle_epi8(isZero[s],
                              _mm_load_si128(reinterpret_cast<const __m128i*>(kZigZag.m[g][s]))));
    mask |= uint64_t(~uint32_t(_mm_movemask_epi8(z)) & 0xFFFFu) << (16 * g);
  }
  return mask;
}

// Two blocks at once, one in each half of the registers: every step of the 16-bit passes works
// within halves, so each half does exactly what fdctQuantRows16 does.

inline void transpose8x8x16x2(__m256i* r) {
  __m256i a[8], b[8];
  for (int i = 0; i < 8; i += 2) {
    a[i] = _mm256_unpacklo_epi16(r[i], r[i + 1]);
    a[i + 1] = _mm256_unpackhi_epi16(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm256_unpacklo_epi32(a[i], a[i + 2]);
    b[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 2]);
    b[i + 2] = _mm256_unpacklo_epi32(a[i + 1], a[i + 3]);
    b[i + 3] = _mm256_unpackhi_epi32(a[i + 1], a[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 4]);
    r[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 4]);
  }
}

inline __m256i mul8Above256x2(__m256i v, int16_t cLess256Shifted) {
  return _mm256_add_epi16(v, _mm256_mulhi_epi16(v, _mm256_set1_epi16(cLess256Shifted)));
}

inline void fdctPass16x2(__m256i* d) {
  const __m256i tmp0 = _mm256_add_epi16(d[0], d[7]), tmp7 = _mm256_sub_epi16(d[0], d[7]);
  const __m256i tmp1 = _mm256_add_epi16(d[1], d[6]), tmp6 = _mm256_sub_epi16(d[1], d[6]);
  const __m256i tmp2 = _mm256_add_epi16(d[2], d[5]), tmp5 = _mm256_sub_epi16(d[2], d[5]);
  const __m256i tmp3 = _mm256_add_epi16(d[3], d[4]), tmp4 = _mm256_sub_epi16(d[3], d[4]);
  const __m256i tmp10 = _mm256_add_epi16(tmp0, tmp3), tmp13 = _mm256_sub_epi16(tmp0, tmp3);
  const __m256i tmp11 = _mm256_add_epi16(tmp1, tmp2), tmp12 = _mm256_sub_epi16(tmp1, tmp2);
  d[0] = _mm256_add_epi16(tmp10, tmp11);
  d[4] = _mm256_sub_epi16(tmp10, tmp11);
  const __m256i z1 = mul8Above256x2(_mm256_add_epi16(tmp12, tmp13), kJpgMulhi0_707);
  d[2] = _mm256_add_epi16(tmp13, z1);
  d[6] = _mm256_sub_epi16(tmp13, z1);
  const __m256i t10 = _mm256_add_epi16(tmp4, tmp5), t11 = _mm256_add_epi16(tmp5, tmp6);
  const __m256i t12 = _mm256_add_epi16(tmp6, tmp7);
  const __m256i z5 =
      _mm256_mulhi_epi16(_mm256_sub_epi16(t10, t12), _mm256_set1_epi16(kJpgMulhi0_382));
  const __m256i z2 = _mm256_add_epi16(mul8Above256x2(t10, kJpgMulhi0_541), z5);
  const __m256i z4 = _mm256_add_epi16(mul8Above256x2(t12, kJpgMulhi1_306), z5);
  const __m256i z3 = mul8Above256x2(t11, kJpgMulhi0_707);
  const __m256i z11 = _mm256_add_epi16(tmp7, z3), z13 = _mm256_sub_epi16(tmp7, z3);
  d[5] = _mm256_add_epi16(z13, z2);
  d[3] = _mm256_sub_epi16(z13, z2);
  d[1] = _mm256_add_epi16(z11, z4);
  d[7] = _mm256_sub_epi16(z11, z4);
}

void fdctQuant2Avx2(const int16_t* a, const int16_t* b, const JpgQuantTable* t, int16_t* coefA,
                    int16_t* coefB, uint64_t* masks) {
  __m256i r[8];
  for (int i = 0; i < 8; ++i)
    r[i] = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * i))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * i)), 1);
  transpose8x8x16x2(r);
  fdctPass16x2(r);
  transpose8x8x16x2(r);
  fdctPass16x2(r);
  for (int i = 0; i < 8; ++i) {
    auto table = [&](const uint16_t* p) {
      return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    };
    const __m256i x = r[i];
    const __m256i sign = _mm256_srai_epi16(x, 15);
    const __m256i ax = _mm256_sub_epi16(_mm256_xor_si256(x, sign), sign);
    const __m256i th =
        _mm256_mulhi_epu16(_mm256_add_epi16(ax, table(t->qadd + 8 * i)), table(t->qmul + 8 * i));
    const __m256i v = _mm256_mulhi_epu16(_mm256_slli_epi16(th, 1), table(t->qscale + 8 * i));
    r[i] = _mm256_sub_epi16(_mm256_xor_si256(v, sign), sign);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(coefA + 8 * i), _mm256_castsi256_si128(r[i]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(coefB + 8 * i), _mm256_extracti128_si256(r[i], 1));
  }
  const __m256i zero = _mm256_setzero_si256();
  __m256i isZero[4];
  for (int s = 0; s < 4; ++s)
    isZero[s] = _mm256_cmpeq_epi8(_mm256_packs_epi16(r[2 * s], r[2 * s + 1]), zero);
  uint64_t ma = 0, mb = 0;
  for (int g = 0; g < 4; ++g) {
    __m256i z = zero;
    for (int s = 0; s < 4; ++s)
      z = _mm256_or_si256(
          z,
          _mm256_shuffle_epi8(isZero[s], _mm256_broadcastsi128_si256(_mm_load_si128(
                                             reinterpret_cast<const __m128i*>(kZigZag.m[g][s])))));
    const uint32_t nz = ~uint32_t(_mm256_movemask_epi8(z));
    ma |= uint64_t(nz & 0xFFFFu) << (16 * g);
    mb |= uint64_t(nz >> 16) << (16 * g);
  }
  masks[0] = ma;
  masks[1] = mb;
}

// ---------------------------------------------------------------------------------------------
// Colour conversion, sixteen pixels at a time. R and B need one product each: a 16-bit high
// product of the chroma scaled by 16 is exactly the 12-bit shift. G's two products are summed
// in 32 bits first, as the plain code does. The bytes go to their pixels through shuffles made
// for the row's channel order.

struct YccShuffles {
  // For each half (eight pixels): output bytes [0, 16) and [16, 32) from the R, G bytes (R at
  // 0-7, G at 8-15) and from the B bytes (0-7).
  __m256i fromRg[2], fromB[2];
};

YccShuffles makeYccShuffles(uint32_t bpp, const uint32_t* seq) {
  alignas(32) int8_t rg[2][32], b[2][32];
  for (int part = 0; part < 2; ++part)
    for (int j = 0; j < 16; ++j) {
      const int at = 16 * part + j;  // byte of the eight pixels' output
      const int px = at / int(bpp), slot = at % int(bpp);
      int8_t fromRg = -128, fromB = -128;
      if (px < 8) {
        if (uint32_t(slot) == seq[0]) fromRg = int8_t(px);
        if (uint32_t(slot) == seq[1]) fromRg = int8_t(8 + px);
        if (uint32_t(slot) == seq[2]) fromB = int8_t(px);
      }
      rg[part][j] = rg[part][j + 16] = fromRg;
      b[part][j] = b[part][j + 16] = fromB;
    }
  YccShuffles m;
  for (int part = 0; part < 2; ++part) {
    m.fromRg[part] = _mm256_load_si256(reinterpret_cast<const __m256i*>(rg[part]));
    m.fromB[part] = _mm256_load_si256(reinterpret_cast<const __m256i*>(b[part]));
  }
  return m;
}

template <int kShift, int kBpp>
int32_t yccRowT(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int32_t width,
                const YccShuffles& m) {
  const __m256i k128 = _mm256_set1_epi16(128);
  const __m256i cR = _mm256_set1_epi16(int16_t(kJpgColour.crR));
  const __m256i cB = _mm256_set1_epi16(int16_t(kJpgColour.cbB));
  const __m256i cG = _mm256_set1_epi32(
      int32_t(uint32_t(kJpgColour.crG) << 16 | (uint32_t(kJpgColour.cbG) & 0xFFFF)));
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i b8, r8;
    if (kShift == 1) {
      b8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + (x >> 1)));
      r8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + (x >> 1)));
      b8 = _mm_unpacklo_epi8(b8, b8);
      r8 = _mm_unpacklo_epi8(r8, r8);
    } else {
      b8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
      r8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
    }
    const __m256i Y =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x)));
    const __m256i b = _mm256_sub_epi16(_mm256_cvtepu8_epi16(b8), k128);
    const __m256i r = _mm256_sub_epi16(_mm256_cvtepu8_epi16(r8), k128);
    const __m256i dr = _mm256_mulhi_epi16(_mm256_slli_epi16(r, 4), cR);
    const __m256i db = _mm256_mulhi_epi16(_mm256_slli_epi16(b, 4), cB);
    const __m256i dg = _mm256_packs_epi32(
        _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(b, r), cG), 12),
        _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(b, r), cG), 12));
    // Halves of eight pixels: R, G bytes and B bytes, clamped by saturation.
    const __m256i rg = _mm256_packus_epi16(_mm256_add_epi16(Y, dr), _mm256_add_epi16(Y, dg));
    const __m256i bb = _mm256_packus_epi16(_mm256_add_epi16(Y, db), _mm256_add_epi16(Y, db));
    const __m256i p0 =
        _mm256_or_si256(_mm256_shuffle_epi8(rg, m.fromRg[0]), _mm256_shuffle_epi8(bb, m.fromB[0]));
    const __m256i p1 =
        _mm256_or_si256(_mm256_shuffle_epi8(rg, m.fromRg[1]), _mm256_shuffle_epi8(bb, m.fromB[1]));
    uint8_t* o = out + size_t(x) * kBpp;
    if (kBpp == 4) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_permute2x128_si256(p0, p1, 0x20));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32),
                          _mm256_permute2x128_si256(p0, p1, 0x31));
    } else {
      // 24 bytes a half.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(p0));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_castsi256_si128(p1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 24), _mm256_extracti128_si256(p0, 1));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 40), _mm256_extracti128_si256(p1, 1));
    }
  }
  return x;
}

int32_t yccRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                   int32_t width, int shift, uint32_t bpp, const uint32_t* seq) {
  if (width < 16) return 0;
  const YccShuffles m = makeYccShuffles(bpp, seq);
  if (shift == 1)
    return bpp == 3 ? yccRowT<1, 3>(y, cb, cr, out, width, m)
                    : yccRowT<1, 4>(y, cb, cr, out, width, m);
  return bpp == 3 ? yccRowT<0, 3>(y, cb, cr, out, width, m)
                  : yccRowT<0, 4>(y, cb, cr, out, width, m);
}

// ---------------------------------------------------------------------------------------------
// RGB to YCbCr: the channels pulled out of the pixels with byte shuffles.

struct Rgb256 {
  static __m256i pair(int32_t a, int32_t b) {
    return _mm256_set1_epi32(int32_t(uint32_t(b) << 16 | (uint32_t(a) & 0xFFFF)));
  }
  __m256i yRG = pair(kJpgColour.y[0], kJpgColour.y[1]), yB = pair(kJpgColour.y[2], 0);
  __m256i cbRG = pair(kJpgColour.cb[0], kJpgColour.cb[1]), cbB = pair(kJpgColour.cb[2], 0);
  __m256i crRG = pair(kJpgColour.cr[0], kJpgColour.cr[1]), crB = pair(kJpgColour.cr[2], 0);
};

// Each register holds four pixels a half: bytes [0, 16) and, for 3-byte pixels, [8, 24) (so
// that no load passes the 24 bytes of eight pixels), or [16, 32) for 4-byte ones. Byte shuffles
// turn them straight into the 16-bit pairs of the multiply-adds: (R, G) and (B, 0) a pixel.
struct SampleShuffles {
  __m256i rg, b;       // all four pixels of each half
  __m256i rgA, bA;     // pixels 0 and 2 of each half into pairs 0 and 1 (chroma of h = 2)
  __m256i rgB, bB;     // the same into pairs 2 and 3
  uint32_t key = ~0u;  // bpp and channel offsets these were made for
};

void makeSampleShuffles(uint32_t bpp, const uint32_t* seq, SampleShuffles* m) {
  alignas(32) int8_t rg[32], b[32], rgA[32], bA[32], rgB[32], bB[32];
  for (int half = 0; half < 2; ++half) {
    const int base = half == 1 && bpp == 3 ? 4 : 0;
    for (int i = 0; i < 4; ++i) {
      const int at = base + i * int(bpp);
      int8_t* q = rg + 16 * half + 4 * i;
      q[0] = int8_t(at + int(seq[0]));
      q[1] = -128;
      q[2] = int8_t(at + int(seq[1]));
      q[3] = -128;
      int8_t* p = b + 16 * half + 4 * i;
      p[0] = int8_t(at + int(seq[2]));
      p[1] = p[2] = p[3] = -128;
    }
    for (int j = 0; j < 4; ++j) {
      // Pair j of the chroma registers: pixel 2 * (j & 1) of the half, from the first register
      // for j < 2, the second for j >= 2.
      const int src = 2 * (j & 1);
      for (int k = 0; k < 4; ++k) {
        const bool first = j < 2;
        (first ? rgA : rgB)[16 * half + 4 * j + k] = rg[16 * half + 4 * src + k];
        (first ? bA : bB)[16 * half + 4 * j + k] = b[16 * half + 4 * src + k];
        (first ? rgB : rgA)[16 * half + 4 * j + k] = -128;
        (first ? bB : bA)[16 * half + 4 * j + k] = -128;
      }
    }
  }
  auto ld = [](const int8_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); };
  m->rg = ld(rg);
  m->b = ld(b);
  m->rgA = ld(rgA);
  m->bA = ld(bA);
  m->rgB = ld(rgB);
  m->bB = ld(bB);
  m->key = bpp << 24 | seq[0] << 16 | seq[1] << 8 | seq[2];
}

// Four pixels a half from p (see SampleShuffles).
template <int kBpp>
inline __m256i loadQuads(const uint8_t* p) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + (kBpp == 3 ? 8 : 16))), 1);
}

inline __m256i pairSum(__m256i rg, __m256i b, __m256i cRG, __m256i cB) {
  return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(rg, cRG), _mm256_madd_epi16(b, cB)),
                           12);
}

template <int kBpp, int kH>
void sampleRgbT(const uint8_t* src, uint32_t stride, const SampleShuffles& m, int v,
                int16_t (*blocks)[64]) {
  const Rgb256 k;
  const __m256i k128 = _mm256_set1_epi16(128);
  const __m256i chromaOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int y = 0; y < 8 * v; ++y) {
    const uint8_t* row = src + size_t(y) * stride;
    const __m256i q0 = loadQuads<kBpp>(row);
    const __m256i rg0 = _mm256_shuffle_epi8(q0, m.rg), b0 = _mm256_shuffle_epi8(q0, m.b);
    const __m256i y0 = pairSum(rg0, b0, k.yRG, k.yB);  // pixels 0-3 | 4-7
    int16_t* lrow = blocks[(y >> 3) * kH] + 8 * (y & 7);
    __m256i q1 = q0;
    if (kH == 2) {
      q1 = loadQuads<kBpp>(row + 8 * kBpp);
      const __m256i y1 = pairSum(_mm256_shuffle_epi8(q1, m.rg), _mm256_shuffle_epi8(q1, m.b), k.yRG,
                                 k.yB);  // pixels 8-11 | 12-15
      // Halves: 0-3, 8-11 | 4-7, 12-15; the permute makes them 0-7 | 8-15.
      const __m256i luma = _mm256_sub_epi16(
          _mm256_permute4x64_epi64(_mm256_packs_epi32(y0, y1), _MM_SHUFFLE(3, 1, 2, 0)), k128);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lrow), _mm256_castsi256_si128(luma));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lrow + 64), _mm256_extracti128_si256(luma, 1));
    } else {
      const __m256i luma = _mm256_sub_epi16(
          _mm256_permute4x64_epi64(_mm256_packs_epi32(y0, y0), _MM_SHUFFLE(3, 1, 2, 0)), k128);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lrow), _mm256_castsi256_si128(luma));
    }
    if (y % v != 0) continue;
    int16_t* cbRow = blocks[4] + 8 * (y / v);
    int16_t* crRow = blocks[5] + 8 * (y / v);
    if (kH == 2) {
      // Pixels 0, 2, 8, 10 | 4, 6, 12, 14: chroma samples 0, 1, 4, 5 | 2, 3, 6, 7.
      const __m256i rg =
          _mm256_or_si256(_mm256_shuffle_epi8(q0, m.rgA), _mm256_shuffle_epi8(q1, m.rgB));
      const __m256i b =
          _mm256_or_si256(_mm256_shuffle_epi8(q0, m.bA), _mm256_shuffle_epi8(q1, m.bB));
      const __m256i both = _mm256_permutevar8x32_epi32(
          _mm256_packs_epi32(pairSum(rg, b, k.cbRG, k.cbB), pairSum(rg, b, k.crRG, k.crB)),
          chromaOrder);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cbRow), _mm256_castsi256_si128(both));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(crRow), _mm256_extracti128_si256(both, 1));
    } else {
      const __m256i both = _mm256_permute4x64_epi64(
          _mm256_packs_epi32(pairSum(rg0, b0, k.cbRG, k.cbB), pairSum(rg0, b0, k.crRG, k.crB)),
          _MM_SHUFFLE(3, 1, 2, 0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cbRow), _mm256_castsi256_si128(both));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(crRow), _mm256_extracti128_si256(both, 1));
    }
  }
}

void sampleRgbAvx2(const uint8_t* src, uint32_t stride, uint32_t bpp, const uint32_t* seq, int h,
                   int v, int16_t (*blocks)[64]) {
  // The shuffles of the last layout, kept per thread: a page has one layout throughout.
  thread_local SampleShuffles m;
  if (m.key != (bpp << 24 | seq[0] << 16 | seq[1] << 8 | seq[2])) makeSampleShuffles(bpp, seq, &m);
  if (bpp == 3)
    h == 2 ? sampleRgbT<3, 2>(src, stride, m, v, blocks)
           : sampleRgbT<3, 1>(src, stride, m, v, blocks);
  else
    h == 2 ? sampleRgbT<4, 2>(src, stride, m, v, blocks)
           : sampleRgbT<4, 1>(src, stride, m, v, blocks);
}

const JpgKernels kAvx2 = {JpgIsa::kAvx2,  "avx2",     idctAvx2,     fdctQuantAvx2,
                          fdctQuant2Avx2, yccRowAvx2, sampleRgbAvx2};

}  // namespace

const JpgKernels* jpgAvx2Kernels() { return &kAvx2; }

#else

const JpgKernels* jpgAvx2Kernels() { return nullptr; }

#endif
