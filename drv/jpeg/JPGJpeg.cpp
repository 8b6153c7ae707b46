// Codec drivers between the image-library entries and the per-image-id engine.
#include "drv/jpeg/JPGJpeg.h"

#include "drv/jpeg/JPGJpegLib.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGJpeg.c"

namespace {

int64_t finish(int64_t msg, int64_t status, int64_t* pStatus, int line, const char* fn) {
  *pStatus = status;
  if (LMLogOn()) {
    MDBG(kLvDriver, "", "", "[%s:%d] %s Out: *pStatus=%d\n", LM_UNIT, line, fn, int(status));
    MDBG(kLvDriver, "", "", "[%s:%d] %s MSGOut: %d\n", LM_UNIT, line, fn, int(msg));
  }
  return msg;
}
#define FINISH(msg, status) finish((msg), (status), pStatus, __LINE__, __func__)

int64_t finishCode(int code, int64_t* pStatus, int line, const char* fn) {
  const LMResult r = LMMapCodecCode(code);
  return finish(r.msg, r.status, pStatus, line, fn);
}
#define FINISH_CODE(code) finishCode((code), pStatus, __LINE__, __func__)

}  // namespace

void jpgEncoderRun() {}
void jpgEncoderStop() {}
void jpgDecoderRun() {}
void jpgDecoderStop() {}

bool jpgUnpackQuality(int32_t qualityByte, int32_t* engineQuality, int32_t* sampling) {
  static const int32_t kSampling[4] = {32, 0, 16, 48};
  const int32_t level = qualityByte & 15;
  const int32_t selector = (qualityByte >> 4) & 7;
  *engineQuality = 20 + (78 * level) / 15;
  *sampling = selector < 4 ? kSampling[selector] : -1;
  return selector < 4;
}

int64_t jpgEncoder(const uint8_t* pImage, uint8_t** ppJFIF, int32_t lCompactMode, int32_t lQuality,
                   int32_t lBitsPerPixel, int32_t lChannelSeq, int32_t lWidth, int32_t lHeight,
                   int32_t lBytesPerLine, int32_t lXResolution, int32_t lYResolution,
                   uint32_t* pulJFIFSize, int64_t* pStatus) {
  if (LMLogOn())
    MDBG(kLvDriver, "", "", "[%s:%d] %s In: lQuality=%d\n", LM_UNIT, __LINE__, __func__,
         int(lQuality));
  if (!pulJFIFSize || !pStatus) return kMsgBadValue;
  int32_t quality = 0, sampling = 0;
  const bool samplingOk = jpgUnpackQuality(lQuality, &quality, &sampling);
  if (lChannelSeq < 0 || lChannelSeq > 5) return FINISH(kMsgNotSupported, -1006);
  if (!pImage || !ppJFIF) {
    LMLOG(kLvDriver, "Error!!Bad value: pImage=%p, pJFIF=%p\n", static_cast<const void*>(pImage),
          static_cast<void*>(ppJFIF));
    return FINISH(kMsgBadValue, -1013);
  }
  if (lWidth <= 0 || lHeight <= 0 || int64_t(lBytesPerLine) < int64_t(lBitsPerPixel) * lWidth / 8) {
    LMLOG(kLvDriver, "Error!!Bad value: lWidth=%d, lHeight=%d, lBytesPerLine=%d\n", int(lWidth),
          int(lHeight), int(lBytesPerLine));
    return FINISH(kMsgBadValue, -1007);
  }
  if (!samplingOk || quality < 1 || quality > 100) {
    LMLOG(kLvDriver, "Error!!Bad value: lLMJpgSampling=%d, lLMQuality=%d\n", int(sampling),
          int(quality));
    return FINISH(kMsgBadValue, -1007);
  }
  if (lBitsPerPixel != 8 && lBitsPerPixel != 24 && lBitsPerPixel != 32)
    return FINISH(kMsgNotSupported, -1006);

  jpgEncoderRun();
  uint32_t id = 0, size = 0;
  int rc = LMJPGJpegEncoder(&id, lCompactMode ? 1 : 0, sampling, quality, lBitsPerPixel,
                            lChannelSeq, lWidth, lHeight, lXResolution, lYResolution);
  if (rc >= 0 || rc == -301) rc = LMJPGWriteImage(&id, pImage, lBytesPerLine, &size);
  if ((rc >= 0 || rc == -301) && size != 0) {
    const bool allocated = *ppJFIF == nullptr;
    if (allocated) {
      *ppJFIF = static_cast<uint8_t*>(AllocateMemory(nullptr, size, 0));
      if (!*ppJFIF) {
        LMLOG(kLvDriver, "Error!!MSGOut: %d, Allocate size: %d\n", int(kMsgNoMemory), int(size));
        LMJPGResetJpeg(&id);
        jpgEncoderStop();
        *pulJFIFSize = 0;
        return FINISH(kMsgNoMemory, -1012);
      }
    }
    // A caller's own buffer must hold the stream: the interface carries no size for it.
    rc = LMJPGReadJFIF(&id, *ppJFIF, size);
    if (rc < 0 && allocated) {
      FreeMemory(*ppJFIF);
      *ppJFIF = nullptr;
    }
  }
  *pulJFIFSize = rc < 0 ? 0 : size;
  LMJPGResetJpeg(&id);
  jpgEncoderStop();
  if (LMLogOn())
    MDBG(kLvDriver, "", "", "[%s:%d] %s Out: *pulJFIFSize=%d\n", LM_UNIT, __LINE__, __func__,
         int(*pulJFIFSize));
  return FINISH_CODE(rc);
}

int64_t jpgDecoder(uint8_t* pbyImageId, const uint8_t* pJFIF, uint8_t** ppImage,
                   uint32_t ulJFIFSize, int32_t lPosY, int32_t lStripLines, int32_t lRGBChannelSeq,
                   int32_t* plBitsPerPixel, int32_t* plWidth, int32_t* plHeight,
                   int32_t* plBytesPerLine, int32_t* plXResolution, int32_t* plYResolution,
                   int64_t* pStatus) {
  if (LMLogOn())
    MDBG(kLvDriver, "", "", "[%s:%d] %s In: lPosY=%d, lStripLines=%d\n", LM_UNIT, __LINE__,
         __func__, int(lPosY), int(lStripLines));
  if (!pStatus) return kMsgBadValue;
  if (!pbyImageId) return FINISH(kMsgBadValue, -1013);
  if (!pJFIF || !ppImage || !plBitsPerPixel || !plWidth || !plHeight || !plBytesPerLine) {
    LMLOG(kLvDriver, "Error!!Bad value: pJFIF=%p, ppImage=%p\n", static_cast<const void*>(pJFIF),
          static_cast<void*>(ppImage));
    LMLOG(kLvDriver, "Error!!Bad value: plBitsPerPixel=%p, plWidth=%p\n",
          static_cast<void*>(plBitsPerPixel), static_cast<void*>(plWidth));
    LMLOG(kLvDriver, "Error!!Bad value: plHeight=%p, plBytesPerLine=%p\n",
          static_cast<void*>(plHeight), static_cast<void*>(plBytesPerLine));
    return FINISH(kMsgBadValue, -1013);
  }
  if (ulJFIFSize == 0 || lPosY < 0 || lStripLines < 0) return FINISH(kMsgBadValue, -1007);
  *plBytesPerLine = 0;

  jpgDecoderRun();
  uint32_t id = lPosY == 0 ? 0 : *pbyImageId;
  int32_t picBits = 0, width = 0, height = 0, xres = 0, yres = 0;
  int rc;
  if (lPosY == 0) {
    if (*pbyImageId) {
      uint32_t old = *pbyImageId;
      LMJPGResetJpeg(&old);
    }
    rc = LMJPGWriteJFIF(&id, pJFIF, ulJFIFSize, 0, &picBits, &width, &height, &xres, &yres, nullptr,
                        nullptr, nullptr, nullptr, nullptr);
  } else {
    rc = LMJPGGetJFIFInfo(&id, &picBits, &width, &height, &xres, &yres, nullptr, nullptr, nullptr,
                          nullptr, nullptr);
  }
  auto failWith = [&](int64_t msg, int64_t status) {
    LMJPGResetJpeg(&id);
    *pbyImageId = 0;
    jpgDecoderStop();
    return finish(msg, status, pStatus, __LINE__, "jpgDecoder");
  };
  if (rc < 0) {
    const LMResult r = LMMapCodecCode(rc);
    return failWith(r.msg, r.status);
  }
  // Output format by the channel-order code.
  int32_t bits = picBits;
  int32_t seq = lRGBChannelSeq;
  if (picBits == 24 || picBits == 32) {
    bits = (seq == 2 || seq == 4 || seq == 5) ? 32 : 24;
    if (seq == 0 || seq > 5 || seq < 0) seq = 1;
  }
  *plBitsPerPixel = bits;
  *plWidth = width;
  *plHeight = height;
  if (plXResolution) *plXResolution = xres;
  if (plYResolution) *plYResolution = yres;
  if ((bits != 8 && bits != 24 && bits != 32) || width < 1 || width > 65535 || height < 1 ||
      height > 65535) {
    LMLOG(kLvDriver, "Error!!ID=%d, Wrong Jpeg calling sequence.\n", int(id));
    return failWith(kMsgSequence, -1015);
  }
  const int32_t bpl = int32_t((int64_t(bits) * width + 7) / 8);
  *plBytesPerLine = bpl;
  if (lPosY >= height) {
    LMJPGResetJpeg(&id);
    *pbyImageId = 0;
    jpgDecoderStop();
    return FINISH(kMsgOk, 0);
  }
  int32_t lines;
  if (lStripLines == 0 || lStripLines >= height) {
    if (lPosY != 0) return failWith(kMsgBadValue, -1007);
    lines = height;
  } else {
    const bool reachesEnd = lPosY + lStripLines >= height;
    if (!reachesEnd && lStripLines % 16 != 0) {
      LMLOG(kLvDriver, "Error!!ID=%d, Wrong Jpeg decoding lines: lPosY=%d, lStripLines=%d\n",
            int(id), int(lPosY), int(lStripLines));
      return failWith(kMsgBadValue, -1007);
    }
    lines = reachesEnd ? height - lPosY : lStripLines;
  }
  const bool allocated = *ppImage == nullptr;
  if (allocated) {
    const uint64_t need = uint64_t(bpl) * uint64_t(lines);
    *ppImage = need < 0xFFFFFFF0ull
                   ? static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(need), 0))
                   : nullptr;
    if (!*ppImage) return failWith(kMsgNoMemory, -1012);
  }
  rc = LMJPGJpegDecoderStrip(&id, *ppImage, bits, seq, lPosY, lines, bpl);
  const bool last = lPosY + lines >= height;
  if (rc < 0 && rc != -301 && allocated) {
    FreeMemory(*ppImage);
    *ppImage = nullptr;
  }
  if (rc < 0 || last) {
    LMJPGResetJpeg(&id);
    *pbyImageId = 0;
  } else {
    *pbyImageId = uint8_t(id);
  }
  jpgDecoderStop();
  return FINISH_CODE(rc);
}

int64_t jpgGetJFIFImageInfo(const uint8_t* pJFIF, uint32_t ulJFIFSize, int32_t* plBitsPerPixel,
                            int32_t* plWidth, int32_t* plHeight, int32_t* plXResolution,
                            int32_t* plYResolution, int32_t* plMCUCount, int32_t* plStripCount,
                            int32_t* plStripMCUCount, int32_t* plMCUWidth, int32_t* plMCUHeight,
                            int64_t* pStatus) {
  if (!pStatus) return kMsgBadValue;
  if (!pJFIF || !plBitsPerPixel || !plWidth || !plHeight) return FINISH(kMsgBadValue, -1013);
  if (ulJFIFSize == 0) return FINISH(kMsgBadValue, -1007);
  const int rc = LMJPGWriteJFIF(nullptr, pJFIF, ulJFIFSize, 1, plBitsPerPixel, plWidth, plHeight,
                                plXResolution, plYResolution, plMCUCount, plStripCount,
                                plStripMCUCount, plMCUWidth, plMCUHeight);
  return FINISH_CODE(rc);
}

void jpgReset(uint8_t* pbyImageId, int32_t lResetAll) {
  if (lResetAll) {
    uint32_t all = kJpgAllIds;
    LMJPGResetJpeg(&all);
  } else if (pbyImageId) {
    uint32_t id = *pbyImageId;
    LMJPGResetJpeg(&id);
  } else {
    return;
  }
  if (pbyImageId) *pbyImageId = 0;
}
