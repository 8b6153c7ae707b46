// Baseline JPEG decoder: marker parser, entropy segments per restart interval, MCU decoding with
// the fast integer inverse transform, and YCbCr to RGB conversion.
#include <vantrel/wire_bytes.h>

#include <cstdint>
#include <cstring>
#include <mutex>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernels.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGDecoder.c"

namespace {

int headerError(int line, const char* fn) {
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Error!!Damaged Jpeg header data. MSGOut: %d\n", LM_UNIT,
         line, fn, -302);
  return -302;
}
#define HEADER_ERROR() headerError(__LINE__, __func__)

void logDamagedData(int line, const char* fn) {
  if (LMLogOn()) MDBG(kLvEntry, "", "", "[%s:%d] %s Error!!Damaged Jpeg data\n", LM_UNIT, line, fn);
}

using wire::Get16;
inline uint32_t rd16(const uint8_t* p, bool big) {
  return big ? Get16(p) : uint32_t(p[1] << 8 | p[0]);
}
inline uint32_t rd32(const uint8_t* p, bool big) {
  return big ? wire::Get32(p)
             : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
}

// The segment behind a marker: its body [body, end) must lie inside the data.
bool segment(const uint8_t* d, uint32_t pos, uint32_t size, uint32_t* body, uint32_t* end) {
  if (pos > size || size - pos < 2) return false;
  const uint32_t len = Get16(d + pos);
  if (len < 2 || len > size - pos) return false;
  *body = pos + 2;
  *end = pos + len;
  return true;
}

// EXIF: the densities from XResolution and YResolution of the first directory.
int readExif(JpgImage* img, const uint8_t* d, uint32_t body, uint32_t end) {
  const uint32_t t = body + 6;
  if (end - t < 8) return -302;
  bool big;
  if (d[t] == 'M' && d[t + 1] == 'M' && d[t + 2] == 0 && d[t + 3] == 0x2A)
    big = true;
  else if (d[t] == 'I' && d[t + 1] == 'I' && d[t + 2] == 0x2A && d[t + 3] == 0)
    big = false;
  else
    return -302;
  const uint32_t span = end - t;
  const uint32_t ifd = rd32(d + t + 4, big);
  if (ifd > span || span - ifd < 2) return -302;
  const uint32_t count = rd16(d + t + ifd, big);
  if ((span - ifd - 2) / 12 < count) return -302;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = d + t + ifd + 2 + 12 * i;
    const uint32_t tag = rd16(e, big);
    if (tag != 282 && tag != 283) continue;
    const uint32_t off = rd32(e + 8, big);
    if (off > span || span - off < 8) return -302;
    const uint32_t num = rd32(d + t + off, big);
    const uint32_t den = rd32(d + t + off + 4, big);
    const uint32_t v = den ? num / den : num;
    (tag == 282 ? img->xDensity : img->yDensity) = v;
  }
  return 1;
}

// Entropy-coded data of one restart interval from pos: counts (dst null) or copies the bytes with
// stuffing removed. Stops at RSTn, EOI, DNL or the end of the data; *stop gets the offset of that
// marker's 0xFF (or the size).
uint32_t scanInterval(const uint8_t* d, uint32_t pos, uint32_t size, uint8_t* dst, uint32_t* stop) {
  uint32_t n = 0;
  while (pos < size) {
    const uint8_t* ff = static_cast<const uint8_t*>(memchr(d + pos, 0xFF, size - pos));
    const uint32_t run = ff ? uint32_t(ff - (d + pos)) : size - pos;
    if (dst) memcpy(dst + n, d + pos, run);
    n += run;
    pos += run;
    if (pos >= size) break;
    if (pos + 1 >= size) {  // a lone 0xFF at the very end
      ++pos;
      break;
    }
    const uint8_t m = d[pos + 1];
    if (m == 0x00) {
      if (dst) dst[n] = 0xFF;
      ++n;
      pos += 2;
    } else if (m == 0xFF) {
      ++pos;  // fill byte in front of a marker
    } else if ((m >= 0xD0 && m <= 0xD7) || m == 0xD9 || m == 0xDC) {
      *stop = pos;
      return n;
    } else {
      // A stray marker inside the data is kept with it.
      if (dst) {
        dst[n] = 0xFF;
        dst[n + 1] = m;
      }
      n += 2;
      pos += 2;
    }
  }
  *stop = size;
  return n;
}

// Collects the entropy-coded data behind SOS: one node per non-empty restart interval, each sized
// by what its interval holds. *pos ends at the marker that ended the data (or the size).
int collectEntropy(JpgImage* img, const uint8_t* d, uint32_t size, uint32_t* pos, bool* damaged) {
  // With a restart interval and a known height no more intervals are kept than the frame's
  // MCUs fill: damaged data of many tiny intervals cannot make the nodes outgrow the image.
  int64_t maxNodes = INT64_MAX;
  if (img->lStripMCUCount > 0 && img->height > 0 && img->width > 0) {
    uint8_t maxH = 1, maxV = 1;
    for (uint32_t c = 0; c < img->comps; ++c) {
      if (img->H[c] > maxH) maxH = img->H[c];
      if (img->V[c] > maxV) maxV = img->V[c];
    }
    const int64_t mcus = int64_t((img->width + 8 * maxH - 1) / (8 * maxH)) *
                         ((img->height + 8 * maxV - 1) / (8 * maxV));
    maxNodes = (mcus + img->lStripMCUCount - 1) / img->lStripMCUCount;
  }
  for (;;) {
    uint32_t stop = size;
    const uint32_t n = scanInterval(d, *pos, size, nullptr, &stop);
    const bool full = img->cur && img->cur->size != 0 && img->lStripCount >= maxNodes;
    if (full && n > 0) {
      // An interval beyond the image: passed over.
    } else if (!img->cur || img->cur->size != 0) {
      // The current node holds an interval already: the next one gets its own node.
      auto* node =
          static_cast<JpgEcsNode*>(AllocateMemory(nullptr, sizeof(JpgEcsNode), kLMZeroFill));
      if (!node) {
        LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate ECS\n", -3);
        return -3;
      }
      if (img->cur)
        img->cur->next = node;
      else
        img->first = node;
      img->cur = node;
      ++img->lStripCount;
    }
    JpgEcsNode* node = img->cur;
    if (n > 0 && !full) {
      FreeMemory(node->data);
      // Every byte is copied below; only the slack behind them needs clearing.
      node->data = static_cast<uint8_t*>(AllocateMemory(nullptr, n + kEcsSlack, 0));
      if (!node->data) {
        LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate ECS\n", -3);
        return -3;
      }
      memset(node->data + n, 0, kEcsSlack);
      uint32_t stop2;
      scanInterval(d, *pos, size, node->data, &stop2);
      node->size = n;
    }
    *pos = stop;
    if (stop >= size) {
      logDamagedData(__LINE__, __func__);
      *damaged = true;
      return 1;
    }
    const uint8_t m = d[stop + 1];
    if (m == 0xD9 || m == 0xDC) return 1;
    *pos = stop + 2;  // RSTn: its number is not checked
  }
}

}  // namespace

int jpgReadJFIFInfo(JpgImage* img, const uint8_t* d, uint32_t size, uint32_t headerOnly) {
  LMLOG(kLvEntry, "In\n");
  if (!img || !d || size == 0) {
    LMLOG(kLvEntry, "Error!!MSGOut: %d\n", -2);
    return -2;
  }
  bool foreignApp1 = false;
  bool damaged = false;
  uint32_t pos = 0;
  for (;;) {
    while (pos < size && d[pos] != 0xFF) ++pos;
    if (pos >= size) break;  // as at EOI
    while (pos < size && d[pos] == 0xFF) ++pos;
    if (pos >= size) return HEADER_ERROR();
    const uint8_t m = d[pos++];
    uint32_t body = 0, end = 0;
    if (m == 0xD9) break;
    if (m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7) || m == 0xC8 || m == 0xCC) continue;
    if (!segment(d, pos, size, &body, &end)) return HEADER_ERROR();
    const uint32_t blen = end - body;
    switch (m) {
      case 0xE0:
        if (blen < 12) return HEADER_ERROR();
        if (Get16(d + body) != 0x4A46 || Get16(d + body + 2) != 0x4946) return HEADER_ERROR();
        img->xDensity = Get16(d + body + 8);
        img->yDensity = Get16(d + body + 10);
        break;
      case 0xE1: {
        const bool exif = blen >= 6 && memcmp(d + body, "Exif\0", 5) == 0 &&
                          (d[body + 5] == 0x00 || d[body + 5] == 0xFF);
        if (!exif) {
          LMLOG(kLvRecord, "APP1 without EXIF skipped\n");
          foreignApp1 = true;
        } else if (readExif(img, d, body, end) < 0) {
          return HEADER_ERROR();
        }
        break;
      }
      case 0xDB: {
        if (blen % 65 != 0) return HEADER_ERROR();
        for (uint32_t p = body; p < end; p += 65) {
          if (d[p] >= 16) return -4;
          const int id = d[p] & 15;
          if (id > 3) return HEADER_ERROR();
          if (!img->quant[id]) {
            img->quant[id] = static_cast<JpgQuantTable*>(
                AllocateMemory(nullptr, sizeof(JpgQuantTable), kLMZeroFill));
            if (!img->quant[id]) {
              LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate size: %d\n", -3, 320);
              return -3;
            }
          }
          for (int k = 0; k < 64; ++k) img->quant[id]->q[pZz2Org[k]] = d[p + 1 + k];
        }
        break;
      }
      case 0xC4: {
        for (uint32_t p = body; p < end;) {
          if (end - p < 18) return HEADER_ERROR();
          const uint8_t tc = d[p];
          uint32_t total = 0;
          for (int i = 0; i < 16; ++i) total += d[p + 1 + i];
          if (total > end - p - 17 || !jpgHuffCountsValid(d + p + 1)) return HEADER_ERROR();
          const int id = tc & 15;
          if (id > 3 || (tc >> 4) > 1) return HEADER_ERROR();
          JpgHuffTable*& t = (tc < 16) ? img->dc[id] : img->ac[id];
          if (!t) {
            t = static_cast<JpgHuffTable*>(
                AllocateMemory(nullptr, sizeof(JpgHuffTable), kLMZeroFill));
            if (!t) {
              LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate size: %d\n", -3, 1580);
              return -3;
            }
          }
          memcpy(t->counts, d + p + 1, 16);
          memset(t->values, 0, sizeof t->values);
          memcpy(t->values, d + p + 17, total);
          t->nSymbols = int32_t(total);
          t->built = false;
          p += 17 + total;
        }
        break;
      }
      case 0xC0: {
        // One frame a stream: a second header (behind a DNL, say) would leave the scan's table
        // ids to components it never named.
        if (img->frameType != 0) return HEADER_ERROR();
        if (blen < 6) return HEADER_ERROR();
        if (d[body] != 8) return -4;
        const uint32_t nc = d[body + 5];
        if (nc != 1 && nc != 3) return -4;
        if (blen < 6 + 3 * nc) return HEADER_ERROR();
        img->precision = 8;
        img->height = Get16(d + body + 1);
        img->width = Get16(d + body + 3);
        img->comps = nc;
        for (uint32_t c = 0; c < nc; ++c) {
          const uint8_t hv = d[body + 6 + 3 * c + 1];
          const uint8_t h = hv >> 4, v = hv & 15;
          if (h < 1 || h > 2 || v < 1 || v > 2) return -4;
          img->H[c] = h;
          img->V[c] = v;
          img->quantId[c] = d[body + 6 + 3 * c + 2];
          if (img->quantId[c] > 3) return HEADER_ERROR();
        }
        // The scan of a lone component is not interleaved: one 8x8 block per MCU whatever its
        // factors (a colour file turned grey keeps its luma factors).
        if (nc == 1) img->H[0] = img->V[0] = 1;
        img->frameType = 192;
        break;
      }
      case 0xC1:
      case 0xC2:
      case 0xC3:
      case 0xC5:
      case 0xC6:
      case 0xC7:
      case 0xC9:
      case 0xCA:
      case 0xCB:
      case 0xCD:
      case 0xCE:
      case 0xCF:
        return -4;
      case 0xDD:
        if (blen < 2) return HEADER_ERROR();
        img->lStripMCUCount = Get16(d + body);
        break;
      case 0xDC:
        if (blen < 2) return HEADER_ERROR();
        img->height = Get16(d + body);
        break;
      case 0xDA: {
        if (blen < 1) return HEADER_ERROR();
        const uint32_t ns = d[body];
        if (ns != img->comps || ns == 0) return -4;
        if (blen < 1 + 2 * ns + 3) return HEADER_ERROR();
        for (uint32_t c = 0; c < ns; ++c) {
          const uint8_t tb = d[body + 1 + 2 * c + 1];
          img->dcId[c] = tb >> 4;
          img->acId[c] = tb & 15;
          if (img->dcId[c] > 3 || img->acId[c] > 3) return HEADER_ERROR();
        }
        const uint8_t* sp = d + body + 1 + 2 * ns;
        if (sp[0] != 0 || sp[1] != 63 || sp[2] != 0) return -4;
        if (headerOnly) {
          // The header facts are complete; the data is skipped marker by marker.
          uint32_t stop;
          scanInterval(d, end, size, nullptr, &stop);
          pos = stop;
          while (pos < size) {
            const uint8_t mm = d[pos + 1];
            if (mm == 0xD9 || mm == 0xDC) break;
            scanInterval(d, pos + 2, size, nullptr, &stop);
            pos = stop;
          }
          continue;
        }
        pos = end;
        const int rc = collectEntropy(img, d, size, &pos, &damaged);
        if (rc < 0) return rc;
        continue;
      }
      default:
        break;  // APP2..APP15, COM and any other segment: skipped by its length
    }
    pos = end;
  }
  (void)damaged;

  if (img->comps < 1 || img->precision < 8 || img->width < 1 || img->height < 1)
    return HEADER_ERROR();
  uint8_t maxH = 1, maxV = 1;
  for (uint32_t c = 0; c < img->comps; ++c) {
    if (img->H[c] > maxH) maxH = img->H[c];
    if (img->V[c] > maxV) maxV = img->V[c];
  }
  img->lMCUWidth = 8 * maxH;
  img->lMCUHeight = 8 * maxV;
  for (uint32_t c = 0; c < img->comps; ++c) {
    img->HRep[c] = uint8_t(maxH / img->H[c]);
    img->VRep[c] = uint8_t(maxV / img->V[c]);
  }
  if (headerOnly) return foreignApp1 ? -302 : 1;

  if (!img->first || (!img->first->next && img->first->size < 1)) return HEADER_ERROR();
  // Every table that the frame and scan name must exist (an id the scan never set is 255).
  for (uint32_t c = 0; c < img->comps; ++c) {
    if (img->quantId[c] > 3 || img->dcId[c] > 3 || img->acId[c] > 3) return HEADER_ERROR();
    if (!img->quant[img->quantId[c]] || !img->dc[img->dcId[c]] || !img->ac[img->acId[c]])
      return HEADER_ERROR();
  }
  for (int i = 0; i < 4; ++i) {
    if (img->quant[i]) jpgBuildQuantTb(0, img->quant[i], 12);
    if (img->dc[i] && !img->dc[i]->built) jpgBuildHuffTb(img->dc[i]);
    if (img->ac[i] && !img->ac[i]->built) jpgBuildHuffTb(img->ac[i]);
  }
  if (!img->zeroPos) {
    img->zeroPos = static_cast<uint8_t*>(AllocateMemory(nullptr, 256, 0));
    if (!img->zeroPos) {
      LMLOG(kLvEntry, "Error!!MSGOut: %d, Allocate size: %d\n", -3, 256);
      return -3;
    }
    jpgBuildZeroPositionTable(0, img->zeroPos);
  }
  // Node i by index, for strip decoding.
  FreeMemory(img->nodeIndex);
  img->nodeIndex = static_cast<JpgEcsNode**>(
      AllocateMemory(nullptr, uint32_t(sizeof(JpgEcsNode*) * (img->lStripCount + 1)), 0));
  if (!img->nodeIndex) return -3;
  int32_t i = 0;
  for (JpgEcsNode* n = img->first; n && i < img->lStripCount; n = n->next) img->nodeIndex[i++] = n;
  img->nodeIndexCount = i;
  img->cur = img->first;
  LMLOG(kLvEntry, "MSGOut: %d\n", 1);
  return 1;
}

// ---------------------------------------------------------------------------------------------
// MCU decoding

namespace {

inline uint8_t clampSample(int32_t v) {
  v += 128;
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

inline uint64_t peekBits(const uint8_t* data, uint64_t bitPos) {
  uint64_t w;
  memcpy(&w, data + (bitPos >> 3), 8);
  return __builtin_bswap64(w) << (bitPos & 7);
}

// Decodes one Huffman symbol from the top of the window; -1 when no code matches.
inline int decodeSymbol(const JpgHuffTable* t, uint64_t w, int* len) {
  const uint16_t e = t->fast[w >> (64 - kJpgFastBits)];
  if (e) {
    *len = e >> 8;
    return e & 0xFF;
  }
  for (int l = kJpgFastBits + 1; l <= 16; ++l) {
    const int32_t code = int32_t(w >> (64 - l));
    if (code <= t->maxcode[l]) {
      const int32_t idx = t->valoff[l] + code;
      if (idx < 0 || idx >= t->nSymbols) return -1;
      *len = l;
      return t->values[idx];
    }
  }
  return -1;
}

inline int32_t extend(uint32_t bits, int s) {
  return (bits < (1u << (s - 1))) ? int32_t(bits) - int32_t((1u << s) - 1) : int32_t(bits);
}

}  // namespace

void jpgIdctBlock(const int16_t* coef, const int32_t* q, uint8_t* out, uint32_t stride) {
  jpgKernels().idct(coef, q, out, stride);
}

// Decodes the next MCU of the node into the component planes (planes[c] at the MCU's first block
// of component c, strides[c] bytes per row). 1, or -301 on damaged or exhausted data.
int jpgDecodeMCU(JpgEcsNode* node, JpgImage* img, uint8_t* const planes[4],
                 const uint32_t strides[4]) {
  int32_t done = 0;
  return jpgDecodeMCUs(node, img, planes, strides, 1, &done);
}

int jpgDecodeMCUs(JpgEcsNode* node, JpgImage* img, uint8_t* const planes[4],
                  const uint32_t strides[4], int32_t count, int32_t* done) {
  const uint32_t comps = img->comps;
  const uint8_t* data = node->data;
  // The next bits of the interval, most significant first: `buf` holds `avail` of them and is
  // reloaded from the data (8 bytes at the byte position, within the zeroed slack) whenever
  // fewer than 32 remain, enough for any code and its value bits.
  uint64_t bp = uint64_t(node->bytePos) * 8 + node->bitPos;
  uint64_t buf = 0;
  int avail = 0;
  auto need = [&]() {
    if (avail < 32) {
      buf = peekBits(data, bp);
      avail = 64 - int(bp & 7);
    }
  };
  auto skip = [&](int n) {
    buf <<= n;
    avail -= n;
    bp += uint64_t(n);
  };
  const uint64_t endBits = uint64_t(node->size) * 8;
  const auto idct = jpgKernels().idct;
  alignas(16) int16_t coef[64];
  uint8_t touched[64];
  int nTouched = 0;
  memset(coef, 0, sizeof coef);
  int rc = 1;
  int32_t mcu = 0;
  for (; mcu < count; ++mcu) {
    for (uint32_t c = 0; c < comps && rc == 1; ++c) {
      const JpgHuffTable* dct = img->dc[img->dcId[c]];
      const JpgHuffTable* act = img->ac[img->acId[c]];
      const int32_t* mul = img->quant[img->quantId[c]]->mul;
      const uint32_t stride = strides[c];
      for (int by = 0; by < img->V[c] && rc == 1; ++by) {
        for (int bx = 0; bx < img->H[c]; ++bx) {
          if ((bp >> 3) > node->size || !data) {
            rc = -301;
            break;
          }
          need();
          int len = 0;
          const int s = decodeSymbol(dct, buf, &len);
          if (s < 0 || s > 15) {
            rc = -301;
            break;
          }
          int32_t diff = 0;
          if (s) diff = extend(uint32_t((buf << len) >> (64 - s)), s);
          skip(len + s);
          node->dcPred[c] = int32_t(uint32_t(node->dcPred[c]) + uint32_t(diff));
          for (int k = 1; k <= 63 && bp < endBits;) {
            need();
            const int fa = act->fastAc[buf >> (64 - kJpgFastBits)];
            if (fa) {
              skip(fa & 15);
              if ((fa >> 8) == 0) {
                if (((fa >> 4) & 15) != 15) break;  // EOB
                k += 16;
                continue;
              }
              k += (fa >> 4) & 15;
              if (k > 63) break;
              const int n = pZz2Org[k];
              coef[n] = int16_t(fa >> 8);
              touched[nTouched++] = uint8_t(n);
              ++k;
              continue;
            }
            const int rs = decodeSymbol(act, buf, &len);
            if (rs < 0) {
              rc = -301;
              break;
            }
            const int r = rs >> 4, sz = rs & 15;
            if (sz == 0) {
              skip(len);
              if (r != 15) break;  // EOB
              k += 16;
              continue;
            }
            k += r;
            const int32_t v = extend(uint32_t((buf << len) >> (64 - sz)), sz);
            skip(len + sz);
            if (k > 63) break;
            const int n = pZz2Org[k];
            coef[n] = int16_t(v);
            touched[nTouched++] = uint8_t(n);
            ++k;
          }
          if (rc != 1) break;
          uint8_t* dst =
              planes[c] + size_t(mcu) * 8 * img->H[c] + size_t(by) * 8 * stride + size_t(bx) * 8;
          if (nTouched == 0) {
            // A flat block: the transform gives its DC value everywhere.
            const uint8_t v = clampSample((int16_t(node->dcPred[c]) * mul[0]) >> 5);
            for (int y = 0; y < 8; ++y) memset(dst + size_t(y) * stride, v, 8);
          } else {
            coef[0] = int16_t(node->dcPred[c]);
            idct(coef, mul, dst, stride);
            // Only the coefficients this block set go back to zero.
            for (int i = 0; i < nTouched; ++i) coef[touched[i]] = 0;
            coef[0] = 0;
            nTouched = 0;
          }
        }
      }
    }
    if (bp > endBits + 64) {
      bp = endBits + 64;  // positions stay bounded on damaged data
      avail = 0;
    }
    ++node->mcuCount;
    if (rc != 1) break;
  }
  *done = mcu;
  if (rc != 1) {
    logDamagedData(__LINE__, __func__);
    if (LMLogOn())
      MDBG(kLvEntry, "", "", "[%s:%d] %s Error!!Damaged Jpeg data. MSGOut: %d\n", LM_UNIT, __LINE__,
           __func__, rc);
  }
  node->bytePos = uint32_t(bp >> 3);
  node->bitPos = uint8_t(bp & 7);
  return rc;
}

// ---------------------------------------------------------------------------------------------
// Colour conversion

namespace {
struct YccTables {
  int32_t crR[384], cbB[384], crG[384], cbG[384];
  uint32_t bits;
  int32_t cR, cG1, cG2, cB;  // entry 64 + k of each table is (k - 128) times these
};
YccTables gYcc;
std::once_flag gYccOnce;

void fillYcc(uint32_t fractionBits) {
  const double F = double(1u << fractionBits);
  const int32_t cR = int32_t(1.402 * F + 0.5);
  const int32_t cG1 = int32_t(-0.34414 * F + 0.5);
  const int32_t cG2 = int32_t(-0.71414 * F + 0.5);
  const int32_t cB = int32_t(1.772 * F + 0.5);
  for (int k = 0; k < 256; ++k) {
    gYcc.crR[64 + k] = (k - 128) * cR;
    gYcc.cbG[64 + k] = (k - 128) * cG1;
    gYcc.crG[64 + k] = (k - 128) * cG2;
    gYcc.cbB[64 + k] = (k - 128) * cB;
  }
  int32_t* tabs[4] = {gYcc.crR, gYcc.cbG, gYcc.crG, gYcc.cbB};
  for (int32_t* t : tabs) {
    for (int i = 0; i < 64; ++i) t[i] = t[64];
    for (int i = 320; i < 384; ++i) t[i] = t[319];
  }
  gYcc.bits = fractionBits;
  gYcc.cR = cR;
  gYcc.cG1 = cG1;
  gYcc.cG2 = cG2;
  gYcc.cB = cB;
}

// Clamp for Y plus a chroma term: -256..511 -> 0..255.
struct WideClamp {
  uint8_t v[768];
  WideClamp() {
    for (int i = 0; i < 768; ++i) v[i] = uint8_t(i < 256 ? 0 : (i < 512 ? i - 256 : 255));
  }
};
const WideClamp kWide;
inline uint8_t clampWide(int32_t v) {
  if (v < -256) v = -256;
  if (v > 511) v = 511;
  return kWide.v[v + 256];
}

struct Rgb {
  uint8_t r, g, b;
};

// With the tables' own fraction bits every sum lies in -256..511 (Y 0..255, chroma terms within
// +-227), so the clamp table is indexed without bounds checks.
inline Rgb ycc(int32_t Y, int32_t cb, int32_t cr, int s, bool exact) {
  cb += 64;
  cr += 64;
  const int32_t r = Y + (gYcc.crR[cr] >> s);
  const int32_t g = Y + ((gYcc.cbG[cb] + gYcc.crG[cr]) >> s);
  const int32_t b = Y + (gYcc.cbB[cb] >> s);
  if (exact) return {kWide.v[r + 256], kWide.v[g + 256], kWide.v[b + 256]};
  return {clampWide(r), clampWide(g), clampWide(b)};
}

}  // namespace

void jpgYccTablesOnce() { std::call_once(gYccOnce, fillYcc, 12u); }

void jpgConvertPlanarRow(const uint8_t* const rows[3], const uint8_t shifts[3], uint32_t comps,
                         uint8_t* out, int32_t width, uint32_t outBpp, const uint32_t seq[4]) {
  if (comps == 1) {
    memcpy(out, rows[0], size_t(width));
    return;
  }
  // The kernels work with 12 fraction bits, the tables' usual precision.
  if (gYcc.bits == 12 && shifts[0] == 0 && shifts[1] == shifts[2] && shifts[1] <= 1) {
    const int sh = shifts[1];
    const int32_t done =
        jpgKernels().yccRow(rows[0], rows[1], rows[2], out, width, sh, outBpp, seq);
    if (done < width)
      jpgKernelsFor(JpgIsa::kScalar)
          ->yccRow(rows[0] + done, rows[1] + (done >> sh), rows[2] + (done >> sh),
                   out + size_t(done) * outBpp, width - done, sh, outBpp, seq);
    return;
  }
  const int s = int(gYcc.bits);
  for (int32_t x = 0; x < width; ++x) {
    const Rgb p =
        ycc(rows[0][x >> shifts[0]], rows[1][x >> shifts[1]], rows[2][x >> shifts[2]], s, false);
    uint8_t* o = out + size_t(x) * outBpp;
    if (outBpp == 4) o[seq[3]] = 0;
    o[seq[0]] = p.r;
    o[seq[1]] = p.g;
    o[seq[2]] = p.b;
  }
}

int jpgConvertYCbCrToRGB(const uint8_t* src, uint8_t* dst, uint32_t precision, uint32_t comps,
                         uint32_t outBpp, uint32_t channelSeq, int32_t srcWidth, int32_t srcLines,
                         uint32_t srcStride, int32_t dstWidth, int32_t dstLines, uint32_t dstStride,
                         uint32_t fractionBits) {
  if (!src || !dst) {
    LMLOG(kLvEntry, "Error (!pSrc || !pDst)!!MSGOut: %d\n", -2);
    return -2;
  }
  if (comps == 1) {
    if (outBpp != 1) return -4;
    if (srcWidth <= 0 || srcLines <= 0 || dstWidth <= 0 || dstLines <= 0) return 1;
    if (src != dst) {
      const int32_t lines = srcLines < dstLines ? srcLines : dstLines;
      const uint32_t n = srcStride < dstStride ? srcStride : dstStride;
      for (int32_t y = 0; y < lines; ++y)
        memmove(dst + size_t(y) * dstStride, src + size_t(y) * srcStride, n);
    }
    return 1;
  }
  if (comps != 3 || (outBpp != 3 && outBpp != 4) || precision != 8) return -4;
  if (srcWidth <= 0 || srcLines <= 0 || dstWidth <= 0 || dstLines <= 0) return 1;
  uint32_t seq[4];
  const int rc = jpgGetRGBChannelSequence(outBpp, channelSeq, seq);
  if (rc < 0) return rc;
  // Order 5 puts a channel in the fourth byte: it needs 4-byte pixels.
  if (seq[0] >= outBpp || seq[1] >= outBpp || seq[2] >= outBpp) return -2;
  std::call_once(gYccOnce, fillYcc, fractionBits);
  const int s = int(fractionBits);
  const int32_t width = srcWidth < dstWidth ? srcWidth : dstWidth;
  const int32_t lines = srcLines < dstLines ? srcLines : dstLines;
  // Rows and pixels from the last to the first, so that 3-byte input may become 4-byte output
  // in place.
  for (int32_t y = lines - 1; y >= 0; --y) {
    const uint8_t* sp = src + size_t(y) * srcStride;
    uint8_t* dp = dst + size_t(y) * dstStride;
    for (int32_t x = width - 1; x >= 0; --x) {
      const uint8_t* p = sp + 3 * x;
      const Rgb c = ycc(p[0], p[1], p[2], s, false);
      uint8_t* o = dp + outBpp * x;
      if (outBpp == 4) o[seq[3]] = 0;
      o[seq[0]] = c.r;
      o[seq[1]] = c.g;
      o[seq[2]] = c.b;
    }
  }
  return 1;
}
