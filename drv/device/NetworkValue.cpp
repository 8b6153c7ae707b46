// KRReadPushButton, KRReadNetworkValue and KRWriteNetworkValue.
#include <cstring>

#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/kr_api.h"

using namespace krstatus;

namespace {

constexpr uint32_t kButtonRecordSize = sizeof(KRPushButtonRecord);
constexpr uint32_t kNetworkBuffer = 1024;  // the receive buffer a reply must fit
constexpr uint32_t kNetworkMessage = 512;  // the message buffer of a write
constexpr uint32_t kNetworkHead = 5;       // reply bytes up to and including the length word
constexpr uint16_t kReadNetworkKind0 = 0xA7;
constexpr uint16_t kReadNetworkKind1 = 0xA8;
constexpr uint16_t kSendNetworkBase = 0xE2;  // + tag 1 to 7

// Inquiry byte 92: wireless (0x80) or wired (0x40) network scanning.
bool HasNetwork(const CScannerManagerScannerItem* item) {
  uint8_t inquiry[kInquiryCopySize];
  item->pScanner->GetInquiryData(inquiry);
  if ((inquiry[92] & 0xC0) != 0) return true;
  DbgPrintf(1, "Not support network/wifi");
  return false;
}

// A block from the memory manager, or null (logged).
uint8_t* NewClientBlock(uint32_t size, const char* what) {
  void* block = pMemManager != nullptr ? pMemManager->NewMem(size) : nullptr;
  if (block == nullptr) DbgPrintf(1, "memory allocation failed : %s", what);
  return static_cast<uint8_t*>(block);
}

long ReadPushButton(CScannerManagerScannerItem* item, void** record) {
  if (record == nullptr) return kParameterError;
  uint8_t* out = static_cast<uint8_t*>(*record);
  const bool allocated = out == nullptr;
  if (allocated) {
    out = NewClientBlock(kButtonRecordSize, "push button record");
    if (out == nullptr) return kNoMemory;
  }
  // During a job the interrupt pipe belongs to the job: the record is all zero.
  if (item->bJobRunning) {
    std::memset(out, 0, kButtonRecordSize);
    *record = out;
    return kOK;
  }
  IoObject* io = item->pIoObject;
  long status = kOK;
  {
    IoLockScope lock(io);
    uint8_t state[8] = {};
    if (!lock.ok() || !io->GetButtonStatus(state)) {
      status = CommandFailure(item);
    } else {
      std::memset(out, 0, kButtonRecordSize);
      const uint16_t version = 200, size = kButtonRecordSize;
      std::memcpy(out, &version, 2);
      std::memcpy(out + 2, &size, 2);
      std::memcpy(out + 4, state, 8);
    }
  }
  if (status != kOK) {
    if (allocated) pMemManager->DeleteMem(out);
    return status;
  }
  *record = out;
  return kOK;
}

long ReadNetworkValue(CScannerManagerScannerItem* item, uint32_t kind, void** value) {
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  if (!HasNetwork(item)) return kParameterError;
  if (kind > 1) {
    DbgPrintf(1, "Not support network value kind %d", static_cast<int>(kind));
    return kParameterError;
  }
  if (value == nullptr) return kParameterError;
  const uint16_t dataType = kind == 0 ? kReadNetworkKind0 : kReadNetworkKind1;
  uint8_t reply[kNetworkBuffer] = {};
  if (!io->Read(reply, kNetworkHead, dataType)) return CommandFailure(item);
  const uint32_t announced = GetBE16(reply + 3);
  if (announced < kNetworkHead || announced > kNetworkBuffer) {
    DbgPrintf(1, "Network value length %d outside %d..%d", static_cast<int>(announced),
              kNetworkHead, kNetworkBuffer);
    return RecordFailure(item, kSystemError);
  }
  if (!io->Read(reply, announced, dataType)) return CommandFailure(item);
  // The client reads the block by the length word it carries: block and copy follow the reply
  // that is handed over, which must not claim more than was read.
  const uint32_t total = GetBE16(reply + 3);
  if (total < kNetworkHead || total > announced) {
    DbgPrintf(1, "Network value length changed from %d to %d between two reads",
              static_cast<int>(announced), static_cast<int>(total));
    return RecordFailure(item, kSystemError);
  }
  uint8_t* out = static_cast<uint8_t*>(*value);
  if (out == nullptr) {
    out = NewClientBlock(total - 3, "network value");
    if (out == nullptr) return kNoMemory;
  }
  std::memcpy(out, reply + 3, total - 3);
  *value = out;
  return kOK;
}

long WriteNetworkValue(CScannerManagerScannerItem* item, uint32_t tag, uint32_t size,
                       const void* value) {
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (!lock.ok()) return CommandFailure(item);
  if (!HasNetwork(item)) return kParameterError;
  if (tag < 1 || tag > 7) {
    DbgPrintf(1, "Not support network tag %d", static_cast<int>(tag));
    return kParameterError;
  }
  const bool wordLength = tag == 4 || tag == 5;
  const uint32_t head = wordLength ? 5 : 4;
  if ((!wordLength && size > 255) || size > kNetworkMessage - head ||
      (value == nullptr && size != 0)) {
    DbgPrintf(1, "Network value of %d bytes does not fit tag %d", static_cast<int>(size),
              static_cast<int>(tag));
    return kParameterError;
  }
  uint8_t message[kNetworkMessage] = {0, 0, 1};
  if (wordLength) {
    PutBE16(message + 3, static_cast<uint16_t>(size));
  } else {
    message[3] = static_cast<uint8_t>(size);
  }
  if (size != 0) std::memcpy(message + head, value, size);
  if (!io->Send(message, head + size, static_cast<uint16_t>(kSendNetworkBase + tag)))
    return CommandFailure(item);
  return kOK;
}

}  // namespace

KR_API long KRReadPushButton(uint32_t /*ctrlId*/, uint32_t* handle, void** record) {
  return DeviceExport("KRReadPushButton", handle).Run([&](CScannerManagerScannerItem* item) {
    return ReadPushButton(item, record);
  });
}

KR_API long KRReadNetworkValue(uint32_t /*ctrlId*/, uint32_t* handle, uint32_t kind, void** value) {
  return DeviceExport("KRReadNetworkValue", handle).Run([&](CScannerManagerScannerItem* item) {
    return ReadNetworkValue(item, kind, value);
  });
}

KR_API long KRWriteNetworkValue(uint32_t /*ctrlId*/, uint32_t* handle, uint32_t tag, uint32_t size,
                                void* value) {
  DeviceExport frame("KRWriteNetworkValue", handle);
  DbgPrintf(1, " Tag=%ld Size=%d", static_cast<long>(tag), static_cast<int>(size));
  return frame.Run(
      [&](CScannerManagerScannerItem* item) { return WriteNetworkValue(item, tag, size, value); });
}
