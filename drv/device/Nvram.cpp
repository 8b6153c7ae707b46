#include "drv/device/Nvram.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/kr_api.h"

using namespace krstatus;
using namespace krnvm;

namespace {

constexpr uint32_t kLayoutSize[3] = {0, kNvmLayout1Size, kNvmLayout2Size};

struct Field {
  uint16_t offset;  // in layout 1; layout 2 adds 1 from PadScanCount on
  uint8_t width;
};

// The numbers converted between the device's big-endian and host order (the three *Life
// fields stay as the device stores them).
const Field kLayout1Numbers[] = {
    {4, 4},   {8, 4},   {12, 4}, {16, 4},  // scan counts
    {20, 2},  {22, 2},  {24, 2}, {26, 2}, {28, 2},
    {30, 2},  {32, 2},  {34, 2}, {36, 2},           // edges, dates
    {38, 2},  {40, 2},  {42, 2}, {44, 2}, {46, 2},  // dates, magnification
    {74, 2},                                        // PowerSavingTime
    {77, 4},  {81, 4},  {85, 4},                    // roller, multifeed, jam
    {126, 2}, {128, 4},                             // PowerOffTime, PowerOnTime
};
const Field kLayout2Extra[] = {{133, 4}, {137, 4}};  // ReverseRollerCount, PickupRollerCount

enum class Order { ToHost, ToDevice };

void Convert(uint8_t* p, uint8_t width, Order order) {
  if (width == 2) {
    uint16_t v;
    if (order == Order::ToHost) {
      v = GetBE16(p);
      std::memcpy(p, &v, 2);
    } else {
      std::memcpy(&v, p, 2);
      PutBE16(p, v);
    }
  } else {
    uint32_t v;
    if (order == Order::ToHost) {
      v = GetBE32(p);
      std::memcpy(p, &v, 4);
    } else {
      std::memcpy(&v, p, 4);
      PutBE32(p, v);
    }
  }
}

// Converts the numbers of a whole record of `layout` in place.
void ConvertRecord(uint8_t* record, uint8_t layout, Order order) {
  Convert(record, 2, order);  // CtrlID
  const uint16_t shift = layout == 2 ? 1 : 0;
  if (layout == 2) Convert(record + 3, 2, order);  // Size
  for (const Field& f : kLayout1Numbers) Convert(record + f.offset + shift, f.width, order);
  if (layout == 2) {
    for (const Field& f : kLayout2Extra) Convert(record + f.offset, f.width, order);
  }
}

// Converts a tagged value in place; `bytes` is what the buffer holds of it.
void ConvertTagValue(long tag, uint8_t* value, uint32_t bytes, Order order) {
  switch (tag) {
    case 3:
      for (uint32_t at = 0; at + 2 <= 6 && at + 2 <= bytes; at += 2) Convert(value + at, 2, order);
      break;
    case 4:
    case 5:
    case 10:
    case 11:
    case 12:
      if (bytes >= 4) Convert(value, 4, order);
      break;
    case 6:
    case 7:
      if (bytes >= 2) Convert(value, 2, order);
      break;
    default:
      break;  // texts and single bytes
  }
}

uint32_t TagReadLength(long tag) { return NvmTagValueBytes(tag) + 4; }

void Text(char* out, const uint8_t* p, size_t n) {
  std::memcpy(out, p, n);
  out[n] = 0;
}

// Logs a record in host order (level 1).
void LogRecord(const uint8_t* r, uint8_t layout) {
  const uint16_t s = layout == 2 ? 1 : 0;
  auto u16 = [&](uint32_t at) {
    uint16_t v;
    std::memcpy(&v, r + at, 2);
    return static_cast<int>(v);
  };
  auto i16 = [&](uint32_t at) {
    int16_t v;
    std::memcpy(&v, r + at, 2);
    return static_cast<int>(v);
  };
  auto u32 = [&](uint32_t at) {
    uint32_t v;
    std::memcpy(&v, r + at, 4);
    return static_cast<int>(v);
  };
  char text[25];
  DbgPrintf(1, "NVMData.CtrlID = %i", u16(0));
  DbgPrintf(1, "NVMData.Version = %i", r[2]);
  DbgPrintf(1, "NVMData.Size = %i", layout == 2 ? u16(3) : r[3]);
  DbgPrintf(1, "NVMData.PadScanCount = %i", u32(4 + s));
  DbgPrintf(1, "NVMData.ADFSingleModeScanCount = %i", u32(8 + s));
  DbgPrintf(1, "NVMData.ADFDuplexModeScanCount = %i", u32(12 + s));
  DbgPrintf(1, "NVMData.FlatbedScanCount = %i", u32(16 + s));
  DbgPrintf(1, "NVMData.LeadingEdgeFletbed = %i", i16(20 + s));
  DbgPrintf(1, "NVMData.SideEdgeFletbed = %i", i16(22 + s));
  DbgPrintf(1, "NVMData.LeadingEgdeADFFrontPage = %i", i16(24 + s));
  DbgPrintf(1, "NVMData.SideEdgeADFFrontPage = %i", i16(26 + s));
  DbgPrintf(1, "NVMData.LeadingEdgeADFRearPage = %i", i16(28 + s));
  DbgPrintf(1, "NVMData.SideEdgeADFRearPage = %i", i16(30 + s));
  DbgPrintf(1, "NVMData.BornMonth = %i", u16(32 + s));
  DbgPrintf(1, "NVMData.BornDay = %i", u16(34 + s));
  DbgPrintf(1, "NVMData.BornYear = %i", u16(36 + s));
  DbgPrintf(1, "NVMData.FirstScanMonth = %i", u16(38 + s));
  DbgPrintf(1, "NVMData.FirstScanDay = %i", u16(40 + s));
  DbgPrintf(1, "NVMData.FirstScanYear = %i", u16(42 + s));
  DbgPrintf(1, "NVMData.VerticalMagnification = %i", u16(44 + s));
  DbgPrintf(1, "NVMData.HorizontalMagnification = %i", u16(46 + s));
  DbgPrintf(1, "NVMData.CCDType = %i", r[48 + s]);
  DbgPrintf(1, "NVMData.ScanSpeed = %i", r[49 + s]);
  Text(text, r + 50 + s, 24);
  DbgPrintf(1, "NVMData.SN = %s", text);
  DbgPrintf(1, "NVMData.PowerSavingTime = %i", u16(74 + s));
  DbgPrintf(1, "NVMData.RollerCount = %i", u32(77 + s));
  DbgPrintf(1, "NVMData.MultifeedCount = %i", u32(81 + s));
  DbgPrintf(1, "NVMData.JamCount = %i", u32(85 + s));
  Text(text, r + 90 + s, 16);
  DbgPrintf(1, "NVMData.IdentifyInfo = %s", text);
  Text(text, r + 106 + s, 16);
  DbgPrintf(1, "NVMData.FormalName = %s", text);
  DbgPrintf(1, layout == 2 ? "NVMData.byte123 = %i" : "NVMData.byte122 = %i", r[122 + s]);
  DbgPrintf(1, "NVMData.PreFeed = %i", r[123 + s]);
  DbgPrintf(1, "NVMData.PreFeedTime = %i", r[124 + s]);
  DbgPrintf(1, "NVMData.FunctionIndex = %i", r[125 + s]);
  DbgPrintf(1, "NVMData.PowerOffTime = %i", u16(126 + s));
  DbgPrintf(1, "NVMData.PowerOnTime = %i", u32(128 + s));
  if (layout == 2) {
    DbgPrintf(1, "NVMData.ReverseRollerCount = %i", u32(133));
    DbgPrintf(1, "NVMData.PickupRollerCount = %i", u32(137));
    DbgPrintf(1, "NVMData.PadLife = %i", u32(141));
    DbgPrintf(1, "NVMData.ReverseRollerLife = %i", u32(145));
    DbgPrintf(1, "NVMData.PickupRollerLife = %i", u32(149));
  }
}

}  // namespace

uint32_t NvmTagValueBytes(long tag) {
  static const uint8_t kBytes[13] = {0, 16, 16, 6, 4, 4, 2, 2, 1, 1, 4, 4, 4};
  return tag >= 1 && tag <= 12 ? kBytes[tag] : 0;
}

uint32_t NvmTypeBytes(uint32_t type) {
  static const uint8_t kBytes[7] = {0, 1, 2, 4, 16, 24, 6};
  return type >= 1 && type <= 6 ? kBytes[type] : 0;
}

long InternalReadNVMData_Full(CScannerManagerScannerItem* item, uint8_t* buffer, uint8_t* version,
                              uint16_t* length) {
  DbgPrintf(1, "=> InternalReadNVMData_Full");
  long status = kOK;
  IoObject* io = item->pIoObject;
  std::memset(buffer, 0, kBufferSize);
  uint8_t layout = 0;
  uint32_t size = 0;
  if (!io->Read(buffer, kHeadLength, kReadWhole)) {
    status = CommandFailure(item);
  } else {
    layout = buffer[2];
    if (layout == 1) {
      size = buffer[3];
    } else if (layout == 2) {
      size = GetBE16(buffer + 3);
    } else {
      DbgPrintf(1, "FW return unknowed version.");
      status = kSystemError;
    }
  }
  if (status == kOK) {
    DbgPrintf(1, "FW NVM version = %d , size = %d", layout, static_cast<int>(size));
    // The record must fit the buffer and hold at least its head.
    if (size > kBufferSize || size < kHeadLength) {
      DbgPrintf(1, "NVM size %d outside %d..%d", static_cast<int>(size), kHeadLength, kBufferSize);
      status = kSystemError;
    } else if (!io->Read(buffer, size, kReadWhole)) {
      status = CommandFailure(item);
    }
  }
  if (status == kOK) {
    // Bytes the device did not send read as 0, so a short record converts to zeros.
    std::memset(buffer + size, 0, kBufferSize - size);
    ConvertRecord(buffer, layout, Order::ToHost);
    buffer[2] = static_cast<uint8_t>(layout * 100);
    LogRecord(buffer, layout);
    if (version != nullptr) *version = buffer[2];
    if (length != nullptr) *length = static_cast<uint16_t>(size);
  } else {
    status = RecordFailure(item, status);
  }
  DbgPrintf(1, "<= InternalReadNVMData_Full ret=%d", static_cast<int>(status));
  return status;
}

long InternalReadNVMData_Tag(CScannerManagerScannerItem* item, long tag, uint8_t* buffer,
                             uint16_t* count) {
  DbgPrintf(1, "=> InternalReadNVMData_Tag");
  long status = kOK;
  if (count != nullptr) *count = 0;
  if (item->pScanner->GetNVMDataFWVersion() == 1 && (tag == 11 || tag == 12)) {
    DbgPrintf(1, " Tag %d needs the second NVRAM layout", static_cast<int>(tag));
    status = kParameterError;
  } else if (tag >= 1 && tag <= 12) {
    const uint32_t length = TagReadLength(tag);
    if (!item->pIoObject->Read(buffer, length, static_cast<uint16_t>(kTagBase + tag - 1))) {
      status = CommandFailure(item);
    } else {
      ConvertTagValue(tag, buffer + 4, NvmTagValueBytes(tag), Order::ToHost);
      if (count != nullptr) *count = static_cast<uint16_t>(NvmTagValueBytes(tag));
    }
  }
  DbgPrintf(1, "<= InternalReadNVMData_Tag ret=%d", static_cast<int>(status));
  return status;
}

long InternalWriteNVMData_Full_WithDTQ(CScannerManagerScannerItem* item, const uint8_t* record,
                                       uint8_t layout, uint16_t dtq) {
  DbgPrintf(1, "=> WriteNVMDataInternal");
  long status = kOK;
  if (layout != 1 && layout != 2) {
    status = kParameterError;
  } else {
    uint8_t wire[kNvmLayout2Size];
    std::memcpy(wire, record, kLayoutSize[layout]);
    ConvertRecord(wire, layout, Order::ToDevice);
    const uint32_t head = layout == 2 ? 5 : 4;  // where the record's body starts
    const uint32_t length = kLayoutSize[layout] + 2;
    uint8_t message[kNvmLayout2Size + 2];
    message[0] = wire[0];
    message[1] = wire[1];
    message[2] = layout;
    uint32_t at = 3;
    if (layout == 2) {
      PutBE16(message + at, static_cast<uint16_t>(length));
      at += 2;
    } else {
      message[at++] = static_cast<uint8_t>(length);
    }
    PutBE16(message + at, dtq);
    at += 2;
    std::memcpy(message + at, wire + head, kLayoutSize[layout] - head);
    if (!item->pIoObject->Send(message, length, kWriteWhole)) {
      status = CommandFailure(item);
    }
  }
  DbgPrintf(1, "<= WriteNVMDataInternal ret=%d", static_cast<int>(status));
  return status;
}

long InternalWriteNVMData_Tag(CScannerManagerScannerItem* item, long tag, uint32_t type,
                              const void* value, bool /*writeToDevice*/) {
  if (tag < 1 || tag > 12) return kParameterError;
  if (item->pScanner->GetNVMDataFWVersion() == 1 && (tag == 11 || tag == 12)) {
    DbgPrintf(1, " Tag %d needs the second NVRAM layout", static_cast<int>(tag));
    return kParameterError;
  }
  const uint32_t bytes = NvmTypeBytes(type);
  if (bytes == 0) {
    DbgPrintf(1, "Unknow Type.");
    return kParameterError;
  }
  // The tag's conversion would reach past a narrower value.
  if (bytes < NvmTagValueBytes(tag)) {
    DbgPrintf(1, "Type %d holds %d bytes, tag %d needs %d", static_cast<int>(type),
              static_cast<int>(bytes), static_cast<int>(tag),
              static_cast<int>(NvmTagValueBytes(tag)));
    return kParameterError;
  }
  if (value == nullptr) return kParameterError;
  uint8_t message[4 + 24] = {0, 0, 1, static_cast<uint8_t>(bytes)};
  std::memcpy(message + 4, value, bytes);
  ConvertTagValue(tag, message + 4, bytes, Order::ToDevice);
  if (!item->pIoObject->Send(message, 4 + bytes, static_cast<uint16_t>(kTagBase + tag - 1))) {
    return CommandFailure(item);
  }
  return kOK;
}

bool CheckSendUserNVMData(const uint8_t* record, uint8_t layout) {
  DbgPrintf(1, "=> CheckSendUserNVMData");
  bool ok = false;
  const uint8_t version = record[2];
  if (version != layout * 100) {
    DbgPrintf(1, " Version not match!");
  } else if (version != 100 && version != 200) {
    DbgPrintf(1, "Not support user version = %d", version);
  } else {
    LogRecord(record, static_cast<uint8_t>(version / 100));
    ok = true;
  }
  DbgPrintf(1, "<= CheckSendUserNVMData ret=%d", ok ? 1 : 0);
  return ok;
}

// ---- exports ---------------------------------------------------------------------------------

namespace {
// A record's Size field in host order: byte 3 in layout 1 (byte 4 already belongs to
// PadScanCount), bytes 3-4 in layout 2.
uint32_t RecordSize(const uint8_t* record, uint8_t layout) {
  if (layout != 2) return record[3];
  uint16_t size;
  std::memcpy(&size, record + 3, 2);
  return size;
}

// A client's reused record is read by its own Version byte, not by the layout the device
// answers this time (it may change from one read to the next).
uint8_t OwnLayout(const uint8_t* record) { return record[2] == 100 ? 1 : 2; }

// After a read, a client's record never claims more than it could take: the device's Size
// field may reach past it, and the record, reused, is filled up to that Size.
void LimitOwnRecordSize(uint8_t* record, uint32_t capacity) {
  if (RecordSize(record, OwnLayout(record)) <= capacity) return;
  if (OwnLayout(record) == 1) {
    record[3] = static_cast<uint8_t>(std::min<uint32_t>(capacity, UINT8_MAX));
    return;
  }
  const uint16_t size = static_cast<uint16_t>(capacity);
  std::memcpy(record + 3, &size, 2);
}

long ReadNvm(CScannerManagerScannerItem* item, void** data, long tag) {
  if (tag < 0 || tag > 12) {
    DbgPrintf(1, "Unknow Tag.");
    return kParameterError;
  }
  if (data == nullptr) return kParameterError;
  uint8_t inquiry[kInquiryCopySize];
  item->pScanner->GetInquiryData(inquiry);
  uint8_t buffer[kBufferSize];
  const uint8_t* result = buffer;
  uint32_t length = 0;
  uint8_t layout = 0;  // of the whole record
  if (tag == 0) {
    if ((inquiry[89] & kReadWholeBit) == 0) {
      DbgPrintf(1, " Not support read whole NVRAM.");
      return kParameterError;
    }
    uint8_t version = 0;
    uint16_t size = 0;
    if (long status = InternalReadNVMData_Full(item, buffer, &version, &size)) return status;
    length = size;
    layout = static_cast<uint8_t>(version / 100);
  } else {
    if ((inquiry[89] & kReadTagBit) == 0) {
      DbgPrintf(1, " Not support read specific tag NVRAM.");
      return kParameterError;
    }
    uint16_t count = 0;
    if (long status = InternalReadNVMData_Tag(item, tag, buffer, &count)) return status;
    result = buffer + 4;
    length = count;
  }
  uint8_t* out = static_cast<uint8_t*>(*data);
  if (out == nullptr) {
    // A client reads the record by its own Size field, which the device may set beyond what it
    // sent: the block reaches at least that far (and the whole record), zero-filled.
    uint32_t block = length;
    if (tag == 0) {
      block = std::max<uint32_t>(block, sizeof(NewNvmData));
      if (length >= kHeadLength) block = std::max(block, RecordSize(result, layout));
    }
    out = pMemManager != nullptr ? static_cast<uint8_t*>(pMemManager->NewMem(block)) : nullptr;
    if (out == nullptr) {
      DbgPrintf(1, "memory allocation failed : %s", "NVRAM data");
      return kNoMemory;
    }
    std::memset(out, 0, block);
    *data = out;
  } else if (tag == 0) {
    // A client's record is filled only as far as its Size field says it reaches.
    const uint32_t capacity = RecordSize(out, OwnLayout(out));
    if (capacity < kHeadLength) {
      DbgPrintf(1, "Client NVM record size %d too small", static_cast<int>(capacity));
      return kParameterError;
    }
    if (length > capacity) length = capacity;
    std::memcpy(out, result, length);
    LimitOwnRecordSize(out, capacity);
    return kOK;
  }
  std::memcpy(out, result, length);
  return kOK;
}

long WriteNvm(CScannerManagerScannerItem* item, long tag, uint32_t type, const void* data,
              bool writeToDevice) {
  if (tag < 0 || tag > 12) {
    DbgPrintf(1, "Unknow Tag.");
    return kParameterError;
  }
  uint8_t inquiry[kInquiryCopySize];
  item->pScanner->GetInquiryData(inquiry);
  if (tag != 0) {
    if ((inquiry[89] & kWriteTagBit) == 0) {
      DbgPrintf(1, " Not support write specific tag NVRAM.");
      return kParameterError;
    }
    return InternalWriteNVMData_Tag(item, tag, type, data, writeToDevice);
  }
  if ((inquiry[89] & kWriteWholeBit) == 0) {
    DbgPrintf(1, " Not support write whole NVRAM.");
    return kParameterError;
  }
  if (data == nullptr) return kParameterError;
  const auto* given = static_cast<const uint8_t*>(data);
  const uint8_t layout = item->pScanner->GetNVMDataFWVersion();
  if (layout != 1 && layout != 2) {
    CheckSendUserNVMData(given, layout);  // refuses by the version byte alone, and logs why
    return kParameterError;
  }
  // Only as much of the client's record as its Size field covers is read, by the check's log
  // too; the rest goes as 0.
  const uint32_t full = kLayoutSize[layout];
  uint32_t capacity = RecordSize(given, layout);
  const uint32_t head = layout == 2 ? 5 : 4;
  if (capacity < head) {
    DbgPrintf(1, "Client NVM record size %d too small", static_cast<int>(capacity));
    return kParameterError;
  }
  if (capacity > full) capacity = full;
  uint8_t record[kNvmLayout2Size] = {};
  std::memcpy(record, given, capacity);
  if (!CheckSendUserNVMData(record, layout)) return kParameterError;
  return InternalWriteNVMData_Full_WithDTQ(item, record, layout, kDtq);
}
}  // namespace

KR_API long KRReadNVMData(uint32_t /*ctrlId*/, uint32_t* handle, void** data, long tag,
                          long /*unused*/) {
  return DeviceExport("KRReadNVMData", handle).Run([&](CScannerManagerScannerItem* item) -> long {
    IoLockScope lock(item->pIoObject);
    if (!lock.ok()) return CommandFailure(item);
    DbgPrintf(1, " Tag=%d", static_cast<int>(tag));
    return ReadNvm(item, data, tag);
  });
}

KR_API long KRWriteNVMData(uint32_t /*ctrlId*/, uint32_t* handle, long tag, uint32_t type,
                           void* data, bool writeToDevice) {
  return DeviceExport("KRWriteNVMData", handle).Run([&](CScannerManagerScannerItem* item) -> long {
    IoLockScope lock(item->pIoObject);
    if (!lock.ok()) return CommandFailure(item);
    DbgPrintf(1, " Tag=%ld Type=%d WriteToDevice=%d", tag, static_cast<int>(type),
              writeToDevice ? 1 : 0);
    return WriteNvm(item, tag, type, data, writeToDevice);
  });
}
