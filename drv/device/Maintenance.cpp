// Maintenance entries: pass-through transfers, NVRAM re-initialisation and write test, flash,
// raw and ultrasonic data, and the shading calibration through control blocks.
#include "drv/device/Maintenance.h"

#include <cstring>
#include <ctime>

#include "drv/device/CImprinter.h"
#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/device/Nvram.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;
using namespace krmaint;

namespace {

uint16_t Host16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void PutHost16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// A client's block begins with the version word 200; another version is logged and refused.
bool HasVersion200(const uint16_t* block) {
  const uint16_t version = Host16(reinterpret_cast<const uint8_t*>(block));
  if (version == 200) return true;
  DbgPrintf(1, "Not support version = %d", version);
  return false;
}

struct Today {
  uint16_t month, day, year;
};
Today LocalDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {static_cast<uint16_t>(local.tm_mon + 1), static_cast<uint16_t>(local.tm_mday),
          static_cast<uint16_t>(local.tm_year + 1900)};
}

// Offsets in a host-order NVRAM record of layout 1; layout 2 adds 1 from byte 4 on.
constexpr uint32_t kEdgesAt = 20, kBornAt = 32, kCcdAt = 48, kSerialAt = 50, kPowerSavingAt = 74,
                   kFunctionIndexAt = 125, kPowerOffAt = 126;

// Step 5 of the re-initialisation: the imprinter's own record gets fresh counters, the serial
// and the date. Its READ and SEND are not checked; the record goes back only when it was read.
void ResetImprinterRecord(CScannerManagerScannerItem* item, const uint8_t* block,
                          const Today& today) {
  CImprinter* imprinter = item->pImprinter;
  if (imprinter == nullptr || !imprinter->IsPresent()) return;
  KR_Imprinter_Info_VER1 info;
  std::memset(&info, 0, sizeof info);
  if (!imprinter->GetImprinterInfo(&info)) return;
  const uint32_t n = uint32_t{info.Word0} + 7;
  if (n > kImprinterRecordBuffer) {
    DbgPrintf(1, "Imprinter record of %d bytes exceeds %d, left as it is", static_cast<int>(n),
              kImprinterRecordBuffer);
    return;
  }
  uint8_t record[kImprinterRecordBuffer] = {};
  IoObject* io = item->pIoObject;
  if (!io->Read(record, n, kImprinterRecord)) {
    DbgPrintf(1, "Imprinter record not read, not written back");
    return;
  }
  PutBE32(record + 17, 0);
  PutBE32(record + 21, 0);
  PutBE32(record + 25, 112500000);
  PutBE16(record + 55, 0);
  PutBE16(record + 57, 0);
  PutBE16(record + 59, 0);
  std::memcpy(record + 89, block + 4, 24);
  PutBE16(record + 113, today.month);
  PutBE16(record + 115, today.day);
  PutBE16(record + 117, today.year);
  io->Send(record, n, kImprinterRecord);
}

long InitializeNvm(CScannerManagerScannerItem* item, const uint16_t* given) {
  if (given == nullptr || !HasVersion200(given)) return kParameterError;
  uint8_t block[kInitBlockSize];
  std::memcpy(block, given, kInitBlockSize);
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  uint8_t old[krnvm::kBufferSize];
  uint8_t version = 0;
  uint16_t size = 0;
  if (long status = InternalReadNVMData_Full(item, old, &version, &size)) return status;
  uint8_t layout = item->pScanner->GetNVMDataFWVersion();
  if (layout != 1 && layout != 2) layout = static_cast<uint8_t>(version / 100);
  const uint32_t s = layout == 2 ? 1 : 0;
  const Today today = LocalDate();
  uint8_t inquiry[kInquiryCopySize];
  item->pScanner->GetInquiryData(inquiry);

  uint8_t record[krnvm::kBufferSize] = {};
  record[2] = static_cast<uint8_t>(layout * 100);
  std::memcpy(record + kEdgesAt + s, old + kEdgesAt + s, 12);
  PutHost16(record + kBornAt + s, today.month);
  PutHost16(record + kBornAt + 2 + s, today.day);
  PutHost16(record + kBornAt + 4 + s, today.year);
  std::memcpy(record + kSerialAt + s, block + 4, 24);
  record[kCcdAt + s] = block[47];
  record[kFunctionIndexAt + s] = block[54];
  PutHost16(record + kPowerSavingAt + s, 15);
  PutHost16(record + kPowerOffAt + s, (inquiry[89] & 0x40) != 0 ? 240 : 0);
  if (long status = InternalWriteNVMData_Full_WithDTQ(item, record, layout, krnvm::kDtq))
    return status;

  ResetImprinterRecord(item, block, today);
  return kOK;
}

long TestNvm(CScannerManagerScannerItem* item) {
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  uint8_t saved[krnvm::kBufferSize];
  uint8_t version = 0;
  uint16_t size = 0;
  if (long status = InternalReadNVMData_Full(item, saved, &version, &size)) return status;
  const uint8_t layout = static_cast<uint8_t>(version / 100);
  const uint32_t dates = kBornAt + (layout == 2 ? 1 : 0);

  uint8_t test[krnvm::kBufferSize];
  std::memcpy(test, saved, sizeof test);
  for (uint16_t i = 0; i < 6; ++i) PutHost16(test + dates + 2 * i, static_cast<uint16_t>(i + 1));
  long status = InternalWriteNVMData_Full_WithDTQ(item, test, layout, krnvm::kDtq);
  if (status == kOK) {
    uint8_t back[krnvm::kBufferSize];
    status = InternalReadNVMData_Full(item, back, &version, &size);
    for (uint16_t i = 0; status == kOK && i < 6; ++i) {
      if (Host16(back + dates + 2 * i) != i + 1) {
        DbgPrintf(1, "TestNVM: date word %d reads %d", i, Host16(back + dates + 2 * i));
        status = kUnknown;
      }
    }
  }
  // The device gets its record back whatever happened since it was read; when that fails it
  // keeps the test dates, which a passed test must not hide.
  const long restored = InternalWriteNVMData_Full_WithDTQ(item, saved, layout, krnvm::kDtq);
  return status != kOK ? status : restored;
}

long SendControlRawData(CScannerManagerScannerItem* item, const uint16_t* given, uint8_t* result) {
  if (given == nullptr || result == nullptr) return kParameterError;
  uint8_t block[kControlBlockSize];
  std::memcpy(block, given, kControlBlockSize);
  if (Host16(block) == 200) std::memcpy(item->LastControlBlock, block, kControlBlockSize);
  uint8_t message[kControlBlockSize] = {0, 0, 1, static_cast<uint8_t>(kControlBlockSize)};
  std::memcpy(message + 4, block + 4, 16);
  PutBE16(message + 4, Host16(block + 4));
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  uint8_t reply[kControlResultSize] = {};
  if (!io->Send(message, kControlBlockSize, kSendControl) ||
      !io->Read(reply, kControlResultSize, kReadControlResult))
    return CommandFailure(item);
  uint8_t* stored = item->ControlResult;
  PutHost16(stored, 200);
  PutHost16(stored + 2, 20);
  for (uint32_t i = 0; i < 5; ++i) PutHost16(stored + 4 + 2 * i, GetBE16(reply + 4 + 2 * i));
  if (result != stored) std::memmove(result, stored, kControlResultSize);
  return kOK;
}

long ReadRawData(CScannerManagerScannerItem* item, void* buffer, uint32_t count) {
  if (buffer == nullptr && count != 0) return kParameterError;
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  uint32_t got = 0;
  if (!io->ReadImage(item, static_cast<uint8_t*>(buffer), nullptr, count, kReadRaw, &got))
    return CommandFailure(item);
  return kOK;
}

// One phase of KRSCSICommand.
bool PassPhase(IoObject* io, const char* name, uint8_t* data, uint32_t length, uint32_t kind) {
  if (data == nullptr || length == 0) return true;
  DbgPrintf(1, "KRSCSICommand: %s, size=%i IOtype=%i", name, static_cast<int>(length),
            static_cast<int>(kind));
  DbgDump(1, data, length);
  uint32_t done = 0;
  return io->DoIoPass(static_cast<KRUSBIOTYPE>(kind), data, length, &done, kPassTimeout);
}

}  // namespace

extern "C" long KRUSBBypass(uint32_t, uint32_t* handle, uint8_t* data, KRUSBBypassParameter param) {
  DeviceExport frame("KRUSBBypass", handle);
  DbgPrintf(1, " PipeType = %d", param.PipeType);
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    if (data == nullptr) return kParameterError;
    KRUSBIOTYPE kind = KRUSBIO_CONTROL;
    uint32_t size = 0, timeout = kPassTimeout;
    switch (param.PipeType) {
      case 0: {
        const uint8_t* s = param.Control.SetupPacket;
        DbgPrintf(1, " SetupPacket = 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", s[0],
                  s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
        size = param.Control.dwDataSize;
        DbgPrintf(1, " dwDataSize = %d", static_cast<int>(size));
        kind = KRUSBIO_CONTROL;
        break;
      }
      case 1:
        size = param.Pipe.dwDataSize;
        DbgPrintf(1, " Direct = %d", static_cast<int>(param.Pipe.Direct));
        DbgPrintf(1, " dwDataSize = %d", static_cast<int>(size));
        kind = param.Pipe.Direct != 0 ? KRUSBIO_PIPE_DIRECT : KRUSBIO_PIPE;
        break;
      case 2:
        size = param.Pipe.dwDataSize;
        timeout = param.Pipe.dwTimeOut;
        DbgPrintf(1, " Direct = %d", static_cast<int>(param.Pipe.Direct));
        DbgPrintf(1, " dwDataSize = %d", static_cast<int>(size));
        DbgPrintf(1, " dwTimeOut = %d", static_cast<int>(timeout));
        kind = KRUSBIO_PIPE_TIMED;
        break;
      default:
        return kOK;  // another pipe type moves nothing
    }
    uint32_t returned = 0;
    const bool ok = item->pIoObject->DoIoPass(kind, data, size, &returned, timeout);
    DbgPrintf(1, " dwBytesReturned = %d", static_cast<int>(returned));
    return ok ? static_cast<long>(kOK) : FailureStatus(item);
  });
}

extern "C" long KRSCSICommand(uint32_t, uint32_t* handle, KRSCSICommandBlock command) {
  return DeviceExport("KRSCSICommand", handle).Run([&](CScannerManagerScannerItem* item) -> long {
    IoObject* io = item->pIoObject;
    IoLockScope lock(io);
    if (!lock.ok()) return CommandFailure(item);
    if (!PassPhase(io, "Cmd", command.pCommand, command.CommandLength, command.CommandIoType) ||
        !PassPhase(io, "Data", command.pData, command.DataLength, command.DataIoType) ||
        !PassPhase(io, "Status", command.pStatus, command.StatusLength, command.StatusIoType))
      return CommandFailure(item);
    return kOK;
  });
}

extern "C" long KRInitializeNVM(uint32_t, uint32_t* handle, uint16_t* block) {
  return DeviceExport("InitializeNVM", handle, "=> InitializeNVM")
      .Run([&](CScannerManagerScannerItem* item) { return InitializeNvm(item, block); });
}

extern "C" long KRTestNVM(uint32_t, uint32_t* handle) {
  return DeviceExport("TestNVM", handle).Run([&](CScannerManagerScannerItem* item) {
    return TestNvm(item);
  });
}

extern "C" long KRReadFlashRAMData(uint32_t ctrlId, uint32_t* handle, void* buffer, uint32_t count,
                                   uint8_t) {
  return DeviceExport("ReadFlashRAMData", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        item->pScanner->GetFlashRAMCCDType();
        if (buffer == nullptr && count != 0) return kParameterError;
        if (count != 0) std::memset(buffer, 0, count);
        return KRReadRawData(ctrlId, handle, buffer, count);
      });
}

extern "C" long KRReadFlashRAMInfo(uint32_t, uint32_t* handle, void* result) {
  return DeviceExport("ReadFlashRAMInfo", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (result == nullptr) return kParameterError;
        uint8_t info[kFlashInfoSize] = {};
        PutHost16(info, 200);
        PutHost16(info + 2, kFlashInfoSize);
        info[4] = 1;
        info[5] = 4;
        const uint32_t marker = 0xAABBCC;
        std::memcpy(info + 10, &marker, 4);
        uint32_t size = Host16(item->ShadingResult + 4);
        const uint8_t mode = item->RawDataControl[20];
        if (mode == 0 || mode == 1) {
          size >>= 3;
        } else if (mode == 3 || mode == 4) {
          size *= 3;
        }
        std::memcpy(info + 14, &size, 4);
        std::memcpy(result, info, kFlashInfoSize);
        return kOK;
      });
}

extern "C" long KRSendRawDataControl(uint32_t, uint32_t* handle, uint16_t* block) {
  return DeviceExport("KRSendRawDataControl", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (block == nullptr || !HasVersion200(block)) return kParameterError;
        std::memcpy(item->RawDataControl, block, kRawControlSize);
        return kOK;
      });
}

extern "C" long KRShadingCalibration(uint32_t, uint32_t* handle, int mode) {
  return DeviceExport("ShadingCalibration", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        const uint8_t* stored = item->RawDataControl;
        uint8_t block[kControlBlockSize] = {};
        PutHost16(block, 200);
        PutHost16(block + 2, kControlBlockSize);
        std::memcpy(block + 4, stored + 4, 8);  // its word at 4 and bytes 6-11
        block[12] = stored[20];
        block[13] = static_cast<uint8_t>(mode);
        block[14] = 1;
        block[15] = stored[21] == 0 || stored[21] == 1 || stored[21] == 5 ? stored[21] : 1;
        uint16_t words[kControlBlockSize / 2];
        std::memcpy(words, block, kControlBlockSize);
        return SendControlRawData(item, words, item->ShadingResult);
      });
}

extern "C" long KRReadRawData(uint32_t, uint32_t* handle, void* buffer, uint32_t count) {
  return DeviceExport("ReadRawData", handle).Run([&](CScannerManagerScannerItem* item) {
    return ReadRawData(item, buffer, count);
  });
}

extern "C" long KRSendControlRawData(uint32_t, uint32_t* handle, uint16_t* block, void* result) {
  return DeviceExport("SendControlRawData", handle).Run([&](CScannerManagerScannerItem* item) {
    return SendControlRawData(item, block, static_cast<uint8_t*>(result));
  });
}

extern "C" long KRReadUltraSonicRawData(uint32_t, uint32_t* handle, void* buffer, uint32_t count) {
  return DeviceExport("KRReadUltraSonicRawData", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (buffer == nullptr && count != 0) return kParameterError;
        if (count != 0) std::memset(buffer, 0, count);
        IoObject* io = item->pIoObject;
        IoLockScope lock(io);
        if (!lock.ok()) return CommandFailure(item);
        if (!io->Read(static_cast<uint8_t*>(buffer), count, kReadUltrasonic))
          return CommandFailure(item);
        return kOK;
      });
}
