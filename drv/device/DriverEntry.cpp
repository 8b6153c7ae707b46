// The driver's exported entry points for the driver and device life cycle, the device list and
// memory release.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "drv/device/CImprinter.h"
#include "drv/device/CScannerManager.h"
#include "drv/device/DeviceExports.h"
#include "drv/device/ExportFrame.h"
#include "drv/device/Nvram.h"
#include "drv/jpeg/CLumetra.h"
#include "drv/jpeg/JpegDrvLog.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"
#include "platform/usb/UsbHost.h"
#include "vantrel/kr_api.h"
#include "vantrel/library_version.h"

using namespace krstatus;

CLLDMemoryManager* pMemManager = nullptr;
CLumetra* pLumetra = nullptr;

namespace {
// The controller id the driver keeps: the low 16 bits, or the high ones when those are zero.
uint16_t KeptControllerId(uint32_t ctrlId) {
  uint16_t low = static_cast<uint16_t>(ctrlId & 0xFFFF);
  return low != 0 ? low : static_cast<uint16_t>(ctrlId >> 16);
}

struct ListLock {
  explicit ListLock(CScannerManager* m) : manager(m) { manager->LockListOperate(); }
  ~ListLock() { manager->UnlockListOperate(); }
  CScannerManager* manager;
};

void DestroyDriverObjects() {
  if (pManager != nullptr) pManager->TerminateAllJobAndDevice();
  if (pLumetra != nullptr) {
    pLumetra->Terminate();
    delete pLumetra;
    pLumetra = nullptr;
  }
  delete pMemManager;
  pMemManager = nullptr;
  DeleteIPAddressList();
  delete pManager;
  pManager = nullptr;
}

long ResetDevice(uint32_t ctrlId, uint32_t* handle, CScannerManagerScannerItem* item) {
  const ScanEngineHooks& hooks = GetScanEngineHooks();
  if (hooks.StopJob != nullptr) {
    const long stopped = hooks.StopJob(ctrlId, handle);
    if (stopped != 0) {
      long code = 0;
      GetLastStatusCode(item, nullptr, &code);
      return code != 0 ? code : stopped;
    }
  }
  InternalTerminateScanner(item);
  if (!InternalInitializeScanner(item)) return FailureStatus(item);
  IoObject* io = item->pIoObject;
  // A reset the device refuses is reported: the client asked for it and would take it as done.
  long result = kOK;
  if (!io->IoLockStart() || !io->ResetScanner()) result = CommandFailure(item);
  io->IoLockEnd();
  return result;
}
}  // namespace

bool BuildIdentityGamma(CScannerManagerScannerItem* item, const uint8_t* inquiry) {
  std::free(item->pGammaTable);
  item->pGammaTable = nullptr;
  uint32_t n = (inquiry[120] >> 4) == 1 ? 2048 : 1024;
  auto* table = static_cast<uint8_t*>(std::malloc(2 * n));
  if (table == nullptr) return false;
  uint32_t q = n / 4;
  for (uint32_t i = 0; i < q; ++i) {
    uint8_t v = static_cast<uint8_t>(i & 0xFF);
    for (uint32_t half = 0; half < 2; ++half) {
      for (uint32_t quarter = 0; quarter < 4; ++quarter) table[half * n + quarter * q + i] = v;
    }
  }
  item->pGammaTable = table;
  item->wGammaLength = static_cast<uint16_t>(n);
  return true;
}

bool InternalInitializeScanner(CScannerManagerScannerItem* item) {
  IoObject* io = item->pIoObject;
  CScanner* scanner = item->pScanner;
  int32_t failure = 0;  // a status of the opening's own, else the command object's
  bool ok = false;
  uint8_t inquiry[512] = {};
  if (io->IoLockStart()) {
    bool inquired = io->Inquiry(inquiry, sizeof inquiry);
    if (!inquired && scanner->GetFeature(kFeatureInquiryRetry))
      inquired = io->Inquiry(inquiry, sizeof inquiry);
    if (!inquired) {
      // the command object's status
    } else if (!scanner->SetInquiryData(inquiry, sizeof inquiry)) {
      failure = kSystemError;
    } else {
      ok = true;
    }
    if (ok &&
        (inquiry[98] != 0 || inquiry[99] != 0 || inquiry[100] != 0 || (inquiry[101] & 0xFC) != 0)) {
      DbgPrintf(1, "Support ASIC do image processing.");
      item->bHardwareProcessing = 1;
    }
    if (ok && (inquiry[89] & krnvm::kReadWholeBit) != 0) {
      uint8_t record[krnvm::kBufferSize];
      uint8_t version = 0;
      uint16_t length = 0;
      long status = InternalReadNVMData_Full(item, record, &version, &length);
      if (status != kOK) {
        failure = static_cast<int32_t>(status);
        ok = false;
      } else {
        scanner->SetNVMData(record, version, length);
      }
    }
    if (ok && !BuildIdentityGamma(item, inquiry)) {
      failure = kNoMemory;
      ok = false;
    }
    if (ok && (inquiry[97] & 0x04) != 0) {
      delete item->pImprinter;
      item->pImprinter = new CImprinter(io);
      CImprinter* imprinter = item->pImprinter;
      imprinter->FindImprinter();
      imprinter->CheckImprinterHead();
      // An absent imprinter is no failure; a fitted one must answer.
      if (imprinter->IsPresent() && !imprinter->GetImprinterInfo(nullptr)) ok = false;
    }
  }
  io->IoLockEnd();
  if (!ok && failure != 0) RecordFailure(item, failure);
  if (!ok && failure == 0) CommandFailure(item);
  return ok;
}

bool InternalTerminateScanner(CScannerManagerScannerItem* item) {
  if (item->pImprinter != nullptr) {
    // Dropping the imprinter tells a fitted one not to print.
    IoObject* io = item->pIoObject;
    io->IoLockStart();
    delete item->pImprinter;
    item->pImprinter = nullptr;
    io->IoLockEnd();
  }
  return true;
}

// The JFIF writer's lines go into the driver's log; the log adds its own line end.
static void JpegLineToDriverLog(uint32_t level, const char* line) {
  const size_t length = std::strcspn(line, "\r\n");
  DbgPrintf(level, "%.*s", static_cast<int>(length), line);
}

// What a client's version query of the loaded library reads.
KR_API uint32_t LibraryCurrentVersion(void) { return VANTREL_LIBRARY_VERSION(1, 0, 0); }

KR_API long KRInitializeDriver(uint32_t ctrlId) {
  InitializeDbg(nullptr);
  JpegSetDriverLog(JpegLineToDriverLog);
  DbgPrintf(1, "=> KRInitializeDriver ");
  if (pManager != nullptr && InsideClientCallback()) {
    // A repeated start would drop the items, the callback's job among them.
    DbgPrintf(1, "<= KRInitializeDriver ret=%d", kScannerBusy);
    return kScannerBusy;
  }
  uint16_t id = KeptControllerId(ctrlId);
  CScannerManager::SetCtrlID(id);
  PutBE16(IoObject::bInquiryCommand + 1, id);

  long status = Guarded([] {
    if (pManager == nullptr) {
      pManager = new CScannerManager;
    } else {
      pManager->RefreshItemList();
    }
    // A repeated call keeps the memory manager and the wrapper: blocks handed out stay valid
    // and the image library is started once.
    if (pMemManager == nullptr) pMemManager = new CLLDMemoryManager;
    if (pLumetra == nullptr) {
      pLumetra = new CLumetra;
      if (!pLumetra->Initialize()) {
        pLumetra->Terminate();
        delete pLumetra;
        pLumetra = nullptr;
        return static_cast<long>(kSystemError);
      }
    }
    return static_cast<long>(kOK);
  });
  if (status != kOK) DestroyDriverObjects();
  DbgPrintf(1, "<= KRInitializeDriver ret=%d", static_cast<int>(status));
  return status;
}

KR_API long KRTerminateDriver(uint32_t /*ctrlId*/) {
  DbgPrintf(1, "=> KRTerminateDriver");
  if (InsideClientCallback()) {
    DbgPrintf(1, "<= KRTerminateDriver ret=%d", kScannerBusy);
    return kScannerBusy;
  }
  DestroyDriverObjects();
  // The devices are gone: the USB back end's context and thread go with them, before a client
  // may unload this library.
  usbhost::ReleaseHost();
  DbgPrintf(1, "<= KRTerminateDriver ret=%d", 0);
  TerminateDbg();
  return 0;
}

KR_API long KRMemFree(uint32_t /*ctrlId*/, void* block) {
  DbgPrintf(1, "=> KRMemFree");
  if (pMemManager != nullptr) pMemManager->DeleteMem(block);
  DbgPrintf(1, "<= KRMemFree ret=%d", 0);
  return 0;
}

KR_API long KRGetDeviceList(uint32_t /*ctrlId*/, DEVLIST** list, uint32_t* count) {
  DbgPrintf(1, "=> KRGetDeviceList ");
  long status = Guarded([&] {
    // Before KRInitializeDriver a manager lives for this call only.
    std::unique_ptr<CScannerManager> temporary;
    CScannerManager* manager = pManager;
    if (manager == nullptr) {
      temporary = std::make_unique<CScannerManager>();
      manager = temporary.get();
    }
    return manager->GetDeviceInformationArray(list, count);
  });
  if (status != kOK && count != nullptr) *count = 0;
  DbgPrintf(1, "<= KRGetDeviceList ret=%d", static_cast<int>(status));
  return status;
}

KR_API long KRInitializeDevice(uint32_t ctrlId, char* targetId, uint32_t* handle) {
  DeviceExport frame("KRInitializeDevice", handle, "=> KRInitializeDevice *******> Target ID = %s",
                     targetId != nullptr ? targetId : "(null)");
  return frame.RunWithoutLookUp([&]() -> long {
    if (pManager == nullptr) return kNotFound;
    ListLock lock(pManager);
    AddInIPAddressList(targetId);
    if (!pManager->FindDeviceHandle(targetId, handle)) return kNotFound;
    CScannerManagerScannerItem* item = pManager->GetTargetScannerItem(*handle);
    DbgPrintf(1, " *******> Get Device Handle = %d", *handle);
    if (item == nullptr) return kNotFound;
    long result = kOK;
    if (item->bInitialized && InsideClientCallback()) {
      result = kScannerBusy;  // the reset would stop the callback's own job
    } else if (item->bInitialized) {
      // Through the export, so that the log shows the reset as for a client's call.
      result = KRResetDevice(ctrlId, handle, nullptr);
    } else if (!InternalInitializeScanner(item)) {
      result = FailureStatus(item);
      KRTerminateDevice(ctrlId, handle);
    }
    if (result == kOK) item->bInitialized = 1;
    return result;
  });
}

KR_API long KRTerminateDevice(uint32_t ctrlId, uint32_t* handle) {
  return DeviceExport("KRTerminateDevice", handle)
      .RunIfDriverUp([&](CScannerManagerScannerItem* item) -> long {
        // The callback's job would be joined from its own thread.
        if (InsideClientCallback()) return kScannerBusy;
        // A running job would still drive the imprinter: it stops first, as on a reset.
        const ScanEngineHooks& hooks = GetScanEngineHooks();
        if (item->bJobRunning && hooks.StopJob != nullptr) hooks.StopJob(ctrlId, handle);
        InternalTerminateScanner(item);
        return kOK;
      });
}

KR_API long KRResetDevice(uint32_t ctrlId, uint32_t* handle, void* /*unused*/) {
  return DeviceExport("KRResetDevice", handle, "=> KRResetDevice")
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (InsideClientCallback()) return kScannerBusy;  // the reset would stop its own job
        return ResetDevice(ctrlId, handle, item);
      });
}

KR_API long KRDeviceStatus(uint32_t /*ctrlId*/, uint32_t* handle) {
  return DeviceExport("KRDeviceStatus", handle).Run([&](CScannerManagerScannerItem* item) -> long {
    if (item->bJobRunning) return kScannerBusy;
    IoLockScope lock(item->pIoObject);
    if (!lock.ok() || !item->pIoObject->RequestSense(1)) return CommandFailure(item);
    return kOK;
  });
}
