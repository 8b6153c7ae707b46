// The SSE2 kernels: every x86-64 processor has them.
#include "drv/jpeg/JPGKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernelsX86.h"

namespace {

using namespace jpgx86;

// ---------------------------------------------------------------------------------------------
// Inverse transform: both passes on 32-bit lanes (four at a time), so that any coefficients
// give the reference's results; the work area is transposed between the passes.

void idctSse2(const int16_t* coef, const int32_t* q, uint8_t* out, uint32_t stride) {
  __m128i v[2][8];
  // Columns 0-3 and 4-7: dequantised rows of four lanes.
  for (int h = 0; h < 2; ++h)
    for (int k = 0; k < 8; ++k) {
      const __m128i c16 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(coef + 8 * k + 4 * h));
      const __m128i c32 = _mm_srai_epi32(_mm_unpacklo_epi16(c16, c16), 16);
      const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 8 * k + 4 * h));
      v[h][k] = mullo32(c32, m);
    }
  idctPass32(v[0]);
  idctPass32(v[1]);
  // Rows of the work area become lanes: transpose the two halves into eight rows of eight.
  __m128i t[2][8];
  transpose4x4(v[0][0], v[0][1], v[0][2], v[0][3], &t[0][0], &t[0][1], &t[0][2], &t[0][3]);
  transpose4x4(v[1][0], v[1][1], v[1][2], v[1][3], &t[0][4], &t[0][5], &t[0][6], &t[0][7]);
  transpose4x4(v[0][4], v[0][5], v[0][6], v[0][7], &t[1][0], &t[1][1], &t[1][2], &t[1][3]);
  transpose4x4(v[1][4], v[1][5], v[1][6], v[1][7], &t[1][4], &t[1][5], &t[1][6], &t[1][7]);
  // t[h][k]: sample column k of rows 4h..4h+3.
  idctPass32(t[0]);
  idctPass32(t[1]);
  // The level shift before the saturating pack, as the plain clamp does it.
  const __m128i k128 = _mm_set1_epi32(128);
  for (int h = 0; h < 2; ++h) {
    __m128i r[4][2];
    transpose4x4(t[h][0], t[h][1], t[h][2], t[h][3], &r[0][0], &r[1][0], &r[2][0], &r[3][0]);
    transpose4x4(t[h][4], t[h][5], t[h][6], t[h][7], &r[0][1], &r[1][1], &r[2][1], &r[3][1]);
    for (int i = 0; i < 4; ++i) {
      const __m128i w16 = _mm_packs_epi32(_mm_add_epi32(_mm_srai_epi32(r[i][0], 5), k128),
                                          _mm_add_epi32(_mm_srai_epi32(r[i][1], 5), k128));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(4 * h + i) * stride),
                       _mm_packus_epi16(w16, w16));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Forward transform and quantisation on 16-bit lanes (exact: see fdctPass16).

uint64_t fdctQuantSse2(const int16_t* block, const JpgQuantTable* t, int16_t* coef) {
  __m128i r[8];
  for (int i = 0; i < 8; ++i)
    r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  fdctQuantRows16(r, t);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(coef + 8 * i), r[i]);
  // Without byte shuffles the zig-zag order of the flags is taken one by one.
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) mask |= uint64_t(coef[pZz2Org[k]] != 0) << k;
  return mask;
}

void fdctQuant2Sse2(const int16_t* a, const int16_t* b, const JpgQuantTable* t, int16_t* coefA,
                    int16_t* coefB, uint64_t* masks) {
  masks[0] = fdctQuantSse2(a, t, coefA);
  masks[1] = fdctQuantSse2(b, t, coefB);
}

// ---------------------------------------------------------------------------------------------
// Colour conversion, eight pixels at a time.

template <int kShift, int kBpp, int kOrder>
int32_t yccRowT(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int32_t width,
                const uint32_t* seq) {
  const YccConstants k;
  // The 3-byte form writes four bytes a pixel; the last pixel of the row is left to the caller.
  const int32_t limit = kBpp == 3 ? width - 1 : width;
  int32_t x = 0;
  for (; x + 8 <= limit; x += 8) {
    __m128i b8, r8;
    if (kShift == 1) {
      uint32_t b4, r4;
      memcpy(&b4, cb + (x >> 1), 4);
      memcpy(&r4, cr + (x >> 1), 4);
      b8 = _mm_cvtsi32_si128(int(b4));
      r8 = _mm_cvtsi32_si128(int(r4));
      b8 = _mm_unpacklo_epi8(b8, b8);
      r8 = _mm_unpacklo_epi8(r8, r8);
    } else {
      b8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x));
      r8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x));
    }
    const __m128i Y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x));
    __m128i ch[4];
    yccToRgb8<kOrder>(k, Y, b8, r8, seq, ch);
    storePixels8<kBpp>(ch, out + size_t(x) * kBpp);
  }
  return x;
}

template <int kOrder>
int32_t yccRowOrder(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                    int32_t width, int shift, uint32_t bpp, const uint32_t* seq) {
  if (shift == 1)
    return bpp == 3 ? yccRowT<1, 3, kOrder>(y, cb, cr, out, width, seq)
                    : yccRowT<1, 4, kOrder>(y, cb, cr, out, width, seq);
  return bpp == 3 ? yccRowT<0, 3, kOrder>(y, cb, cr, out, width, seq)
                  : yccRowT<0, 4, kOrder>(y, cb, cr, out, width, seq);
}

int32_t yccRowSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                   int32_t width, int shift, uint32_t bpp, const uint32_t* seq) {
  switch (pixelOrderOf(seq)) {
    case kOrderRgb:
      return yccRowOrder<kOrderRgb>(y, cb, cr, out, width, shift, bpp, seq);
    case kOrderBgr:
      return yccRowOrder<kOrderBgr>(y, cb, cr, out, width, shift, bpp, seq);
    default:
      return yccRowOrder<kOrderAny>(y, cb, cr, out, width, shift, bpp, seq);
  }
}

// ---------------------------------------------------------------------------------------------
// RGB to YCbCr: the pixels' channels gathered into 16-bit rows, then converted eight at a time.

void sampleRgbSse2(const uint8_t* src, uint32_t stride, uint32_t bpp, const uint32_t* seq, int h,
                   int v, int16_t (*blocks)[64]) {
  const RgbConstants k;
  const uint32_t o0 = seq[0], o1 = seq[1], o2 = seq[2];
  alignas(16) int16_t R[16], G[16], B[16];
  const int w = 8 * h;
  for (int y = 0; y < 8 * v; ++y) {
    const uint8_t* row = src + size_t(y) * stride;
    if (bpp == 4) {
      // A channel of 4-byte pixels is a shift and a mask of their words.
      const __m128i mask = _mm_set1_epi32(0xFF);
      for (int x = 0; x < w; x += 8) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x + 16));
        auto channel = [&](uint32_t o, int16_t* dst) {
          const __m128i n = _mm_cvtsi32_si128(int(8 * o));
          _mm_store_si128(reinterpret_cast<__m128i*>(dst + x),
                          _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(p0, n), mask),
                                          _mm_and_si128(_mm_srl_epi32(p1, n), mask)));
        };
        channel(o0, R);
        channel(o1, G);
        channel(o2, B);
      }
    } else {
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = row + size_t(x) * bpp;
        R[x] = p[o0];
        G[x] = p[o1];
        B[x] = p[o2];
      }
    }
    for (int bx = 0; bx < h; ++bx) {
      const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i*>(R + 8 * bx));
      const __m128i g = _mm_load_si128(reinterpret_cast<const __m128i*>(G + 8 * bx));
      const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(B + 8 * bx));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(blocks[(y >> 3) * h + bx] + 8 * (y & 7)),
                       lumaOf(k, r, g, b));
    }
    if (y % v == 0) {
      // Chroma from every h-th pixel of the row.
      __m128i r, g, b;
      if (h == 2) {
        const __m128i mask = _mm_set1_epi32(0xFFFF);
        auto even = [&](const int16_t* p) {
          const __m128i lo =
              _mm_and_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), mask);
          const __m128i hi =
              _mm_and_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(p + 8)), mask);
          return _mm_packs_epi32(lo, hi);
        };
        r = even(R);
        g = even(G);
        b = even(B);
      } else {
        r = _mm_load_si128(reinterpret_cast<const __m128i*>(R));
        g = _mm_load_si128(reinterpret_cast<const __m128i*>(G));
        b = _mm_load_si128(reinterpret_cast<const __m128i*>(B));
      }
      const int cy = y / v;
      __m128i cbv, crv;
      chromaOf(k, r, g, b, &cbv, &crv);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(blocks[4] + 8 * cy), cbv);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(blocks[5] + 8 * cy), crv);
    }
  }
}

const JpgKernels kSse2 = {JpgIsa::kSse2,  "sse2",     idctSse2,     fdctQuantSse2,
                          fdctQuant2Sse2, yccRowSse2, sampleRgbSse2};

}  // namespace

const JpgKernels* jpgSse2Kernels() { return &kSse2; }

#else

const JpgKernels* jpgSse2Kernels() { return nullptr; }

#endif
