// The crop entry of the plug-in over the driver's crop contexts. Input strips go to the driver's
// entry unchanged; output with the automatic crop asked for is cut by the driver's content-bound
// crop (the driver's entry clears the request and only converts).
#include "plugins/Lumetra/JpegPart.h"

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/LMLib.h"

namespace lumetra::jpeg {

namespace {

constexpr uint8_t kAutoCropOn = 0x01;
constexpr int32_t kMaxStripLines = 65520;
constexpr long kMoreStrips = -1036;
constexpr long kDamagedData = -1007;

long finish(int64_t msg, int64_t status, long* pStatus) {
  if (pStatus) *pStatus = long(status);
  return long(msg);
}

// Side of the page: 0 front, 1 rear, -1 none.
int sideOf(const NIDATA_InImage& in) {
  if (in.ScanType == 1) return 0;
  if (in.ScanType == 3) return 1;
  if (in.ScanType == 2) return (in.CurPages & 1) ? 0 : 1;
  return -1;
}

// The codec's channel order of the record's input.
int32_t inputSeq(const NIDATA& ni) {
  if (ni.InImage.BitsPerPixel == 8) return 0;
  if (ni.InImage.ScanMode & 0x80) return 1;
  switch (ni.InImage.ScanMode & 0x7F) {
    case 8:
      return 2;
    case 16:
      return 5;
    default:
      return 1;
  }
}

// The output the record asks for: JPEG or raw, quality byte and channel order.
struct Ask {
  bool jpeg;
  uint8_t quality;
  int32_t seq;
};
Ask askOf(const NIDATA& ni, int32_t inBits, int32_t inSeq) {
  const NIDATA_OutImage& o = ni.OutImage;
  if (inBits == 8) return {o.Gray.Compression == 2, o.Gray.JPEGQuality, 0};
  int32_t seq = inSeq;
  switch (o.OutMode & 0x7F) {
    case 8:
      seq = 2;
      break;
    case 16:
      seq = 5;
      break;
    case 4:
      seq = 1;
      break;
  }
  return {o.Color.Compression == 2, o.Color.JPEGQuality, seq};
}

LMJpegCropContext* heldContext(const NIDATA& ni) {
  const uint8_t id = ni.OutImage.InternalUse;
  if (id < 1 || id >= kLMCropIds) return nullptr;
  LMJpegCropContext* c = jpgLMContext(id);
  return (c && (c->pImage || c->nStripLines > 0)) ? c : nullptr;
}

// The driver entry's reset call: frees the context and its input count.
void reset(NIDATA* pNi) {
  long ignored = 0;
  ::JpegCrop(nullptr, nullptr, pNi, nullptr, &ignored, 0, nullptr);
}

long cropWhole(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
               uint64_t ulSrcJFIFSize, long* plDesStripHeight) {
  const NIDATA_InImage& in = pNi->InImage;
  const bool inJpeg = in.ScanMode & 0x80;
  const int32_t bits = in.BitsPerPixel;
  const int32_t seq = inputSeq(*pNi);
  const Ask ask = askOf(*pNi, inJpeg && bits == 32 ? 24 : bits, seq);
  const uint8_t* src = static_cast<const uint8_t*>(pSrc);
  if (!inJpeg) src = jpgLMRawArea(src, ulSrcJFIFSize, in);
  if (src == nullptr) return finish(kMsgBadValue, kDamagedData, pStatus);
  uint8_t* des = static_cast<uint8_t*>(*ppDes);
  uint64_t size = 0;
  int32_t w = 0, h = 0, bpl = 0;
  int64_t st = 0;
  const int64_t msg = JPGKRJpegCrop(1, 1, inJpeg, src, ulSrcJFIFSize, bits, seq, int32_t(in.Pixel),
                                    int32_t(in.Line), int32_t(in.BytesPerLine), in.XRes, in.YRes,
                                    ask.jpeg, ask.quality, &des, &size, ask.seq, &w, &h, &bpl, &st);
  if (msg != 0) return finish(msg, st, pStatus);
  *ppDes = des;
  if (pulDesJFIFSize) *pulDesJFIFSize = ask.jpeg ? size : uint64_t(bpl) * uint64_t(h);
  if (plDesStripHeight) *plDesStripHeight = h;
  if (ask.jpeg) pNi->OutImage.OutMode |= 0x80;
  pNi->OutImage.ImageWidth = uint32_t(w);
  pNi->OutImage.ImageHeight = uint32_t(h);
  return finish(0, st == kDamagedData ? kDamagedData : 0, pStatus);
}

long nextStrip(void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
               long* plDesStripHeight) {
  LMJpegCropContext* c = heldContext(*pNi);
  // Nothing collected: the driver's entry answers as it answers every such request.
  if (!c) return ::JpegCrop(nullptr, ppDes, pNi, pulDesJFIFSize, pStatus, 0, plDesStripHeight);
  const int side = sideOf(pNi->InImage);
  const int32_t bits = c->nBytesPerPixel * 8;
  const int32_t inSeq = c->nIsJpeg ? (bits == 8 ? 0 : 1) : c->nChannelSeq;
  const Ask ask = askOf(*pNi, c->nIsJpeg && bits == 32 ? 24 : bits, inSeq);
  uint8_t& id = pNi->OutImage.InternalUse;
  int64_t st = 0;
  int64_t msg = jpgLMFinishInput(&id, side == 1, ask.jpeg, ask.quality, &st);
  c = msg == 0 ? heldContext(*pNi) : nullptr;
  if (!c) {
    reset(pNi);
    return finish(msg != 0 ? msg : kMsgBadBuffer, msg != 0 ? st : -1018, pStatus);
  }
  uint8_t* des = static_cast<uint8_t*>(*ppDes);
  uint64_t size = 0;
  int32_t stripLines = 0, w = 0, h = 0, bpl = 0;
  msg = JPGKRJpegCropStrip(1, 1, c->nIsJpeg, c, ask.jpeg, kMaxStripLines, ask.quality, &des, &size,
                           ask.seq, &stripLines, &w, &h, &bpl, &st);
  if (msg != 0) {
    reset(pNi);
    return finish(msg, st, pStatus);
  }
  if (st == kDamagedData) c->nDataRanOut = 1;
  if (stripLines == 0) {  // the page is complete
    reset(pNi);
    return finish(0, 0, pStatus);
  }
  *ppDes = des;
  if (pulDesJFIFSize) *pulDesJFIFSize = ask.jpeg ? size : uint64_t(bpl) * uint64_t(stripLines);
  if (plDesStripHeight) *plDesStripHeight = stripLines;
  if (ask.jpeg) pNi->OutImage.OutMode |= 0x80;
  pNi->OutImage.ImageWidth = uint32_t(w);
  pNi->OutImage.ImageHeight = uint32_t(h);
  if (c->nNextLine < c->nBottom && side >= 0) return finish(0, kMoreStrips, pStatus);
  st = c->nDataRanOut ? kDamagedData : 0;
  reset(pNi);
  return finish(0, st, pStatus);
}

}  // namespace

long start() { return ::InitializeLib(); }
long end() { return ::TerminateLib(); }
long setDebugMode(uint32_t level, const char* path) { return ::SetDebugMode(level, path); }

long crop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
          uint64_t ulSrcJFIFSize, long* plDesStripHeight) {
  if (!pNi || !(pNi->OutImage.AutoCrop & kAutoCropOn) || (!pSrc && !ppDes))
    return ::JpegCrop(pSrc, ppDes, pNi, pulDesJFIFSize, pStatus, ulSrcJFIFSize, plDesStripHeight);
  if (pulDesJFIFSize) *pulDesJFIFSize = 0;
  if (plDesStripHeight) *plDesStripHeight = 0;
  // One call that carries the whole page is cut in one go.
  if (pSrc && ppDes && !heldContext(*pNi))
    return cropWhole(pSrc, ppDes, pNi, pulDesJFIFSize, pStatus, ulSrcJFIFSize, plDesStripHeight);
  if (pSrc) {
    long st = 0;
    const long msg = ::JpegCrop(pSrc, nullptr, pNi, nullptr, &st, ulSrcJFIFSize, nullptr);
    if (msg != 0 || !ppDes) return finish(msg, st, pStatus);
  }
  return nextStrip(ppDes, pNi, pulDesJFIFSize, pStatus, plDesStripHeight);
}

}  // namespace lumetra::jpeg
