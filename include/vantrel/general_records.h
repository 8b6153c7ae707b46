#pragma once
// Records of the general-operation and push-button exports. Packed, host byte order.
#include <stddef.h>
#include <stdint.h>

// Element type of KRGeneralOperation: only its size matters (1, 2, 4 or 8 bytes; 0 for the types
// that move no data). The byte count of an operation is element size x element count.
typedef uint32_t DDS_DATA_TYPE;

// KRGeneralOperation's operations.
enum { KR_GENERAL_READ = 1, KR_GENERAL_WRITE = 2 };

// KRReadPushButton's record (20 bytes). All zero while a scan job runs on the device.
typedef struct __attribute__((packed)) KRPushButtonRecord {
  uint16_t Version;        // 200
  uint16_t Size;           // 20
  uint8_t ButtonState[8];  // the latest interrupt packet as the device sent it
  uint8_t Reserved[8];     // 0
} KRPushButtonRecord;

#ifdef __cplusplus
static_assert(sizeof(KRPushButtonRecord) == 20, "the push-button record is 20 bytes");
static_assert(offsetof(KRPushButtonRecord, ButtonState) == 4, "button state at 4");
static_assert(offsetof(KRPushButtonRecord, Reserved) == 12, "reserved bytes at 12");
#else
_Static_assert(sizeof(KRPushButtonRecord) == 20, "the push-button record is 20 bytes");
_Static_assert(offsetof(KRPushButtonRecord, ButtonState) == 4, "button state at 4");
_Static_assert(offsetof(KRPushButtonRecord, Reserved) == 12, "reserved bytes at 12");
#endif
