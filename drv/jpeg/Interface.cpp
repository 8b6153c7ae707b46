// Entry points of the image library.
#include "drv/jpeg/Interface.h"

#include <atomic>
#include <mutex>

#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./Interface.c"

const char* const kKRCocoaPath = "./KRCocoa.so";

namespace {

// Starts and ends come only from the driver's start and end; the lock keeps a test's parallel
// starts sound.
std::mutex gStartMutex;
int32_t nLMInitializeCount = 0;
long gInjectedFailure = 0;

// Input calls of each crop id since its context began; each id belongs to one thread.
int32_t gInputCount[kLMCropIds];

void resetAllState() {
  jpgLMReset(nullptr, 1);
  jpgReset(nullptr, 1);
  for (int32_t& n : gInputCount) n = 0;
}

long finish(long msg, long status, long* pStatus, const char* fn, int line) {
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Out: Msg=%d, Status=%d\n", LM_UNIT, line, fn, int(msg),
         int(status));
  if (pStatus) *pStatus = status;
  return msg;
}
#define FINISH(msg, status) finish((msg), (status), pStatus, __func__, __LINE__)

void resetCrop(NIDATA* pNi) {
  uint8_t& id = pNi->OutImage.InternalUse;
  LMLOG(kLvEntry, "Function resets. LMJPGImageId=%d\n", int(id));
  // Id 0 is no context: its slot is shared by every thread that has none.
  if (id >= 1 && id < kLMCropIds) gInputCount[id] = 0;
  jpgLMReset(&id, 0);
  id = 0;
}

// The codec's channel-order code of a record's image kind.
int32_t channelSeqOf(const NIDATA* pNi) {
  if (pNi->InImage.BitsPerPixel == 8) return 0;
  if (pNi->InImage.ScanMode & 0x80) return 1;
  switch (pNi->InImage.ScanMode & 0x7F) {
    case 8:
      return 2;
    case 16:
      return 5;
    default:
      return 1;
  }
}

}  // namespace

namespace lumetra {
int StartCount() {
  std::lock_guard<std::mutex> lock(gStartMutex);
  return nLMInitializeCount;
}
void InjectInitializeFailure(long code) {
  std::lock_guard<std::mutex> lock(gStartMutex);
  gInjectedFailure = code;
}
}  // namespace lumetra

long InitializeLib() {
  std::lock_guard<std::mutex> lock(gStartMutex);
  if (gInjectedFailure != 0) return gInjectedFailure;
  ++nLMInitializeCount;
  DebugVarInitilize(0);
  if (nLMInitializeCount < 2) {
    int64_t status = 0;
    jpgLMLoadKRCocoa(kKRCocoaPath, 1, &status);
    LMLOG(kLvEntry, "Reset the algorithms (JPG) state. nLMInitializeCount = %d\n",
          int(nLMInitializeCount));
    resetAllState();
  }
  LMLOG(kLvEntry, "Out: Success, LMInitializeCount = %d\n", int(nLMInitializeCount));
  return 0;
}

long TerminateLib() {
  std::lock_guard<std::mutex> lock(gStartMutex);
  LMLOG(kLvEntry, "In: TerminateLib\n");
  if (nLMInitializeCount > 0 && --nLMInitializeCount > 0) {
    LMLOG(kLvEntry, "Out: TerminateLib, nLMInitializeCount = %d\n", int(nLMInitializeCount));
    return 0;
  }
  LMLOG(kLvEntry, "Reset the algorithms (JPG) state. nLMInitializeCount = %d\n",
        int(nLMInitializeCount));
  resetAllState();
  jpgLMFreeKRCocoa();
  LMLOG(kLvEntry, "Out: TerminateLib, nLMInitializeCount = %d\n", int(nLMInitializeCount));
  return 0;
}

long JpegDecoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJpegSize, long* pStatus) {
  LMLOG(kLvEntry, "In\n");
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s In: pSrc=%p, ppDes=%p, pNi=%p, pulJpegSize=%p\n", LM_UNIT,
         __LINE__, __func__, pSrc, static_cast<void*>(ppDes), static_cast<void*>(pNi),
         static_cast<void*>(pulJpegSize));
  if (!pNi || (pSrc && !pulJpegSize)) return FINISH(kMsgBadValue, -1013);
  const uint64_t size = pSrc && pulJpegSize ? *pulJpegSize : 0;
  const bool hasInput = pSrc && size > 0;
  uint8_t* src = static_cast<uint8_t*>(pSrc);
  if (!pSrc && !ppDes) {
    LMLOG(kLvEntry, "Reset Jpeg Decoder.\n");
    jpgReset(&pNi->OutImage.InternalUse, 0);
    return FINISH(kMsgOk, 0);
  }
  const int32_t posY = pNi->OutImage.JPEGDecodePosY;
  const int32_t lines = pNi->OutImage.JPEGDecodeLines;
  bool badLines = (posY != 0 && lines == 0);
  if (!badLines && lines % 16 != 0) {
    // Only the last strip of a page may be shorter than a multiple of 16 lines.
    int32_t b = 0, w = 0, h = 0;
    int64_t st = 0;
    badLines = !hasInput || size > 0xFFFFFFFFull ||
               jpgGetJFIFImageInfo(src, uint32_t(size), &b, &w, &h, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, &st) != 0 ||
               posY + lines < h;
  }
  if (badLines) {
    LMLOG(kLvEntry, "Error!!Wrong Jpeg decoding lines: Jpeg.JPEGDecodeLines=0x%d\n", int(lines));
    return FINISH(kMsgBadValue, -1007);
  }
  if (!hasInput) return FINISH(kMsgBadBuffer, -1018);
  if (size > 0xFFFFFFFFull) return FINISH(kMsgBadValue, -1007);
  int32_t bits = 0, width = 0, height = 0, xRes = 0, yRes = 0, bpl = 0;
  long status = 0;
  long msg;
  if (!ppDes) {
    msg = jpgGetJFIFImageInfo(src, uint32_t(size), &bits, &width, &height, &xRes, &yRes, nullptr,
                              nullptr, nullptr, nullptr, nullptr, &status);
    bpl = int32_t((int64_t(bits) * width + 7) / 8);
  } else {
    int32_t code;
    switch (pNi->OutImage.OutMode & 0x7F) {
      case 8:
        code = 2;
        break;
      case 16:
        code = 5;
        break;
      case 4:
        code = 1;
        break;
      default:
        code = 0;
        break;
    }
    msg = jpgDecoder(&pNi->OutImage.InternalUse, src, reinterpret_cast<uint8_t**>(ppDes),
                     uint32_t(size), posY, lines, code, &bits, &width, &height, &bpl, &xRes, &yRes,
                     &status);
  }
  if (msg == 0) {
    NIDATA_InImage& in = pNi->InImage;
    in.BitsPerPixel = uint8_t(bits);
    in.Pixel = uint32_t(width);
    in.Line = uint32_t(height);
    in.BytesPerLine = uint32_t(bpl);
    in.XRes = uint16_t(xRes);
    in.YRes = uint16_t(yRes);
    pNi->OutImage.ImageWidth = uint32_t(width);
    pNi->OutImage.ImageHeight = uint32_t(height);
    uint8_t kind = in.ScanMode & 0x7F;
    if (bits == 8)
      in.SamplePerPixel = 1, kind = 2;
    else if (bits == 24)
      in.SamplePerPixel = 3, kind = 4;
    else if (bits == 32)
      in.SamplePerPixel = 4, kind = uint8_t(pNi->OutImage.OutMode & 0x7F);
    in.ScanMode = uint8_t((in.ScanMode & 0x80) | (kind & 0x7F));
  }
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Out: BitsPerPixel=%d, Pixel=%d, Line=%d, ppDes=%p\n",
         LM_UNIT, __LINE__, __func__, int(pNi->InImage.BitsPerPixel), int(pNi->InImage.Pixel),
         int(pNi->InImage.Line), ppDes ? *ppDes : nullptr);
  return FINISH(msg, status);
}

long JpegEncoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJFIFSize, long* pStatus) {
  LMLOG(kLvEntry, "In\n");
  if (!pNi || !pulJFIFSize) return FINISH(kMsgBadValue, -1013);
  if (!pSrc || !ppDes) {
    LMLOG(kLvEntry, "Error!!Illegal input buffer: pSrc=%p, pDes=%p\n", pSrc,
          static_cast<void*>(ppDes));
    return FINISH(kMsgBadBuffer, -1018);
  }
  const int kind = pNi->InImage.ScanMode & 0x7F;
  if (kind == 1 || kind == 0) {
    LMLOG(kLvEntry, "Error!!Bad value: pNi->InImage.ScanMode=%d\n", int(pNi->InImage.ScanMode));
    return FINISH(kMsgBadValue, -1006);
  }
  *pulJFIFSize = 0;
  const int32_t bits = pNi->InImage.BitsPerPixel;
  uint8_t quality;
  if (bits == 8) {
    if (pNi->OutImage.Gray.Compression != 2) {
      LMLOG(kLvEntry, "Error!!Bad value: pNi->OutImage.Gray.Compression=%d\n",
            int(pNi->OutImage.Gray.Compression));
      return FINISH(kMsgBadValue, -1006);
    }
    quality = pNi->OutImage.Gray.JPEGQuality;
  } else if (bits == 24 || bits == 32) {
    if (pNi->OutImage.Color.Compression != 2) {
      LMLOG(kLvEntry, "Error!!Bad value: pNi->OutImage.Color.Compression=%d\n",
            int(pNi->OutImage.Color.Compression));
      return FINISH(kMsgBadValue, -1006);
    }
    quality = pNi->OutImage.Color.JPEGQuality;
  } else {
    LMLOG(kLvEntry, "Error!!Not supported: pNi->InImage.BitsPerPixel=%d\n", int(bits));
    return FINISH(kMsgNotSupported, -1014);
  }
  const int64_t minStride = (int64_t(bits) * pNi->InImage.Pixel + 7) / 8;
  const int64_t stride =
      pNi->InImage.BytesPerLine > minStride ? int64_t(pNi->InImage.BytesPerLine) : minStride;
  const uint8_t* image = static_cast<const uint8_t*>(pSrc) +
                         (int64_t(pNi->InImage.x) * bits + 7) / 8 +
                         int64_t(pNi->InImage.y) * stride;
  uint32_t size = 0;
  long status = 0;
  long msg;
  if (stride > 0x7FFFFFFF || pNi->InImage.Pixel > 65535 || pNi->InImage.Line > 65535) {
    msg = kMsgBadValue, status = -1007;
  } else {
    msg = jpgEncoder(image, reinterpret_cast<uint8_t**>(ppDes),
                     (pNi->OutImage.OutMode & 0x2000) ? 1 : 0, quality, bits, channelSeqOf(pNi),
                     int32_t(pNi->InImage.Pixel), int32_t(pNi->InImage.Line), int32_t(stride),
                     pNi->InImage.XRes, pNi->InImage.YRes, &size, &status);
  }
  *pulJFIFSize = size;
  pNi->OutImage.OutMode = uint16_t(pNi->OutImage.OutMode | pNi->InImage.ScanMode | 0x80);
  pNi->OutImage.ImageWidth = pNi->InImage.Pixel;
  pNi->OutImage.ImageHeight = pNi->InImage.Line;
  if (msg == 0 && size == 0) msg = kMsgFail, status = -1015;
  if (LMLogOn())
    MDBG(kLvEntry, "", "",
         "[%s:%d] %s Out: OutImage.ImageWidth=%d, OutImage.ImageHeight=%d, ulJFIFSize=%ld\n",
         LM_UNIT, __LINE__, __func__, int(pNi->OutImage.ImageWidth), int(pNi->OutImage.ImageHeight),
         long(size));
  return FINISH(msg, status);
}

long JpegCrop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
              uint64_t ulSrcJFIFSize, long* plDesStripHeight) {
  LMLOG(kLvEntry, "In\n");
  if (!pNi) {
    LMLOG(kLvEntry, "Out: no image record, nothing to do\n");
    if (pStatus) *pStatus = 0;
    return kMsgOk;
  }
  const uint8_t savedAutoCrop = pNi->OutImage.AutoCrop, savedRotate = pNi->OutImage.Rotate;
  pNi->OutImage.AutoCrop = 0;
  pNi->OutImage.Rotate = 0;

  const NIDATA_InImage& in = pNi->InImage;
  int32_t side = -1;
  if (in.ScanType == 1)
    side = 0;
  else if (in.ScanType == 3)
    side = 1;
  else if (in.ScanType == 2)
    side = (in.CurPages & 1) ? 0 : 1;
  const int32_t bits = in.BitsPerPixel;
  bool jpegOut = false;
  uint8_t quality = 0;
  if (bits == 8) {
    jpegOut = pNi->OutImage.Gray.Compression == 2;
    quality = jpegOut ? pNi->OutImage.Gray.JPEGQuality : 0;
  } else if (bits == 24 || bits == 32) {
    jpegOut = pNi->OutImage.Color.Compression == 2;
    quality = jpegOut ? pNi->OutImage.Color.JPEGQuality : 0;
  }
  const bool inputJpeg = (in.ScanMode & 0x80) != 0;
  const bool compact = (pNi->OutImage.OutMode & 0x2000) != 0;
  if (pulDesJFIFSize) *pulDesJFIFSize = 0;
  if (plDesStripHeight) *plDesStripHeight = 0;

  int64_t msg = kMsgOk, status = 0;
  bool outputCall = false;
  if (!pSrc && !ppDes) {
    resetCrop(pNi);
  } else {
    uint8_t& id = pNi->OutImage.InternalUse;
    if (id < 1 || id >= kLMCropIds) {
      id = 0;
      msg = jpgLMAssignedImageId(&id, &status);
      if (msg == 0) gInputCount[id] = 0;  // a context that failed took its count along
    }
    bool first = false;
    const uint8_t* src = static_cast<const uint8_t*>(pSrc);
    if (msg == 0 && pSrc) {
      first = ++gInputCount[id] == 1;
      if (!inputJpeg) src = jpgLMRawArea(src, ulSrcJFIFSize, in);
      if (src == nullptr) {
        msg = kMsgBadValue;
        status = -1007;
      } else if (!(first && ppDes)) {
        msg = jpgLMSetInput(&id, side == 1, inputJpeg, 0, compact, jpegOut, quality, src,
                            ulSrcJFIFSize, inputJpeg && bits == 8 ? 8 : bits, channelSeqOf(pNi),
                            int32_t(in.Pixel), int32_t(in.Line), int32_t(in.BytesPerLine), in.XRes,
                            in.YRes, &status);
      }
    }
    if (msg == 0 && ppDes) {
      outputCall = true;
      if (id >= 1 && id < kLMCropIds)
        msg = jpgLMFinishInput(&id, side == 1, jpegOut, quality, &status);
      if (msg == 0 && pSrc && first) {
        msg = jpgLMJpegCrop(0, jpegOut && inputJpeg && compact, src, ulSrcJFIFSize, nullptr, 0, 0,
                            ppDes, pulDesJFIFSize, pNi, &status);
        if (msg == 0) {
          if (plDesStripHeight) *plDesStripHeight = long(pNi->OutImage.ImageHeight);
          resetCrop(pNi);
        }
      } else if (msg == 0) {
        int64_t strip = 0;
        msg = jpgLMJpegCropStrip(0, nullptr, 0, 0, ppDes, pulDesJFIFSize, &strip, pNi, &status);
        if (plDesStripHeight) *plDesStripHeight = long(strip);
      }
    }
  }
  // The last output strip (Status 0, or -1007 when the page's data was damaged) ends the context.
  if (pNi->OutImage.InternalUse != 0 &&
      (side < 0 || msg < 0 || (outputCall && msg == 0 && (status == 0 || status == -1007))))
    resetCrop(pNi);
  pNi->OutImage.AutoCrop = savedAutoCrop;
  pNi->OutImage.Rotate = savedRotate;
  return FINISH(long(msg), long(status));
}

long DeskewCrop(void*, void**, NIDATA*) { return 0; }
long DeskewCropCont(void*, void**, NIDATA*) { return 0; }
long GetDeskewCropContImage(void*, void**, NIDATA*) { return 0; }
