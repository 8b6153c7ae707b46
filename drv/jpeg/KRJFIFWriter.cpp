// JFIF stream writer and the job's quantisation tables.
#include "drv/jpeg/KRJFIFWriter.h"

#include <unistd.h>
#include <vantrel/wire_bytes.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JpegDrvLog.h"

#define WLOG(fmt, ...) \
  JpegDrvLog(1, "[%s:%d] %s " fmt, "KRJFIFWriter.cpp", __LINE__, __func__, ##__VA_ARGS__)

namespace {

constexpr int32_t kHeaderArea = 1024;
constexpr int32_t kMiB = 1 << 20;

// 53 characters and the terminating zero: the comment segment's 54 bytes.
const char kComment[54] = "Vantrel scanner driver JFIF writer, strips joined    ";
static_assert(sizeof kComment == 54);

int done(int rc, int line, const char* fn) {
  JpegDrvLog(1, "[%s:%d] %s Out: MSGOut: %d\n", "KRJFIFWriter.cpp", line, fn, rc);
  return rc;
}
#define DONE(rc) done((rc), __LINE__, __func__)

uint8_t* allocBlock(size_t size) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (auto* p = static_cast<uint8_t*>(malloc(size))) return p;
    usleep(10);
  }
  return nullptr;
}

using wire::Get16;

struct Bytes {
  std::vector<uint8_t> v;
  void b(uint8_t x) { v.push_back(x); }
  void w(uint32_t x) {
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
  }
  void d(uint32_t x) {
    w(x >> 16);
    w(x & 0xFFFF);
  }
  void add(const uint8_t* p, size_t n) { v.insert(v.end(), p, p + n); }
};

void dht(Bytes& o, int cls, int id, const uint8_t* counts, const uint8_t* values, int n) {
  o.w(0xFFC4);
  o.w(uint32_t(19 + n));
  o.b(uint8_t(cls << 4 | id));
  o.add(counts, 16);
  o.add(values, size_t(n));
}

void dqt(Bytes& o, int id, const uint8_t* table) {
  o.w(0xFFDB);
  o.w(0x43);
  o.b(uint8_t(id));
  for (int k = 0; k < 64; ++k) o.b(table[pZz2Org[k]]);
}

// SOI, APP0 and COM: in front of every finished stream.
void leadIn(Bytes& o, const _JFIF* p) {
  o.w(0xFFD8);
  o.w(0xFFE0);
  o.w(0x10);
  o.add(reinterpret_cast<const uint8_t*>("JFIF"), 5);
  o.b(1);
  o.b(0);
  o.b(1);
  o.w(uint32_t(p->nResolutionX) & 0xFFFF);
  o.w(uint32_t(p->nResolutionY) & 0xFFFF);
  o.b(0);
  o.b(0);
  o.w(0xFFFE);
  o.w(0x38);
  o.add(reinterpret_cast<const uint8_t*>(kComment), sizeof kComment);
}

uint8_t* blockStart(const _JFIF* p) { return p->in.pJFIFMem ? p->in.pJFIFMem : p->pJFIF; }

// Room for `extra` more bytes behind the stream; the block grows at least geometrically.
int ensureRoom(_JFIF* p, int64_t extra) {
  const int64_t used = int64_t(p->pJFIF - blockStart(p)) + p->nJFIFSize;
  if (int64_t(p->nJFIFMemSize) >= used + extra) return 1;
  if (!p->in.pJFIFMem) {
    WLOG("Error!! Wrong calling sequence.\n");
    return -4;
  }
  int64_t size = int64_t(p->nJFIFMemSize) + extra + 2 * kMiB;
  if (size < 2 * int64_t(p->nJFIFMemSize)) size = 2 * int64_t(p->nJFIFMemSize);
  if (size > 0x7FFFFFFF) size = 0x7FFFFFFF;
  if (size < used + extra) return -5;
  uint8_t* mem = allocBlock(size_t(size));
  if (!mem) {
    WLOG("Error!! Low memory!\n");
    return -5;
  }
  memcpy(mem, p->in.pJFIFMem, size_t(used));
  p->pJFIF = mem + (p->pJFIF - p->in.pJFIFMem);
  free(p->in.pJFIFMem);
  p->in.pJFIFMem = mem;
  p->nJFIFMemSize = int32_t(size);
  return 1;
}

// The restart interval from the strip height; nothing to derive keeps nDRI (-1 when it is -1).
int deriveDri(_JFIF* p) {
  if (p->nHeightStrip <= 0) return p->nDRI < 0 ? -1 : 1;
  int dri = 0;
  const int rc = KRJFIFGetDRI(p->nSampling, p->nBitPerPixel, p->nWidth, p->nHeightStrip, &dri);
  if (rc == 1 && dri > 0) p->nDRI = dri;
  return rc == 1 ? 1 : rc;
}

struct Piece {
  const uint8_t* p;
  size_t n;
};

// Walks the header segments of a strip that starts behind its SOI, calling `seg` for each
// (marker, offset, total length) until SOS; returns the offset behind SOS, or -1 when the
// header is damaged or ends before SOS.
template <typename F>
int64_t walkHeader(const uint8_t* s, size_t n, F seg) {
  size_t pos = 0;
  for (;;) {
    if (pos + 4 > n || s[pos] != 0xFF) return -1;
    const uint8_t m = s[pos + 1];
    if (m == 0xFF) {
      ++pos;
      continue;
    }
    const size_t len = Get16(s + pos + 2);
    if (len < 2 || len > n - pos - 2) return -1;
    if (!seg(m, pos, len + 2)) return -1;
    pos += len + 2;
    if (m == 0xDA) return int64_t(pos);
  }
}

// Appends one strip's pieces: the previous EOI becomes a restart marker (or is dropped) and
// the stream ends with EOI again.
int appendStrip(_JFIF* p, const std::vector<Piece>& pieces) {
  size_t total = 0;
  for (const Piece& pc : pieces) total += pc.n;
  const int rc = ensureRoom(p, int64_t(total) + 2);
  if (rc < 0) return rc;
  uint8_t* s = p->pJFIF;
  if (p->nJFIFSize > 2 && s[p->nJFIFSize - 2] == 0xFF && s[p->nJFIFSize - 1] == 0xD9) {
    if (p->in.nRSTCount > 0 && p->nDRI != 0)
      s[p->nJFIFSize - 1] = uint8_t(0xD0 + (p->in.nRSTCount - 1) % 8);
    else
      p->nJFIFSize -= 2;
  }
  uint8_t last2[2] = {0, 0};
  size_t have = 0;
  for (const Piece& pc : pieces) {
    memcpy(s + p->nJFIFSize, pc.p, pc.n);
    p->nJFIFSize += int32_t(pc.n);
    for (size_t i = pc.n > 2 ? pc.n - 2 : 0; i < pc.n; ++i) {
      last2[0] = last2[1];
      last2[1] = pc.p[i];
      ++have;
    }
  }
  if (!(have >= 2 && last2[0] == 0xFF && last2[1] == 0xD9)) {
    s[p->nJFIFSize++] = 0xFF;
    s[p->nJFIFSize++] = 0xD9;
  }
  if (p->nDRI != 0) ++p->in.nRSTCount;
  return 1;
}

// Puts `head` in front of the data at the header area's end and moves the stream start to it.
void prepend(_JFIF* p, const Bytes& head) {
  const int32_t len = int32_t(head.v.size());
  memcpy(p->pJFIF + kHeaderArea - len, head.v.data(), size_t(len));
  const int32_t skip = kHeaderArea - len;
  if (p->in.pJFIFMem) {
    p->pJFIF += skip;
  } else {
    // The caller's own buffer: the stream moves to its start.
    memmove(p->pJFIF, p->pJFIF + skip, size_t(p->nJFIFSize - skip));
  }
  p->nJFIFSize -= skip;
}

bool finished(const _JFIF* p) { return p->in.pJFIFMem && p->pJFIF != p->in.pJFIFMem; }

int finishOwnHeader(_JFIF* p) {
  uint8_t* block = p->pJFIF;
  if (p->nHeight > 0 && p->in.nHeightPos > 0)
    PutWordBuffer(uint16_t(p->nHeight), block + p->in.nHeightPos);
  Bytes head;
  leadIn(head, p);
  int late = 1;
  if (p->nDRI != 0 && p->in.nRSTCount > 1) {
    const bool fromData = p->in.nDRINumPos > 0;
    if (!fromData || Get16(block + p->in.nDRINumPos) == 0 || p->nDRI < 0) {
      const int rc = deriveDri(p);
      if (rc < 0 && p->nDRI < 0) return rc;
      if (rc < 0) late = rc;
    }
    if (fromData) {
      PutWordBuffer(uint16_t(p->nDRI), block + p->in.nDRINumPos);
    } else {
      head.w(0xFFDD);
      head.w(4);
      head.w(uint32_t(p->nDRI));
    }
  }
  prepend(p, head);
  return late;
}

int finishBare(_JFIF* p) {
  if (p->nBitPerPixel == 1) {
    // JBIG bi-level image header in place of the JPEG segments; no EOI behind the data.
    if (p->nJFIFSize >= kHeaderArea + 2 && p->pJFIF[p->nJFIFSize - 2] == 0xFF &&
        p->pJFIF[p->nJFIFSize - 1] == 0xD9)
      p->nJFIFSize -= 2;
    Bytes h;
    h.b(0);
    h.b(0);
    h.b(1);
    h.b(0);
    h.d(uint32_t(p->nWidth));
    h.d(uint32_t(p->nHeight));
    h.d(128);
    h.b(16);
    h.b(0);
    h.b(0);
    h.b(0x40);
    prepend(p, h);
    return 1;
  }
  if (!p->pLumaTable) return -1;
  const bool colour = p->nBitPerPixel == 24;
  if (colour && (p->nSampling < 0 || p->nSampling > 3)) return -1;
  Bytes head;
  leadIn(head, p);
  dqt(head, 0, p->pLumaTable);
  if (colour && p->pChromaTable) dqt(head, 1, p->pChromaTable);
  static const uint8_t kLumaFactors[4] = {0x11, 0x21, 0x12, 0x22};
  head.w(0xFFC0);
  head.w(colour ? 0x11 : 0x0B);
  head.b(8);
  head.w(uint32_t(p->nHeight));
  head.w(uint32_t(p->nWidth));
  if (colour) {
    const uint8_t comps[10] = {3, 1, kLumaFactors[p->nSampling], 0, 2, 0x11, 1, 3, 0x11, 1};
    head.add(comps, sizeof comps);
  } else {
    static const uint8_t kGrey[4] = {1, 1, 0x11, 0};
    head.add(kGrey, sizeof kGrey);
  }
  dht(head, 0, 0, kStdDcLumaCounts, kStdDcLumaValues, 12);
  dht(head, 1, 0, kStdAcLumaCounts, kStdAcLumaValues, 162);
  if (colour) {
    dht(head, 0, 1, kStdDcChromaCounts, kStdDcChromaValues, 12);
    dht(head, 1, 1, kStdAcChromaCounts, kStdAcChromaValues, 162);
  }
  int late = 1;
  if (p->nDRI != 0) {
    const int rc = deriveDri(p);
    if (rc < 0 && p->nDRI < 0) return rc;
    if (rc < 0) late = rc;
    head.w(0xFFDD);
    head.w(4);
    head.w(uint32_t(p->nDRI));
  }
  static const uint8_t kSosColour[14] = {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00,
                                         0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00};
  static const uint8_t kSosGrey[10] = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  if (colour)
    head.add(kSosColour, sizeof kSosColour);
  else
    head.add(kSosGrey, sizeof kSosGrey);
  prepend(p, head);
  return late;
}

}  // namespace

void PutWordBuffer(uint16_t value, uint8_t* dst) {
  dst[0] = uint8_t(value >> 8);
  dst[1] = uint8_t(value);
}

int KRJFIFWrite(_JFIF* p, uint8_t* data, int size, int doHeader) {
  if (p)
    WLOG("In: pECSData=%p, nECSDataSize=%d, nDoWriteHeader=%d, nWidth=%d, nHeight=%d, nDRI=%d\n",
         static_cast<void*>(data), size, doHeader, p->nWidth, p->nHeight, p->nDRI);
  if (!p || doHeader < 0) return DONE(-1);
  if (p->nWidth < 0 || p->nWidth > 65535 || p->nHeight < 0 || p->nHeight > 65535) return DONE(-1);
  if (p->nDRI < -1 || p->nDRI > 65535) return DONE(-8);
  const bool hasData = data && size >= 1;

  if (!p->in.pJFIFMem && !p->pJFIF) {
    int64_t memSize;
    if (size < 1) {
      memSize = 6 * kMiB;
    } else {
      const int64_t h = (p->nHeight >= 32 && p->nHeight <= 65535) ? p->nHeight : 2048;
      const int64_t n = p->nWidth > 0 ? ((p->nWidth + 7) / 8 * ((h + 7) / 8)) / 135000 + 1 : 8;
      memSize = n * size + 2 * kMiB;
      if (memSize < 4 * kMiB) memSize = 4 * kMiB;
      if (memSize > 0x7FFFFFFF) memSize = 0x7FFFFFFF;
    }
    p->in.pJFIFMem = allocBlock(size_t(memSize));
    if (!p->in.pJFIFMem) {
      WLOG("Error!! Low memory!\n");
      return DONE(-5);
    }
    p->pJFIF = p->in.pJFIFMem;
    p->nJFIFSize = 0;
    p->nJFIFMemSize = int32_t(memSize);
  }
  if (finished(p)) return DONE(-4);  // a finished stream takes no more strips or headers

  if (hasData) {
    const uint8_t* s = data;
    size_t n = size_t(size);
    std::vector<Piece> pieces;
    int64_t body = -2;  // offset behind the strip's own SOS; -2 when it brings no header
    const bool ownHeader = n >= 3 && s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF;
    if (p->nJFIFSize == 0) {
      const int rc = ensureRoom(p, kHeaderArea);
      if (rc < 0) return DONE(rc);
      memset(p->pJFIF, 0, kHeaderArea);
      p->nJFIFSize = kHeaderArea;
      if (ownHeader) {
        s += 2;
        n -= 2;
        p->in.nHasHeader = 1;
        for (size_t i = n > 256 ? n - 256 : 0; i + 1 < n; ++i)
          if (s[i] == 0xFF && s[i + 1] == 0xD9) {
            n = i + 2;
            break;
          }
        // Segments are kept in order except APP0, APP1 and COM; the recorded positions
        // count only what is kept.
        size_t kept = 0;
        body = walkHeader(s, n, [&](uint8_t m, size_t at, size_t len) {
          const int32_t where = kHeaderArea + int32_t(kept);
          if (m == 0xE0 || m == 0xE1 || m == 0xFE) return true;
          if (m == 0xDD) {
            if (len < 6) return false;
            p->in.nDRINumPos = where + 4;
          } else if (m == 0xC0) {
            if (len < 13) return false;
            const uint8_t* f = s + at;
            const int comps = f[9];
            p->nBitPerPixel = f[4] * comps;
            if (comps < 1 || len < size_t(10 + 3 * comps)) return false;
            if (p->nBitPerPixel == 24) {
              switch (f[11]) {
                case 0x11:
                  p->nSampling = 0;
                  break;
                case 0x21:
                  p->nSampling = 1;
                  break;
                case 0x12:
                  p->nSampling = 2;
                  break;
                case 0x22:
                  p->nSampling = 3;
                  break;
                default:
                  p->nSampling = -1;
                  break;
              }
            } else if (p->nBitPerPixel == 8) {
              p->nSampling = 0;
            }
            p->nWidth = int32_t(Get16(f + 7));
            p->nHeightStrip = int32_t(Get16(f + 5));
            if (p->nDRI == 0) p->nHeight = p->nHeightStrip;
            p->in.nHeightPos = where + 5;
          }
          pieces.push_back({s + at, len});
          kept += len;
          return true;
        });
      }
    } else if (ownHeader) {
      s += 2;
      n -= 2;
      for (size_t i = n, stop = n > 256 ? n - 256 : 0; i >= stop + 2; --i)
        if (s[i - 2] == 0xFF && s[i - 1] == 0xD9) {
          n = i - 2;
          break;
        }
      body = walkHeader(s, n, [&](uint8_t m, size_t at, size_t len) {
        if (m == 0xC0) {
          if (len < 9) return false;
          const int32_t h = int32_t(Get16(s + at + 5));
          const int64_t total = int64_t(p->nHeightStrip) * p->in.nRSTCount + h;
          if (total > p->nHeight && total <= 65535) p->nHeight = int32_t(total);
        }
        return true;
      });
    }
    if (body == -1) {
      WLOG("Error!! Damaged strip header.\n");
      return DONE(-1);
    }
    pieces.push_back(body >= 0 ? Piece{s + body, n - size_t(body)} : Piece{s, n});
    const int rc = appendStrip(p, pieces);
    if (rc < 0) return DONE(rc);
  }

  if (doHeader) {
    if (p->nJFIFSize < kHeaderArea) {
      WLOG("Error!! Wrong calling sequence.\n");
      return DONE(-4);
    }
    if (p->nBitPerPixel != 1 && p->nBitPerPixel != 8 && p->nBitPerPixel != 24) return DONE(-1);
    const int rc = p->in.nHasHeader ? finishOwnHeader(p) : finishBare(p);
    return DONE(rc);
  }
  return DONE(1);
}

int KRJFIFGetDRI(int nSampling, int nBitPerPixel, int nWidth, int nHeightStrip, int* pnDRI) {
  JpegDrvLog(1, "[%s:%d] %s In: nSampling=%d, nBitPerPixel=%d, nWidth=%d, nHeightStrip=%d\n",
             "KRJFIFWriter.cpp", __LINE__, __func__, nSampling, nBitPerPixel, nWidth, nHeightStrip);
  // Every failure leaves 0 behind, so no caller can take a stale value for an interval.
  if (pnDRI) *pnDRI = 0;
  if (nBitPerPixel == 1) {
    WLOG("Error!! Function not support!\n");
    return DONE(-3);
  }
  if ((nBitPerPixel != 8 && nBitPerPixel != 24) || nWidth < 1 || nHeightStrip < 1 || !pnDRI)
    return DONE(-1);
  const int s = nBitPerPixel == 8 ? 0 : nSampling;
  int mw, mh;
  switch (s) {
    case 0:
      mw = 8;
      mh = 8;
      break;
    case 1:
      mw = 16;
      mh = 8;
      break;
    case 2:
      mw = 8;
      mh = 16;
      break;
    case 3:
      mw = 16;
      mh = 16;
      break;
    default:
      return DONE(-1);
  }
  if (nHeightStrip % mh != 0) return DONE(-1);
  const int64_t count = int64_t((nWidth + mw - 1) / mw) * ((nHeightStrip + mh - 1) / mh);
  if (count >= 65536) {
    WLOG("Error!! Invalid MCU count number.\n");
    return DONE(-8);
  }
  *pnDRI = int(count);
  return DONE(1);
}

void KRJFIFFree(_JFIF* p) {
  if (!p) return;
  free(p->in.pJFIFMem);
  memset(p, 0, sizeof *p);
}

int KRJFIFGetQuantTb(int nSize, int nChannels, int nSampling, int nDocWidth, int nDocHeight,
                     uint8_t* pLumaTable, uint8_t* pChromaTable) {
  JpegDrvLog(
      1, "[%s:%d] %s In: nSize=%d, nChannels=%d, nSampling=%d, nDocWidth=%d, nDocHeight=%d\n",
      "KRJFIFWriter.cpp", __LINE__, __func__, nSize, nChannels, nSampling, nDocWidth, nDocHeight);
  if (!pLumaTable || !pChromaTable || (nChannels != 1 && nChannels != 3)) {
    WLOG("Error!! Wrong parameters.\n");
    return DONE(-1);
  }
  float f = 1.0f;
  if (nChannels == 3) {
    switch (nSampling) {
      case 0:
        f = 1.0f;
        break;
      case 1:
      case 2:
        f = 1.6f;
        break;
      case 3:
        f = 3.0f;
        break;
      default:
        WLOG("Error!! Wrong parameters.\n");
        return DONE(-1);
    }
  }
  int64_t blocks = int64_t((nDocHeight + 7) / 8) * ((nDocWidth + 7) / 8);
  if (blocks < 40000) blocks = 40000;
  float s = f * 9.0f * 135000.0f / float(blocks) * float(nSize > 1 ? nSize : 1) / 6.0f;
  if (s < 1.0f) s = 1.0f;
  if (s > 255.0f) s = 255.0f;
  static const uint8_t kCap[64] = {48,  50,  54,  60,  68,  76,  84,  96,  50,  54,  60,  68,  76,
                                   84,  96,  104, 54,  60,  68,  76,  84,  104, 104, 104, 60,  68,
                                   76,  84,  104, 112, 112, 112, 68,  76,  84,  104, 120, 120, 120,
                                   120, 76,  84,  104, 120, 120, 120, 128, 128, 84,  104, 104, 112,
                                   120, 128, 128, 128, 96,  104, 104, 112, 120, 128, 128, 128};
  const int bias = s > 1.0f ? int(s) - 1 : 0;
  auto scale = [&](uint8_t q) {
    int v = int(float(q + bias) / s);
    return v < 4 ? 4 : (v > 255 ? 255 : v);
  };
  for (int n = 0; n < 64; ++n) {
    const int l = scale(kStdLumaQ[n]);
    pLumaTable[n] = uint8_t(l < kCap[n] ? l : kCap[n]);
    pChromaTable[n] = uint8_t(scale(kStdChromaQ[n]));
  }
  return DONE(1);
}
