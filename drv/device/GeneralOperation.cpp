#include "drv/device/GeneralOperation.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/kr_api.h"

using namespace krstatus;
using namespace krgeneral;

namespace {

constexpr uint32_t kInquiryBytes = kInquiryCopySize;

void PutHost16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void PutHost32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t GetHost16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
uint32_t GetHost32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// A check failed: the item reports -2005.
bool Refuse(CScannerManagerScannerItem* item) {
  RecordFailure(item, kParameterError);
  return false;
}

// A write tag's capability bit and byte count; false (and -2005 for the item) when either fails.
bool Admit(CScannerManagerScannerItem* item, uint32_t tag, bool capable, bool sizeOk,
           uint64_t bytes) {
  if (!capable) {
    DbgPrintf(1, "Not support tag 0x%X", static_cast<unsigned>(tag));
    return Refuse(item);
  }
  if (!sizeOk) {
    DbgPrintf(1, "GeneralSend: tag 0x%X refuses %llu bytes", static_cast<unsigned>(tag),
              static_cast<unsigned long long>(bytes));
    return Refuse(item);
  }
  return true;
}

// Tags 1 to 8: a scan-length tuning word scaled from base to optical resolution.
uint16_t TuningLength(const uint8_t* inquiry, uint32_t tag) {
  const uint8_t bit = tag <= 4 ? 0x01 : 0x02;
  if ((inquiry[91] & bit) == 0) return 0;
  const uint16_t word = GetBE16(inquiry + 80 + 2 * ((tag - 1) / 2));
  const uint32_t selector = word >> 14;
  const uint32_t length = word & 0x3FFF;
  // The even tag of a pair answers only for selector 1; the odd one for 0 and 1.
  if (selector != 1 && !(selector == 0 && (tag & 1) != 0)) return 0;
  const uint32_t divisor = GetBE16(inquiry + 16);
  if (divisor == 0) return 0;  // no base resolution: nothing to scale by
  return static_cast<uint16_t>(length * GetBE16(inquiry + 58) / divisor);
}

// Index into the item's Huffman tables (luminance DC, luminance AC, chrominance DC,
// chrominance AC) of read tags 11 to 18.
uint32_t HuffmanTable(uint32_t tag) {
  static const uint8_t kTable[4] = {1, 0, 3, 2};  // tags 11/12, 13/14, 15/16, 17/18
  return kTable[(tag - 11) / 2];
}

uint32_t HuffmanValueCount(const CScannerManagerScannerItem* item, uint32_t table) {
  uint32_t sum = 0;
  for (uint8_t n : item->DefaultHuffmanBits[table]) sum += n;
  // The values region holds 256 bytes, whatever the counts add up to.
  return sum < 256 ? sum : 256;
}

// The long-page list of read tag 28: 6-byte entries, their 32-bit word in host order. Only
// entries that lie inside the inquiry copy are taken.
uint32_t LongPageList(const uint8_t* inquiry, uint8_t* out, uint32_t capacity) {
  const uint32_t offset = GetBE16(inquiry + 48);
  if (offset == 0 || offset >= kInquiryBytes) return 0;
  uint32_t n = inquiry[offset];
  const uint32_t fit = (kInquiryBytes - offset - 1) / 6;
  if (n > fit) {
    DbgPrintf(1,
              "GeneralRead: long-page list of %d entries ends outside the inquiry data, %d taken",
              static_cast<int>(n), static_cast<int>(fit));
    n = fit;
  }
  uint32_t length = 0;
  for (uint32_t i = 0; i < n && length + 6 <= capacity; ++i, length += 6) {
    const uint8_t* entry = inquiry + offset + 1 + 6 * i;
    std::memcpy(out + length, entry, 2);
    PutHost32(out + length + 2, GetBE32(entry + 2));
  }
  return length;
}

}  // namespace

uint32_t DdsElementSize(uint32_t type) {
  switch (type) {
    case 2:
    case 6:
    case 9:
    case 10:
      return 1;
    case 3:
    case 7:
    case 11:
      return 2;
    case 4:
    case 8:
    case 12:
    case 14:
      return 4;
    case 5:
    case 13:
    case 15:
      return 8;
    default:
      return 0;
  }
}

void ConvertDisplayTextEntry(uint8_t* entry, bool toHost) {
  auto swap16 = [toHost](uint8_t* p) {
    if (toHost) {
      PutHost16(p, GetBE16(p));
    } else {
      PutBE16(p, GetHost16(p));
    }
  };
  swap16(entry);
  if (entry[2] != 1) return;  // byte text: nothing to convert
  // At most 127 characters: the length byte cannot point past the entry.
  const uint32_t characters = entry[3] / 2u;
  for (uint32_t i = 0; i < characters; ++i) swap16(entry + 6 + 2 * i);
}

bool SendIOCommand(CScannerManagerScannerItem* item, const uint8_t* data, uint32_t length,
                   uint8_t dataType) {
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (lock.ok() && io->Send(data, length, dataType)) return true;
  CommandFailure(item);
  return false;
}

bool ReadIOCommand(CScannerManagerScannerItem* item, uint8_t* data, uint32_t length,
                   uint8_t dataType) {
  IoObject* io = item->pIoObject;
  IoLockScope lock(io);
  if (lock.ok() && io->Read(data, length, dataType)) return true;
  CommandFailure(item);
  return false;
}

bool GeneralSend(CScannerManagerScannerItem* item, uint32_t tag, uint32_t type, uint32_t count,
                 const void* data) {
  DbgPrintf(1, "GeneralSend:Tag %d,DataType %d, Count%d", static_cast<int>(tag),
            static_cast<int>(type), static_cast<int>(count));
  uint8_t inquiry[kInquiryBytes];
  item->pScanner->GetInquiryData(inquiry);
  const uint64_t bytes = uint64_t{DdsElementSize(type)} * count;
  if (tag < kFirstWriteTag || tag > kLastWriteTag) return true;
  const auto* in = static_cast<const uint8_t*>(data);
  if (in == nullptr && count != 0) {
    DbgPrintf(1, "GeneralSend: no data for %d elements", static_cast<int>(count));
    return Refuse(item);
  }
  const bool displayTable = (inquiry[96] & 0x10) != 0;
  uint8_t message[12 + 253] = {0, 0, 1};
  switch (tag) {
    case 0x400B:
      if (!Admit(item, tag, displayTable, bytes == 16, bytes)) return false;
      message[3] = 20;
      std::memcpy(message + 4, in, 16);
      PutBE32(message + 4, GetHost32(in));
      return SendIOCommand(item, message, 20, kSendLanguage);
    case 0x400C:
      if (!Admit(item, tag, displayTable, bytes == 2, bytes)) return false;
      message[3] = 6;
      PutBE16(message + 4, GetHost16(in));
      return SendIOCommand(item, message, 6, kSendLanguageWord);
    case 0x400D:
      if (!Admit(item, tag, displayTable, bytes == kDisplayTextEntry, bytes)) return false;
      PutBE16(message + 3, 265);
      std::memcpy(message + 5, in, kDisplayTextEntry);
      ConvertDisplayTextEntry(message + 5, false);
      return SendIOCommand(item, message, 265, kSendDisplayText);
    case 0x400E: {
      if (!Admit(item, tag, (inquiry[97] & 0x80) != 0, bytes >= 2 && 8u * in[1] + 2 <= bytes,
                 bytes))
        return false;
      const uint32_t n = in[1];
      const uint32_t length = 8 * n + 9;
      uint8_t* block = new (std::nothrow) uint8_t[length]();
      if (block == nullptr) {
        RecordFailure(item, kNoMemory);
        return false;
      }
      block[2] = 1;
      // Only the top byte of the length goes in byte 3; bytes 4 to 6 stay zero.
      block[3] = static_cast<uint8_t>(length >> 8);
      block[7] = in[0];
      block[8] = static_cast<uint8_t>(n);
      std::memcpy(block + 9, in + 2, 8 * n);
      const bool ok = SendIOCommand(item, block, length, kSendEntries);
      delete[] block;
      return ok;
    }
    case 0x400F:
      if (!Admit(item, tag, (inquiry[96] & 0x40) != 0, bytes == 9, bytes)) return false;
      std::memcpy(message + 3, in, 9);
      return SendIOCommand(item, message, 12, kSendNineBytes);
    case 0x4010:
      if (!Admit(item, tag, (inquiry[96] & 0x20) != 0, bytes == 1, bytes)) return false;
      message[3] = in[0];
      return SendIOCommand(item, message, 4, kSendOneByte);
    default: {  // 0x4011: the raw block, one byte per element
      // A type that moves no data has no bytes to send, and the length must fit its field.
      if (!Admit(item, tag, (inquiry[97] & 0x08) != 0, bytes >= count && count <= 0xFFFFFFFFu - 7,
                 bytes))
        return false;
      const uint32_t length = count + 7;
      uint8_t* block = new (std::nothrow) uint8_t[length]();
      if (block == nullptr) {
        RecordFailure(item, kNoMemory);
        return false;
      }
      block[2] = 1;
      PutBE32(block + 3, length);
      if (count != 0) std::memcpy(block + 7, in, count);
      if (count >= 2) std::swap(block[7], block[8]);
      const bool ok = SendIOCommand(item, block, length, kSendRaw);
      delete[] block;
      return ok;
    }
  }
}

bool GeneralRead(CScannerManagerScannerItem* item, uint32_t tag, uint32_t type, uint32_t count,
                 void* data) {
  DbgPrintf(1, "GeneralRead:Tag %d,DataType %d, Count%d", static_cast<int>(tag),
            static_cast<int>(type), static_cast<int>(count));
  uint8_t inquiry[kInquiryBytes];
  item->pScanner->GetInquiryData(inquiry);
  const uint64_t wanted = uint64_t{DdsElementSize(type)} * count;
  auto* out = static_cast<uint8_t*>(data);
  if (out == nullptr && count != 0) {
    DbgPrintf(1, "GeneralRead: no buffer for %d elements", static_cast<int>(count));
    return Refuse(item);
  }
  if (wanted != 0) std::memset(out, 0, wanted);

  // The result, copied to the client up to the operation's byte count.
  const uint8_t* result = nullptr;
  uint32_t length = 0;
  uint8_t local[8] = {};
  uint8_t language[16] = {};
  uint8_t reply[265] = {};
  uint8_t* allocated = nullptr;
  bool ok = true;

  if (tag >= 1 && tag <= 8) {
    PutHost16(local, TuningLength(inquiry, tag));
    result = local;
    length = 2;
  } else if (tag == 9 || tag == 10) {
    result = tag == 9 ? item->DefaultLumaQuant : item->DefaultChromaQuant;
    length = 64;
  } else if (tag >= 11 && tag <= 18) {
    const uint32_t table = HuffmanTable(tag);
    if (tag % 2 != 0) {
      result = item->DefaultHuffmanBits[table];
      length = 16;
    } else {
      result = item->DefaultHuffmanValues[table];
      length = HuffmanValueCount(item, table);
    }
  } else if (tag == 20 || tag == 21 || tag == 23) {
    static const uint8_t kBit[4] = {0x80, 0x40, 0, 0x20};
    local[0] = (inquiry[96] & kBit[tag - 20]) != 0 ? 1 : 0;
    result = local;
    length = 1;
  } else if (tag == 22 || tag == 24) {
    const uint8_t bit = tag == 22 ? 0x40 : 0x20;
    if ((inquiry[96] & bit) != 0) ok = ReadIOCommand(item, reply, 7, kReadDeviceValues);
    if (ok && (inquiry[96] & bit) != 0) {
      if (tag == 22) {
        PutHost16(local, GetBE16(reply + 4));
      } else {
        local[0] = reply[6];
      }
    }
    result = local;
    length = tag == 22 ? 2 : 1;
  } else if (tag >= 25 && tag <= 27 && (inquiry[96] & 0x10) != 0) {
    if (tag == 25) {
      ok = ReadIOCommand(item, reply, 20, kReadLanguage);
      if (ok) {
        PutHost32(language, GetBE32(reply + 4));
        PutHost16(language + 4, GetBE16(reply + 8));
        std::memcpy(language + 6, reply + 10, 10);
        result = language;
        length = 16;
      }
    } else if (tag == 26) {
      ok = ReadIOCommand(item, reply, 265, kReadDisplayText);
      if (ok) {
        ConvertDisplayTextEntry(reply + 5, true);
        result = reply + 5;
        length = kDisplayTextEntry;
      }
    } else if (wanted % kDisplayTextEntry == 0 && wanted <= 0xFFFFFFFFu - 7) {
      const uint32_t bytes = static_cast<uint32_t>(wanted);
      allocated = new (std::nothrow) uint8_t[bytes + 7]();
      if (allocated == nullptr) {
        RecordFailure(item, kNoMemory);
        return false;
      }
      ok = ReadIOCommand(item, allocated, bytes + 7, kReadDisplayTexts);
      if (ok) {
        for (uint32_t at = 0; at < bytes; at += kDisplayTextEntry)
          ConvertDisplayTextEntry(allocated + 7 + at, true);
        result = allocated + 7;
        length = bytes;
      }
    }
  } else if (tag == 28) {
    allocated = new (std::nothrow) uint8_t[255 * 6];
    if (allocated != nullptr) {  // without the buffer the result stays empty
      length = LongPageList(inquiry, allocated, 255 * 6);
      result = allocated;
    }
  }
  // Tags 0, 19 and 29 and above answer nothing.

  if (result != nullptr && length != 0 && wanted != 0)
    std::memcpy(out, result, length < wanted ? length : wanted);
  delete[] allocated;
  return ok;
}

KR_API long KRGeneralOperation(uint32_t /*ctrlId*/, uint32_t* handle, int operation, uint32_t tag,
                               DDS_DATA_TYPE type, uint32_t count, void* data) {
  return DeviceExport("KRGeneralOperation", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        DbgPrintf(1, "  Operation=%s, Tag=%d, DataType=%x , Data Count=%d",
                  operation == 1   ? "Read"
                  : operation == 2 ? "Write"
                                   : "Unknow",
                  static_cast<int>(tag), static_cast<unsigned>(type), static_cast<int>(count));
        bool ok = false;
        if (operation == 1) {
          ok = GeneralRead(item, tag, type, count, data);
        } else if (operation == 2) {
          ok = GeneralSend(item, tag, type, count, data);
        } else {
          // Neither read nor write: refused, never reported as done.
          return RecordFailure(item, kParameterError);
        }
        return ok ? static_cast<long>(kOK) : FailureStatus(item);
      });
}
