// Baseline JPEG encoder: quantisation tables on the module's quality curve, the standard Huffman
// tables, sampling (RGB to YCbCr and the forward transform are kernels), Huffman coding of one
// MCU and the JFIF stream with byte stuffing.
#include <cstring>
#include <initializer_list>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernels.h"
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
// Sampling

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
                    int16_t blocks[kJpgMcuBlocks][64]) {
  for (int y = 0; y < 8; ++y) {
    const uint8_t* s = src + size_t(y) * stride;
    int16_t* b = blocks[0] + 8 * y;
    for (int x = 0; x < 8; ++x) b[x] = int16_t(s[x] - 128);
  }
}

void jpgSampling_C3(const uint8_t* src, uint32_t stride, const JpgImage* img,
                    int16_t blocks[kJpgMcuBlocks][64]) {
  uint32_t seq[4];
  jpgGetRGBChannelSequence(img->bytesPerPixel, img->channelSeq, seq);
  jpgKernels().sampleRgb(src, stride, img->bytesPerPixel, seq, img->H[0], img->V[0], blocks);
}

// ---------------------------------------------------------------------------------------------
// Huffman coding

namespace {
// 6 blocks of 64 codes of at most 31 bits (a 16-bit code and 15 value bits at quality 100).
constexpr uint32_t kMaxMcuBytes = 6 * 64 * 4 + 64;

// The node's pending bits, kept in registers while an MCU is coded.
struct BitWriter {
  uint64_t acc;
  int count;
  uint8_t* p;
  // n <= 31 bits, already cut to n; fewer than 32 are pending, so the sum fits.
  inline void put(uint32_t bits, int n) {
    acc = (acc << n) | bits;
    count += n;
    if (count >= 32) {
      count -= 32;
      const uint32_t v = __builtin_bswap32(uint32_t(acc >> count));
      memcpy(p, &v, 4);
      p += 4;
    }
  }
  // A symbol's code followed by n value bits (of v, cut here).
  inline void code(const JpgHuffTable* t, int sym, uint32_t v, int n) {
    const uint32_t e = t->enc[sym];
    put(((e >> 5) << n) | (v & ((1u << n) - 1u)), int(e & 31) + n);
  }
};

inline int bitCount(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

void encodeBlock(BitWriter& w, const int16_t* coef, uint64_t nz, int32_t* pred,
                 const JpgHuffTable* dct, const JpgHuffTable* act) {
  int32_t dc = coef[0];
  if (dc < 0) dc -= 1;  // the codec's own rule for negative DC values
  const int32_t diff = dc - *pred;
  *pred = dc;
  int s = bitCount(uint32_t(diff < 0 ? -diff : diff));
  w.code(dct, s, uint32_t(diff < 0 ? diff - 1 : diff), s);
  // The non-zero AC positions as bits: each run of zeros is the distance between two of them,
  // 16 zeros at a time coded as ZRL; EOB when the last one is before position 63.
  nz &= ~uint64_t(1);
  int prev = 0;
  while (nz) {
    const int k = __builtin_ctzll(nz);
    nz &= nz - 1;
    int run = k - prev - 1;
    for (; run >= 16; run -= 16) w.code(act, 0xF0, 0, 0);
    const int32_t v = coef[pZz2Org[k]];
    s = bitCount(uint32_t(v < 0 ? -v : v));
    w.code(act, (run << 4) | s, uint32_t(v < 0 ? v - 1 : v), s);
    prev = k;
  }
  if (prev < 63) w.code(act, 0x00, 0, 0);
}
}  // namespace

int jpgEncodeMCU(JpgEcsNode* node, const JpgImage* img, int16_t blocks[kJpgMcuBlocks][64]) {
  if (node->size - node->bytePos < kMaxMcuBytes) {
    if (jpgAllocateECSData(node, node->bytePos, 1u << 20) < 0) return -3;
  }
  const JpgKernels& k = jpgKernels();
  // Every block of the MCU transformed first, two at a time where two neighbours share a table
  // (the luma pairs, Cb with Cr), then coded in order.
  alignas(32) int16_t coef[kJpgMcuBlocks][64];
  uint64_t nz[kJpgMcuBlocks];
  const JpgQuantTable* table[kJpgMcuBlocks];
  int src[kJpgMcuBlocks], comp[kJpgMcuBlocks];
  int n = 0;
  for (uint32_t c = 0; c < img->comps; ++c) {
    const int nb = img->H[c] * img->V[c];
    for (int b = 0; b < nb; ++b, ++n) {
      table[n] = img->quant[img->quantId[c]];
      src[n] = c == 0 ? b : 3 + int(c);
      comp[n] = int(c);
    }
  }
  for (int i = 0; i < n;) {
    if (i + 1 < n && table[i] == table[i + 1]) {
      k.fdctQuant2(blocks[src[i]], blocks[src[i + 1]], table[i], coef[i], coef[i + 1], nz + i);
      i += 2;
    } else {
      nz[i] = k.fdctQuant(blocks[src[i]], table[i], coef[i]);
      ++i;
    }
  }
  BitWriter w{node->bitAcc, node->bitCount, node->data + node->bytePos};
  for (int i = 0; i < n; ++i) {
    const int c = comp[i];
    encodeBlock(w, coef[i], nz[i], &node->dcPred[c], img->dc[img->dcId[c]], img->ac[img->acId[c]]);
  }
  node->bitAcc = w.acc;
  node->bitCount = w.count;
  node->bytePos = uint32_t(w.p - node->data);
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
