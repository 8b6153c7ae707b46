#pragma once
// KRGeneralOperation: tagged values read from the inquiry data, the item's JPEG tables and small
// device READs, and written as small SEND messages.
#include <cstdint>

#include "drv/device/CScannerManager.h"

namespace krgeneral {
// READ data types.
constexpr uint16_t kReadDeviceValues = 0x9D;  // tags 22, 24: 7 bytes
constexpr uint16_t kReadLanguage = 0xE0;      // tag 25: 20 bytes
constexpr uint16_t kReadDisplayText = 0xE1;   // tag 26: 265 bytes
constexpr uint16_t kReadDisplayTexts = 0xE2;  // tag 27: entries x 260 + 7 bytes
// SEND data types of write tags 0x400B to 0x4011.
constexpr uint16_t kSendLanguage = 0xE0;
constexpr uint16_t kSendLanguageWord = 0xE1;
constexpr uint16_t kSendDisplayText = 0xE2;
constexpr uint16_t kSendEntries = 0x8C;
constexpr uint16_t kSendNineBytes = 0x9C;
constexpr uint16_t kSendOneByte = 0x9D;
constexpr uint16_t kSendRaw = 0xF0;
constexpr uint32_t kDisplayTextEntry = 260;
constexpr uint32_t kFirstWriteTag = 0x400B;
constexpr uint32_t kLastWriteTag = 0x4011;
}  // namespace krgeneral

// Element size of a DDS_DATA_TYPE (0 for the types that move no data).
uint32_t DdsElementSize(uint32_t type);

// One SEND or READ between IoLockStart and IoLockEnd; a failure stores the command layer's
// status as the item's error.
bool SendIOCommand(CScannerManagerScannerItem* item, const uint8_t* data, uint32_t length,
                   uint8_t dataType);
bool ReadIOCommand(CScannerManagerScannerItem* item, uint8_t* data, uint32_t length,
                   uint8_t dataType);

// True on success or when the tag is not a write tag; `data` holds element size x count bytes.
bool GeneralSend(CScannerManagerScannerItem* item, uint32_t tag, uint32_t type, uint32_t count,
                 const void* data);
// True unless a device READ failed; `data` receives at most element size x count bytes.
bool GeneralRead(CScannerManagerScannerItem* item, uint32_t tag, uint32_t type, uint32_t count,
                 void* data);

// Converts a 260-byte display text entry between the wire's big-endian and host order: its
// index and, with encoding flag 1, its 16-bit characters.
void ConvertDisplayTextEntry(uint8_t* entry, bool toHost);
