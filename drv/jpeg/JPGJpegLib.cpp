// Per-image-id JPEG engine.
#include "drv/jpeg/JPGJpegLib.h"

#include <cstring>
#include <mutex>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGJpegLib.c"

namespace {

// The pool is shared by the scan engine's decode and encode threads.
std::mutex gPoolMutex;
JpgImage* gRecords[kJpgMaxIds + 1];
bool gInUse[kJpgMaxIds + 1];

void freeRecord(JpgImage*& rec) {
  if (!rec) return;
  jpgResetJpeg(rec);
  FreeMemory(rec);
  rec = nullptr;
}

// The record of a bound id, or null.
JpgImage* recordOf(uint32_t id) {
  std::lock_guard<std::mutex> lock(gPoolMutex);
  if (id < 1 || id > uint32_t(kJpgMaxIds) || !gInUse[id]) return nullptr;
  return gRecords[id];
}

// The record of a freshly assigned id, allocated on first use and reset.
JpgImage* bindRecord(uint32_t id) {
  std::lock_guard<std::mutex> lock(gPoolMutex);
  JpgImage*& rec = gRecords[id];
  if (!rec) {
    rec = static_cast<JpgImage*>(AllocateMemory(nullptr, sizeof(JpgImage), kLMZeroFill));
    if (!rec) return nullptr;
  }
  jpgResetJpeg(rec);
  rec->nextLine = 0;
  return rec;
}

int fail(uint32_t* id, int code, int line, const char* fn) {
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Error!!ID=%d, MSGOut: %d\n", LM_UNIT, line, fn,
         id ? int(*id) : 0, code);
  LMJPGResetJpeg(id);
  return code;
}
#define FAIL(code) fail(pnJPGImageId, (code), __LINE__, __func__)

int32_t ceilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }

void describe(const JpgImage* img, int32_t* bpp, int32_t* width, int32_t* height, int32_t* xRes,
              int32_t* yRes, int32_t* mcuCount, int32_t* stripCount, int32_t* stripMcuCount,
              int32_t* mcuW, int32_t* mcuH) {
  *bpp = int32_t(img->comps * img->precision);
  *width = int32_t(img->width);
  *height = int32_t(img->height);
  if (xRes) *xRes = int32_t(img->xDensity);
  if (yRes) *yRes = int32_t(img->yDensity);
  const int32_t w = img->lMCUWidth > 0 ? img->lMCUWidth : 0;
  const int32_t h = img->lMCUHeight > 0 ? img->lMCUHeight : 0;
  if (mcuCount)
    *mcuCount = (w && h) ? ceilDiv(int32_t(img->width), w) * ceilDiv(int32_t(img->height), h) : 0;
  if (stripCount) *stripCount = img->lStripCount > 0 ? img->lStripCount : 0;
  if (stripMcuCount) *stripMcuCount = int32_t(img->lStripMCUCount);
  if (mcuW) *mcuW = w;
  if (mcuH) *mcuH = h;
}

}  // namespace

int jpgIdsInUse() {
  std::lock_guard<std::mutex> lock(gPoolMutex);
  int n = 0;
  for (int i = 1; i <= kJpgMaxIds; ++i) n += gInUse[i];
  return n;
}

int LMJPGResetJpeg(uint32_t* pnJPGImageId) {
  if (!pnJPGImageId) {
    LMLOG(kLvEntry, "Message: null image Id pointer.\n");
    return 1;
  }
  std::lock_guard<std::mutex> lock(gPoolMutex);
  const uint32_t id = *pnJPGImageId;
  if (id == kJpgAllIds) {
    for (int i = 1; i <= kJpgMaxIds; ++i) {
      freeRecord(gRecords[i]);
      gInUse[i] = false;
    }
  } else if (id >= 1 && id <= uint32_t(kJpgMaxIds)) {
    freeRecord(gRecords[id]);
    gInUse[id] = false;
  }
  *pnJPGImageId = 0;
  return 1;
}

int jpgAssignImageId(uint32_t* pnJPGImageId) {
  if (!pnJPGImageId) return -2;
  if (*pnJPGImageId) LMJPGResetJpeg(pnJPGImageId);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::lock_guard<std::mutex> lock(gPoolMutex);
    for (int i = 1; i <= kJpgMaxIds; ++i) {
      if (gInUse[i]) continue;
      gInUse[i] = true;
      freeRecord(gRecords[i]);
      *pnJPGImageId = uint32_t(i);
      return 1;
    }
  }
  LMLOG(kLvEntry, "Error!!Busy...MSGOut: %d\n", -8);
  return -8;
}

// ---------------------------------------------------------------------------------------------
// Encoding

int LMJPGJpegEncoder(uint32_t* pnJPGImageId, int32_t lCompactMode, int32_t lJpgSampling,
                     int32_t lQuality, int32_t bitsPerPixel, int32_t channelSeq, int32_t width,
                     int32_t height, int32_t xResolution, int32_t yResolution) {
  LMLOG(kLvDriver, "In\n");
  if (!pnJPGImageId) return -2;
  if (!(lJpgSampling == 0 || lJpgSampling == 16 || lJpgSampling == 32 || lJpgSampling == 48) ||
      lQuality < 0 || lQuality > 100)
    return FAIL(-2);
  if (!(bitsPerPixel == 8 || bitsPerPixel == 24 || bitsPerPixel == 32) || channelSeq < 0 ||
      channelSeq > 5 || width > 65535 || height > 65535)
    return FAIL(-4);
  if (width < 1 || height < 0) return FAIL(-2);
  int rc = jpgAssignImageId(pnJPGImageId);
  if (rc < 0) return rc;
  JpgImage* img = bindRecord(*pnJPGImageId);
  if (!img) return FAIL(-3);

  img->lCompactMode = lCompactMode ? 1 : 0;
  img->bytesPerPixel = uint32_t(bitsPerPixel / 8);
  img->channelSeq = uint32_t(channelSeq);
  img->comps = bitsPerPixel == 8 ? 1 : 3;
  img->precision = 8;
  img->width = uint32_t(width);
  img->height = height == 0 ? 65535u : uint32_t(height);
  img->xDensity = uint32_t(xResolution);
  img->yDensity = uint32_t(yResolution);
  img->frameType = 192;
  // Sampling flags: bit 5 Y horizontal, bit 4 Y vertical; chroma always 1 x 1.
  img->H[0] = (lJpgSampling & 0x20) ? 2 : 1;
  img->V[0] = (lJpgSampling & 0x10) ? 2 : 1;
  if (img->comps == 1) img->H[0] = img->V[0] = 1;
  for (uint32_t c = 1; c < img->comps; ++c) img->H[c] = img->V[c] = 1;
  const int tables = img->comps == 1 ? 1 : 2;
  for (uint32_t c = 0; c < img->comps; ++c)
    img->quantId[c] = img->dcId[c] = img->acId[c] = c ? 1 : 0;
  for (int t = 0; t < tables; ++t) {
    img->quant[t] =
        static_cast<JpgQuantTable*>(AllocateMemory(nullptr, sizeof(JpgQuantTable), kLMZeroFill));
    img->dc[t] =
        static_cast<JpgHuffTable*>(AllocateMemory(nullptr, sizeof(JpgHuffTable), kLMZeroFill));
    img->ac[t] =
        static_cast<JpgHuffTable*>(AllocateMemory(nullptr, sizeof(JpgHuffTable), kLMZeroFill));
    if (!img->quant[t] || !img->dc[t] || !img->ac[t]) return FAIL(-3);
  }
  img->lMCUWidth = 8 * img->H[0];
  img->lMCUHeight = 8 * img->V[0];
  for (uint32_t c = 0; c < img->comps; ++c) {
    img->HRep[c] = uint8_t(img->H[0] / img->H[c]);
    img->VRep[c] = uint8_t(img->V[0] / img->V[c]);
  }
  jpgInitQuantTables(img->quant[0], img->quant[1], lQuality);
  jpgInitHuffTables(img->dc[0], img->dc[1], img->ac[0], img->ac[1]);
  for (int t = 0; t < tables; ++t) jpgBuildEncoderDivisors(img->quant[t]);
  img->first = jpgAllocateFirstECS(&img->lStripCount, 2u << 20, 1u << 20);
  if (!img->first) {
    LMLOG(kLvEntry, "Error!!ID=%d, MSGOut: %d, Allocate ECS\n", int(*pnJPGImageId), -3);
    return FAIL(-3);
  }
  img->cur = img->first;
  img->lStripMCUCount = 0;
  img->nextLine = 0;
  if (LMLogOn())
    MDBG(kLvDriver, "", "", "[%s:%d] %s Out: pnJPGImageId[0]=%d\n", LM_UNIT, __LINE__, __func__,
         int(*pnJPGImageId));
  return 1;
}

int LMJPGWriteStrip(uint32_t* pnJPGImageId, const uint8_t* pBuffer, int32_t lPosY,
                    int32_t lLinesNum, int32_t lBytesPerLine, uint32_t* pulJFIFSize) {
  LMLOG(kLvDriver, "In\n");
  JpgImage* img = pnJPGImageId ? recordOf(*pnJPGImageId) : nullptr;
  if (!img) return pnJPGImageId ? FAIL(-6) : -6;
  const int32_t width = int32_t(img->width), height = int32_t(img->height);
  auto failSize = [&](int code) {
    if (pulJFIFSize) *pulJFIFSize = 0;
    return fail(pnJPGImageId, code, __LINE__, "LMJPGWriteStrip");
  };
  if (width - 1 > 65534 || width < 1 || height < 1 || height > 65535) return failSize(-4);
  if (!pBuffer || lPosY < 0 || lPosY >= height) return failSize(-2);
  const bool reachesEnd = lLinesNum >= 0 && lPosY + lLinesNum >= height;
  if (lLinesNum < 0 || lLinesNum > height || (!reachesEnd && lLinesNum % 16 != 0))
    return failSize(-2);
  if (!pulJFIFSize) return FAIL(-2);
  if (img->channelSeq > 5) return failSize(-2);
  if (!img->first) return failSize(-6);
  const uint32_t bpp = img->bytesPerPixel;
  if (lBytesPerLine < 0 || uint32_t(lBytesPerLine) < bpp * img->width) return failSize(-2);
  const int32_t mcuW = img->lMCUWidth, mcuH = img->lMCUHeight;
  // Strips follow each other: each starts where the last one ended, on an MCU row.
  if (uint32_t(lPosY) != img->nextLine || lPosY % mcuH != 0) return failSize(-2);
  if (lPosY == 0) {
    *pulJFIFSize = 0;
    img->lStripMCUCount = 0;
  }
  auto* sample = img->comps == 1 ? jpgSampling_C1 : jpgSampling_C3;

  const int32_t mcusPerRow = ceilDiv(width, mcuW);
  const uint32_t padW = uint32_t(mcuW * mcusPerRow);
  const int32_t fullRows = height / mcuH;
  const int32_t stripEnd = reachesEnd ? height : lPosY + lLinesNum;
  uint8_t* work = nullptr;
  const uint32_t workStride = padW * bpp;
  auto needWork = [&]() -> bool {
    if (!work)
      work = static_cast<uint8_t*>(AllocateMemory(nullptr, workStride * uint32_t(mcuH), 0));
    return work != nullptr;
  };
  alignas(32) int16_t blocks[kJpgMcuBlocks][64];
  auto codeRow = [&](const uint8_t* src, uint32_t stride) -> int {
    for (int32_t col = 0; col < mcusPerRow; ++col) {
      sample(src + size_t(col) * size_t(mcuW) * bpp, stride, img, blocks);
      const int rc = jpgEncodeMCU(img->first, img, blocks);
      if (rc < 0) return rc;
    }
    return 1;
  };
  int rc = 1;
  int32_t row = lPosY / mcuH;
  for (; rc == 1 && row < fullRows && row * mcuH + mcuH <= stripEnd; ++row) {
    const uint8_t* src = pBuffer + size_t(row * mcuH - lPosY) * size_t(lBytesPerLine);
    if (padW != img->width) {
      if (!needWork()) {
        rc = -3;
        break;
      }
      jpgSetBuffer(src, work, bpp, img->width, uint32_t(mcuH), uint32_t(lBytesPerLine), padW,
                   uint32_t(mcuH), workStride);
      rc = codeRow(work, workStride);
    } else {
      rc = codeRow(src, uint32_t(lBytesPerLine));
    }
  }
  if (rc == 1 && reachesEnd && height % mcuH != 0) {
    const int32_t top = fullRows * mcuH;
    if (!needWork()) {
      rc = -3;
    } else {
      jpgSetBuffer(pBuffer + size_t(top - lPosY) * size_t(lBytesPerLine), work, bpp, img->width,
                   uint32_t(height - top), uint32_t(lBytesPerLine), padW, uint32_t(mcuH),
                   workStride);
      rc = codeRow(work, workStride);
    }
  }
  FreeMemory(work);
  if (rc < 0) return failSize(rc);
  img->nextLine = uint32_t(stripEnd);
  if (reachesEnd) {
    jpgCloseEncodedNode(img->first);
    rc = jpgWriteJFIFInfo(img);
    if (rc < 0) return failSize(rc);
    *pulJFIFSize = img->outSize;
    jpgFreeECS(img->first);
    img->first = img->cur = nullptr;
    img->lStripCount = 0;
    if (LMLogOn())
      MDBG(kLvDriver, "", "", "[%s:%d] %s Out: *pulJFIFSize=%ld\n", LM_UNIT, __LINE__, __func__,
           long(*pulJFIFSize));
  }
  return 1;
}

int LMJPGWriteImage(uint32_t* pnJPGImageId, const uint8_t* pBuffer, int32_t lBytesPerLine,
                    uint32_t* pulJFIFSize) {
  JpgImage* img = pnJPGImageId ? recordOf(*pnJPGImageId) : nullptr;
  if (!img) return pnJPGImageId ? FAIL(-6) : -6;
  return LMJPGWriteStrip(pnJPGImageId, pBuffer, 0, int32_t(img->height), lBytesPerLine,
                         pulJFIFSize);
}

int LMJPGReadJFIF(uint32_t* pnJPGImageId, uint8_t* pDest, uint32_t ulDestSize) {
  JpgImage* img = pnJPGImageId ? recordOf(*pnJPGImageId) : nullptr;
  int rc = 1;
  if (!img)
    rc = -2;
  else if (!img->pOut || img->outSize == 0)
    rc = -6;
  else if (!pDest || ulDestSize < img->outSize)
    rc = -3;
  else
    memcpy(pDest, img->pOut, img->outSize);
  LMJPGResetJpeg(pnJPGImageId);
  return rc;
}

// ---------------------------------------------------------------------------------------------
// Decoding

int LMJPGWriteJFIF(uint32_t* pnJPGImageId, const uint8_t* pJFIF, uint32_t ulJFIFSize,
                   int32_t nDoReadInfoOnly, int32_t* bitsPerPixel, int32_t* width, int32_t* height,
                   int32_t* xResolution, int32_t* yResolution, int32_t* lMCUCount,
                   int32_t* lStripCount, int32_t* lStripMCUCount, int32_t* lMCUWidth,
                   int32_t* lMCUHeight) {
  LMLOG(kLvDriver, "In\n");
  if (!pJFIF || !bitsPerPixel || !width || !height || ulJFIFSize == 0) return -2;
  if (nDoReadInfoOnly) {
    JpgImage tmp;
    memset(&tmp, 0, sizeof tmp);
    jpgResetJpeg(&tmp);
    const int rc = jpgReadJFIFInfo(&tmp, pJFIF, ulJFIFSize, 1);
    if (rc >= 0 || rc == -302)
      describe(&tmp, bitsPerPixel, width, height, xResolution, yResolution, lMCUCount, lStripCount,
               lStripMCUCount, lMCUWidth, lMCUHeight);
    jpgResetJpeg(&tmp);
    return rc;
  }
  if (!pnJPGImageId) return -2;
  int rc = jpgAssignImageId(pnJPGImageId);
  if (rc < 0) return rc;
  JpgImage* img = bindRecord(*pnJPGImageId);
  if (!img) return FAIL(-3);
  rc = jpgReadJFIFInfo(img, pJFIF, ulJFIFSize, 0);
  if (rc < 0) return FAIL(rc);
  describe(img, bitsPerPixel, width, height, xResolution, yResolution, lMCUCount, lStripCount,
           lStripMCUCount, lMCUWidth, lMCUHeight);
  return rc;
}

int LMJPGGetJFIFInfo(uint32_t* pnJPGImageId, int32_t* bitsPerPixel, int32_t* width, int32_t* height,
                     int32_t* xResolution, int32_t* yResolution, int32_t* lMCUCount,
                     int32_t* lStripCount, int32_t* lStripMCUCount, int32_t* lMCUWidth,
                     int32_t* lMCUHeight) {
  if (!pnJPGImageId || *pnJPGImageId < 1) return -6;
  JpgImage* img = recordOf(*pnJPGImageId);
  if (!bitsPerPixel || !width || !height || !img) return -2;
  describe(img, bitsPerPixel, width, height, xResolution, yResolution, lMCUCount, lStripCount,
           lStripMCUCount, lMCUWidth, lMCUHeight);
  return 1;
}

namespace {

// Component planes of one MCU row, and where MCU column `col` starts in them.
struct RowPlanes {
  uint8_t* plane[4] = {};
  uint32_t stride[4] = {};
  uint8_t* at[4] = {};
  void point(const JpgImage* img, int32_t col) {
    for (uint32_t c = 0; c < img->comps; ++c) at[c] = plane[c] + size_t(col) * 8 * img->H[c];
  }
  void fillMcu(const JpgImage* img) {
    for (uint32_t c = 0; c < img->comps; ++c)
      for (int y = 0; y < 8 * img->V[c]; ++y)
        memset(at[c] + size_t(y) * stride[c], 128, size_t(8) * img->H[c]);
  }
};

// Brings the node to its MCU `within`, decoding what lies before it into the MCU's place.
int seekNode(JpgEcsNode* node, JpgImage* img, int32_t within, const RowPlanes& rp) {
  if (node->mcuCount > within) {
    node->bytePos = 0;
    node->bitPos = 0;
    node->mcuCount = 0;
    memset(node->dcPred, 0, sizeof node->dcPred);
  }
  int rc = 1;
  while (node->mcuCount < within) {
    const int r = jpgDecodeMCU(node, img, rp.at, rp.stride);
    if (r < 0 && rc == 1) rc = r;
  }
  return rc;
}

}  // namespace

int LMJPGJpegDecoderStrip(uint32_t* pnJPGImageId, uint8_t* pBuffer, int32_t lImgBitsPerPixel,
                          int32_t lImgChannelSeq, int32_t lPosY, int32_t lLinesNum,
                          int32_t lBytesPerLine) {
  LMLOG(kLvDriver, "In\n");
  if (!(lImgBitsPerPixel == 8 || lImgBitsPerPixel == 24 || lImgBitsPerPixel == 32) ||
      lImgChannelSeq < 0 || lImgChannelSeq > 5)
    return FAIL(-2);
  JpgImage* img = pnJPGImageId ? recordOf(*pnJPGImageId) : nullptr;
  if (!img || !img->first || !img->nodeIndex) return FAIL(-6);
  const uint32_t outBpp = uint32_t(lImgBitsPerPixel / 8);
  const int32_t width = int32_t(img->width), height = int32_t(img->height);
  if (!pBuffer || lBytesPerLine < 0 || int64_t(lBytesPerLine) < int64_t(width) * outBpp)
    return FAIL(-2);
  if (lPosY < 0 || lPosY >= height) return FAIL(-2);
  const bool reachesEnd = lLinesNum >= 0 && lPosY + lLinesNum >= height;
  if (lLinesNum < 0 || lLinesNum > height || (!reachesEnd && lLinesNum % 16 != 0)) return FAIL(-2);
  // A grey picture gives 8-bit pixels only, a colour one 24- or 32-bit pixels.
  if ((img->comps == 1) != (outBpp == 1)) return FAIL(-4);
  const uint32_t comps = img->comps;
  uint32_t seq[4] = {0, 1, 2, 3};
  if (comps == 3) {
    const int rc =
        jpgGetRGBChannelSequence(outBpp, lImgChannelSeq == 0 ? 1u : uint32_t(lImgChannelSeq), seq);
    if (rc < 0) return FAIL(rc);
    if (seq[0] >= outBpp || seq[1] >= outBpp || seq[2] >= outBpp) return FAIL(-2);
    jpgYccTablesOnce();
  }

  const int32_t mcuW = img->lMCUWidth, mcuH = img->lMCUHeight;
  const int32_t mcusPerRow = ceilDiv(width, mcuW);
  if (mcusPerRow < 1) return FAIL(-2);
  const int32_t stripEnd = reachesEnd ? height : lPosY + lLinesNum;
  const int32_t R = int32_t(img->lStripMCUCount);

  // One MCU row of every component, decoded whole and then converted line by line.
  RowPlanes rp;
  uint8_t shifts[3] = {0, 0, 0};
  uint64_t total = 0;
  for (uint32_t c = 0; c < comps; ++c) {
    rp.stride[c] = uint32_t(mcusPerRow) * 8 * img->H[c];
    total += uint64_t(rp.stride[c]) * 8 * img->V[c];
    shifts[c] = img->HRep[c] == 2 ? 1 : 0;
  }
  uint8_t* work = total < 0xFFFFFFF0ull
                      ? static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(total), 0))
                      : nullptr;
  if (!work) {
    LMLOG(kLvDriver, "Error!!ID=%d, MSGOut: %d, Allocate size: %d\n", int(*pnJPGImageId), -3,
          int(total));
    return FAIL(-3);
  }
  for (uint32_t c = 0, off = 0; c < comps; ++c) {
    rp.plane[c] = work + off;
    off += rp.stride[c] * 8 * img->V[c];
  }
  int rc = 1;
  auto note = [&](int r) {
    if (r < 0 && rc == 1) rc = r;
  };
  for (int32_t row = lPosY / mcuH; row * mcuH < stripEnd; ++row) {
    for (int32_t col = 0; col < mcusPerRow;) {
      const int64_t g = int64_t(row) * mcusPerRow + col;
      const int64_t seg = R > 0 ? g / R : 0;
      const int32_t within = int32_t(R > 0 ? g % R : g);
      JpgEcsNode* node = seg < img->nodeIndexCount ? img->nodeIndex[seg] : nullptr;
      rp.point(img, col);
      // The MCUs of the row that lie in the same interval are decoded in one go.
      int32_t run = mcusPerRow - col;
      if (R > 0 && R - within < run) run = R - within;
      int r = -301;  // a missing restart interval is data that ran out
      int32_t done = 0;
      if (node) {
        note(seekNode(node, img, within, rp));
        r = jpgDecodeMCUs(node, img, rp.at, rp.stride, run, &done);
      }
      if (r < 0) {
        note(r);
        rp.point(img, col + done);
        rp.fillMcu(img);
        col += done + 1;
      } else {
        col += run;
      }
    }
    const int32_t top = row * mcuH;
    const int32_t y0 = top > lPosY ? top : lPosY;
    const int32_t y1 = top + mcuH < stripEnd ? top + mcuH : stripEnd;
    for (int32_t y = y0; y < y1; ++y) {
      const int32_t ly = y - top;
      const uint8_t* rows[3];
      for (uint32_t c = 0; c < comps; ++c)
        rows[c] = rp.plane[c] + size_t(img->VRep[c] == 2 ? ly >> 1 : ly) * rp.stride[c];
      jpgConvertPlanarRow(rows, shifts, comps, pBuffer + size_t(y - lPosY) * size_t(lBytesPerLine),
                          width, outBpp, seq);
    }
  }
  FreeMemory(work);
  if (rc < 0) return FAIL(rc);
  if (reachesEnd) LMJPGResetJpeg(pnJPGImageId);
  return rc;
}
