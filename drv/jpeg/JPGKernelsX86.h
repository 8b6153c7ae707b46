#pragma once
// 128-bit building blocks of the SSE2 and AVX2 kernels. Each kernel file is compiled for its own
// instruction set, so these helpers have internal linkage: an AVX2 copy of an inline function
// must never stand in for the SSE2 one at link time.
#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif
#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

#include <cstdint>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernels.h"

namespace {
namespace jpgx86 {

inline __m128i mullo32(__m128i a, __m128i b) {
#if defined(__SSE4_1__)
  return _mm_mullo_epi32(a, b);
#else
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
#endif
}

inline void transpose4x4(__m128i a, __m128i b, __m128i c, __m128i d, __m128i* o0, __m128i* o1,
                         __m128i* o2, __m128i* o3) {
  const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
  const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
  *o0 = _mm_unpacklo_epi64(t0, t1);
  *o1 = _mm_unpackhi_epi64(t0, t1);
  *o2 = _mm_unpacklo_epi64(t2, t3);
  *o3 = _mm_unpackhi_epi64(t2, t3);
}

// (v * c) >> 8 on 32-bit lanes.
inline __m128i mul8x32(__m128i v, int32_t c) {
  return _mm_srai_epi32(mullo32(v, _mm_set1_epi32(c)), 8);
}

// One pass of the fast inverse transform on 32-bit lanes: v[k] is input k of every lane's
// 8-point transform, and becomes output k.
inline void idctPass32(__m128i* v) {
  const __m128i tmp10 = _mm_add_epi32(v[0], v[4]), tmp11a = _mm_sub_epi32(v[0], v[4]);
  const __m128i tmp13 = _mm_add_epi32(v[2], v[6]);
  const __m128i tmp12a = _mm_sub_epi32(mul8x32(_mm_sub_epi32(v[2], v[6]), kJpgFix1_414), tmp13);
  const __m128i tmp0 = _mm_add_epi32(tmp10, tmp13), tmp3 = _mm_sub_epi32(tmp10, tmp13);
  const __m128i tmp1 = _mm_add_epi32(tmp11a, tmp12a), tmp2 = _mm_sub_epi32(tmp11a, tmp12a);
  const __m128i z13 = _mm_add_epi32(v[5], v[3]), z10 = _mm_sub_epi32(v[5], v[3]);
  const __m128i z11 = _mm_add_epi32(v[1], v[7]), z12 = _mm_sub_epi32(v[1], v[7]);
  const __m128i tmp7 = _mm_add_epi32(z11, z13);
  const __m128i tmp11 = mul8x32(_mm_sub_epi32(z11, z13), kJpgFix1_414);
  const __m128i z5 = mul8x32(_mm_add_epi32(z10, z12), kJpgFix1_847);
  const __m128i tmp10b = _mm_sub_epi32(mul8x32(z12, kJpgFix1_082), z5);
  const __m128i tmp12 = _mm_add_epi32(mul8x32(z10, -kJpgFix2_613), z5);
  const __m128i tmp6 = _mm_sub_epi32(tmp12, tmp7), tmp5 = _mm_sub_epi32(tmp11, tmp6);
  const __m128i tmp4 = _mm_add_epi32(tmp10b, tmp5);
  v[0] = _mm_add_epi32(tmp0, tmp7);
  v[7] = _mm_sub_epi32(tmp0, tmp7);
  v[1] = _mm_add_epi32(tmp1, tmp6);
  v[6] = _mm_sub_epi32(tmp1, tmp6);
  v[2] = _mm_add_epi32(tmp2, tmp5);
  v[5] = _mm_sub_epi32(tmp2, tmp5);
  v[4] = _mm_add_epi32(tmp3, tmp4);
  v[3] = _mm_sub_epi32(tmp3, tmp4);
}

inline void transpose8x8x16(__m128i* r) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

// The forward transform's multipliers as 16-bit high-half factors: (v * c) >> 8 is
// mulhi(v, c * 256) for c below 128, and v + mulhi(v, (c - 256) * 256) for the others.
constexpr int16_t mulhiFactor(int32_t c) { return int16_t((c < 128 ? c : c - 256) * 256); }
constexpr int16_t kJpgMulhi0_382 = mulhiFactor(kJpgFix0_382);
constexpr int16_t kJpgMulhi0_541 = mulhiFactor(kJpgFix0_541);
constexpr int16_t kJpgMulhi0_707 = mulhiFactor(kJpgFix0_707);
constexpr int16_t kJpgMulhi1_306 = mulhiFactor(kJpgFix1_306);
static_assert(kJpgMulhi0_382 == 98 * 256 && kJpgMulhi0_541 == -117 * 256 &&
              kJpgMulhi0_707 == -75 * 256 && kJpgMulhi1_306 == 78 * 256);

// (v * c) >> 8 on 16-bit lanes for 256 <= c < 512, exactly: v + ((v * (c - 256) * 256) >> 16).
// The sum may wrap on the way but the result fits, so it comes out right.
inline __m128i mul8Above256(__m128i v, int16_t cLess256Shifted) {
  return _mm_add_epi16(v, _mm_mulhi_epi16(v, _mm_set1_epi16(cLess256Shifted)));
}

// One pass of the fast forward transform on 16-bit lanes (d[k] input k of every lane). For
// level-shifted samples every value of both passes stays within 22000 in magnitude, so 16 bits
// give what 32 do.
inline void fdctPass16(__m128i* d) {
  const __m128i tmp0 = _mm_add_epi16(d[0], d[7]), tmp7 = _mm_sub_epi16(d[0], d[7]);
  const __m128i tmp1 = _mm_add_epi16(d[1], d[6]), tmp6 = _mm_sub_epi16(d[1], d[6]);
  const __m128i tmp2 = _mm_add_epi16(d[2], d[5]), tmp5 = _mm_sub_epi16(d[2], d[5]);
  const __m128i tmp3 = _mm_add_epi16(d[3], d[4]), tmp4 = _mm_sub_epi16(d[3], d[4]);
  const __m128i tmp10 = _mm_add_epi16(tmp0, tmp3), tmp13 = _mm_sub_epi16(tmp0, tmp3);
  const __m128i tmp11 = _mm_add_epi16(tmp1, tmp2), tmp12 = _mm_sub_epi16(tmp1, tmp2);
  d[0] = _mm_add_epi16(tmp10, tmp11);
  d[4] = _mm_sub_epi16(tmp10, tmp11);
  const __m128i z1 = mul8Above256(_mm_add_epi16(tmp12, tmp13), kJpgMulhi0_707);
  d[2] = _mm_add_epi16(tmp13, z1);
  d[6] = _mm_sub_epi16(tmp13, z1);
  const __m128i t10 = _mm_add_epi16(tmp4, tmp5), t11 = _mm_add_epi16(tmp5, tmp6);
  const __m128i t12 = _mm_add_epi16(tmp6, tmp7);
  const __m128i z5 = _mm_mulhi_epi16(_mm_sub_epi16(t10, t12), _mm_set1_epi16(kJpgMulhi0_382));
  const __m128i z2 = _mm_add_epi16(mul8Above256(t10, kJpgMulhi0_541), z5);
  const __m128i z4 = _mm_add_epi16(mul8Above256(t12, kJpgMulhi1_306), z5);
  const __m128i z3 = mul8Above256(t11, kJpgMulhi0_707);
  const __m128i z11 = _mm_add_epi16(tmp7, z3), z13 = _mm_sub_epi16(tmp7, z3);
  d[5] = _mm_add_epi16(z13, z2);
  d[3] = _mm_sub_epi16(z13, z2);
  d[1] = _mm_add_epi16(z11, z4);
  d[7] = _mm_sub_epi16(z11, z4);
}

// Rows of level-shifted samples in, rows of quantised coefficients (natural order) out.
inline void fdctQuantRows16(__m128i* r, const JpgQuantTable* t) {
  transpose8x8x16(r);
  fdctPass16(r);
  transpose8x8x16(r);
  fdctPass16(r);
  for (int i = 0; i < 8; ++i) {
    const __m128i x = r[i];
    const __m128i sign = _mm_srai_epi16(x, 15);
    const __m128i a = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
    const __m128i add = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qadd + 8 * i));
    const __m128i mul = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qmul + 8 * i));
    const __m128i scale = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qscale + 8 * i));
    const __m128i th = _mm_mulhi_epu16(_mm_add_epi16(a, add), mul);
    const __m128i v = _mm_mulhi_epu16(_mm_slli_epi16(th, 1), scale);
    r[i] = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
  }
}

// Bit k set when zz[k] is not zero.
inline uint64_t nonZeroMask16(const int16_t* zz) {
  const __m128i zero = _mm_setzero_si128();
  uint64_t mask = 0;
  for (int g = 0; g < 4; ++g) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * g));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * g + 8));
    // Saturation keeps every non-zero value non-zero.
    const __m128i bytes = _mm_packs_epi16(a, b);
    const uint32_t isZero = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    mask |= uint64_t(~isZero & 0xFFFFu) << (16 * g);
  }
  return mask;
}

// Decoding colour: the coefficient pairs for 16-bit multiply-adds.
struct YccConstants {
  __m128i cR = _mm_set1_epi16(int16_t(kJpgColour.crR));
  __m128i cB = _mm_set1_epi16(int16_t(kJpgColour.cbB));
  __m128i cG =
      _mm_set1_epi32(int32_t(uint32_t(kJpgColour.crG) << 16 | (uint32_t(kJpgColour.cbG) & 0xFFFF)));
};

// The channel orders of the pixel writers: R, G, B at bytes 0, 1, 2; B, G, R; any other (the
// channel at byte i then found through seq). The two usual ones stay in registers.
enum PixelOrder { kOrderRgb = 0, kOrderBgr = 1, kOrderAny = 2 };

inline int pixelOrderOf(const uint32_t* seq) {
  if (seq[0] == 0 && seq[1] == 1 && seq[2] == 2) return kOrderRgb;
  if (seq[0] == 2 && seq[1] == 1 && seq[2] == 0) return kOrderBgr;
  return kOrderAny;
}

// R, G, B and zero into ch[byte of the pixel].
template <int kOrder, typename V>
inline void placeChannels(V r, V g, V b, V zero, const uint32_t* seq, V* ch) {
  if (kOrder == kOrderRgb) {
    ch[0] = r;
    ch[1] = g;
    ch[2] = b;
    ch[3] = zero;
  } else if (kOrder == kOrderBgr) {
    ch[0] = b;
    ch[1] = g;
    ch[2] = r;
    ch[3] = zero;
  } else {
    ch[seq[0]] = r;
    ch[seq[1]] = g;
    ch[seq[2]] = b;
    ch[seq[3]] = zero;
  }
}

// Eight pixels: Y, Cb, Cr bytes in the low halves; R, G, B bytes (low halves) into ch by the
// order.
template <int kOrder>
inline void yccToRgb8(const YccConstants& k, __m128i y8, __m128i b8, __m128i r8,
                      const uint32_t* seq, __m128i* ch) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i k128 = _mm_set1_epi16(128);
  const __m128i Y = _mm_unpacklo_epi8(y8, zero);
  const __m128i b = _mm_sub_epi16(_mm_unpacklo_epi8(b8, zero), k128);
  const __m128i r = _mm_sub_epi16(_mm_unpacklo_epi8(r8, zero), k128);
  auto terms = [&](__m128i lo, __m128i hi, __m128i c) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(lo, c), 12),
                           _mm_srai_epi32(_mm_madd_epi16(hi, c), 12));
  };
  // One product each for R and B: the high half of (chroma * 16) * coefficient is the 12-bit
  // shift exactly.
  const __m128i dr = _mm_mulhi_epi16(_mm_slli_epi16(r, 4), k.cR);
  const __m128i db = _mm_mulhi_epi16(_mm_slli_epi16(b, 4), k.cB);
  const __m128i dg = terms(_mm_unpacklo_epi16(b, r), _mm_unpackhi_epi16(b, r), k.cG);
  placeChannels<kOrder>(_mm_packus_epi16(_mm_add_epi16(Y, dr), zero),
                        _mm_packus_epi16(_mm_add_epi16(Y, dg), zero),
                        _mm_packus_epi16(_mm_add_epi16(Y, db), zero), zero, seq, ch);
}

// Eight pixels of kBpp bytes from the four channel rows' low halves. The 3-byte form writes a
// ninth pixel's first byte (the next group or the caller overwrites it).
template <int kBpp>
inline void storePixels8(const __m128i* ch, uint8_t* o) {
  const __m128i p01 = _mm_unpacklo_epi8(ch[0], ch[1]);
  const __m128i p23 = _mm_unpacklo_epi8(ch[2], ch[3]);
  const __m128i lo = _mm_unpacklo_epi16(p01, p23);
  const __m128i hi = _mm_unpackhi_epi16(p01, p23);
  if (kBpp == 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), hi);
  } else {
#if defined(__SSSE3__)
    // Drop every fourth byte: 12 bytes from each half.
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(lo, pick));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm_shuffle_epi8(hi, pick));
#else
    alignas(16) uint32_t px[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(px), lo);
    _mm_store_si128(reinterpret_cast<__m128i*>(px + 4), hi);
    for (int i = 0; i < 8; ++i) __builtin_memcpy(o + 3 * i, &px[i], 4);
#endif
  }
}

// Encoding colour: coefficient pairs (first, second) and (third, 0) for multiply-adds.
struct RgbConstants {
  static __m128i pair(int32_t a, int32_t b) {
    return _mm_set1_epi32(int32_t(uint32_t(b) << 16 | (uint32_t(a) & 0xFFFF)));
  }
  __m128i yRG = pair(kJpgColour.y[0], kJpgColour.y[1]), yB = pair(kJpgColour.y[2], 0);
  __m128i cbRG = pair(kJpgColour.cb[0], kJpgColour.cb[1]), cbB = pair(kJpgColour.cb[2], 0);
  __m128i crRG = pair(kJpgColour.cr[0], kJpgColour.cr[1]), crB = pair(kJpgColour.cr[2], 0);
};

// The sum over R, G, B (16-bit lanes of 0..255) times the coefficients, shifted down 12 bits.
inline __m128i weighted(__m128i rgLo, __m128i rgHi, __m128i b0Lo, __m128i b0Hi, __m128i cRG,
                        __m128i cB) {
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(rgLo, cRG), _mm_madd_epi16(b0Lo, cB));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(rgHi, cRG), _mm_madd_epi16(b0Hi, cB));
  return _mm_packs_epi32(_mm_srai_epi32(lo, 12), _mm_srai_epi32(hi, 12));
}

inline __m128i lumaOf(const RgbConstants& k, __m128i r, __m128i g, __m128i b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = weighted(_mm_unpacklo_epi16(r, g), _mm_unpackhi_epi16(r, g),
                             _mm_unpacklo_epi16(b, zero), _mm_unpackhi_epi16(b, zero), k.yRG, k.yB);
  return _mm_sub_epi16(y, _mm_set1_epi16(128));
}

// Cb and Cr level-shifted: their 128 and the shift's cancel.
inline void chromaOf(const RgbConstants& k, __m128i r, __m128i g, __m128i b, __m128i* cb,
                     __m128i* cr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i rgLo = _mm_unpacklo_epi16(r, g), rgHi = _mm_unpackhi_epi16(r, g);
  const __m128i bLo = _mm_unpacklo_epi16(b, zero), bHi = _mm_unpackhi_epi16(b, zero);
  *cb = weighted(rgLo, rgHi, bLo, bHi, k.cbRG, k.cbB);
  *cr = weighted(rgLo, rgHi, bLo, bHi, k.crRG, k.crB);
}

}  // namespace jpgx86
}  // namespace
