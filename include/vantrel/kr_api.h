#pragma once
// The driver library's exported functions and the records they hand to clients.
#include <cstddef>
#include <cstdint>

#include "vantrel/device_records.h"
#include "vantrel/export.h"
#include "vantrel/general_records.h"
#include "vantrel/scan_parameters.h"
#include "vantrel/scan_records.h"

// One node of a device list (64 bytes).
struct DeviceInformation {
  char* DeviceName;    // 256 bytes: the target id
  char* VendorName;    // 64 bytes
  char* ModelName;     // 64 bytes
  char* SerialNumber;  // 128 bytes
  char* Interface;     // 10 bytes: "usb", "scsi", "tcpip", "virtual", "dualusb" or "???"
  uint32_t VID;
  uint32_t PID;
  char* Address;  // null in this build
  DeviceInformation* next;
};
static_assert(sizeof(DeviceInformation) == 64);
static_assert(offsetof(DeviceInformation, Interface) == 32);
static_assert(offsetof(DeviceInformation, VID) == 40);
static_assert(offsetof(DeviceInformation, PID) == 44);
static_assert(offsetof(DeviceInformation, Address) == 48);
static_assert(offsetof(DeviceInformation, next) == 56);

// Sizes of the node's buffers that a client supplies.
constexpr size_t kDevListDeviceNameSize = 256;
constexpr size_t kDevListVendorNameSize = 64;
constexpr size_t kDevListModelNameSize = 64;
constexpr size_t kDevListSerialNumberSize = 128;
constexpr size_t kDevListInterfaceSize = 10;

#pragma pack(push, 1)
struct DEVLIST {
  uint16_t Reserved;           // always 0
  DeviceInformation* pDevice;  // at byte 2, unaligned
};
#pragma pack(pop)
static_assert(sizeof(DEVLIST) == 10);
static_assert(offsetof(DEVLIST, pDevice) == 2);

KR_API long KRInitializeDriver(uint32_t ctrlId);
KR_API long KRTerminateDriver(uint32_t ctrlId);
KR_API long KRMemFree(uint32_t ctrlId, void* block);
KR_API long KRGetDeviceList(uint32_t ctrlId, DEVLIST** list, uint32_t* count);
KR_API long KRInitializeDevice(uint32_t ctrlId, char* targetId, uint32_t* handle);
KR_API long KRTerminateDevice(uint32_t ctrlId, uint32_t* handle);
KR_API long KRResetDevice(uint32_t ctrlId, uint32_t* handle, void* unused);
KR_API long KRDeviceStatus(uint32_t ctrlId, uint32_t* handle);
KR_API long KRGetDeviceAbility(uint32_t ctrlId, uint32_t* handle, DeviceAbility** ability);
// Tag 0: the whole record (NewNvmData or NewNvmData_VER1); tags 1 to 12: one value.
KR_API long KRReadNVMData(uint32_t ctrlId, uint32_t* handle, void** data, long tag, long unused);
KR_API long KRWriteNVMData(uint32_t ctrlId, uint32_t* handle, long tag, uint32_t type, void* data,
                           bool writeToDevice);
KR_API long KRSetImprinterParameter(uint32_t ctrlId, uint32_t* handle,
                                    KR_Imprinter_Parameter* settings, uint8_t* text,
                                    uint8_t* counter, uint8_t* dateTime, uint8_t* pattern);
KR_API long KRGetImprinterAbility(uint32_t ctrlId, uint32_t* handle, void** ability);
// Operation 1 reads, 2 writes the tagged value `tag` as `count` elements of `type`.
KR_API long KRGeneralOperation(uint32_t ctrlId, uint32_t* handle, int operation, uint32_t tag,
                               DDS_DATA_TYPE type, uint32_t count, void* data);
// *record: a KRPushButtonRecord; null asks the driver to allocate one (free it with KRMemFree).
KR_API long KRReadPushButton(uint32_t ctrlId, uint32_t* handle, void** record);
// Kind 0 or 1; *value receives the reply from its length word on (allocated when null).
KR_API long KRReadNetworkValue(uint32_t ctrlId, uint32_t* handle, uint32_t kind, void** value);
KR_API long KRWriteNetworkValue(uint32_t ctrlId, uint32_t* handle, uint32_t tag, uint32_t size,
                                void* value);

// ---- scan job ----
// Settings of the next job, given after KRStartJob and before the first KRStartScan: the
// SCANPARAMETER_UNION, one gamma table per colour filter (1-3) and head (0 both, 1 front,
// 2 rear), and the HWIMAGEPROCPARAMETER_UNION per side (0 both, 1 front, 2 rear).
KR_API long KRSetParameter(uint32_t ctrlId, uint32_t* phDevice, SCANPARAMETER_UNION* pParam);
KR_API long KRSetGamma(uint32_t ctrlId, uint32_t* phDevice, uint8_t* pGammaTable, uint32_t size,
                       uint32_t bits, uint32_t filter, uint32_t head);
KR_API long KRSetHWProcess(uint32_t ctrlId, uint32_t* phDevice, HWIMAGEPROCPARAMETER_UNION* pParam,
                           int side);
KR_API long KRStartJob(uint32_t ctrlId, uint32_t* phDevice);
// Block size 0 delivers whole pages.
KR_API long KRStartScan(uint32_t ctrlId, uint32_t* phDevice, AP_CALLBACK pfnCallBack,
                        long blockSize);
// ctrl 1 cancels the job first.
KR_API long KRStopScan(uint32_t ctrlId, uint32_t* phDevice, long ctrl);
KR_API long KRStopJob(uint32_t ctrlId, uint32_t* phDevice);
// *ppInfo: an ImageInformation; null asks the driver to allocate one (free it with KRMemFree).
KR_API long KRRequestImageInfo(uint32_t ctrlId, uint32_t* phDevice, void** ppInfo);
KR_API long KRReleasePaper(uint32_t ctrlId, uint32_t* phDevice, int dir, int pages,
                           uint32_t extraSetting);
KR_API long KRSensorStatus(uint32_t ctrlId, uint32_t* phDevice, long* pSensorId, uint8_t* pStatus,
                           int itemType);
