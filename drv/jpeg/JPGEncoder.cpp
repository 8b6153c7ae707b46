// Baseline JPEG encoder: quantisation tables on the module's quality curve, the standard Huffman
// tables, RGB to YCbCr, the fast integer forward transform, Huffman coding of one MCU and the
// JFIF stream with byte stuffing.
#include <cstring>
#include <mutex>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGTranspose.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGEncoder.c"

int jpgInitQuantTables(JpgQuantTable* luma, JpgQuantTable* chroma, int quality) {
  if (!luma || quality < 0 || quality > 100) return -2;
  const float q = float(quality + 1);
  float s;
  if (quality < 50) {
    const float b = q * 0.025f / 50.0f * 64.0f;
    s = b * b;
  } else if (quality < 75) {
    s = float(quality - 49) * 0.045f / 25.0f * 32.0f + 1.0f;
  } else if (quality < 90) {
    s = float(quality - 74) * 1.5f / 15.0f * 20.0f + 1.44f;
  } else {
    s = float(quality - 89) * 6.0f / 10.0f * 12.0f + 31.44f;
  }
  const int offset = s > 1.0f ? int(s) - 1 : 0;
  const float f = 1.0f / s;
  JpgQuantTable* tables[2] = {luma, chroma};
  const uint8_t* bases[2] = {kStdLumaQ, kStdChromaQ};
  for (int t = 0; t < 2; ++t) {
    if (!tables[t]) continue;
    for (int n = 0; n < 64; ++n) {
      int v = int(float(offset + bases[t][n]) * f);
      const int zz = pZz2Org[n];
      if (zz <= 6)
        v = int(float(v) * 0.9f + 0.5f);
      else if (zz <= 15)
        v = int(float(v) * 0.95f + 0.5f);
      if (v > 255) v = 255;
      if (v < 1) v = 1;
      tables[t]->q[n] = uint8_t(v);
    }
  }
  return 1;
}

namespace {
void fillHuff(JpgHuffTable* t, const uint8_t* counts, const uint8_t* values, int n) {
  memset(t, 0, sizeof *t);
  memcpy(t->counts, counts, 16);
  memcpy(t->values, values, size_t(n));
  t->nSymbols = n;
  jpgBuildHuffTb(t);
}
}  // namespace

int jpgInitHuffTables(JpgHuffTable* dc0, JpgHuffTable* dc1, JpgHuffTable* ac0, JpgHuffTable* ac1) {
  if (!dc0 && !dc1 && !ac0 && !ac1) return -2;
  if (dc0) fillHuff(dc0, kStdDcLumaCounts, kStdDcLumaValues, 12);
  if (dc1) fillHuff(dc1, kStdDcChromaCounts, kStdDcChromaValues, 12);
  if (ac0) fillHuff(ac0, kStdAcLumaCounts, kStdAcLumaValues, 162);
  if (ac1) fillHuff(ac1, kStdAcChromaCounts, kStdAcChromaValues, 162);
  return 1;
}

// Truncating division by a reciprocal (the construction libjpeg-turbo uses for its rounding
// division, here without the rounding term): with b = floor(log2 d) and r = 16 + b, the
// reciprocal floor(2^r / d) with one added to the dividend when the remainder of 2^r / d is at
// most d / 2, else the reciprocal rounded up; a power of two halves it. The remaining shift by
// r - 16 is a doubling and a product with 2^(31 - r), so that every lane works alike; a divisor
// of 1 takes 65535 with one added (a + 1 < 2^16 loses exactly one).
void jpgReciprocal(uint32_t d, uint16_t* add, uint16_t* mul, uint16_t* scale) {
  if (d <= 1) {
    *add = 1;
    *mul = 65535;
    *scale = 1u << 15;
    return;
  }
  const int b = 31 - __builtin_clz(d);
  int r = 16 + b;
  uint64_t fq = (uint64_t(1) << r) / d;
  const uint64_t fr = (uint64_t(1) << r) % d;
  uint16_t c = 0;
  if (fr == 0) {
    fq >>= 1;
    --r;
  } else if (fr <= d / 2) {
    c = 1;
  } else {
    ++fq;
  }
  *add = c;
  *mul = uint16_t(fq);
  *scale = uint16_t(1u << (31 - r));
}

void jpgBuildEncoderDivisors(JpgQuantTable* t) {
  jpgBuildQuantTb(0, t, 11);
  for (int n = 0; n < 64; ++n) {
    if (t->mul[n] < 1) t->mul[n] = 1;
    jpgReciprocal(uint32_t(t->mul[n]), &t->qadd[n], &t->qmul[n], &t->qscale[n]);
  }
}

// ---------------------------------------------------------------------------------------------
// Colour tables

namespace {
struct RgbYccTables {
  int32_t rY[256], rCb[256], rCr[256], gY[256], gCb[256], gCr[256], bY[256], bCb[256], bCr[256];
};
RgbYccTables gRgb;
std::once_flag gRgbOnce;

void buildRgbYcc() {
  const int F = 1 << 12;
  auto cint = [&](double c) { return int32_t(c * F + 0.5); };
  const int32_t c[9] = {cint(0.299),    cint(-0.16876), cint(0.5), cint(0.587),   cint(-0.33124),
                        cint(-0.41868), cint(0.114),    cint(0.5), cint(-0.08132)};
  int32_t* t[9] = {gRgb.rY,  gRgb.rCb, gRgb.rCr, gRgb.gY, gRgb.gCb,
                   gRgb.gCr, gRgb.bY,  gRgb.bCb, gRgb.bCr};
  for (int i = 0; i < 9; ++i) {
    int32_t acc = (t[i] == gRgb.bCb || t[i] == gRgb.bCr) ? 128 * F : 0;
    for (int k = 0; k < 256; ++k) {
      t[i][k] = acc;
      acc += c[i];
    }
  }
}
}  // namespace

void jpgCreateRGBToYCbCr() { std::call_once(gRgbOnce, buildRgbYcc); }

void jpgSetBuffer(const uint8_t* src, uint8_t* dst, uint32_t bpp, uint32_t width, uint32_t lines,
                  uint32_t srcStride, uint32_t paddedWidth, uint32_t paddedLines,
                  uint32_t dstStride) {
  const uint32_t rowBytes = width * bpp;
  for (uint32_t y = 0; y < lines; ++y) {
    uint8_t* d = dst + size_t(y) * dstStride;
    memcpy(d, src + size_t(y) * srcStride, rowBytes);
    if (width < paddedWidth) {
      // The whole last pixel is repeated: with order 5 its blue byte is the fourth.
      const uint8_t* last = d + (width - 1) * bpp;
      for (uint32_t x = width; x < paddedWidth; ++x) {
        if (bpp == 1)
          d[x] = last[0];
        else
          memcpy(d + x * bpp, last, bpp);
      }
    }
  }
  for (uint32_t y = lines; y < paddedLines && lines > 0; ++y)
    memcpy(dst + size_t(y) * dstStride, dst + size_t(lines - 1) * dstStride,
           size_t(paddedWidth) * bpp);
}

void jpgSampling_C1(const uint8_t* src, uint32_t stride, const JpgImage*,
                    int32_t blocks[4][4][64]) {
  for (int y = 0; y < 8; ++y) {
    const uint8_t* s = src + size_t(y) * stride;
    int32_t* b = blocks[0][0] + 8 * y;
    for (int x = 0; x < 8; ++x) b[x] = int32_t(s[x]) - 128;
  }
}

namespace {

// One MCU of luma factors H x V (chroma 1 x 1) from pixels of kBpp bytes; kRgb: R, G, B at
// bytes 0, 1, 2, else at the offsets in seq.
template <int H, int V, int kBpp, bool kRgb>
void sampleMcu(const uint8_t* src, uint32_t stride, const uint32_t* seq, int32_t blocks[4][4][64]) {
  const uint32_t oR = kRgb ? 0 : seq[0], oG = kRgb ? 1 : seq[1], oB = kRgb ? 2 : seq[2];
  for (int by = 0; by < V; ++by)
    for (int bx = 0; bx < H; ++bx) {
      int32_t* b = blocks[0][by * H + bx];
      for (int y = 0; y < 8; ++y) {
        const uint8_t* row = src + size_t(by * 8 + y) * stride + size_t(bx * 8) * kBpp;
        for (int x = 0; x < 8; ++x) {
          const uint8_t* p = row + x * kBpp;
          b[8 * y + x] = ((gRgb.rY[p[oR]] + gRgb.gY[p[oG]] + gRgb.bY[p[oB]]) >> 12) - 128;
        }
      }
    }
  int32_t* cb = blocks[1][0];
  int32_t* cr = blocks[2][0];
  for (int y = 0; y < 8; ++y) {
    const uint8_t* row = src + size_t(y * V) * stride;
    for (int x = 0; x < 8; ++x) {
      const uint8_t* p = row + x * H * kBpp;
      const uint8_t r = p[oR], g = p[oG], bl = p[oB];
      cb[8 * y + x] = ((gRgb.rCb[r] + gRgb.gCb[g] + gRgb.bCb[bl]) >> 12) - 128;
      cr[8 * y + x] = ((gRgb.rCr[r] + gRgb.gCr[g] + gRgb.bCr[bl]) >> 12) - 128;
    }
  }
}

using SampleFn = void (*)(const uint8_t*, uint32_t, const uint32_t*, int32_t[4][4][64]);

template <int kBpp, bool kRgb>
SampleFn pickBySampling(int H, int V) {
  if (H == 2 && V == 2) return sampleMcu<2, 2, kBpp, kRgb>;
  if (H == 2) return sampleMcu<2, 1, kBpp, kRgb>;
  if (V == 2) return sampleMcu<1, 2, kBpp, kRgb>;
  return sampleMcu<1, 1, kBpp, kRgb>;
}

}  // namespace

void jpgSampling_C3(const uint8_t* src, uint32_t stride, const JpgImage* img,
                    int32_t blocks[4][4][64]) {
  uint32_t seq[4];
  jpgGetRGBChannelSequence(img->bytesPerPixel, img->channelSeq, seq);
  const bool rgb = seq[0] == 0 && seq[1] == 1 && seq[2] == 2;
  const int H = img->H[0], V = img->V[0];
  SampleFn fn;
  if (img->bytesPerPixel == 4)
    fn = rgb ? pickBySampling<4, true>(H, V) : pickBySampling<4, false>(H, V);
  else
    fn = rgb ? pickBySampling<3, true>(H, V) : pickBySampling<3, false>(H, V);
  fn(src, stride, seq, blocks);
}

// ---------------------------------------------------------------------------------------------
// Forward transform, quantisation, Huffman coding

namespace {
constexpr int32_t kFix0_382 = 98;
constexpr int32_t kFix0_541 = 139;
constexpr int32_t kFix0_707 = 181;
constexpr int32_t kFix1_306 = 334;
inline int32_t mul8(int32_t v, int32_t c) { return (v * c) >> 8; }

#if !defined(__SSE2__)
// The row pass where no vector unit takes it (see jpgFdctQuantBlock).
inline void fdct1d(int32_t* d, int step) {
  int32_t tmp0 = d[0] + d[7 * step], tmp7 = d[0] - d[7 * step];
  int32_t tmp1 = d[step] + d[6 * step], tmp6 = d[step] - d[6 * step];
  int32_t tmp2 = d[2 * step] + d[5 * step], tmp5 = d[2 * step] - d[5 * step];
  int32_t tmp3 = d[3 * step] + d[4 * step], tmp4 = d[3 * step] - d[4 * step];
  int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
  d[0] = tmp10 + tmp11;
  d[4 * step] = tmp10 - tmp11;
  int32_t z1 = mul8(tmp12 + tmp13, kFix0_707);
  d[2 * step] = tmp13 + z1;
  d[6 * step] = tmp13 - z1;
  tmp10 = tmp4 + tmp5;
  tmp11 = tmp5 + tmp6;
  tmp12 = tmp6 + tmp7;
  int32_t z5 = mul8(tmp10 - tmp12, kFix0_382);
  int32_t z2 = mul8(tmp10, kFix0_541) + z5;
  int32_t z4 = mul8(tmp12, kFix1_306) + z5;
  int32_t z3 = mul8(tmp11, kFix0_707);
  int32_t z11 = tmp7 + z3, z13 = tmp7 - z3;
  d[5 * step] = z13 + z2;
  d[3 * step] = z13 - z2;
  d[step] = z11 + z4;
  d[7 * step] = z11 - z4;
}
#endif

// The column pass for all eight columns at once: the same butterfly lane by lane, which the
// compiler turns into vector code.
inline void fdctColumns(int32_t* d) {
  int32_t o[64];
  for (int c = 0; c < 8; ++c) {
    const int32_t tmp0 = d[c] + d[56 + c], tmp7 = d[c] - d[56 + c];
    const int32_t tmp1 = d[8 + c] + d[48 + c], tmp6 = d[8 + c] - d[48 + c];
    const int32_t tmp2 = d[16 + c] + d[40 + c], tmp5 = d[16 + c] - d[40 + c];
    const int32_t tmp3 = d[24 + c] + d[32 + c], tmp4 = d[24 + c] - d[32 + c];
    const int32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2,
                  tmp12 = tmp1 - tmp2;
    o[c] = tmp10 + tmp11;
    o[32 + c] = tmp10 - tmp11;
    const int32_t z1 = mul8(tmp12 + tmp13, kFix0_707);
    o[16 + c] = tmp13 + z1;
    o[48 + c] = tmp13 - z1;
    const int32_t t10 = tmp4 + tmp5, t11 = tmp5 + tmp6, t12 = tmp6 + tmp7;
    const int32_t z5 = mul8(t10 - t12, kFix0_382);
    const int32_t z2 = mul8(t10, kFix0_541) + z5;
    const int32_t z4 = mul8(t12, kFix1_306) + z5;
    const int32_t z3 = mul8(t11, kFix0_707);
    const int32_t z11 = tmp7 + z3, z13 = tmp7 - z3;
    o[40 + c] = z13 + z2;
    o[24 + c] = z13 - z2;
    o[8 + c] = z11 + z4;
    o[56 + c] = z11 - z4;
  }
  memcpy(d, o, sizeof o);
}
}  // namespace

void jpgFdctQuantBlock(int32_t* block, const JpgQuantTable* t, int32_t out[64]) {
#if defined(__SSE2__)
  // The row pass as a column pass of the transposed block, so that both run lane by lane.
  alignas(16) int32_t tr[64];
  jpgTranspose8x8(block, tr);
  fdctColumns(tr);
  jpgTranspose8x8(tr, block);
#else
  for (int r = 0; r < 8; ++r) fdct1d(block + 8 * r, 1);
#endif
  fdctColumns(block);
  // Truncating division by reciprocals, exact for |x| < 2^15 (the transform's outputs stay
  // below 2^14: eight times a coefficient of at most 1024 times at most 1.92), lane by lane in
  // natural order.
  alignas(16) int32_t q[64];
#if defined(__SSE2__)
  for (int n = 0; n < 64; n += 8) {
    const __m128i x =
        _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + n)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + n + 4)));
    const __m128i sign = _mm_srai_epi16(x, 15);
    const __m128i a = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
    const __m128i add = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qadd + n));
    const __m128i mul = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qmul + n));
    const __m128i scale = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t->qscale + n));
    const __m128i th = _mm_mulhi_epu16(_mm_add_epi16(a, add), mul);
    const __m128i v = _mm_mulhi_epu16(_mm_slli_epi16(th, 1), scale);
    const __m128i signedV = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
    const __m128i ext = _mm_srai_epi16(signedV, 15);
    _mm_store_si128(reinterpret_cast<__m128i*>(q + n), _mm_unpacklo_epi16(signedV, ext));
    _mm_store_si128(reinterpret_cast<__m128i*>(q + n + 4), _mm_unpackhi_epi16(signedV, ext));
  }
#else
  for (int n = 0; n < 64; ++n) {
    const int32_t x = block[n];
    const uint32_t a = uint32_t(x < 0 ? -x : x);
    const int32_t v = int32_t(jpgDivide(a, t->qadd[n], t->qmul[n], t->qscale[n]));
    q[n] = x < 0 ? -v : v;
  }
#endif
  for (int k = 0; k < 64; ++k) out[k] = q[pZz2Org[k]];
}

namespace {
constexpr uint32_t kMaxMcuBytes = 6 * 64 * 4 + 64;  // 6 blocks of 64 codes of at most 27 bits

inline void putBits(JpgEcsNode* node, uint32_t bits, int n) {
  node->bitAcc = (node->bitAcc << n) | (bits & ((1u << n) - 1u));
  node->bitCount += n;
  if (node->bitCount >= 32) {
    node->bitCount -= 32;
    const uint32_t v = uint32_t(node->bitAcc >> node->bitCount);
    uint8_t* p = node->data + node->bytePos;
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
    node->bytePos += 4;
  }
}

inline int bitCount(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

inline void putCode(JpgEcsNode* node, const JpgHuffTable* t, int sym) {
  const int idx = t->symToIndex[sym];
  putBits(node, t->code[idx], t->length[idx]);
}

// Bit k set when zig-zag coefficient k is not zero.
inline uint64_t nonZeroMask(const int32_t* zz) {
#if defined(__SSE2__)
  uint64_t mask = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int g = 0; g < 4; ++g) {
    const int32_t* p = zz + 16 * g;
    const __m128i a = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4)));
    const __m128i b = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)));
    // Saturation keeps every non-zero value non-zero.
    const __m128i bytes = _mm_packs_epi16(a, b);
    const uint32_t isZero = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    mask |= uint64_t(~isZero & 0xFFFFu) << (16 * g);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) mask |= uint64_t(zz[k] != 0) << k;
  return mask;
#endif
}

// A code and its value bits in one write (at most 16 + 11 bits).
inline void putCodeAndBits(JpgEcsNode* node, const JpgHuffTable* t, int sym, uint32_t bits, int n) {
  const int idx = t->symToIndex[sym];
  const uint32_t v = (uint32_t(t->code[idx]) << n) | (bits & ((1u << n) - 1u));
  putBits(node, v, t->length[idx] + n);
}

void encodeBlock(JpgEcsNode* node, const int32_t* zz, int32_t* pred, const JpgHuffTable* dct,
                 const JpgHuffTable* act) {
  int32_t dc = zz[0];
  if (dc < 0) dc -= 1;  // the codec's own rule for negative DC values
  int32_t diff = dc - *pred;
  *pred = dc;
  uint32_t a = uint32_t(diff < 0 ? -diff : diff);
  int s = bitCount(a);
  putCodeAndBits(node, dct, s, uint32_t(diff < 0 ? diff - 1 : diff), s);
  // The non-zero AC positions as bits: each run of zeros is the distance between two of them,
  // 16 zeros at a time coded as ZRL; EOB when the last one is before position 63.
  uint64_t nz = nonZeroMask(zz) & ~uint64_t(1);
  int prev = 0;
  while (nz) {
    const int k = __builtin_ctzll(nz);
    nz &= nz - 1;
    int run = k - prev - 1;
    for (; run >= 16; run -= 16) putCode(node, act, 0xF0);
    const int32_t v = zz[k];
    a = uint32_t(v < 0 ? -v : v);
    s = bitCount(a);
    putCodeAndBits(node, act, (run << 4) | s, uint32_t(v < 0 ? v - 1 : v), s);
    prev = k;
  }
  if (prev < 63) putCode(node, act, 0x00);
}
}  // namespace

int jpgEncodeMCU(JpgEcsNode* node, const JpgImage* img, int32_t blocks[4][4][64]) {
  if (node->size - node->bytePos < kMaxMcuBytes) {
    if (jpgAllocateECSData(node, node->bytePos, 1u << 20) < 0) return -3;
  }
  int32_t zz[64];
  for (uint32_t c = 0; c < img->comps; ++c) {
    const JpgQuantTable* q = img->quant[img->quantId[c]];
    const JpgHuffTable* dct = img->dc[img->dcId[c]];
    const JpgHuffTable* act = img->ac[img->acId[c]];
    const int nb = img->H[c] * img->V[c];
    for (int b = 0; b < nb; ++b) {
      jpgFdctQuantBlock(blocks[c][b], q, zz);
      encodeBlock(node, zz, &node->dcPred[c], dct, act);
    }
  }
  return 1;
}

void jpgCloseEncodedNode(JpgEcsNode* node) {
  // The last byte's unused low bits stay 0.
  while (node->bitCount >= 8) {
    node->bitCount -= 8;
    node->data[node->bytePos++] = uint8_t(node->bitAcc >> node->bitCount);
  }
  node->bitPos = 0;
  if (node->bitCount > 0) {
    node->data[node->bytePos] = uint8_t(node->bitAcc << (8 - node->bitCount));
    node->bitPos = uint8_t(node->bitCount);
    node->size = node->bytePos + 1;
  } else {
    node->size = node->bytePos;
  }
  node->bitCount = 0;
  node->bitAcc = 0;
}

// ---------------------------------------------------------------------------------------------
// JFIF stream

namespace {
// 56 characters and the terminating zero byte.
const char kComText[57] = "Vantrel scanner driver JPEG codec, baseline DCT Huffman ";
static_assert(sizeof kComText == 57);

struct Out {
  uint8_t* p;
  uint32_t n;
  void b(uint8_t v) { p[n++] = v; }
  void w(uint32_t v) {
    p[n++] = uint8_t(v >> 8);
    p[n++] = uint8_t(v);
  }
};
}  // namespace

int jpgWriteJFIFInfo(JpgImage* img) {
  LMLOG(kLvEntry, "In\n");
  if (!img || img->frameType == 0) {
    LMLOG(kLvEntry, "Error!!MSGOut: %d\n", -2);
    return -2;
  }
  if (!img->first || img->lStripCount < 1) {
    LMLOG(kLvEntry, "Error!!MSGOut: %d\n", -6);
    return -6;
  }
  FreeMemory(img->pOut);
  img->pOut = nullptr;
  img->outSize = 0;
  // Exact size: the headers, the segments with one extra byte per 0xFF, EOI.
  uint64_t need = 2048;
  for (JpgEcsNode* n = img->first; n; n = n->next) {
    need += n->size;
    for (const uint8_t* p = n->data; p && p < n->data + n->size;) {
      const void* f = memchr(p, 0xFF, size_t(n->data + n->size - p));
      if (!f) break;
      ++need;
      p = static_cast<const uint8_t*>(f) + 1;
    }
  }
  if (need > 0xFFFFFFF0ull) return -3;
  Out o{static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(need), 0)), 0};
  if (!o.p) {
    LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate ECS\n", -3);
    return -3;
  }
  o.w(0xFFD8);
  o.w(0xFFE0);
  o.w(16);
  for (char ch : {'J', 'F', 'I', 'F', '\0'}) o.b(uint8_t(ch));
  o.b(1);
  o.b(0);
  o.b(1);
  o.w(img->xDensity);
  o.w(img->yDensity);
  o.b(0);
  o.b(0);
  o.w(0xFFFE);
  o.w(59);
  memcpy(o.p + o.n, kComText, 57);
  o.n += 57;
  for (int id = 0; id < 4; ++id) {
    if (!img->quant[id]) continue;
    o.w(0xFFDB);
    o.w(67);
    o.b(uint8_t(id));
    for (int k = 0; k < 64; ++k) o.b(img->quant[id]->q[pZz2Org[k]]);
  }
  o.b(0xFF);
  o.b(uint8_t(img->frameType));
  o.w(8 + 3 * img->comps);
  o.b(uint8_t(img->precision));
  o.w(img->height);
  o.w(img->width);
  o.b(uint8_t(img->comps));
  for (uint32_t c = 0; c < img->comps; ++c) {
    o.b(uint8_t(c + 1));
    o.b(uint8_t(img->H[c] << 4 | img->V[c]));
    o.b(img->quantId[c]);
  }
  for (int cls = 0; cls < 2; ++cls)
    for (int id = 0; id < 4; ++id) {
      const JpgHuffTable* t = cls ? img->ac[id] : img->dc[id];
      if (!t) continue;
      o.w(0xFFC4);
      o.w(uint32_t(t->nSymbols + 19));
      o.b(uint8_t(cls * 16 + id));
      memcpy(o.p + o.n, t->counts, 16);
      o.n += 16;
      memcpy(o.p + o.n, t->values, size_t(t->nSymbols));
      o.n += uint32_t(t->nSymbols);
    }
  o.w(0xFFDA);
  o.w(6 + 2 * img->comps);
  o.b(uint8_t(img->comps));
  for (uint32_t c = 0; c < img->comps; ++c) {
    o.b(uint8_t(c + 1));
    o.b(uint8_t(img->dcId[c] << 4 | img->acId[c]));
  }
  o.b(0);
  o.b(63);
  o.b(0);
  for (JpgEcsNode* n = img->first; n; n = n->next) {
    const uint8_t* p = n->data;
    const uint8_t* e = n->data + n->size;
    while (p && p < e) {
      const uint8_t* f = static_cast<const uint8_t*>(memchr(p, 0xFF, size_t(e - p)));
      const uint8_t* stop = f ? f + 1 : e;
      memcpy(o.p + o.n, p, size_t(stop - p));
      o.n += uint32_t(stop - p);
      if (f) o.b(0x00);
      p = stop;
    }
  }
  o.w(0xFFD9);
  img->pOut = o.p;
  img->outSize = o.n;
  LMLOG(kLvEntry, "MSGOut: %d\n", 1);
  return 1;
}
