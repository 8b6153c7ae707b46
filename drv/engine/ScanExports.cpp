// The client's handles on a scan job: job and page start and stop, the last page's description,
// the paper release and the sensors; DoCancel and the wake of the IO thread between pages.
#include <cstdlib>
#include <cstring>

#include "drv/device/CImprinter.h"
#include "drv/device/ExportFrame.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint16_t kDataPaperRelease = 0x99;
constexpr uint16_t kDataImprinterEndOfJob = 0xB2;
constexpr uint32_t kPaperReleaseSize = 7;
constexpr uint32_t kImprinterEndSize = 9;
constexpr uint32_t kMediaStatusSize = 5;

bool IsAdfMethod(uint32_t method) { return method == 1 || method == 4 || method == 5; }

SCANPARAMETER_UNION ClientParameter(CScannerManagerScannerItem* item) {
  SCANPARAMETER_UNION ap;
  item->pScanner->GetAPScanParameter(&ap);
  return ap;
}

bool PageModeRunning(CScannerManagerScannerItem* item, const SCANPARAMETER_UNION& ap) {
  return (ap.CtrlMode & 0x1) != 0 && item->pScanner->GetFeature(kFeaturePageModeContinuation) &&
         item->bFirstPageStarted;
}

bool ReaderAlive(CScannerManagerScannerItem* item) {
  return IsValidKrThread(&item->Threads[kThreadReader]);
}

void JoinReader(CScannerManagerScannerItem* item) {
  if (!ReaderAlive(item)) return;
  WaitKrThread(&item->Threads[kThreadReader]);
  DestroyKrThread(&item->Threads[kThreadReader]);
  InitialInvalidKrThread(&item->Threads[kThreadReader]);
}

// The job exports' own entry and exit lines ("=>KRStartJob", "<=KRStartJob out = %i").
template <class Body>
long RunJobExport(const char* name, uint32_t* handle, Body body) {
  DbgPrintf(1, "=>%s -------> HDevice = %d", name, handle != nullptr ? *handle : 0);
  const long status = Guarded([&]() -> long {
    if (handle == nullptr) return kParameterError;
    CScannerManagerScannerItem* item = LookUpItem(handle);
    if (item == nullptr) return kNotFound;
    return body(item);
  });
  DbgPrintf(1, "<=%s out = %i", name, static_cast<int>(status));
  return status;
}

long StopScan(CScannerManagerScannerItem* item, long ctrl) {
  if (ctrl == 1) {
    DoCancel(item);
    // A device that stopped answering would hold the IO thread for ever.
    item->pIoObject->AbortTransfers();
  }
  item->bReaderStop = 1;
  JoinReader(item);
  item->bReaderStop = 0;
  item->bPageMultiFeedMessage = 0;
  // Whether the IO thread had ended the page before the callback's cancel came or not, the
  // client cancelled it.
  const bool callbackCancelled = item->bCallbackCancelled.exchange(0) != 0;
  if (!item->bJobRunning) {
    DbgPrintf(1, " not in scanning state do nothing");
    return 0;
  }
  const bool pageEnded = EndPage(item);
  DbgPrintf(1, "  %d page end", item->dwPagesStarted.load());
  if (!item->bJobRunning) {
    DbgPrintf(1, "Do End Job ");
    const bool jobEnded = EndJob(item);
    if (pageEnded && !jobEnded) return FailureStatus(item);
  }
  if (!pageEnded || item->bPageMultiFeedMessage) return FailureStatus(item);
  return callbackCancelled ? kReadAbort : 0;
}

long StopJob(CScannerManagerScannerItem* item) {
  long result = 0;
  if (item->bJobRunning) {
    DbgPrintf(1, "KRStopJob have job stop");
    if (item->lErrorStatus == 0) {
      DoCancel(item);
      item->pIoObject->AbortTransfers();
    }
    result = StopScan(item, 0);
  }
  CImprinter* imprinter = item->pImprinter;
  if (imprinter != nullptr && imprinter->IsPresent()) {
    IoLockScope lock(item->pIoObject);
    if (lock.ok()) {
      const SCANPARAMETER_UNION ap = ClientParameter(item);
      if (imprinter->IsMotorRunning() && IsAdfMethod(ap.ScanMethod)) {
        if ((ap.ExtParam0 & 0x4000) != 0) {
          uint8_t block[kImprinterEndSize] = {0, 0, 1, 0, 9, 0, 0, 0, 0};
          if (!item->pIoObject->Send(block, kImprinterEndSize, kDataImprinterEndOfJob))
            return CommandFailure(item);
        }
        if (!imprinter->DisableImprinterHead() || !imprinter->StopImprinterMotor(true))
          return CommandFailure(item);
      }
      imprinter->SetArmed(false);
    }
  }
  return result;
}

// The engine's StopJob for the registry (driver end, device reset).
long StopJobHook(uint32_t ctrlId, uint32_t* handle) { return KRStopJob(ctrlId, handle); }

[[maybe_unused]] const bool kStopHookInstalled = [] {
  ScanEngineHooks hooks = GetScanEngineHooks();
  hooks.StopJob = StopJobHook;
  SetScanEngineHooks(hooks);
  return true;
}();

uint32_t ClientModeOf(uint32_t bit) {
  switch (bit) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 4:
      return 5;
    case 8:
    case 16:
    case 32:
      return 2;
    case 64:
    case 128:
    case 256:
    case 512:
      return 4;
    case 1024:
      return 6;
    case 2048:
      return 7;
    default:
      DbgPrintf(1, " FW return unknow mode =0x%08X", bit);
      return 0;
  }
}

}  // namespace

void WakeIOThread(CScannerManagerScannerItem* item, bool pageStart) {
  LockKrMutex(&item->PageStartMutex);
  if (pageStart) item->bPageStartRequested = 1;
  SignalKrCondition(&item->PageStartCondition);
  UnlockKrMutex(&item->PageStartMutex);
}

// Marks the job cancelled, closes its pipes (no thread of the job waits for room any more, so
// whoever waits for data gets it or the pipe's end) and wakes an IO thread that waits between
// pages. It never waits itself, so the client's callback may call it (result 2).
void DoCancel(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "=> DoCancel");
  EnterKrCriticalSection(&item->ItemCriticalSection);
  const bool started = item->dwPagesStarted > 0;
  if (started) item->bCancel = 1;
  LeaveKrCriticalSection(&item->ItemCriticalSection);
  if (started) {
    for (CExtPipe* pipe : item->JobPipes)
      if (pipe != nullptr) pipe->Close();
  }
  if (PageModeRunning(item, ClientParameter(item))) {
    DbgPrintf(1, " Page mode set event to let IOThread continue scan.");
    WakeIOThread(item, false);
  }
  DbgPrintf(1, "<= DoCancel ");
}

KR_API long KRStartJob(uint32_t /*ctrlId*/, uint32_t* phDevice) {
  return RunJobExport("KRStartJob", phDevice, [&](CScannerManagerScannerItem* item) -> long {
    if (item->bJobRunning) return kScannerBusy;
    item->bFirstPageStarted = 0;
    item->bIOThreadWaiting = 0;
    item->bIOThreadWoken = 0;
    item->bIOThreadEnded = 0;
    if (!item->bHardwareProcessing) return 0;
    HWIMAGEPROCPARAMETER_UNION zero;
    std::memset(&zero, 0, sizeof zero);
    item->pScanner->SetAPHWImageProcParm(&zero, 0);
    item->pScanner->SetAPHWImageProcParm(&zero, 1);
    item->pScanner->SetEnableHWImageProcess(false);
    IoLockScope lock(item->pIoObject);
    uint8_t reset[68] = {};
    reset[2] = 100;
    reset[3] = 68;
    if (!lock.ok() || !item->pIoObject->Send(reset, sizeof reset, 0x98))
      return CommandFailure(item);
    return 0;
  });
}

KR_API long KRStartScan(uint32_t ctrlId, uint32_t* phDevice, AP_CALLBACK pfnCallBack,
                        long blockSize) {
  DeviceExport frame("KRStartScan", phDevice);
  DbgPrintf(1, " block size = %d", static_cast<int>(blockSize));
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    if (ReaderAlive(item)) return kScannerBusy;
    const SCANPARAMETER_UNION ap = ClientParameter(item);
    if (!item->bReducedBlock) {
      if (blockSize < 0 || blockSize > 0xFFFFFFFFL) return kParameterError;
      item->dwBlockSize = static_cast<uint32_t>(blockSize);
      // A later page's larger block: the buffer grows, or the block stays what it holds.
      if (item->bJobStarted && item->dwBlockSize > item->dwClientBufferSize) {
        void* grown = std::realloc(item->pClientBuffer, item->dwBlockSize);
        if (grown != nullptr) {
          item->pClientBuffer = static_cast<uint8_t*>(grown);
          item->dwClientBufferSize = item->dwBlockSize;
        } else {
          item->dwBlockSize = item->dwClientBufferSize;
        }
      }
    }
    item->pfnCallBack = pfnCallBack;
    item->dwCallBackCtrlId = ctrlId;
    item->pCallBackDevice = phDevice;
    const uint32_t kind = ModeKind(ap.ScanMode);
    item->bToEndOfPage = ((ap.CtrlMode & 0x2) != 0 && !(kind >= 1 && kind <= 7)) ? 0 : 1;
    if (item->pScanner->IsEnableHWImageProcess()) item->bToEndOfPage = 1;

    if (PageModeRunning(item, ap) && !item->bEOFCarryPending) {
      const bool eof = item->bEOFPageFlow || item->bEOFDuplexStyle;
      const uint32_t counter = eof ? item->dwEOFPagesEnded.load() : item->dwPagesStarted.load();
      if (!(ap.ScanMethod == 4 && counter % 2 == 1) && !item->bIOThreadEnded) {
        DbgPrintf(1, eof ? " (EOF)Page mode set event to let IOThread continue scan."
                         : " Page mode set event to let IOThread continue scan.");
        WakeIOThread(item, true);
      }
    }
    if (!item->bJobRunning && !StartJob(item)) {
      const long status = FailureStatus(item);
      EndJob(item);
      item->dwPagesStarted = 0;
      item->dwEOFPagesEnded = 0;
      return status;
    }
    StartPage(item);
    ++item->dwPagesStarted;
    DbgPrintf(1, " Start scan page %d", item->dwPagesStarted.load());
    DbgPrintf(1, "Create AP read thread");
    item->bReaderStop = 0;
    if (!CreateKrThread(&item->Threads[kThreadReader], APReadThread, item, nullptr)) {
      InitialInvalidKrThread(&item->Threads[kThreadReader]);
      return kSystemError;
    }
    return 0;
  });
}

KR_API long KRStopScan(uint32_t /*ctrlId*/, uint32_t* phDevice, long ctrl) {
  DeviceExport frame("KRStopScan", phDevice);
  DbgPrintf(1, " Ctrl = %ld", ctrl);
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    // The callback's own thread would join itself.
    if (InsideClientCallback()) return kScannerBusy;
    return StopScan(item, ctrl);
  });
}

KR_API long KRStopJob(uint32_t /*ctrlId*/, uint32_t* phDevice) {
  return RunJobExport("KRStopJob", phDevice, [&](CScannerManagerScannerItem* item) -> long {
    if (InsideClientCallback()) return kScannerBusy;
    return StopJob(item);
  });
}

KR_API long KRRequestImageInfo(uint32_t /*ctrlId*/, uint32_t* phDevice, void** ppInfo) {
  return DeviceExport("KRRequestImageInfo", phDevice)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (ppInfo == nullptr) return kParameterError;
        if (*ppInfo == nullptr) {
          if (pMemManager == nullptr) return kNoMemory;
          *ppInfo = pMemManager->NewMem(sizeof(ImageInformation));
          if (*ppInfo == nullptr) return kNoMemory;
        }
        ImageInformation info;
        std::memset(&info, 0, sizeof info);
        info.Version = IMAGEINFORMATION_VERSION;
        info.Size = sizeof info;
        EnterKrCriticalSection(&item->ItemCriticalSection);
        const PageInformation page = item->LastPage;
        LeaveKrCriticalSection(&item->ItemCriticalSection);
        info.Width = page.Width;
        info.Height = page.Height;
        info.ImageSize = page.Size;
        info.BytesPerLine = page.BytesPerLine;
        info.ScanMode = ClientModeOf(page.ScanMode);
        info.JPEGDRI = page.JPEGDRI;
        std::memcpy(*ppInfo, &info, sizeof info);
        DbgPrintf(1, "======= version = %i =======", info.Version);
        DbgPrintf(1, "ImageInformation.Size        = %i", info.Size);
        DbgPrintf(1, "ImageInformation.Width       = %i", info.Width);
        DbgPrintf(1, "ImageInformation.Height      = %i", info.Height);
        DbgPrintf(1, "ImageInformation.ImageSize   = %i", info.ImageSize);
        DbgPrintf(1, "ImageInformation.BytesPerLine= %i", info.BytesPerLine);
        DbgPrintf(1, "ImageInformation.ScanMode    = %i", info.ScanMode);
        DbgPrintf(1, "ImageInformation.JPEGDRI     = %i", info.JPEGDRI);
        return 0;
      });
}

KR_API long KRReleasePaper(uint32_t /*ctrlId*/, uint32_t* phDevice, int dir, int pages,
                           uint32_t extraSetting) {
  DeviceExport frame("KRReleasePaper", phDevice);
  DbgPrintf(1, " Dir = %d , Pages = %d , ExtraSetting=0x%08x", dir, pages, extraSetting);
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    // The job's IO thread drives the paper path now.
    if (item->bJobRunning) return kScannerBusy;
    IoLockScope lock(item->pIoObject);
    if (!lock.ok()) return CommandFailure(item);
    const bool hold = (extraSetting & 0x1) != 0;
    if (hold && (item->pScanner->InquiryData()[92] & 0x10) == 0) {
      DbgPrintf(1, "Not support catch paper after eject");
      return kParameterError;
    }
    uint8_t block[kPaperReleaseSize] = {
        0, 0, 1, static_cast<uint8_t>(dir), static_cast<uint8_t>(hold ? 1 : 0), 0, 0};
    if (!item->pIoObject->Send(block, kPaperReleaseSize, kDataPaperRelease))
      return CommandFailure(item);
    return 0;
  });
}

KR_API long KRSensorStatus(uint32_t /*ctrlId*/, uint32_t* phDevice, long* pSensorId,
                           uint8_t* pStatus, int itemType) {
  DeviceExport frame("KRSensorStatus", phDevice);
  DbgPrintf(1, " Sensor=%ld , ItemType=%d", pSensorId != nullptr ? *pSensorId : -1L, itemType);
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    if (pSensorId == nullptr) return kParameterError;
    if (*pSensorId == 0) {
      if (pStatus == nullptr) return kParameterError;
      if (itemType != 0 && itemType != 1) {
        DbgPrintf(1, " Item type (%d) is not support.", itemType);
        return kParameterError;
      }
      if (item->bJobRunning) {
        DbgPrintf(1, " Job is working, return last status= %x", item->bMediaStatus.load());
      } else {
        item->bMediaStatus = 0;
        IoLockScope lock(item->pIoObject);
        if (!lock.ok()) return CommandFailure(item);
        uint8_t status[kMediaStatusSize] = {};
        if (!item->pIoObject->MediaCheck(status, sizeof status, 0)) return CommandFailure(item);
        item->bMediaStatus = status[4];
        DbgPrintf(1, " ADF media check return status= %x", status[4]);
      }
      const uint8_t media = item->bMediaStatus;
      *pStatus = itemType == 0 ? (media & 0x01) : media;
      return 0;
    }
    if (*pSensorId == 1) {
      if (item->bJobRunning) return kScannerBusy;
      IoLockScope lock(item->pIoObject);
      if (!lock.ok() || !item->pIoObject->RequestSense(0)) return CommandFailure(item);
      return 0;
    }
    DbgPrintf(1, " Sensor ID (%ld) is not support.", *pSensorId);
    return kParameterError;
  });
}
