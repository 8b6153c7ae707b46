// The plug-in's C entries: each checks its arguments, runs its step on a copy of the page and
// answers Msg and Status (Lumetra.h).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "plugins/Lumetra/Cleanup.h"
#include "plugins/Lumetra/Detect.h"
#include "plugins/Lumetra/Documents.h"
#include "plugins/Lumetra/JpegPart.h"
#include "plugins/Lumetra/Lumetra.h"
#include "plugins/Lumetra/Pages.h"
#include "plugins/Lumetra/Raster.h"
#include "plugins/Lumetra/Tone.h"

#define LUMETRA_EXPORT extern "C" __attribute__((visibility("default")))

using lumetra::Raster;
using lumetra::Result;

namespace {

constexpr uint32_t kVersion = 0x00010000;  // 1.0.0
constexpr int kOutBw = 1, kOutGrey = 2;    // 4, colour, keeps the page as it is
constexpr uint8_t kQualityDrop = 0x80;     // AdvDrop: the quality (soft-edged) drop-out
constexpr uint8_t kDefaultBwThreshold = 128;
constexpr int kDefaultDropTolerance = 10;
constexpr size_t kDropBlockColours = 5;  // AdvColorDrop2's block: five R, G, B colours

std::mutex gStartMutex;
int gStarts = 0;
std::string gProductId;

long answer(Result r, long* pStatus) {
  if (pStatus) *pStatus = r.status;
  return r.msg;
}

// Runs an in-place step: the page, the step, and the result written back.
template <typename Step>
long inPlace(void* pSrc, void** ppDes, NIDATA* pNi, long* pStatus, Step step) {
  Raster page;
  Result r = lumetra::readInput(pSrc, pNi, &page);
  if (!r.ok()) return answer(r, pStatus);
  try {
    Raster out;
    r = step(page, &out);
    if (r.ok()) r = lumetra::writeBack(out, pSrc, ppDes, pNi);
  } catch (const std::bad_alloc&) {
    r = lumetra::kNoMemory;
  }
  return answer(r, pStatus);
}

// Runs a detection; the step answers the status.
template <typename Step>
long detect(void* pSrc, NIDATA* pNi, long* pStatus, Step step) {
  Raster page;
  Result r = lumetra::readInput(pSrc, pNi, &page);
  if (r.ok()) {
    try {
      r = {0, step(page)};
    } catch (const std::bad_alloc&) {
      r = lumetra::kNoMemory;
    }
  }
  return answer(r, pStatus);
}

// The colour to drop from the record's grey or black-and-white block.
template <typename Block>
lumetra::DropColour dropColourOf(const Block& b) {
  lumetra::DropColour c;
  c.filter = b.ColorFilter;
  if (b.DropThreshold) c.chromaThreshold = b.DropThreshold;
  c.soft = (b.AdvDrop & kQualityDrop) != 0;
  c.tolerance = b.DropTolerance ? b.DropTolerance : kDefaultDropTolerance;
  if (c.filter == 4) c.custom.push_back({b.RDropValue, b.GDropValue, b.BDropValue});
  return c;
}

long colourDrop(void* pSrc, void** ppDes, NIDATA* pNi, const uint8_t* block, long* pStatus) {
  if (pNi && pNi->InImage.BitsPerPixel != 24 && pSrc) return answer(lumetra::kBadMode, pStatus);
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) -> Result {
    const int kind = pNi->OutImage.OutMode & 0x7F;
    if (kind != kOutBw && kind != kOutGrey) return lumetra::kBadMode;
    const bool bw = kind == kOutBw;
    lumetra::DropColour c = bw ? dropColourOf(pNi->OutImage.BW) : dropColourOf(pNi->OutImage.Gray);
    if (block) {
      for (size_t i = 0; i < kDropBlockColours; ++i) {
        const uint8_t* rgb = block + 3 * i;
        if (rgb[0] == 0xFF && rgb[1] == 0xFF && rgb[2] == 0xFF) continue;
        c.custom.push_back({rgb[0], rgb[1], rgb[2]});
      }
    }
    const uint8_t background =
        bw ? pNi->OutImage.BW.BackgroundColor : pNi->OutImage.Gray.BackgroundColor;
    const int level = bw ? 0 : pNi->OutImage.Gray.BackgroundLevel;
    const int bwThreshold =
        pNi->OutImage.BW.BWThreshold ? pNi->OutImage.BW.BWThreshold : kDefaultBwThreshold;
    *out = lumetra::dropColour(page, c, background, level, bw ? 1 : 8, bwThreshold);
    return lumetra::kOk;
  });
}

}  // namespace

LUMETRA_EXPORT uint32_t LibraryCurrentVersion() { return kVersion; }

LUMETRA_EXPORT long InitializeLib() {
  std::lock_guard<std::mutex> lock(gStartMutex);
  const long r = lumetra::jpeg::start();
  if (r < 0) return r;
  ++gStarts;
  return 0;
}

LUMETRA_EXPORT long TerminateLib() {
  std::lock_guard<std::mutex> lock(gStartMutex);
  if (gStarts > 0 && --gStarts == 0) lumetra::dropPending();
  lumetra::jpeg::end();
  return 0;
}

LUMETRA_EXPORT long SetDebugMode(uint32_t level, const char* path) {
  return lumetra::jpeg::setDebugMode(level, path);
}

LUMETRA_EXPORT long IdentifyProductSetting(const char* usbId, long /*reserved*/, long* pStatus) {
  std::lock_guard<std::mutex> lock(gStartMutex);
  gProductId = usbId ? std::string(usbId, strnlen(usbId, 16)) : std::string();
  return answer(lumetra::kOk, pStatus);
}

LUMETRA_EXPORT long FreeMemory(void* block) {
  free(block);
  return 0;
}

LUMETRA_EXPORT long DeskewCrop(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                               long* pStatus) {
  if (pNi && !ppDes) return answer(lumetra::kBadBuffer, pStatus);
  Raster page;
  Result r = lumetra::readInput(pSrc, pNi, &page);
  if (!r.ok()) return answer(r, pStatus);
  std::vector<Raster> docs;
  try {
    r = lumetra::cropPage(page, *pNi, &docs);
    if (r.ok()) r = lumetra::produce(docs.front(), ppDes, pNi);
  } catch (const std::bad_alloc&) {
    r = lumetra::kNoMemory;
  }
  if (!r.ok()) return answer(r, pStatus);
  // The flatbed's further documents wait for GetMultipleImage (the status says how many); a
  // page's crop replaces whatever an earlier page left waiting.
  const long further = long(docs.size()) - 1;
  docs.erase(docs.begin());
  lumetra::keepPending(std::move(docs));
  return answer({0, further}, pStatus);
}

LUMETRA_EXPORT long GetMultipleImage(void* /*pSrc*/, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                     long* pStatus) {
  if (!pNi) return answer(lumetra::kNoRecord, pStatus);
  if (!ppDes) return answer(lumetra::kBadBuffer, pStatus);
  Raster doc;
  int left = 0;
  if (!lumetra::takePending(&doc, &left)) return answer(lumetra::kNothingFound, pStatus);
  const Result r = lumetra::produce(doc, ppDes, pNi);
  return answer(r.ok() ? Result{0, left} : r, pStatus);
}

// Never called by either front end; looked up by the data source only.
LUMETRA_EXPORT long DeskewCropCont(void*, void**, NIDATA*, void*, long* pStatus) {
  return answer(lumetra::kUnsupportedFormat, pStatus);
}
LUMETRA_EXPORT long GetDeskewCropContImage(void*, void**, NIDATA*, void*, long* pStatus) {
  return answer(lumetra::kUnsupportedFormat, pStatus);
}

LUMETRA_EXPORT long AutoOrientation(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                    long* pStatus) {
  if (pNi && !ppDes) return answer(lumetra::kBadBuffer, pStatus);
  Raster page;
  Result r = lumetra::readInput(pSrc, pNi, &page);
  if (!r.ok()) return answer(r, pStatus);
  try {
    r = lumetra::produce(
        lumetra::turnClockwise(page, lumetra::uprightTurns(page, pNi->InImage.XRes)), ppDes, pNi);
  } catch (const std::bad_alloc&) {
    r = lumetra::kNoMemory;
  }
  return answer(r, pStatus);
}

LUMETRA_EXPORT long Merge2Side(void* pSrc, void** ppDes, NIDATA* pNi, void* pRear, long* pStatus) {
  if (pNi && !ppDes) return answer(lumetra::kBadBuffer, pStatus);
  Raster front, rear;
  Result r = lumetra::readInput(pSrc, pNi, &front);
  if (r.ok()) r = lumetra::readInput(pRear, pNi, &rear);
  if (!r.ok()) return answer(r, pStatus);
  try {
    Raster merged;
    r = lumetra::mergeSides(front, rear, *pNi, &merged);
    if (r.ok()) r = lumetra::produce(merged, ppDes, pNi);
  } catch (const std::bad_alloc&) {
    r = lumetra::kNoMemory;
  }
  return answer(r, pStatus);
}

LUMETRA_EXPORT long BlankPageDetection(void* pSrc, void** /*ppDes*/, NIDATA* pNi, void* /*pExtra*/,
                                       long* pStatus) {
  return detect(pSrc, pNi, pStatus, [&](const Raster& page) {
    return lumetra::isBlank(page, pNi->InImage.XRes, pNi->OutImage.BlankThreshold,
                            lumetra::backgroundHint(pNi->InImage))
               ? kLumetraStatusBlankPage
               : 0L;
  });
}

LUMETRA_EXPORT long AutoColorDetection(void* pSrc, void** /*ppDes*/, NIDATA* pNi, void* /*pExtra*/,
                                       long* pStatus) {
  return detect(pSrc, pNi, pStatus, [&](const Raster& page) {
    return lumetra::hasColour(page, pNi->OutImage.ACThreshold) ? 0L : kLumetraStatusNoColour;
  });
}

LUMETRA_EXPORT long PatchCode(void* pSrc, void** /*ppDes*/, NIDATA* pNi, void* /*pExtra*/,
                              long* pStatus) {
  return detect(pSrc, pNi, pStatus, [&](const Raster& page) {
    const int index = lumetra::patchIndex(page, pNi->InImage.XRes, pNi->InImage.YRes);
    return index < 0 ? 0L : kLumetraStatusPatch1 - index;
  });
}

LUMETRA_EXPORT long PunchHoleRemoval(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                     long* pStatus) {
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    *out = page;
    lumetra::removePunchHoles(*out, pNi->InImage.XRes);
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long DoDespeckle(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                long* pStatus) {
  if (pNi && pSrc && pNi->InImage.BitsPerPixel != 1) return answer(lumetra::kBadMode, pStatus);
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    *out = page;
    const NIDATA_Noise& n = pNi->OutImage.Noise;
    lumetra::despeckle(*out, n.ratio, n.dotsNumber, n.isZeroBlack != 0);
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long EdgeCleanup(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                long* pStatus) {
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    *out = page;
    const NIDATA_Rect16& e = pNi->OutImage.Edge;
    lumetra::fillEdges(*out, e.Left, e.Top, e.Right, e.Bottom, lumetra::fillOf(*pNi, page.bits));
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long BackgroundProcess(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                      long* pStatus) {
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    *out = page;
    const uint8_t smooth = pNi->OutImage.BackgroundSmooth;
    // Bit 1 (set in the fill variants) paints the background with the fill colour.
    if (smooth != 0)
      lumetra::evenBackground(*out, pNi->OutImage.Mask, (smooth & 0x02) != 0,
                              lumetra::fillOf(*pNi, page.bits));
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long GrayQuality(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                long* pStatus) {
  if (pNi && pSrc && pNi->InImage.BitsPerPixel == 1) return answer(lumetra::kBadMode, pStatus);
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    const NIDATA_OutGray& g = pNi->OutImage.Gray;
    *out = lumetra::grayQuality(page, g.Mode, g.BackgroundLevel);
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long lThreshold(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                               long* pStatus) {
  if (pNi && pSrc && pNi->InImage.BitsPerPixel == 1) return answer(lumetra::kBadMode, pStatus);
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    const NIDATA_OutBW& bw = pNi->OutImage.BW;
    *out = lumetra::threshold(page, bw.Mode == 1, bw.DyThreshold,
                              bw.BWThreshold ? bw.BWThreshold : kDefaultBwThreshold,
                              pNi->InImage.XRes);
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long AdvColorDrop(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                 long* pStatus) {
  return colourDrop(pSrc, ppDes, pNi, nullptr, pStatus);
}

LUMETRA_EXPORT long AdvColorDrop2(void* pSrc, void** ppDes, NIDATA* pNi, void* pBlock,
                                  long* pStatus) {
  return colourDrop(pSrc, ppDes, pNi, static_cast<const uint8_t*>(pBlock), pStatus);
}

LUMETRA_EXPORT long AdvColorKeep(void* pSrc, void** ppDes, NIDATA* pNi, void* /*pExtra*/,
                                 long* pStatus) {
  if (pNi && pSrc && pNi->InImage.BitsPerPixel != 24) return answer(lumetra::kBadMode, pStatus);
  return inPlace(pSrc, ppDes, pNi, pStatus, [&](const Raster& page, Raster* out) {
    *out = lumetra::keepColour(page, dropColourOf(pNi->OutImage.Gray));
    return lumetra::kOk;
  });
}

LUMETRA_EXPORT long JpegCrop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize,
                             long* pStatus, uint64_t ulSrcJFIFSize, long* plDesStripHeight) {
  return lumetra::jpeg::crop(pSrc, ppDes, pNi, pulDesJFIFSize, pStatus, ulSrcJFIFSize,
                             plDesStripHeight);
}
