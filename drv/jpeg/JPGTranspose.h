#pragma once
// 8 x 8 blocks of 32-bit values transposed with SSE2, for the transforms' lane-by-lane passes.
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>

inline void jpgTranspose8x8(const int32_t* in, int32_t* out) {
  for (int br = 0; br < 2; ++br)
    for (int bc = 0; bc < 2; ++bc) {
      const int32_t* src = in + 32 * br + 4 * bc;
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 24));
      const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
      const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
      int32_t* dst = out + 32 * bc + 4 * br;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi64(t0, t1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi64(t0, t1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_unpacklo_epi64(t2, t3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 24), _mm_unpackhi_epi64(t2, t3));
    }
}
#endif
