// Constant tables, channel order, word readers, table builders and the record reset shared by
// the decoder and the encoder.
#include <vantrel/wire_bytes.h>

#include <cstdlib>
#include <cstring>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGCommon.c"

const uint8_t pZz2Org[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const int32_t kAanScales[64] = {
    16384, 22725, 21407, 19266, 16384, 12873, 8867,  4520,  22725, 31521, 29692, 26722, 22725,
    17855, 12299, 6270,  21407, 29692, 27969, 25172, 21407, 16819, 11585, 5906,  19266, 26722,
    25172, 22654, 19266, 15137, 10426, 5315,  16384, 22725, 21407, 19266, 16384, 12873, 8867,
    4520,  12873, 17855, 16819, 15137, 12873, 10114, 6967,  3552,  8867,  12299, 11585, 10426,
    8867,  6967,  4799,  2446,  4520,  6270,  5906,  5315,  4520,  3552,  2446,  1247};

const uint8_t kStdLumaQ[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                               58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                               22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                               77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                               103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};

const uint8_t kStdChromaQ[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                 24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

const uint8_t kStdDcLumaCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kStdDcLumaValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kStdDcChromaCounts[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kStdDcChromaValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kStdAcLumaCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kStdAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const uint8_t kStdAcChromaCounts[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kStdAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

namespace {
struct RangeTable {
  uint8_t v[384];
  RangeTable() {
    for (int i = 0; i < 384; ++i) v[i] = i < 64 ? 0 : (i < 320 ? uint8_t(i - 64) : 255);
  }
};
const RangeTable kRange;
}  // namespace

const uint8_t* jpgRangeByte() { return kRange.v; }

int jpgGetRGBChannelSequence(uint32_t nChannels, uint32_t code, uint32_t out[4]) {
  if (!(nChannels == 1 || nChannels == 3 || nChannels == 4) || code >= 6 || !out) {
    LMLOG(kLvChannel, "Error!! Wrong parameters.\n");
    return -2;
  }
  for (uint32_t i = 0; i < nChannels; ++i) out[i] = i;
  if (nChannels >= 3) {
    static const uint32_t kOrders[6][4] = {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3},
                                           {2, 1, 0, 3}, {2, 1, 0, 3}, {1, 2, 3, 0}};
    for (int i = 0; i < 4; ++i) out[i] = kOrders[code][i];
  }
  return 1;
}

int jpgIsBigEndian() {
  const uint16_t probe = 1;
  uint8_t first;
  memcpy(&first, &probe, 1);
  return first == 0;
}

// The stream is big-endian whatever the host; byte-wise assembly serves either host order.
uint16_t jpgGetWord(const uint8_t* buf, uint32_t* pos) {
  const uint16_t v = wire::Get16(buf + *pos);
  *pos += 2;
  return v;
}

uint32_t jpgGetDWord(const uint8_t* buf, uint32_t* pos) {
  const uint32_t v = wire::Get32(buf + *pos);
  *pos += 4;
  return v;
}

int jpgBuildQuantTb(int flag, JpgQuantTable* table, int shift) {
  (void)flag;
  if (!table) return -2;
  for (int n = 0; n < 64; ++n)
    table->mul[n] = (int32_t(table->q[n]) * kAanScales[n] + (1 << (shift - 1))) >> shift;
  return 1;
}

// True when the counts describe a prefix code that fits in 16 bits and 256 symbols.
bool jpgHuffCountsValid(const uint8_t counts[16]) {
  uint32_t code = 0;
  int total = 0;
  for (int len = 1; len <= 16; ++len) {
    code += counts[len - 1];
    total += counts[len - 1];
    if (code > (1u << len)) return false;
    code <<= 1;
  }
  return total <= 256;
}

int jpgSortHuffTb(JpgHuffTable* t) {
  // Canonical assignment: consecutive codes within a length, doubled per length step.
  uint32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t->valoff[len] = k - int32_t(code);
    for (int i = 0; i < t->counts[len - 1] && k < 256; ++i, ++k) {
      t->code[k] = uint16_t(code);
      t->length[k] = uint8_t(len);
      ++code;
    }
    t->maxcode[len] = t->counts[len - 1] ? int32_t(code) - 1 : -1;
    code <<= 1;
  }
  t->maxcode[17] = 0x7FFFFFFF;
  return 1;
}

int jpgBuildHuffTb(JpgHuffTable* t) {
  int n = 0;
  for (int i = 0; i < 16; ++i) n += t->counts[i];
  t->nSymbols = n > 256 ? 256 : n;
  jpgSortHuffTb(t);
  n = t->nSymbols;
  // Groups by count of leading one bits; the short-code boundary; the 8-bit lookup.
  for (int g = 0; g <= 16; ++g) t->groupStart[g] = uint8_t(n > 255 ? 255 : n);
  for (int k = n - 1; k >= 0; --k) {
    int ones = 0;
    while (ones < t->length[k] && (t->code[k] >> (t->length[k] - 1 - ones) & 1)) ++ones;
    t->groupStart[ones] = uint8_t(k);
  }
  t->shortEnd = 0;
  memset(t->look8, 255, sizeof t->look8);
  memset(t->fast, 0, sizeof t->fast);
  for (int k = 0; k < n; ++k) {
    const int len = t->length[k];
    if (len == 0 || t->code[k] >= (1u << len)) continue;  // over-full table: refused by the parser
    if (len <= 8) {
      t->shortEnd = k + 1;
      const int from = t->code[k] << (8 - len);
      for (int j = 0; j < (1 << (8 - len)); ++j) t->look8[from + j] = uint8_t(k);
    }
    if (len <= 9) {
      const int from = t->code[k] << (9 - len);
      for (int j = 0; j < (1 << (9 - len)); ++j)
        t->fast[from + j] = uint16_t(len << 8 | t->values[k]);
    }
    t->symToIndex[t->values[k]] = uint8_t(k);
  }
  // Short codes followed by their few value bits, decoded with one look-up.
  memset(t->fastAc, 0, sizeof t->fastAc);
  for (int i = 0; i < 512; ++i) {
    const uint16_t e = t->fast[i];
    if (!e) continue;
    const int len = e >> 8, rs = e & 0xFF, run = rs >> 4, size = rs & 15;
    if (size == 0 || len + size > 9) continue;
    const int bits = (i >> (9 - len - size)) & ((1 << size) - 1);
    const int v = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    if (v < -128 || v > 127) continue;
    t->fastAc[i] = int16_t(v * 256 + run * 16 + len + size);
  }
  t->built = true;
  return 1;
}

int jpgBuildZeroPositionTable(int flag, uint8_t* table) {
  if (flag != 0 || !table) return 1;
  for (int v = 0; v < 256; ++v) {
    int ones = 0;
    while (ones < 8 && (v >> (7 - ones) & 1)) ++ones;
    table[v] = uint8_t(v == 255 ? 255 : ones);
  }
  return 1;
}

void jpgFreeECS(JpgEcsNode* first) {
  while (first) {
    JpgEcsNode* next = first->next;
    FreeMemory(first->data);
    FreeMemory(first);
    first = next;
  }
}

JpgEcsNode* jpgAllocateFirstECS(int32_t* count, uint32_t initialSize, uint32_t growth) {
  (void)growth;
  if (!count || *count < 0) return nullptr;
  auto* node = static_cast<JpgEcsNode*>(AllocateMemory(nullptr, sizeof(JpgEcsNode), kLMZeroFill));
  if (!node) return nullptr;
  node->data = static_cast<uint8_t*>(AllocateMemory(nullptr, initialSize + kEcsSlack, kLMZeroFill));
  if (!node->data) {
    FreeMemory(node);
    return nullptr;
  }
  node->size = initialSize;
  ++*count;
  return node;
}

int jpgAllocateECSData(JpgEcsNode* node, uint32_t used, uint32_t growth) {
  if (node->size - used > growth) return 1;
  // Grow at least geometrically so that long pages cost linear time.
  uint64_t want = uint64_t(node->size) + (growth > node->size ? growth : node->size);
  if (want + kEcsSlack > 0xFFFFFFF0ull) want = 0xFFFFFFF0ull - kEcsSlack;
  if (want <= node->size) return -3;
  auto* p = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(want + kEcsSlack), 0));
  if (!p) return -3;
  memcpy(p, node->data, used + 1);
  memset(p + used + 1, 0, size_t(want + kEcsSlack - used - 1));
  FreeMemory(node->data);
  node->data = p;
  node->size = uint32_t(want);
  return 1;
}

void jpgResetJpeg(JpgImage* img) {
  if (!img) return;
  FreeMemory(img->pOut);
  img->pOut = nullptr;
  img->outSize = 0;
  jpgFreeECS(img->first);
  img->first = img->cur = nullptr;
  FreeMemory(img->nodeIndex);
  img->nodeIndex = nullptr;
  img->nodeIndexCount = 0;
  img->lStripCount = 0;
  img->lStripMCUCount = 0;
  img->bytesPerPixel = img->channelSeq = 0;
  img->comps = img->precision = img->width = img->height = 0;
  img->xDensity = img->yDensity = img->frameType = 0;
  img->lCompactMode = 0;
  for (int c = 0; c < 4; ++c) {
    img->H[c] = img->V[c] = img->HRep[c] = img->VRep[c] = 0;
    img->quantId[c] = img->dcId[c] = img->acId[c] = 255;
    FreeMemory(img->quant[c]);
    FreeMemory(img->dc[c]);
    FreeMemory(img->ac[c]);
    img->quant[c] = nullptr;
    img->dc[c] = img->ac[c] = nullptr;
  }
  img->lMCUWidth = img->lMCUHeight = 8;
  FreeMemory(img->zeroPos);
  img->zeroPos = nullptr;
}
