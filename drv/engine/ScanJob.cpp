// The job start (device preparation, job flags, buffers, pipes and threads) and the job end.
#include "drv/engine/ScanJob.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "drv/device/CImprinter.h"
#include "drv/device/Nvram.h"
#include "drv/engine/Calibration.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ImageProcess.h"
#include "drv/engine/ScanSettings.h"
#include "drv/engine/Topology.h"
#include "drv/engine/WorkerThreads.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint16_t kDataHardwareProcess = 0x98;
constexpr uint16_t kDataDuplexMode = 0xB2;
constexpr uint32_t kHardwareBlockSize = 68;
constexpr uint32_t kHardwareRecordSize = 132;
constexpr uint32_t kWindowSize = 96;
constexpr size_t kWindowMethodAt = 43;
constexpr int64_t kPageSizeGuard = 150000000000LL;
constexpr uint64_t kContinuousPageInches = 14;
constexpr int64_t kUnknownPageSize = 0x400000;
constexpr uint32_t kPipeHeaderSlack = 590;

// How a job start fails: with the item's status, the command object's, or out of memory.
enum class Failure { Status, Command, Memory };
struct JobStartFailure {
  Failure kind;
  const char* what;
};

[[noreturn]] void FailStatus(CScannerManagerScannerItem* item, int32_t status) {
  item->lErrorStatus = status;
  throw JobStartFailure{Failure::Status, nullptr};
}
[[noreturn]] void FailCommand() { throw JobStartFailure{Failure::Command, nullptr}; }
[[noreturn]] void FailMemory(const char* what) { throw JobStartFailure{Failure::Memory, what}; }

std::atomic<JobStartAllocationHook> gAllocationHook{nullptr};
bool MayAllocate(const char* what) {
  const JobStartAllocationHook hook = gAllocationHook.load();
  return hook == nullptr || hook(what);
}
// The job start's buffers: null when the system (or the test's hook) has no memory.
uint8_t* NewBuffer(const char* what, size_t bytes, bool zeroed = false) {
  if (!MayAllocate(what)) return nullptr;
  return static_cast<uint8_t*>(zeroed ? std::calloc(1, bytes) : std::malloc(bytes));
}

bool IsAdfMethod(uint32_t method) { return method == 1 || method == 4 || method == 5; }
bool IsJpegKind(uint32_t kind) { return kind >= 3 && kind <= 6; }

void SendHardwareBlock(CScannerManagerScannerItem* item, const HWIMAGEPROCPARAMETER_UNION& r,
                       uint8_t side) {
  uint8_t b[kHardwareBlockSize] = {};
  b[2] = 100;
  b[3] = kHardwareBlockSize;
  b[4] = side;
  const uint8_t bytes[11] = {r.AutoColor,   r.BlurLevel,       r.SharpenLevel,  r.RemoveBG,
                             r.BlankDetect, r.Hori_MagSwitch,  r.Ver_MagSwitch, r.WatermarkSwitch,
                             r.ImageMode,   r.AutoOrientation, r.CropDeskew};
  std::memcpy(b + 6, bytes, sizeof bytes);
  PutBE16(b + 17, r.CropDeskewMarginBottom);
  PutBE16(b + 19, r.CropDeskewMarginRight);
  PutBE16(b + 21, r.CropDeskewMarginTop);
  PutBE16(b + 23, r.CropDeskewMarginLeft);
  b[25] = r.Rotate;
  PutBE32(b + 26, r.ImageWidthResize);
  PutBE32(b + 30, r.ImageHeightResize);
  b[34] = r.CropBgPaddingR;
  b[35] = r.CropBgPaddingG;
  b[36] = r.CropBgPaddingB;
  if (!item->pIoObject->Send(b, kHardwareBlockSize, kDataHardwareProcess)) FailCommand();
}

// Step 8 of the device preparation: the quantisation tables of a device-JPEG job.
void GetJpegTables(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& dev) {
  const uint32_t x = dev.XRes;
  int size;
  if (dev.ScanMode == 0x5000004)
    size = x <= 100 ? 4 : x <= 300 ? 5 : x <= 500 ? 7 : 10;
  else
    size = x <= 100 ? 2 : x <= 300 ? 3 : x <= 500 ? 5 : 8;
  const int channels = dev.ScanMode == 0x6000002 ? 1 : 3;
  const int sampling = dev.ScanMode == 0x3000004 ? 3 : dev.ScanMode == 0x4000004 ? 1 : 0;
  const int r = KRJFIFGetQuantTb(size, channels, sampling, static_cast<int>(dev.PixelNum),
                                 static_cast<int>(dev.LineNum), item->DefaultLumaQuant,
                                 item->DefaultChromaQuant);
  if (r != 1) {
    DbgPrintf(1, "KRJFIF Get Quantization Table return = %i", r);
    FailStatus(item, kParameterError);
  }
}

void PrepareDevice(CScannerManagerScannerItem* item, SCANPARAMETER_UNION* dev) {
  IoObject* io = item->pIoObject;
  CScanner* scanner = item->pScanner;
  auto ioStatus = [&] { return static_cast<int32_t>(io->GetStatusLong()); };
  if (!io->PrepareReadImage() || !io->IoLockStart()) FailStatus(item, ioStatus());
  if (!io->ReserveUnit(2)) FailCommand();
  if (scanner->GetFeature(kFeatureNvramAtJobStart) && (scanner->InquiryData()[89] & 0x10) != 0) {
    uint8_t record[krnvm::kBufferSize] = {};
    uint8_t version = 0;
    uint16_t length = 0;
    const long r = InternalReadNVMData_Full(item, record, &version, &length);
    if (r != 0) FailStatus(item, static_cast<int32_t>(r));
    scanner->SetNVMData(record, version, length);
  }
  SCANPARAMETER_UNION ap;
  scanner->GetAPScanParameter(&ap);
  if (IsAdfMethod(ap.ScanMethod)) {
    uint8_t status[5] = {};
    if (!io->MediaCheck(status, sizeof status, 0)) FailStatus(item, ioStatus());
    item->bMediaStatus = status[4];
    if ((status[4] & 0x01) == 0) FailStatus(item, kNoPaper);
  }
  if (!DoLightCheck(item)) {
    if (item->lErrorStatus == 0) item->lErrorStatus = ioStatus();
    throw JobStartFailure{Failure::Status, nullptr};
  }
  scanner->TransformScanParameter(item);
  scanner->GetNewScanParameter(dev);
  LogScanParameter("IO.ScanParameter", *dev);
  if (IsJpegKind(ModeKind(dev->ScanMode))) GetJpegTables(item, *dev);
}

void SetJobFlags(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap,
                 const SCANPARAMETER_UNION& dev) {
  CScanner* scanner = item->pScanner;
  item->dwPagesStarted = 0;
  item->dwEOFPagesEnded = 0;
  EnterKrCriticalSection(&item->ItemCriticalSection);
  item->dwIOEndingPage = 0;
  LeaveKrCriticalSection(&item->ItemCriticalSection);
  item->lErrorStatus = 0;
  item->lMessageStatus = 0;
  item->bSavedFrontADFStatus = 0;
  item->bEOFCarryPending = 0;
  item->dwEOFCarryLineOffset = 0;
  item->dwEOFCarryLastLines = 0;
  item->bEOFPageFlow = 0;
  item->bJobFinishedSeen = 0;
  const uint32_t devKind = ModeKind(dev.ScanMode);
  item->bContinuousMode = (dev.CtrlMode & 0x4) != 0 && (dev.CtrlMode & 0x1) == 0;
  item->bMultiFeedAsMessage = (dev.ExtParam0 & 0x30) == 0;
  item->bSkewAsMessage = (dev.ExtParam0 & 0x1C0) == 0x40;
  item->bUnknownPageLength = dev.LineNum == 0xFFFFFFFF;
  item->bDeviceJpeg = IsJpegKind(devKind);
  item->bIRUVJob = devKind >= 8 && devKind <= 10;
  item->bR2EOPStyle = scanner->IsR2EOPStyle();
  item->bRawFromDeviceJpeg = scanner->GetFeature(kFeatureExtendedModes) &&
                             !IsJpegKind(ModeKind(ap.ScanMode)) && IsJpegKind(devKind);
  item->bJpegReEncode = 0;
  item->bJpegDecodeBeforeConversion = 0;
}

void SetWindowAndTray(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& dev) {
  IoObject* io = item->pIoObject;
  KR_WindowDataSet_VER2 window;
  std::memset(&window, 0, sizeof window);
  item->pScanner->GetWindowDescriptor(item, &window);
  const uint32_t kind = ModeKind(dev.ScanMode);
  if (item->pScanner->GetFeature(kFeatureIrUvWindowKind) && kind >= 8 && kind <= 10)
    window.Data[39] |= static_cast<uint8_t>(kind - 7);
  item->TessalineTrayStatus = 0;
  uint8_t status[5] = {};
  io->MediaCheck(status, sizeof status, 0);
  if (status[4] == 0x21 || status[4] == 0x11) item->TessalineTrayStatus = 1;
  SwapWindowForTray(item, &window);
  DbgPrintf(1, "Dump Window Descriptor");
  DbgDump(1, window.Data, kWindowSize);
  DbgPrintf(1, "IOThread:Set Window");
  if (!io->SetWindow(window.Data, kWindowSize)) FailCommand();
}

void SendHardwareProcessing(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& dev) {
  CScanner* scanner = item->pScanner;
  if (!scanner->IsEnableHWImageProcess()) return;
  HWIMAGEPROCPARAMETER_UNION front, rear;
  scanner->GetAPHWImageProcParm(&front, 0);
  scanner->GetAPHWImageProcParm(&rear, 1);
  const bool differ = std::memcmp(&front, &rear, kHardwareRecordSize) != 0;
  if (dev.ScanMethod == 4 && differ) {
    SendHardwareBlock(item, front, 0);
    SendHardwareBlock(item, rear, 1);
  } else if (dev.ScanMethod == 5) {
    SendHardwareBlock(item, rear, 1);
  } else {
    SendHardwareBlock(item, front, 0);
  }
}

void StartImprinter(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap,
                    const SCANPARAMETER_UNION& dev) {
  CImprinter* imprinter = item->pImprinter;
  if (imprinter == nullptr || !imprinter->IsPresent() || !IsAdfMethod(dev.ScanMethod)) return;
  const bool keepMotor = (ap.ExtParam0 & 0x4000) != 0;
  if (!imprinter->StartImprinterMotor(imprinter->IsPrintEnabled() || keepMotor)) FailCommand();
  if (imprinter->IsPrintEnabled() && !keepMotor && !imprinter->EnableImprinterHead()) FailCommand();
}

void ReadDuplexMode(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& dev) {
  item->dwDuplexTransferMode = 0;
  item->bTwoSides = 0;
  item->bDeMultiplexed = 0;
  item->bEOFDuplexStyle = 0;
  item->bGL310DuplexStyle = 0;
  // The device's JPEG stream has no page ends a continuous scan can cut pages at, one side or
  // two.
  if (item->bDeviceJpeg && item->bContinuousMode) {
    DbgPrintf(1, "Continuous scan with device JPEG is not supported");
    FailStatus(item, kParameterError);
  }
  if (dev.ScanMethod != 4) return;
  CScanner* scanner = item->pScanner;
  uint8_t record[7] = {};
  if (!item->pIoObject->Read(record, sizeof record, kDataDuplexMode)) FailCommand();
  scanner->SetDuplexMode(record[4]);
  scanner->SetDeMuxDuplex(GetBE16(record + 5));
  const uint32_t mode = scanner->GetDuplexMode();
  item->dwDuplexTransferMode = mode;
  DbgPrintf(1, " - Get duplex transfer mode = %d", mode);
  switch (mode) {
    case 0:
      item->bTwoSides = 1;
      break;
    case 1:
    case 2:
    case 3:
      item->bTwoSides = 1;
      item->bDeMultiplexed = 1;
      if (mode == 2) item->bR2EOPStyle = 1;
      if (mode == 3) item->bR2EOPStyle = 0;
      break;
    case 4:
    case 5:
      if (item->bContinuousMode) FailStatus(item, kParameterError);
      break;
    case 6:
      item->bTwoSides = 1;
      item->bEOFDuplexStyle = 1;
      break;
    case 7:
      item->bTwoSides = 1;
      item->bGL310DuplexStyle = 1;
      break;
    default:
      break;
  }
}

// Bytes of `unit` multiples that fit in `size`, never below one unit.
uint64_t WholeMultiple(uint64_t size, uint64_t unit) {
  if (unit == 0) return size;
  return size < unit ? unit : size / unit * unit;
}

CExtPipe* NewPipe(CScannerManagerScannerItem* item, const char* name, int64_t minimum,
                  int64_t maximum) {
  DbgPrintf(1, "  Allocate %s pipe (size: %lld-%lld) ", name, static_cast<long long>(minimum),
            static_cast<long long>(maximum));
  try {
    return new CExtPipe(item, minimum, maximum);
  } catch (const std::bad_alloc&) {
    FailMemory(name);
  }
}

void StartThread(CScannerManagerScannerItem* item, ScanThreadSlot slot, KrThreadRoutine entry,
                 const char* log) {
  if (log != nullptr) DbgPrintf(1, "%s", log);
  if (!CreateKrThread(&item->Threads[slot], entry, item, nullptr)) {
    InitialInvalidKrThread(&item->Threads[slot]);
    FailStatus(item, kSystemError);
  }
}

// Step 3 of the second half: the pipelines of the job's streams.
CImageProcess* MakePipeline(CScannerManagerScannerItem* item, uint32_t count,
                            const CImageProcess_InitializeParameter* list, const char* what) {
  if (count == 0) return nullptr;
  DbgPrintf(1, "%s Image Process Count = %i", what, count);
  DumpImageProcessVariables(1, count, list);
  CImageProcess* pipeline = MayAllocate("pipeline") ? new (std::nothrow) CImageProcess : nullptr;
  if (pipeline == nullptr) FailMemory("pipeline");
  if (!pipeline->Initialize(count, list)) {
    const int32_t status = pipeline->GetStatusLong();
    delete pipeline;
    FailStatus(item, status != 0 ? status : kParameterError);
  }
  return pipeline;
}

uint64_t Lcm(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return a + b;
  uint64_t x = a, y = b;
  while (y != 0) {
    const uint64_t t = x % y;
    x = y;
    y = t;
  }
  return a / x * b;
}

// Duplex styles the worker bodies cannot carry: two-sided decoding alternates between the two
// IO pipes and needs headers in both (styles 6 and 7).
bool StyleFitsTopology(const CScannerManagerScannerItem* item, uint8_t mask) {
  const bool twoSidedJpeg =
      (mask & kTopologyTwoSides) != 0 &&
      (mask & (kTopologyRawFromJpeg | kTopologyReEncode | kTopologyDecodeBeforeConversion)) != 0;
  if (twoSidedJpeg) return item->bEOFDuplexStyle || item->bGL310DuplexStyle;
  // Continuous duplex reads the rear in step with the front, as bytes without headers: the
  // styles that send each side with headers of its own would feed the headers into the rear
  // page and leave the reader waiting for a page end that never comes.
  if ((mask & kTopologyContinuousDuplex) != 0)
    return !item->bEOFDuplexStyle && !item->bGL310DuplexStyle;
  return true;
}

CExtPipe* MakeTopologyPipe(CScannerManagerScannerItem* item, const char* name, int64_t minimum,
                           int64_t maximum) {
  return NewPipe(item, name, minimum, maximum);
}

// Second half: sizes, buffers, pipes, threads.
void BuildTopology(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap,
                   const SCANPARAMETER_UNION& dev) {
  CScanner* scanner = item->pScanner;
  const uint64_t clientLine = uint64_t{ap.BitsPerPixel} * ap.PixelNum / 8;
  const uint64_t deviceLine = uint64_t{dev.BitsPerPixel} * dev.PixelNum / 8;
  const uint32_t deviceKind = ModeKind(dev.ScanMode);

  // The de-multiplexing unit: lines from the device, in bytes.
  item->dwDeMuxBlockSize = 0;
  if (item->bDeMultiplexed) {
    uint8_t inLines = 0;
    uint32_t size = 0;
    scanner->GetDeMuxDuplexInformation(&inLines, &size);
    if (inLines == 1) item->dwDeMuxBlockSize = static_cast<uint32_t>(size * deviceLine);
    if (item->dwDeMuxBlockSize == 0) {
      DbgPrintf(1, "De-multiplexing unit of 0 bytes");
      FailStatus(item, kParameterError);
    }
  }

  uint32_t count = 0;
  CImageProcess_InitializeParameter* list = nullptr;
  scanner->GetImageProcessVariable(0, &count, &list);
  item->pFrontPipeline = MakePipeline(item, count, list, "Front Page");
  if (item->pFrontPipeline != nullptr && item->bDeviceJpeg) item->bJpegDecodeBeforeConversion = 1;
  if (item->bTwoSides) {
    scanner->GetImageProcessVariable(1, &count, &list);
    item->pRearPipeline = MakePipeline(item, count, list, "Rear Page");
  }
  if (item->bIRUVJob) {
    scanner->GetIRUVImageProcessVariable(&count, &list);
    item->pIRUVPipeline = MakePipeline(item, count, list, "IR & UV");
  }
  if (scanner->GetFeature(kFeatureJpegReencode) && item->bDeviceJpeg)
    item->bJpegReEncode = !item->bJpegDecodeBeforeConversion && (dev.CtrlMode & 0x2) != 0;
  const uint8_t mask = TopologyMask(item);
  if (!IsKnownTopology(mask) || !StyleFitsTopology(item, mask)) {
    DbgPrintf(1, "No job topology for mask 0x%02X (duplex mode %d)", mask,
              item->dwDuplexTransferMode);
    FailStatus(item, kParameterError);
  }

  // Pipe settings, read by every pipe of the job.
  item->dwPipeMemoryDivider = item->bTwoSides ? 4 : 2;
  const bool cacheSize = ap.CacheMode == 0 && ap.CacheSize > 0 && ap.CacheSize <= 0x20000000;
  item->llPipeDiskHardLimit =
      cacheSize ? (item->bTwoSides ? ap.CacheSize / 2 : ap.CacheSize) : 0x8000000;
  item->dwBatchPageRange[0] = 2;
  item->dwBatchPageRange[1] = 4;
  item->llBatchDisableThreshold = item->llPipeDiskHardLimit > 0x100000
                                      ? item->llPipeDiskHardLimit - 0x100000
                                      : item->llPipeDiskHardLimit;
  DbgPrintf(1, " BatchScan - PipeMemoryUsageDivider = %d", item->dwPipeMemoryDivider);
  DbgPrintf(1, " BatchScan - DiskModeHardLimit = %lld",
            static_cast<long long>(item->llPipeDiskHardLimit));
  DbgPrintf(1, " BatchScan - BatchPageRange = %d-%d", item->dwBatchPageRange[0],
            item->dwBatchPageRange[1]);
  DbgPrintf(1, " BatchScan - BatchDisableThreshold = %lld",
            static_cast<long long>(item->llBatchDisableThreshold));

  // Page sizes.
  int64_t clientPage;
  if (item->bUnknownPageLength) {
    item->llPageSizeEstimate = kUnknownPageSize;
    clientPage = kUnknownPageSize;
  } else {
    const uint64_t line = deviceKind == 8 || deviceKind == 10
                              ? uint64_t{dev.PixelNum} * (dev.BitsPerPixel / 8 + 1)
                              : deviceLine;
    if (item->bContinuousMode) {
      // No page length: room for 14 inches of paper.
      item->llPageSizeEstimate = static_cast<int64_t>(line * kContinuousPageInches * dev.YRes);
      clientPage = item->llPageSizeEstimate;
    } else {
      item->llPageSizeEstimate = static_cast<int64_t>(line * dev.LineNum);
      // A client that leaves its line count open takes what the device's length gives.
      clientPage = ap.LineNum == kUnknownLength ? kUnknownPageSize
                                                : static_cast<int64_t>(clientLine * ap.LineNum);
    }
  }

  // Transfer size, line block, read unit.
  item->dwTransferSize = scanner->GetTransferSize();
  uint64_t lineBlock;
  if (deviceKind == 1 || deviceKind == 2)
    lineBlock = Lcm(scanner->GetLineBoundary(), 2) * deviceLine;
  else if (item->bDeviceJpeg)
    lineBlock = scanner->GetJPEGSizeBoundary();
  else
    lineBlock = uint64_t{scanner->GetLineBoundary()} * deviceLine;
  if (lineBlock == 0) lineBlock = 1;
  const uint64_t demux = item->dwDeMuxBlockSize;
  uint64_t readUnit;
  if (dev.ScanMethod == 4 && scanner->GetDuplexMode() == 3) {
    if (scanner->GetFeature(kFeatureWholeDemuxReadUnit)) {
      readUnit = 2 * demux;
    } else {
      readUnit = Lcm(2 * demux, deviceLine);
      if (readUnit < item->dwTransferSize) readUnit = WholeMultiple(item->dwTransferSize, readUnit);
    }
  } else {
    if (item->bDeMultiplexed) lineBlock = Lcm(2 * Lcm(demux, lineBlock), deviceLine);
    readUnit = item->dwTransferSize < lineBlock ? lineBlock
                                                : WholeMultiple(item->dwTransferSize, lineBlock);
  }
  if (readUnit == 0 || readUnit > 0x40000000 || lineBlock > 0x40000000) {
    DbgPrintf(1, "Read unit out of range");
    FailStatus(item, kParameterError);
  }
  item->dwLineBlock = static_cast<uint32_t>(lineBlock);
  item->dwReadUnit = static_cast<uint32_t>(readUnit);
  if (item->bDeMultiplexed && item->dwTransferSize < 2 * demux)
    item->dwTransferSize = static_cast<uint32_t>(2 * demux);
  if (item->dwTransferSize < item->dwReadUnit) item->dwTransferSize = item->dwReadUnit;
  DbgPrintf(1, "Allocate buffer size=%d", 16 * item->dwTransferSize);
  item->pWorkBuffer = NewBuffer("work buffer", 16 * size_t{item->dwTransferSize}, true);
  if (item->pWorkBuffer == nullptr) FailMemory("work buffer");
  item->pFrontReadBuffer = item->pWorkBuffer;
  item->pRearReadBuffer = item->pWorkBuffer + 4 * size_t{item->dwTransferSize};
  item->pImageBuffer = item->pWorkBuffer + 8 * size_t{item->dwTransferSize};

  // The client buffer holds a whole page (block size 0) or one block, and at least one line of
  // the larger of the client's and the device's lines, so no read asks for more than it holds.
  const uint64_t widestLine = std::max<uint64_t>({clientLine, deviceLine, ap.BytesPerLine, 1});
  int64_t bufferSize = item->dwBlockSize == 0 ? clientPage : item->dwBlockSize;
  if (bufferSize < static_cast<int64_t>(widestLine)) bufferSize = static_cast<int64_t>(widestLine);
  DbgPrintf(1, "AP buffer size=%lld", static_cast<long long>(bufferSize));
  if (bufferSize <= 0xFFFFFFFFLL)
    item->pClientBuffer = NewBuffer("whole client buffer", static_cast<size_t>(bufferSize));
  if (item->pClientBuffer == nullptr) {
    const uint32_t clientKind = ModeKind(ap.ScanMode);
    uint32_t block = item->dwReadUnit;
    if (clientKind < 1 || clientKind > 7) {
      block = static_cast<uint32_t>(WholeMultiple(item->dwReadUnit, ap.BytesPerLine));
      if (scanner->GetFeature(kFeatureExtendedModes) && item->bDeviceJpeg) block -= block % 16;
    }
    DbgPrintf(1, "Allocate AP buffer fail!! , adjust AP read size = %d", block);
    item->dwBlockSize = block;
    bufferSize = block;
    item->pClientBuffer = NewBuffer("reduced client buffer", block);
    if (item->pClientBuffer == nullptr) FailMemory("client buffer");
    item->bReducedBlock = 1;
  }
  item->dwClientBufferSize = static_cast<uint32_t>(bufferSize);
  if (!item->bUnknownPageLength && !item->bContinuousMode && clientPage > kPageSizeGuard)
    FailMemory("page size");

  // Pipe sizes.
  const int64_t estimate = item->llPageSizeEstimate;
  int64_t ioMinimum, rearPage;
  if (estimate > kPageSizeGuard) {
    ioMinimum = kPageSizeGuard;
    rearPage = kPageSizeGuard;
  } else {
    ioMinimum = estimate + (estimate / item->dwTransferSize) * kHeaderSize + kPipeHeaderSlack;
    rearPage = clientPage + clientPage / 2;
  }
  int64_t ioMaximum;
  if ((dev.CtrlMode & 0x1) == 0 && !item->bUnknownPageLength) {
    DbgPrintf(1, " BatchScan - BatchScanCachePage = %d", item->dwBatchPageRange[1]);
    ioMaximum = ioMinimum * item->dwBatchPageRange[1];
    if (item->bDeMultiplexed) {
      ioMinimum *= 2;
      ioMaximum *= 2;
    }
    if (item->llBatchDisableThreshold < ioMaximum)
      ioMaximum = std::max(item->llBatchDisableThreshold, ioMinimum);
  } else {
    ioMaximum = std::max(ioMinimum, rearPage);
  }
  TopologySizes sizes;
  sizes.ioMinimum = ioMinimum;
  sizes.ioMaximum = ioMaximum;
  sizes.readMinimum = 12 * int64_t{item->dwTransferSize} + 336;
  sizes.readMaximum = 20 * int64_t{item->dwTransferSize} + 560;
  sizes.rearPage = std::max(rearPage, sizes.readMinimum);
  // The rear page waits whole while the client takes the front: it holds its headers too.
  sizes.rearStreamPage =
      std::max(rearPage, ioMinimum) + (rearPage / item->dwTransferSize + 4) * kHeaderSize;

  if (item->bDeviceJpeg &&
      (mask & (kTopologyRawFromJpeg | kTopologyReEncode | kTopologyDecodeBeforeConversion)) != 0) {
    item->pJpegDecodeBuffer = NewBuffer("JPEG decode buffer", item->dwTransferSize);
    if (item->pJpegDecodeBuffer == nullptr) FailMemory("JPEG decode buffer");
    if ((mask & kTopologyRawFromJpeg) == 0) {
      item->pJpegEncodeBuffer = NewBuffer("JPEG encode buffer", 2 * size_t{item->dwTransferSize});
      if (item->pJpegEncodeBuffer == nullptr) FailMemory("JPEG encode buffer");
    }
  }
  if (item->bIRUVJob) {
    item->pIRUVWorkBuffer = NewBuffer("IR/UV buffer", 3 * size_t{item->dwTransferSize});
    if (item->pIRUVWorkBuffer == nullptr) FailMemory("IR/UV buffer");
    for (size_t i = 0; i < 3; ++i)
      item->pIRUVViews[i] = item->pIRUVWorkBuffer + i * item->dwTransferSize;
  }
  AllocateTopology(item, mask, sizes, MakeTopologyPipe);
  // A rear side of open length is written while the client still takes the front: its pipe
  // goes on in a file past its limits rather than holding up the IO thread.
  if (item->bUnknownPageLength && item->Pipes[kPipeIoRear] != nullptr)
    item->Pipes[kPipeIoRear]->AllowSpill();
  if (ap.CacheMode == 1) item->Pipes[kPipeIoFront]->SetMaximumPageCount(ap.CacheSize);

  if (item->bContinuousMode) PrepareContinuousRead(item);

  DbgPrintf(1, "Reset background event");
  LockKrMutex(&item->BackgroundMutex);
  item->bBackgroundReady = 0;
  item->bBackgroundWaiter = 0;
  UnlockKrMutex(&item->BackgroundMutex);

  LockKrMutex(&item->PageStartMutex);
  item->bPageStartRequested = 0;
  UnlockKrMutex(&item->PageStartMutex);
  const bool decode = item->bJpegDecodeBeforeConversion || item->bJpegReEncode;
  if (decode && !item->bRawFromDeviceJpeg)
    StartThread(item, kThreadJpegEncode, JpegEncodeThread, nullptr);
  if (item->pFrontPipeline != nullptr)
    StartThread(item, kThreadImageProcessing, ImageProcesingThread, nullptr);
  if (decode || item->bRawFromDeviceJpeg)
    StartThread(item, kThreadJpegDecode, JpegDecodeThread, nullptr);
  if (item->bIRUVJob) StartThread(item, kThreadDeIRUV, DeIRUVThread, nullptr);
  if (item->bDeMultiplexed)
    StartThread(item, kThreadDeDuplex, DeDuplexThread, "Create DeMux thread");
  StartThread(item, kThreadIo, IOThread, "Create IO thread");
}

}  // namespace

void SwapWindowForTray(const CScannerManagerScannerItem* item, KR_WindowDataSet_VER2* window) {
  if (item->TessalineTrayStatus != 1) return;
  const uint16_t method = GetBE16(window->Data + kWindowMethodAt);
  if (method == 1) PutBE16(window->Data + kWindowMethodAt, 5);
  if (method == 5) PutBE16(window->Data + kWindowMethodAt, 1);
}

void SetJobStartAllocationHook(JobStartAllocationHook hook) { gAllocationHook = hook; }

bool StartJob(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "=>StartJob()");
  if (!item->bJobStarted) {
    try {
      if (!item->bScanParameterChecked) {
        DbgPrintf(1, "Scan parameter not checked");
        FailStatus(item, kParameterError);
      }
      if (item->DumpPrefix[0] == 0)
        std::snprintf(item->DumpPrefix, sizeof item->DumpPrefix, "KRDev%.40s",
                      item->DeviceInfo.SerialNumber);
      SCANPARAMETER_UNION dev;
      PrepareDevice(item, &dev);
      SCANPARAMETER_UNION ap;
      item->pScanner->GetAPScanParameter(&ap);
      SetJobFlags(item, ap, dev);
      SetWindowAndTray(item, dev);
      SendHardwareProcessing(item, dev);
      StartImprinter(item, ap, dev);
      ReadDuplexMode(item, dev);
      item->bContinuousDuplex = dev.ScanMethod == 4 && item->bContinuousMode &&
                                !item->pScanner->GetFeature(kFeatureContinuousDuplex);
      item->bRearSideByDuplex = dev.ScanMethod == 4 && ap.ScanMethod == 5;
      item->bSidesCountedApart = item->bEOFDuplexStyle || item->bGL310DuplexStyle;
      BuildTopology(item, ap, dev);
      item->bJobStarted = 1;
    } catch (const JobStartFailure& f) {
      switch (f.kind) {
        case Failure::Status:
          DbgPrintf(1, "Get error code=%d", item->lErrorStatus.load());
          break;
        case Failure::Command:
          item->lErrorStatus = static_cast<int32_t>(item->pIoObject->GetStatusLong());
          if (item->lErrorStatus == 0) item->lErrorStatus = kSystemError;
          DbgPrintf(1, "IO error!");
          break;
        case Failure::Memory:
          item->lErrorStatus = kNoMemory;
          DbgPrintf(1, "memory allocation failed : %s", f.what);
          break;
      }
      item->bJobStarted = 0;
    }
  }
  item->bJobRunning = item->bJobStarted;
  DbgPrintf(1, "<=StartJob() ret=%d", item->bJobStarted);
  return item->bJobStarted != 0;
}

namespace {

// Reads packets from a Read pipe, dropping their payload (and, for the paired style, the same
// bytes from the rear pipe), up to the end packet that finishes the job.
void DrainToJobEnd(CExtPipe* pipe, CExtPipe* paired) {
  PIPE_PACKAGE_HEADER h;
  while (pipe->Read(kHeaderSize, reinterpret_cast<uint8_t*>(&h))) {
    if (h.dwSize != 0) {
      pipe->Read(h.dwSize, nullptr);
      if (paired != nullptr && h.type == kPacketImage) paired->Read(h.dwSize, nullptr);
    }
    // An IO thread held to a page count waits for the pages to be taken.
    if (h.type == kPacketEndOfPage) pipe->DecreasePageCount();
    if (h.type == kPacketEndOfCycle && h.blJobFinished) return;
  }
}

// A continuous scan ends with the IO thread's one end packet: the pages still queued are
// dropped up to it, and its status is the job's.
bool DrainContinuous(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "  EndJob continuous scan withdraw image data in pipe.");
  ReadScanWithdrawBuffer(item);
  CExtPipe* front = item->Pipes[kPipeReadFront];
  CExtPipe* rear = item->bContinuousDuplex ? item->Pipes[kPipeReadRear] : nullptr;
  PIPE_PACKAGE_HEADER h{};
  bool ended = false;
  while (front->Read(kHeaderSize, reinterpret_cast<uint8_t*>(&h))) {
    if (h.dwSize != 0) {
      front->Read(h.dwSize, nullptr);
      if (rear != nullptr && h.type == kPacketImage) rear->Read(h.dwSize, nullptr);
    }
    if (h.type == kPacketEndOfCycle) {
      ended = true;
      break;
    }
  }
  item->bJobFinishedSeen = kJobEndSeenFront | kJobEndSeenRear;
  item->bJobStarted = 0;
  if (!ended || h.lStatusLong == 0) return true;
  item->lErrorStatus = h.lStatusLong;
  return false;
}

void* DrainRearThread(void* pipe) {
  DrainToJobEnd(static_cast<CExtPipe*>(pipe), nullptr);
  return nullptr;
}

void JoinThread(KrThread* thread) {
  if (!IsValidKrThread(thread)) return;
  WaitKrThread(thread);
  DestroyKrThread(thread);
  InitialInvalidKrThread(thread);
}

void StopImprinter(CScannerManagerScannerItem* item, bool* result) {
  CImprinter* imprinter = item->pImprinter;
  SCANPARAMETER_UNION ap;
  item->pScanner->GetAPScanParameter(&ap);
  if (imprinter == nullptr || !imprinter->IsPresent() || !IsAdfMethod(ap.ScanMethod)) return;
  const bool keepMotor = (ap.ExtParam0 & 0x4000) != 0;
  bool ok = true;
  if (imprinter->IsPrintEnabled() && !keepMotor)
    ok = imprinter->DisableImprinterHead() && imprinter->StopImprinterMotor(true);
  else if (!keepMotor)
    ok = imprinter->StopImprinterMotor(true);
  if (!ok) {
    item->lErrorStatus = static_cast<int32_t>(item->pIoObject->GetStatusLong());
    *result = false;
    return;
  }
  imprinter->DisablePrint();
  imprinter->ClearAllData();
  imprinter->InternalSetImprinterParameter();
}

}  // namespace

bool EndJob(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "=>EndJob()");
  bool result = true;
  // An IO thread the client's side has not seen end (the job ended at a page limit, an error
  // or a cancel while pages were still coming): cancel it, wake it and take its packets up to
  // its last one, so that it is never left blocked on a full pipe.
  const bool apart = item->bEOFDuplexStyle || item->bGL310DuplexStyle;
  CExtPipe* front = item->Pipes[kPipeReadFront];
  CExtPipe* rear = item->Pipes[kPipeReadRear];
  const bool frontOpen = front != nullptr && (item->bJobFinishedSeen & kJobEndSeenFront) == 0;
  const bool rearOpen = apart && rear != nullptr && (item->bJobFinishedSeen & kJobEndSeenRear) == 0;
  if (item->bContinuousMode) {
    if (IsValidKrThread(&item->Threads[kThreadIo]) && frontOpen && !DrainContinuous(item))
      result = false;
  } else if (IsValidKrThread(&item->Threads[kThreadIo]) && (frontOpen || rearOpen)) {
    DbgPrintf(1, "  EndJob cancel the IO thread and drain its pipes.");
    EnterKrCriticalSection(&item->ItemCriticalSection);
    item->bCancel = 1;
    LeaveKrCriticalSection(&item->ItemCriticalSection);
    WakeIOThread(item, false);
    ReadScanWithdrawBuffer(item);
    // The IO thread writes both pipes of these styles: each is drained on a thread of its own,
    // so that a full rear pipe never holds up the front's end.
    KrThread rearDrain;
    InitialInvalidKrThread(&rearDrain);
    if (rearOpen && frontOpen && !CreateKrThread(&rearDrain, DrainRearThread, rear, nullptr))
      InitialInvalidKrThread(&rearDrain);
    if (frontOpen) DrainToJobEnd(front, apart ? nullptr : rear);
    if (IsValidKrThread(&rearDrain))
      JoinThread(&rearDrain);
    else if (rearOpen)
      DrainToJobEnd(rear, nullptr);
    item->bJobFinishedSeen = kJobEndSeenFront | kJobEndSeenRear;
  }
  EndStarvedWorkers(item);
  for (uint32_t slot = 0; slot < kThreadSlotCount; ++slot) JoinThread(&item->Threads[slot]);

  std::free(item->pWorkBuffer);
  std::free(item->pIRUVWorkBuffer);
  std::free(item->pJpegDecodeBuffer);
  std::free(item->pJpegEncodeBuffer);
  std::free(item->pClientBuffer);
  item->pWorkBuffer = item->pIRUVWorkBuffer = item->pJpegDecodeBuffer = nullptr;
  item->pJpegEncodeBuffer = item->pClientBuffer = nullptr;
  item->pFrontReadBuffer = item->pRearReadBuffer = item->pImageBuffer = nullptr;
  for (uint8_t*& view : item->pIRUVViews) view = nullptr;
  item->dwClientBufferSize = 0;
  // Whatever way the job ended, the next one starts the device job from scratch.
  item->bJobStarted = 0;
  item->bRearPageNext = 0;
  item->dwPagesStarted = 0;
  item->dwEOFPagesEnded = 0;
  item->bCancel = 0;
  item->bReducedBlock = 0;
  item->bFirstPageStarted = 0;
  item->bIOThreadWaiting = 0;
  item->bIOThreadWoken = 0;
  item->bIOThreadEnded = 0;
  item->dwReadPending = 0;
  item->pReadSourceFront = item->pReadSourceRear = nullptr;
  for (CExtPipe*& pipe : item->JobPipes) {
    if (pipe == nullptr) break;
    delete pipe;
    pipe = nullptr;
  }
  for (CExtPipe*& slot : item->Pipes) slot = nullptr;
  delete item->pFrontPipeline;
  delete item->pRearPipeline;
  delete item->pIRUVPipeline;
  item->pFrontPipeline = item->pRearPipeline = item->pIRUVPipeline = nullptr;

  StopImprinter(item, &result);
  IoObject* io = item->pIoObject;
  io->ReleaseUnit(2);
  io->IoLockEnd();
  io->FinishReadImage();
  DbgPrintf(1, "<=EndJob() ret=%d", result);
  return result;
}
