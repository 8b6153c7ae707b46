#pragma once
// The device's NVRAM record: the whole-record and tagged reads and writes, the check of a
// client's record, and the two exports.
#include <cstdint>

#include "drv/device/CScannerManager.h"

namespace krnvm {
constexpr uint16_t kReadWhole = 0x69;
constexpr uint16_t kWriteWhole = 0x85;
constexpr uint16_t kTagBase = 0x100;  // data type of tag t: 0x100 + t - 1
constexpr uint32_t kHeadLength = 5;
constexpr uint32_t kBufferSize = 512;
constexpr uint16_t kDtq = 20;
// Inquiry byte 89: what the device supports.
constexpr uint8_t kWriteTagBit = 0x02;
constexpr uint8_t kWriteWholeBit = 0x04;
constexpr uint8_t kReadTagBit = 0x08;
constexpr uint8_t kReadWholeBit = 0x10;
}  // namespace krnvm

// Reads the whole record into `buffer` (512 bytes) in host order; gives the version (100 or
// 200) and the record length. 0 or a status code.
long InternalReadNVMData_Full(CScannerManagerScannerItem* item, uint8_t* buffer, uint8_t* version,
                              uint16_t* length);
// Reads tag 1 to 12 into `buffer` (at least 20 bytes: a 4-byte head, then the value in host
// order); gives the value's byte count (0 for other tags).
long InternalReadNVMData_Tag(CScannerManagerScannerItem* item, long tag, uint8_t* buffer,
                             uint16_t* count);
// Writes a whole record of `layout` (1 or 2); `record` holds the full layout in host order.
long InternalWriteNVMData_Full_WithDTQ(CScannerManagerScannerItem* item, const uint8_t* record,
                                       uint8_t layout, uint16_t dtq);
// Writes one value of the given type (1 to 6) to tag 1 to 12. writeToDevice has no effect.
long InternalWriteNVMData_Tag(CScannerManagerScannerItem* item, long tag, uint32_t type,
                              const void* value, bool writeToDevice);
bool CheckSendUserNVMData(const uint8_t* record, uint8_t layout);

// Byte count of a tagged value (0 for an unknown tag) and of a write type (0 for an unknown one).
uint32_t NvmTagValueBytes(long tag);
uint32_t NvmTypeBytes(uint32_t type);
