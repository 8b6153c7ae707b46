#pragma once
// Maintenance and diagnostic entries of the driver library. They carry the signatures and log
// lines of exports but stay inside the library: no KR_API, so no dynamic symbol, and no front
// end reaches them.
#include <cstddef>
#include <cstdint>

// Pass-through parameters of KRUSBBypass (13 bytes), by pipe type: 0 control, 1 bulk, 2 with a
// time-out.
struct __attribute__((packed)) KRUSBBypassParameter {
  uint8_t PipeType;
  union __attribute__((packed)) {
    struct __attribute__((packed)) {
      uint8_t SetupPacket[8];
      uint32_t dwDataSize;
    } Control;
    struct __attribute__((packed)) {
      uint32_t Direct;
      uint32_t dwDataSize;
      uint32_t dwTimeOut;
    } Pipe;
  };
};
static_assert(sizeof(KRUSBBypassParameter) == 13);
static_assert(offsetof(KRUSBBypassParameter, Control.SetupPacket) == 1);
static_assert(offsetof(KRUSBBypassParameter, Control.dwDataSize) == 9);
static_assert(offsetof(KRUSBBypassParameter, Pipe.Direct) == 1);
static_assert(offsetof(KRUSBBypassParameter, Pipe.dwDataSize) == 5);
static_assert(offsetof(KRUSBBypassParameter, Pipe.dwTimeOut) == 9);

// Three-phase command of KRSCSICommand (45 bytes): command, data and status phase, each a
// pointer, a length and a transfer kind.
struct __attribute__((packed)) KRSCSICommandBlock {
  uint8_t* pCommand;
  uint8_t CommandLength;
  uint32_t CommandIoType;
  uint8_t* pData;
  uint32_t DataLength;
  uint32_t DataIoType;
  uint8_t* pStatus;
  uint32_t StatusLength;
  uint32_t StatusIoType;
};
static_assert(sizeof(KRSCSICommandBlock) == 45);
static_assert(offsetof(KRSCSICommandBlock, CommandLength) == 8);
static_assert(offsetof(KRSCSICommandBlock, CommandIoType) == 9);
static_assert(offsetof(KRSCSICommandBlock, pData) == 13);
static_assert(offsetof(KRSCSICommandBlock, DataLength) == 21);
static_assert(offsetof(KRSCSICommandBlock, DataIoType) == 25);
static_assert(offsetof(KRSCSICommandBlock, pStatus) == 29);
static_assert(offsetof(KRSCSICommandBlock, StatusLength) == 37);
static_assert(offsetof(KRSCSICommandBlock, StatusIoType) == 41);

namespace krmaint {
constexpr uint16_t kSendControl = 0x93;        // 20 bytes
constexpr uint16_t kReadControlResult = 0x99;  // 36 bytes
constexpr uint16_t kReadRaw = 0x9A;
constexpr uint16_t kReadUltrasonic = 0x9C;
constexpr uint16_t kImprinterRecord = 0x20B;
constexpr uint32_t kImprinterRecordBuffer = 521;
constexpr uint32_t kInitBlockSize = 55;
constexpr uint32_t kRawControlSize = 36;
constexpr uint32_t kControlBlockSize = 20;
constexpr uint32_t kControlResultSize = 36;
constexpr uint32_t kFlashInfoSize = 44;
constexpr uint32_t kPassTimeout = 30;
}  // namespace krmaint

extern "C" {
long KRUSBBypass(uint32_t ctrlId, uint32_t* handle, uint8_t* data, KRUSBBypassParameter param);
long KRSCSICommand(uint32_t ctrlId, uint32_t* handle, KRSCSICommandBlock command);
// block: 55 bytes, u16 version 200 first; serial at 4-27, sensor type at 47, function index at 54.
long KRInitializeNVM(uint32_t ctrlId, uint32_t* handle, uint16_t* block);
long KRTestNVM(uint32_t ctrlId, uint32_t* handle);
long KRReadFlashRAMData(uint32_t ctrlId, uint32_t* handle, void* buffer, uint32_t count,
                        uint8_t unused);
long KRReadFlashRAMInfo(uint32_t ctrlId, uint32_t* handle, void* result);
long KRSendRawDataControl(uint32_t ctrlId, uint32_t* handle, uint16_t* block);
long KRShadingCalibration(uint32_t ctrlId, uint32_t* handle, int mode);
long KRReadRawData(uint32_t ctrlId, uint32_t* handle, void* buffer, uint32_t count);
long KRSendControlRawData(uint32_t ctrlId, uint32_t* handle, uint16_t* block, void* result);
long KRReadUltraSonicRawData(uint32_t ctrlId, uint32_t* handle, void* buffer, uint32_t count);
}
