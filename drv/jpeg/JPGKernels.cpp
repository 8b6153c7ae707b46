// The plain C++ kernels (the reference of the vector ones) and the choice among the builds.
#include "drv/jpeg/JPGKernels.h"

#include <cstring>

#include "drv/jpeg/JPGCodec.h"

namespace {
constexpr int32_t fix12(double c) { return int32_t(c * 4096 + 0.5); }
}  // namespace

const JpgColourCoefficients kJpgColour = {
    fix12(1.402),
    fix12(-0.34414),
    fix12(-0.71414),
    fix12(1.772),
    {fix12(0.299), fix12(0.587), fix12(0.114)},
    {fix12(-0.16876), fix12(-0.33124), fix12(0.5)},
    {fix12(0.5), fix12(-0.41868), fix12(-0.08132)},
};

namespace {

inline int32_t mul8(int32_t v, int32_t c) { return (v * c) >> 8; }

inline uint8_t clampSample(int32_t v) {
  v += 128;
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One 8-point pass of the fast integer inverse transform, without the final descaling.
inline void idct1d(const int32_t* in, int inStep, int32_t* out, int outStep) {
  auto I = [&](int k) { return in[k * inStep]; };
  int32_t tmp10 = I(0) + I(4), tmp11 = I(0) - I(4);
  int32_t tmp13 = I(2) + I(6), tmp12 = mul8(I(2) - I(6), kJpgFix1_414) - tmp13;
  const int32_t tmp0 = tmp10 + tmp13, tmp3 = tmp10 - tmp13, tmp1 = tmp11 + tmp12,
                tmp2 = tmp11 - tmp12;
  const int32_t z13 = I(5) + I(3), z10 = I(5) - I(3), z11 = I(1) + I(7), z12 = I(1) - I(7);
  const int32_t tmp7 = z11 + z13;
  tmp11 = mul8(z11 - z13, kJpgFix1_414);
  const int32_t z5 = mul8(z10 + z12, kJpgFix1_847);
  tmp10 = mul8(z12, kJpgFix1_082) - z5;
  tmp12 = mul8(z10, -kJpgFix2_613) + z5;
  const int32_t tmp6 = tmp12 - tmp7, tmp5 = tmp11 - tmp6, tmp4 = tmp10 + tmp5;
  out[0] = tmp0 + tmp7;
  out[7 * outStep] = tmp0 - tmp7;
  out[outStep] = tmp1 + tmp6;
  out[6 * outStep] = tmp1 - tmp6;
  out[2 * outStep] = tmp2 + tmp5;
  out[5 * outStep] = tmp2 - tmp5;
  out[4 * outStep] = tmp3 + tmp4;
  out[3 * outStep] = tmp3 - tmp4;
}

void idctScalar(const int16_t* coef, const int32_t* q, uint8_t* out, uint32_t stride) {
  int32_t ws[64];
  for (int c = 0; c < 8; ++c) {
    int32_t v[8];
    for (int k = 0; k < 8; ++k) v[k] = coef[8 * k + c] * q[8 * k + c];
    idct1d(v, 1, ws + c, 8);
  }
  for (int r = 0; r < 8; ++r) {
    const int32_t* w = ws + 8 * r;
    uint8_t* o = out + size_t(r) * stride;
    int32_t v[8];
    idct1d(w, 1, v, 1);
    for (int x = 0; x < 8; ++x) o[x] = clampSample(v[x] >> 5);
  }
}

// One 8-point pass of the fast integer forward transform, in place.
inline void fdct1d(int32_t* d, int step) {
  int32_t tmp0 = d[0] + d[7 * step], tmp7 = d[0] - d[7 * step];
  int32_t tmp1 = d[step] + d[6 * step], tmp6 = d[step] - d[6 * step];
  int32_t tmp2 = d[2 * step] + d[5 * step], tmp5 = d[2 * step] - d[5 * step];
  int32_t tmp3 = d[3 * step] + d[4 * step], tmp4 = d[3 * step] - d[4 * step];
  int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
  d[0] = tmp10 + tmp11;
  d[4 * step] = tmp10 - tmp11;
  int32_t z1 = mul8(tmp12 + tmp13, kJpgFix0_707);
  d[2 * step] = tmp13 + z1;
  d[6 * step] = tmp13 - z1;
  tmp10 = tmp4 + tmp5;
  tmp11 = tmp5 + tmp6;
  tmp12 = tmp6 + tmp7;
  int32_t z5 = mul8(tmp10 - tmp12, kJpgFix0_382);
  int32_t z2 = mul8(tmp10, kJpgFix0_541) + z5;
  int32_t z4 = mul8(tmp12, kJpgFix1_306) + z5;
  int32_t z3 = mul8(tmp11, kJpgFix0_707);
  int32_t z11 = tmp7 + z3, z13 = tmp7 - z3;
  d[5 * step] = z13 + z2;
  d[3 * step] = z13 - z2;
  d[step] = z11 + z4;
  d[7 * step] = z11 - z4;
}

uint64_t fdctQuantScalar(const int16_t* block, const JpgQuantTable* t, int16_t* coef) {
  int32_t d[64];
  for (int i = 0; i < 64; ++i) d[i] = block[i];
  for (int r = 0; r < 8; ++r) fdct1d(d + 8 * r, 1);
  for (int c = 0; c < 8; ++c) fdct1d(d + c, 8);
  // Truncating division by reciprocals, exact for |x| < 2^15 (the transform's outputs stay
  // below 2^15 for any samples).
  for (int n = 0; n < 64; ++n) {
    const int32_t x = d[n];
    const uint32_t a = uint32_t(x < 0 ? -x : x);
    const int32_t v = int32_t(jpgDivide(a, t->qadd[n], t->qmul[n], t->qscale[n]));
    coef[n] = int16_t(x < 0 ? -v : v);
  }
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) mask |= uint64_t(coef[pZz2Org[k]] != 0) << k;
  return mask;
}

void fdctQuant2Scalar(const int16_t* a, const int16_t* b, const JpgQuantTable* t, int16_t* coefA,
                      int16_t* coefB, uint64_t* masks) {
  masks[0] = fdctQuantScalar(a, t, coefA);
  masks[1] = fdctQuantScalar(b, t, coefB);
}

inline uint8_t clampByte(int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

int32_t yccRowScalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                     int32_t width, int shift, uint32_t bpp, const uint32_t* seq) {
  const JpgColourCoefficients& k = kJpgColour;
  for (int32_t x = 0; x < width; ++x) {
    const int32_t b = cb[x >> shift] - 128, r = cr[x >> shift] - 128, Y = y[x];
    uint8_t* o = out + size_t(x) * bpp;
    if (bpp == 4) o[seq[3]] = 0;
    o[seq[0]] = clampByte(Y + ((r * k.crR) >> 12));
    o[seq[1]] = clampByte(Y + ((b * k.cbG + r * k.crG) >> 12));
    o[seq[2]] = clampByte(Y + ((b * k.cbB) >> 12));
  }
  return width;
}

void sampleRgbScalar(const uint8_t* src, uint32_t stride, uint32_t bpp, const uint32_t* seq, int h,
                     int v, int16_t (*blocks)[64]) {
  const JpgColourCoefficients& k = kJpgColour;
  for (int by = 0; by < v; ++by)
    for (int bx = 0; bx < h; ++bx) {
      int16_t* b = blocks[by * h + bx];
      for (int y = 0; y < 8; ++y) {
        const uint8_t* row = src + size_t(by * 8 + y) * stride + size_t(bx * 8) * bpp;
        for (int x = 0; x < 8; ++x) {
          const uint8_t* p = row + x * bpp;
          const int32_t sum = p[seq[0]] * k.y[0] + p[seq[1]] * k.y[1] + p[seq[2]] * k.y[2];
          b[8 * y + x] = int16_t((sum >> 12) - 128);
        }
      }
    }
  for (int y = 0; y < 8; ++y) {
    const uint8_t* row = src + size_t(y * v) * stride;
    for (int x = 0; x < 8; ++x) {
      const uint8_t* p = row + size_t(x * h) * bpp;
      const int32_t r = p[seq[0]], g = p[seq[1]], bl = p[seq[2]];
      // Plus 128 before the shift, less 128 after: the level shift cancels it.
      blocks[4][8 * y + x] = int16_t((r * k.cb[0] + g * k.cb[1] + bl * k.cb[2]) >> 12);
      blocks[5][8 * y + x] = int16_t((r * k.cr[0] + g * k.cr[1] + bl * k.cr[2]) >> 12);
    }
  }
}

const JpgKernels kScalar = {JpgIsa::kScalar,  "scalar",     idctScalar,     fdctQuantScalar,
                            fdctQuant2Scalar, yccRowScalar, sampleRgbScalar};

const JpgKernels& pickBest() {
  if (const JpgKernels* k = jpgKernelsFor(JpgIsa::kAvx2)) return *k;
  if (const JpgKernels* k = jpgKernelsFor(JpgIsa::kSse2)) return *k;
  return kScalar;
}

}  // namespace

const JpgKernels* jpgKernelsFor(JpgIsa isa) {
  switch (isa) {
    case JpgIsa::kScalar:
      return &kScalar;
    case JpgIsa::kSse2:
      return jpgSse2Kernels();
    case JpgIsa::kAvx2:
#if defined(__x86_64__) || defined(__i386__)
      // The processor model may not be read yet when the library is loaded late.
      __builtin_cpu_init();
      if (!__builtin_cpu_supports("avx2")) return nullptr;
#endif
      return jpgAvx2Kernels();
  }
  return nullptr;
}

const JpgKernels& jpgKernels() {
  static const JpgKernels& best = pickBest();
  return best;
}
