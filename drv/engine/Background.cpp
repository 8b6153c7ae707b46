// Background lines of a device and the padding values derived from them.
#include "drv/engine/Background.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "drv/device/ScanParameters.h"
#include "drv/engine/Calibration.h"
#include "drv/engine/EngineDump.h"
#include "drv/engine/GammaStore.h"
#include "drv/engine/ImageProcess.h"
#include "drv/platform/DbgLog.h"

namespace {

constexpr uint32_t kNoKey = 0xFFFFFFFF;
constexpr uint32_t kFrontBackgroundList = 2;
constexpr uint32_t kRearBackgroundList = 3;
constexpr uint8_t kNeutralChroma = 128;

// Item deletion clears the kept lines through the registry's seam.
[[maybe_unused]] const bool kClearHookInstalled = [] {
  ScanEngineHooks hooks = GetScanEngineHooks();
  hooks.ClearBackground = DoClearBackground;
  SetScanEngineHooks(hooks);
  return true;
}();

bool IsBinaryMode(uint32_t mode) { return mode == 0 || mode == 1 || mode == 3 || mode == 5; }

void FreeKeptLines(CScannerManagerScannerItem* item) {
  std::free(item->pBackgroundFront);
  item->pBackgroundFront = nullptr;
  item->pBackgroundRear = nullptr;
}

// Step shared by every way out: the key of what was asked, and the ready announcement for a
// thread that waits for the lines.
void FinishBackground(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap) {
  item->BackgroundKey[0] = ap.XRes;
  item->BackgroundKey[1] = ap.ScanMode;
  item->BackgroundKey[2] = ap.ScanMethod;
  item->BackgroundKey[3] = ap.byBackgroundLines;
  item->bGammaChanged = 0;
  LockKrMutex(&item->BackgroundMutex);
  item->bBackgroundReady = 1;
  const bool waiter = item->bBackgroundWaiter != 0;
  if (waiter) {
    item->bBackgroundWaiter = 0;
    SignalKrCondition(&item->BackgroundCondition);
  }
  UnlockKrMutex(&item->BackgroundMutex);
}

bool KeyMatches(const CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap) {
  return item->BackgroundKey[0] == ap.XRes && item->BackgroundKey[1] == ap.ScanMode &&
         item->BackgroundKey[2] == ap.ScanMethod && item->BackgroundKey[3] == ap.byBackgroundLines;
}

// A side's conversion pipeline from the model's background list; null for an empty list.
// False when the list is there but the pipeline cannot be built.
bool BuildPipeline(CScanner* scanner, uint32_t list, const char* side,
                   std::unique_ptr<CImageProcess>* out) {
  uint32_t count = 0;
  CImageProcess_InitializeParameter* stages = nullptr;
  scanner->GetImageProcessVariable(list, &count, &stages);
  if (count == 0 || stages == nullptr) return true;
  DbgPrintf(1, "Background %s Page Image Process Count = %i", side, static_cast<int>(count));
  DumpImageProcessVariables(1, count, stages);
  auto pipeline = std::make_unique<CImageProcess>();
  if (!pipeline->Initialize(count, stages)) return false;
  *out = std::move(pipeline);
  return true;
}

// Lines of one side into the kept side, converted when the side has a pipeline; at most the
// kept side's size.
bool ConvertSide(CImageProcess* pipeline, uint8_t* lines, uint32_t size, uint8_t* kept,
                 uint32_t keptSize) {
  uint8_t* out = lines;
  uint32_t outSize = size;
  if (pipeline != nullptr &&
      (!pipeline->Reset() || !pipeline->Process(lines, size, &out, &outSize)))
    return false;
  const uint32_t n = std::min(outSize, keptSize);
  std::memcpy(kept, out, n);
  std::memset(kept + n, 0, keptSize - n);
  return true;
}

// Splits interleaved chunks: the first to the front half, the next to the rear half, and so on.
void SplitInterleaved(const uint8_t* data, uint32_t sideBytes, uint32_t chunk, uint8_t* front,
                      uint8_t* rear) {
  uint32_t taken[2] = {0, 0};
  uint8_t* halves[2] = {front, rear};
  uint32_t at = 0;
  for (int side = 0; at < 2 * sideBytes; side ^= 1) {
    const uint32_t n = std::min({chunk, sideBytes - taken[side], 2 * sideBytes - at});
    std::memcpy(halves[side] + taken[side], data + at, n);
    taken[side] += n;
    at += n;
    if (taken[side ^ 1] == sideBytes) side ^= 1;  // the other side is full: stay on this one
  }
}

struct BackgroundRead {
  CScannerManagerScannerItem* item;
  const SCANPARAMETER_UNION& ap;
  const SCANPARAMETER_UNION& dev;
  uint32_t width;    // device pixels per line
  uint32_t sideRaw;  // R: bytes of one side as the device sends them
};

void DumpRaw(const char* name, const uint8_t* data, size_t length) {
  if (gdwDebugLevel > 2) ReplaceDebugRawFile(name, {{data, length}});
}

void DumpText(const char* name, uint32_t width, uint32_t lines) {
  if (gdwDebugLevel <= 2) return;
  char text[32];
  const int n =
      std::snprintf(text, sizeof text, "%d x %d", static_cast<int>(width), static_cast<int>(lines));
  ReplaceDebugRawFile(name, {{text, static_cast<size_t>(n)}});
}

// The device's lines of both sides: [0, R) front, [R, 2R) rear. False after a failed READ.
bool ReadDeviceLines(const BackgroundRead& r, std::vector<uint8_t>* data) {
  IoObject* io = r.item->pIoObject;
  CScanner* scanner = r.item->pScanner;
  const uint32_t R = r.sideRaw;
  const uint32_t lines = r.dev.byBackgroundLines;
  if (r.dev.ScanMethod != 4) {
    data->assign(R, 0);
    if (!io->Read(data->data(), R, krdata::kBackgroundLines)) return false;
    DumpRaw("ReadBackground_Front.raw", data->data(), R);
    DumpText("ReadBackground.txt", r.width, lines);
    return true;
  }
  data->assign(2 * static_cast<size_t>(R), 0);
  switch (scanner->GetDuplexMode()) {
    case 0:
    case 4:
    case 7:
      if (!io->Read(data->data(), R, krdata::kBackgroundLines)) return false;
      DumpRaw("ReadBackground_Front.raw", data->data(), R);
      DumpText("ReadBackground.txt", r.width, lines);
      if (!io->Read(data->data() + R, R, krdata::kBackgroundLines)) return false;
      DumpRaw("ReadBackground_Rear.raw", data->data() + R, R);
      return true;
    case 1: {
      std::vector<uint8_t> interleaved(2 * static_cast<size_t>(R));
      if (!io->Read(interleaved.data(), 2 * R, krdata::kBackgroundLines)) return false;
      DumpRaw("ReadBackground_Front.raw", interleaved.data(), 2 * R);
      DumpText("ReadBackground.txt", r.width, lines);
      uint8_t inLines = 0;
      uint32_t chunk = 0;
      scanner->GetDeMuxDuplexInformation(&inLines, &chunk);
      if (inLines != 0) chunk *= r.dev.BitsPerPixel * r.width / 8;
      if (chunk == 0) chunk = R;  // no unit: one side after the other
      SplitInterleaved(interleaved.data(), R, chunk, data->data(), data->data() + R);
      DumpRaw("ReadBackgroundDe_Front.raw", data->data(), R);
      DumpRaw("ReadBackgroundDe_Rear.raw", data->data() + R, R);
      return true;
    }
    default:
      // Styles 2, 3, 5 and the rest: one block, the front lines, then the rear lines.
      if (!io->Read(data->data(), 2 * R, krdata::kBackgroundLines)) return false;
      DumpRaw("ReadBackground_Front.raw", data->data(), 2 * R);
      DumpText("ReadBackground.txt", r.width, lines);
      return true;
  }
}

// Reads, splits and converts the lines into the kept sides. False when it failed (the kept
// sides are then zero).
bool ReadAndConvert(const BackgroundRead& r) {
  CScannerManagerScannerItem* item = r.item;
  std::unique_ptr<CImageProcess> front, rear;
  const bool twoSidedClient = r.ap.ScanMethod == 4;
  if (!BuildPipeline(item->pScanner, kFrontBackgroundList, "Front", &front) ||
      (twoSidedClient && !BuildPipeline(item->pScanner, kRearBackgroundList, "Rear", &rear)))
    return false;
  std::vector<uint8_t> data;
  if (!ReadDeviceLines(r, &data)) return false;
  const uint32_t side = item->dwBackgroundSideSize;
  uint8_t* frontLines = data.data();
  uint8_t* rearLines = r.dev.ScanMethod == 4 ? data.data() + r.sideRaw : nullptr;
  bool ok = true;
  if (rearLines != nullptr && r.ap.ScanMethod == 5) {
    // The client wants the rear only: the rear lines are its page's background.
    ok = ConvertSide(front.get(), rearLines, r.sideRaw, item->pBackgroundFront, side);
  } else {
    ok = ConvertSide(front.get(), frontLines, r.sideRaw, item->pBackgroundFront, side);
    if (ok && item->pBackgroundRear != nullptr) {
      ok = rearLines != nullptr
               ? ConvertSide(rear.get(), rearLines, r.sideRaw, item->pBackgroundRear, side)
               : false;
    }
  }
  if (ok && gdwDebugLevel > 2) {
    DumpRaw("ReadBackgroundOut_Front.raw", item->pBackgroundFront, side);
    DumpText("ReadBackgroundOut.txt", item->dwBackgroundPixels, r.dev.byBackgroundLines);
    if (item->pBackgroundRear != nullptr)
      DumpRaw("ReadBackgroundOut_Rear.raw", item->pBackgroundRear, side);
  }
  return ok;
}

// Device pixels of a background line: the device's pixel count, or the feeder's width at the
// device's resolution; down to the pixel bound.
uint32_t DeviceLineWidth(CScannerManagerScannerItem* item, SCANPARAMETER_UNION& dev) {
  CScanner* scanner = item->pScanner;
  const ScanModelInfo& info = scanner->ModelInfo();
  uint64_t width = 0;
  if (scanner->GetFeature(kFeatureWholeDeviceWidth)) {
    width = dev.PixelNum;
  } else {
    const uint32_t baseRes = info.InquiryBigEndian(16, 2);
    if (baseRes != 0) width = uint64_t{dev.XRes} * info.InquiryBigEndian(24, 3) / baseRes;
  }
  uint32_t bound = scanner->GetPixelBoundaryFWSide(item, &dev);
  if (bound == 0) bound = 1;
  width -= width % bound;
  return static_cast<uint32_t>(std::min<uint64_t>(width, 0xFFFFFFFF));
}

}  // namespace

bool GetBackgroundToBuffer(CScannerManagerScannerItem* item) {
  CScanner* scanner = item->pScanner;
  SCANPARAMETER_UNION ap, dev;
  scanner->GetAPScanParameter(&ap);
  scanner->GetNewScanParameter(&dev);
  const uint32_t width = DeviceLineWidth(item, dev);
  const uint64_t sideRaw =
      uint64_t{dev.byBackgroundLines} * (uint64_t{dev.BitsPerPixel} * width / 8);
  const uint64_t side =
      (uint64_t{ap.BitsPerPixel} * ap.PixelNum / 8) * uint64_t{dev.byBackgroundLines};

  const uint32_t keptSide = item->dwBackgroundSideSize;
  const uint32_t keptPixels = item->dwBackgroundPixels;
  item->dwBackgroundSideSize = static_cast<uint32_t>(std::min<uint64_t>(side, 0xFFFFFFFF));
  item->dwBackgroundPixels = ap.PixelNum;

  bool result = true;
  if (item->pBackgroundFront != nullptr && KeyMatches(item, ap) && keptPixels == ap.PixelNum &&
      keptSide == side && !item->bGammaChanged && !item->bBackgroundReadFailed) {
    DbgPrintf(1, "Background lines kept from the last job");
  } else if (side == 0 || IsBinaryMode(ap.ScanMode)) {
    // Nothing to read; lines kept for other settings would not describe this job.
    FreeKeptLines(item);
  } else {
    FreeKeptLines(item);
    const uint64_t sides = ap.ScanMethod == 4 ? 2 : 1;
    // Sizes beyond what one READ and the item's 32-bit fields describe are refused as well.
    const bool fits = side * sides <= 0xFFFFFFFF && sideRaw <= 0x7FFFFFFF;
    void* kept = fits ? std::malloc(static_cast<size_t>(side * sides)) : nullptr;
    if (kept == nullptr) {
      DbgPrintf(1, "memory allocation failed : %s", "background lines");
      item->dwBackgroundSideSize = 0;
      result = false;
    } else {
      item->pBackgroundFront = static_cast<uint8_t*>(kept);
      item->pBackgroundRear = sides == 2 ? item->pBackgroundFront + side : nullptr;
      const BackgroundRead read{item, ap, dev, width, static_cast<uint32_t>(sideRaw)};
      bool ok = false;
      try {
        ok = ReadAndConvert(read);
      } catch (const std::bad_alloc&) {
        DbgPrintf(1, "memory allocation failed : %s", "background conversion");
      }
      if (!ok) {
        // The job goes on with zero lines; the next job reads again.
        DbgPrintf(1, "Read background lines failed");
        std::memset(kept, 0, static_cast<size_t>(side * sides));
      }
      item->bBackgroundReadFailed = ok ? 0 : 1;
    }
  }
  FinishBackground(item, ap);
  return result;
}

bool CountingPaddingValues(CScannerManagerScannerItem* item) {
  CScanner* scanner = item->pScanner;
  SCANPARAMETER_UNION ap, dev;
  scanner->GetAPScanParameter(&ap);
  scanner->GetNewScanParameter(&dev);
  uint8_t* padding = item->PaddingValues;
  const uint32_t mode = ap.ScanMode;
  const uint32_t pixels = item->dwBackgroundPixels;
  const uint32_t channels = mode == 2 || ModeKind(mode) == 1 || ModeKind(mode) == 2 ? 1 : 3;
  // A mean needs at least two pixels a line, and the kept side must hold every channel line.
  const bool fromLines = !IsBinaryMode(mode) && ap.Compression == 0 &&
                         item->pBackgroundFront != nullptr && pixels >= 2 &&
                         uint64_t{channels} * pixels <= item->dwBackgroundSideSize;
  if (fromLines) {
    const uint32_t sides = ap.ScanMethod == 4 && item->pBackgroundRear != nullptr ? 2 : 1;
    const uint32_t from = pixels / 4, to = pixels - pixels / 4;
    for (uint32_t s = 0; s < sides; ++s) {
      const uint8_t* kept = s == 0 ? item->pBackgroundFront : item->pBackgroundRear;
      for (uint32_t c = 0; c < channels; ++c) {
        const uint8_t* line = kept + c * pixels;
        uint32_t sum = 0;
        for (uint32_t i = from; i < to; ++i) sum += line[i];
        padding[3 * s + c] = static_cast<uint8_t>(sum / (to - from));
      }
    }
    if (dev.ScanMethod == 4 && ap.ScanMethod == 5) std::copy_n(padding, 3, padding + 3);
  } else {
    const uint32_t length = GammaTableLength(item);
    if (length == 0) return true;  // no store before the device is opened
    // Entry 220 of the client's tables (its first byte in two-byte tables).
    const uint32_t at = length == 256 ? 220 : 440;
    auto entry = [&](uint32_t filter) { return GammaTable(item, filter, 1)[at]; };
    const uint32_t cf = ap.ColorFilter;
    const uint8_t grey = cf >= 1 && cf <= 3
                             ? entry(cf)
                             : static_cast<uint8_t>((3 * entry(2) + 2 * entry(3) + entry(1)) / 6);
    if (IsBinaryMode(mode)) {
      uint8_t v = grey < 129 ? 255 : 0;
      if (scanner->GetFeature(kFeatureInvertedPadding)) v = static_cast<uint8_t>(~v);
      padding[0] = v;
    } else if (mode == 2) {
      padding[0] = grey;
    } else if (mode == 4) {
      padding[0] = entry(1);
      padding[1] = entry(2);
      padding[2] = entry(3);
    } else if (mode == 6) {
      padding[0] = grey;
      padding[1] = kNeutralChroma;
      padding[2] = kNeutralChroma;
    } else {
      std::fill_n(padding, 3, 0);
    }
    std::copy_n(padding, 3, padding + 3);
  }
  DbgPrintf(1, "Padding values: front %d %d %d, rear %d %d %d", padding[0], padding[1], padding[2],
            padding[3], padding[4], padding[5]);
  return true;
}

void DoClearBackground(CScannerManagerScannerItem* item) {
  FreeKeptLines(item);
  for (uint32_t& key : item->BackgroundKey) key = kNoKey;
  item->dwBackgroundSideSize = 0;
  item->bGammaChanged = 1;
}

bool ScanBackgroundToBuffer(CScannerManagerScannerItem* /*item*/) { return true; }
