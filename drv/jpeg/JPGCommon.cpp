// Constant tables, channel order, word readers, table builders and the record reset shared by
// the decoder and the encoder.
#include <vantrel/wire_bytes.h>

#include <cstdlib>
#include <cstring>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGCommon.c"

const int32_t kAanScales[64] = {
    16384, 22725, 21407, 19266, 16384, 12873, 8867,  4520,  22725, 31521, 29692, 26722, 22725,
    17855, 12299, 6270,  21407, 29692, 27969, 25172, 21407, 16819, 11585, 5906,  19266, 26722,
    25172, 22654, 19266, 15137, 10426, 5315,  16384, 22725, 21407, 19266, 16384, 12873, 8867,
    4520,  12873, 17855, 16819, 15137, 12873, 10114, 6967,  3552,  8867,  12299, 11585, 10426,
    8867,  6967,  4799,  2446,  4520,  6270,  5906,  5315,  4520,  3552,  2446,  1247};

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
  // A symbol the table lacks (a value too wide for it) is coded as the first code, as the
  // index table's zero entries give.
  for (uint32_t& e : t->enc) e = uint32_t(t->code[0]) << 5 | t->length[0];
  for (int k = 0; k < n; ++k) {
    const int len = t->length[k];
    if (len == 0 || t->code[k] >= (1u << len)) continue;  // over-full table: refused by the parser
    if (len <= 8) {
      t->shortEnd = k + 1;
      const int from = t->code[k] << (8 - len);
      for (int j = 0; j < (1 << (8 - len)); ++j) t->look8[from + j] = uint8_t(k);
    }
    if (len <= kJpgFastBits) {
      const int from = t->code[k] << (kJpgFastBits - len);
      for (int j = 0; j < (1 << (kJpgFastBits - len)); ++j)
        t->fast[from + j] = uint16_t(len << 8 | t->values[k]);
    }
    t->symToIndex[t->values[k]] = uint8_t(k);
    t->enc[t->values[k]] = uint32_t(t->code[k]) << 5 | uint32_t(len);
  }
  // Short codes followed by their few value bits, decoded with one look-up; the codes without
  // value bits (EOB, ZRL) come with value 0.
  memset(t->fastAc, 0, sizeof t->fastAc);
  for (int i = 0; i < (1 << kJpgFastBits); ++i) {
    const uint16_t e = t->fast[i];
    if (!e) continue;
    const int len = e >> 8, rs = e & 0xFF, run = rs >> 4, size = rs & 15;
    if (size == 0) {
      t->fastAc[i] = int16_t(run * 16 + len);
      continue;
    }
    if (len + size > kJpgFastBits) continue;
    const int bits = (i >> (kJpgFastBits - len - size)) & ((1 << size) - 1);
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
