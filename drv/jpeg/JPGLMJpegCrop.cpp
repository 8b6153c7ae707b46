// Crop contexts: a page that arrives in strips, kept as raw chunks or as JFIF chunks joined with
// restart markers, handed on whole or strip by strip. Also the outside decoder library.
#include <dlfcn.h>
#include <vantrel/wire_bytes.h>

#include <cstring>
#include <mutex>

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGLMJpegCrop.c"

namespace {

// The id table is shared by the decode and encode threads of a job (and by the data source's
// pages); a context itself is used by one thread at a time.
std::mutex gIdMutex;
LMJpegCropContext gContexts[kLMCropIds];
int32_t pnLMJpegId[kLMCropIds];

constexpr int32_t kMaxChunkLines = 65520;
constexpr int32_t kChunkSlack = 1024;

int64_t result(int64_t msg, int64_t status, int64_t* pStatus) {
  if (pStatus) *pStatus = status;
  return msg;
}

void freeChunks(LMImageChunk* k) {
  while (k) {
    LMImageChunk* next = k->next;
    FreeMemory(k->pMemory);
    FreeMemory(k);
    k = next;
  }
}

void clearContext(int i) {
  LMJpegCropContext& c = gContexts[i];
  freeChunks(c.pImage);
  FreeMemory(c.pStripBuf);
  memset(&c, 0, sizeof c);
}

LMImageChunk* lastChunk(LMJpegCropContext* c) {
  LMImageChunk* k = c->pImage;
  while (k && k->next) k = k->next;
  return k;
}

// The positions a JFIF header carries within its first 2,048 bytes.
struct JfifMarks {
  int32_t heightPos = -1;  // SOF0 height field
  int32_t driPos = -1;     // DRI segment start (FF DD)
  int32_t driValue = 0;
  int32_t sosPos = -1;     // SOS segment start
  int32_t dataStart = -1;  // behind the SOS segment
  int32_t dataEnd = 0;     // the closing marker, or the end
};

bool findMarks(const uint8_t* p, uint32_t size, JfifMarks* m) {
  const uint32_t limit = size < 2048 ? size : 2048;
  if (limit < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  uint32_t pos = 2;
  while (pos + 4 <= limit) {
    if (p[pos] != 0xFF) return false;
    const uint8_t marker = p[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    const uint32_t len = uint32_t(p[pos + 2]) << 8 | p[pos + 3];
    if (len < 2) return false;
    if (marker == 0xC0 && pos + 7 <= limit) m->heightPos = int32_t(pos + 5);
    if (marker == 0xDD && pos + 6 <= limit) {
      m->driPos = int32_t(pos);
      m->driValue = int32_t(p[pos + 4]) << 8 | p[pos + 5];
    }
    if (marker == 0xDA) {
      m->sosPos = int32_t(pos);
      m->dataStart = int32_t(pos + 2 + len);
      break;
    }
    pos += 2 + len;
  }
  if (m->dataStart < 0 || uint32_t(m->dataStart) > size) return false;
  // The entropy-coded data ends at the stream's EOI; without one, at a closing restart marker,
  // or at the end of the input.
  m->dataEnd = int32_t(size);
  const uint32_t from =
      size > 64 && size - 64 > uint32_t(m->dataStart) ? size - 64 : uint32_t(m->dataStart);
  for (uint32_t i = size - 1; i > from; --i) {
    if (p[i - 1] == 0xFF && p[i] == 0xD9) {
      m->dataEnd = int32_t(i - 1);
      return true;
    }
  }
  if (size >= 2 && p[size - 2] == 0xFF && p[size - 1] >= 0xD0 && p[size - 1] <= 0xD7 &&
      size - 2 >= uint32_t(m->dataStart))
    m->dataEnd = int32_t(size - 2);
  return true;
}

// A new chunk at the end of the list.
LMImageChunk* newChunk(uint8_t id, LMJpegCropContext* c, int32_t capacity) {
  if (LMImageChunk* last = lastChunk(c)) last->nClosed = 1;
  LMImageChunk* k = jpgLMCreateImage(id, capacity, nullptr);
  if (k) ++c->nChunkCount;
  return k;
}

// Appends lines of raw pixels (stride given) to the context's raw chunks.
int64_t addRawLines(uint8_t id, LMJpegCropContext* c, const uint8_t* src, int32_t lines,
                    int32_t stride, const JpgPixelLayout& inLay, int64_t* pStatus) {
  LMImageChunk* k = lastChunk(c);
  const int32_t bytes = lines * c->nBytesPerLine;
  if (!k || k->nClosed || k->nLines + lines > kMaxChunkLines) {
    k = newChunk(id, c, bytes);
    if (!k) return result(kMsgNoMemory, -1012, pStatus);
    k->nStripHeight = lines;
  } else if (!jpgLMDoJpegResize(k, bytes)) {
    return result(kMsgNoMemory, -1012, pStatus);
  }
  uint8_t* dst = k->pMemory + k->nImageSize;
  for (int32_t y = 0; y < lines; ++y)
    jpgConvertPixels(src + size_t(y) * size_t(stride), inLay,
                     dst + size_t(y) * size_t(c->nBytesPerLine), inLay, c->nWidth);
  k->nImageSize += bytes;
  k->nLines += lines;
  c->nLines += lines;
  return result(kMsgOk, 0, pStatus);
}

// Adds one JPEG strip (a complete JFIF stream) to the context's JFIF chunks.
int64_t addJpegStrip(uint8_t id, LMJpegCropContext* c, const uint8_t* src, uint32_t size,
                     int64_t* pStatus) {
  int32_t bits = 0, width = 0, lines = 0, xr = 0, yr = 0, mcus = 0, segs = 0, segMcus = 0, mcuW = 0,
          mcuH = 0;
  int64_t st = 0;
  const int64_t msg = jpgGetJFIFImageInfo(src, size, &bits, &width, &lines, &xr, &yr, &mcus, &segs,
                                          &segMcus, &mcuW, &mcuH, &st);
  if (msg != 0) {
    LMLOG(kLvEntry, "Error!! Out=%d, Status=%d\n", int(msg), int(st));
    return result(msg, st, pStatus);
  }
  if (bits != 8 && bits != 24 && bits != 32) {
    LMLOG(kLvEntry, "Error!!Bad value: BitsPerPixel=%d\n", int(bits));
    return result(kMsgNotSupported, -1014, pStatus);
  }
  JfifMarks m;
  if (!findMarks(src, size, &m) || m.heightPos < 0) {
    LMLOG(kLvEntry, "Error!!Unsupport Jpeg image format.\n");
    return result(kMsgNotSupported, -1007, pStatus);
  }
  if (c->pImage && (width != c->nWidth || (bits == 8) != (c->nBytesPerPixel == 1)))
    return result(kMsgBadValue, -1007, pStatus);
  const bool mcuOk = mcus >= 1 && mcus <= 65535;
  const bool ownSegments = segs > 1 || (m.driPos >= 0 && m.driValue != 0 && m.driValue != mcus);
  const int32_t dataBytes = m.dataEnd - m.dataStart;

  // A strip joins the open chunk when it continues its restart intervals exactly: no taller
  // than the chunk's strips, of the same MCU size, with one segment of its own.
  LMImageChunk* k = lastChunk(c);
  const bool join = k && !k->nClosed && mcuOk && !ownSegments && lines <= k->nStripHeight &&
                    mcuW == k->nMCUWidth && mcuH == k->nMCUHeight &&
                    k->nLines + lines <= kMaxChunkLines;
  if (join) {
    if (!jpgLMDoJpegResize(k, dataBytes + 2)) return result(kMsgNoMemory, -1012, pStatus);
    // The chunk's EOI becomes the next restart marker.
    k->pMemory[k->nImageSize - 1] = uint8_t(0xD0 + (k->nStrips - 1) % 8);
  } else {
    k = newChunk(id, c, int32_t(size) + 64);
    if (!k) return result(kMsgNoMemory, -1012, pStatus);
    k->nStripHeight = lines;
    k->nMCUWidth = mcuW;
    k->nMCUHeight = mcuH;
    // The header, with a restart interval of one strip.
    uint8_t* d = k->pMemory;
    int32_t n = 0;
    const bool addDri = m.driPos < 0 && mcuOk;
    const int32_t headerEnd = m.dataStart;
    const int32_t sos = m.sosPos;
    memcpy(d, src, size_t(sos));
    n = sos;
    if (addDri) {
      const uint8_t dri[6] = {0xFF, 0xDD, 0x00, 0x04, uint8_t(mcus >> 8), uint8_t(mcus)};
      memcpy(d + n, dri, 6);
      n += 6;
    }
    memcpy(d + n, src + sos, size_t(headerEnd - sos));
    n += headerEnd - sos;
    if (m.driPos >= 0 && m.driValue == 0 && mcuOk) wire::Put16(d + m.driPos + 4, uint16_t(mcus));
    k->nHeightPos = m.heightPos < sos ? m.heightPos : m.heightPos + (addDri ? 6 : 0);
    k->nImageSize = n;
  }
  memcpy(k->pMemory + k->nImageSize, src + m.dataStart, size_t(dataBytes));
  k->nImageSize += dataBytes;
  k->pMemory[k->nImageSize++] = 0xFF;
  k->pMemory[k->nImageSize++] = 0xD9;
  ++k->nStrips;
  k->nLines += lines;
  wire::Put16(k->pMemory + k->nHeightPos, uint16_t(k->nLines));
  c->nLines += lines;
  // What cannot be continued closes the chunk behind it.
  if (lines != k->nStripHeight || !mcuOk || ownSegments || (mcuH > 0 && lines % mcuH != 0))
    k->nClosed = 1;
  return result(kMsgOk, 0, pStatus);
}

// Lines per encoded strip of raw input: at most 65,535 MCUs of 8 x 8, whole MCU rows of the
// sampling in use (so that joined strips carry no padding lines), at most a chunk.
int32_t rawStripHeight(int32_t width, int32_t bits, uint8_t quality) {
  int32_t h = 8 * (65535 / ((width + 7) / 8));
  if (h > kMaxChunkLines) h = kMaxChunkLines;
  int32_t q = 0, sampling = 0;
  jpgUnpackQuality(quality, &q, &sampling);
  const int32_t mcuH = (bits != 8 && (sampling & 16)) ? 16 : 8;
  h -= h % mcuH;
  return h < mcuH ? mcuH : h;
}

uint8_t conversionQuality(int32_t lIsJpegOut, uint8_t byJpegQuality) {
  return lIsJpegOut ? byJpegQuality : 30;
}

// Encodes lines of the strip buffer into one JPEG strip and adds it.
int64_t encodeStrip(uint8_t id, LMJpegCropContext* c, const uint8_t* lines, int32_t count,
                    uint8_t quality, int64_t* pStatus) {
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  const int32_t bits = c->nBytesPerPixel * 8;
  ni.InImage.BitsPerPixel = uint8_t(bits);
  ni.InImage.ScanMode =
      uint8_t(bits == 8 ? 2 : (c->nChannelSeq == 2 ? 8 : (c->nChannelSeq == 5 ? 16 : 4)));
  ni.InImage.SamplePerPixel =
      uint8_t(bits == 8 ? 1 : ((c->nChannelSeq == 2 || c->nChannelSeq == 5) ? 4 : 3));
  ni.InImage.Pixel = uint32_t(c->nWidth);
  ni.InImage.Line = uint32_t(count);
  ni.InImage.XRes = uint16_t(c->nXRes);
  ni.InImage.YRes = uint16_t(c->nYRes);
  ni.InImage.BytesPerLine = uint32_t(c->nBytesPerLine);
  ni.OutImage.Gray.Compression = ni.OutImage.Color.Compression = 2;
  ni.OutImage.Gray.JPEGQuality = ni.OutImage.Color.JPEGQuality = quality;
  void* jpeg = nullptr;
  uint64_t size = 0;
  int64_t st = 0;
  int64_t msg = JpegEncoder(const_cast<uint8_t*>(lines), &jpeg, &ni, &size, &st);
  if (msg != 0) {
    LMLOG(kLvEntry, "Error!!Jpeg encoder failed: Out=%d, Status=%d\n", int(msg), int(st));
    FreeMemory(jpeg);
    return result(msg, st, pStatus);
  }
  msg = addJpegStrip(id, c, static_cast<uint8_t*>(jpeg), uint32_t(size), pStatus);
  FreeMemory(jpeg);
  return msg;
}

// Raw lines through the strip buffer: every full strip is encoded and added as JPEG input.
int64_t bufferRawLines(uint8_t id, LMJpegCropContext* c, const uint8_t* src, int32_t lines,
                       int32_t stride, const JpgPixelLayout& lay, uint8_t quality,
                       int64_t* pStatus) {
  const int32_t bpl = c->nBytesPerLine;
  int32_t y = 0;
  while (y < lines) {
    const int32_t room = c->nStripHeight - c->nStripLines;
    const int32_t take = lines - y < room ? lines - y : room;
    // The buffer grows with the lines it holds, up to one strip.
    if (c->nStripLines + take > c->nStripCapLines) {
      int32_t cap = c->nStripCapLines ? c->nStripCapLines * 2 : 256;
      if (cap < c->nStripLines + take) cap = c->nStripLines + take;
      if (cap > c->nStripHeight + 16) cap = c->nStripHeight + 16;
      void* p = AllocateMemory(c->pStripBuf, uint32_t(cap) * uint32_t(bpl), 0);
      if (!p) return result(kMsgNoMemory, -1012, pStatus);
      c->pStripBuf = static_cast<uint8_t*>(p);
      c->nStripCapLines = cap;
    }
    for (int32_t k = 0; k < take; ++k)
      jpgConvertPixels(src + size_t(y + k) * size_t(stride), lay,
                       c->pStripBuf + size_t(c->nStripLines + k) * size_t(bpl), lay, c->nWidth);
    c->nStripLines += take;
    y += take;
    if (c->nStripLines == c->nStripHeight) {
      const int64_t msg = encodeStrip(id, c, c->pStripBuf, c->nStripLines, quality, pStatus);
      if (msg != 0) return msg;
      c->nStripLines = 0;
    }
  }
  return result(kMsgOk, 0, pStatus);
}

void fillContext(LMJpegCropContext* c, int32_t isJpeg, int32_t direct, int32_t bits, int32_t seq,
                 int32_t xr, int32_t yr, int32_t width) {
  c->nIsJpeg = isJpeg;
  c->nDirectJpegOut = direct;
  c->nBytesPerPixel = bits / 8;
  c->nPrecision = 8;
  c->nIsColour = bits != 8;
  c->nXRes = xr;
  c->nYRes = yr;
  c->nWidth = width;
  c->nBytesPerLine = width * (bits / 8);
  c->nChannelSeq = seq;
}

// What the record asks for: JPEG or raw output, its quality byte, bits and channel order.
struct OutputAsk {
  bool jpeg;
  uint8_t quality;
  int32_t bits, seq;
};

OutputAsk outputAsk(const NIDATA* ni, int32_t inBits, int32_t inSeq) {
  OutputAsk a;
  if (inBits == 8) {
    a.jpeg = ni->OutImage.Gray.Compression == 2;
    a.quality = ni->OutImage.Gray.JPEGQuality;
    a.bits = 8;
    a.seq = 0;
    return a;
  }
  a.jpeg = ni->OutImage.Color.Compression == 2;
  a.quality = ni->OutImage.Color.JPEGQuality;
  switch (ni->OutImage.OutMode & 0x7F) {
    case 8:
      a.bits = 32, a.seq = 2;
      break;
    case 16:
      a.bits = 32, a.seq = 5;
      break;
    case 4:
      a.bits = 24, a.seq = 1;
      break;
    default:
      a.bits = inBits, a.seq = inSeq;
      break;
  }
  return a;
}

int32_t kindOf(int32_t bits, int32_t seq) {
  return bits == 8 ? 2 : (seq == 2 ? 8 : (seq == 5 ? 16 : 4));
}

}  // namespace

LMJpegCropContext* jpgLMContext(uint8_t id) { return id < kLMCropIds ? &gContexts[id] : nullptr; }

int jpgLMIdsInUse() {
  std::lock_guard<std::mutex> lock(gIdMutex);
  int n = 0;
  for (int i = 1; i < kLMCropIds; ++i) n += pnLMJpegId[i] != 0;
  return n;
}

void jpgLMReset(uint8_t* pbyJPGImageId, int32_t all) {
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s In: pbyJPGImageId, Address=%p, Value=%d\n", LM_UNIT,
         __LINE__, __func__, static_cast<void*>(pbyJPGImageId),
         pbyJPGImageId ? int(*pbyJPGImageId) : -1);
  if (all) {
    std::lock_guard<std::mutex> lock(gIdMutex);
    for (int i = 0; i < kLMCropIds; ++i) {
      clearContext(i);
      pnLMJpegId[i] = 0;
    }
  } else if (pbyJPGImageId && *pbyJPGImageId < kLMCropIds) {
    const int i = *pbyJPGImageId;
    clearContext(i);  // the owner's thread; only the flag is shared
    std::lock_guard<std::mutex> lock(gIdMutex);
    pnLMJpegId[i] = 0;
  }
  if (pbyJPGImageId && (all || *pbyJPGImageId < kLMCropIds)) *pbyJPGImageId = 0;
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Out: pbyJPGImageId, Address=%p, Value=%d\n", LM_UNIT,
         __LINE__, __func__, static_cast<void*>(pbyJPGImageId),
         pbyJPGImageId ? int(*pbyJPGImageId) : -1);
}

int64_t jpgLMAssignedImageId(uint8_t* pbyJPGImageId, int64_t* pStatus) {
  if (!pbyJPGImageId) {
    LMLOG(kLvEntry, "Error!!Illegal pointer=%p\n", static_cast<void*>(pbyJPGImageId));
    return result(kMsgBadBuffer, -1013, pStatus);
  }
  if (*pbyJPGImageId) jpgLMReset(pbyJPGImageId, 0);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::lock_guard<std::mutex> lock(gIdMutex);
    for (int i = 1; i < kLMCropIds; ++i) {
      if (pnLMJpegId[i]) continue;
      pnLMJpegId[i] = 1;
      clearContext(i);
      *pbyJPGImageId = uint8_t(i);
      return result(kMsgOk, 0, pStatus);
    }
  }
  LMLOG(kLvEntry, "Error!!Busy...\n");
  return result(kMsgFail, -1015, pStatus);
}

LMImageChunk* jpgLMCreateImage(uint8_t byJPGImageId, int32_t nImageSize, LMImageChunk* pImage) {
  if (byJPGImageId >= kLMCropIds || nImageSize < 1) return nullptr;
  LMJpegCropContext& c = gContexts[byJPGImageId];
  auto* k = static_cast<LMImageChunk*>(AllocateMemory(nullptr, sizeof(LMImageChunk), kLMZeroFill));
  if (!k) {
    LMLOG(kLvEntry, "Low memory. Size = %d.\n", int(sizeof(LMImageChunk)));
    return nullptr;
  }
  k->pMemory =
      static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(nImageSize) + kChunkSlack, 0));
  if (!k->pMemory) {
    LMLOG(kLvEntry, "Jpeg low memory. Size = %d.\n", int(nImageSize));
    FreeMemory(k);
    return nullptr;
  }
  k->nMemorySize = nImageSize;
  if (!pImage) {
    LMImageChunk** at = &c.pImage;
    while (*at) at = &(*at)->next;
    *at = k;
  } else {
    LMImageChunk** at = &c.pImage;
    while (*at && *at != pImage) at = &(*at)->next;
    k->next = *at;
    *at = k;
  }
  return k;
}

int jpgLMDoJpegResize(LMImageChunk* k, int32_t nAddSize) {
  if (!k) return 0;
  if (k->nImageSize > k->nMemorySize) {
    LMLOG(kLvEntry, "Wrong size. nImageSize=%d, nMemorySize=%d\n", int(k->nImageSize),
          int(k->nMemorySize));
    return 0;
  }
  int64_t cap;
  if (nAddSize == 0) {
    cap = k->nImageSize;
  } else {
    if (int64_t(k->nImageSize) + nAddSize <= k->nMemorySize) return 1;
    // Growing by half again keeps a page of many small strips from being copied for each.
    cap = int64_t(k->nImageSize) + nAddSize;
    if (cap < int64_t(k->nMemorySize) + k->nMemorySize / 2)
      cap = int64_t(k->nMemorySize) + k->nMemorySize / 2;
  }
  if (cap + kChunkSlack > 0x7FFFFFFF) return 0;
  auto* p = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(cap + kChunkSlack), 0));
  if (!p) {
    LMLOG(kLvEntry, "Memory allocated failed, use the original buffer.\n");
    return nAddSize == 0 ? 1 : 0;
  }
  memcpy(p, k->pMemory, size_t(k->nImageSize));
  FreeMemory(k->pMemory);
  k->pMemory = p;
  k->nMemorySize = int32_t(cap);
  return 1;
}

const uint8_t* jpgLMRawArea(const uint8_t* src, uint64_t srcSize, const NIDATA_InImage& in) {
  const uint64_t bits = in.BitsPerPixel;
  const uint64_t left = (uint64_t{in.x} * bits + 7) / 8;
  const uint64_t width = (uint64_t{in.Pixel} * bits + 7) / 8;
  if (left + width > in.BytesPerLine) {
    LMLOG(kLvEntry, "Error!!Bad value: x=%u, Pixel=%u, BytesPerLine=%u\n", unsigned(in.x),
          unsigned(in.Pixel), unsigned(in.BytesPerLine));
    return nullptr;
  }
  const uint64_t start = left + uint64_t{in.y} * in.BytesPerLine;
  const uint64_t end =
      in.Line == 0 ? start : start + uint64_t{in.Line - 1} * in.BytesPerLine + width;
  if (srcSize != 0 && end > srcSize) {
    LMLOG(kLvEntry, "Error!!Bad value: y=%u, Line=%u, ulSrcJFIFSize=%llu\n", unsigned(in.y),
          unsigned(in.Line), static_cast<unsigned long long>(srcSize));
    return nullptr;
  }
  return src + start;
}

int64_t jpgLMSetInput(uint8_t* pbyId, int32_t lIsRearSide, int32_t lIsJpeg,
                      int32_t lDoDirectJpegOut, int32_t lIsCompactMode, int32_t lIsJpegOut,
                      uint8_t byJpegQuality, const uint8_t* pSrc, uint64_t ulSrcJFIFSize,
                      int32_t lBitsPerPixel, int32_t lChannelSeq, int32_t lWidth, int32_t lHeight,
                      int32_t lWidthStep, int32_t lResolutionX, int32_t lResolutionY,
                      int64_t* pStatus) {
  if (!pbyId) {
    LMLOG(kLvEntry, "Error!!Illegal image Id address: pbyId=%p\n", static_cast<void*>(pbyId));
    return result(kMsgFail, -1015, pStatus);
  }
  const uint8_t id = *pbyId;
  if (id >= kLMCropIds) {
    LMLOG(kLvEntry, "Error!!Illegal image Id: byId=%d\n", int(id));
    return result(kMsgFail, -1015, pStatus);
  }
  if (!pSrc) {
    LMLOG(kLvEntry, "Error!!Illegal input buffer: pSrc=%p, ulSrcJFIFSize=%u\n",
          static_cast<const void*>(pSrc), unsigned(ulSrcJFIFSize));
    return result(kMsgBadBuffer, -1018, pStatus);
  }
  JpgPixelLayout lay;
  if (!lIsJpeg) {
    if (lBitsPerPixel != 8 && lBitsPerPixel != 24 && lBitsPerPixel != 32) {
      LMLOG(kLvEntry, "Error!!Bad value: BitsPerPixel=0x%d\n", int(lBitsPerPixel));
      return result(kMsgNotSupported, -1014, pStatus);
    }
    if (lWidth <= 0 || lWidth > 65535 || lHeight <= 0 || lResolutionX <= 0 || lResolutionY <= 0 ||
        int64_t(lWidthStep) < int64_t(lWidth) * lBitsPerPixel / 8 ||
        int64_t(lHeight) * lWidth * (lBitsPerPixel / 8) > 0x7FFF0000 ||
        !jpgPixelLayout(lBitsPerPixel, lChannelSeq, &lay))
      return result(kMsgBadValue, -1007, pStatus);
  } else if (ulSrcJFIFSize < 256 || ulSrcJFIFSize > 0x7FFFFC00ull) {
    return result(kMsgBadValue, -1007, pStatus);
  }
  (void)lIsRearSide;
  LMJpegCropContext* c = &gContexts[id];
  const bool fresh = c->pImage == nullptr && c->pStripBuf == nullptr;
  int64_t msg = kMsgOk;
  int64_t st = 0;
  const uint8_t quality = conversionQuality(lIsJpegOut, byJpegQuality);
  if (lIsJpeg) {
    if (fresh) {
      int32_t bits = 0, w = 0, h = 0, xr = 0, yr = 0;
      msg = jpgGetJFIFImageInfo(pSrc, uint32_t(ulSrcJFIFSize), &bits, &w, &h, &xr, &yr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, &st);
      if (msg == 0 && bits != 8 && bits != 24 && bits != 32) msg = kMsgNotSupported, st = -1014;
      if (msg == 0)
        fillContext(c, 1, lDoDirectJpegOut || lIsCompactMode, bits, 1,
                    lResolutionX > 0 ? lResolutionX : xr, lResolutionY > 0 ? lResolutionY : yr, w);
    } else if (!c->nIsJpeg) {
      msg = kMsgSequence, st = -1015;  // a raw page does not go on in JPEG
    }
    if (msg == 0) msg = addJpegStrip(id, c, pSrc, uint32_t(ulSrcJFIFSize), &st);
  } else {
    if (fresh) {
      fillContext(c, 0, lDoDirectJpegOut, lBitsPerPixel, lChannelSeq, lResolutionX, lResolutionY,
                  lWidth);
    } else if (c->nWidth != lWidth || c->nBytesPerPixel * 8 != lBitsPerPixel ||
               c->nChannelSeq != lChannelSeq) {
      msg = kMsgBadValue, st = -1007;
    }
    const bool stayRaw = !c->nIsJpeg && !c->pStripBuf && !lIsCompactMode &&
                         int64_t(c->nLines) + lHeight < 32 * int64_t(lResolutionY);
    if (msg == 0 && stayRaw) {
      msg = addRawLines(id, c, pSrc, lHeight, lWidthStep, lay, &st);
    } else if (msg == 0) {
      if (!c->nIsJpeg || !c->pStripBuf) {
        // The page goes over to JPEG strips: raw chunks collected so far are encoded first.
        LMImageChunk* raw = c->nIsJpeg ? nullptr : c->pImage;
        if (!c->nIsJpeg) {
          c->pImage = nullptr;
          c->nChunkCount = 0;
          c->nLines = 0;
          c->nIsJpeg = 1;
          // Compact mode: the page is held as JPEG and never encoded twice.
          c->nDirectJpegOut = lDoDirectJpegOut || lIsCompactMode;
        }
        if (!c->nStripHeight) c->nStripHeight = rawStripHeight(lWidth, lBitsPerPixel, quality);
        for (LMImageChunk* k = raw; k && msg == 0; k = k->next)
          msg = bufferRawLines(id, c, k->pMemory, k->nLines, c->nBytesPerLine, lay, quality, &st);
        freeChunks(raw);
      }
      if (msg == 0) msg = bufferRawLines(id, c, pSrc, lHeight, lWidthStep, lay, quality, &st);
    }
  }
  if (msg != 0) {
    LMLOG(kLvEntry, "Reset JpegCrop: IsRearSide=%d, msg=%d, lStatus=%d\n", int(lIsRearSide),
          int(msg), int(st));
    uint8_t tmp = id;
    jpgLMReset(&tmp, 0);
    *pbyId = 0;
    return result(msg, st, pStatus);
  }
  *pbyId = id;
  return result(kMsgOk, 0, pStatus);
}

int64_t jpgLMFinishInput(uint8_t* pbyId, int32_t lIsRearSide, int32_t lIsJpegOut,
                         uint8_t byJpegQuality, int64_t* pStatus) {
  if (!pbyId || *pbyId >= kLMCropIds) return result(kMsgFail, -1015, pStatus);
  LMJpegCropContext* c = &gContexts[*pbyId];
  int64_t msg = kMsgOk, st = 0;
  if (c->pStripBuf && c->nStripLines > 0) {
    msg = encodeStrip(*pbyId, c, c->pStripBuf, c->nStripLines,
                      conversionQuality(lIsJpegOut, byJpegQuality), &st);
    if (msg != 0) LMLOG(kLvEntry, "Error!!Input failed: Out=%d, Status=%d\n", int(msg), int(st));
  }
  FreeMemory(c->pStripBuf);
  c->pStripBuf = nullptr;
  c->nStripLines = 0;
  c->nStripCapLines = 0;
  if (msg != 0) {
    LMLOG(kLvEntry, "Reset JpegCrop: IsRearSide=%d, msg=%d, lStatus=%d\n", int(lIsRearSide),
          int(msg), int(st));
    jpgLMReset(pbyId, 0);
  }
  return result(msg, st, pStatus);
}

int64_t jpgLMJpegCrop(int32_t lIsContScan, int32_t lDoDirectJpegOutput, const uint8_t* pSrc,
                      uint64_t ulSrcJFIFSize, const uint8_t* pSrcRequest,
                      uint64_t ulSrcRequestJFIFSize, int32_t lSrcRequestLines, void** pDes,
                      uint64_t* pulDesJFIFSize, NIDATA* pNi, int64_t* pStatus) {
  (void)lIsContScan, (void)pSrcRequest, (void)ulSrcRequestJFIFSize, (void)lSrcRequestLines;
  if (!pNi) return result(kMsgBadValue, -1013, pStatus);
  if (pNi->OutImage.InternalUse >= kLMCropIds) return result(kMsgFail, -1015, pStatus);
  if (!pSrc || !pDes) return result(kMsgBadBuffer, -1018, pStatus);
  const bool inJpeg = (pNi->InImage.ScanMode & 0x80) != 0;
  int32_t bits = pNi->InImage.BitsPerPixel, width = int32_t(pNi->InImage.Pixel),
          height = int32_t(pNi->InImage.Line);
  int32_t xr = pNi->InImage.XRes, yr = pNi->InImage.YRes;
  int32_t inSeq = bits == 8 ? 0
                            : (inJpeg ? 1
                                      : ((pNi->InImage.ScanMode & 0x7F) == 8
                                             ? 2
                                             : ((pNi->InImage.ScanMode & 0x7F) == 16 ? 5 : 1)));
  int32_t stride = int32_t(pNi->InImage.BytesPerLine);
  int64_t st = 0;
  if (inJpeg) {
    if (ulSrcJFIFSize == 0 || ulSrcJFIFSize > 0xFFFFFFFFull) {
      LMLOG(kLvEntry, "Error!!Bad value: ulSrcJFIFSize=%u\n", unsigned(ulSrcJFIFSize));
      return result(kMsgBadValue, -1007, pStatus);
    }
    int32_t x2 = 0, y2 = 0;
    const int64_t msg =
        jpgGetJFIFImageInfo(pSrc, uint32_t(ulSrcJFIFSize), &bits, &width, &height, &x2, &y2,
                            nullptr, nullptr, nullptr, nullptr, nullptr, &st);
    if (msg != 0) return result(msg, st, pStatus);
    if (xr <= 0) xr = x2;
    if (yr <= 0) yr = y2;
    if (bits == 32) bits = 24;
  } else if (bits != 8 && bits != 24 && bits != 32) {
    return result(kMsgNotSupported, -1014, pStatus);
  }
  JpgPixelLayout inLay;
  if (!inJpeg && (!jpgPixelLayout(bits, inSeq, &inLay) || width <= 0 || height <= 0 ||
                  int64_t(stride) < int64_t(width) * (bits / 8)))
    return result(kMsgBadValue, -1007, pStatus);
  const OutputAsk ask = outputAsk(pNi, bits, inSeq);
  if (ask.jpeg && !pulDesJFIFSize) {
    LMLOG(kLvEntry, "Error!!Bad pointer: pulDesJFIFSize=%p\n", static_cast<void*>(pulDesJFIFSize));
    return result(kMsgBadBuffer, -1018, pStatus);
  }
  JpgPixelLayout outLay;
  jpgPixelLayout(ask.bits, ask.seq, &outLay);
  const int32_t outStride = width * outLay.bpp;
  const bool allocated = *pDes == nullptr;
  uint64_t outSize = 0;
  bool dataRanOut = false;  // the decoder met damaged or missing data; its output still stands

  if (inJpeg && ask.jpeg && lDoDirectJpegOutput) {
    if (allocated) *pDes = AllocateMemory(nullptr, uint32_t(ulSrcJFIFSize), 0);
    if (!*pDes) return result(kMsgNoMemory, -1012, pStatus);
    memcpy(*pDes, pSrc, ulSrcJFIFSize);
    outSize = ulSrcJFIFSize;
    pNi->OutImage.OutMode |= 0x80;
  } else if (!inJpeg && !ask.jpeg) {
    const uint64_t bytes = uint64_t(outStride) * uint64_t(height);
    if (allocated)
      *pDes = bytes < 0xFFFFFFF0ull ? AllocateMemory(nullptr, uint32_t(bytes), 0) : nullptr;
    if (!*pDes) return result(kMsgNoMemory, -1012, pStatus);
    for (int32_t y = 0; y < height; ++y)
      jpgConvertPixels(pSrc + size_t(y) * size_t(stride), inLay,
                       static_cast<uint8_t*>(*pDes) + size_t(y) * size_t(outStride), outLay, width);
    outSize = bytes;
  } else {
    // Through the codec. A short page is decoded and encoded whole; a page of 42 inches or
    // more, or one whose whole raster does not fit, goes strip by strip.
    bool stripWise = yr > 0 && int64_t(height) >= 42 * int64_t(yr);
    bool lowMemory = false;
    if (!stripWise) {
      uint8_t* rasterBlock = nullptr;
      const uint8_t* raster = pSrc;
      int32_t rasterStride = stride;
      JpgPixelLayout rasterLay = inLay;
      if (inJpeg) {
        uint8_t decId = 0;
        int32_t b = 0, w = 0, h = 0, bpl = 0;
        const int32_t seq = ask.bits == 8 ? 0 : ask.seq;
        const int64_t msg = jpgDecoder(&decId, pSrc, &rasterBlock, uint32_t(ulSrcJFIFSize), 0, 0,
                                       seq, &b, &w, &h, &bpl, nullptr, nullptr, &st);
        if (msg == kMsgNoMemory) {
          lowMemory = true;
        } else if (msg != 0) {
          return result(msg, st, pStatus);
        } else {
          dataRanOut = st == -1007;
          raster = rasterBlock;
          rasterStride = bpl;
          jpgPixelLayout(b, b == 8 ? 0 : (seq == 0 ? 1 : seq), &rasterLay);
        }
      }
      if (!lowMemory) {
        // The raster in the output layout (the decoder wrote it so already).
        uint8_t* conv = nullptr;
        const bool sameLayout = rasterLay.bpp == outLay.bpp &&
                                memcmp(rasterLay.off, outLay.off, sizeof outLay.off) == 0;
        if (!sameLayout) {
          const uint64_t bytes = uint64_t(outStride) * uint64_t(height);
          conv = bytes < 0xFFFFFFF0ull
                     ? static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(bytes), 0))
                     : nullptr;
          if (!conv) {
            lowMemory = true;
          } else {
            for (int32_t y = 0; y < height; ++y)
              jpgConvertPixels(raster + size_t(y) * size_t(rasterStride), rasterLay,
                               conv + size_t(y) * size_t(outStride), outLay, width);
            raster = conv;
            rasterStride = outStride;
          }
        }
        if (!lowMemory && ask.jpeg) {
          NIDATA enc = *pNi;
          enc.InImage.ScanMode = uint8_t(kindOf(ask.bits, ask.seq));
          enc.InImage.BitsPerPixel = uint8_t(ask.bits);
          enc.InImage.SamplePerPixel = uint8_t(outLay.bpp);
          enc.InImage.x = enc.InImage.y = 0;
          enc.InImage.Pixel = uint32_t(width);
          enc.InImage.Line = uint32_t(height);
          enc.InImage.BytesPerLine = uint32_t(rasterStride);
          enc.InImage.XRes = uint16_t(xr);
          enc.InImage.YRes = uint16_t(yr);
          enc.OutImage.OutMode &= 0x2000;
          const int64_t msg = JpegEncoder(const_cast<uint8_t*>(raster), pDes, &enc, &outSize, &st);
          if (msg == kMsgNoMemory) {
            lowMemory = true;
          } else if (msg != 0) {
            FreeMemory(conv);
            FreeMemory(rasterBlock);
            return result(msg, st, pStatus);
          } else {
            pNi->OutImage.OutMode |= 0x80;
          }
        } else if (!lowMemory) {
          // JPEG to raw: the raster is the output.
          const uint64_t bytes = uint64_t(outStride) * uint64_t(height);
          if (allocated && raster == rasterBlock) {
            *pDes = rasterBlock;
            rasterBlock = nullptr;
          } else if (allocated && raster == conv) {
            *pDes = conv;
            conv = nullptr;
          } else {
            if (allocated) *pDes = AllocateMemory(nullptr, uint32_t(bytes), 0);
            if (!*pDes)
              lowMemory = true;
            else
              memcpy(*pDes, raster, bytes);
          }
          outSize = bytes;
        }
        FreeMemory(conv);
      }
      FreeMemory(rasterBlock);
      if (lowMemory) LMLOG(kLvEntry, "Low memory.\n");
      stripWise = lowMemory;
    }
    if (stripWise) {
      if (inJpeg) jpgDecoderRun();
      if (ask.jpeg) jpgEncoderRun();
      int32_t w = 0, h = 0, bpl = 0;
      uint8_t* des = static_cast<uint8_t*>(*pDes);
      const int64_t msg =
          JPGKRJpegCrop(1, 0, inJpeg, pSrc, ulSrcJFIFSize, bits, inSeq, width, height, stride, xr,
                        yr, ask.jpeg, ask.quality, &des, &outSize, ask.seq, &w, &h, &bpl, &st);
      if (ask.jpeg) jpgEncoderStop();
      if (inJpeg) jpgDecoderStop();
      if (msg != 0) return result(msg, st, pStatus);
      dataRanOut = dataRanOut || st == -1007;
      *pDes = des;
      width = w;
      height = h;
      if (!ask.jpeg)
        outSize = uint64_t(bpl) * uint64_t(h);
      else
        pNi->OutImage.OutMode |= 0x80;
      if (lowMemory) st = -1035;
    }
  }
  if (pulDesJFIFSize) *pulDesJFIFSize = outSize;
  pNi->OutImage.ImageWidth = uint32_t(width);
  pNi->OutImage.ImageHeight = uint32_t(height);
  // A damaged page outranks the note that memory ran short: the caller must learn of the data.
  if (dataRanOut) return result(kMsgOk, -1007, pStatus);
  return result(kMsgOk, st == -1035 ? -1035 : 0, pStatus);
}

int64_t jpgLMJpegCropStrip(int32_t lIsContScan, const uint8_t* pSrcRequest,
                           uint64_t ulSrcRequestJFIFSize, int32_t lSrcRequestLines, void** pDes,
                           uint64_t* pulDesJFIFSize, int64_t* plDesStripHeight, NIDATA* pNi,
                           int64_t* pStatus) {
  (void)lIsContScan, (void)pSrcRequest, (void)ulSrcRequestJFIFSize, (void)lSrcRequestLines;
  if (!pNi) return result(kMsgBadValue, -1013, pStatus);
  const uint8_t id = pNi->OutImage.InternalUse;
  if (id >= kLMCropIds) return result(kMsgFail, -1015, pStatus);
  if (!pDes || !plDesStripHeight) return result(kMsgBadBuffer, -1018, pStatus);
  LMJpegCropContext* c = &gContexts[id];
  if (!c->pImage) {
    LMLOG(kLvEntry, "Error!!Illegal input buffer: nImageStripNum=%d, pDes=%p\n",
          int(c->nChunkCount), static_cast<void*>(pDes));
    return result(kMsgBadBuffer, -1018, pStatus);
  }
  const int32_t bits = c->nBytesPerPixel * 8;
  const int32_t inSeq = c->nIsJpeg ? (bits == 8 ? 0 : 1) : c->nChannelSeq;
  const OutputAsk ask = outputAsk(pNi, c->nIsJpeg && bits == 32 ? 24 : bits, inSeq);
  int64_t st = 0;
  *plDesStripHeight = 0;
  if (pulDesJFIFSize) *pulDesJFIFSize = 0;

  // Handed out whole already (a conversion that needed the strip-wise way keeps the context).
  if (!c->nCropStarted && c->nLinesOut >= c->nLines) return result(kMsgOk, 0, pStatus);
  // A page in one chunk and shorter than 42 inches is converted whole.
  if (c->nChunkCount == 1 && c->nLinesOut == 0 && !c->nCropStarted &&
      int64_t(c->nLines) < 42 * int64_t(c->nYRes)) {
    NIDATA ni = *pNi;
    ni.InImage.ScanMode = uint8_t((c->nIsJpeg ? 0x80 : 0) | kindOf(bits, inSeq));
    ni.InImage.BitsPerPixel = uint8_t(bits);
    ni.InImage.SamplePerPixel = uint8_t(c->nBytesPerPixel);
    ni.InImage.x = ni.InImage.y = 0;
    ni.InImage.Pixel = uint32_t(c->nWidth);
    ni.InImage.Line = uint32_t(c->nLines);
    ni.InImage.BytesPerLine = uint32_t(c->nBytesPerLine);
    ni.InImage.XRes = uint16_t(c->nXRes);
    ni.InImage.YRes = uint16_t(c->nYRes);
    uint64_t size = 0;
    const int64_t msg =
        jpgLMJpegCrop(0, c->nDirectJpegOut, c->pImage->pMemory, uint64_t(c->pImage->nImageSize),
                      nullptr, 0, 0, pDes, &size, &ni, &st);
    if (msg != 0) return result(msg, st, pStatus);
    if (pulDesJFIFSize) *pulDesJFIFSize = size;
    pNi->OutImage.OutMode =
        uint16_t((pNi->OutImage.OutMode & ~0x80) | (ni.OutImage.OutMode & 0x80));
    pNi->OutImage.ImageWidth = ni.OutImage.ImageWidth;
    pNi->OutImage.ImageHeight = ni.OutImage.ImageHeight;
    *plDesStripHeight = int64_t(ni.OutImage.ImageHeight);
    c->nLinesOut = c->nLines;
    return result(kMsgOk, st, pStatus);  // the page in one strip: -1007 for damaged data
  }

  const bool sameKind = (!c->nIsJpeg && !ask.jpeg) || (c->nIsJpeg && ask.jpeg && c->nDirectJpegOut);
  if (sameKind) {
    if (c->nLinesOut >= c->nLines) return result(kMsgOk, 0, pStatus);
    int32_t y = 0;
    LMImageChunk* k = c->pImage;
    while (k && y + k->nLines <= c->nLinesOut) y += k->nLines, k = k->next;
    if (!k) return result(kMsgBadValue, -1007, pStatus);
    const bool allocated = *pDes == nullptr;
    uint64_t size = 0;
    if (c->nIsJpeg) {
      if (allocated) *pDes = AllocateMemory(nullptr, uint32_t(k->nImageSize) + kChunkSlack, 0);
      if (!*pDes) {
        LMLOG(kLvEntry, "Low memory!! Size=%u\n", unsigned(k->nImageSize + kChunkSlack));
        return result(kMsgNoMemory, -1012, pStatus);
      }
      memcpy(*pDes, k->pMemory, size_t(k->nImageSize));
      size = uint64_t(k->nImageSize);
      pNi->OutImage.OutMode |= 0x80;
    } else {
      JpgPixelLayout inLay, outLay;
      jpgPixelLayout(bits, inSeq, &inLay);
      jpgPixelLayout(ask.bits, ask.seq, &outLay);
      const int32_t outStride = c->nWidth * outLay.bpp;
      const uint64_t bytes = uint64_t(outStride) * uint64_t(k->nLines + 1);
      if (allocated)
        *pDes = bytes < 0xFFFFFFF0ull ? AllocateMemory(nullptr, uint32_t(bytes), 0) : nullptr;
      if (!*pDes) {
        LMLOG(kLvEntry, "Low memory!! Size=%u\n", unsigned(bytes));
        return result(kMsgNoMemory, -1012, pStatus);
      }
      for (int32_t l = 0; l < k->nLines; ++l)
        jpgConvertPixels(k->pMemory + size_t(l) * size_t(c->nBytesPerLine), inLay,
                         static_cast<uint8_t*>(*pDes) + size_t(l) * size_t(outStride), outLay,
                         c->nWidth);
      size = uint64_t(outStride) * uint64_t(k->nLines);
    }
    if (pulDesJFIFSize) *pulDesJFIFSize = size;
    *plDesStripHeight = k->nLines;
    c->nLinesOut = y + k->nLines;
    pNi->OutImage.ImageWidth = uint32_t(c->nWidth);
    pNi->OutImage.ImageHeight = uint32_t(c->nLines);
    return result(kMsgOk, c->nLinesOut < c->nLines ? -1036 : 0, pStatus);
  }

  uint8_t* des = static_cast<uint8_t*>(*pDes);
  uint64_t size = 0;
  int32_t stripH = 0, w = 0, h = 0, bpl = 0;
  const int64_t msg =
      JPGKRJpegCropStrip(1, pNi->OutImage.AutoCrop != 0, c->nIsJpeg, c, ask.jpeg, 65520,
                         ask.quality, &des, &size, ask.seq, &stripH, &w, &h, &bpl, &st);
  if (msg != 0) {
    LMLOG(kLvEntry, "Error!!Wrong parameters.\n");
    return result(msg, st, pStatus);
  }
  if (st == -1007) c->nDataRanOut = 1;
  if (stripH == 0) return result(kMsgOk, 0, pStatus);  // the page is complete
  *pDes = des;
  if (pulDesJFIFSize) *pulDesJFIFSize = ask.jpeg ? size : uint64_t(bpl) * uint64_t(stripH);
  *plDesStripHeight = stripH;
  if (ask.jpeg) pNi->OutImage.OutMode |= 0x80;
  pNi->OutImage.ImageWidth = uint32_t(w);
  pNi->OutImage.ImageHeight = uint32_t(h);
  // Strips left behind outrank damaged data: callers fetch strips while they see -1036 and would
  // lose the rest of the page on -1007. The context keeps the data error and the last strip
  // reports it, so the page comes out whole and the warning still arrives.
  if (c->nNextLine < c->nBottom) return result(kMsgOk, -1036, pStatus);
  return result(kMsgOk, c->nDataRanOut ? -1007 : 0, pStatus);
}

// ---------------------------------------------------------------------------------------------
// Outside decoder library

namespace {
std::mutex gCocoaMutex;
void* gCocoaHandle = nullptr;
void* gJpg2Raw = nullptr;
}  // namespace

int64_t jpgLMLoadKRCocoa(const char* filename, int32_t load, int64_t* pStatus) {
  jpgLMFreeKRCocoa();
  if (load > 0 && filename) {
    std::lock_guard<std::mutex> lock(gCocoaMutex);
    gCocoaHandle = dlopen(filename, RTLD_LAZY | RTLD_LOCAL);
    if (gCocoaHandle) {
      LMLOG(kLvEntry, "Load library success. %s\n", filename);
      gJpg2Raw = dlsym(gCocoaHandle, "jpg2raw");
      if (!gJpg2Raw) {
        LMLOG(kLvEntry, "Load jpg2raw() failed!\n");
        dlclose(gCocoaHandle);
        gCocoaHandle = nullptr;
      }
    } else {
      LMLOG(kLvEntry, "Load library failed! %s\n", filename);
    }
  }
  if (pStatus) *pStatus = 0;
  return 0;
}

void jpgLMFreeKRCocoa() {
  std::lock_guard<std::mutex> lock(gCocoaMutex);
  if (gCocoaHandle) dlclose(gCocoaHandle);
  gCocoaHandle = nullptr;
  gJpg2Raw = nullptr;
}

// Every stream is decoded by the library's own decoder.
bool jpgLMIsKRCocoaLoaded() { return false; }

bool jpgLMKRCocoaBound() {
  std::lock_guard<std::mutex> lock(gCocoaMutex);
  return gCocoaHandle != nullptr && gJpg2Raw != nullptr;
}
